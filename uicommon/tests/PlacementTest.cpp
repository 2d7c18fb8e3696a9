// Placement: text forms, quarter turns and ConvertToPortrait.
#include "uicommon/common/Placement.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

namespace {

TEST(PlacementTest, TextForms) {
  EXPECT_STREQ(EUnits2String(UNITS_MM), "UNITS_MM");
  EXPECT_STREQ(EUnits2String(static_cast<EUnits>(9)), "UNITS_INCHES");
  EXPECT_EQ(String2EUnits("UNITS_CM"), UNITS_CM);
  EXPECT_EQ(String2EUnits("UNITS_PIXELS"), UNITS_PIXELS);
  EXPECT_EQ(String2EUnits("units_mm"), UNITS_INCHES);
  EXPECT_EQ(UserString2EUnits("UNITS_MM"), UNITS_INCHES);
  EXPECT_STREQ(TRotation2String(PLUS_270), "PLUS_270");
  EXPECT_STREQ(TRotation2String(static_cast<TRotation>(7)), "ZERO");
  EXPECT_EQ(String2TRotation("PLUS_90"), PLUS_90);
  EXPECT_EQ(String2TRotation("plus_90"), ZERO);
}

TEST(PlacementTest, QuarterTurnTable) {
  const struct {
    int in;
    TRotation plus90, minus90, plus180;
  } rows[] = {
      {ZERO, PLUS_90, PLUS_270, PLUS_180},     {PLUS_90, PLUS_180, ZERO, PLUS_270},
      {PLUS_180, PLUS_270, PLUS_90, ZERO},     {PLUS_270, ZERO, PLUS_180, PLUS_90},
      {4, ZERO, ZERO, ZERO},                   {-1, ZERO, ZERO, ZERO},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.in);
    const auto in = static_cast<TRotation>(r.in);
    EXPECT_EQ(RotatePlus90(in), r.plus90);
    EXPECT_EQ(RotateMinus90(in), r.minus90);
    EXPECT_EQ(RotatePlus180(in), r.plus180);
  }
}

TEST(PlacementTest, FourConversionsToPortraitGiveTheStartBack) {
  CText caption;
  caption.SetText("Beach");
  CPlacement p(5, 10, 20, 300, 200, 1.0, 2.0, 3.0, 4.0, 77, ZERO, TType(3), &caption);
  const CPlacement start = p;
  // The area is 800 x 600 before the first turn; the extents alternate.
  p.ConvertToPortrait(600);
  EXPECT_EQ(p.m_left, 600 - 20 - 200);
  EXPECT_EQ(p.m_top, 10);
  EXPECT_EQ(p.m_width, 200);
  EXPECT_EQ(p.m_height, 300);
  EXPECT_EQ(p.m_edge[0], 4.0);
  EXPECT_EQ(p.m_edge[1], 3.0);
  EXPECT_EQ(p.m_edge[2], 1.0);
  EXPECT_EQ(p.m_edge[3], 2.0);
  EXPECT_EQ(p.m_rotation, PLUS_90);
  p.ConvertToPortrait(800);
  p.ConvertToPortrait(600);
  p.ConvertToPortrait(800);
  EXPECT_EQ(p.m_left, start.m_left);
  EXPECT_EQ(p.m_top, start.m_top);
  EXPECT_EQ(p.m_width, start.m_width);
  EXPECT_EQ(p.m_height, start.m_height);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p.m_edge[i], start.m_edge[i]);
  EXPECT_EQ(p.m_rotation, ZERO);
  EXPECT_EQ(p.m_id, 5);
  EXPECT_EQ(p.m_extra, 77);
  EXPECT_EQ(p.m_caption.m_text, "Beach");

  // A null caption gives the defaults.
  CPlacement bare(1, 0, 0, 1, 1, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
  EXPECT_EQ(bare.m_caption.m_text, "");
  EXPECT_EQ(bare.m_caption.m_face, "Arial");
  EXPECT_EQ(bare.m_caption.m_points, 20.0);
  EXPECT_EQ(bare.m_caption.m_style, 2048);
}

}  // namespace
