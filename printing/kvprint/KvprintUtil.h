// CKvprintUtil: what kvprint takes from its surroundings (the product key's
// artwork folder and image limit, the language library's texts) and the
// module's error-reporting convention.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/Com.h"

namespace vexa::kvprint {

using com::Bstr;

// Module constants shared by the print products.
inline constexpr char kDefaultWorkingFolder[] = "tmpfiles";
inline constexpr int kObjectLimit = 10000;
inline constexpr char kMediaBoxLetter[] = "0 0 612 792";
inline constexpr char kMediaBoxA4[] = "0 0 595 842";
inline constexpr float kLetterWidth = 8.5f, kLetterHeight = 11.0f;
inline constexpr float kA4Width = 8.27f, kA4Height = 11.69f;
inline constexpr float kA4LabelHeight = 10.69f, kA4LabelWidth = 7.27f;
inline constexpr char kHelvetica[] = "Helvetica";
inline constexpr char kTimesRoman[] = "Times-Roman";
inline constexpr char kWinAnsi[] = "WinAnsiEncoding";
// The print copies' JPEG quality factors (lower is better): the normalized
// copy 15, the thumbnail 50, through the imaging layer's factor mapping.
inline constexpr int kNormalizedQualityFactor = 15;
inline constexpr int kThumbnailQualityFactor = 50;

class CKvprintUtil {
 public:
  // The artwork folder (PR_INCLUDE_PATH), read once it is non-empty.
  static std::string GetIncludePath();
  // The image limit: MAX_IMAGES, read once; when it is unset or 0, the
  // engine's most stills (599), so every album a disc takes can be printed.
  static long GetMaxImages();
  // Loads the language library once; true when it failed.
  static bool LoadLanguageLibrary();
  static bool IsLanguageLibraryLoaded();
  // Text `id` of the language library (cut to 511 bytes), else the fallback.
  static void LoadString(int id, Bstr* out, std::u16string_view fallback);
  // The leading number of text `id`; false (out unchanged) when the text is empty.
  static bool LoadStringAsFloat(int id, float* out, std::u16string_view fallback);
  // Forgets the cached settings and the library (for tests).
  static void ResetForTests();
};

// Sets COM error information (the interface's IID, the class's ProgID, the
// message) and returns E_FAIL.
HRESULT Fail(REFCLSID clsid, REFIID iid, std::string_view message);

// Joins a folder and a file name with one separator.
std::string JoinFolder(std::string_view folder, std::string_view name);

}  // namespace vexa::kvprint
