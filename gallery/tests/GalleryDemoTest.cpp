// gallery-demo under a virtual X display on a folder of photos: the control
// hosted by class id shows their thumbnails, and a second run finds them in
// the cache folder; the screenshot is kept as an artifact
// (build/artifacts/gallery-demo.png).
#include <QImage>
#include <filesystem>

#include "uicommon/tests/UiTestSupport.h"


using namespace vexa::ui::testing;

namespace {

TEST(GalleryDemoTest, ShowsTheFolderSortedAndTurned) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/convert");
  TempDir temp;
  const std::string photos = temp.Path("photos");
  std::filesystem::create_directories(photos);
  for (int i = 1; i <= 6; ++i)
    ASSERT_EQ(RunCommand("/usr/bin/convert -seed " + std::to_string(i) + " -size 1200x800 plasma:fractal " +
                         Quote(photos + "/photo" + std::to_string(i) + ".jpg")), 0);
  const std::string build = VEXA_BUILD_DIR;
  std::filesystem::create_directories(build + "/artifacts");
  const std::string shot = build + "/artifacts/gallery-demo.png";
  std::filesystem::remove(shot);
  // Two runs over the same cache folder: the second takes the first one's
  // files, so the folder holds one file per picture and angle.
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::filesystem::remove(shot);
    std::string out;
    const int rc = RunCommand("ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb timeout 120 /usr/bin/xvfb-run -a "
                              "-s '-screen 0 1024x768x24' " + Quote(build + "/bin/gallery-demo") + " " +
                              Quote(photos) + " --cache " + Quote(temp.Path("cache")) +
                              " --captions --rotate-first --sort name --screenshot " + Quote(shot), &out);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("ContentsChanged"), std::string::npos) << out;
    const QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 480));
    int cached = 0;
    for (const auto& e : std::filesystem::directory_iterator(temp.Path("cache")))
      cached += e.path().extension() == ".bmp";
    EXPECT_EQ(cached, 7);  // six photos, and the first one turned
  }
}

}  // namespace
