// The library as its callers see it: loaded by name, it exports its entry
// points and nothing else, the sample exports among them.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "encoder/Vidlathe.h"
#include "encoder/VidlatheStreams.h"
#include "encoder/tests/TestSupport.h"
#include "platform/base/Module.h"

namespace vidlathe::testing {
namespace {

std::string LibraryPath() { return std::string(VEXA_BUILD_DIR) + "/lib/vexa/libvidlathe.so"; }

TEST(Library, ExportsItsEntryPointsAndNothingElse) {
  VIDLATHE_NEED_TOOL("nm");
  const std::set<std::string> expected = {
      "Concatenate_VCD_Stills", "Concatenate_VCD_motion", "Get_MP2_Prop", "Get_Mpeg_Stream_Prop",
      "MulVidlathe_MP2", "Multi_I_Enc_Still", "Multi_I_Enc_Still_MP2", "MultipleVidlathe2",
      "Motion_VCD_Component", "Vidlathe1", "Vidlathe2", "Vidlathe_GetLastFailure", "fnBrellmp1a",
      "nBrellmp1a",
      // CBrellmp1a's constructors and assignment.
      "_ZN10CBrellmp1aC1Ev", "_ZN10CBrellmp1aC2Ev", "_ZN10CBrellmp1aaSERKS_"};
  int rc = -1;
  std::istringstream in(Shell("nm -D --defined-only '" + LibraryPath() + "'", &rc));
  ASSERT_EQ(0, rc);
  std::set<std::string> exported;
  std::string address, type, name;
  while (in >> address >> type >> name) {
    // AddressSanitizer adds a symbol of its own beside each global.
    if (name.rfind("__odr_asan", 0) == 0) continue;
    exported.insert(name);
  }
  EXPECT_EQ(expected, exported);
}

TEST(Library, SampleExportsByName) {
  vexa::base::Module module = vexa::base::Module::Load("vidlathe");
  ASSERT_TRUE(module) << module.Error();
  auto fn = module.Function<int (*)()>("fnBrellmp1a");
  ASSERT_NE(nullptr, fn);
  EXPECT_EQ(42, fn());
  const int* n = reinterpret_cast<const int*>(module.Symbol("nBrellmp1a"));
  ASSERT_NE(nullptr, n);
  EXPECT_EQ(0, *n);
  // An empty class of one byte whose assignment leaves both objects as they
  // are.
  CBrellmp1a a, b;
  a = b;
  EXPECT_EQ(1u, sizeof(CBrellmp1a));
}

// A failure leaves its reason for the calling thread only; a success clears
// it.
TEST(Library, LastFailureIsPerThreadAndClearedBySuccess) {
  vexa::base::Module module = vexa::base::Module::Load("vidlathe");
  ASSERT_TRUE(module) << module.Error();
  auto stills = module.Function<decltype(&Multi_I_Enc_Still)>("Multi_I_Enc_Still");
  auto last = module.Function<decltype(&Vidlathe_GetLastFailure)>("Vidlathe_GetLastFailure");
  auto props = module.Function<decltype(&Get_MP2_Prop)>("Get_MP2_Prop");
  ASSERT_TRUE(stills && last && props);
  TempDir dir;
  EXPECT_EQ(0, stills(1, nullptr, dir.File("x.mpg").c_str(), 8, 13));
  EXPECT_EQ(std::string("mode 13 is not one of 5..12"), last());
  std::string other = "unset";
  std::thread([&] { other = last(); }).join();
  EXPECT_EQ("", other);
  StreamProperties p;
  props(dir.File("missing.mp2").c_str(), &p);
  EXPECT_EQ(dir.File("missing.mp2") + ": cannot open: No such file or directory", last());
  const std::string mp2 = dir.File("a.mp2");
  VIDLATHE_NEED_TOOL("ffmpeg");
  Shell("ffmpeg -v error -y -f lavfi -i sine=duration=0.2:sample_rate=44100 -c:a mp2 '" + mp2 + "'");
  props(mp2.c_str(), &p);
  EXPECT_EQ(1, p.audioValid);
  EXPECT_EQ("", std::string(last()));
}

}  // namespace
}  // namespace vidlathe::testing
