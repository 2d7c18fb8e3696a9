#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "disclib/recorder/CDR4BASE.h"
#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/Bindings.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "disclib/vcd/tests/EncodeFixtures.h"
#include "platform/base/Path.h"

namespace vexa::vcd {
std::int32_t LibObjectCountForTesting(const char* name);
}

namespace vexa::vcd::testing {
namespace {

TEST(LibObjectTest, NamesAndReferenceCounts) {
  EXPECT_EQ(DLL_LL_GetLibObject("discpak"), nullptr);  // names are case-sensitive
  EXPECT_EQ(DLL_LL_GetLibObject("NOSUCH"), nullptr);
  EXPECT_EQ(DLL_LL_GetLibObject(nullptr), nullptr);
  DLL_LL_ReleaseObject(nullptr);

  auto* t1 = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  ASSERT_NE(t1, nullptr);
  auto* t2 = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  EXPECT_EQ(t1, t2);
  EXPECT_EQ(LibObjectCountForTesting("DISCPAK"), 2);
  DLL_LL_ReleaseObject(t1);
  EXPECT_EQ(LibObjectCountForTesting("DISCPAK"), 1);  // still held
  EXPECT_EQ(t2->version, 105u);
  DLL_LL_ReleaseObject(t2);
  EXPECT_EQ(LibObjectCountForTesting("DISCPAK"), 0);
  DLL_LL_ReleaseObject(t2);  // no longer cached: nothing happens
  EXPECT_EQ(LibObjectCountForTesting("DISCPAK"), 0);

  // A later get builds the table again.
  auto* t3 = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  ASSERT_NE(t3, nullptr);
  EXPECT_EQ(t3->version, 105u);
  EXPECT_EQ(t3->version2, 110u);
  EXPECT_EQ(LibObjectCountForTesting("DISCPAK"), 1);
  DLL_LL_ReleaseObject(t3);
}

TEST(LibObjectTest, TheDiscpakTable) {
  auto* t = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  ASSERT_NE(t, nullptr);
  // 2 version words and 21 entries, laid out as the callers read them.
  static_assert(offsetof(DISCPAK_LibObject, NewVCDClassMPG1VideoEncode) == 8);
  static_assert(sizeof(DISCPAK_LibObject) == 8 + 21 * sizeof(void*));
  const void* const* words = reinterpret_cast<const void* const*>(reinterpret_cast<const char*>(t) + 8);
  for (int i = 0; i < 21; ++i) EXPECT_NE(words[i], nullptr) << "word " << i + 2;

  I_VCDClassMPG1VideoEncode* video = t->NewVCDClassMPG1VideoEncode();
  ASSERT_NE(video, nullptr);
  t->DeleteVCDClassMPG1VideoEncode(video);
  t->DeleteVCDClassMPG1VideoEncode(nullptr);
  I_VCDClass20Menu* menu = t->NewVCDClass20Menu(10);
  ASSERT_NE(menu, nullptr);
  EXPECT_NE(menu->NewPlayList(3), nullptr);
  t->DeleteVCDClass20Menu(menu);  // deletes its lists
  I_VCDClassMPG1L2AudioEncode* audio = t->NewVCDClassMPG1L2AudioEncode();
  ASSERT_NE(audio, nullptr);
  t->DeleteVCDClassMPG1L2AudioEncode(audio);
  EXPECT_EQ(t->VCDCPUScale(), t->VCDCPUScale());
  EXPECT_GE(t->VCDCPUScale(), kVCDMinCPUScale);
  DLL_LL_ReleaseObject(t);
}

// The recorder layer's objects from the registry, over a simulated recorder
// in the scratch folder, and its command log read back.
class RecorderObjectTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_TRUE(base::MakeDirs(dir_ + "/drive"));
    ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + dir_ + "/drive").c_str(), 1);
  }
  void TearDown() override {
    COMS_StopLog();
    COMS_Close();
    ::unsetenv("VEXA_SCSI_TRANSPORT");
    ScratchTest::TearDown();
  }
  // The texts of the log's 80-byte lines, without the time column and the
  // padding.
  std::vector<std::string> LogTexts(const std::string& path) {
    std::string text;
    EXPECT_TRUE(base::ReadFile(path, &text));
    std::vector<std::string> texts;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      if (line.size() != 79) continue;  // the log's own plain lines
      line.erase(0, 10);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      texts.push_back(line);
    }
    return texts;
  }
};

TEST_F(RecorderObjectTest, TheRegistryHandsOutTheRecordersObjects) {
  EXPECT_EQ(DLL_LL_GetLibObject("cdr4coms"), nullptr);
  EXPECT_EQ(DLL_LL_GetLibObject("CDR4Base"), nullptr);

  auto* coms = static_cast<CDR4COMS*>(DLL_LL_GetLibObject("CDR4COMS"));
  ASSERT_NE(coms, nullptr);
  EXPECT_EQ(coms, CDR4COMS_Get());
  EXPECT_EQ(coms->version1, 104u);
  EXPECT_EQ(coms->version2, 104u);
  EXPECT_EQ(coms->COMS_Log, &COMS_Log);
  EXPECT_EQ(coms->COMS_StartLog, &COMS_StartLog);
  // Fetching it opened the transport: the simulated recorder is device 0.
  EXPECT_EQ(coms->COMS_GetDeviceType(0), 5);
  EXPECT_EQ(coms->COMS_GetDeviceType(1), 255);
  char inquiry[29];
  ASSERT_EQ(coms->COMS_LogInquiry(0, inquiry), 1);
  EXPECT_STREQ(inquiry, "VEXASIM CD-RW SIM 52X   1.00");

  auto* base = static_cast<CDR4BASE*>(DLL_LL_GetLibObject("CDR4BASE"));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base, CDR4BASE_Get());
  EXPECT_EQ(base->version1, 107u);
  EXPECT_EQ(base->version2, 130u);
  I_CDRClass* drive = base->CDR4_CreateDrive(0);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(base->CDR4_GetDriveNum(drive), 0);
  EXPECT_EQ(base->CDR4_GetDrivePath(drive), 'D');
  base->CDR4_DeleteDrive(drive);

  // Counted like every object: a second get returns the cached table.
  EXPECT_EQ(DLL_LL_GetLibObject("CDR4COMS"), coms);
  EXPECT_EQ(LibObjectCountForTesting("CDR4COMS"), 2);
  EXPECT_EQ(LibObjectCountForTesting("CDR4BASE"), 1);
  DLL_LL_ReleaseObject(coms);
  DLL_LL_ReleaseObject(coms);
  DLL_LL_ReleaseObject(base);
  EXPECT_EQ(LibObjectCountForTesting("CDR4COMS"), 0);
  EXPECT_EQ(LibObjectCountForTesting("CDR4BASE"), 0);
}

TEST_F(RecorderObjectTest, TheVideoCdClassesLogToTheCommandLog) {
  auto* coms = static_cast<CDR4COMS*>(DLL_LL_GetLibObject("CDR4COMS"));
  auto* t = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  ASSERT_NE(coms, nullptr);
  ASSERT_NE(t, nullptr);
  const std::string log = Path("comslog.txt");
  coms->COMS_StartLog(log.c_str(), 0);

  I_VCDClassISOFormat* iso = t->NewVCDClassISOFormat();
  EXPECT_EQ(iso->AddFile(nullptr, "\\A.TXT", nullptr, nullptr), 0);
  const std::string source = Path("a-file-with-a-name-long-enough-to-be-cut.txt");
  ASSERT_TRUE(base::WriteFileAtomic(source, "text"));
  EXPECT_EQ(iso->AddFile(source.c_str(), "\\A.TXT", nullptr, nullptr), 1);
  t->DeleteVCDClassISOFormat(iso);
  I_VCDClassMPG1VideoEncode* video = t->NewVCDClassMPG1VideoEncode();
  EXPECT_EQ(video->EstimateSectors(), 0);
  t->DeleteVCDClassMPG1VideoEncode(video);
  I_VCDClassMPG1L2AudioEncode* audio = t->NewVCDClassMPG1L2AudioEncode();
  EXPECT_EQ(audio->EstimateSectors(), 0);
  t->DeleteVCDClassMPG1L2AudioEncode(audio);
  I_VCDClass20Menu* menu = t->NewVCDClass20Menu(40000);
  EXPECT_EQ(menu->BuildLOT(nullptr), nullptr);
  t->DeleteVCDClass20Menu(menu);
  coms->COMS_StopLog();

  const std::vector<std::string> texts = LogTexts(log);
  // Texts longer than the line's 69 characters are cut.
  std::string fileLine = (source + " \\A.TXT ").substr(0, 69);
  ASSERT_EQ(fileLine.size(), 69u);
  while (fileLine.back() == ' ') fileLine.pop_back();
  const std::string expected[] = {
      "VCDClassISOFormat::AddFileInternal: failed srcfilename NULL",
      "VCDClassISOFormat::AddFile called",
      fileLine,
      "VCDClassMPG1VideoEncode space estimate 0",
      "VCDClassMPG1L2AudioEncode space estimate 0",
      "VCDClass20Menu::BuildLOT - LOT.VCD would exceed 65536 bytes: more tha",
  };
  std::size_t at = 0;
  for (const std::string& text : texts) {
    if (at < std::size(expected) && text == expected[at]) ++at;
  }
  EXPECT_EQ(at, std::size(expected)) << "missing in order from: " << (at < std::size(expected) ? expected[at] : "");
  std::string whole;
  ASSERT_TRUE(base::ReadFile(log, &whole));
  EXPECT_NE(whole.find("Debug log stopped.\n"), std::string::npos);

  DLL_LL_ReleaseObject(t);
  DLL_LL_ReleaseObject(coms);
}

// A prefix whose lib/vexa holds the chosen modules (links to the real ones,
// or the fake plug-in under a plug-in's name), with the real share/.
class BindingTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    UnbindHelperLibrariesForTesting();
    ASSERT_TRUE(base::MakeDirs(dir_ + "/prefix/lib/vexa"));
    ASSERT_EQ(::symlink((std::string(VEXA_BUILD_DIR) + "/share").c_str(), (dir_ + "/prefix/share").c_str()), 0);
    ::setenv("VEXA_PREFIX", (dir_ + "/prefix").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("VEXA_PREFIX");
    UnbindHelperLibrariesForTesting();
    ScratchTest::TearDown();
  }
  void Link(const std::string& name, const std::string& target = "") {
    const std::string from = std::string(VEXA_BUILD_DIR) + "/lib/vexa/lib" + (target.empty() ? name : target) + ".so";
    ASSERT_EQ(::symlink(from.c_str(), (dir_ + "/prefix/lib/vexa/lib" + name + ".so").c_str()), 0) << from;
  }
  void Unlink(const std::string& name) { ::unlink((dir_ + "/prefix/lib/vexa/lib" + name + ".so").c_str()); }
};

TEST_F(BindingTest, WithoutTheEncoderLibraryEveryWrapperAnswersZero) {
  EXPECT_EQ(VCDBindHelperLibraries(), 0);
  auto* t = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  ASSERT_NE(t, nullptr);  // usable without the libraries
  EXPECT_EQ(t->VCDVidlathe1(nullptr, nullptr, "x", 2, 1), 0);
  StreamProperties p;
  std::memset(&p, 0xAB, sizeof p);
  t->VCDGet_Mpeg_Stream_Prop("x", &p);
  const std::int64_t fileSize = p.fileSize;  // a packed field: copied, not bound
  EXPECT_EQ(fileSize, 0);
  EXPECT_EQ(p.audioValid, 0);
  EXPECT_EQ(t->VCDNewBasicBitmap(10, 10, 0), nullptr);
  t->VCDDeleteBasicBitmap(nullptr);
  std::uint8_t bits[16];
  BITMAPINFOHEADER h{};
  EXPECT_EQ(t->VCDGetPicture("p.jpg", 10, 10, 0, 0, nullptr, bits, sizeof bits, &h, "", 8, 0, 0), 0);
  // Without the libraries both encoders end at once with state 7.
  I_VCDClassMPG1L2AudioEncode* audio = t->NewVCDClassMPG1L2AudioEncode();
  EXPECT_EQ(audio->AddAudioFile("music.mp3"), 0);
  audio->StartConversion((dir_ + "/a.mp2").c_str());
  std::int32_t percent, remaining, done = 0;
  EXPECT_EQ(audio->GetProgress(&percent, &remaining, &done), 1);
  EXPECT_EQ(audio->GetResult(nullptr), base::kWorkNotBound);
  t->DeleteVCDClassMPG1L2AudioEncode(audio);
  I_VCDClassMPG1VideoEncode* video = t->NewVCDClassMPG1VideoEncode();
  video->StartConversion((dir_ + "/v.mpg").c_str());
  EXPECT_EQ(video->GetProgress(&percent, &remaining, &done), 1);
  EXPECT_EQ(video->GetResult(nullptr), base::kWorkNotBound);
  t->DeleteVCDClassMPG1VideoEncode(video);
  DLL_LL_ReleaseObject(t);
}

TEST_F(BindingTest, APartialBindingBindsNothing) {
  // vidlathe alone: the Layer II encoder is missing, so no vidlathe entry
  // is bound either (the table is bound or unbound, never half).
  Link("vidlathe");
  EXPECT_EQ(VCDBindHelperLibraries(), 0);
  StreamProperties p{};
  p.audioValid = 7;
  VCDGet_MP2_Prop("x.mp2", &p);
  EXPECT_EQ(p.audioValid, 0);
  EXPECT_EQ(VCDmp2_init_encoder((dir_ + "/x.mp2").c_str(), 10), nullptr);
  // Once the encoder module is there a re-bind completes.
  Link("toolame");
  EXPECT_EQ(VCDBindHelperLibraries(), 1);
  Mp2Encoder* e = VCDmp2_init_encoder((dir_ + "/x.mp2").c_str(), 10);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(VCDmp2_close_encoder(e), 1);
}

TEST_F(BindingTest, OptionalPlugInsMissingOrFake) {
  Link("vidlathe");
  Link("toolame");
  ASSERT_EQ(VCDBindHelperLibraries(), 1);
  EXPECT_FALSE(AudioSourceBound());
  EXPECT_EQ(VCDNewBasicBitmap(10, 10, 0), nullptr);
  EXPECT_EQ(VCDGetNewARAS("song.mp3"), nullptr);

  // The fake plug-in under both names.
  UnbindHelperLibrariesForTesting();
  Link("discpaka", "vcdtest_fakeplugin");
  Link("discpakb", "vcdtest_fakeplugin");
  ASSERT_EQ(VCDBindHelperLibraries(), 1);
  EXPECT_TRUE(AudioSourceBound());
  // VCDGetPicture copies the bits and the header, and checks the room.
  std::vector<std::uint8_t> bits(352 * 240 * 4, 0);
  BITMAPINFOHEADER h{};
  EXPECT_EQ(VCDGetPicture("photo.jpg", 352, 240, 10, 10, "caption", bits.data(), bits.size(), &h, "Arial", 12, 0, 0),
            1);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 352);
  EXPECT_EQ(h.biSizeImage, 253440u);
  EXPECT_EQ(bits[0], 0x5A);
  EXPECT_EQ(bits[253439], 0x5A);
  EXPECT_EQ(bits[253440], 0);
  // A buffer too small for the picture is left alone.
  std::vector<std::uint8_t> small(1000, 0);
  EXPECT_EQ(VCDGetPicture("photo.jpg", 352, 240, 0, 0, nullptr, small.data(), small.size(), &h, "", 8, 0, 1), 0);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(VCDGetPicture("missing.jpg", 352, 240, 0, 0, nullptr, bits.data(), bits.size(), &h, "", 8, 0, 1), 0);

  // A caller's own bitmap factory (words 21 and 22) is replaced by the
  // plug-in's at the next bind; a caller's own audio factory (word 12) is kept.
  VCDSetNewBasicBitmap(nullptr);
  EXPECT_EQ(VCDNewBasicBitmap(4, 4, 0), nullptr);
  auto ownNew = [](const char*) -> ARAS* { return nullptr; };
  VCDSetARASFactory(ownNew, nullptr);
  UnbindHelperLibrariesForTesting();
  VCDSetARASFactory(ownNew, nullptr);
  ASSERT_EQ(VCDBindHelperLibraries(), 1);
  I_BasicBitmap* b = VCDNewBasicBitmap(4, 4, 0);
  EXPECT_NE(b, nullptr);
  VCDDeleteBasicBitmap(b);
  EXPECT_TRUE(AudioSourceBound());
}

TEST_F(BindingTest, TheRealModules) {
  for (const char* m : {"vidlathe", "toolame", "discpaka", "discpakb", "VEXAImg", "vexa_imaging"}) Link(m);
  ASSERT_EQ(VCDBindHelperLibraries(), 1);
  EXPECT_TRUE(AudioSourceBound());
  // The real bitmap plug-in draws a (missing) picture as a failure and a
  // real one into the caller's buffer.
  std::vector<std::uint8_t> bits(352 * 240 * 4, 0);
  BITMAPINFOHEADER h{};
  EXPECT_EQ(VCDGetPicture((dir_ + "/missing.jpg").c_str(), 352, 240, 0, 0, nullptr, bits.data(), bits.size(), &h,
                          "", 8, 0, 0),
            0);
  I_BasicBitmap* b = VCDNewBasicBitmap(20, 10, 0xFF);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(b->WriteBMP((dir_ + "/red.bmp").c_str()));
  VCDDeleteBasicBitmap(b);
  EXPECT_EQ(VCDGetPicture((dir_ + "/red.bmp").c_str(), 352, 240, 0, 0, "Hello", bits.data(), bits.size(), &h,
                          "Arial", 12, 0, 0),
            1);
  EXPECT_EQ(h.biWidth, 352);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biSizeImage, 253440u);
}

}  // namespace
}  // namespace vexa::vcd::testing
