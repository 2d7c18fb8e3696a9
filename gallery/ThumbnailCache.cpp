#include "gallery/ThumbnailCache.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/Transform.h"

namespace img = vexa::imaging;

CThumbnailCache& CThumbnailCache::Instance() {
  static CThumbnailCache cache;
  return cache;
}

CThumbnailCache::CThumbnailCache() = default;
CThumbnailCache::~CThumbnailCache() = default;

void CThumbnailCache::SetCacheDir(std::string dir) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_dir = std::move(dir);
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

std::string CThumbnailCache::NewCacheFileName() {
  const int n = m_next++;
  return vexa::base::JoinPath(CacheDir(), "vexathum-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(n) + ".bmp");
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

bool CThumbnailCache::MakeThumbnail(const std::string& path, const std::string& cacheFile, int angle) {
  img::ImageInfo info;
  if (!img::ReadInfo(path, &info).ok()) return false;
  const QSize fit = FitSize(info.width, info.height);
  if (fit.isEmpty()) return false;
  // The decoder scales in the DCT domain down to the smallest size that
  // still covers the thumbnail; one resample does the rest.
  img::LoadOptions options;
  options.minWidth = fit.width();
  options.minHeight = fit.height();
  img::Bitmap picture;
  if (!img::Load(path, &picture, options).ok()) return false;
  ++m_conversions;
  img::Bitmap small;
  img::ResizeOptions resize;
  resize.threads = 1;
  if (!img::Resize(picture, fit.width(), fit.height(), &small, resize).ok()) return false;
  const int reduced = ReduceAngle(angle);
  if (reduced != 0) {
    img::Bitmap turned;
    if (!img::Rotate(small, reduced * 100, true, &turned).ok()) return false;
    small = std::move(turned);
  }
  return img::Save(cacheFile, small, img::kFormatBmp).ok();
}

std::string CThumbnailCache::Lookup(const std::string& key, bool* found) const {
  auto it = m_index.find(key);
  *found = it != m_index.end();
  return *found ? it->second : std::string();
}

void CThumbnailCache::Record(const std::string& key, const std::string& file) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_index[key] = file;
  m_pending.erase(key);
  m_changed.notify_all();
}

std::string CThumbnailCache::CacheThumbnail(const std::string& path, int angle) {
  if (!vexa::base::FileExists(path)) return std::string();
  const int reduced = ReduceAngle(angle);
  const std::string key = CacheKey(reduced, path);
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Another thread converting the same file and angle: wait for its result.
    m_changed.wait(lock, [&] { return m_pending.count(key) == 0; });
    bool found = false;
    std::string file = Lookup(key, &found);
    if (found) return file;
    m_pending.insert(key);
  }
  std::string file = NewCacheFileName();
  if (!MakeThumbnail(path, file, reduced)) file.clear();
  Record(key, file);
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
  // A cached quarter turn of the same file, turned by the difference.
  if (!found) {
    for (int have : {0, 90, 180, 270}) {
      if (have == reduced) continue;
      std::string other;
      bool haveIt = false;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        other = Lookup(CacheKey(have, path), &haveIt);
      }
      if (!haveIt || other.empty()) continue;
      img::Bitmap copy;
      if (!img::Load(other, &copy).ok()) continue;
      img::Bitmap turned;
      if (!img::Rotate(copy, ReduceAngle(reduced - have) * 100, true, &turned).ok()) continue;
      const std::string file = NewCacheFileName();
      if (!img::Save(file, turned, img::kFormatBmp).ok()) continue;
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

CThumbnailReadyEvent::CThumbnailReadyEvent(int photoId, std::string cacheFile)
    : QEvent(EventType()), m_photoId(photoId), m_cacheFile(std::move(cacheFile)) {}
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
  m_thread = std::jthread([this](std::stop_token token) { Run(token); });
}

CThumbnailWorker::~CThumbnailWorker() {
  Stop();
  Join();
}

void CThumbnailWorker::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void CThumbnailWorker::Run(std::stop_token token) {
  // Below normal priority: the UI thread and the first screen come first.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 5);
  const std::size_t n = std::min(m_paths.size(), m_ids.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (m_stop || token.stop_requested()) break;
    const int rotation = i < m_rotations.size() ? m_rotations[i] : 0;
    // A file that cannot be converted gets "" (the window shows the
    // placeholder) and the batch goes on with the next one.
    std::string file = m_cache.CacheThumbnail(m_paths[i], rotation);
    if (m_stop) break;
    if (m_receiver) QCoreApplication::postEvent(m_receiver, new CThumbnailReadyEvent(m_ids[i], std::move(file)));
  }
  m_done = true;
}
