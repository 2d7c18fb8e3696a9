// The status dialog in a real window under a virtual X display: its
// screenshot is kept as an artifact (build/artifacts/vexacore-status.png).
#include <QImage>
#include <filesystem>

#include "core/tests/CoreTestSupport.h"

namespace vexa::core::test {
namespace {

TEST(ScreenshotTest, TheStatusDialogDrawsItsBannerStepsAndProgress) {
  VEXA_CORE_REQUIRE_TOOL("/usr/bin/xvfb-run");
  const std::string build = VEXA_BUILD_DIR;
  const std::string artifacts = build + "/artifacts";
  std::filesystem::create_directories(artifacts);
  const std::string shot = artifacts + "/vexacore-status.png";
  std::filesystem::remove(shot);
  std::string out;
  // The demo's leak checking is off: the X client libraries keep caches for
  // the life of the process.
  const int rc = RunCommand("ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb timeout 120 /usr/bin/xvfb-run -a "
                            "-s '-screen 0 1024x768x24' " +
                                Quote(build + "/tests/vexacore-status-demo") + " " + Quote(shot),
                            &out);
  ASSERT_EQ(rc, 0) << out;
  const QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 440);
  EXPECT_GT(image.height(), 250);
  // The banner's deep blue at the top right, its white title text, the blue
  // labels of the steps done and current, and the progress bar's fill.
  const QColor corner = image.pixelColor(image.width() - 20, 10);
  EXPECT_GT(corner.blue(), corner.red() + 40);
  int white = 0, blueText = 0;
  for (int y = 0; y < 72; ++y)
    for (int x = 112; x < 428; ++x) white += qGray(image.pixel(x, y)) > 230;
  for (int y = 72; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      blueText += c.blue() > 200 && c.red() < 80 && c.green() < 80;
    }
  EXPECT_GT(white, 100);
  EXPECT_GT(blueText, 50);
}

}  // namespace
}  // namespace vexa::core::test
