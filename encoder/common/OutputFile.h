// The output file of an encoding call, through the system's one output
// helper (platform/base/File.h): written beside the target under a
// temporary name and put in its place only when the call succeeded, so a
// failed call leaves no partial file and never damages what was there; a
// device or pipe named as the output is written as it is; a symbolic link,
// a folder or a file the caller may not write is refused. Every failure is
// recorded as the call's reason.
#pragma once

#include <cstdio>
#include <string>

#include "platform/base/File.h"

namespace vidlathe {

class OutputFile {
 public:
  // Opens the output for writing (and reading back, unless direct); false
  // on failure.
  bool Open(const std::string& path);
  std::FILE* file() const { return out_.Stream(); }
  // True when the target is written directly (a device or pipe).
  bool direct() const { return out_.Direct(); }
  // With ok, completes the output and puts it in place of the target;
  // otherwise drops it. False when the output is not in place.
  bool Commit(bool ok);

 private:
  vexa::base::OutputFile out_;  // an output never committed is dropped
};

}  // namespace vidlathe
