// Art buttons: the behaviour as a table of press, drag and release, and the
// button window under the offscreen platform with QTest.
#include <QApplication>
#include <QTest>

#include "uicommon/art/ArtButton.h"
#include "uicommon/common/Command.h"
#include "uicommon/common/Settings.h"
#include "uicommon/common/Strings.h"
#include "uicommon/art/Views.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

// A parent that records the commands its children post.
class CommandSink : public QWidget {
 public:
  bool event(QEvent* e) override {
    if (e->type() == CCommandEvent::EventType()) {
      commands.push_back(static_cast<CCommandEvent*>(e)->Command());
      return true;
    }
    return QWidget::event(e);
  }
  std::vector<int> commands;
};

TEST(ArtButtonStateTest, PressDragAndReleaseTable) {
  // Events: P press, O move off, I move on, R release inside, X release outside.
  const struct {
    const char* name;
    bool toggleMode;
    bool startPushed;
    const char* events;
    const char* pushedAfterEach;  // 1/0 per event
    int notifications;
  } rows[] = {
      {"push click", false, false, "PR", "10", 1},
      {"push drag off and back", false, false, "POIR", "1010", 1},
      {"push released outside", false, false, "POX", "100", 0},
      {"push released outside without a move", false, false, "PX", "10", 0},
      {"toggle click", true, false, "PR", "11", 1},
      {"toggle click when pushed", true, true, "PR", "00", 1},
      {"toggle released outside", true, false, "POX", "110", 0},
      {"toggle does not change while dragged", true, false, "POIOIR", "111111", 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    CArtButtonState s;
    s.toggleMode = r.toggleMode;
    s.pushed = r.startPushed;
    int notified = 0;
    std::string trace;
    for (const char* e = r.events; *e; ++e) {
      switch (*e) {
        case 'P': s.Press(); break;
        case 'O': s.Move(false); break;
        case 'I': s.Move(true); break;
        case 'R': notified += s.Release(true); break;
        case 'X': notified += s.Release(false); break;
      }
      trace += s.pushed ? '1' : '0';
    }
    EXPECT_EQ(trace, r.pushedAfterEach);
    EXPECT_EQ(notified, r.notifications);
    EXPECT_FALSE(s.tracking);
  }
  // Hover lights the button only while no press is tracked.
  CArtButtonState s;
  s.Hover(true);
  EXPECT_TRUE(s.highlight);
  s.Press();
  s.Move(false);
  EXPECT_FALSE(s.highlight);
  s.Hover(true);
  EXPECT_FALSE(s.highlight);
}

class ArtButtonTest : public UiTest {};

TEST_F(ArtButtonTest, TableAndSharedFaces) {
  EXPECT_EQ(ButtonDescriptor(0).FaceRect(), QRect(233, 57, 116, 142));
  EXPECT_EQ(ButtonDescriptor(6).m_windowX, 93);
  EXPECT_EQ(ButtonDescriptor(6).m_tooltipId, 6233);
  CommandSink parent;
  EXPECT_EQ(NewArtButton(&parent, 50), nullptr);  // not defined
  const int before = TheArtMgr().CachedFaces();
  std::unique_ptr<CArtButton> a(NewArtButton(&parent, 1)), b(NewArtButton(&parent, 1)),
      c(NewArtButton(&parent, 5));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->GetUp(), b->GetUp());
  EXPECT_NE(a->GetUp(), c->GetUp());
  EXPECT_EQ(TheArtMgr().CachedFaces(), before + 2);
  EXPECT_EQ(a->geometry(), QRect(1, 1, 22, 22));
  EXPECT_EQ(a->ControlId(), 301);
  // The released face of button 1 is the "Up" sheet at (118, 58).
  std::unique_ptr<CDDB> sheet(GetArtwork("Up", QRect()));
  EXPECT_EQ(a->GetUp()->ToImage(), sheet->ToImage().copy(118, 58, 22, 22));

  CButtonFactory table;
  CButtonDescriptor d;
  d.m_width = 5;
  table.DefineButton(9, d);
  table.DefineButton(3, d);
  d.m_width = 6;
  table.DefineButton(9, d);  // replaces
  table.SetIter();
  CButtonDescriptor out;
  int id = 0;
  std::vector<int> ids;
  while (table.NextDescriptor(out, id)) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int>{3, 9}));
  EXPECT_EQ(table.Descriptor(9).m_width, 6);
  table.DeleteButton(3);
  EXPECT_FALSE(table.Defined(3));
}

TEST_F(ArtButtonTest, ClickPostsIdPlus300AndDragOffUndoes) {
  CommandSink parent;
  parent.resize(200, 200);
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  std::unique_ptr<CArtButton> button(NewArtButton(&parent, 6));
  ASSERT_TRUE(button);
  // A new button waits for its owner to show it, even in a shown window.
  EXPECT_FALSE(button->isVisible());
  button->show();
  EXPECT_TRUE(button->ToggleMode());
  QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return parent.commands.size() == 1; }, kWaitBoundMs))
      << InVain("the click's command") << "; there are " << parent.commands.size();
  EXPECT_EQ(parent.commands[0], 306);
  EXPECT_TRUE(button->IsPushed());  // a toggle button stays in

  // As a push button: pressed, dragged off and back, released inside.
  button->ToggleMode(false);
  button->SetState(false);
  QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(button->IsPushed());
  QTest::mouseMove(button.get(), QPoint(60, 60));
  EXPECT_FALSE(button->IsPushed());
  QTest::mouseMove(button.get(), QPoint(11, 11));
  EXPECT_TRUE(button->IsPushed());
  QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(11, 11));
  EXPECT_FALSE(button->IsPushed());
  ASSERT_TRUE(QTest::qWaitFor([&] { return parent.commands.size() == 2; }, kWaitBoundMs))
      << InVain("the second click's command") << "; there are " << parent.commands.size();

  // A toggle button pressed and released outside keeps its state and says nothing.
  button->ToggleMode(true);
  QTest::mousePress(button.get(), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseMove(button.get(), QPoint(80, 80));
  QTest::mouseRelease(button.get(), Qt::LeftButton, {}, QPoint(80, 80));
  EXPECT_FALSE(button->IsPushed());
  QApplication::processEvents();
  EXPECT_EQ(parent.commands.size(), 2u);
}

TEST_F(ArtButtonTest, HoverLightsAndLeavingReturnsToTheParent) {
  CommandSink parent;
  parent.resize(200, 200);
  parent.setMouseTracking(true);
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  std::unique_ptr<CArtButton> button(NewArtButton(&parent, 4));
  button->show();
  QTest::mouseMove(&parent, QPoint(150, 150));
  QTest::mouseMove(&parent, QPoint(100, 10));  // over the button at (93, 1)
  ASSERT_TRUE(QTest::qWaitFor([&] { return button->GetHighlight(); }, kWaitBoundMs))
      << InVain("the button to light under the pointer");
  EXPECT_TRUE(button->underMouse());
  QTest::mouseMove(&parent, QPoint(150, 150));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !button->GetHighlight(); }, kWaitBoundMs))
      << InVain("the button to go dark once the pointer left");
  EXPECT_TRUE(parent.underMouse());
  // The highlighted face is drawn while lit.
  button->Highlight(true);
  const QImage lit = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(lit, button->GetUpHigh()->ToImage());
}

TEST_F(ArtButtonTest, TooltipTextAndNoArtworkFaces) {
  const vexa::ui::StringEntry strings[] = {{6233, "Rotate this image clockwise 90 degrees"}};
  vexa::ui::RegisterStrings(strings, 1);
  QWidget parent;
  std::unique_ptr<CArtButton> button(NewArtButton(&parent, 6));
  ASSERT_NE(button->TooltipObject(), nullptr);
  EXPECT_EQ(button->Tooltip(), "Rotate this image clockwise 90 degrees");
  EXPECT_EQ(button->TooltipObject()->GetTool(), "Rotate this image clockwise 90 degrees");
  std::unique_ptr<CArtButton> cell(NewArtButton(&parent, 0));
  EXPECT_EQ(cell->TooltipObject(), nullptr);

  PutIntValue(Debug_NoArtwork, 1);
  std::unique_ptr<CArtButton> plain(NewArtButton(&parent, 2));
  PutIntValue(Debug_NoArtwork, 0);
  const QImage face = plain->GetUp()->ToImage();
  EXPECT_EQ(face.size(), QSize(22, 22));
  EXPECT_EQ(face.pixel(10, 10), qRgb(255, 255, 255));
  EXPECT_EQ(face.pixel(0, 0), qRgb(0x80, 0x80, 0x80));
}

}  // namespace
