#include "core/CoreFiles.h"

#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/base/Path.h"

namespace vexa::core {

namespace fs = std::filesystem;

namespace {

struct Mount {
  std::string source;
  std::string point;
};

// "\040" and the like stand for blanks and other bytes in the mount table.
std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<Mount> Mounts() {
  std::vector<Mount> out;
  std::ifstream in("/proc/self/mounts");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string source, point;
    if (fields >> source >> point) out.push_back({Unescape(source), Unescape(point)});
  }
  return out;
}

// The path made absolute and free of "." and ".." and of links as far as it
// exists.
std::string Resolved(std::string_view path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(fs::path(std::string(path)), ec), ec);
  if (ec) return std::string(path);
  return p.lexically_normal().string();
}

bool RemovableDevice(const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return false;
  std::error_code ec;
  const fs::path dev = fs::canonical(source, ec);
  std::string name = (ec ? fs::path(source) : dev).filename().string();
  if (name.rfind("sr", 0) == 0 || name.rfind("scd", 0) == 0) return true;
  // A partition's disk: sdb1 -> sdb.
  for (std::string disk = name; !disk.empty(); disk.pop_back()) {
    std::ifstream flag("/sys/block/" + disk + "/removable");
    char c = 0;
    if (flag >> c) return c == '1';
    if (!(disk.back() >= '0' && disk.back() <= '9')) break;
  }
  return false;
}

}  // namespace

bool IsBelow(std::string_view path, std::string_view folder) {
  if (folder.empty()) return false;
  const fs::path p = fs::path(std::string(path)).lexically_normal();
  const fs::path f = fs::path(std::string(folder)).lexically_normal();
  auto pi = p.begin();
  for (auto fi = f.begin(); fi != f.end(); ++fi) {
    if (fi->empty()) continue;  // a trailing separator
    if (pi == p.end() || *pi != *fi) return false;
    ++pi;
  }
  return true;
}

std::string MountPointOf(std::string_view path) {
  const std::string resolved = Resolved(path);
  std::string best = "/";
  for (const Mount& m : Mounts()) {
    if (m.point.size() > best.size() && IsBelow(resolved, m.point)) best = m.point;
  }
  return best;
}

std::string MountSourceOf(std::string_view mountPoint) {
  std::string source;
  for (const Mount& m : Mounts()) {
    if (m.point == mountPoint) source = m.source;  // the last mount over a point wins
  }
  return source;
}

bool OnWriterDisc(std::string_view path, std::string_view drivePath) {
  if (drivePath.empty()) return false;
  const std::string resolved = Resolved(path);
  std::error_code ec;
  if (fs::is_directory(std::string(drivePath), ec) && IsBelow(resolved, Resolved(drivePath))) return true;
  const std::string device = Resolved(drivePath);
  for (const Mount& m : Mounts()) {
    if ((m.source == drivePath || Resolved(m.source) == device) && IsBelow(resolved, m.point)) return true;
  }
  return false;
}

std::string RemovableLocation(std::string_view path, std::string_view drivePath) {
  const std::string resolved = Resolved(path);
  std::error_code ec;
  if (!drivePath.empty() && fs::is_directory(std::string(drivePath), ec) && IsBelow(resolved, Resolved(drivePath))) {
    return Resolved(drivePath);
  }
  const std::string point = MountPointOf(resolved);
  if (point != "/" && RemovableDevice(MountSourceOf(point))) return point;
  // A volume that has gone may leave no mount behind: its mount folder tells.
  const fs::path p(resolved);
  std::vector<std::string> parts;
  for (const auto& c : p) parts.push_back(c.string());
  // parts[0] is "/".
  if (parts.size() > 3 && parts[1] == "media") return "/media/" + parts[2] + (parts.size() > 4 ? "/" + parts[3] : "");
  if (parts.size() > 4 && parts[1] == "run" && parts[2] == "media") return "/run/media/" + parts[3] + "/" + parts[4];
  return {};
}

bool FreeBytesAvailable(const std::string& dir, std::uint64_t* bytes) {
  struct statvfs st {};
  if (::statvfs(dir.c_str(), &st) != 0) return false;
  *bytes = static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
  return true;
}

// ---- the disc's own pages ----------------------------------------------------------------------

namespace {

struct DiscBlock {
  std::string_view name;
  bool keep;
};

}  // namespace

bool HasDiscBlocks(std::string_view text) {
  for (std::string_view marker : {"[TITLE]", "[NOTITLE]", "[MUSIC]", "[NOMUSIC]"}) {
    if (text.find(marker) != std::string_view::npos) return true;
  }
  return false;
}

std::string KeepDiscBlocks(std::string_view text, const DiscFacts& facts) {
  const DiscBlock blocks[] = {{"TITLE", facts.titlePicture},
                              {"NOTITLE", !facts.titlePicture},
                              {"MUSIC", facts.music},
                              {"NOMUSIC", !facts.music}};
  std::string out(text);
  for (const DiscBlock& b : blocks) {
    const std::string open = "[" + std::string(b.name) + "]", close = "[/" + std::string(b.name) + "]";
    for (std::size_t at; (at = out.find(open)) != std::string::npos;) {
      const std::size_t end = out.find(close, at + open.size());
      if (end == std::string::npos) {
        out.erase(at, open.size());
      } else if (b.keep) {
        out.erase(end, close.size());
        out.erase(at, open.size());
      } else {
        out.erase(at, end + close.size() - at);
      }
    }
    // An end without its start.
    for (std::size_t at; (at = out.find(close)) != std::string::npos;) out.erase(at, close.size());
  }
  return out;
}

}  // namespace vexa::core
