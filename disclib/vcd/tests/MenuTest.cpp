#include <gtest/gtest.h>

#include <vector>

#include "disclib/vcd/Menu20.h"

namespace vexa::vcd {
namespace {

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

TEST(MenuTest, SizesAndSlots) {
  VCDClass20Menu m(2500);
  std::int32_t size = 0;
  ASSERT_NE(m.BuildLOT(&size), nullptr);
  EXPECT_EQ(size, 5002);
  EXPECT_EQ(m.NewPlayList(0), nullptr);
  EXPECT_EQ(m.NewPlayList(2501), nullptr);
  I_VCD20PlayList* p = m.NewPlayList(50);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(m.NewPlayList(50), nullptr);
  EXPECT_EQ(m.NewSelList(50), nullptr);
  ASSERT_EQ(p->SetItemCount(1), 1);
  EXPECT_EQ(p->GetSize(), 16);
  I_VCD20SelList* s = m.NewSelList(51);
  ASSERT_EQ(s->SetSelections(9, 1), 1);
  EXPECT_EQ(s->GetSize(), 40);
  EXPECT_EQ(m.NewEndList(52)->GetSize(), 8);

  // The setters' limits.
  EXPECT_EQ(p->SetItemCount(101), 0);
  EXPECT_EQ(p->SetItem(0, 2980), 0);
  EXPECT_EQ(p->SetItem(2, 1000), 0);  // beyond the item count
  EXPECT_EQ(p->SetItem(0, 2979), 1);
  EXPECT_EQ(p->SetLink(3, 1), 0);
  EXPECT_EQ(s->SetSelections(50, 50), 0);
  EXPECT_EQ(s->SetSelections(5, 0), 0);
  EXPECT_EQ(s->SetSelection(11, 52), 0);  // number 11 with base 1: index 10 > 9
  EXPECT_EQ(s->SetSelection(1, 52), 1);
  EXPECT_EQ(s->SetLink(5, 1), 0);
}

TEST(MenuTest, DescriptorsAndLinks) {
  VCDClass20Menu m(20);
  I_VCD20PlayList* play = m.NewPlayList(1);
  I_VCD20SelList* sel = m.NewSelList(2);
  I_VCD20EndList* end = m.NewEndList(20);
  ASSERT_TRUE(play && sel && end);
  play->SetItemCount(2);
  play->SetItem(0, 1000);
  play->SetItem(1, 2);
  play->SetLink(0, 20);    // previous: the end list
  play->SetLink(1, 2);     // next: the selection list
  play->SetLink(2, 7);     // return: a list that does not exist
  play->SetPlayingTime(0x1234);
  play->SetWaitTimes(5, 0xFF);
  sel->SetSelections(3, 1);
  sel->SetSelection(1, 1);
  sel->SetSelection(3, 20);  // selection 2 stays unset
  sel->SetLink(2, 1);
  sel->SetLink(3, 3000);     // beyond the table
  sel->SetLink(4, 2);
  sel->SetItem(1001);
  sel->SetWaitTime(10);
  sel->SetLoop(0x81);

  std::int32_t psdSize = 0, lotSize = 0;
  const std::uint8_t* psd = m.BuildPSD(&psdSize);
  ASSERT_NE(psd, nullptr);
  // Play list 1 at 0 (14 + 4 -> 24 bytes), selection list 2 at 24 (20 + 6 ->
  // 32 bytes), end list 20 at 56.
  ASSERT_EQ(psdSize, 24 + 32 + 8);
  const std::vector<std::uint8_t> b(psd, psd + psdSize);
  EXPECT_EQ(b[0], 0x10);
  EXPECT_EQ(b[1], 2);
  EXPECT_EQ(Be16(&b[2]), 1);
  EXPECT_EQ(Be16(&b[4]), 56 / 8);
  EXPECT_EQ(Be16(&b[6]), 24 / 8);
  EXPECT_EQ(Be16(&b[8]), 0xFFFF);  // disabled, not the first descriptor
  EXPECT_EQ(Be16(&b[10]), 0x1234);
  EXPECT_EQ(b[12], 5);
  EXPECT_EQ(b[13], 0xFF);
  EXPECT_EQ(Be16(&b[14]), 1000);
  EXPECT_EQ(Be16(&b[16]), 2);
  for (int i = 18; i < 24; ++i) EXPECT_EQ(b[i], 0) << i;

  const std::uint8_t* s = &b[24];
  EXPECT_EQ(s[0], 0x18);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[2], 3);
  EXPECT_EQ(s[3], 1);
  EXPECT_EQ(Be16(s + 4), 2);
  EXPECT_EQ(Be16(s + 6), 0xFFFF);  // previous never set
  EXPECT_EQ(Be16(s + 8), 0xFFFF);
  EXPECT_EQ(Be16(s + 10), 0);      // return: list 1 at position 0
  EXPECT_EQ(Be16(s + 12), 0xFFFF); // default: 3000 > 20
  EXPECT_EQ(Be16(s + 14), 24 / 8);
  EXPECT_EQ(s[16], 10);
  EXPECT_EQ(s[17], 0x81);
  EXPECT_EQ(Be16(s + 18), 1001);
  EXPECT_EQ(Be16(s + 20), 0);
  EXPECT_EQ(Be16(s + 22), 0xFFFF);  // selection 2 never set: disabled
  EXPECT_EQ(Be16(s + 24), 56 / 8);
  EXPECT_EQ(b[56], 0x1F);
  for (int i = 57; i < 64; ++i) EXPECT_EQ(b[i], 0);

  const std::uint8_t* lot = m.BuildLOT(&lotSize);
  ASSERT_NE(lot, nullptr);
  ASSERT_EQ(lotSize, 42);
  EXPECT_EQ(Be16(lot), 0);
  EXPECT_EQ(Be16(lot + 2), 0);
  EXPECT_EQ(Be16(lot + 4), 3);
  for (int id = 3; id < 20; ++id) EXPECT_EQ(Be16(lot + 2 * id), 0xFFFF) << id;
  EXPECT_EQ(Be16(lot + 40), 7);
}

TEST(MenuTest, BlocksThatWouldNotFitAreRefused) {
  // More than 32767 lists: the LOT would pass 65536 bytes.
  VCDClass20Menu big(40000);
  std::int32_t size = -1;
  EXPECT_EQ(big.BuildLOT(&size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_NE(std::string(big.GetError()).find("65536"), std::string::npos);
  VCDClass20Menu ok(32767);
  EXPECT_NE(ok.BuildLOT(&size), nullptr);
  EXPECT_EQ(size, 65536);

  // PSD.VCD must end before sector 300: 116 sectors from 184.
  VCDClass20Menu m(3000);
  int id = 1;
  std::int32_t total = 0;
  while (total + 216 <= kMaxPsdBytes) {
    I_VCD20SelList* s = m.NewSelList(static_cast<std::uint16_t>(id++));
    ASSERT_EQ(s->SetSelections(98, 1), 1);  // 216 bytes
    total += 216;
  }
  ASSERT_NE(m.BuildPSD(&size), nullptr);
  EXPECT_EQ(size, total);
  m.NewSelList(static_cast<std::uint16_t>(id))->SetSelections(98, 1);
  EXPECT_EQ(m.BuildPSD(&size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_NE(std::string(m.GetError()).find("sector 300"), std::string::npos);
  EXPECT_EQ(m.BuildLOT(&size), nullptr);
}

}  // namespace
}  // namespace vexa::vcd
