// The thumbnail cache: sizes (checked with ImageMagick), keys, one
// conversion per file and angle, and unreadable files.
#include <QImage>
#include <filesystem>

#include "gallery/ThumbnailCache.h"
#include "uicommon/tests/UiTestSupport.h"

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
  // Cache names carry the process, so two processes never share one.
  EXPECT_NE(std::filesystem::path(first).filename().string().find(std::to_string(::getpid())), std::string::npos);
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
