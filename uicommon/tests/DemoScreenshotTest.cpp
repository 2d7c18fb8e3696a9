// uicommon-demo under a virtual X display: a real window of the art
// buttons, views and a wrapped caption, its screenshot kept as an artifact
// (build/artifacts/uicommon-demo.png) and looked at.
#include <QImage>
#include <filesystem>

#include "uicommon/tests/UiTestSupport.h"


using namespace vexa::ui::testing;

namespace {

TEST(DemoScreenshotTest, DemoRendersButtonsViewsAndCaption) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/xvfb-run");
  VEXA_UI_REQUIRE_TOOL("/usr/bin/identify");
  const std::string build = VEXA_BUILD_DIR;
  const std::string artifacts = build + "/artifacts";
  std::filesystem::create_directories(artifacts);
  const std::string shot = artifacts + "/uicommon-demo.png";
  std::filesystem::remove(shot);
  std::string out;
  // The demo's own leak checking is off: the X client libraries keep
  // caches for the life of the process.
  const int rc = RunCommand("ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb timeout 120 /usr/bin/xvfb-run -a "
                            "-s '-screen 0 1024x768x24' " + Quote(build + "/bin/uicommon-demo") +
                            " --screenshot " + Quote(shot), &out);
  ASSERT_EQ(rc, 0) << out;
  std::string id;
  ASSERT_EQ(RunCommand("/usr/bin/identify " + Quote(shot), &id), 0) << id;
  EXPECT_NE(id.find("PNG 388x292"), std::string::npos) << id;

  const QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The selected cell's blue corner button, the unselected cell's white
  // one, and dark caption text inside the white caption box.
  auto near = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) < 40;
  };
  EXPECT_TRUE(near(image.pixel(1 + 11, 1 + 11), qRgb(0x2F, 0x6F, 0xDE)) ||
              near(image.pixel(1 + 5, 1 + 11), qRgb(0x2F, 0x6F, 0xDE)));
  int dark = 0;
  for (int y = 160; y < 270; ++y)
    for (int x = 20; x < 370; ++x) dark += qGray(image.pixel(x, y)) < 80;
  EXPECT_GT(dark, 200);
}

}  // namespace
