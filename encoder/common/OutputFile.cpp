#include "encoder/common/OutputFile.h"

#include "encoder/common/Failure.h"

namespace vidlathe {

bool OutputFile::Open(const std::string& path) {
  if (path.empty()) return Fail("no output file given");
  if (!out_.Open(path)) return Fail(out_.Error());
  // Pack-sized writes go to the file in large blocks.
  std::setvbuf(out_.Stream(), nullptr, _IOFBF, 64 * 1024);
  return true;
}

bool OutputFile::Commit(bool ok) {
  if (!out_.Stream()) return false;
  if (!ok) {
    out_.Discard();
    return false;
  }
  if (!out_.Commit()) return Fail(out_.Error());
  return true;
}

}  // namespace vidlathe
