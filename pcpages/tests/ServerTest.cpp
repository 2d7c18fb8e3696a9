// The page server through class creation, as the disc engine uses it: its
// identity and error information, the sizes and delays it gives the pages,
// title lines, the support files, Clean, construction from the registry and
// late-bound calls.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "idl/ProductKey.h"
#include "idl/VEXAPC.h"
#include "pcpages/CIVEXAPC.h"
#include "pcpages/tests/PageTestSupport.h"
#include "platform/base/Path.h"
#include "platform/registry/Registry.h"

namespace vexa::pcpages {
namespace {

using com::Bstr;
using com::ComPtr;
using com::Variant;
using test::AttributeValues;
using test::FilesBelow;
using test::ReadText;
using test::ScratchDir;
using test::WriteText;

Bstr B(const std::string& s) { return Bstr::FromUtf8(s); }

std::string Err() {
  const auto e = com::TakeError();
  return e.present ? e.Utf8Description() : "<none>";
}

void SetProductValue(const char* name, const std::string& value) {
  ASSERT_EQ(reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::String(value)), reg::Status::Ok);
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VEXA_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    work_ = dir_ / "work";
    ASSERT_TRUE(base::MakeDirs(work_));
  }
  void TearDown() override {
    pc_.Reset();
    CoUninitialize();
    ::unsetenv("VEXA_REGISTRY_DIR");
  }

  HRESULT Create() {
    pc_.Reset();
    return CoCreateInstance(CLSID_IVEXAPC, nullptr, CLSCTX_ALL, IID_IIVEXAPC, pc_.PutVoid());
  }
  void CreateOk() { ASSERT_EQ(Create(), S_OK) << Err(); }
  HRESULT AddStill(const std::string& file, LONG w, LONG h, const std::string& thumb = "", LONG tw = 0,
                   LONG th = 0) {
    return pc_->AddStill(B(file).Get(), B("title").Get(), 0.0, w, h, B(thumb).Get(), 0.0, tw, th);
  }
  std::string Page(const std::string& rel) { return ReadText(work_ + "/" + rel); }
  // "width x height" of the first image whose src ends with `name`.
  std::string ImageSize(const std::string& rel, const std::string& name) {
    for (const std::string& img : test::StartTags(Page(rel), "img")) {
      const std::string src = test::Attribute(img, "src");
      if (src.size() >= name.size() && src.compare(src.size() - name.size(), name.size(), name) == 0) {
        return test::Attribute(img, "width") + "x" + test::Attribute(img, "height");
      }
    }
    return "<none>";
  }
  std::string Title(const std::string& rel) { return test::ElementText(Page(rel), "title"); }

  ScratchDir dir_;
  std::string work_;
  ComPtr<IIVEXAPC> pc_;
};

TEST_F(ServerTest, IdentityAndErrorInformation) {
  CreateOk();
  ComPtr<IDispatch> dispatch;
  ComPtr<ISupportErrorInfo> support;
  ComPtr<IUnknown> other;
  EXPECT_EQ(pc_->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  ASSERT_EQ(pc_->QueryInterface(IID_ISupportErrorInfo, support.PutVoid()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IIVEXAPC), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(pc_->QueryInterface(com::Guid("{00000000-1111-2222-3333-444444444444}"), other.PutVoid()),
            E_NOINTERFACE);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"VEXAPC.IVEXAPC", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_IVEXAPC);

  // A failing call: E_FAIL with the interface, the ProgID and the text.
  ASSERT_EQ(AddStill("a.jpg", 10, 10), S_OK);
  EXPECT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), E_FAIL);
  const auto e = com::TakeError();
  ASSERT_TRUE(e.present);
  EXPECT_EQ(e.Utf8Description(), "CIVEXAPC::MakeAlbum - No work directory.");
  EXPECT_EQ(e.source, u"VEXAPC.IVEXAPC.1");
  EXPECT_EQ(e.iid, IID_IIVEXAPC);
}

TEST_F(ServerTest, WithoutAWorkFolderNothingIsWritten) {
  CreateOk();
  ASSERT_EQ(AddStill("a.jpg", 10, 10), S_OK);
  EXPECT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::MakeSlideShow - No work directory.");
  EXPECT_EQ(pc_->MakeMenu(B("VIEW").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::MakeMenu - No work directory.");
  Bstr got;
  ASSERT_EQ(pc_->get_WorkDirectory(got.Out()), S_OK);
  EXPECT_EQ(got.Length(), 0u);
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(pc_->get_WorkDirectory(got.Out()), S_OK);
  EXPECT_EQ(got.Utf8(), work_);
  ASSERT_EQ(pc_->put_WorkDirectory(nullptr), S_OK);  // a null text clears it
  EXPECT_EQ(pc_->Clean(), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::Clean - Error deleting support files.");
  for (const std::string& f : FilesBelow(dir_.path())) EXPECT_EQ(f.find("VIEW"), std::string::npos) << f;
}

TEST(FitSizeTest, ShrinksWidthFirstAndNeverEnlarges) {
  struct Case {
    LONG boxW, boxH, w, h, fitW, fitH;
  } cases[] = {
      {600, 330, 1200, 900, 440, 330},   {600, 340, 1200, 900, 454, 340},
      {514, 298, 1200, 900, 397, 298},   {115, 115, 160, 120, 115, 87},
      {600, 330, 100, 80, 100, 80},      {600, 330, 5000, 3, 600, 1},
      {600, 330, 10, 5000, 1, 330},      {600, 330, 0, 0, 1, 1},
      {600, 330, -5, 20, 1, 20},         {600, 330, 2000000000, 2000000000, 330, 330},
      {115, 115, 100000, 70000, 115, 81},  // 99885 * 70000 needs more than 32 bits
  };
  for (const Case& c : cases) {
    LONG w = c.w, h = c.h;
    FitSize(c.boxW, c.boxH, &w, &h);
    EXPECT_EQ(w, c.fitW) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
    EXPECT_EQ(h, c.fitH) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
  }
}

TEST_F(ServerTest, EachPageSetShowsThePictureAtItsOwnSize) {
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(AddStill("LOWRES/640X640/IM_A0001.JPG", 1200, 900, "LOWRES/160X160/IM_A0001.JPG", 160, 120), S_OK);
  ASSERT_EQ(AddStill("LOWRES/640X640/IM_A0002.JPG", 100, 80, "LOWRES/160X160/IM_A0002.JPG", 100, 80), S_OK);
  ASSERT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
  ASSERT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_EQ(ImageSize("VIEW/SHOW/HTML/SL_0000.HTM", "IM_A0001.JPG"), "440x330");
  EXPECT_EQ(ImageSize("VIEW/BROWSE/HTML/0000.HTM", "IM_A0001.JPG"), "454x340");
  EXPECT_EQ(ImageSize("VIEW/BROWSE/HTML/TH_0000.HTM", "160X160/IM_A0001.JPG"), "115x87");
  EXPECT_EQ(ImageSize("VIEW/ALBUM.HTM", "IM_A0001.JPG"), "397x298");
  EXPECT_EQ(ImageSize("VIEW/SHOW/HTML/SL_0001.HTM", "IM_A0002.JPG"), "100x80");
  EXPECT_EQ(ImageSize("VIEW/BROWSE/HTML/TH_0000.HTM", "160X160/IM_A0002.JPG"), "100x80");
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("Total images: 2"), std::string::npos);
}

TEST_F(ServerTest, StillDelayAppliesToTheStillsAddedAfterIt) {
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(AddStill("a.jpg", 10, 10), S_OK);
  for (LONG ms : {2500, -1, 250000, 999}) {
    ASSERT_EQ(pc_->put_StillDelay(ms), S_OK);
    ASSERT_EQ(AddStill("b.jpg", 10, 10), S_OK);
  }
  ASSERT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
  const char* expected[] = {"6;URL=SL_0001.HTM", "2;URL=SL_0002.HTM", "0;URL=SL_0003.HTM", "100;URL=SL_0004.HTM",
                            "0;URL=SL_0000.HTM"};
  for (int i = 0; i < 5; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "VIEW/SHOW/HTML/SL_%04d.HTM", i);
    EXPECT_NE(Page(name).find(std::string("content=\"") + expected[i] + "\""), std::string::npos) << name;
  }
}

TEST_F(ServerTest, TheSlideShowTitleFollowsTheFirstLine) {
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(AddStill("a.jpg", 10, 10), S_OK);
  struct Step {
    LONG line;
    const char* title;
    const char* showTitle;
  } steps[] = {{2, "B", "B"}, {1, "A", "A"}, {3, "C", "A"}, {7, "x", "A"}, {0, "Z", "Z"}};
  for (const Step& s : steps) {
    ASSERT_EQ(pc_->SetTitleLine(s.line, B(s.title).Get()), S_OK);
    ASSERT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
    EXPECT_EQ(Title("VIEW/SHOW/SHOW.HTM"), s.showTitle) << "after line " << s.line;
  }
  ASSERT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
  EXPECT_EQ(Title("VIEW/BROWSE/BROWSE.HTM"), "Z");
  EXPECT_NE(Page("VIEW/BROWSE/HTML/0000.HTM").find(">Z<br>B<br>C</td>"), std::string::npos);

  // A line outside 1 to 3 given first sets only the slide show's title.
  work_ = dir_ / "work2";
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(pc_->SetTitleLine(7, B("x").Get()), S_OK);
  ASSERT_EQ(AddStill("a.jpg", 10, 10), S_OK);
  ASSERT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
  ASSERT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
  EXPECT_EQ(Title("VIEW/SHOW/SHOW.HTM"), "x");
  EXPECT_EQ(Title("VIEW/BROWSE/BROWSE.HTM"), "");
}

TEST_F(ServerTest, EmptyPageSetsFailButTheMenuIsWritten) {
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  EXPECT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::MakeAlbum - Error making album.");
  EXPECT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::MakeSlideShow - Error making slide show.");
  EXPECT_EQ(AddStill("", 10, 10), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::AddStill - Error adding still to slide show.");
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_TRUE(base::FileExists(work_ + "/VIEW/ALBUM.HTM"));
  EXPECT_FALSE(base::DirExists(work_ + "/VIEW/BROWSE/HTML"));
}

// A support tree of our own, so the test sees exactly what is copied.
class SupportFilesTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    support_ = dir_ / "support";
    WriteText(support_ + "/VIEW/STYLE/STYLE.CSS", "body {}");
    WriteText(support_ + "/VIEW/BROWSE/JS/UTILITY.JS", "// js");
    WriteText(support_ + "/.hidden/skipped.txt", "no");
    WriteText(support_ + "/VIEW/.svn/skipped.txt", "no");
    WriteText(support_ + "/.dotfile", "yes");
    SetProductValue("PCE_INCLUDE_PATH", support_ + "/");
    CreateOk();
    ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
    ASSERT_EQ(AddStill("first.jpg", 10, 10), S_OK);
  }
  std::string support_;
};

TEST_F(SupportFilesTest, CopiedOnceAndAgainAfterClean) {
  ASSERT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
  EXPECT_EQ(ReadText(work_ + "/VIEW/STYLE/STYLE.CSS"), "body {}");
  EXPECT_EQ(ReadText(work_ + "/VIEW/BROWSE/JS/UTILITY.JS"), "// js");
  EXPECT_EQ(ReadText(work_ + "/.dotfile"), "yes");
  EXPECT_FALSE(base::DirExists(work_ + "/.hidden"));
  EXPECT_FALSE(base::DirExists(work_ + "/VIEW/.svn"));

  // Not copied a second time: a removed file stays removed.
  ASSERT_EQ(::unlink((work_ + "/VIEW/STYLE/STYLE.CSS").c_str()), 0);
  ASSERT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), S_OK) << Err();
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_FALSE(base::FileExists(work_ + "/VIEW/STYLE/STYLE.CSS"));

  // Clean empties the work folder but its dot folders, and the next still
  // becomes the menu's picture.
  WriteText(work_ + "/.keep/mine.txt", "mine");
  ASSERT_EQ(pc_->Clean(), S_OK) << Err();
  EXPECT_EQ(FilesBelow(work_), (std::vector<std::string>{".keep/mine.txt"}));
  ASSERT_EQ(AddStill("second.jpg", 10, 10), S_OK);
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_EQ(ReadText(work_ + "/VIEW/STYLE/STYLE.CSS"), "body {}");
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("src=\"../second.jpg\""), std::string::npos);
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("Total images: 1"), std::string::npos);
}

TEST_F(SupportFilesTest, AFailedCopyIsReportedOnceUntilClean) {
  // A file of the tree already in the work folder: the copy refuses to
  // overwrite it.
  WriteText(work_ + "/VIEW/STYLE/STYLE.CSS", "the user's own");
  EXPECT_EQ(pc_->MakeSlideShow(B("VIEW/SHOW").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::MakeSlideShow - Error copying support files.");
  EXPECT_EQ(ReadText(work_ + "/VIEW/STYLE/STYLE.CSS"), "the user's own");
  EXPECT_TRUE(base::FileExists(work_ + "/VIEW/SHOW/SHOW.HTM"));
  EXPECT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();

  ASSERT_EQ(pc_->Clean(), S_OK) << Err();
  ASSERT_EQ(AddStill("x.jpg", 10, 10), S_OK);
  SetProductValue("PCE_INCLUDE_PATH", dir_ / "no-such-folder");
  CreateOk();  // reads the new folder
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(AddStill("x.jpg", 10, 10), S_OK);
  EXPECT_EQ(pc_->MakeMenu(B("VIEW").Get()), E_FAIL);
  EXPECT_EQ(Err(), "CIVEXAPC::CopySupportFiles - Error copying support files.");
  EXPECT_EQ(pc_->MakeAlbum(B("VIEW/BROWSE").Get()), S_OK) << Err();
}

TEST_F(SupportFilesTest, CleanLeavesLinkedFoldersAlone) {
  // A link inside the work folder is removed, never followed.
  const std::string outside = dir_ / "outside";
  WriteText(outside + "/precious.txt", "keep");
  ASSERT_EQ(::symlink(outside.c_str(), (work_ + "/link").c_str()), 0);
  WriteText(work_ + "/VIEW/ro/file.txt", "x");
  ASSERT_EQ(::chmod((work_ + "/VIEW/ro").c_str(), 0555), 0);
  ASSERT_EQ(pc_->Clean(), S_OK) << Err();
  EXPECT_TRUE(FilesBelow(work_).empty());
  EXPECT_EQ(ReadText(outside + "/precious.txt"), "keep");
}

// Construction reads the product key; these cases need values missing from
// the shipped defaults, so they run in an installation of their own whose
// defaults are written by the test.
class ConstructionTest : public ServerTest {
 protected:
  void Install(const std::string& productValues) {
    namespace fs = std::filesystem;
    ::unsetenv("VEXA_PREFIX");
    const std::string prefix = dir_ / "prefix";
    const std::string real = base::InstallPrefix();
    fs::create_directories(prefix + "/lib");
    fs::create_directories(prefix + "/share/vexa/registry");
    fs::create_symlink(real + "/lib/vexa", prefix + "/lib/vexa");
    fs::create_symlink(real + "/share/vexa/pcpages", prefix + "/share/vexa/pcpages");
    fs::copy_file(real + "/share/vexa/registry/VEXAPC.reg", prefix + "/share/vexa/registry/VEXAPC.reg");
    WriteText(prefix + "/share/vexa/registry/product.reg",
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion]\n" +
                  productValues);
    ::setenv("VEXA_PREFIX", prefix.c_str(), 1);
  }
  void TearDown() override {
    ServerTest::TearDown();
    ::unsetenv("VEXA_PREFIX");
  }
};

TEST_F(ConstructionTest, FailuresNameWhatIsMissing) {
  const std::string support = "\"PCE_INCLUDE_PATH\"=\"%VEXA_SHARE%/pcpages/support/\"\n";
  const std::string english = "\"APP_LANG_ABBRV\"=\"ENU\"\n";
  const std::string tooLong = "\"PCE_INCLUDE_PATH\"=\"/" + std::string(1100, 'p') + "\"\n";
  struct Case {
    std::string values;
    const char* error;
  } cases[] = {
      {english, "CIVEXAPC::FinalConstruct - Registry key INCLUDE_PATH not found."},
      {tooLong + english, "CIVEXAPC::FinalConstruct - Registry key INCLUDE_PATH not found."},
      {support, "CVEXAPC::FinalConstruct - Cannot get 3 letter language abbreviation from registry."},
      {support + "\"APP_LANG_ABBRV\"=\"\"\n",
       "CVEXAPC::FinalConstruct - Cannot get 3 letter language abbreviation from registry."},
      {support + "\"APP_LANG_ABBRV\"=\"XYZ\"\n", "CVEXAPC::FinalConstruct - Cannot load a resource dll."},
      {support + "\"APP_LANG_ABBRV\"=\"/../../pcpages/vexapcENU\"\n",
       "CVEXAPC::FinalConstruct - Cannot load a resource dll."},
  };
  for (const Case& c : cases) {
    base::RemoveAll(dir_ / "prefix");
    Install(c.values);
    EXPECT_EQ(Create(), E_FAIL) << c.values;
    EXPECT_EQ(Err(), c.error) << c.values;
    EXPECT_FALSE(pc_);
  }
}

TEST_F(ConstructionTest, AMissingVersionLeavesTheVersionEmpty) {
  Install("\"PCE_INCLUDE_PATH\"=\"%VEXA_SHARE%/pcpages/support/\"\n\"APP_LANG_ABBRV\"=\"ENU\"\n");
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("Version: </td>"), std::string::npos);
  // The installed support tree came along.
  EXPECT_TRUE(base::FileExists(work_ + "/VIEW/HTML/TROUBLE.HTM"));

  // A long version is cut to 99 characters, a number is shown in decimal.
  base::RemoveAll(work_);
  ASSERT_TRUE(base::MakeDirs(work_));
  SetProductValue("DownloadVersion", std::string(150, '9'));
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("Version: " + std::string(99, '9') + "</td>"), std::string::npos);
  ASSERT_EQ(reg::SetValue(reg::Hive::LocalMachine, kProductKey, "DownloadVersion", reg::Value::Dword(42)),
            reg::Status::Ok);
  base::RemoveAll(work_);
  ASSERT_TRUE(base::MakeDirs(work_));
  CreateOk();
  ASSERT_EQ(pc_->put_WorkDirectory(B(work_).Get()), S_OK);
  ASSERT_EQ(pc_->MakeMenu(B("VIEW").Get()), S_OK) << Err();
  EXPECT_NE(Page("VIEW/ALBUM.HTM").find("Version: 42</td>"), std::string::npos);
}

TEST_F(ServerTest, LateBoundCallsByDispid) {
  CreateOk();
  ComPtr<IDispatch> d;
  ASSERT_EQ(pc_->QueryInterface(IID_IDispatch, d.PutVoid()), S_OK);
  auto put = [&](DISPID id, Variant value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&value, &named, 1, 1};
    return d->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
  };
  auto call = [&](DISPID id, std::vector<Variant> args) {
    std::reverse(args.begin(), args.end());  // they travel last first
    DISPPARAMS p{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    Variant result;
    return d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &p, &result, nullptr, nullptr);
  };
  EXPECT_EQ(put(8, Variant::Utf8(work_)), S_OK);
  EXPECT_EQ(put(4, Variant::Utf8("3000")), S_OK);  // converted like any late-bound argument
  EXPECT_EQ(call(2, {Variant::I4(1), Variant::Utf8("Late")}), S_OK);
  EXPECT_EQ(call(1, {Variant::Utf8("CONTENT/BG_A0001.MP3")}), S_OK);
  EXPECT_EQ(call(3, {Variant::Utf8("a.jpg"), Variant::Utf8("t"), Variant::Date(0), Variant::I4(1200),
                     Variant::I4(900), Variant::Utf8("b.jpg"), Variant::Date(0), Variant::I4(160),
                     Variant::I4(120)}),
            S_OK);
  EXPECT_EQ(call(5, {Variant::Utf8("VIEW/SHOW")}), S_OK) << Err();
  EXPECT_EQ(call(6, {Variant::Utf8("VIEW/BROWSE")}), S_OK) << Err();
  EXPECT_EQ(call(9, {Variant::Utf8("VIEW")}), S_OK) << Err();
  EXPECT_NE(Page("VIEW/SHOW/HTML/SL_0000.HTM").find("content=\"3;URL=SL_0000.HTM\""), std::string::npos);
  EXPECT_EQ(Title("VIEW/SHOW/SHOW.HTM"), "Late");
  EXPECT_NE(Page("VIEW/SHOW/HTML/MUSIC.HTM").find("../../../CONTENT/BG_A0001.MP3"), std::string::npos);

  Variant got;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(d->Invoke(8, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &got, nullptr, nullptr), S_OK);
  ASSERT_EQ(got.vt, VT_BSTR);
  EXPECT_EQ(com::BstrToUtf8(got.bstrVal), work_);
  EXPECT_EQ(call(7, {}), S_OK) << Err();
  EXPECT_TRUE(FilesBelow(work_).empty());

  EXPECT_EQ(call(6, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(10, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(put(4, Variant::Utf8("soon")), DISP_E_TYPEMISMATCH);
  LPOLESTR name = const_cast<LPOLESTR>(u"makemenu");
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 9);
}

}  // namespace
}  // namespace vexa::pcpages
