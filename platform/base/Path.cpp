#include "platform/base/Path.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/base/File.h"

namespace fs = std::filesystem;

namespace vexa::base {

bool IsSeparator(char c) { return c == '/'; }

std::string ToNativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string JoinPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out(a);
  const bool aSep = IsSeparator(out.back());
  const bool bSep = IsSeparator(b.front());
  if (aSep && bSep) {
    out.append(b.substr(1));
  } else if (aSep || bSep) {
    out.append(b);
  } else {
    out += '/';
    out.append(b);
  }
  return out;
}

namespace {
std::size_t LastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}
}  // namespace

std::string DirName(std::string_view path) {
  const std::size_t p = LastSeparator(path);
  if (p == std::string_view::npos) return "";
  if (p == 0) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, p));
}

std::string BaseName(std::string_view path) {
  const std::size_t p = LastSeparator(path);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string Extension(std::string_view path) {
  const std::string base = BaseName(path);
  const std::size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return base.substr(dot);
}

std::string WithTrailingSeparator(std::string_view dir) {
  std::string out(dir);
  if (out.empty() || !IsSeparator(out.back())) out += '/';
  return out;
}

namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeDirectory() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

int AnchorSymbol = 0;
}  // namespace

std::string InstallPrefix() {
  std::string env = Env("VEXA_PREFIX");
  if (!env.empty()) return env;
  // The library's own place does not change while the process runs:
  // resolved once (every path lookup of a registry read comes here).
  static const std::string fromLibrary = [] {
    Dl_info info{};
    if (dladdr(&AnchorSymbol, &info) && info.dli_fname) {
      std::error_code ec;
      fs::path lib = fs::canonical(info.dli_fname, ec);
      if (!ec) {
        // PREFIX/lib/vexa/libvexa_base.so
        return lib.parent_path().parent_path().parent_path().string();
      }
    }
    return std::string(".");
  }();
  return fromLibrary;
}

std::string BinDir() { return JoinPath(InstallPrefix(), "bin"); }
std::string LibDir() { return JoinPath(InstallPrefix(), "lib/vexa"); }
std::string ShareDir() { return JoinPath(InstallPrefix(), "share/vexa"); }

std::string TempDirectory() {
  std::string t = Env("TMPDIR");
  if (t.empty()) t = "/tmp";
  while (t.size() > 1 && t.back() == '/') t.pop_back();
  return t;
}

bool MakePrivateDir(std::string_view pathIn) {
  const std::string dir(pathIn);
  if (dir.empty()) return false;
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // Opened without following a link, so the checks and the mode change
  // apply to the folder itself.
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
  if (ok && (st.st_mode & 0077) != 0) ok = fchmod(fd, st.st_mode & 07700) == 0;
  close(fd);
  return ok;
}

std::string PrivateTempDirectory(std::string_view name) {
  const std::string dir = JoinPath(TempDirectory(), std::string(name) + "-" + std::to_string(geteuid()));
  return MakePrivateDir(dir) ? dir : std::string();
}

std::string RuntimeDirectory(std::string* why) {
  std::string base = Env("XDG_RUNTIME_DIR");
  std::string dir = base.empty() ? "/tmp/vexa-" + std::to_string(getuid()) : JoinPath(base, "vexa");
  // What to do is the same for every failure: a folder of the user's own.
  const std::string remedy = base.empty() ? "; remove it, or set XDG_RUNTIME_DIR to a folder of your own."
                                          : "; set XDG_RUNTIME_DIR to a folder of your own (it is " + base + ").";
  auto fail = [&](const std::string& problem) {
    if (why) *why = "the runtime folder " + dir + " " + problem + remedy;
    return std::string();
  };
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail(std::string("cannot be made: ") + strerror(errno));
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return fail(std::string("cannot be read: ") + strerror(errno));
  if (!S_ISDIR(st.st_mode)) return fail("is not a folder");
  if (st.st_uid != getuid()) {
    return fail("belongs to user " + std::to_string(st.st_uid) + ", not to this user (" + std::to_string(getuid()) +
                ")");
  }
  if ((st.st_mode & 0077) != 0 && chmod(dir.c_str(), 0700) != 0) {
    return fail(std::string("cannot be made private: ") + strerror(errno));
  }
  return dir;
}

std::string UserDataDirectory() {
  std::string base = Env("XDG_DATA_HOME");
  if (base.empty()) base = JoinPath(HomeDirectory(), ".local/share");
  return JoinPath(base, "vexa");
}

std::string UserConfigDirectory() {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty()) base = JoinPath(HomeDirectory(), ".config");
  return JoinPath(base, "vexa");
}

std::string MakeTempFile(std::string_view dir, std::string_view prefix, std::string_view suffix) {
  std::string tmpl = JoinPath(dir.empty() ? TempDirectory() : std::string(dir),
                              std::string(prefix) + "XXXXXX" + std::string(suffix));
  int fd = mkstemps(tmpl.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return "";
  close(fd);
  return tmpl;
}

std::string MakeTempDir(std::string_view dir, std::string_view prefix) {
  std::string tmpl =
      JoinPath(dir.empty() ? TempDirectory() : std::string(dir), std::string(prefix) + "XXXXXX");
  if (!mkdtemp(tmpl.data())) return "";
  return tmpl;
}

bool RemoveAll(std::string_view path) {
  std::error_code ec;
  fs::remove_all(fs::path(std::string(path)), ec);
  return !ec;
}

bool MakeDirs(std::string_view path) {
  std::error_code made, asked;
  fs::create_directories(fs::path(ToNativePath(path)), made);
  if (fs::is_directory(fs::path(ToNativePath(path)), asked)) return true;
  // The creation's own reason, for the caller's message.
  errno = made ? made.value() : ENOTDIR;
  return false;
}

bool MakePrivateDirs(std::string_view pathIn) {
  const std::string path = ToNativePath(pathIn);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // Each missing folder from the top down, made 0700 by mkdir itself (a
  // mode changed afterwards would leave a moment in which others may enter).
  int made = 0;
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/') {
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) made = errno;
    }
    if (end == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = made ? made : ENOTDIR;
  return false;
}

bool FileExists(std::string_view path) {
  struct stat st {};
  return stat(std::string(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(std::string_view path) {
  struct stat st {};
  return stat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(std::string_view path, std::string* out, std::string* error) {
  InputFile in;
  auto fail = [&]() {
    if (error) *error = in.Error();
    return false;
  };
  if (!in.Open(path)) return fail();
  std::string data;
  // A file of the proc and sys file systems tells no size: read to its end.
  if (in.IsRegular() && in.Size() > 0) {
    data.resize(static_cast<std::size_t>(in.Size()));
    if (!in.ReadExactly(data.data(), data.size()) || !in.AtEnd()) return fail();
  } else {
    char buf[65536];
    for (long long n; (n = in.ReadSome(buf, sizeof buf)) != 0;) {
      if (n < 0) return fail();
      data.append(buf, static_cast<std::size_t>(n));
    }
  }
  *out = std::move(data);
  return true;
}

namespace {

bool WriteWhole(std::string_view path, std::string_view data, mode_t newMode, std::string* error) {
  OutputFile out;
  out.SetNewFileMode(newMode);
  if (out.Open(path) && out.Write(data) && out.Commit()) return true;
  if (error) *error = out.Error();
  return false;
}

}  // namespace

bool WriteFileAtomic(std::string_view path, std::string_view data, std::string* error) {
  return WriteWhole(path, data, 0666, error);
}

bool WritePrivateFileAtomic(std::string_view path, std::string_view data, std::string* error) {
  return WriteWhole(path, data, 0600, error);
}

}  // namespace vexa::base
