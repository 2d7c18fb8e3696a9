// The view table, art views, user views and tooltips.
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>

#include "uicommon/common/Settings.h"
#include "uicommon/art/Views.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

class ViewsTest : public UiTest {};

TEST_F(ViewsTest, TableRows) {
  const CViewDescriptor six = ViewDescriptor(6);
  EXPECT_EQ(six.m_artwork, "Up");
  EXPECT_EQ(six.ArtRect(), QRect(111, 86, 12, 58));
  EXPECT_EQ(six.m_offsetX, 0);
  EXPECT_EQ(six.m_offsetY, 29);
  const CViewDescriptor five = ViewDescriptor(5);
  EXPECT_EQ(five.m_artwork, "Backgrnd");
  EXPECT_EQ(five.ArtRect(), QRect(233, 57, 116, 142));
  EXPECT_EQ(ViewDescriptor(84).ArtRect(), QRect(512, 522, 98, 23));
  EXPECT_EQ(ViewDescriptor(0).m_artwork, "HintGallery");
  EXPECT_EQ(ViewDescriptor(85).m_artwork, "");  // no such view

  CViewTable copy;
  CViewFactory other(copy);
  EXPECT_EQ(other.Descriptor(79).ArtRect(), QRect(249, 1, 138, 128));
  QWidget parent;
  EXPECT_EQ(copy.NewView(&parent, 85), nullptr);
  std::unique_ptr<CArtView> view(copy.NewView(&parent, 26));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->geometry(), QRect(4, 2, 112, 26));
  EXPECT_EQ(view->property("controlId").toInt(), CArtView::kControlId);
}

TEST_F(ViewsTest, ArtViewsTileTheirCut) {
  QWidget parent;
  parent.resize(300, 300);
  // View 5: the gallery's background tile.
  CArtView view(&parent, ViewDescriptor(5));
  ASSERT_NE(view.Artwork(), nullptr);
  view.resize(232, 142);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage tile = view.Artwork()->ToImage();
  EXPECT_EQ(shot.copy(0, 0, 116, 142), tile);
  EXPECT_EQ(shot.copy(116, 0, 116, 142), tile);
  // A view of a sheet the library does not have draws nothing and survives.
  CArtView missing(&parent, ViewDescriptor(2));
  EXPECT_EQ(missing.Artwork(), nullptr);
  missing.grab();
}

TEST_F(ViewsTest, ConfigureSizesTheClientAreaAndStops) {
  QWidget w;
  w.resize(50, 40);
  CViewDescriptor d = ViewDescriptor(6);  // 12 x 58
  CArtView::Configure(&w, d, false);
  EXPECT_EQ(w.size(), QSize(12, 58));
  CArtView::Configure(&w, d, true);  // already there
  EXPECT_EQ(w.size(), QSize(12, 58));
  // A window that cannot take the size: the sizing ends all the same.
  w.setMinimumSize(30, 70);
  CArtView::Configure(&w, d, true);
  EXPECT_EQ(w.size(), QSize(30, 70));
}

TEST_F(ViewsTest, UserViewTurnsItsArtwork) {
  QWidget parent;
  CUserView marker(&parent, QRect(5, 6, 12, 58), 6);
  EXPECT_EQ(marker.geometry(), QRect(5, 6, 12, 58));
  EXPECT_EQ(marker.ControlId(), 6);
  ASSERT_NE(marker.Artwork(), nullptr);
  const QImage before = marker.Artwork()->ToImage();
  marker.rotate90();
  const QImage after = marker.Artwork()->ToImage();
  EXPECT_EQ(after.size(), QSize(58, 12));
  EXPECT_EQ(after.pixel(57 - 10, 3), before.pixel(3, 10));
}

TEST_F(ViewsTest, TooltipsFollowTheSettingAndTheirTools) {
  QWidget owner;
  owner.resize(100, 100);
  CTooltip before;
  EXPECT_EQ(before.GetTool(), "");  // no owner: nothing
  before.AddTool("ignored");
  EXPECT_EQ(before.GetTool(), "");

  CTooltip tip;
  ASSERT_TRUE(tip.Init(&owner, 1));
  tip.AddTool("");  // an empty text adds no tool
  EXPECT_EQ(tip.TextAt(QPoint(50, 50)), "");
  tip.AddTool("whole window");
  tip.AddTool("corner", QRect(0, 0, 10, 10), 5);
  EXPECT_EQ(tip.TextAt(QPoint(5, 5)), "corner");
  EXPECT_EQ(tip.TextAt(QPoint(50, 50)), "whole window");
  tip.ChangeTool("changed", 5);
  EXPECT_EQ(tip.GetTool(5), "changed");
  tip.ChangeTool("new whole");
  EXPECT_EQ(tip.GetTool(), "new whole");

  // "PropertiesChanged" after the setting went to 0 switches every live
  // tooltip off, and back on with 1.
  CTooltip second;
  second.Init(&owner, 1);
  PutIntValue(Properties_ToolTips, 0);
  Broadcast("PropertiesChanged", nullptr);
  EXPECT_FALSE(tip.IsActive());
  EXPECT_FALSE(second.IsActive());
  EXPECT_EQ(tip.TextAt(QPoint(5, 5)), "");
  PutIntValue(Properties_ToolTips, 1);
  Broadcast("PropertiesChanged", nullptr);
  EXPECT_TRUE(tip.IsActive());

  // A tooltip event on the owner is answered by the tool under the point.
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), owner.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&owner, &help);
  EXPECT_TRUE(help.isAccepted());
}

}  // namespace
