// The engine object: construction, the last result, the work directory and
// the shared routines.
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "engine/tests/EngineFixture.h"

namespace vexa::engine::test {
namespace {

std::string Cwd() {
  char buf[PATH_MAX];
  return ::getcwd(buf, sizeof buf) ? buf : "";
}

TEST_F(EngineTest, ConstructionWithoutTheDiscLibraryFails) {
  InstallEnvironment(false);
  EXPECT_EQ(Create(), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "VEXAVCDEngine::FinalConstruct - Failed to load Brell libraries");
}

TEST_F(EngineTest, ConstructionRecordsItsSuccessAndStartsTheCommandLog) {
  ASSERT_EQ(Create(), S_OK);
  EXPECT_EQ(LastCode(), VEXAEngineResultSuccess);
  EXPECT_EQ(LastMessage(), "S_OK");
  EXPECT_EQ(LastMethod(), "CVEXAVCDEngine::FinalConstruct");
  VEXAEngineState state{};
  ASSERT_EQ(engine_->get_EngineState(&state), S_OK);
  EXPECT_EQ(state, VEXAEngineSpecifySources);
  // The command log lives in the data folder, never at the root.
  EXPECT_TRUE(fake_->logging);
  EXPECT_FALSE(fake_->logAppend);
  EXPECT_EQ(fake_->logPath, dir_ + "/data/vexa/comslog.txt");
  engine_.Reset();
  EXPECT_FALSE(fake_->logging);
}

TEST_F(EngineTest, SpecVersionAndLastResultOfEachCall) {
  ASSERT_EQ(Create(), S_OK);
  com::Bstr version;
  ASSERT_EQ(engine_->GetSpecVersion(version.Out()), S_OK);
  EXPECT_EQ(version.Utf8(), "1.6");
  EXPECT_EQ(LastMethod(), "IVEXAEngine::GetSpecVersion");

  // Every view is the same object.
  com::ComPtr<IVEXAPremaster> premaster;
  com::ComPtr<IVEXABurner> burner;
  com::ComPtr<IVEXADriveMgr> manager;
  ASSERT_EQ(engine_->get_Premaster(premaster.Put()), S_OK);
  ASSERT_EQ(engine_->get_Burner(burner.Put()), S_OK);
  ASSERT_EQ(engine_->get_DriveMgr(manager.Put()), S_OK);
  EXPECT_EQ(LastMethod(), "IVEXAEngine::get_DriveMgr");
  com::ComPtr<IUnknown> a, b;
  premaster->QueryInterface(com::IidOf<IUnknown>(), a.PutVoid());
  manager->QueryInterface(com::IidOf<IUnknown>(), b.PutVoid());
  EXPECT_EQ(a.Get(), b.Get());
  com::ComPtr<IVEXAMediaFormat> media;
  ASSERT_EQ(burner->QueryInterface(com::IidOf<IVEXAMediaFormat>(), media.PutVoid()), S_OK);
  VEXAMediaFormat format{};
  ASSERT_EQ(media->GetMediaFormat(&format), S_OK);
  EXPECT_EQ(format, VEXAMediaVCD);

  com::ComPtr<ISupportErrorInfo> support = As<ISupportErrorInfo>();
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(com::IidOf<IVEXAEngine>()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(com::IidOf<IVEXADrive>()), S_FALSE);
}

TEST_F(EngineTest, SetTempDirectoryMakesAFreshRootAndLeavesTheWorkingDirectory) {
  ASSERT_EQ(Create(), S_OK);
  const std::string cwd = Cwd();
  for (const std::string& given : {dir_, dir_ + "/", dir_ + "/./"}) {
    ASSERT_EQ(engine_->SetTempDirectory(B(given).Get()), S_OK) << given;
    EXPECT_EQ(Cwd(), cwd);
    const std::string root = object_->TempRoot();
    EXPECT_EQ(std::filesystem::path(root).parent_path(), std::filesystem::path(dir_)) << root;
    EXPECT_EQ(std::filesystem::path(root).filename().string().substr(0, 3), "zzz");
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(base::DirExists(EngineTestAccess::WorkFolder(object_, i))) << i;
    EXPECT_TRUE(base::DirExists(root + "/vexaod/original"));
    EXPECT_EQ(LastMethod(), "IVEXAEngine::SetTempDirectory");
  }
  // A folder that is not there: code 200, nothing changed.
  const std::string before = object_->TempRoot();
  EXPECT_EQ(engine_->SetTempDirectory(B(dir_ + "/missing").Get()), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultTemporaryDirFail);
  EXPECT_EQ(LastMessage(), "IVEXAEngine::SetTempDirectory - Can not change to temporary directory");
  EXPECT_EQ(ErrorDescription(), "IVEXAEngine::SetTempDirectory - Can not change to temporary directory");
  EXPECT_EQ(object_->TempRoot(), before);
  EXPECT_EQ(Cwd(), cwd);

  // Every work directory goes with the engine.
  engine_.Reset();
  std::size_t left = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) left += e.path().filename().string().rfind("zzz", 0) == 0;
  EXPECT_EQ(left, 0u);
}

TEST_F(EngineTest, SharedRoutines) {
  ASSERT_EQ(Create(), S_OK);
  std::string guid;
  ASSERT_EQ(object_->CreateStringGUID(&guid), S_OK);
  ASSERT_EQ(guid.size(), 36u);
  for (std::size_t i = 0; i < guid.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(guid[i], '-');
    } else {
      EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(guid[i])) && !std::isupper(static_cast<unsigned char>(guid[i])));
    }
  }
}

TEST_F(EngineTest, SessionIdentifierNamesTheOriginalTree) {
  ASSERT_EQ(Create(), S_OK);
  const std::string id = object_->SessionId();
  const base::CalendarTime t = clock_.LocalNow();
  char expected[48];
  std::snprintf(expected, sizeof expected, "%02d%02d%02d_A", t.year - 2000, t.month, t.day);
  EXPECT_EQ(id, expected);
}

TEST_F(EngineTest, MethodsNeedingTheBuilderFailWithoutTouchingTheLastResult) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(engine_->SetTempDirectory(B(dir_).Get()), S_OK);
  EngineTestAccess::DropImageBuilder(object_);
  auto tracker = As<IVEXABurnProcessTracker>();
  LONG percent = 0;
  EXPECT_EQ(tracker->GetProgressPercent(&percent), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXAProcessTracker::GetProgressPercent - VCDWizard not initialized.");
  auto burner = As<IVEXABurner>();
  EXPECT_EQ(burner->StartBurn(0, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXABurner::StartBurn - VCDWizard not initialized.");
  EXPECT_EQ(LastMethod(), "IVEXAEngine::SetTempDirectory");
  EXPECT_EQ(LastMessage(), "S_OK");
}

// The volume record the image's primary descriptor is made from.
TEST_F(EngineTest, VolumeRecord) {
  ASSERT_EQ(Create(), S_OK);
  auto info = As<IVEXADiscInfo>();
  ASSERT_EQ(info->put_CopyrightFileIdentifier(B("COPY.TXT").Get()), S_OK);
  ASSERT_EQ(info->put_AbstractFileIdentifier(B("").Get()), S_OK);
  const auto r = EngineTestAccess::VolumeRecord(object_, "Tervane Co./VEXA1.2.3");
  ASSERT_EQ(r.size(), 752u);
  auto text = [&r](std::size_t at, std::size_t n) { return std::string(r.begin() + at, r.begin() + at + n); };
  // Creation and modification: the engine's start time as eight 16-bit words.
  const base::CalendarTime t = clock_.LocalNow();
  EXPECT_EQ(r[0] | r[1] << 8, t.year);
  EXPECT_EQ(r[16] | r[17] << 8, t.year);
  EXPECT_EQ(r[6] | r[7] << 8, t.day);
  // Expiration and effective dates are not set: zero.
  EXPECT_EQ(text(32, 32), std::string(32, '\0'));
  EXPECT_EQ(text(64, 32), "CD-RTOS CD-BRIDGE" + std::string(15, ' '));
  EXPECT_EQ(text(96, 11), "KV_ORL_DISC");
  std::string id = CVEXAVCDEngine::GUIDtoStringGUID(EngineTestAccess::EngineGuid(object_));
  for (char& c : id) c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(text(128, 36), id);
  EXPECT_EQ(text(384, 21), "Tervane Co./VEXA1.2.3");
  EXPECT_EQ(r[405], ' ');
  EXPECT_EQ(text(640, 8), "COPY.TXT");
  EXPECT_EQ(text(677, 37), std::string(37, ' '));
}

TEST_F(EngineTest, DiscInformationTexts) {
  ASSERT_EQ(Create(), S_OK);
  auto info = As<IVEXADiscInfo>();
  ASSERT_EQ(info->put_CopyrightFileIdentifier(B("COPY.TXT").Get()), S_OK);
  EXPECT_EQ(LastMethod(), "IVEXADiscInfo::put_CopyrightFileIdentifier");
  ASSERT_EQ(info->put_EffectiveDate(nullptr), S_OK);
  com::Bstr s;
  ASSERT_EQ(info->get_CopyrightFileIdentifier(s.Out()), S_OK);
  EXPECT_EQ(s.Utf8(), "COPY.TXT");
  EXPECT_EQ(LastMethod(), "IVEXADiscInfo::get_CopyrightFileIdentifier");
  ASSERT_EQ(info->get_EffectiveDate(s.Out()), S_OK);
  EXPECT_FALSE(s.IsNull());
  EXPECT_EQ(s.Utf8(), "");
  ASSERT_EQ(info->get_BibliographicalFileIdentifier(s.Out()), S_OK);
  EXPECT_EQ(s.Utf8(), "");
}

}  // namespace
}  // namespace vexa::engine::test
