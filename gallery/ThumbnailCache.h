// The thumbnail cache: small 24-bit bitmap files in the host-chosen cache
// folder, made once per file and angle, with the worker that fills it for a
// batch of photos. A cache file is named by what it shows (the photo's path,
// size and modification time, and the angle), so every run that shows the
// same picture at the same angle finds the same file; the folder keeps at
// most a bounded number of them, the least recently used going first.
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
#include <vector>

#include "gallery/GalleryExport.h"
#include "platform/base/WorkRun.h"
#include "platform/imaging/Bitmap.h"
#include "uicommon/art/Bitmaps.h"

namespace vexa::gallery {

class CThumbnailCache {
 public:
  static constexpr int kBox = 75;
  // The cache files kept in the folder by default.
  static constexpr int kDefaultLimit = 2000;

  // The process's cache.
  VEXATHUMGALLERY_API static CThumbnailCache& Instance();
  CThumbnailCache();
  ~CThumbnailCache();

  VEXATHUMGALLERY_API void SetCacheDir(std::string dir);
  std::string CacheDir() const;

  // An angle reduced into 0..359 (-90 gives 270, 450 gives 90).
  VEXATHUMGALLERY_API static int ReduceAngle(int angle);
  // The index key: the angle in three digits, then the path ("090/a.jpg").
  static std::string CacheKey(int angle, const std::string& path);
  // The size a w x h picture takes in the 75 x 75 box, rounding half up.
  static QSize FitSize(int width, int height);

  // Worker side: the cache file of the file at the angle (made now if need
  // be), "" for a file that is missing or cannot be converted. A file and
  // angle is converted once however many threads ask at the same time.
  VEXATHUMGALLERY_API std::string CacheThumbnail(const std::string& path, int angle);
  // UI side: a new bitmap of the thumbnail (from the cache, from a cached
  // copy at another quarter turn, or converted now); the placeholder for a
  // file that cannot be read. The caller owns it.
  VEXATHUMGALLERY_API ui::CDDB* ThumbnailBitmap(const std::string& path, int angle);
  // Converts one file: fitted into the box, turned, saved as a 24-bit BMP.
  // On failure *why (when given) is what the user is told about the file.
  bool MakeThumbnail(const std::string& path, const std::string& cacheFile, int angle, std::string* why = nullptr);
  // Why the file at the angle has no thumbnail (the last time it was tried):
  // a sentence for the user; "" when it has one or was not tried.
  VEXATHUMGALLERY_API std::string Problem(const std::string& path, int angle) const;
  // The cache file of a picture at a reduced angle: "vexathum-" and a digest
  // of the path, the file's size and modification time and the angle. ""
  // when the file cannot be looked at or no folder is set.
  std::string CacheFileName(const std::string& path, int angle) const;
  // The most cache files the folder keeps; the least recently used beyond it
  // are removed (files this process uses are kept).
  void SetLimit(int files);
  int Limit() const { return m_limit.load(); }
  // Removes the least recently used cache files beyond the limit.
  void Trim();

  // How many files were decoded and converted so far; and the index size.
  int Conversions() const { return m_conversions.load(); }
  int IndexSize() const;
  // Forgets every entry (the files stay); for tests.
  void ResetIndex();

 private:
  std::string Lookup(const std::string& key, bool* found) const;
  // The cache folder, or the user's private folder in the system's
  // temporary folder when the host set none ("" when that cannot be had).
  std::string EffectiveDir() const;
  void Record(const std::string& key, const std::string& file, const std::string& why = std::string());
  // A cache file that an earlier run (or another process) left: readable as
  // a bitmap. Its time is renewed, so the bound removes it last.
  static bool Reuse(const std::string& file);
  // Saves a bitmap under its cache name: written beside it, then renamed.
  bool SaveCacheFile(const std::string& file, const vexa::imaging::Bitmap& bitmap);
  void NoteWritten();

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::string, std::string> m_index;  // key -> cache file ("" for a failure)
  std::map<std::string, std::string> m_problems;  // key -> why it has no thumbnail
  std::set<std::string> m_pending;             // keys being converted now
  std::string m_dir;
  std::atomic<int> m_next{0};  // temporary names of files being written
  std::atomic<int> m_conversions{0};
  std::atomic<int> m_limit{kDefaultLimit};
  std::atomic<int> m_writtenSinceTrim{0};
  std::mutex m_trimMutex;
};

// What the worker tells the window that owns the job: a photo's cache file
// is ready ("" when the file could not be converted), with the capture date
// it read from the photo ("9999" when it has none; "" when not read).
// Delivered on the window's thread.
class VEXATHUMGALLERY_API CThumbnailReadyEvent : public QEvent {
 public:
  CThumbnailReadyEvent(int photoId, std::string cacheFile, std::string exifDate = std::string());
  ~CThumbnailReadyEvent() override;
  static QEvent::Type EventType();
  int PhotoId() const { return m_photoId; }
  const std::string& CacheFile() const { return m_cacheFile; }
  const std::string& ExifDate() const { return m_exifDate; }

 private:
  int m_photoId;
  std::string m_cacheFile;
  std::string m_exifDate;
};

// One batch of added photos converted on a thread of its own at low
// priority, each photo's capture date read with it, as a work run (platform/base/WorkRun.h): stopping is the run's
// cancel and ends the thread after its current file; destroying the worker
// stops it and waits for the thread.
class CThumbnailWorker {
 public:
  VEXATHUMGALLERY_API CThumbnailWorker(QObject* receiver, std::vector<std::string> paths, std::vector<int> rotations,
                   std::vector<int> ids, CThumbnailCache& cache = CThumbnailCache::Instance());
  VEXATHUMGALLERY_API ~CThumbnailWorker();
  CThumbnailWorker(const CThumbnailWorker&) = delete;
  CThumbnailWorker& operator=(const CThumbnailWorker&) = delete;

  void Stop() { m_run.Cancel(); }
  bool Done() const { return m_run.done(); }
  // Waits until the thread has ended.
  void Join() { m_run.Join(); }

 private:
  std::int32_t Run();
  QObject* m_receiver;
  std::vector<std::string> m_paths;
  std::vector<int> m_rotations;
  std::vector<int> m_ids;
  CThumbnailCache& m_cache;
  // The run; its units of work are the photos of the batch.
  vexa::base::WorkRun m_run;
};

}  // namespace vexa::gallery
