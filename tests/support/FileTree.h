// A folder's whole content as a map, to show that a refused command left
// everything the person had as it was: compare the map before and after.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "platform/base/Path.h"

namespace vexa::testsupport {

// Every entry under dir by its path: a regular file with its bytes, a
// folder as "folder", a symbolic link as "link to " and its target (never
// followed, so a link to a FIFO cannot hold the test).
inline std::map<std::string, std::string> FileTree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string& v = all[e.path().string()];
    if (e.is_symlink()) v = "link to " + fs::read_symlink(e.path()).string();
    else if (e.is_directory()) v = "folder";
    else vexa::base::ReadFile(e.path().string(), &v);
  }
  return all;
}

}  // namespace vexa::testsupport
