// The output file of an encoding call. It is written under a temporary name
// beside the target and renamed over it only when the call succeeded, so a
// failed call leaves no partial file and never damages what was there. A
// device or pipe named as the output (such as /dev/null) is written as it
// is: nothing may be renamed over it.
#pragma once

#include <cstdio>
#include <string>

namespace vidlathe {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an output never committed is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output for writing (and reading back); false on failure.
  bool Open(const std::string& path);
  std::FILE* file() const { return file_; }
  // True when the target is written directly (a device or pipe).
  bool direct() const { return direct_; }
  // Flushes and closes; when ok and every write succeeded, puts the file in
  // place of the target. False when anything failed (the output is removed).
  bool Commit(bool ok);

 private:
  std::string target_, temp_;
  std::FILE* file_ = nullptr;
  bool direct_ = false;
};

}  // namespace vidlathe
