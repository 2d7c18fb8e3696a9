// The thumbnail cache: small 24-bit bitmap files in the host-chosen cache
// folder, made once per file and angle and reused for the rest of the
// process's life, with the worker that fills it for a batch of photos.
#pragma once

#include <QEvent>
#include <QObject>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gallery/GalleryExport.h"
#include "uicommon/Bitmaps.h"

class VEXATHUMGALLERY_API CThumbnailCache {
 public:
  static constexpr int kBox = 75;

  // The process's cache.
  static CThumbnailCache& Instance();
  CThumbnailCache();
  ~CThumbnailCache();

  void SetCacheDir(std::string dir);
  std::string CacheDir() const;

  // An angle reduced into 0..359 (-90 gives 270, 450 gives 90).
  static int ReduceAngle(int angle);
  // The index key: the angle in three digits, then the path ("090/a.jpg").
  static std::string CacheKey(int angle, const std::string& path);
  // The size a w x h picture takes in the 75 x 75 box, rounding half up.
  static QSize FitSize(int width, int height);

  // Worker side: the cache file of the file at the angle (made now if need
  // be), "" for a file that is missing or cannot be converted. A file and
  // angle is converted once however many threads ask at the same time.
  std::string CacheThumbnail(const std::string& path, int angle);
  // UI side: a new bitmap of the thumbnail (from the cache, from a cached
  // copy at another quarter turn, or converted now); the placeholder for a
  // file that cannot be read. The caller owns it.
  CDDB* ThumbnailBitmap(const std::string& path, int angle);
  // Converts one file: fitted into the box, turned, saved as a 24-bit BMP.
  bool MakeThumbnail(const std::string& path, const std::string& cacheFile, int angle);
  // The next cache file path: unique to this process, so two processes
  // sharing the folder never write each other's files.
  std::string NewCacheFileName();

  // How many files were decoded and converted so far; and the index size.
  int Conversions() const { return m_conversions.load(); }
  int IndexSize() const;
  // Forgets every entry (the files stay); for tests.
  void ResetIndex();

 private:
  std::string Lookup(const std::string& key, bool* found) const;
  void Record(const std::string& key, const std::string& file);

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::string, std::string> m_index;  // key -> cache file ("" for a failure)
  std::set<std::string> m_pending;             // keys being converted now
  std::string m_dir;
  std::atomic<int> m_next{0};
  std::atomic<int> m_conversions{0};
};

// What the worker tells the window that owns the job: a photo's cache file
// is ready ("" when the file could not be converted). Delivered on the
// window's thread.
class VEXATHUMGALLERY_API CThumbnailReadyEvent : public QEvent {
 public:
  CThumbnailReadyEvent(int photoId, std::string cacheFile);
  ~CThumbnailReadyEvent() override;
  static QEvent::Type EventType();
  int PhotoId() const { return m_photoId; }
  const std::string& CacheFile() const { return m_cacheFile; }

 private:
  int m_photoId;
  std::string m_cacheFile;
};

// One batch of added photos converted on a thread of its own at low
// priority. Stopping ends the thread after its current file; destroying the
// worker waits for the thread.
class VEXATHUMGALLERY_API CThumbnailWorker {
 public:
  CThumbnailWorker(QObject* receiver, std::vector<std::string> paths, std::vector<int> rotations,
                   std::vector<int> ids, CThumbnailCache& cache = CThumbnailCache::Instance());
  ~CThumbnailWorker();
  CThumbnailWorker(const CThumbnailWorker&) = delete;
  CThumbnailWorker& operator=(const CThumbnailWorker&) = delete;

  void Stop() { m_stop = true; }
  bool Done() const { return m_done.load(); }
  // Waits until the thread has ended.
  void Join();

 private:
  void Run(std::stop_token token);
  QObject* m_receiver;
  std::vector<std::string> m_paths;
  std::vector<int> m_rotations;
  std::vector<int> m_ids;
  CThumbnailCache& m_cache;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_done{false};
  std::jthread m_thread;
};
