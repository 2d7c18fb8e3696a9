// What the storyboard asks of the components it works with, as plain calls:
// the album model (the album manifest the disc carries) and the picture
// tools (the image utility, the records kept in a JPEG's comment segment,
// fresh identifiers). The engine's COM class implements both over the
// component objects; the storyboard knows nothing of them.
//
// A call that fails answers false with *why holding the component's own
// text about it ("" when it gave none); the storyboard puts its own text
// after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/WinTypes.h"

namespace vexa::engine {

struct AlbumStill;
struct AudioRecord;

// The values the storyboard works in; they are the interface's, number for
// number (the COM class checks that).
namespace values {
// Picture sizing.
inline constexpr LONG kResizePicture = 0;
inline constexpr LONG kCropPicture = 1;
// TV systems.
inline constexpr LONG kNtsc = 0;
inline constexpr LONG kFilm = 1;
inline constexpr LONG kPal = 2;
inline constexpr LONG kSecam = 3;
// File systems.
inline constexpr LONG kIso9660 = 1;
inline constexpr LONG kJoliet = 64;
inline constexpr LONG kFileSystemDefault = 65;  // ISO 9660 and Joliet
inline constexpr LONG kUdf15 = 128;
// Paper sizes.
inline constexpr LONG kLetter = 0;
inline constexpr LONG kA4 = 1;
// The resolutions a picture's record names.
inline constexpr LONG kOriginalResolution = 1;
inline constexpr LONG kAlbumResolution = 2;
inline constexpr LONG kWebResolution = 3;
inline constexpr LONG kThumbResolution = 4;
// Picture types of the image utility.
inline constexpr LONG kJpegType = 101;
}  // namespace values

// The album manifest being built.
class AlbumPort {
 public:
  virtual ~AlbumPort() = default;
  // Times in seconds, as the album file holds them.
  virtual bool PutStillDelay(LONG seconds, std::string* why) = 0;
  virtual bool PutStillTitleVisibleTime(LONG seconds, std::string* why) = 0;
  virtual bool PutTVSystem(LONG system, std::string* why) = 0;
  virtual bool PutPaperSize(LONG paperSize, std::string* why) = 0;
  // line: 1 to 3.
  virtual bool PutTitleLine(int line, const std::string& text, std::string* why) = 0;
  virtual bool AddAudio(const AudioRecord& audio, std::string* why) = 0;
  virtual bool AddStill(const AlbumStill& still, std::string* why) = 0;
  // The lists made again from the storyboard's tables (after an addition
  // that did not happen); false when the album would not take them.
  virtual bool RebuildAudios(const AudioRecord* audios, std::size_t count) = 0;
  virtual bool RebuildStills(const AlbumStill* stills, std::size_t count) = 0;
};

// What the image utility tells of a picture.
struct PictureInfo {
  LONG type = 0;  // the utility's type number (values::kJpegType for a JPEG)
  LONG width = 0, height = 0;
};

// The three pictures made from a still, and how each went.
struct Derivatives {
  bool albumMade = false, thumbMade = false, webMade = false;
  LONG albumWidth = 0, albumHeight = 0;
  LONG thumbWidth = 0, thumbHeight = 0;
  LONG webWidth = 0, webHeight = 0;
};

// The picture tools. StoreRecord and NewIdentifier may be called from any
// thread; the rest from the storyboard's.
class StillTools {
 public:
  virtual ~StillTools() = default;
  virtual bool GetStillInfo(const std::string& file, PictureInfo* out, std::string* why) = 0;
  virtual bool IsSupportedInput(LONG type, bool* supported, std::string* why) = 0;
  // The album-resolution picture, a thumbnail within thumbBox x thumbBox
  // and a copy within webBox x webBox, each turned by rotateDegrees.
  virtual bool CreateDerivatives(const std::string& original, LONG rotateDegrees, const std::string& albumFile,
                                 const std::string& thumbFile, LONG thumbBox, const std::string& webFile, LONG webBox,
                                 Derivatives* out, std::string* why) = 0;
  // Resized to exactly width x height (no bounding box).
  virtual bool ResizeStill(const std::string& source, const std::string& destination, LONG width, LONG height,
                           std::string* why) = 0;
  virtual bool CropStill(const std::string& source, const std::string& destination, LONG left, LONG top, LONG right,
                         LONG bottom, std::string* why) = 0;
  // The three-line title picture, drawn for an NTSC or a PAL still. A
  // failure's text is not taken: the utility's own stays for the client.
  virtual bool CreateTitleStill(const std::array<std::string, 3>& lines, const std::string& file, bool ntsc) = 0;
  // Writes (or replaces) the record of a JPEG: identifier and resolution.
  virtual bool StoreRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                           std::string* why) = 0;
  // A fresh identifier: 36 characters, lower case, no braces.
  virtual bool NewIdentifier(std::string* out) = 0;

  // Tools that can write each file once, its record already in it, say so
  // here; the storyboard then uses the three calls below in place of
  // CreateDerivatives, a copy and StoreRecord. Any thread.
  virtual bool WritesRecordsWithFiles() const { return false; }
  // The record as the bytes of a JPEG's comment segment.
  virtual bool RecordBytes(const std::string& identifier, LONG resolution, std::string* bytes, std::string* why) {
    (void)identifier, (void)resolution, (void)bytes;
    *why = "the tools cannot make a record's bytes";
    return false;
  }
  // CreateDerivatives, each picture written with its record (RecordBytes)
  // in it. The picture the album picture is made from is kept for the
  // smaller pictures made from that file later, at keepLongSide at most.
  virtual bool CreateDerivativesWithRecords(const std::string& original, LONG rotateDegrees,
                                            const std::string& albumFile, const std::string& albumRecord,
                                            const std::string& thumbFile, const std::string& thumbRecord,
                                            LONG thumbBox, const std::string& webFile, const std::string& webRecord,
                                            LONG webBox, LONG keepLongSide, Derivatives* out, std::string* why) {
    (void)original, (void)rotateDegrees, (void)albumFile, (void)albumRecord, (void)thumbFile, (void)thumbRecord;
    (void)thumbBox, (void)webFile, (void)webRecord, (void)webBox, (void)keepLongSide, (void)out;
    *why = "the tools cannot write records with the files";
    return false;
  }
  // The JPEG at source copied to destination with the record in it, in one
  // write (mode 0644). A JPEG that holds comments already is not copied:
  // true with *copied false (the copy and StoreRecord then deal with them).
  virtual bool CopyWithRecord(const std::string& source, const std::string& destination, const std::string& record,
                              bool* copied, std::string* why) {
    (void)source, (void)destination, (void)record;
    *copied = false;
    *why = "the tools cannot write records with the files";
    return false;
  }
};

}  // namespace vexa::engine
