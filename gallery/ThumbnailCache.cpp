#include "gallery/ThumbnailCache.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "gallery/ExifDate.h"
#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/Transform.h"
#include "uicommon/common/Strings.h"

namespace vexa::gallery {

using namespace vexa::ui;

namespace img = vexa::imaging;

CThumbnailCache& CThumbnailCache::Instance() {
  static CThumbnailCache cache;
  return cache;
}

CThumbnailCache::CThumbnailCache() = default;
CThumbnailCache::~CThumbnailCache() = default;

void CThumbnailCache::SetCacheDir(std::string dir) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    changed = m_dir != dir;
    m_dir = std::move(dir);
  }
  // What earlier runs left beyond the bound goes when the folder is taken.
  if (changed) Trim();
}

std::string CThumbnailCache::CacheDir() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_dir;
}

int CThumbnailCache::ReduceAngle(int a) {
  if (a >= 360) return a % 360;
  if (a < 0) return 359 - (359 - a) % 360;
  return a;
}

std::string CThumbnailCache::CacheKey(int angle, const std::string& path) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", angle);
  return digits + path;
}

QSize CThumbnailCache::FitSize(int w, int h) {
  if (w <= 0 || h <= 0) return QSize();
  auto round = [](long long a, long long b) { return static_cast<int>((2 * a + b) / (2 * b)); };
  int fw, fh;
  if (w < h) {
    fh = kBox;
    fw = round(static_cast<long long>(w) * kBox, h);
    if (fw > kBox) {
      fw = kBox;
      fh = round(static_cast<long long>(h) * kBox, w);
    }
  } else {
    fw = kBox;
    fh = round(static_cast<long long>(h) * kBox, w);
    if (fh > kBox) {
      fh = kBox;
      fw = round(static_cast<long long>(w) * kBox, h);
    }
  }
  return QSize(std::max(1, fw), std::max(1, fh));
}

namespace {
constexpr char kPrefix[] = "vexathum-";
constexpr char kSuffix[] = ".bmp";
// How the pictures in the folder are made, part of every name: changed when
// what a thumbnail shows changes, so that files made the earlier way are
// never shown again but age out of the folder. "upright": photos the camera
// stored turned are shown as it meant them (earlier files show them as
// stored).
constexpr char kPictureKind[] = "upright";

bool IsCacheFileName(const std::string& name) {
  const std::size_t p = sizeof kPrefix - 1, x = sizeof kSuffix - 1;
  return name.size() > p + x && name.compare(0, p, kPrefix) == 0 && name.compare(name.size() - x, x, kSuffix) == 0;
}
}  // namespace

std::string CThumbnailCache::EffectiveDir() const {
  std::string dir = CacheDir();
  if (!dir.empty()) return dir;
  // No folder given: the user's private folder in the temporary folder,
  // made when needed; none (nothing is cached) when another user holds the
  // name.
  return vexa::base::PrivateTempDirectory("vexacache");
}

std::string CThumbnailCache::CacheFileName(const std::string& path, int angle) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
  const std::string dir = EffectiveDir();
  if (dir.empty()) return std::string();
  // What the thumbnail shows: the file as it is now, upright, turned by
  // the angle. A changed photo (new size or time) gets a new name; its old
  // file ages out of the folder.
  std::string what = kPictureKind;
  what += '\0';
  what += path;
  what += '\0';
  what += std::to_string(static_cast<long long>(st.st_size)) + '\0';
  what += std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + '.' +
          std::to_string(static_cast<long long>(st.st_mtim.tv_nsec)) + '\0';
  what += std::to_string(ReduceAngle(angle));
  const QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(what), QCryptographicHash::Sha256).toHex().left(40);
  return vexa::base::JoinPath(dir, kPrefix + digest.toStdString() + kSuffix);
}

void CThumbnailCache::SetLimit(int files) {
  m_limit = std::max(1, files);
  Trim();
}

bool CThumbnailCache::Reuse(const std::string& file) {
  if (file.empty()) return false;
  CDib dib;
  if (!dib.ReadFile(file)) return false;
  // Used now: the bound removes the files used longest ago first.
  ::utimensat(AT_FDCWD, file.c_str(), nullptr, 0);
  return true;
}

bool CThumbnailCache::SaveCacheFile(const std::string& file, const img::Bitmap& bitmap) {
  // Written under a name of its own and renamed, so that a reader (another
  // run sharing the folder) never sees half a file.
  const std::string temporary =
      file + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(m_next++);
  if (!img::Save(temporary, bitmap, img::kFormatBmp).ok()) {
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), file.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  NoteWritten();
  return true;
}

void CThumbnailCache::NoteWritten() {
  // The folder is looked over again after every tenth of the bound written.
  if (++m_writtenSinceTrim >= std::max(1, m_limit.load() / 10)) Trim();
}

void CThumbnailCache::Trim() {
  std::lock_guard<std::mutex> trimming(m_trimMutex);
  m_writtenSinceTrim = 0;
  const std::string dir = EffectiveDir();
  std::set<std::string> inUse;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [key, file] : m_index)
      if (!file.empty()) inUse.insert(std::filesystem::path(file).filename().string());
  }
  if (dir.empty()) return;
  struct Entry {
    std::int64_t seconds, nanoseconds;
    std::string name;
  };
  std::vector<Entry> entries;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!IsCacheFileName(name)) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    entries.push_back({st.st_mtim.tv_sec, st.st_mtim.tv_nsec, std::move(name)});
  }
  const std::size_t limit = static_cast<std::size_t>(m_limit.load());
  if (entries.size() <= limit) return;
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.seconds, a.nanoseconds, a.name) < std::tie(b.seconds, b.nanoseconds, b.name);
  });
  std::size_t left = entries.size();
  for (const Entry& e : entries) {
    if (left <= limit) break;
    if (inUse.count(e.name)) continue;  // shown in this run: kept
    if (std::filesystem::remove(std::filesystem::path(dir) / e.name, ec)) --left;
  }
}

int CThumbnailCache::IndexSize() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_index.size());
}

void CThumbnailCache::ResetIndex() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_pending.empty(); });
  m_index.clear();
  m_conversions = 0;
}

namespace {
// What the user is told about a file whose picture cannot be made.
std::string ProblemText(const img::Status& status) {
  switch (status.code()) {
    case img::ErrorCode::kFileNotFound: return vexa::ui::LoadResString(7702);
    case img::ErrorCode::kFormatUnknown: return vexa::ui::LoadResString(7703);
    case img::ErrorCode::kFileCorrupt:
    case img::ErrorCode::kFileTruncated: return vexa::ui::LoadResString(7704);
    case img::ErrorCode::kFileRead: return vexa::ui::LoadResString(7705);
    case img::ErrorCode::kFileWrite: return vexa::ui::LoadResString(7707);
    default: return vexa::ui::LoadResString(7706);
  }
}
}  // namespace

bool CThumbnailCache::MakeThumbnail(const std::string& path, const std::string& cacheFile, int angle,
                                    std::string* why) {
  auto failed = [&](const img::Status& status) {
    if (why) *why = ProblemText(status);
    return false;
  };
  img::ImageInfo info;
  if (img::Status s = img::ReadInfo(path, &info); !s.ok()) return failed(s);
  const QSize fit = FitSize(info.width, info.height);
  if (fit.isEmpty()) return failed(img::ErrorCode::kFileCorrupt);
  // The decoder scales in the DCT domain down to the smallest size that
  // still covers the thumbnail; one resample does the rest.
  img::LoadOptions options;
  options.minWidth = fit.width();
  options.minHeight = fit.height();
  img::Bitmap picture;
  if (img::Status s = img::Load(path, &picture, options); !s.ok()) return failed(s);
  ++m_conversions;
  img::Bitmap small;
  img::ResizeOptions resize;
  resize.threads = 1;
  if (img::Status s = img::Resize(picture, fit.width(), fit.height(), &small, resize); !s.ok()) return failed(s);
  const int reduced = ReduceAngle(angle);
  if (reduced != 0) {
    img::Bitmap turned;
    if (img::Status s = img::Rotate(small, reduced * 100, true, &turned); !s.ok()) return failed(s);
    small = std::move(turned);
  }
  // A picture that cannot be written to the cache is still shown next time
  // it is asked for; the reader is not to blame.
  if (!SaveCacheFile(cacheFile, small)) return failed(img::ErrorCode::kFileWrite);
  return true;
}

std::string CThumbnailCache::Problem(const std::string& path, int angle) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_problems.find(CacheKey(ReduceAngle(angle), path));
  return it == m_problems.end() ? std::string() : it->second;
}

std::string CThumbnailCache::Lookup(const std::string& key, bool* found) const {
  auto it = m_index.find(key);
  *found = it != m_index.end();
  return *found ? it->second : std::string();
}

void CThumbnailCache::Record(const std::string& key, const std::string& file, const std::string& why) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_index[key] = file;
  if (file.empty()) m_problems[key] = why;
  else m_problems.erase(key);
  m_pending.erase(key);
  m_changed.notify_all();
}

std::string CThumbnailCache::CacheThumbnail(const std::string& path, int angle) {
  const int reduced = ReduceAngle(angle);
  const std::string key = CacheKey(reduced, path);
  if (!vexa::base::FileExists(path)) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_problems[key] = vexa::ui::LoadResString(7702);
    return std::string();
  }
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Another thread converting the same file and angle: wait for its result.
    m_changed.wait(lock, [&] { return m_pending.count(key) == 0; });
    bool found = false;
    std::string file = Lookup(key, &found);
    // A recorded file that has gone (another run's bound removed it) is
    // made again.
    if (found && (file.empty() || vexa::base::FileExists(file))) return file;
    m_pending.insert(key);
  }
  // A file made for the same picture and angle by an earlier run is taken
  // as it is; otherwise the picture is converted now.
  std::string file = CacheFileName(path, reduced);
  std::string why;
  if (file.empty()) why = vexa::ui::LoadResString(7705);
  else if (!Reuse(file) && !MakeThumbnail(path, file, reduced, &why)) file.clear();
  Record(key, file, why);
  return file;
}

namespace {
CDDB* LoadCacheFile(const std::string& file) {
  if (file.empty()) return nullptr;
  CDib dib;
  if (!dib.ReadFile(file)) return nullptr;
  return DibToDdb(&dib);
}
}  // namespace

CDDB* CThumbnailCache::ThumbnailBitmap(const std::string& path, int angle) {
  const int reduced = ReduceAngle(angle);
  const std::string key = CacheKey(reduced, path);
  std::string cached;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    cached = Lookup(key, &found);
  }
  if (found && !cached.empty()) {
    if (CDDB* ddb = LoadCacheFile(cached)) return ddb;
  }
  // This angle made by an earlier run, or a cached quarter turn of the same
  // file turned by the difference.
  if (!found) {
    const std::string file = CacheFileName(path, reduced);
    if (!file.empty() && Reuse(file)) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_index.count(key)) m_index[key] = file;
      }
      if (CDDB* ddb = LoadCacheFile(file)) return ddb;
    }
    for (int have : {0, 90, 180, 270}) {
      if (have == reduced || file.empty()) continue;
      std::string other;
      bool haveIt = false;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        other = Lookup(CacheKey(have, path), &haveIt);
      }
      if (!haveIt) {
        // Left by an earlier run under its content name.
        other = CacheFileName(path, have);
        haveIt = Reuse(other);
      }
      if (!haveIt || other.empty()) continue;
      img::Bitmap copy;
      if (!img::Load(other, &copy).ok()) continue;
      img::Bitmap turned;
      if (!img::Rotate(copy, ReduceAngle(reduced - have) * 100, true, &turned).ok()) continue;
      if (!SaveCacheFile(file, turned)) continue;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_index.count(key)) m_index[key] = file;
      }
      if (CDDB* ddb = LoadCacheFile(file)) return ddb;
    }
  }
  const std::string file = CacheThumbnail(path, reduced);
  if (CDDB* ddb = LoadCacheFile(file)) return ddb;
  // The placeholder of the art library; nothing is cached.
  return LoadArtBitmap(202);
}

// ---- The ready notice and the worker -------------------------------------------------

CThumbnailReadyEvent::CThumbnailReadyEvent(int photoId, std::string cacheFile, std::string exifDate)
    : QEvent(EventType()), m_photoId(photoId), m_cacheFile(std::move(cacheFile)), m_exifDate(std::move(exifDate)) {}
CThumbnailReadyEvent::~CThumbnailReadyEvent() = default;

QEvent::Type CThumbnailReadyEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

CThumbnailWorker::CThumbnailWorker(QObject* receiver, std::vector<std::string> paths,
                                   std::vector<int> rotations, std::vector<int> ids, CThumbnailCache& cache)
    : m_receiver(receiver),
      m_paths(std::move(paths)),
      m_rotations(std::move(rotations)),
      m_ids(std::move(ids)),
      m_cache(cache) {
  (void)CThumbnailReadyEvent::EventType();  // registered before the thread posts
  m_run.Start([this] { return Run(); });
}

CThumbnailWorker::~CThumbnailWorker() {
  Stop();
  Join();
}

std::int32_t CThumbnailWorker::Run() {
  // Below normal priority: the UI thread and the first screen come first.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 5);
  const std::size_t n = std::min(m_paths.size(), m_ids.size());
  m_run.SetPlanned(static_cast<std::int64_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    if (m_run.cancelled()) break;
    const int rotation = i < m_rotations.size() ? m_rotations[i] : 0;
    // A file that cannot be converted gets "" (the window shows the
    // placeholder) and the batch goes on with the next one.
    std::string file = m_cache.CacheThumbnail(m_paths[i], rotation);
    if (m_run.cancelled()) break;
    // The date a sort by picture date needs, read here rather than on the
    // window's thread.
    std::string date = ReadExifDateTime(m_paths[i]);
    if (m_run.cancelled()) break;
    if (m_receiver)
      QCoreApplication::postEvent(m_receiver, new CThumbnailReadyEvent(m_ids[i], std::move(file), std::move(date)));
    m_run.AddDone();
  }
  return vexa::base::kWorkSuccess;
}

}  // namespace vexa::gallery
