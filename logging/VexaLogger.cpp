#include "logging/VexaLogger_p.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "logging/LogFormat_p.h"
#include "logging/VexaLoggerDispatch_p.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/UniqueFd.h"
#include "platform/registry/Registry.h"
#include "idl/ProductKey.h"

namespace vexa::logging {

using com::Bstr;
using com::DispatchEntry;

namespace {

constexpr DWORD kDefaultLogSize = 400000;
constexpr DWORD kDefaultDebugLogSize = 50000;
constexpr std::size_t kMaxPath = 260;

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Pushes what was written to fd down to the disk, so a line that was
// reported written survives a crash of the machine.
bool FlushToDisk(int fd) {
  int r;
  do {
    r = ::fdatasync(fd);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

}  // namespace

// One open log file, shared by every object of the process that logs to the
// same path. Pruning replaces the file and reopens it here, so no object goes
// on writing into a file that is no longer the log.
class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}

  bool Open() {
    if (fd_) return true;
    // The logs hold photo paths and titles: made for the user alone.
    fd_.Reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    return fd_.Valid();
  }
  bool Close() { return fd_.Close(); }
  bool Reopen() {
    Close();
    return Open();
  }
  // False when the open file was deleted or replaced from outside.
  bool IsLive() const {
    struct stat open {}, named {};
    if (!fd_ || ::fstat(fd_.Get(), &open) != 0 || open.st_nlink == 0) return false;
    if (::stat(path_.c_str(), &named) != 0) return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
  }
  long long Size() const {
    struct stat st {};
    if (!fd_ || ::fstat(fd_.Get(), &st) != 0) return -1;
    return st.st_size;
  }
  int fd() const { return fd_.Get(); }
  const std::string& path() const { return path_; }
  // Whether the last write into the file failed (a full disk, a size
  // limit): set by every write, so the first one that succeeds clears it.
  void NoteWrite(bool ok) { lastWriteFailed_ = !ok; }
  bool LastWriteFailed() const { return lastWriteFailed_; }

 private:
  std::string path_;
  base::UniqueFd fd_;
  bool lastWriteFailed_ = false;
};

namespace {

// State of the whole process: calls of all objects take the lock one at a
// time, share the stamp counter and the open files.
struct ProcessState {
  std::recursive_mutex mutex;
  TimeStamper stamper;
  std::map<std::string, std::weak_ptr<LogFile>> files;
  bool inMaintenance = false;
};

ProcessState& State() {
  static ProcessState* state = new ProcessState;  // outlives every object
  return *state;
}

std::atomic<const base::Clock*> gClock{nullptr};

const base::Clock& Now() {
  const base::Clock* c = gClock.load();
  return c ? *c : base::Clock::Real();
}

// The shared writer for path, opened when nobody has it open yet.
std::shared_ptr<LogFile> AcquireLogFile(const std::string& path) {
  auto& files = State().files;
  std::shared_ptr<LogFile> file = files[path].lock();
  if (!file) {
    file = std::make_shared<LogFile>(path);
    files[path] = file;
  }
  file->Open();
  return file;
}

// Marks a region of code for the length of a scope.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }

 private:
  bool& flag_;
};

std::optional<std::string> ReadProductString(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char buffer[kMaxPath] = {};
  DWORD size = sizeof buffer, type = 0;
  const LONG r = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  return std::string(buffer, strnlen(buffer, size));
}

bool ReadProductDword(HKEY key, const char* name, DWORD* out) {
  DWORD value = 0, size = sizeof value, type = 0;
  const LONG r = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return false;
  *out = value;
  return true;
}

bool IsDebugType(std::string_view type) {
  return base::EqualsNoCase(type, "debug") || base::EqualsNoCase(type, "D");
}

}  // namespace

void SetLogClock(const base::Clock* clock) { gClock.store(clock); }

CVexaLogger::CVexaLogger() = default;
CVexaLogger::~CVexaLogger() = default;

HRESULT CVexaLogger::Fail(const std::string& text, HRESULT hr) {
  return com::ReportError(CLSID_VexaLogger, std::string_view(text), IID_IVexaLogger, hr);
}

void CVexaLogger::ReadDataDirectory() {
  std::string dir = ReadProductString("APP_PATH_DATA").value_or(std::string());
  if (dir.empty()) dir = base::TempDirectory();
  if (dir.empty()) dir.push_back('.');
  // The value names a folder; file names are appended to it directly.
  dataDirectory_ = base::WithTrailingSeparator(base::ToNativePath(dir));
  base::MakePrivateDirs(dataDirectory_);
}

bool CVexaLogger::ReadFileSizes() {
  mainLimit_ = kDefaultLogSize;
  debugLimit_ = kDefaultDebugLogSize;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = ReadProductDword(key, "Log Size", &mainLimit_);
  ok = ReadProductDword(key, "Debug Log Size", &debugLimit_) && ok;
  RegCloseKey(key);
  return ok;
}

HRESULT CVexaLogger::FinalConstruct() {
  std::lock_guard lock(State().mutex);
  ReadDataDirectory();
  mainPath_ = dataDirectory_ + "vexalog.txt";
  main_ = AcquireLogFile(mainPath_);
  if (main_->fd() < 0) {
    const int error = errno;
    main_.reset();
    // The path, the system's reason and what to do: the user has to act on
    // the folder, and nothing else (rebooting, reinstalling) would help.
    return Fail("IVexaLogger::FinalConstruct; log file creation failed: " + mainPath_ + " cannot be opened: " +
                    std::strerror(error) + ". Make " + dataDirectory_ +
                    " a folder this user can write to, on a disk with free space (the registry value APP_PATH_DATA "
                    "names the folder).",
                E_HANDLE);
  }
  debugPath_ = dataDirectory_ + "vexalogD.txt";
  debug_ = AcquireLogFile(debugPath_);
  if (debug_->fd() < 0) LogInternalError("FinalConstruct - Cannot open Debug log file.");
  if (!ReadFileSizes()) LogInternalError("FinalConstruct - ReadFileSizes failed; using defaults.");
  return S_OK;
}

void CVexaLogger::FinalRelease() {
  std::lock_guard lock(State().mutex);
  main_.reset();
  debug_.reset();
}

std::span<const DispatchEntry<CVexaLogger>> CVexaLogger::DispatchTable() {
  return VexaLoggerDispatchTable<CVexaLogger>();
}

HRESULT CVexaLogger::get_LogFilePath(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = Bstr::FromUtf8(mainPath_).Detach();
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

void CVexaLogger::LogInternalError(const std::string& text) {
  // A failure met during the maintenance that this line's write runs is
  // written too: its own write skips the maintenance, so nothing recurses.
  Bstr component = Bstr::FromUtf8("vexalog");
  Bstr type = Bstr::FromUtf8("ERROR");
  Bstr message = Bstr::FromUtf8(text);
  WriteMessages(component.Get(), type.Get(), message.Get(), nullptr, nullptr, nullptr, nullptr);
}

HRESULT CVexaLogger::WriteMessage(BSTR strComponentName, BSTR strMsgType, BSTR strMsg) {
  std::lock_guard lock(State().mutex);
  const base::CalendarTime now = Now().LocalNow();
  const std::string date = base::FormatTime(now, "%x");
  const std::string time = base::FormatTime(now, "%X");

  if (!LogMaintenance(date, time)) {
    return Fail("IVexaLogger::WriteMessage - LogMaintenance failed.", E_FAIL);
  }
  if (!strComponentName || !strMsgType) return S_OK;

  const std::string component = com::BstrToUtf8(strComponentName);
  const std::string type = com::BstrToUtf8(strMsgType);
  std::string block;
  try {
    // Long messages are written whole, line by line, like any other.
    FormatLogLines(State().stamper, now, type, component, com::BstrToUtf8(strMsg), &block);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  LogFile* file = IsDebugType(type) ? debug_.get() : main_.get();
  if (!file || file->fd() < 0) {
    return Fail("IVexaLogger::WriteMessage - Cannot set file pointer to EOF.", E_FAIL);
  }
  errno = 0;
  if (!WriteAll(file->fd(), block)) {
    const int error = errno;
    file->NoteWrite(false);
    return Fail("IVexaLogger:WriteMessage - Cannot write to logfile " + file->path() + ": " +
                    (error ? std::strerror(error) : "nothing was written") + ".",
                E_FAIL);
  }
  file->NoteWrite(true);
  if (!FlushToDisk(file->fd())) {
    return Fail("IVexaLogger:WriteMessage - Cannot flush message buffer.", E_FAIL);
  }
  return S_OK;
}

HRESULT CVexaLogger::WriteMessages(BSTR strComponentName, BSTR strMsgType, BSTR strMsg1,
                                   BSTR strMsg2, BSTR strMsg3, BSTR strMsg4, BSTR strMsg5) {
  if (!strMsg1) return E_INVALIDARG;
  std::u16string joined;
  for (BSTR part : {strMsg1, strMsg2, strMsg3, strMsg4, strMsg5}) joined += com::BstrView(part);
  Bstr text(std::u16string_view{joined});
  IVexaLogger* self = this;
  return self->WriteMessage(strComponentName, strMsgType, text.Get());
}

HRESULT CVexaLogger::ResetLogFile() {
  std::lock_guard lock(State().mutex);
  if (!ReadFileSizes()) LogInternalError("ResetLogFile - ReadFileSizes failed; using default limits.");
  if (!main_->Close()) {
    return Fail("IVexaLogger::ResetLogFile - Could not close log file.", E_HANDLE);
  }
  std::string deletion;
  if (::unlink(mainPath_.c_str()) != 0) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "IVexaLogger:ResetLogFile - log file deletion failed with error %d.", errno);
    deletion = text;
  }
  const bool reopened = main_->Open();
  if (reopened && deletion.empty()) return S_OK;
  if (reopened) return Fail(deletion, E_HANDLE);
  return Fail((deletion.empty() ? std::string(" ") : deletion + "\n") +
                  "IVexaLogger::ResetLogFile; log file creation failed",
              E_HANDLE);
}

bool CVexaLogger::LogMaintenance(const std::string& date, const std::string& time) {
  ProcessState& s = State();
  if (!main_ || main_->fd() < 0) return false;
  // A line written while maintenance reports a failure goes straight in.
  if (s.inMaintenance) return true;
  ScopedFlag guard(s.inMaintenance);

  // A log deleted or replaced from outside is opened again by its path.
  if (!main_->IsLive() && !main_->Reopen()) return false;
  const long long size = main_->Size();
  if (size < 0) return false;
  if (size == 0) {
    // The header's system information is the slowest thing the logger
    // gathers (the printer and desktop queries can take seconds): a log
    // whose last write failed is not given it again with every line, so a
    // full disk never slows the callers down.
    if (!main_->LastWriteFailed()) main_->NoteWrite(WriteLogHeader(main_->fd(), "Created", date, time));
  } else {
    PruneLogFile(static_cast<unsigned long long>(size), date, time);
    PruneDebugLogFile();
  }
  return true;
}

bool CVexaLogger::WriteLogHeader(int fd, const std::string& word, const std::string& date,
                                 const std::string& time) {
  try {
    const std::string text =
        "VEXA LOG " + word + " on " + date + " at " + time + "\n" + BuildSystemInfoText();
    std::string block;
    FormatLogLines(State().stamper, Now().LocalNow(), "*", "", text, &block);
    return WriteAll(fd, block) && FlushToDisk(fd);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CVexaLogger::PruneLogFile(unsigned long long size, const std::string& date,
                               const std::string& time) {
  if (size < mainLimit_) return true;
  // The limits may have changed; the decision and the cut use the pair just
  // read, so a raised limit never cuts past the end of the log.
  ReadFileSizes();
  if (size < mainLimit_) return true;
  const unsigned cut = mainLimit_ - mainLimit_ / 2;
  const std::string word = "Reset(" + std::to_string(cut) + " bytes pruned)";
  bool copyFailed = false;
  return ReplaceByPruned(*main_, cut, "LOG.tmp", &word, date, time, &copyFailed);
}

bool CVexaLogger::PruneDebugLogFile() {
  if (!debug_ || debug_->fd() < 0) return false;
  if (!debug_->IsLive() && !debug_->Reopen()) return false;
  const long long size = debug_->Size();
  if (size < 0 || static_cast<unsigned long long>(size) < debugLimit_) return size >= 0;
  ReadFileSizes();
  if (static_cast<unsigned long long>(size) < debugLimit_) return true;
  const unsigned cut = debugLimit_ - debugLimit_ / 4;
  bool copyFailed = false;
  if (ReplaceByPruned(*debug_, cut, "DEB.tmp", nullptr, "", "", &copyFailed)) return true;
  if (copyFailed) ResetDebugLogFile();
  return false;
}

// Writes the part of file after the first line end at or after cut (behind a
// header when headerWord is given) into a temporary file beside it and
// renames that over the file, through the shared output helper (which keeps
// the file's mode and refuses a log that is a link or not a file). On any
// failure the file stays as it was.
bool CVexaLogger::ReplaceByPruned(LogFile& file, unsigned cut, const std::string& tempName,
                                  const std::string* headerWord, const std::string& date,
                                  const std::string& time, bool* copyFailed) {
  base::OutputFile output;
  if (!output.Open(file.path(), tempName)) return false;
  const int temp = ::fileno(output.Stream());
  auto discard = [&] {
    output.Discard();
    return false;
  };
  if (headerWord && !WriteLogHeader(temp, *headerWord, date, time)) {
    *copyFailed = true;
    return discard();
  }

  long page = ::sysconf(_SC_PAGESIZE);
  std::vector<char> buffer(page > 0 ? static_cast<std::size_t>(page) : 4096);
  // Skip to just after the next line end.
  off_t pos = cut;
  for (;;) {
    const ssize_t n = ::pread(file.fd(), buffer.data(), buffer.size(), pos);
    if (n < 0) {
      *copyFailed = true;
      return discard();
    }
    if (n == 0) break;
    const void* lf = std::memchr(buffer.data(), '\n', static_cast<std::size_t>(n));
    if (lf) {
      pos += static_cast<const char*>(lf) - buffer.data() + 1;
      break;
    }
    pos += n;
  }
  for (;;) {
    const ssize_t n = ::pread(file.fd(), buffer.data(), buffer.size(), pos);
    if (n <= 0) break;
    if (!WriteAll(temp, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
      *copyFailed = true;
      return discard();
    }
    pos += n;
  }
  // Renaming over the log replaces it in one step: the log is never missing.
  if (!output.Commit()) {
    *copyFailed = true;
    return false;
  }
  return file.Reopen();
}

void CVexaLogger::ResetDebugLogFile() {
  if (!debug_) return;
  if (!debug_->Close()) LogInternalError("ResetDebugLogFile - Cannot close old debug log file.");
  ::unlink(debugPath_.c_str());
  if (!debug_->Open()) LogInternalError("ResetDebugLogFile; debug log file creation failed");
}

HRESULT CreateVexaLogger(REFIID iid, void** ppv) {
  return com::ComObject<CVexaLogger>::CreateInstance(iid, ppv);
}

}  // namespace vexa::logging
