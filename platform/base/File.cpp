#include "platform/base/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "platform/base/Text.h"

namespace vexa::base {
namespace {

// Paths in messages are escaped: a name may hold any byte but '\0' and '/'.
std::string Quoted(const std::string& path) { return "'" + EscapeForDisplay(path) + "'"; }

std::string Reason(int error) { return std::strerror(error); }

// The folder part and the name part of an operating-system path.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 rng{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string s(6, 'x');
  for (char& c : s) c = kChars[pick(rng)];
  return s;
}

std::mutex& WorkFoldersMutex() {
  static std::mutex m;
  return m;
}

// The marked folders, each without a trailing '/'.
std::vector<std::string>& WorkFolders() {
  static std::vector<std::string> folders;
  return folders;
}

std::string WithoutTrailingSlashes(std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  return std::string(folder);
}

}  // namespace

// ---- work folders -----------------------------------------------------------

void MarkWorkFolder(std::string_view folder) {
  const std::string f = WithoutTrailingSlashes(folder);
  if (f.empty() || f.front() != '/' || f == "/") return;
  std::lock_guard lock(WorkFoldersMutex());
  auto& folders = WorkFolders();
  if (std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
}

void UnmarkWorkFolder(std::string_view folder) {
  const std::string f = WithoutTrailingSlashes(folder);
  std::lock_guard lock(WorkFoldersMutex());
  auto& folders = WorkFolders();
  folders.erase(std::remove(folders.begin(), folders.end(), f), folders.end());
}

bool InWorkFolder(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  // A "." or ".." component could lead out of the folder the text names.
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  std::lock_guard lock(WorkFoldersMutex());
  for (const std::string& f : WorkFolders()) {
    if (path.size() > f.size() + 1 && path.compare(0, f.size(), f) == 0 && path[f.size()] == '/') return true;
  }
  return false;
}

// ---- OutputFile -------------------------------------------------------------

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

bool OutputFile::Open(std::string_view target) { return OpenAs(target, {}); }

bool OutputFile::Open(std::string_view target, std::string_view tempName) {
  if (tempName.empty() || tempName.find('/') != std::string_view::npos) {
    error_ = "no valid name for the temporary file of '" + std::string(target) + "'";
    return false;
  }
  return OpenAs(target, tempName);
}

namespace {

// What is at target and whether an output may go there: "" when it may,
// with *st and *exists telling what was found; else the reason. A device or
// pipe (written as it is) must be the writer's or the system's: another
// user's FIFO would hand them what is written.
std::string Inspect(const std::string& target, struct stat* st, bool* exists) {
  *exists = false;
  if (target.empty()) return "no output file was named";
  if (lstat(target.c_str(), st) != 0) {
    if (errno == ENOENT) return "";
    return "cannot write " + Quoted(target) + ": " + Reason(errno);
  }
  *exists = true;
  if (S_ISLNK(st->st_mode)) {
    return Quoted(target) + " is a symbolic link; it is not replaced (name the file it points to)";
  }
  if (S_ISDIR(st->st_mode)) return Quoted(target) + " is a folder";
  if (S_ISCHR(st->st_mode) || S_ISBLK(st->st_mode) || S_ISFIFO(st->st_mode)) {
    if (st->st_uid != geteuid() && st->st_uid != 0) {
      return Quoted(target) + " is " + FileKindName(st->st_mode) + " of another user; it is not written";
    }
    return "";
  }
  if (!S_ISREG(st->st_mode)) return Quoted(target) + " is neither a file, a device nor a pipe";
  // The rename would replace the file whatever its permissions say: ask
  // what the caller may do with the file itself.
  if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return Quoted(target) + " may not be written: " + Reason(errno);
  }
  return "";
}

}  // namespace

std::string OutputRefusal(std::string_view target) {
  struct stat st {};
  bool exists = false;
  return Inspect(std::string(target), &st, &exists);
}

bool OutputFile::OpenAs(std::string_view targetIn, std::string_view tempName) {
  Discard();
  error_.clear();
  direct_ = false;
  replacing_ = false;
  target_ = std::string(targetIn);

  struct stat st {};
  bool exists = false;
  if (std::string why = Inspect(target_, &st, &exists); !why.empty()) return Fail(std::move(why));
  if (exists && !S_ISREG(st.st_mode)) {
    // Written as it is: a rename would put a regular file in its place.
    const int fd = open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open " + Quoted(target_) + " for writing: " + Reason(errno));
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
      close(fd);
      return Fail(Quoted(target_) + " changed while it was opened");
    }
    stream_.reset(fdopen(fd, "wb"));
    if (!stream_) {
      const int e = errno;
      close(fd);
      return Fail("cannot open " + Quoted(target_) + " for writing: " + Reason(e));
    }
    direct_ = true;
    return true;
  }
  if (exists) {
    replacing_ = true;
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  }

  // The temporary file lies beside the target, so the rename stays within
  // one file system. Made with the new-file mode (0666 unless set), it gets
  // what the umask allows, which is what a new output keeps; a replacement
  // is made 0600 and given the old file's mode below.
  const std::string folder = FolderOf(target_);
  const std::string prefix = folder + "/." + Utf8CutBytes(NameOf(target_), 200) + ".";
  const std::string given = tempName.empty() ? std::string() : folder + "/" + std::string(tempName);
  if (!given.empty()) unlink(given.c_str());
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    const std::string name = given.empty() ? prefix + RandomSuffix() : given;
    fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replacing_ ? 0600 : newMode_);
    if (fd >= 0) {
      temp_ = name;
    } else if (errno != EEXIST) {
      return Fail("cannot create a file in " + Quoted(folder) + " for " + Quoted(target_) + ": " +
                  Reason(errno));
    }
  }
  if (fd < 0) return Fail("cannot create a file in " + Quoted(folder) + ": no free name");
  // A replacement is only ever as readable as the file it replaces, and
  // nobody else may write it before it is complete.
  if (replacing_ && fchmod(fd, mode_ & 0755) != 0) {
    const int e = errno;
    close(fd);
    Discard();
    return Fail("cannot write " + Quoted(target_) + ": " + Reason(e));
  }
  stream_.reset(fdopen(fd, "w+b"));
  if (!stream_) {
    const int e = errno;
    close(fd);
    Discard();
    return Fail("cannot write " + Quoted(target_) + ": " + Reason(e));
  }
  return true;
}

bool OutputFile::Write(const void* data, std::size_t size) {
  if (!stream_) return Fail("cannot write " + Quoted(target_) + ": it is not open");
  if (size == 0) return error_.empty();
  if (std::fwrite(data, 1, size, stream_.get()) != size) {
    return Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
  }
  return error_.empty();
}

bool OutputFile::Commit() {
  if (!stream_) return Fail("cannot write " + Quoted(target_) + ": it is not open");
  std::FILE* f = stream_.get();
  if (std::fflush(f) != 0) Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
  if (std::ferror(f)) Fail("cannot write " + Quoted(target_) + ": a write failed");
  if (!direct_ && error_.empty() && !InWorkFolder(target_) && fsync(fileno(f)) != 0) {
    Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
  }
  if (!direct_ && error_.empty() && replacing_) {
    // Owner and mode of the replaced file; the owner only where the caller
    // may give the file away (the group where it belongs to it). What the
    // writer wrote is never handed to another user while others may change
    // it: a replaced file with group or world write bits that belonged to
    // someone else stays the writer's, and loses those bits.
    const int fd = fileno(f);
    struct stat now {};
    const bool othersMayWrite = (mode_ & 022) != 0;
    mode_t mode = mode_;
    if (fstat(fd, &now) != 0) {
      Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
    } else if (othersMayWrite && now.st_uid != uid_) {
      mode = mode_ & 0755;
    } else {
      if (fchown(fd, uid_, gid_) != 0) (void)!fchown(fd, static_cast<uid_t>(-1), gid_);
      const bool sameOwner = fstat(fd, &now) == 0 && now.st_uid == uid_ && now.st_gid == gid_;
      // Set-id bits stay only on a file that kept its owner.
      if (!sameOwner) mode = mode_ & 0777;
    }
    if (error_.empty() && fchmod(fd, mode) != 0) {
      Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
    }
  }
  const bool closed = std::fclose(stream_.release()) == 0;
  if (!closed) Fail("cannot write " + Quoted(target_) + ": " + Reason(errno));
  if (direct_ || !error_.empty()) {
    Discard();
    return error_.empty();
  }
  // What was checked at Open must still hold: never rename over something
  // that became a link, a folder or a device meanwhile.
  struct stat st {};
  if (lstat(target_.c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT) {
    Fail(Quoted(target_) + " changed while it was written; it is left as it is");
    Discard();
    return false;
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    Fail("cannot put the new file in place of " + Quoted(target_) + ": " + Reason(errno));
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

void OutputFile::Discard() {
  stream_.reset();
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

// ---- Logs ---------------------------------------------------------------------

int OpenOwnLogFile(std::string_view pathIn, bool truncate, mode_t mode, std::string* why) {
  const std::string path(pathIn);
  auto fail = [&](std::string reason) {
    if (why) *why = std::move(reason);
    return -1;
  };
  if (path.empty()) return fail("no log file was named");
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC,
                      mode);
  if (fd < 0) {
    if (errno == ELOOP) return fail(Quoted(path) + " is a symbolic link; no log is written through it");
    return fail("cannot open " + Quoted(path) + ": " + Reason(errno));
  }
  struct stat st {};
  std::string refusal;
  if (fstat(fd, &st) != 0) refusal = "cannot open " + Quoted(path) + ": " + Reason(errno);
  else if (!S_ISREG(st.st_mode)) refusal = Quoted(path) + " is " + FileKindName(st.st_mode) + ", not a log file";
  else if (st.st_uid != geteuid()) refusal = Quoted(path) + " belongs to another user; no log is written into it";
  else if (truncate && ftruncate(fd, 0) != 0) refusal = "cannot empty " + Quoted(path) + ": " + Reason(errno);
  if (!refusal.empty()) {
    close(fd);
    return fail(std::move(refusal));
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

// ---- InputFile --------------------------------------------------------------

bool InputFile::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

std::string FileKindName(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "an entry of unknown kind";
}

std::string NotRegularFileReason(std::string_view pathIn) {
  const std::string path(pathIn);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // Missing is the caller's to report; a path that cannot be followed (a
    // loop of symbolic links, a folder that may not be entered) is not.
    const int why = errno;
    if (why == ENOENT || why == ENOTDIR) return "";
    return Quoted(path) + " cannot be reached: " + Reason(why);
  }
  if (S_ISREG(st.st_mode)) return "";
  return Quoted(path) + " is " + FileKindName(st.st_mode) + ", not a regular file";
}

bool InputFile::OpenRegular(std::string_view path) { return Open(path, true); }

bool InputFile::Open(std::string_view path) { return Open(path, false); }

bool InputFile::Open(std::string_view pathIn, bool regularOnly) {
  stream_.reset();
  error_.clear();
  path_ = std::string(pathIn);
  size_ = 0;
  done_ = 0;
  regular_ = false;
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; the flag is cleared again once the file is open, so reads block
  // as usual.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Fail("cannot open " + Quoted(path_) + ": " + Reason(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int why = errno;
    ::close(fd);
    return Fail("cannot read " + Quoted(path_) + ": " + Reason(why));
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Fail(Quoted(path_) + " is a folder, not a file");
  }
  if (regularOnly && !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Fail(Quoted(path_) + " is " + FileKindName(st.st_mode) + ", not a regular file");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int why = errno;
    ::close(fd);
    return Fail("cannot open " + Quoted(path_) + ": " + Reason(why));
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    const int why = errno;
    ::close(fd);
    return Fail("cannot open " + Quoted(path_) + ": " + Reason(why));
  }
  stream_.reset(f);
  regular_ = S_ISREG(st.st_mode);
  if (regular_) size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

long long InputFile::ReadSome(void* data, std::size_t size) {
  if (!stream_) {
    Fail("cannot read " + Quoted(path_) + ": it is not open");
    return -1;
  }
  const std::size_t got = std::fread(data, 1, size, stream_.get());
  if (got < size && std::ferror(stream_.get())) {
    Fail("cannot read " + Quoted(path_) + ": " + Reason(errno));
    return -1;
  }
  done_ += got;
  return static_cast<long long>(got);
}

bool InputFile::ReadExactly(void* data, std::size_t size) {
  const long long got = ReadSome(data, size);
  if (got < 0) return false;
  if (static_cast<std::size_t>(got) < size) {
    std::string what = Quoted(path_) + " changed while it was read: it ended after " + std::to_string(done_);
    if (regular_) what += " of its " + std::to_string(size_);
    return Fail(what + " bytes");
  }
  return true;
}

bool InputFile::AtEnd() {
  if (!stream_) return Fail("cannot read " + Quoted(path_) + ": it is not open");
  const int c = std::fgetc(stream_.get());
  if (c != EOF) {
    return Fail(Quoted(path_) + " changed while it was read: it holds more than the " + std::to_string(done_) +
                " bytes read");
  }
  if (std::ferror(stream_.get())) return Fail("cannot read " + Quoted(path_) + ": " + Reason(errno));
  return true;
}

}  // namespace vexa::base
