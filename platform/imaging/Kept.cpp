// Pictures kept for the files they were written to (Codec.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include <mutex>
#include <utility>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Kept_p.h"

namespace vexa::imaging {
namespace {

struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  auto operator<=>(const Identity&) const = default;
};

struct Kept {
  std::string path;        // as given when it was kept
  off_t size = 0;
  timespec modified{};
  Bitmap picture;          // empty when its pixels are in the temporary file
  int width = 0, height = 0, bitsPerPixel = 0, format = kFormatOther;
  bool fullSize = false;    // the file's own size: it covers any minimum
  std::vector<PaletteEntry> palette;
  std::size_t bytes = 0;    // of the pixels
  off_t spilledAt = -1;     // where the pixels are in the temporary file
};

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

class KeptPictures {
 public:
  ~KeptPictures() {
    if (spill_ >= 0) ::close(spill_);
  }

  Status Keep(const std::string& path, Bitmap picture, bool fullSize) {
    if (picture.empty()) return ErrorCode::kEmptyBitmap;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Status(ErrorCode::kFileNotFound, path);
    Kept k;
    k.path = path;
    k.size = st.st_size;
    k.modified = st.st_mtim;
    k.width = picture.width();
    k.height = picture.height();
    k.bitsPerPixel = picture.bitsPerPixel();
    k.format = picture.format();
    k.fullSize = fullSize;
    k.palette = picture.palette();
    k.bytes = picture.size();
    std::lock_guard lock(mutex_);
    Drop(Identity{st.st_dev, st.st_ino});
    if (inMemory_ + k.bytes > budget_) PruneGone();
    if (inMemory_ + k.bytes > budget_) {
      if (!Spill(picture, &k)) return Status(ErrorCode::kFileWrite, "no room for a kept picture");
    } else {
      inMemory_ += k.bytes;
      k.picture = std::move(picture);
    }
    kept_.emplace(Identity{st.st_dev, st.st_ino}, std::move(k));
    return {};
  }

  // A copy of the picture kept for the file, when there is one that covers
  // minWidth x minHeight.
  bool Find(const std::string& path, int minWidth, int minHeight, Bitmap* out) {
    {
      std::lock_guard lock(mutex_);
      if (kept_.empty()) return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    std::lock_guard lock(mutex_);
    auto it = kept_.find(Identity{st.st_dev, st.st_ino});
    if (it == kept_.end()) return false;
    const Kept& k = it->second;
    if (k.size != st.st_size || !SameTime(k.modified, st.st_mtim)) {
      const Identity id = it->first;
      Drop(id);
      return false;
    }
    if (!k.fullSize && (k.width < minWidth || k.height < minHeight)) return false;
    if (!k.picture.empty()) {
      *out = k.picture;
      return true;
    }
    Bitmap copy;
    if (!copy.Allocate(k.width, k.height, k.bitsPerPixel)) return false;
    if (static_cast<std::size_t>(::pread(spill_, copy.data(), k.bytes, k.spilledAt)) != k.bytes) return false;
    copy.palette() = k.palette;
    copy.set_format(k.format);
    *out = std::move(copy);
    return true;
  }

  void SetBudget(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    budget_ = bytes;
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    kept_.clear();
    inMemory_ = 0;
    ResetSpill();
  }

 private:
  void Drop(const Identity& id) {
    auto it = kept_.find(id);
    if (it == kept_.end()) return;
    if (!it->second.picture.empty()) inMemory_ -= it->second.bytes;
    kept_.erase(it);
    if (kept_.empty()) ResetSpill();
  }

  // Whether path is the kept file, unchanged.
  static bool Unchanged(const std::string& path, const Identity& id, const Kept& k) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && Identity{st.st_dev, st.st_ino} == id && st.st_size == k.size &&
           SameTime(st.st_mtim, k.modified);
  }

  // The kept file under another name in its folder (renamed there after it
  // was written), or "" when the folder holds it no more.
  static std::string RenamedInFolder(const Identity& id, const Kept& k) {
    const std::string folder = base::DirName(k.path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return {};
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_ino != id.inode) continue;
      const std::string path = base::JoinPath(folder, entry->d_name);
      if (Unchanged(path, id, k)) {
        found = path;
        break;
      }
    }
    ::closedir(dir);
    return found;
  }

  // Drops the pictures of files that are gone or changed (a finished
  // disc's work folder removed, say); a file renamed within its folder
  // keeps its picture under the new name.
  void PruneGone() {
    for (auto it = kept_.begin(); it != kept_.end();) {
      Kept& k = it->second;
      if (Unchanged(k.path, it->first, k)) {
        ++it;
        continue;
      }
      if (std::string moved = RenamedInFolder(it->first, k); !moved.empty()) {
        k.path = std::move(moved);
        ++it;
        continue;
      }
      if (!k.picture.empty()) inMemory_ -= k.bytes;
      it = kept_.erase(it);
    }
    if (kept_.empty()) ResetSpill();
  }

  bool Spill(const Bitmap& picture, Kept* k) {
    if (spill_ < 0) {
      std::string name = base::JoinPath(base::TempDirectory(), "vexa-kept-XXXXXX");
      spill_ = ::mkstemp(name.data());
      if (spill_ < 0) return false;
      ::unlink(name.c_str());
      spillEnd_ = 0;
    }
    if (static_cast<std::size_t>(::pwrite(spill_, picture.data(), picture.size(), spillEnd_)) != picture.size()) {
      return false;
    }
    k->spilledAt = spillEnd_;
    spillEnd_ += static_cast<off_t>(picture.size());
    return true;
  }

  void ResetSpill() {
    if (spill_ >= 0 && ::ftruncate(spill_, 0) == 0) spillEnd_ = 0;
  }

  std::mutex mutex_;
  std::map<Identity, Kept> kept_;
  std::size_t inMemory_ = 0;
  std::size_t budget_ = std::size_t{64} << 20;
  int spill_ = -1;
  off_t spillEnd_ = 0;
};

KeptPictures& Store() {
  static KeptPictures store;
  return store;
}

std::mutex& ObserverMutex() {
  static std::mutex m;
  return m;
}
DecodeObserver& Observer() {
  static DecodeObserver o;
  return o;
}

}  // namespace

Status KeepPicture(std::string_view path, Bitmap picture, int fileWidth, int fileHeight) {
  const bool fullSize = picture.width() == fileWidth && picture.height() == fileHeight;
  return Store().Keep(std::string(path), std::move(picture), fullSize);
}
void SetKeptPictureBudget(std::size_t bytes) { Store().SetBudget(bytes); }
void ForgetKeptPictures() { Store().Clear(); }

void SetDecodeObserver(DecodeObserver observer) {
  std::lock_guard lock(ObserverMutex());
  Observer() = std::move(observer);
}

namespace detail {

bool FindKeptPicture(std::string_view path, const LoadOptions& options, Bitmap* out) {
  if (options.minWidth <= 0 && options.minHeight <= 0) return false;
  return Store().Find(std::string(path), options.minWidth, options.minHeight, out);
}

void NoteDecode(std::string_view name, const Bitmap& picture) {
  std::lock_guard lock(ObserverMutex());
  if (Observer()) Observer()(name, picture.width(), picture.height());
}

}  // namespace detail
}  // namespace vexa::imaging
