// The orchestrator object: construction, Init, the settings accepted once,
// picture and music input, lists and folders of pictures, the failure report,
// re-entrant calls, and several objects in one process.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "core/tests/CoreFixture.h"
#include "idl/ProductKey.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class CoreObjectTest : public CoreFixture {};

TEST_F(CoreObjectTest, ConstructionNeedsALoggerAndTheLanguageLibrary) {
  // No logger: E_FAIL and nothing logged.
  CoreServices services = Services();
  services.logger = [](IVexaLogger** out) {
    *out = nullptr;
    return E_FAIL;
  };
  ComPtr<IVEXACore1> core;
  EXPECT_EQ(ComObject<CVEXACore1>::Create(core.Put(), services), E_FAIL);
  EXPECT_FALSE(core);
  EXPECT_TRUE(log_->lines.empty());

  // A language the installation has no library for.
  SetProductString("APP_LANG_ABBRV", "XYZ");
  HRESULT hr = S_OK;
  EXPECT_FALSE(Make(&hr));
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::FinalConstruct - Cannot load a resource dll.\r\n");
  SetProductString("APP_LANG_ABBRV", "");
  EXPECT_FALSE(Make(&hr));
  EXPECT_EQ(ErrorText(), "CVEXACore1::FinalConstruct - Cannot get registry entry for resource dll abbrevation.\r\n");
  SetProductString("APP_LANG_ABBRV", "../ENU");
  EXPECT_FALSE(Make(&hr));
  EXPECT_EQ(ErrorText(), "CVEXACore1::FinalConstruct - Cannot load a resource dll.\r\n");
  SetProductString("APP_LANG_ABBRV", "ENU");
  EXPECT_TRUE(Make(&hr));
  EXPECT_EQ(hr, S_OK);
}

TEST_F(CoreObjectTest, InitWorksInOneFolderInsideTheCallersAndFindsTheWriter) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  const std::string work = Object(core_.Get())->WorkDirectory();
  EXPECT_EQ(work, Path("work/vexaCoreTemp"));
  EXPECT_TRUE(base::DirExists(work));
  EXPECT_EQ(EngineCalls("SetTempDirectory"), std::vector<std::string>{"SetTempDirectory " + work});
  EXPECT_TRUE(log_->Has("INFO", "Temp directory set to " + work + "."));
  // Level 3 shows the dialog once at Init and hides it again.
  ASSERT_TRUE(ui_ && ui_->Dialog());
  EXPECT_FALSE(ui_->Dialog()->IsShown());
  core_.Reset();
  // Cleaned at release.
  EXPECT_FALSE(base::DirExists(work));
  EXPECT_TRUE(base::DirExists(Path("work")));

  // Without a folder from the caller: one of its own in the system's.
  core_ = Make();
  Bstr none(u"");
  ASSERT_EQ(core_->Init(VEXACoreShowStatusNothing, none.Get(), VARIANT_TRUE), S_OK) << ErrorText();
  const std::string own = Object(core_.Get())->WorkDirectory();
  EXPECT_EQ(base::DirName(own), Path("tmp"));
  EXPECT_NE(base::BaseName(own).find("vexaCoreTemp"), std::string::npos);
  core_.Reset();
  EXPECT_FALSE(base::DirExists(own));
}

TEST_F(CoreObjectTest, InitReportsAMissingWriterAndAMissingEngine) {
  engine_->drives = 0;
  EXPECT_EQ(MakeAndInit(VEXACoreShowStatusNothing), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreNoCDWriter);
  EXPECT_EQ(ErrorText(),
            "CVexaODBase::GetNextDrive - No CD writer found.\r\n" + std::string(kNoWriterLogLine) +
                "\r\nCVEXAOD::GetCDWriter - No capable CD-writer exists.\r\n"
            "CVEXACore1::Init - Cannot find a CD-Writer.\r\n");
  EXPECT_EQ(engine_->alive, 1);  // the engine stays, without a writer
  core_.Reset();

  engine_->drives = 1;
  engine_->failing = {"CreateEngine"};
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  EXPECT_EQ(MakeAndInit(VEXACoreShowStatusAll), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_NE(ErrorText().find("CVEXACore1::Init - Cannot create an SDK instance.\r\n"), std::string::npos);
  // Level 3 shows the problem message.
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("The orlune disc creator software detected a problem and cannot continue.", 0), 0u);
}

TEST_F(CoreObjectTest, TempSpaceIsMeasuredAgainstTheMinimumInBytes) {
  SetProductDword("MIN_TEMP_SPACE", 500000000);
  freeBytes_ = 300ull * 1000 * 1000;
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  EXPECT_EQ(MakeAndInit(VEXACoreShowStatusAll), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInsufficientTempSpace);
  EXPECT_NE(ErrorText().find("CVEXACore1::CheckTempSpace - User has insufficient temp space.\r\n"
                             "CVEXACore1::Init - Insufficient temp space to continue.\r\n"),
            std::string::npos);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("You are below 500 MB of free remaining disc space on your ", 0), 0u)
      << ui_->messages[0].text;
  core_.Reset();

  // 4 GiB and more always pass, whatever the low 32 bits say.
  freeBytes_ = 4ull << 30;
  EXPECT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  core_.Reset();
  freeBytes_ = (5ull << 30) + 1;
  SetProductDword("MIN_TEMP_SPACE", 0xFFFFFFFF);
  EXPECT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
}

TEST_F(CoreObjectTest, SettingsAreAcceptedOnceAndDelaysAreChecked) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  // The title time needs the delay first.
  EXPECT_EQ(core_->SetStillTitleVisibleTime(1), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreStillDelayNotSet);
  EXPECT_EQ(ErrorText(), "CVexaCore1::SetStillTitleVisibleTime - Still delay not yet set.\r\n");

  EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreStillDelayTooSmall);
  EXPECT_EQ(ErrorText(),
            "CVEXACore1::SetStillDelay - Delay of 1 seconds is below minimum of 2 seconds. Using default 5.\r\n");
  EXPECT_EQ(core_->SetStillDelay(5), S_OK);
  EXPECT_EQ(core_->SetStillDelay(9), S_OK);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::SetStillDelay - Still delay can be set only once."));
  EXPECT_EQ(EngineCalls("SetStillDelay"), std::vector<std::string>{"SetStillDelay 5000"});

  struct Case {
    LONG value;
    HRESULT hr;
    VEXACoreErrorCode code;
  };
  for (const Case& c : {Case{6, E_FAIL, VEXACoreStillTitleVisibleTooLarge}, Case{-1, E_FAIL, VEXACoreStillTitleVisibleTooSmall},
                        Case{5, S_OK, VEXACoreSuccess}}) {
    EXPECT_EQ(core_->SetStillTitleVisibleTime(c.value), c.hr) << c.value;
    EXPECT_EQ(Code(), c.code) << c.value;
    TakeError();
  }
  EXPECT_EQ(EngineCalls("SetStillTitleVisibleTime"), std::vector<std::string>{"SetStillTitleVisibleTime 5000"});

  EXPECT_EQ(core_->SetTVSystem(VEXACoreTVINVALID), S_OK);
  EXPECT_EQ(Count("SetTVSystem"), 0);
  EXPECT_EQ(core_->SetTVSystem(VEXACoreTVPAL), S_OK);
  EXPECT_EQ(core_->SetTVSystem(VEXACoreTVNTSC), S_OK);
  EXPECT_EQ(EngineCalls("SetTVSystem"), std::vector<std::string>{"SetTVSystem 2"});
  EXPECT_TRUE(log_->Has("INFO", "TV System = PAL."));
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::SetTVSystem - Can only set TV System once."));

  EXPECT_EQ(core_->SetFileSystemSupport(VEXACoreFSDefault), S_OK);
  EXPECT_EQ(core_->SetFileSystemSupport(VEXACoreFSISO9660), S_OK);
  EXPECT_TRUE(log_->Has("INFO", "File System = ISO9660|JOLIET."));
  EXPECT_EQ(EngineCalls("SetFileSystemSupport"), std::vector<std::string>{"SetFileSystemSupport 65"});

  EXPECT_EQ(core_->SetPaperSize(VEXACorePaperSizeInvalid), S_OK);
  EXPECT_EQ(core_->SetPaperSize(VEXACorePaperSizeA4), S_OK);
  EXPECT_EQ(core_->SetPaperSize(VEXACorePaperSizeLetter), S_OK);
  EXPECT_EQ(EngineCalls("SetPaperSize"), std::vector<std::string>{"SetPaperSize 1"});
  EXPECT_TRUE(log_->Has("INFO", "Paper Size = A4."));

  EXPECT_EQ(core_->SetBurnSpeed(0), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidBurnSpeed);
  EXPECT_EQ(ErrorText(), "CVEXACore1::SetBurnSpeed - Burn speed must be positive. Speed set = 0.\r\n");
  Bstr path(u"/x");
  EXPECT_EQ(core_->SetLogFile(path.Get(), 10), E_NOTIMPL);
}

// A setting given a second time (the command line's, then an album's) keeps
// the first and says so as information: a normal run logs no error line.
TEST_F(CoreObjectTest, ASettingGivenAgainIsInformationNotAnError) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr music = Bstr::FromUtf8(Photo("music/theme.mp3")), title(u"Summer"), none(u"");
  struct Case {
    const char* name;
    std::function<HRESULT()> call;
    const char* line;
  };
  const Case cases[] = {
      {"file system", [&] { return core_->SetFileSystemSupport(VEXACoreFSDefault); },
       "CVEXACore1::SetFileSystemSupport - FileSystemSupport can only be set once."},
      {"still delay", [&] { return core_->SetStillDelay(5); },
       "CVEXACore1::SetStillDelay - Still delay can be set only once."},
      {"title time", [&] { return core_->SetStillTitleVisibleTime(2); },
       "CVEXACore1::SetStillTitleVisibleTime - Still Title Visible Time already set."},
      {"TV system", [&] { return core_->SetTVSystem(VEXACoreTVPAL); },
       "CVEXACore1::SetTVSystem - Can only set TV System once."},
      {"paper size", [&] { return core_->SetPaperSize(VEXACorePaperSizeA4); },
       "CVEXACore1::SetPaperSize - Can only set Paper Size once."},
      {"title lines", [&] { return core_->SetTitleLines(title.Get(), none.Get(), none.Get()); },
       "CVEXACore1::SetTitleLines - Tried to set title lines more than once."},
      {"music", [&] { return core_->AddAudioTrack(music.Get(), music.Get(), 0); },
       "CVEXACore::AddAudioTrack - The audio track can only be set once."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.call(), S_OK) << ErrorText();
    EXPECT_FALSE(log_->Has("INFO", c.line));
    EXPECT_EQ(c.call(), S_OK);
    EXPECT_TRUE(log_->Has("INFO", c.line));
  }
  EXPECT_EQ(log_->Texts("ERROR"), std::vector<std::string>{});
}

TEST_F(CoreObjectTest, AnEngineThatRefusesASettingLeavesItUnsetForTheDefaults) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  engine_->failing = {"SetStillDelay"};
  EXPECT_EQ(core_->SetStillDelay(4), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_EQ(ErrorText(),
            "SetStillDelay failed in the fake engine\r\n"
            "CVexaODBase::SetStillDelay - SetStillDelay call failed for value 4.\r\n"
            "CVEXACore1::SetStillDelay - ODBase SetStillDelay call failed for value 4.\r\n");
  engine_->failing.clear();
  EXPECT_EQ(core_->SetStillDelay(4), S_OK);
}

TEST_F(CoreObjectTest, PicturesAreCheckedAndRejectedOnesRemembered) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr none(u""), missing = Bstr::FromUtf8(Path("missing.jpg"));
  EXPECT_EQ(core_->AddStill(none.Get(), none.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  EXPECT_EQ(ErrorText(), "CVexaCore::AddStill - image file is empty.\r\n");
  EXPECT_TRUE(Object(core_.Get())->InvalidStills().empty());
  // The first picture also settles the file system: the default, which is
  // no error.
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::AddStill - No file system chosen: the default is used."));
  for (const std::string& t : log_->Texts("ERROR")) EXPECT_EQ(t.find("SetFileSystemSupport"), std::string::npos) << t;
  EXPECT_EQ(EngineCalls("SetFileSystemSupport"), std::vector<std::string>{"SetFileSystemSupport 65"});

  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  EXPECT_EQ(ErrorText(), "CVEXACore::AddStill - Image File does not exist.\r\n");
  EXPECT_EQ(Object(core_.Get())->InvalidStills(), std::vector<std::string>{Path("missing.jpg")});

  const std::string good = Photo("good.jpg");
  Bstr g = Bstr::FromUtf8(good), t(u"Lake");
  EXPECT_EQ(core_->AddStill(g.Get(), g.Get(), t.Get(), 37000.0, VEXACoreCropPicture, 90, VARIANT_FALSE), S_OK);
  EXPECT_EQ(EngineCalls("AddStill"), std::vector<std::string>{"AddStill " + good + "|" + good + "|1|90|0"});

  engine_->failing = {"AddStill"};
  const std::string refused = Photo("refused.jpg");
  Bstr r = Bstr::FromUtf8(refused);
  EXPECT_EQ(core_->AddStill(r.Get(), r.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(ErrorText(),
            "AddStill failed in the fake engine\r\n"
            "CVexaODBase::AddStills - AddStill call failed on still " + refused + ".\r\n"
            "CVexaCore::AddStill - ODBase AddStill call failed for image " + refused + ".\r\n");
  EXPECT_EQ(Object(core_.Get())->InvalidStills().size(), 2u);
}

TEST_F(CoreObjectTest, MusicNeedsOneOfFourExtensionsAndIsTakenOnce) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  const std::string ogg = Photo("music/song.ogg");
  Bstr o = Bstr::FromUtf8(ogg);
  EXPECT_EQ(core_->AddAudioTrack(o.Get(), o.Get(), 0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAudioTrack - Incorrect file type.\r\n");
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::AddAudioTrack - Incorrect file type."));
  const std::string bare = Photo("music.d/song");
  Bstr b = Bstr::FromUtf8(bare);
  EXPECT_EQ(core_->AddAudioTrack(b.Get(), b.Get(), 0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore::AddAudioTrack - No file extension for audio file.\r\n");
  Bstr gone = Bstr::FromUtf8(Path("gone.mp3"));
  EXPECT_EQ(core_->AddAudioTrack(gone.Get(), gone.Get(), 0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore::AddAudioTrack - Audio File does not exist.\r\n");

  const std::string mp3 = Photo("music/SONG.MP3");
  Bstr m = Bstr::FromUtf8(mp3);
  EXPECT_EQ(core_->AddAudioTrack(m.Get(), m.Get(), 0), S_OK) << ErrorText();
  EXPECT_EQ(EngineCalls("AddAudioTrack"), std::vector<std::string>{"AddAudioTrack " + mp3});
  EXPECT_TRUE(log_->Has("INFO", "AUDIO Real Track = " + mp3 + "."));
  EXPECT_TRUE(log_->Has("INFO", "AUDIO Original Track = " + mp3 + "."));
  EXPECT_EQ(core_->AddAudioTrack(o.Get(), o.Get(), 0), S_OK);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore::AddAudioTrack - The audio track can only be set once."));
}

TEST_F(CoreObjectTest, WithTheDialogTheUserMayGoOnWithoutTheMusic) {
  scriptUi_ = [](ScriptedUi& ui) {
    ui.QueueAnswer(kIDOK);
    ui.QueueAnswer(kIDCANCEL);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  Bstr o = Bstr::FromUtf8(Photo("song.ogg"));
  EXPECT_EQ(core_->AddAudioTrack(o.Get(), o.Get(), 0), S_OK);
  EXPECT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("The orlune disc creator software could not process your audio file.", 0), 0u);
  // Cancel instead: E_FAIL, and the code says the user cancelled.
  EXPECT_EQ(core_->AddAudioTrack(o.Get(), o.Get(), 0), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreCancelled);
  EXPECT_EQ(Count("AddAudioTrack"), 0);
}

TEST_F(CoreObjectTest, TitleLinesMakeATitlePictureForTheEngine) {
  localeTv_ = 2;
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr e(u""), l1(u"Summer 2002"), l3(u"At the lake");
  EXPECT_EQ(core_->SetTitleLines(e.Get(), nullptr, e.Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreNoTitleLines);
  EXPECT_EQ(ErrorText(), "CVEXACore1::SetTitleLines - All title lines are empty.\r\n");

  ASSERT_EQ(core_->SetTitleLines(l1.Get(), e.Get(), l3.Get()), S_OK) << ErrorText();
  EXPECT_EQ(EngineCalls("SetTitleLines"), std::vector<std::string>{"SetTitleLines Summer 2002||At the lake"});
  // The TV system comes from the locale first.
  EXPECT_EQ(EngineCalls("SetTVSystem"), std::vector<std::string>{"SetTVSystem 2"});
  const auto stills = EngineCalls("AddStill");
  ASSERT_EQ(stills.size(), 1u);
  const std::string file = stills[0].substr(9, stills[0].find('|') - 9);
  EXPECT_EQ(base::DirName(file), Object(core_.Get())->WorkDirectory());
  EXPECT_EQ(base::Extension(file), ".jpg");
  EXPECT_EQ(stills[0], "AddStill " + file + "|" + file + "|0|0|-1");
  // A real JPEG from the image utility, PAL-sized.
  std::string bytes;
  ASSERT_TRUE(base::ReadFile(file, &bytes));
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
  EXPECT_TRUE(log_->Has("INFO", "TITLE LINE 1 = Summer 2002."));
  EXPECT_FALSE(log_->Has("INFO", "TITLE LINE 2 = ."));
  EXPECT_TRUE(log_->Has("INFO", "TITLE LINE 3 = At the lake."));
  EXPECT_EQ(core_->SetTitleLines(l1.Get(), l1.Get(), l1.Get()), S_OK);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::SetTitleLines - Tried to set title lines more than once."));

  // The default title: today's date and the product name.
  core_.Reset();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  ASSERT_EQ(core_->SetDefaultTitle(), S_OK);
  const auto titles = EngineCalls("SetTitleLines");
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_NE(titles[1].find("|Kv Orlune Disc|"), std::string::npos) << titles[1];
}

TEST_F(CoreObjectTest, ListFilesHoldZeroEndedPathsAndBadEntriesStopOnlyTheStrictLevels) {
  auto list = [&](const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    base::WriteFileAtomic(Path("list.txt"), bytes);
    return Bstr::FromUtf8(Path("list.txt"));
  };
  const std::u16string a = base::Utf8ToUtf16(Photo("a.jpg")), b = base::Utf8ToUtf16(Photo("b.jpg"));
  const std::u16string missing = base::Utf8ToUtf16(Path("missing.jpg"));

  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  // Text after the last zero is no entry.
  Bstr l = list(a + u'\0' + b);
  EXPECT_EQ(core_->AddImageListFile(l.Get()), S_OK) << ErrorText();
  EXPECT_EQ(Count("AddStill"), 1);
  // One byte is no list.
  base::WriteFileAtomic(Path("one.txt"), "x");
  Bstr one = Bstr::FromUtf8(Path("one.txt"));
  EXPECT_EQ(core_->AddImageListFile(one.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddImageListFile - Invalid image file size for: " + Path("one.txt") + "\r\n");
  Bstr nothing(u"");
  EXPECT_EQ(core_->AddImageListFile(nothing.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddImageListFile - No image file passed.\r\n");

  // Level 0 stops at the first bad picture...
  l = list(missing + u'\0' + b + u'\0');
  EXPECT_EQ(core_->AddImageListFile(l.Get()), E_FAIL);
  EXPECT_NE(ErrorText().find("CVEXACore1::AddImageListFile - Invalid still path: " + Path("missing.jpg") + ".\r\n"),
            std::string::npos);
  EXPECT_EQ(Count("AddStill"), 1);
  // ...and an empty entry.
  l = list(std::u16string(u"\0", 1) + b + u'\0');
  EXPECT_EQ(core_->AddImageListFile(l.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddImageListFile - Empty file path found.\r\n");
  core_.Reset();

  // Level 1 goes on.
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNecessaryErrorsOnly), S_OK);
  l = list(missing + u'\0' + std::u16string(u"\0", 1) + b + u'\0' + std::u16string(3000, u'x') + u'\0' + a + u'\0');
  EXPECT_EQ(core_->AddImageListFile(l.Get()), S_OK) << ErrorText();
  EXPECT_EQ(Count("AddStill"), 3);
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::AddImageListFile - Invalid still path: " + Path("missing.jpg") + "."));
}

// A list written in UTF-8 (as printf and most editors write one) is read as
// well as one in UTF-16; a path too long for a list is named with its
// length, not cut to another path or passed over without a word.
TEST_F(CoreObjectTest, Utf8ListsAreReadAndOverlongPathsAreNamed) {
  const std::string a = Photo("a.jpg"), b = Photo("사진 b.jpg");
  const struct {
    const char* name;
    std::string bytes;
  } lists[] = {
      {"zero-ended", a + '\0' + b + '\0'},
      {"zero-ended with a byte-order mark", "\xEF\xBB\xBF" + a + '\0' + b + '\0'},
      {"one a line", a + "\n" + b + "\n"},
      {"one a line with a byte-order mark", "\xEF\xBB\xBF" + a + "\r\n" + b},
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  int added = 0;
  for (const auto& c : lists) {
    SCOPED_TRACE(c.name);
    base::WriteFileAtomic(Path("list.txt"), c.bytes);
    Bstr l = Bstr::FromUtf8(Path("list.txt"));
    EXPECT_EQ(core_->AddImageListFile(l.Get()), S_OK) << ErrorText();
    added += 2;
    const auto stills = EngineCalls("AddStill");
    ASSERT_EQ(static_cast<int>(stills.size()), added);
    EXPECT_EQ(stills[stills.size() - 2].rfind("AddStill " + a + "|", 0), 0u) << stills[stills.size() - 2];
    EXPECT_EQ(stills.back().rfind("AddStill " + b + "|", 0), 0u) << stills.back();
  }

  const std::string tooLong = "/" + std::string(2100, 'x') + ".jpg";
  const std::string said = "CVEXACore1::AddImageListFile - A path in the list is 2105 characters long, more than the "
                           "2047 a path may have; it is left out: /" + std::string(59, 'x') + "...";
  base::WriteFileAtomic(Path("list.txt"), tooLong + '\0' + a + '\0');
  Bstr l = Bstr::FromUtf8(Path("list.txt"));
  // The strict level stops at it...
  EXPECT_EQ(core_->AddImageListFile(l.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), said + "\r\n");
  EXPECT_EQ(Count("AddStill"), added);
  core_.Reset();
  // ...the others name it and go on.
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNecessaryErrorsOnly), S_OK);
  EXPECT_EQ(core_->AddImageListFile(l.Get()), S_OK) << ErrorText();
  EXPECT_TRUE(log_->Has("ERROR", said));
  const auto stills = EngineCalls("AddStill");
  ASSERT_EQ(static_cast<int>(stills.size()), added + 1);
  EXPECT_EQ(stills.back().rfind("AddStill " + a + "|", 0), 0u);
}

TEST_F(CoreObjectTest, FoldersAddEveryFileInNameOrder) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNecessaryErrorsOnly), S_OK);
  Photo("dir/b.jpg");
  Photo("dir/a.jpg");
  Photo("dir/sub/c.jpg");
  Bstr dir = Bstr::FromUtf8(Path("dir"));
  EXPECT_EQ(core_->AddImageDirectory(dir.Get()), S_OK) << ErrorText();
  const auto stills = EngineCalls("AddStill");
  ASSERT_EQ(stills.size(), 2u);
  EXPECT_EQ(stills[0].rfind("AddStill " + Path("dir/a.jpg") + "|", 0), 0u);
  EXPECT_EQ(stills[1].rfind("AddStill " + Path("dir/b.jpg") + "|", 0), 0u);
  EXPECT_EQ(Code(), VEXACoreSuccess);

  Bstr missing = Bstr::FromUtf8(Path("nowhere"));
  EXPECT_EQ(core_->AddImageDirectory(missing.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(),
            "CVEXACore1::AddImageDirectory - Invalid image directory or directory does not exist: " + Path("nowhere") + "\r\n");
  base::MakeDirs(Path("empty"));
  Bstr empty = Bstr::FromUtf8(Path("empty"));
  EXPECT_EQ(core_->AddImageDirectory(empty.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddImageDirectory - No files in image directory: " + Path("empty") + "\r\n");
}

// A symbolic link named like a picture that leads to no file (a loop of
// links, a missing target) is no picture of its folder: even the strict
// level passes it over with a word. Named on its own, it is refused with
// what it is, never as a file that does not exist.
TEST_F(CoreObjectTest, ALinkThatLeadsNowhereIsNamedForWhatItIs) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Photo("dir/a.jpg");
  ASSERT_EQ(::symlink(Path("dir/loop.jpg").c_str(), Path("dir/loop.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(Path("gone.jpg").c_str(), Path("dir/gone.jpg").c_str()), 0);
  Bstr dir = Bstr::FromUtf8(Path("dir"));
  EXPECT_EQ(core_->AddImageDirectory(dir.Get()), S_OK) << ErrorText();
  const auto stills = EngineCalls("AddStill");
  ASSERT_EQ(stills.size(), 1u);
  EXPECT_EQ(stills[0].rfind("AddStill " + Path("dir/a.jpg") + "|", 0), 0u);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::AddImageDirectory - A symbolic link that leads to no file passed over: '" +
                                    Path("dir/loop.jpg") + "' cannot be reached: Too many levels of symbolic links."));
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::AddImageDirectory - A symbolic link that leads to no file passed over: '" +
                                    Path("dir/gone.jpg") + "' points to a missing file."));

  Bstr loop = Bstr::FromUtf8(Path("dir/loop.jpg")), none(u"");
  EXPECT_EQ(core_->AddStill(loop.Get(), loop.Get(), none.Get(), 0.0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_NE(ErrorText().find("CVEXACore::AddStill - Image File is refused: '" + Path("dir/loop.jpg") +
                             "' cannot be reached: Too many levels of symbolic links."),
            std::string::npos)
      << ErrorText();
  EXPECT_EQ(ErrorText().find("does not exist"), std::string::npos) << ErrorText();
}

TEST_F(CoreObjectTest, WithLogAllTheTextsGoToTheLogAndNoErrorInformationIsSet) {
  core_ = Make();
  ASSERT_EQ(core_->SetLoggingLevel(VARIANT_TRUE), S_OK);
  Bstr work = Bstr::FromUtf8(Path("work/"));
  ASSERT_EQ(core_->Init(VEXACoreShowStatusNothing, work.Get(), VARIANT_TRUE), S_OK);
  EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);
  EXPECT_FALSE(TakeError().present);
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::SetStillDelay - Delay of 1 seconds is below minimum of 2 seconds. Using default 5."));
  // Only -1 counts as true.
  ASSERT_EQ(core_->SetLoggingLevel(1), S_OK);
  EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);
  EXPECT_TRUE(TakeError().present);
}

TEST_F(CoreObjectTest, ACallWhileAnotherRunsIsRefused) {
  bool tried = false;
  HRESULT inner = S_OK;
  std::string innerText;
  VEXACoreErrorCode innerCode = VEXACoreFailure;
  scriptUi_ = [&](ScriptedUi& ui) {
    ui.onPump = [&] {
      if (tried || !core_) return;
      tried = true;
      Bstr p = Bstr::FromUtf8(Path("photos/photo01.jpg")), none(u"");
      inner = core_->AddStill(p.Get(), p.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE);
      innerText = ErrorText();
      core_->GetErrorCode(&innerCode);
    };
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  tried = false;
  AddPhotos(1);
  EXPECT_TRUE(tried);
  EXPECT_EQ(inner, E_FAIL);
  EXPECT_EQ(innerText, "CVEXACore1::AddStill - Call refused: another call of this object is still running.");
  EXPECT_EQ(innerCode, VEXACoreSuccess);
  EXPECT_EQ(Count("AddStill"), 1);
}

TEST_F(CoreObjectTest, TwoObjectsWorkSideBySideAndOneAfterTheOther) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  ComPtr<IVEXACore1> first = core_;
  core_.Reset();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK) << ErrorText();
  ComPtr<IVEXACore1> second = core_;
  core_.Reset();
  Bstr none(u"");
  ASSERT_EQ(first->Init(VEXACoreShowStatusNothing, none.Get(), VARIANT_TRUE), S_OK);
  EXPECT_EQ(first->SetStillDelay(1), E_FAIL);
  TakeError();
  // Releasing one leaves the other's logger, strings, album and texts alone.
  first.Reset();
  core_ = second;
  second.Reset();
  AddPhotos(2);
  EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);
  EXPECT_EQ(ErrorText(),
            "CVEXACore1::SetStillDelay - Delay of 1 seconds is below minimum of 2 seconds. Using default 5.\r\n");
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_EQ(engine_->burns, 1);
}

TEST_F(CoreObjectTest, TheInterfaceAnswersThroughIDispatchToo) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(core_.As(&dispatch), S_OK);
  Variant delay = Variant::I4(1);
  DISPPARAMS one{&delay, nullptr, 1, 0};
  EXPECT_EQ(dispatch->Invoke(DISPID_VEXACore1_SetStillDelay, GUID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            E_FAIL);
  TakeError();
  DISPPARAMS none{};
  Variant code;
  ASSERT_EQ(dispatch->Invoke(DISPID_VEXACore1_GetErrorCode, GUID_NULL, 0, DISPATCH_METHOD, &none, &code, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(code.vt, VT_I4);
  EXPECT_EQ(code.lVal, VEXACoreStillDelayTooSmall);
  Variant inquiry;
  ASSERT_EQ(dispatch->Invoke(DISPID_VEXACore1_GetInquiry, GUID_NULL, 0, DISPATCH_METHOD, &none, &inquiry, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(inquiry.vt, VT_BSTR);
  EXPECT_EQ(BstrToUtf8(inquiry.bstrVal), "VEXA     SIMULATED CDRW 1.00");
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(u"createvcd");
  EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, DISPID_VEXACore1_CreateVCD);
}

// The server leaves only its four module entry points visible.
TEST(CoreLibraryTest, TheServerExportsOnlyItsEntryPoints) {
  const char* build = std::getenv("VEXA_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  VEXA_CORE_REQUIRE_TOOL("/usr/bin/nm");
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/nm -D --defined-only " + Quote(std::string(build) + "/lib/vexa/libvexacore.so"), &out),
            0)
      << out;
  std::istringstream in(out);
  std::set<std::string> exported;
  std::string address, type, name;
  while (in >> address >> type >> name) {
    // The linker's section markers and AddressSanitizer's own symbols.
    if (type == "A" || name == "_edata" || name == "_end" || name == "__bss_start" || name == "_init" ||
        name == "_fini" || name.rfind("__odr_asan", 0) == 0 || name.rfind("__asan", 0) == 0) {
      continue;
    }
    // The sanitizers' type checks keep the type information of Qt's classes
    // visible; none of ours may leave.
    if ((name.rfind("_ZTI", 0) == 0 || name.rfind("_ZTS", 0) == 0) && name.find("4vexa") == std::string::npos) {
      continue;
    }
    exported.insert(name);
  }
  EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                             "DllUnregisterServer"}));
}

}  // namespace
}  // namespace vexa::core::test
