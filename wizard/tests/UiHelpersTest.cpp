// The small helpers: the resizer's arithmetic, split paths, the exact
// extension finder, the splitter's limits and the product message box.
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "platform/base/Path.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/tests/WizUnitTest.h"
#include "wizard/ui/UiHelpers.h"

using namespace vexa::wiz;
using vexa::wiz::testing::WizUnitTest;

namespace {

TEST(ResizerTest, EdgesMoveByTheirShareOfTheChange) {
  const QRect ref(10, 20, 100, 50);
  EXPECT_EQ(CResizer::Moved(ref, 5000, 0, 0, 0, 100, 0), QRect(60, 20, 100, 50));
  EXPECT_EQ(CResizer::Moved(ref, 0, 0, 10000, 0, 100, 0), QRect(10, 20, 200, 50));
  EXPECT_EQ(CResizer::Moved(ref, 5000, 0, 0, 0, -3, 0), QRect(9, 20, 100, 50));  // toward zero
  EXPECT_EQ(CResizer::Moved(ref, 0, 10000, 0, 10000, 0, 40), QRect(10, 60, 100, 90));

  QWidget window;
  window.resize(300, 200);
  QWidget child(&window);
  child.setGeometry(10, 10, 100, 100);
  CResizer resizer;
  resizer.Init(&window);
  ASSERT_TRUE(resizer.AddItem(&child, 0, 0, 100, 50));
  resizer.Resize(400, 260, true);
  EXPECT_EQ(child.geometry(), QRect(10, 10, 200, 130));
  resizer.SetMinimum(300, 200);
  resizer.Resize(100, 100, true);
  EXPECT_EQ(child.geometry(), QRect(10, 10, 100, 100));
}

// A window's place fitted onto the screen's available area: the frame
// (here 4 each side, 20 for the title bar) always lies inside it.
TEST(FitOnScreenTest, TheFrameEndsInsideTheAvailableArea) {
  const QRect available(0, 30, 1024, 738);  // a 1024x768 screen under a top panel
  const QMargins frame(4, 20, 4, 4);
  const struct {
    const char* name;
    QRect wanted;
    QRect expected;
  } cases[] = {
      {"fits: kept", QRect(100, 100, 640, 480), QRect(100, 100, 640, 480)},
      {"larger than the screen", QRect(0, 0, 5000, 4000), QRect(4, 50, 1016, 714)},
      {"larger and far off", QRect(3000, -900, 5000, 4000), QRect(4, 50, 1016, 714)},
      {"off the right and bottom", QRect(900, 700, 640, 480), QRect(380, 284, 640, 480)},
      {"under the panel", QRect(100, 10, 640, 480), QRect(100, 50, 640, 480)},
      {"off the left", QRect(-300, 200, 640, 480), QRect(4, 200, 640, 480)},
      {"as tall as the screen", QRect(100, 0, 640, 768), QRect(100, 50, 640, 714)},
  };
  for (const auto& c : cases) {
    const QRect r = FitOnScreen(c.wanted, frame, available);
    EXPECT_EQ(r, c.expected) << c.name;
    EXPECT_TRUE(available.contains(r.marginsAdded(frame))) << c.name;
  }
}

TEST(PathTest, PartsOfAPath) {
  CvexaPath p("/photos/holiday/photo..jpg");
  EXPECT_EQ(p.GetExtension(), "jpg");
  EXPECT_EQ(p.GetFileName(), "photo..jpg");
  EXPECT_EQ(p.GetDirectory(), "/photos/holiday/");
  EXPECT_EQ(CvexaPath("/photos/README").GetExtension(), "");
  EXPECT_FALSE(CvexaPath("").Exists());
  EXPECT_TRUE(CvexaPath("/").Exists());
}

class HelpersTest : public WizUnitTest {
 protected:
  void SetUp() override {
    WizUnitTest::SetUp();
    Wiz().language = std::make_unique<CvexaLanguage>();
    ASSERT_TRUE(Wiz().language->Load("ENU"));
  }
  // Clicks the named button of the next modal dialog, once it is up.
  void ClickWhenUp(const char* button, std::string* text = nullptr, bool* scrollbar = nullptr) {
    QTimer::singleShot(0, [=, this] {
      QWidget* d = QApplication::activeModalWidget();
      if (!d) {
        ClickWhenUp(button, text, scrollbar);
        return;
      }
      if (text) *text = d->windowTitle().toStdString();
      if (scrollbar) {
        auto* edit = d->findChild<QPlainTextEdit*>("ctl_2001");
        *scrollbar = edit && edit->verticalScrollBar()->isVisible();
      }
      if (auto* b = d->findChild<QPushButton*>(button)) QTest::mouseClick(b, Qt::LeftButton);
      else if (auto* box = qobject_cast<QMessageBox*>(d)) box->button(QMessageBox::No)->click();
    });
  }
};

TEST_F(HelpersTest, TheExactFinderPassesOnlyEqualExtensions) {
  FileOfSize("f/a.htm", 1);
  FileOfSize("f/b.html", 1);
  FileOfSize("f/c.HTM", 1);
  CvexaExactFileFind find;
  ASSERT_TRUE(find.FindFile(m_temp.Path("f/*.htm")));
  std::vector<std::string> names;
  bool more = true;
  while (more) {
    more = find.FindNextFile();
    names.push_back(vexa::base::BaseName(find.GetFilePath()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a.htm", "c.HTM"}));
  EXPECT_FALSE(find.FindFile(m_temp.Path("f/*.gif")));
}

TEST_F(HelpersTest, TheSplitterStopsAtThePanesFarEdge) {
  QWidget parent;
  parent.resize(400, 300);
  QWidget first(&parent), second(&parent);
  first.setGeometry(0, 0, 400, 100);
  second.setGeometry(0, 104, 400, 196);
  CSplitterBar bar(&parent, true);
  bar.SetPanes(&first, &second);
  int moved = 0;
  QObject::connect(&bar, &CSplitterBar::moved, [&] { ++moved; });
  bar.MoveTo(10000);
  EXPECT_EQ(moved, 1);
  EXPECT_LE(bar.geometry().bottom(), 299);
  EXPECT_EQ(second.geometry().bottom(), 299);
  bar.MoveTo(150);
  EXPECT_EQ(first.geometry().bottom(), bar.geometry().top() - 1);
  EXPECT_EQ(second.geometry().top(), bar.geometry().bottom() + 1);
}

TEST_F(HelpersTest, TheOwnMessageDialogAnswersAsItsTypeSays) {
  struct Case {
    int type;
    const char* button;
    int answer;
  } cases[] = {{MB_YESNO, "ctl_1", IDYES}, {MB_YESNO, "ctl_2", IDNO}, {MB_YESNOCANCEL, "ctl_1", IDOK},
               {MB_YESNOCANCEL, "ctl_2", IDCANCEL}, {MB_OK, "ctl_161", IDOK}};
  for (const Case& c : cases) {
    std::string caption;
    bool scrollbar = true;
    ClickWhenUp(c.button, &caption, &scrollbar);
    CvexaMessageBox box(Wiz());
    EXPECT_EQ(box.Show(c.type, "One line.", c.type != MB_YESNO, false, false), c.answer) << c.type << c.button;
    EXPECT_EQ(caption, c.type == MB_YESNO ? "Kv Orlune Disc Creator Software - Message"
                                          : "Kv Orlune Disc Creator Software - Error");
    EXPECT_FALSE(scrollbar);
  }
  // The system path answers Yes and No as 6 and 7 too.
  ClickWhenUp("none");
  CvexaMessageBox box(Wiz());
  EXPECT_EQ(box.Show(MB_YESNO, "Question?", false, false, true), IDNO);
}

}  // namespace
