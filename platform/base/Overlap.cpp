#include "platform/base/Overlap.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace vexa::base {

namespace {

struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

bool IdOf(const std::string& path, bool follow, FileId* id) {
  struct stat st {};
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return false;
  *id = FileId{st.st_dev, st.st_ino};
  return true;
}

std::string Resolved(const std::string& path) {
  char* r = ::realpath(path.c_str(), nullptr);
  if (!r) return std::string();
  std::string out = r;
  std::free(r);
  return out;
}

// Every file whose replacement or removal reaches input: the name itself
// (a link and what it points to), and each folder above it, up to the root,
// along the folder it is named in and along its resolved path.
std::vector<FileId> GuardedIds(std::string_view input) {
  std::vector<FileId> ids;
  const std::string in(input);
  if (in.empty()) return ids;
  FileId id;
  if (IdOf(in, false, &id)) ids.push_back(id);
  if (IdOf(in, true, &id)) ids.push_back(id);
  if (ids.empty()) return ids;
  std::string parent = fs::path(in).parent_path().string();
  if (parent.empty()) parent = ".";
  for (const std::string& start : {Resolved(parent), Resolved(in)}) {
    fs::path p = start;
    while (!p.empty()) {
      if (IdOf(p.string(), true, &id)) ids.push_back(id);
      if (p == p.root_path()) break;
      p = p.parent_path();
    }
  }
  return ids;
}

bool Contains(const std::vector<FileId>& ids, const FileId& id) {
  for (const FileId& i : ids) {
    if (i == id) return true;
  }
  return false;
}

}  // namespace

bool OutputOverlapsInput(std::string_view output, std::string_view input) {
  FileId out;
  if (output.empty() || !IdOf(std::string(output), true, &out)) return false;
  return Contains(GuardedIds(input), out);
}

bool DescriptorIsInput(int fd, std::string_view input) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  FileId id;
  const std::string in(input);
  return (IdOf(in, true, &id) && id == FileId{st.st_dev, st.st_ino}) ||
         (IdOf(in, false, &id) && id == FileId{st.st_dev, st.st_ino});
}

std::string OverlappedInput(std::string_view output, const std::vector<std::string>& inputs) {
  for (const std::string& in : inputs) {
    if (OutputOverlapsInput(output, in)) return in;
  }
  return std::string();
}

}  // namespace vexa::base
