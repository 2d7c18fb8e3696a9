// One photo's own work for the disc, apart from the storyboard's tables:
// the copy of its original, the album picture, the thumbnail and the web
// copy, and the record written into each. Nothing here touches the
// storyboard, so photos can be made side by side; the storyboard adds a
// made photo to the album and the disc afterwards, one at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/EngineFiles.h"
#include "engine/EngineResult.h"
#include "engine/StoryboardPorts.h"

namespace vexa::engine {

// Files made for an addition that is not finished yet: removed when this
// goes, unless kept.
class MadeFiles {
 public:
  MadeFiles() = default;
  MadeFiles(MadeFiles&& other) noexcept : files_(std::move(other.files_)), keep_(other.keep_) { other.files_.clear(); }
  MadeFiles& operator=(MadeFiles&& other) noexcept;
  MadeFiles(const MadeFiles&) = delete;
  MadeFiles& operator=(const MadeFiles&) = delete;
  ~MadeFiles();

  void Add(const std::string& file) { files_.push_back(file); }
  void Keep() { keep_ = true; }

 private:
  void RemoveUnlessKept();
  std::vector<std::string> files_;
  bool keep_ = false;
};

// What one photo's files are made from.
struct StillJob {
  std::string file;       // the picture as given
  LONG type = 0;          // the image utility's type of it
  LONG rotateDegrees = 0;
  std::string discName;   // "IM_Annnn.JPG"
  WorkFolders folders;
  // The memory making it takes at most (PhotoMemory), drawn from the
  // process's budget for pictures before it is made.
  std::uint64_t memory = 0;
};

// The memory making a photo's files takes at most, from its size: the
// decoded picture (at most 4 bytes a pixel, with room for its encoded
// copy beside it), twice when it is turned (the turned copy).
std::uint64_t PhotoMemory(const PictureInfo& info, LONG rotateDegrees);

// A photo's files, made.
struct StillFiles {
  // The picture the disc carries as the original: the copy with its record
  // (an unrotated JPEG) or the picture as given.
  std::string original;
  std::string albumFile, thumbFile, webFile;
  Derivatives sizes;
  std::string identifier;  // of the album picture's record
  MadeFiles made;          // every file made above
};

// A record to write into a JPEG, and how it went.
struct RecordJob {
  RecordJob(std::string f, std::string id, LONG r, const char* m)
      : file(std::move(f)), identifier(std::move(id)), resolution(r), message(m) {}
  std::string file;
  std::string identifier;
  LONG resolution = 0;
  const char* message = "";  // the storyboard's text for a failure
  bool ok = true;
  std::string why;
};

// Makes the photo's files: an unrotated JPEG's original is copied and gets
// a record of its own (resolution 1), any other picture goes on the disc as
// it is; the three derivatives are made from the picture and each gets a
// record. With tools that write records with files, each file is written
// once with its record in it, and the album picture's own picture is kept
// for the smaller pictures made from it later; otherwise the records are
// stored into the files afterwards, on helper threads. On a failure nothing
// made is left and the result holds the text and code the storyboard
// reports.
Result MakeStillFiles(const StillJob& job, StillTools& tools, StillFiles* out);

}  // namespace vexa::engine
