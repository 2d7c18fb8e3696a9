// The wizard library's services and shared routines: the services object
// the wizard object owns and passes to every part (its values, the log and
// error-information texts, string loading from the language bundle, the
// picture and music pattern lists, the error code and the update-check mode),
// and the routines that need none of it (registry reads, tokens, the
// thumbnail cache folder, the message pump, the dates of the periodic update
// check).
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "idl/VEXAImg.h"
#include "idl/vexacore.h"
#include "idl/vexalog.h"
#include "idl/vexawiz.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/registry/Registry.h"

namespace vexa::wiz {

class CvexaLanguage;
class CvexaSettingsAccess;
class CVexaWizXML;
class CVexaODVisual;

using StringArray = std::vector<std::string>;

// HKLM product key and the same path under the current user.
inline constexpr char kWizProductKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";
inline constexpr char kServerUrlsKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\Server URLS";

inline constexpr char kImageFilterDefault[] =
    "*.bmp;*.dib;*.jpg;*.jpeg;*.jff;*.jtf;*.jpe;*.jfif;*.tif;*.tiff;*.gif;*.cmp;*.pic;*.pct;*.pict;*.pcd;*.png";
inline constexpr char kAudioFilterDefault[] = "*.wav;*.mp3";

inline constexpr char kCheckTimed[] = "Check=T";
inline constexpr char kCheckManual[] = "Check=M";
inline constexpr char kCheckNone[] = "Check=Z";

class CvexaPropSheet;
class CvexaSheetView;

// The wizard's services: what every part of the wizard library takes from
// the wizard object that owns it (the error code, the logger, the locale and
// image utilities, the language bundle, the settings file, the session album,
// the burn driver and the run's values). The wizard object makes one and
// passes it by reference to each object it creates, and those to the objects
// they create; nothing reaches it any other way. Tests make their own.
class WizServices {
 public:
  VEXAWizErrorCode errorCode = VEXAWizSuccess;
  vexa::com::ComPtr<IVexaLogger> logger;
  vexa::com::ComPtr<IVEXALocUtil> locUtil;
  vexa::com::ComPtr<IVEXAImgUtil> imgUtil;
  std::unique_ptr<CvexaLanguage> language;
  std::unique_ptr<CvexaSettingsAccess> settings;
  std::unique_ptr<CVexaWizXML> sessionAlbum;
  std::unique_ptr<CVexaODVisual> burner;
  std::string tempDirectory;
  bool tempDirectoryGiven = false;
  VARIANT_BOOL clean = -1;
  VEXAWizFileSystemSupport fileSystem = VEXAWizFSDefault;
  bool fileSystemGiven = false;
  std::string updateCheckMode;
  // Shown once per crossing from fitting to not fitting the disc.
  bool overCapacityWarn = true;
  // "Now" for the update-check dates; tests install their own.
  const vexa::base::Clock* clock = &vexa::base::Clock::Real();
  // The sheet while the wizard runs (null otherwise): its pages and dialogs
  // take the cache folder, the font and the estimate from it.
  CvexaPropSheet* sheet = nullptr;
  // The same sheet as the dialogs see it.
  CvexaSheetView* sheetView = nullptr;

  WizServices();
  ~WizServices();
  WizServices(const WizServices&) = delete;
  WizServices& operator=(const WizServices&) = delete;
  // Frees every object (the wizard object's final release).
  void Reset();

  // The text of id from the language bundle, else the fallback (the miss is
  // logged).
  std::string LoadString(int id, std::string_view fallback) const;
  // An "ERROR" line (after the pending COM error text when asked) or an
  // "INFO" line through the logger, component "vexawiz"; false when there is
  // no logger or it fails.
  bool LogError(std::string_view text, bool withCalleeError) const;
  bool LogInfo(std::string_view text) const;
  void SetErrorCode(VEXAWizErrorCode code) { errorCode = code; }
  // Logs the text (with the callee's error when asked), sets the thread's
  // error information for VEXAWizard1 and returns E_FAIL.
  HRESULT Error(std::string_view text, bool withCalleeError = false) const;

  bool GetFilteredExtensionList(std::string_view filter, std::string_view delimiter, StringArray* array) const;
  bool GetFilteredImageExtensions(StringArray* array) const;
  bool GetFilteredAudioExtensions(StringArray* array) const;

  void SetUpdateCheckMode(std::string_view mode);
  std::string GetUpdateCheckMode() const;
  void SaveDateLastChecked() const;
};

struct CVexaWizUtil {
  static bool ReadRegistryString(vexa::reg::Hive hive, std::string_view key, std::string_view name,
                                 std::string* out);
  static bool ReadRegistryDword(vexa::reg::Hive hive, std::string_view key, std::string_view name,
                                DWORD* out);
  static bool ReadRegistryValueAsText(vexa::reg::Hive hive, std::string_view key, std::string_view name,
                                      std::string* out);
  static std::string GetSuppportedFileTypesFilter();
  static std::string GetSuppportedAudioFileTypesFilter();
  static std::string GetAudioPath();

  static bool NextToken(std::string_view source, std::size_t* position, std::string* token,
                        std::string_view delimiter);

  // The cache folder for base: the folder part of base (a last component
  // without a following separator is a file name and dropped) + "vexacache".
  static std::string CacheDirectoryFor(std::string_view base);
  // The thumbnail cache: $XDG_CACHE_HOME/vexa/vexacache (else
  // ~/.cache/vexa/vexacache, else the user's $TMPDIR/vexacache-UID), a
  // private folder (mode 0700) created if missing; false when something else
  // is in its place (a file, a link, another user's folder) or it cannot be
  // made.
  static bool CreateCacheDirectory(std::string* path);

  static std::string GetLastComErrorText();
  static void AppendLineBreaks(int count, std::string* text);
  static void PumpMessages();

  // Local midnight of the stored date as seconds since 1970, or 0.
  static std::time_t GetDateLastChecked();
  static int GetMaxDaysBetweenUpdateChecks();
};

// Where the wizard keeps its session album and settings file
// ($XDG_CONFIG_HOME/vexa/, made when missing); "" when it cannot be made.
std::string SessionFolder();
// The installation folder (APP_PATH of the product key, else share/vexa/).
std::string InstallFolder();

// An audio source that exists: a file, or an audio-CD track of a drive
// that exists ("<drive>/TrackNN.cda").
bool AudioSourceExists(const std::string& path);

// printf-style formatting into a std::string.
using vexa::base::Format;

// Maps a TV system to the two the disc knows: SECAM is shown as PAL, FILM as
// NTSC; INVALID stays INVALID.
LONG MapTVSystem(LONG value);

}  // namespace vexa::wiz
