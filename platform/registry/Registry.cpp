// The layered store: defaults from share/vexa/registry/*.reg under one
// writable file per hive (HKLM.reg, HKCU.reg) in the writable folder.
#include "platform/registry/Registry.h"

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/UniqueFd.h"
#include "platform/registry/RegistryModel_p.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace vexa::reg {

using namespace detail;

const char* StatusText(Status s) {
  switch (s) {
    case Status::Ok: return "ok";
    case Status::NoKey: return "no such key";
    case Status::NoValue: return "no such value";
    case Status::MoreData: return "buffer too small";
    case Status::WrongType: return "wrong value type";
    case Status::InvalidArgument: return "invalid argument";
    case Status::BadFile: return "unreadable or malformed registry file";
    case Status::IoError: return "registry file could not be written";
  }
  return "unknown status";
}

Value Value::String(std::string s, ValueType t) {
  Value v;
  v.type = t;
  v.text = std::move(s);
  return v;
}

Value Value::Dword(DWORD d) {
  Value v;
  v.type = ValueType::Dword;
  v.dword = d;
  return v;
}

Value Value::Binary(std::vector<BYTE> b) {
  Value v;
  v.type = ValueType::Binary;
  v.binary = std::move(b);
  return v;
}

Value Value::Multi(std::vector<std::string> m) {
  Value v;
  v.type = ValueType::MultiSz;
  v.multi = std::move(m);
  return v;
}

namespace {
thread_local std::string g_lastError;
}  // namespace

std::string LastError() { return g_lastError; }

void detail::SetLastError(std::string message) { g_lastError = std::move(message); }

namespace {

Status Fail(Status s, std::string message) {
  SetLastError(std::move(message));
  return s;
}

std::string WithoutTrailingSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// ---- Files and the cache of parsed layers ---------------------------------

// A hive file opened for reading. A missing file is an empty one (fd -1);
// a file that is there but cannot be read is BadFile. `sig` identifies the
// version opened (device, inode, size, modification time), so a cached
// parse can be used without reading the file again.
struct HiveFile {
  std::string path, sig;
  base::UniqueFd fd;

  // Whether a change of this file is sure to be reported by a watch on its
  // folder: missing, or a plain file of one name only (no symlink, whose
  // target may change elsewhere, and no second hard link, through which it
  // may be written elsewhere).
  bool watchable = false;

  Status Open(std::string p) {
    path = std::move(p);
    fd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    const bool link = !fd && errno == ELOOP;
    if (link) fd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
      sig = path + "|missing";
      watchable = errno == ENOENT && !link;
      if (errno == ENOENT) return Status::Ok;
      return Fail(Status::BadFile, path + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return Fail(Status::BadFile, path + ": not a regular file");
    }
    watchable = !link && st.st_nlink == 1;
    sig = path + '|' + std::to_string(st.st_dev) + '|' + std::to_string(st.st_ino) + '|' +
          std::to_string(st.st_size) + '|' + std::to_string(st.st_mtim.tv_sec) + '.' +
          std::to_string(st.st_mtim.tv_nsec);
    return Status::Ok;
  }

  Status Read(std::string* text) const {
    text->clear();
    char buf[65536];
    while (fd) {
      const ssize_t n = read(fd.Get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail(Status::BadFile, path + ": " + std::strerror(errno));
      if (n == 0) break;
      text->append(buf, static_cast<std::size_t>(n));
    }
    return Status::Ok;
  }
};

using LayerPtr = std::shared_ptr<const Layer>;

std::mutex g_cacheMutex;
std::map<std::string, std::pair<std::string, LayerPtr>> g_cache;  // slot -> (signature, layer)

LayerPtr CacheGet(const std::string& slot, const std::string& sig) {
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  auto it = g_cache.find(slot);
  return it != g_cache.end() && it->second.first == sig ? it->second.second : nullptr;
}

void CachePut(const std::string& slot, const std::string& sig, LayerPtr layer) {
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  if (g_cache.size() > 32) g_cache.clear();  // tests point the store at many folders
  g_cache[slot] = {sig, std::move(layer)};
}

// ---- Watching the folders ----------------------------------------------------
//
// The full check of a layer (open and fstat each of its files, list the
// defaults folder) costs dozens of system calls, and a read happens for
// every class lookup. So each folder the store reads is also watched with
// inotify: a layer parsed after its folder's watch was set up is used again,
// without opening its files, as long as the watch has reported nothing since,
// the folder's path still leads to the folder watched, and each of the
// layer's files is one the watch covers (HiveFile::watchable). Anything else
// (an event, a lost event queue, the folder moved or deleted, a folder not
// there yet, a network file system, inotify unavailable) leaves the full
// check. Everything here runs under g_cacheMutex.

constexpr std::uint32_t kWatchedEvents =
    IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
    IN_MOVE_SELF;
// Tests point the store at a new folder each; old watches are dropped past this.
constexpr std::size_t kMaxWatchedFolders = 16;

// File systems on which inotify sees every change, whoever makes it (on
// network and FUSE file systems it sees only this machine's own).
bool LocalFileSystem(const std::string& dir) {
  struct statfs fs {};
  if (statfs(dir.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

struct WatchedFolder {
  int wd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  std::uint64_t era = 0;  // renewed by every event of the folder
  struct Kept {
    std::string context;  // what else the parse depended on
    LayerPtr layer;
  };
  std::map<std::string, Kept> kept;  // layers parsed in this era, by name

  LayerPtr Find(const std::string& name, const std::string& context) const {
    auto it = kept.find(name);
    return it != kept.end() && it->second.context == context ? it->second.layer : nullptr;
  }
};

class FolderWatch {
 public:
  // Takes the events queued so far. In a new process (a fork) it starts over
  // with an instance of its own: reading the parent's would take its events
  // from the parent.
  void Refresh() {
    const pid_t pid = getpid();
    if (pid != pid_) {
      // The parent's descriptor is close-on-exec and left alone: a child
      // that closed its descriptors may have its number in use for something
      // else by now.
      pid_ = pid;
      folders_.clear();
      fd_ = -1;  // Begin makes this process's own
    }
    alignas(inotify_event) char buf[4096];
    while (fd_ >= 0) {
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      if (n <= 0) {  // not usable any more: start over with a new instance
        close(fd_);
        fd_ = -1;
        folders_.clear();
        return;
      }
      for (ssize_t at = 0; at < n;) {
        inotify_event ev;
        std::memcpy(&ev, buf + at, sizeof ev);
        at += static_cast<ssize_t>(sizeof ev + ev.len);
        for (auto it = folders_.begin(); it != folders_.end();) {
          if (!(ev.mask & IN_Q_OVERFLOW) && it->second.wd != ev.wd) {
            ++it;
          } else if (ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            it = Drop(it);
          } else {
            it->second.era = ++eras_;
            it->second.kept.clear();
            ++it;
          }
        }
      }
    }
  }

  // The folder's entry while its path still leads to the folder watched.
  WatchedFolder* Current(const std::string& dir) {
    auto it = folders_.find(dir);
    if (it == folders_.end()) return nullptr;
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || st.st_dev != it->second.dev || st.st_ino != it->second.ino) {
      Drop(it);
      return nullptr;
    }
    return &it->second;
  }

  // Watches `dir`, to be called before its files are read; gives the era the
  // reading belongs to, or nothing when the folder cannot be watched.
  std::optional<std::uint64_t> Begin(const std::string& dir) {
    // Made on first use, and tried again by a later full check while the
    // system's limit on instances leaves none.
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return std::nullopt;
    if (WatchedFolder* f = Current(dir)) return f->era;
    struct stat before {}, after {};
    if (stat(dir.c_str(), &before) != 0 || !S_ISDIR(before.st_mode) || !LocalFileSystem(dir)) {
      return std::nullopt;
    }
    if (folders_.size() >= kMaxWatchedFolders) {
      while (!folders_.empty()) Drop(folders_.begin());
    }
    const int wd = inotify_add_watch(fd_, dir.c_str(), kWatchedEvents | IN_ONLYDIR);
    if (wd < 0) return std::nullopt;
    // The watch must be on the folder the path leads to from now on.
    if (stat(dir.c_str(), &after) != 0 || after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
      if (!WdInUse(wd)) inotify_rm_watch(fd_, wd);
      return std::nullopt;
    }
    WatchedFolder& f = folders_[dir];
    f.wd = wd;
    f.dev = after.st_dev;
    f.ino = after.st_ino;
    f.era = ++eras_;
    return f.era;
  }

  // Keeps a layer read in `era` of `dir`, unless an event has ended that era.
  void Keep(const std::string& dir, std::uint64_t era, const std::string& name, std::string context,
            LayerPtr layer) {
    auto it = folders_.find(dir);
    if (it != folders_.end() && it->second.era == era) {
      it->second.kept[name] = {std::move(context), std::move(layer)};
    }
  }

  // Forgets what was kept for `dir`: this process has written there.
  void Invalidate(const std::string& dir) {
    auto it = folders_.find(dir);
    if (it == folders_.end()) return;
    const int wd = it->second.wd;
    for (auto& [path, f] : folders_) {
      if (f.wd == wd) {
        f.era = ++eras_;
        f.kept.clear();
      }
    }
  }

 private:
  bool WdInUse(int wd) const {
    return std::any_of(folders_.begin(), folders_.end(), [wd](const auto& f) { return f.second.wd == wd; });
  }

  std::map<std::string, WatchedFolder>::iterator Drop(std::map<std::string, WatchedFolder>::iterator it) {
    const int wd = it->second.wd;
    it = folders_.erase(it);
    if (!WdInUse(wd)) inotify_rm_watch(fd_, wd);  // fails harmlessly when the kernel dropped it
    return it;
  }

  pid_t pid_ = 0;
  int fd_ = -1;
  std::uint64_t eras_ = 0;  // never repeats, so an era of a dropped entry matches no new one
  std::map<std::string, WatchedFolder> folders_;
};

FolderWatch g_watch;

// What the defaults' parse depends on besides their files.
std::string DefaultsContext() {
  return WithoutTrailingSlash(base::ShareDir()) + '|' + WithoutTrailingSlash(base::UserDataDirectory());
}

const char* HiveFileName(Hive hive) { return hive == Hive::LocalMachine ? "HKLM.reg" : "HKCU.reg"; }

// One writable hive file, parsed. `useCache` is off under the write lock:
// there the file is always read afresh.
Status LoadWritableHive(Hive hive, bool useCache, LayerPtr* out) {
  const std::string dir = WritableDir();
  const std::string name = HiveFileName(hive);
  std::optional<std::uint64_t> era;
  if (useCache) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_watch.Refresh();
    if (WatchedFolder* f = g_watch.Current(dir); f && (*out = f->Find(name, ""))) return Status::Ok;
    era = g_watch.Begin(dir);
  }
  HiveFile file;
  if (Status s = file.Open(base::JoinPath(dir, name)); s != Status::Ok) return s;
  // A file the watch covers is parsed afresh: the watch is new or has seen a
  // change, which the signature misses when size and timestamp stayed.
  const bool watched = era && file.watchable;
  auto keep = [&](const LayerPtr& layer) {
    if (!watched) return;
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_watch.Keep(dir, *era, name, "", layer);
  };
  if (!file.fd) {
    *out = std::make_shared<Layer>();
    keep(*out);
    return Status::Ok;
  }
  if (useCache && !watched && (*out = CacheGet(file.path, file.sig))) return Status::Ok;
  std::string text;
  std::vector<Op> ops;
  auto layer = std::make_shared<Layer>();
  ApplyOptions options;
  options.restrictHive = true;
  options.onlyHive = hive;
  options.source = file.path;
  if (Status s = file.Read(&text); s != Status::Ok) return s;
  if (Status s = ParseText(text, file.path, &ops); s != Status::Ok) return s;
  if (Status s = ApplyOps(ops, layer.get(), options); s != Status::Ok) return s;
  if (useCache) CachePut(file.path, file.sig, layer);
  keep(layer);
  *out = std::move(layer);
  return Status::Ok;
}

// Every *.reg file of the defaults folder, by file name, later ones applied
// over earlier ones; HKEY_CLASSES_ROOT keys there are the machine's classes.
Status LoadDefaults(LayerPtr* out) {
  const std::string dir = DefaultsDir();
  const std::string context = DefaultsContext();
  std::optional<std::uint64_t> era;
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_watch.Refresh();
    if (WatchedFolder* f = g_watch.Current(dir); f && (*out = f->Find("defaults", context))) {
      return Status::Ok;
    }
    era = g_watch.Begin(dir);
  }
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(d, closedir);  // also when the list cannot grow
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".reg") == 0) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  ApplyOptions options;
  options.classesRoot = Hive::LocalMachine;
  options.substitute = true;
  options.share = WithoutTrailingSlash(base::ShareDir());
  options.dataHome = WithoutTrailingSlash(base::UserDataDirectory());
  std::vector<HiveFile> files(names.size());
  std::string sig = options.share + '|' + options.dataHome;
  bool watched = era.has_value();  // parsed afresh then, as in LoadWritableHive
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (Status s = files[i].Open(base::JoinPath(dir, names[i])); s != Status::Ok) return s;
    sig += '\n' + files[i].sig;
    watched = watched && files[i].watchable;
  }
  if (!watched && (*out = CacheGet("defaults", sig))) return Status::Ok;
  auto layer = std::make_shared<Layer>();
  for (const HiveFile& file : files) {
    std::string text;
    std::vector<Op> ops;
    options.source = file.path;
    if (Status s = file.Read(&text); s != Status::Ok) return s;
    if (Status s = ParseText(text, file.path, &ops); s != Status::Ok) return s;
    if (Status s = ApplyOps(ops, layer.get(), options); s != Status::Ok) return s;
  }
  CachePut("defaults", sig, layer);
  if (watched) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_watch.Keep(dir, *era, "defaults", context, layer);
  }
  *out = std::move(layer);
  return Status::Ok;
}

// ---- The merged view ---------------------------------------------------------

struct Source {
  const KeyMap* map;
  std::string path;
};

struct View {
  LayerPtr machine, user, defaults;

  // Where a key of `hive` may be found, the first one winning.
  std::vector<Source> Sources(Hive hive, std::string_view key) const {
    const std::string path = NormalKey(key);
    switch (hive) {
      case Hive::LocalMachine: return {{&machine->machine, path}, {&defaults->machine, path}};
      case Hive::CurrentUser: return {{&user->user, path}, {&defaults->user, path}};
      case Hive::ClassesRoot: {
        const std::string classes = JoinKey(kClassesKey, path);
        return {{&user->user, classes},
                {&defaults->user, classes},
                {&machine->machine, classes},
                {&defaults->machine, classes}};
      }
    }
    return {};
  }
};

// The layers a read of `hive` needs, all kept by unchanged watched folders:
// one look at the event queue and one stat of each folder.
bool LoadWatchedView(Hive hive, View* v) {
  const std::string writable = WritableDir(), defaults = DefaultsDir(), context = DefaultsContext();
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  g_watch.Refresh();
  const WatchedFolder* w = g_watch.Current(writable);
  if (!w) return false;
  if (hive != Hive::CurrentUser && !(v->machine = w->Find(HiveFileName(Hive::LocalMachine), ""))) {
    return false;
  }
  if (hive != Hive::LocalMachine && !(v->user = w->Find(HiveFileName(Hive::CurrentUser), ""))) {
    return false;
  }
  const WatchedFolder* d = g_watch.Current(defaults);  // may drop `w`: not used past here
  return d && (v->defaults = d->Find("defaults", context));
}

// Loads what a read of `hive` needs: a broken file of the other hive does
// not stand in its way.
Status LoadView(Hive hive, View* v) {
  v->machine = v->user = std::make_shared<Layer>();
  if (LoadWatchedView(hive, v)) return Status::Ok;  // else the needed layers are loaded below
  if (hive != Hive::CurrentUser) {
    if (Status s = LoadWritableHive(Hive::LocalMachine, true, &v->machine); s != Status::Ok) return s;
  }
  if (hive != Hive::LocalMachine) {
    if (Status s = LoadWritableHive(Hive::CurrentUser, true, &v->user); s != Status::Ok) return s;
  }
  return LoadDefaults(&v->defaults);
}

Status KeyStatusIn(const View& view, Hive hive, std::string_view key) {
  if (NormalKey(key).empty()) return Status::Ok;  // a hive's root always exists
  for (const Source& s : view.Sources(hive, key)) {
    if (FindKey(*s.map, s.path)) return Status::Ok;
  }
  return Status::NoKey;
}

// ---- Writing -------------------------------------------------------------------

// Where a write to `hive`/`key` is stored.
Hive StoredHive(Hive hive) {
  return hive == Hive::LocalMachine ? Hive::LocalMachine : Hive::CurrentUser;
}
std::string StoredPath(Hive hive, std::string_view key) {
  return hive == Hive::ClassesRoot ? JoinKey(kClassesKey, NormalKey(key)) : NormalKey(key);
}

// How long a write waits for the store's lock. A writer holds it for the
// few milliseconds a hive file takes to rewrite; a lock held longer is a
// program that hangs, or another user's (before the file was the user's
// alone), and the caller is told rather than stalled.
constexpr auto kLockWait = std::chrono::seconds(5);

// Takes the store's exclusive lock on the open lock file, waiting at most
// kLockWait. flock has no timed form: when the lock is taken, a helper
// thread waits for it in the kernel's queue (so writers are served in turn,
// as with a plain blocking flock) on a second descriptor of the same open
// file, and this thread waits for the helper with a bound. A helper that is
// given up on takes the lock when its holder lets go and drops it at once
// (closing the last descriptor of the open file releases it).
Status TakeStoreLock(int fd, const std::string& lockPath) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return Status::Ok;
  if (errno != EWOULDBLOCK && errno != EINTR) return Fail(Status::IoError, lockPath + ": " + std::strerror(errno));
  struct Wait {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
  };
  auto wait = std::make_shared<Wait>();
  const int waitFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (waitFd < 0) return Fail(Status::IoError, lockPath + ": " + std::strerror(errno));
  try {
    std::thread([wait, waitFd] {
      int rc;
      do {
        rc = flock(waitFd, LOCK_EX);
      } while (rc != 0 && errno == EINTR);
      const int error = rc == 0 ? 0 : errno;
      close(waitFd);
      std::lock_guard<std::mutex> lock(wait->mutex);
      wait->finished = true;
      wait->error = error;
      wait->done.notify_all();
    }).detach();
  } catch (const std::system_error& e) {
    close(waitFd);
    return Fail(Status::IoError, lockPath + ": cannot wait for the lock: " + e.what());
  }
  std::unique_lock<std::mutex> lock(wait->mutex);
  if (!wait->done.wait_for(lock, kLockWait, [&] { return wait->finished; })) {
    return Fail(Status::IoError, "another program holds the lock file " + lockPath +
                                     "; the registry was not changed (waited " + std::to_string(kLockWait.count()) +
                                     " seconds for the lock)");
  }
  if (wait->error != 0) return Fail(Status::IoError, lockPath + ": " + std::strerror(wait->error));
  return Status::Ok;
}

// Runs `change` on the writable layer under the store's exclusive lock: the
// files of the hives in `hives` are read afresh, changed in memory and
// replaced by rename when their text differs.
Status Modify(std::vector<Hive> hives,
              const std::function<Status(Layer& writable, const Layer& defaults)>& change) {
  const std::string dir = WritableDir();
  // The store is the user's alone: a folder the store makes and its files
  // (lock, hives) are made for the user only, so nobody else can read the
  // values or hold the lock.
  if (!base::MakePrivateDirs(dir)) return Fail(Status::IoError, dir + ": cannot create the folder");
  LayerPtr defaults;
  if (Status s = LoadDefaults(&defaults); s != Status::Ok) return s;
  const std::string lockPath = base::JoinPath(dir, ".lock");
  const base::UniqueFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock) return Fail(Status::IoError, lockPath + ": " + std::strerror(errno));
  // A lock file an earlier version made readable for everyone is closed to
  // others from now on.
  struct stat lockStat {};
  if (fstat(lock.Get(), &lockStat) == 0 && lockStat.st_uid == geteuid() && (lockStat.st_mode & 077) != 0) {
    (void)fchmod(lock.Get(), lockStat.st_mode & 0700);
  }
  Status result = TakeStoreLock(lock.Get(), lockPath);
  Layer before, layer;
  for (Hive hive : hives) {
    LayerPtr file;
    if (result == Status::Ok) result = LoadWritableHive(hive, false, &file);
    if (result == Status::Ok) before.Of(hive) = file->Of(hive);
  }
  if (result == Status::Ok) {
    layer = before;
    result = change(layer, *defaults);
    for (Hive hive : hives) {
      if (result != Status::Ok) break;
      const std::string text = FormatHive(layer.Of(hive), hive);
      if (text == FormatHive(before.Of(hive), hive)) continue;
      const std::string path = base::JoinPath(dir, HiveFileName(hive));
      // The shared output helper replaces only a hive file the user may
      // write, and says why not.
      std::string why;
      if (!base::WritePrivateFileAtomic(path, text, &why)) {
        result = Fail(Status::IoError, why.empty() ? path + ": cannot write" : why);
      }
    }
  }
  {
    // The folder's events say so too, but only once they are read: no read
    // after this may use what was kept before the write.
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_watch.Invalidate(dir);
  }
  return result;  // closing the lock file releases the lock
}

bool BadName(std::string_view s) { return HasControlChar(s); }

// The stored hives a script writes to.
std::vector<Hive> HivesOf(const std::vector<Op>& ops) {
  std::vector<Hive> hives;
  for (const Op& op : ops) {
    const Hive h = StoredHive(op.hive);
    if (std::find(hives.begin(), hives.end(), h) == hives.end()) hives.push_back(h);
  }
  return hives;
}

std::string ParentKey(const std::string& path) {
  const std::size_t p = path.rfind('\\');
  return p == std::string::npos ? "" : path.substr(0, p);
}

}  // namespace

// ---- Public API ----------------------------------------------------------------

std::string WritableDir() {
  const char* env = std::getenv("VEXA_REGISTRY_DIR");
  if (env && *env) return WithoutTrailingSlash(env);
  return base::JoinPath(base::UserConfigDirectory(), "registry");
}

std::string DefaultsDir() { return base::JoinPath(base::ShareDir(), "registry"); }

Status detail::KeyStatus(Hive hive, std::string_view key) {
  View view;
  if (Status s = LoadView(hive, &view); s != Status::Ok) return s;
  return KeyStatusIn(view, hive, key);
}

bool KeyExists(Hive hive, std::string_view key) { return KeyStatus(hive, key) == Status::Ok; }

Status GetValue(Hive hive, std::string_view key, std::string_view name, Value* out) {
  View view;
  if (Status s = LoadView(hive, &view); s != Status::Ok) return s;
  if (Status s = KeyStatusIn(view, hive, key); s != Status::Ok) return s;
  for (const Source& s : view.Sources(hive, key)) {
    const Key* k = FindKey(*s.map, s.path);
    if (const NamedValue* v = k ? k->Find(name) : nullptr) {
      *out = v->value;
      return Status::Ok;
    }
  }
  return Status::NoValue;
}

std::optional<std::string> GetString(Hive hive, std::string_view key, std::string_view name) {
  Value v;
  if (GetValue(hive, key, name, &v) != Status::Ok) return std::nullopt;
  if (v.type != ValueType::Sz && v.type != ValueType::ExpandSz) return std::nullopt;
  return v.text;
}

std::optional<DWORD> GetDword(Hive hive, std::string_view key, std::string_view name) {
  Value v;
  if (GetValue(hive, key, name, &v) != Status::Ok || v.type != ValueType::Dword) return std::nullopt;
  return v.dword;
}

Status CreateKey(Hive hive, std::string_view key) {
  if (BadName(key)) return Fail(Status::InvalidArgument, "control character in a key name");
  const Status s = KeyStatus(hive, key);
  if (s != Status::NoKey) return s;
  return Modify({StoredHive(hive)}, [&](Layer& w, const Layer& d) {
    const Hive h = StoredHive(hive);
    EnsureKey(w.Of(h), StoredPath(hive, key), &d.Of(h));
    return Status::Ok;
  });
}

Status SetValue(Hive hive, std::string_view key, std::string_view name, const Value& value) {
  if (BadName(key) || BadName(name)) return Fail(Status::InvalidArgument, "control character in a name");
  if (Status s = CheckValue(value); s != Status::Ok) return Fail(s, "value cannot be stored");
  return Modify({StoredHive(hive)}, [&](Layer& w, const Layer& d) {
    const Hive h = StoredHive(hive);
    const std::string path = StoredPath(hive, key);
    PutValue(EnsureKey(w.Of(h), path, &d.Of(h)), name, value, FindKey(d.Of(h), path));
    return Status::Ok;
  });
}

Status DeleteValue(Hive hive, std::string_view key, std::string_view name) {
  const Status exists = KeyStatus(hive, key);
  if (exists != Status::Ok) return exists;
  return Modify({StoredHive(hive)}, [&](Layer& w, const Layer&) {
    KeyMap& map = w.Of(StoredHive(hive));
    auto it = map.find(Fold(StoredPath(hive, key)));
    if (it == map.end() || !it->second.Find(name)) return Status::NoValue;
    std::erase_if(it->second.values,
                  [&](const NamedValue& v) { return base::EqualsNoCase(v.name, name); });
    return Status::Ok;
  });
}

Status DeleteKeyTree(Hive hive, std::string_view key) {
  if (NormalKey(key).empty()) return Fail(Status::InvalidArgument, "a hive's root cannot be deleted");
  return Modify({StoredHive(hive)}, [&](Layer& w, const Layer&) {
    return EraseTree(w.Of(StoredHive(hive)), StoredPath(hive, key)) ? Status::Ok : Status::NoKey;
  });
}

Status ListSubkeys(Hive hive, std::string_view key, std::vector<std::string>* out) {
  View view;
  if (Status s = LoadView(hive, &view); s != Status::Ok) return s;
  if (Status s = KeyStatusIn(view, hive, key); s != Status::Ok) return s;
  // Sorted without regard to case; the lowest layer's case (the first written) wins.
  std::map<std::string, std::string> names;
  const std::vector<Source> sources = view.Sources(hive, key);
  for (auto s = sources.rbegin(); s != sources.rend(); ++s) {
    for (const Key* child : Children(*s->map, s->path)) {
      const std::string name = SplitKey(child->path).back();
      names.emplace(Fold(name), name);
    }
  }
  out->clear();
  for (auto& [folded, name] : names) out->push_back(name);
  return Status::Ok;
}

Status ListValues(Hive hive, std::string_view key, std::vector<std::string>* out) {
  View view;
  if (Status s = LoadView(hive, &view); s != Status::Ok) return s;
  if (Status s = KeyStatusIn(view, hive, key); s != Status::Ok) return s;
  // In the order written, the defaults' first.
  std::set<std::string> seen;
  out->clear();
  const std::vector<Source> sources = view.Sources(hive, key);
  for (auto s = sources.rbegin(); s != sources.rend(); ++s) {
    const Key* k = FindKey(*s->map, s->path);
    if (!k) continue;
    for (const NamedValue& v : k->values) {
      if (seen.insert(Fold(v.name)).second) out->push_back(v.name);
    }
  }
  return Status::Ok;
}

bool ParseRootedKey(std::string_view rooted, Hive* hive, std::string* key) {
  std::size_t sep = 0;
  while (sep < rooted.size() && rooted[sep] != '\\' && rooted[sep] != '/') ++sep;
  const std::string_view root = rooted.substr(0, sep);
  static const struct {
    const char* name;
    Hive hive;
  } kRoots[] = {
      {"HKEY_LOCAL_MACHINE", Hive::LocalMachine}, {"HKLM", Hive::LocalMachine},
      {"HKEY_CURRENT_USER", Hive::CurrentUser},   {"HKCU", Hive::CurrentUser},
      {"HKEY_CLASSES_ROOT", Hive::ClassesRoot},   {"HKCR", Hive::ClassesRoot},
  };
  for (const auto& r : kRoots) {
    if (base::EqualsNoCase(root, r.name)) {
      *hive = r.hive;
      *key = NormalKey(rooted.substr(sep));
      return true;
    }
  }
  return false;
}

Status ImportText(std::string_view text) {
  std::vector<Op> ops;
  if (Status s = ParseText(text, "registry script", &ops); s != Status::Ok) return s;
  return Modify(HivesOf(ops), [&](Layer& w, const Layer& d) {
    ApplyOptions options;
    options.classesRoot = Hive::CurrentUser;
    options.caseFrom = &d;
    options.source = "registry script";
    return ApplyOps(ops, &w, options);
  });
}

Status RemoveScriptKeys(std::string_view text) {
  std::vector<Op> ops;
  if (Status s = ParseText(text, "registry script", &ops); s != Status::Ok) return s;
  return Modify(HivesOf(ops), [&](Layer& w, const Layer&) {
    for (const Op& op : ops) {
      if (op.kind != Op::kKey || op.path.empty()) continue;
      KeyMap& map = w.Of(StoredHive(op.hive));
      std::string path = StoredPath(op.hive, op.path);
      EraseTree(map, path);
      // Parents the script's keys leave empty go too (such as a class's
      // CLSID key when the script names only its subkeys).
      for (path = ParentKey(path); !path.empty(); path = ParentKey(path)) {
        const Key* k = FindKey(map, path);
        if (!k || !k->values.empty() || !Children(map, path).empty()) break;
        EraseTree(map, path);
      }
    }
    return Status::Ok;
  });
}

}  // namespace vexa::reg
