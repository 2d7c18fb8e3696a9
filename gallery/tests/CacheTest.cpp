// The thumbnail cache: sizes (checked with ImageMagick), keys, one
// conversion per file and angle, and unreadable files.
#include <fcntl.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QImage>
#include <filesystem>

#include "gallery/ThumbnailCache.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::gallery;
using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

std::string MakeJpeg(const std::string& path, int w, int h, QColor c = QColor(30, 140, 90)) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(c);
  image.save(QString::fromStdString(path), "JPG", 85);
  return path;
}

class CacheTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    m_cacheDir = m_temp.Path("cache");
    std::filesystem::create_directories(m_cacheDir);
    m_cache.SetCacheDir(m_cacheDir);
  }
  std::string m_cacheDir;
  CThumbnailCache m_cache;
};

TEST_F(CacheTest, AnglesKeysAndFitting) {
  const struct {
    int in, out;
  } angles[] = {{0, 0}, {90, 90}, {-90, 270}, {450, 90}, {360, 0}, {-360, 0}, {-1, 359}, {719, 359}};
  for (const auto& a : angles) EXPECT_EQ(CThumbnailCache::ReduceAngle(a.in), a.out) << a.in;
  EXPECT_EQ(CThumbnailCache::CacheKey(90, "/a.jpg"), "090/a.jpg");
  EXPECT_EQ(CThumbnailCache::FitSize(3000, 2000), QSize(75, 50));
  EXPECT_EQ(CThumbnailCache::FitSize(2000, 3000), QSize(50, 75));
  EXPECT_EQ(CThumbnailCache::FitSize(100, 100), QSize(75, 75));
  EXPECT_EQ(CThumbnailCache::FitSize(1000, 3), QSize(75, 1));
  EXPECT_EQ(CThumbnailCache::FitSize(301, 200), QSize(75, 50));  // 49.83 rounds up
}

TEST_F(CacheTest, LargePhotosBecomeSmall24BitBitmaps) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/identify");
  const std::string wide = MakeJpeg(m_temp.Path("wide.jpg"), 3000, 2000);
  const std::string tall = MakeJpeg(m_temp.Path("tall.jpg"), 2000, 3000);
  const struct {
    std::string path;
    int angle;
    const char* size;
  } cases[] = {{wide, 0, "75 50"}, {tall, 0, "50 75"}, {wide, 90, "50 75"}, {wide, -90, "50 75"}};
  for (const auto& c : cases) {
    const std::string file = m_cache.CacheThumbnail(c.path, c.angle);
    ASSERT_FALSE(file.empty());
    std::string out;
    ASSERT_EQ(RunCommand("/usr/bin/identify -format '%m %w %h %z' " + Quote(file), &out), 0) << out;
    EXPECT_EQ(out, std::string("BMP3 ") + c.size + " 8") << c.path << " " << c.angle;
    const std::string bytes = ReadAll(file);
    ASSERT_GE(bytes.size(), 30u);
    EXPECT_EQ(std::uint8_t(bytes[28]), 24);  // bits per pixel
  }
}

TEST_F(CacheTest, OneConversionPerFileAndReducedAngle) {
  const std::string a = MakeJpeg(m_temp.Path("a.jpg"), 640, 480);
  const std::string first = m_cache.CacheThumbnail(a, 0);
  EXPECT_EQ(m_cache.CacheThumbnail(a, 0), first);    // the same file twice: one conversion
  EXPECT_EQ(m_cache.CacheThumbnail(a, 360), first);  // the reduced angle is the key
  EXPECT_EQ(m_cache.Conversions(), 1);
  const std::string turned = m_cache.CacheThumbnail(a, 450);
  EXPECT_EQ(m_cache.CacheThumbnail(a, 90), turned);
  EXPECT_EQ(m_cache.Conversions(), 2);
  // The UI side turns a cached copy instead of decoding the photo again.
  std::unique_ptr<CDDB> upside(m_cache.ThumbnailBitmap(a, 180));
  ASSERT_TRUE(upside);
  EXPECT_EQ(upside->Size(), QSize(75, 56));
  EXPECT_EQ(m_cache.Conversions(), 2);
  // Names say what the file shows: the same picture and angle, the same name.
  EXPECT_EQ(first, m_cache.CacheFileName(a, 0));
  EXPECT_EQ(turned, m_cache.CacheFileName(a, 450));
  EXPECT_NE(first, turned);
}

int CacheFiles(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.path().extension() == ".bmp";
  return n;
}

// Runs of the program are caches of their own over one folder: a later run
// takes the files an earlier one made, so the folder holds one file per
// picture and angle however often the same photos are shown.
TEST_F(CacheTest, RunsShareOneFilePerPictureAndAngle) {
  std::vector<std::string> photos;
  for (int i = 0; i < 6; ++i)
    photos.push_back(MakeJpeg(m_temp.Path("p" + std::to_string(i) + ".jpg"), 320, 240, QColor(40 * i, 80, 120)));
  for (int run = 0; run < 3; ++run) {
    CThumbnailCache cache;
    cache.SetCacheDir(m_cacheDir);
    for (const std::string& p : photos) {
      EXPECT_FALSE(cache.CacheThumbnail(p, 0).empty());
      std::unique_ptr<CDDB> shown(cache.ThumbnailBitmap(p, 90));  // the UI side, turned
      ASSERT_TRUE(shown);
      EXPECT_EQ(shown->Size(), QSize(56, 75));
    }
    // Only the first run converts anything.
    EXPECT_EQ(cache.Conversions(), run == 0 ? 6 : 0) << "run " << run;
    EXPECT_EQ(CacheFiles(m_cacheDir), 12) << "run " << run;
  }
  // A photo changed since (another size) is a new picture with a new file.
  MakeJpeg(photos[0], 400, 300, QColor(200, 10, 10));
  CThumbnailCache later;
  later.SetCacheDir(m_cacheDir);
  const std::string changed = later.CacheThumbnail(photos[0], 0);
  EXPECT_EQ(later.Conversions(), 1);
  EXPECT_EQ(CacheFiles(m_cacheDir), 13);
  CDib dib;
  ASSERT_TRUE(dib.ReadFile(changed));
  EXPECT_EQ(dib.ToImage().pixelColor(37, 28).red(), 200);
}

// The folder keeps a bounded number of files: the ones used longest ago go
// first, the ones this run shows stay.
TEST_F(CacheTest, TheFolderIsBoundedOldestOutFirst) {
  std::vector<std::string> photos, files;
  for (int i = 0; i < 5; ++i)
    photos.push_back(MakeJpeg(m_temp.Path("b" + std::to_string(i) + ".jpg"), 160, 120, QColor(50 * i, 60, 70)));
  {
    CThumbnailCache first;
    first.SetCacheDir(m_cacheDir);
    for (const std::string& p : photos) files.push_back(first.CacheThumbnail(p, 0));
  }
  // Last used in the order 1, 3, 0, 4, 2 (oldest first).
  const int order[] = {1, 3, 0, 4, 2};
  for (int k = 0; k < 5; ++k) {
    const struct timespec times[2] = {{1000000 + k, 0}, {1000000 + k, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, files[static_cast<std::size_t>(order[k])].c_str(), times, 0), 0);
  }
  WriteAll(m_cacheDir + "/notes.txt", "not ours");
  CThumbnailCache next;
  next.SetLimit(3);
  next.SetCacheDir(m_cacheDir);  // taking the folder trims it
  EXPECT_EQ(CacheFiles(m_cacheDir), 3);
  for (int gone : {1, 3}) EXPECT_FALSE(std::filesystem::exists(files[static_cast<std::size_t>(gone)])) << gone;
  for (int kept : {0, 4, 2}) EXPECT_TRUE(std::filesystem::exists(files[static_cast<std::size_t>(kept)])) << kept;
  EXPECT_TRUE(std::filesystem::exists(m_cacheDir + "/notes.txt"));  // only cache files are removed
  // A photo shown again renews its file, which then outlives older ones;
  // files shown in this run are not removed even beyond the bound.
  EXPECT_EQ(next.CacheThumbnail(photos[0], 0), files[0]);
  EXPECT_EQ(next.Conversions(), 0);
  next.SetLimit(1);
  EXPECT_TRUE(std::filesystem::exists(files[0]));
  EXPECT_EQ(CacheFiles(m_cacheDir), 1);
  // A file removed behind the run's back is made again.
  std::filesystem::remove(files[0]);
  EXPECT_EQ(next.CacheThumbnail(photos[0], 0), files[0]);
  EXPECT_TRUE(std::filesystem::exists(files[0]));
}

// A photo the camera stored on its side (EXIF Orientation 6: to be turned a
// quarter clockwise) is shown upright, and the user's own turn comes on top
// of the camera's. A file an earlier version of the cache left for the
// same photo and angle, which shows it as stored, is not taken.
TEST_F(CacheTest, PhotosTheCameraStoredTurnedAreShownUpright) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/exiftool");
  // Stored 300 x 200, the left half red and the right half blue: upright
  // 200 x 300, red above blue.
  const std::string photo = m_temp.Path("side.jpg");
  QImage stored(300, 200, QImage::Format_RGB32);
  stored.fill(Qt::blue);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 150; ++x) stored.setPixel(x, y, qRgb(255, 0, 0));
  ASSERT_TRUE(stored.save(QString::fromStdString(photo), "JPG", 90));
  ASSERT_EQ(RunCommand("/usr/bin/exiftool -q -overwrite_original -Orientation#=6 " + Quote(photo)), 0);

  // What the earlier cache named its file for this photo at angle 0: the
  // photo's path, size, time and angle. It holds the picture as stored.
  struct stat st {};
  ASSERT_EQ(::stat(photo.c_str(), &st), 0);
  const std::string earlier = photo + '\0' + std::to_string(static_cast<long long>(st.st_size)) + '\0' +
                              std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + '.' +
                              std::to_string(static_cast<long long>(st.st_mtim.tv_nsec)) + '\0' + "0";
  const std::string earlierFile =
      m_cacheDir + "/vexathum-" +
      QCryptographicHash::hash(QByteArray::fromStdString(earlier), QCryptographicHash::Sha256)
          .toHex()
          .left(40)
          .toStdString() +
      ".bmp";
  ASSERT_TRUE(stored.scaled(75, 50).save(QString::fromStdString(earlierFile), "BMP"));

  const auto colourAt = [](const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return c.red() > 200 && c.blue() < 60 ? "red" : c.blue() > 200 && c.red() < 60 ? "blue" : "other";
  };
  const std::string upright = m_cache.CacheThumbnail(photo, 0);
  EXPECT_NE(upright, earlierFile);
  EXPECT_EQ(m_cache.Conversions(), 1);
  CDib dib;
  ASSERT_TRUE(dib.ReadFile(upright));
  QImage shown = dib.ToImage();
  ASSERT_EQ(shown.size(), QSize(50, 75));
  EXPECT_STREQ(colourAt(shown, 25, 10), "red");
  EXPECT_STREQ(colourAt(shown, 25, 65), "blue");

  // Turned by the user on top of the camera's turn: converted from the
  // photo, or turned from the picture already cached.
  CDib turnedDib;
  ASSERT_TRUE(turnedDib.ReadFile(m_cache.CacheThumbnail(photo, 90)));
  std::unique_ptr<CDDB> turnedFromCache(m_cache.ThumbnailBitmap(photo, 270));
  ASSERT_TRUE(turnedFromCache);
  shown = turnedDib.ToImage();
  ASSERT_EQ(shown.size(), QSize(75, 50));
  EXPECT_STREQ(colourAt(shown, 65, 25), "red");
  EXPECT_STREQ(colourAt(shown, 10, 25), "blue");
  shown = turnedFromCache->ToImage();  // a quarter anticlockwise: red on the left
  ASSERT_EQ(shown.size(), QSize(75, 50));
  EXPECT_STREQ(colourAt(shown, 10, 25), "red");
  EXPECT_STREQ(colourAt(shown, 65, 25), "blue");
}

TEST_F(CacheTest, UnreadableAndMissingFiles) {
  const std::string broken = m_temp.Path("broken.jpg");
  WriteAll(broken, "not a picture at all");
  EXPECT_EQ(m_cache.CacheThumbnail(broken, 0), "");
  EXPECT_EQ(m_cache.CacheThumbnail(broken, 0), "");  // recorded, not tried again
  EXPECT_EQ(m_cache.CacheThumbnail(m_temp.Path("missing.jpg"), 0), "");
  // The UI side shows the placeholder for both.
  for (const std::string& p : {broken, m_temp.Path("missing.jpg")}) {
    std::unique_ptr<CDDB> placeholder(m_cache.ThumbnailBitmap(p, 0));
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(placeholder->Size(), QSize(14, 16));
  }
}

}  // namespace
