// Reader of the segment structure of EXIF JPEG files: whether a file is
// EXIF, whether it holds a sound clip stored as FlashPix extension data in
// APP2 segments, copying that audio stream into a file of its own, and
// moving the audio segments of one EXIF file into another. All numbers in
// the file are big-endian. Nothing throws: results are statuses and
// booleans, and every step can write trace lines into a caller's list.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

enum EExifMarker : int {
  EXIF_SOI = 0,
  EXIF_APP0 = 1,  // APP0..APP15 are 1..16
  EXIF_APP1 = 2,
  EXIF_APP2 = 3,
  EXIF_APP15 = 16,
  EXIF_COM = 17,
  EXIF_DQT = 18,
  EXIF_UNKNOWN = 19,
};

enum EExifStatus : int {
  EXIF_SUCCESS = 0,
  EXIF_CANNOT_OPEN = -1,
  EXIF_EOF = -2,
  EXIF_UNEXPECTED_MARKER = -3,
  EXIF_WRONG_MARKER = -4,
  EXIF_INVALID_CONTENTS = -5,
  EXIF_COPY_FAILED = -7,
};

using CFile = std::fstream;

class VEXATHUMCOMMON_API CExif {
 public:
  explicit CExif(std::string path);
  CExif(const CExif& other);
  CExif& operator=(const CExif& other);
  virtual ~CExif();

  static bool IsExif(std::string path);
  static bool AudioPresent(std::string path);
  static EExifStatus ReadHeader(std::string path);
  // The kind of the 2-byte marker at the current position; the position is
  // left where it was.
  static EExifMarker GetMarkerType(CFile* file);
  static bool ReadBytes(CFile* file, std::uint8_t* buffer, unsigned count);
  // Reads one application segment (any APPn when `expected` is 0, else that
  // marker) and leaves the position at the next segment; `length` is the
  // segment's length field.
  static EExifStatus ReadAppMarker(CFile* file, int* length, int expected);
  // Reads a FlashPix contents list (APP2); `entries` is its entry count.
  static EExifStatus ReadMarkerReadyContentsList(CFile* file, int* entries);
  // Trace lines go into this list while it is set (null switches tracing off).
  static void SetStatusList(std::vector<std::string>* list);
  static void Trace(std::string line);

  // Walks the file's segments up to the first that is neither APPn nor COM.
  EExifStatus ReadMarkers();
  // Writes the FlashPix audio stream of this file into `destination`.
  bool AudioCopyToFile(std::string destination);
  // Moves the audio segments of `source` into this file, in front of its
  // first DQT segment. `workDirectory` holds the segments meanwhile.
  bool AudioEmbedFromExif(std::string source, std::string workDirectory);

  const std::string& Path() const { return m_path; }

 protected:
  EExifStatus ReadCommentMarker(CFile* file);
  EExifStatus ReadMarkerAudioStream(CFile* source, CFile* destination, bool first);
  bool AudioExtractMarkers(std::string source, std::string markerFile);
  bool AudioEmbedMarkers(CFile* destination, std::string markerFile);
  static bool CopyAppMarker(CFile* source, CFile* destination);
  static bool CopyUpToDQT(CFile* source, CFile* destination);
  static bool CopyFile(CFile* source, CFile* destination);

 private:
  std::string m_path;
};

}  // namespace vexa::ui
