// vcd-lists: a description of a 13-picture menu becomes LOT/PSD bytes laid
// out as the lists say; bad descriptions are refused with their line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/base/Path.h"
#include "tools/vcd-lists/ListDescription.h"
#include "tests/support/Checkers.h"

namespace {

using vexa::testsupport::Shell;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::uint16_t Be16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) << 8 | static_cast<std::uint8_t>(s[at + 1]));
}

TEST(VcdListsTest, AThirteenPictureMenu) {
  const std::string dir = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "vexa-vcdlists-");
  // A selection list (1) chooses one of 13 play lists (2..14), each showing
  // one still segment (play item 1000 + n) and returning to the menu; the
  // end list (15) follows the last.
  std::ostringstream d;
  d << "# 13 pictures\nmax 15\nsel 1 base=1 item=1000 wait=5 timeout=2 default=2 targets=";
  for (int i = 2; i <= 14; ++i) d << i << (i < 14 ? "," : "\n");
  for (int i = 2; i <= 14; ++i) {
    d << "play " << i << " items=" << 1000 + i - 1 << " return=1 next=" << (i < 14 ? i + 1 : 15)
      << " prev=" << (i > 2 ? i - 1 : 1) << " wait=10\n";
  }
  d << "end 15\n";
  {
    std::ofstream(dir + "/menu.txt") << d.str();
  }
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/vcd-lists";
  std::string out;
  ASSERT_EQ(Shell("'" + tool + "' '" + dir + "/menu.txt' '" + dir + "/LOT.VCD' '" + dir + "/PSD.VCD'", &out), 0)
      << out;
  const std::string lot = Read(dir + "/LOT.VCD"), psd = Read(dir + "/PSD.VCD");
  ASSERT_EQ(lot.size(), 65536u);
  // Selection list: 20 + 2 x 13 = 46 -> 48 bytes; play lists 16 bytes each.
  ASSERT_EQ(psd.size(), 48u + 13 * 16 + 8);
  EXPECT_EQ(Be16(lot, 0), 0);
  EXPECT_EQ(Be16(lot, 2), 0);
  for (int i = 2; i <= 14; ++i) EXPECT_EQ(Be16(lot, 2 * i), (48 + (i - 2) * 16) / 8) << i;
  EXPECT_EQ(Be16(lot, 30), (48 + 13 * 16) / 8);
  EXPECT_EQ(static_cast<std::uint8_t>(lot[32]), 0xFF);  // padding
  // Every link in the PSD points at an existing list's offset or is disabled.
  EXPECT_EQ(static_cast<std::uint8_t>(psd[0]), 0x18);
  EXPECT_EQ(static_cast<std::uint8_t>(psd[2]), 13);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(Be16(psd, 20 + 2 * i), (48 + i * 16) / 8);
  EXPECT_EQ(Be16(psd, 6), 0xFFFF);  // previous: never set
  EXPECT_EQ(Be16(psd, 12), 48 / 8);  // default: list 2
  const std::size_t last = 48 + 12 * 16;
  EXPECT_EQ(static_cast<std::uint8_t>(psd[last]), 0x10);
  EXPECT_EQ(Be16(psd, last + 6), (48 + 13 * 16) / 8);  // next: the end list
  EXPECT_EQ(Be16(psd, last + 8), 0);                   // return: the menu at 0
  EXPECT_EQ(Be16(psd, last + 14), 1013);

  // Refusals name the line.
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {{"play 1\n", "line 1: the first line must be 'max M'"},
                      {"max 5\nplay 6\n", "line 2: list 6 cannot be made"},
                      {"max 5\nplay 1 items=3000\n", "line 2: bad play item '3000'"},
                      {"max 5\nsel 1 count=99 base=1\n", "line 2: selections"},
                      {"max 5\nloop 1\n", "line 2: unknown list kind 'loop'"}};
  for (const Row& r : rows) {
    {
      std::ofstream(dir + "/bad.txt") << r.text;
    }
    EXPECT_EQ(Shell("'" + tool + "' '" + dir + "/bad.txt' '" + dir + "/L' '" + dir + "/P'", &out), 1) << r.text;
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
  }
  // A list written over the description is refused; the description stays.
  const std::string description = Read(dir + "/menu.txt");
  for (const std::string& outputs : {"'" + dir + "/menu.txt' '" + dir + "/P'", "'" + dir + "/L' '" + dir + "/../" +
                                                                                vexa::base::BaseName(dir) + "/menu.txt'"}) {
    EXPECT_EQ(Shell("'" + tool + "' '" + dir + "/menu.txt' " + outputs, &out), 2) << outputs;
    EXPECT_NE(out.find("is the description"), std::string::npos) << out;
    EXPECT_EQ(Read(dir + "/menu.txt"), description);
  }
  vexa::base::RemoveAll(dir);
}

}  // namespace
