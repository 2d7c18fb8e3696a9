// Album input and files: album files in both dialects, further copies from
// the kept album, the include folder, files on the writer's disc and on
// removable media, and the work directory's clean-up.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "core/CoreFiles.h"
#include "core/CoreXML.h"
#include "core/tests/CoreFixture.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class AlbumTest : public CoreFixture {
 protected:
  HRESULT Run() { return core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE); }
  // The engine calls that make up a disc's content (the title picture's
  // temporary name left out).
  std::vector<std::string> Content() {
    std::vector<std::string> out;
    for (const auto& c : engine_->Calls()) {
      if (c.rfind("AddStill ", 0) == 0 && c.size() > 3 && c.substr(c.size() - 3) == "|-1") {
        out.push_back("title still");
      } else if (c.rfind("AddStill", 0) == 0 || c.rfind("AddAudioTrack", 0) == 0 || c.rfind("SetStill", 0) == 0 ||
                 c.rfind("SetTVSystem", 0) == 0 || c.rfind("SetTitleLines", 0) == 0 || c.rfind("SetPaperSize", 0) == 0) {
        out.push_back(c);
      }
    }
    return out;
  }
  void StoreAlbum(CVexaCoreXML& xml, const std::string& path) {
    ComPtr<IStillsSlideShow1XML> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, CLSCTX_ALL, IID_IStillsSlideShow1XML,
                               mapper.PutVoid()),
              S_OK);
    Bstr p = Bstr::FromUtf8(path);
    ASSERT_EQ(mapper->storeToFile(p.Get(), xml.Album()), S_OK);
  }
};

TEST_F(AlbumTest, BothDialectsOfTheSameAlbumGiveTheSameDisc) {
  // The partner sample beside its photos and music.
  std::string sample;
  ASSERT_TRUE(base::ReadFile(base::JoinPath(base::ShareDir(), "samples/marwick-album.xml"), &sample));
  base::MakeDirs(Path("album"));
  ASSERT_TRUE(base::WriteFileAtomic(Path("album/marwick.xml"), sample));
  Photo("album/photos/arrival.jpg");
  Photo("album/photos/the pier.jpg");
  Photo("album/photos/sunset.jpg");
  Photo("album/music/theme.mp3");

  // The same album in the system's own format, with absolute paths.
  CVexaCoreUtil util;
  CVexaCoreXML own(util);
  ASSERT_TRUE(own.Init("", VEXACoreXML));
  ASSERT_TRUE(own.SetTitleLines(u"Summer 2002", u"At the lake house", u""));
  ASSERT_TRUE(own.SetTVSystem(VEXACoreTVPAL));
  ASSERT_TRUE(own.SetStillDelay(5));
  ASSERT_TRUE(own.SetStillTitleVisibleTime(3));
  ASSERT_TRUE(own.SetPaperSize(VEXACorePaperSizeInvalid));
  Bstr arrival(u"Arrival"), pier(u"On the pier & the boat");
  ASSERT_TRUE(own.AddStill("", Path("album/photos/arrival.jpg"), -1, -1.0, arrival.Get(), 0, VARIANT_FALSE));
  ASSERT_TRUE(own.AddStill("", Path("album/photos/the pier.jpg"), -1, -1.0, pier.Get(), 0, VARIANT_FALSE));
  ASSERT_TRUE(own.AddStill("", Path("album/photos/sunset.jpg"), -1, -1.0, nullptr, 0, VARIANT_FALSE));
  ASSERT_TRUE(own.AddAudioTrack("", Path("album/music/theme.mp3"), -1.0));
  StoreAlbum(own, Path("album/own.xml"));

  std::vector<std::vector<std::string>> discs;
  for (auto [file, format] : {std::pair{"album/marwick.xml", VEXACoreCueXML}, std::pair{"album/own.xml", VEXACoreXML}}) {
    engine_ = std::make_shared<FakeEngineScript>();
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
    Bstr album = Bstr::FromUtf8(Path(file));
    ASSERT_EQ(core_->AddAlbumFile(album.Get(), format), S_OK) << file << ": " << ErrorText() << [&] {
      std::string all;
      for (const auto& l : log_->lines) all += l.type + " " + l.text + "\n";
      return all;
    }();
    ASSERT_EQ(Run(), S_OK) << ErrorText();
    discs.push_back(Content());
    core_.Reset();
  }
  EXPECT_EQ(discs[0], discs[1]);
  const std::vector<std::string> expected = {
      "SetTVSystem 2",
      "SetStillDelay 5000",
      "SetStillTitleVisibleTime 3000",
      "SetTitleLines Summer 2002|At the lake house|",
      "title still",
      "AddStill " + Path("album/photos/arrival.jpg") + "|" + Path("album/photos/arrival.jpg") + "|0|0|0",
      "AddStill " + Path("album/photos/the pier.jpg") + "|" + Path("album/photos/the pier.jpg") + "|0|0|0",
      "AddStill " + Path("album/photos/sunset.jpg") + "|" + Path("album/photos/sunset.jpg") + "|0|0|0",
      "AddAudioTrack " + Path("album/music/theme.mp3"),
      "SetPaperSize 0",
  };
  EXPECT_EQ(discs[0], expected);
}

// An album file that cannot be read at all (a mistyped name, a folder) is
// said as such in the error message, never as the general problem with its
// advice to reboot and reinstall.
TEST_F(AlbumTest, AnAlbumFileThatCannotBeReadIsNamedWithTheReason) {
  base::MakeDirs(Path("a folder.xml"));
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {Path("albun.xml"), "cannot open '" + Path("albun.xml") + "': No such file or directory"},
      {Path("a folder.xml"), "'" + Path("a folder.xml") + "' is a folder, not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    Bstr album = Bstr::FromUtf8(c.path);
    EXPECT_EQ(core_->AddAlbumFile(album.Get(), VEXACoreXML), E_FAIL);
    EXPECT_EQ(Code(), VEXACoreFailure);
    EXPECT_EQ(ErrorText(), "CVEXACore1::AddAlbumFile - The album file cannot be read: " + c.reason + ".\r\n");
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_TRUE(ui_->messages[0].isError);
    EXPECT_EQ(ui_->messages[0].text, "The album file cannot be read:\r\n\r\n" + c.reason +
                                         "\r\n\r\nCheck the file's name and folder, then try again.");
    core_.Reset();
  }
}

// An album with a title and 599 pictures is one picture more than a disc
// holds: refused before any of its pictures is added, saying how many to
// remove.
TEST_F(AlbumTest, AnAlbumOfMorePicturesThanADiscHoldsIsRefusedBeforeAnyIsAdded) {
  const std::string photo = Photo("album/photo.jpg");
  CVexaCoreUtil util;
  CVexaCoreXML own(util);
  ASSERT_TRUE(own.Init("", VEXACoreXML));
  ASSERT_TRUE(own.SetTitleLines(u"Six hundred", u"", u""));
  ASSERT_TRUE(own.AddStill("", photo, -1, -1.0, nullptr, 0, VARIANT_FALSE));
  StoreAlbum(own, Path("album/own.xml"));
  // The one still's element 599 times.
  std::string xml;
  ASSERT_TRUE(base::ReadFile(Path("album/own.xml"), &xml));
  const std::size_t from = xml.find("<StillImage>"), to = xml.find("</StillImage>") + 13;
  ASSERT_NE(from, std::string::npos);
  std::string stills;
  for (int i = 0; i < 599; ++i) stills += xml.substr(from, to - from);
  ASSERT_TRUE(base::WriteFileAtomic(Path("album/own.xml"), xml.replace(from, to - from, stills)));
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr album = Bstr::FromUtf8(Path("album/own.xml"));
  EXPECT_EQ(core_->AddAlbumFile(album.Get(), VEXACoreXML), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreTooManyStills);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("CVEXACore1::AddStills - Too many pictures: a disc holds at most 599, the title picture "
                      "included; this disc would have 600 (599 pictures and the title picture). Remove 1 of the "
                      "pictures.\r\nCVEXACore1::AddAlbumFile - AddStills call failed.\r\n"),
            std::string::npos)
      << text;
  // The title picture only.
  EXPECT_EQ(Count("AddStill"), 1);
}

TEST_F(AlbumTest, AnAlbumsShortDelayAndUnsetValuesLeaveTheDefaults) {
  CVexaCoreUtil util;
  CVexaCoreXML xml(util);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  ASSERT_TRUE(xml.SetStillDelay(2));
  ASSERT_TRUE(xml.SetStillTitleVisibleTime(0));
  ASSERT_TRUE(xml.SetTVSystem(VEXACoreTVINVALID));
  ASSERT_TRUE(xml.SetPaperSize(VEXACorePaperSizeInvalid));
  ASSERT_TRUE(xml.AddStill("", Photo("a.jpg"), -1, -1.0, nullptr, 0, VARIANT_FALSE));
  StoreAlbum(xml, Path("short.xml"));
  localeTv_ = 2;
  localePaper_ = 0;
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr album = Bstr::FromUtf8(Path("short.xml"));
  ASSERT_EQ(core_->AddAlbumFile(album.Get(), VEXACoreXML), S_OK) << ErrorText();
  EXPECT_EQ(Count("SetStillDelay"), 0);
  EXPECT_EQ(Count("SetTVSystem"), 0);
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(EngineCalls("SetStillDelay"), std::vector<std::string>{"SetStillDelay 5000"});
  EXPECT_EQ(EngineCalls("SetStillTitleVisibleTime"), std::vector<std::string>{"SetStillTitleVisibleTime 2000"});
  EXPECT_EQ(EngineCalls("SetTVSystem"), std::vector<std::string>{"SetTVSystem 2"});
  EXPECT_EQ(EngineCalls("SetPaperSize"), std::vector<std::string>{"SetPaperSize 1"});
  core_.Reset();

  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr none(u"");
  EXPECT_EQ(core_->AddAlbumFile(none.Get(), VEXACoreXML), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAlbumFile - Invalid input file.\r\n");
  Bstr missing = Bstr::FromUtf8(Path("missing.xml"));
  EXPECT_EQ(core_->AddAlbumFile(missing.Get(), VEXACoreXML), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAlbumFile - The album file cannot be read: cannot open '" +
                             Path("missing.xml") + "': No such file or directory.\r\n");
  // A file that is there but no album still fails in the album reader.
  ASSERT_TRUE(base::WriteFileAtomic(Path("not an album.xml"), "<notes/>\n"));
  Bstr notes = Bstr::FromUtf8(Path("not an album.xml"));
  EXPECT_EQ(core_->AddAlbumFile(notes.Get(), VEXACoreXML), E_FAIL);
  EXPECT_NE(ErrorText().find("CVEXACore1::AddAlbumFile - XML Init call failed.\r\n"), std::string::npos);
}

// A call the object makes of itself that fails raises its texts at once: a
// caller that appends the callee's text keeps them, in order, before its own
// line; one that does not ends with its own line alone.
TEST_F(AlbumTest, AFailedInnerCallsTextsReachTheClientOnlyWhereTheCallerAppendsThem) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  AddPhotos(1);
  engine_->failing = {"SetStillDelay"};
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  const std::string kept = ErrorText();
  std::size_t at = 0;
  for (const char* line : {"SetStillDelay failed in the fake engine\r\n",
                           "CVexaODBase::SetStillDelay - SetStillDelay call failed for value 5.\r\n",
                           "CVEXACore1::SetStillDelay - ODBase SetStillDelay call failed for value 5.\r\n",
                           "CVEXACore1::CreateVCD - Still Delay not set; using default:5.\r\n"}) {
    at = kept.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in order in:\n" << kept;
  }
  EXPECT_EQ(at + std::string("CVEXACore1::CreateVCD - Still Delay not set; using default:5.\r\n").size(), kept.size());
  core_.Reset();

  CVexaCoreUtil util;
  CVexaCoreXML xml(util);
  ASSERT_TRUE(xml.Init("", VEXACoreXML));
  ASSERT_TRUE(xml.SetTVSystem(VEXACoreTVPAL));
  StoreAlbum(xml, Path("pal.xml"));
  engine_ = std::make_shared<FakeEngineScript>();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  engine_->failing = {"SetTVSystem"};
  Bstr album = Bstr::FromUtf8(Path("pal.xml"));
  EXPECT_EQ(core_->AddAlbumFile(album.Get(), VEXACoreXML), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAlbumFile - SetTVSystem call failed.\r\n");
  // Nothing of the dropped texts is left over for the next failure.
  EXPECT_EQ(core_->SetBurnSpeed(0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::SetBurnSpeed - Burn speed must be positive. Speed set = 0.\r\n");
}

TEST_F(AlbumTest, ACopyIsBuiltAgainFromTheKeptAlbumWithOneEngineAndOneWorkFolder) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  const std::string photo = Photo("crop.jpg");
  Bstr p = Bstr::FromUtf8(photo), t(u"Cropped");
  ASSERT_EQ(core_->AddStill(p.Get(), p.Get(), t.Get(), 36000.0, VEXACoreCropPicture, 180, VARIANT_FALSE), S_OK);
  const std::string song = Photo("song.wav");
  Bstr s = Bstr::FromUtf8(song);
  ASSERT_EQ(core_->AddAudioTrack(s.Get(), s.Get(), 0.0), S_OK);
  Bstr l1(u"Copy me"), e(u"");
  ASSERT_EQ(core_->SetTitleLines(l1.Get(), e.Get(), e.Get()), S_OK);
  ASSERT_EQ(core_->SetStillDelay(7), S_OK);
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  const std::string work = Object(core_.Get())->WorkDirectory();

  ASSERT_EQ(core_->MakeDuplicate(VARIANT_FALSE), S_OK) << ErrorText();
  EXPECT_EQ(engine_->made, 2);
  EXPECT_EQ(engine_->alive, 1);
  EXPECT_EQ(engine_->burns, 2);
  EXPECT_EQ(Object(core_.Get())->WorkDirectory(), work);
  EXPECT_EQ(EngineCalls("SetTempDirectory"), (std::vector<std::string>{"SetTempDirectory " + work, "SetTempDirectory " + work}));
  // The copy keeps each picture's crop, the delay, the music and the title.
  const auto stills = EngineCalls("AddStill " + photo);
  ASSERT_EQ(stills.size(), 2u);
  EXPECT_EQ(stills[0], stills[1]);
  EXPECT_EQ(stills[1], "AddStill " + photo + "|" + photo + "|1|180|0");
  EXPECT_EQ(EngineCalls("SetStillDelay"), (std::vector<std::string>{"SetStillDelay 7000", "SetStillDelay 7000"}));
  EXPECT_EQ(EngineCalls("AddAudioTrack"), (std::vector<std::string>{"AddAudioTrack " + song, "AddAudioTrack " + song}));
  EXPECT_EQ(Count("SetTitleLines Copy me||"), 2);
}

TEST_F(AlbumTest, TheIncludeFolderPutsItsFilesAtTheDiscRoot) {
  Photo("include/notes.txt");
  Photo("include/b.dat");
  Photo("include/sub/skip.txt");
  SetProductString("CORE_INCLUDE_PATH", Path("include/"));
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  AddPhotos(1);
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(EngineCalls("AddFile"),
            (std::vector<std::string>{"AddFile " + Path("include/b.dat") + "|/B.DAT|(null)",
                                      "AddFile " + Path("include/notes.txt") + "|/NOTES.TXT|(null)"}));
  core_.Reset();

  SetProductString("CORE_INCLUDE_PATH", Path("nowhere"));
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddExtraODFiles - not a real directory = " + Path("nowhere") +
                             ".\r\nCVEXACore1::CreateVCD - AddExtraODFiles call failed.\r\n");

  Bstr missing = Bstr::FromUtf8(Path("missing.txt")), dest(u"/X.TXT");
  EXPECT_EQ(core_->AddFile(missing.Get(), dest.Get(), nullptr, 0.0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddFile - File does not exist = " + Path("missing.txt") + ".\r\n");
}

// A page of the include folder with blocks goes on the disc as this disc's
// copy: it tells of the title picture and the music only when the disc has
// them. A page without blocks and any other file go as they are.
TEST_F(AlbumTest, TheIncludeFoldersPagesTellOnlyWhatTheDiscHolds) {
  const std::string page =
      "Photos.\n[TITLE]A title picture.\n[/TITLE][NOTITLE]No title picture.\n[/NOTITLE]"
      "The show[MUSIC] with music[/MUSIC][NOMUSIC] without music[/NOMUSIC].\n";
  ASSERT_TRUE(base::MakeDirs(Path("include")));
  ASSERT_TRUE(base::WriteFileAtomic(Path("include/PAGE.HTM"), page));
  ASSERT_TRUE(base::WriteFileAtomic(Path("include/plain.txt"), "The same on every disc.\n"));
  ASSERT_TRUE(base::WriteFileAtomic(Path("include/data.bin"), page));
  SetProductString("CORE_INCLUDE_PATH", Path("include/"));
  const std::string song = Photo("song.wav");
  struct Case {
    bool title, music;
    const char* expected;
  };
  const Case cases[] = {
      {true, true, "Photos.\nA title picture.\nThe show with music.\n"},
      {false, true, "Photos.\nNo title picture.\nThe show with music.\n"},
      {true, false, "Photos.\nA title picture.\nThe show without music.\n"},
      {false, false, "Photos.\nNo title picture.\nThe show without music.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.title ? "title" : "no title") + (c.music ? ", music" : ", no music"));
    const std::size_t before = EngineCalls("AddFile ").size();
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
    AddPhotos(1);
    Bstr s = Bstr::FromUtf8(song), l1(u"Title"), e(u"");
    if (c.music) {
      ASSERT_EQ(core_->AddAudioTrack(s.Get(), s.Get(), 0.0), S_OK);
    }
    if (c.title) {
      ASSERT_EQ(core_->SetTitleLines(l1.Get(), e.Get(), e.Get()), S_OK);
    }
    ASSERT_EQ(Run(), S_OK) << ErrorText();
    std::map<std::string, std::string> sources;  // disc path -> the file added
    const std::vector<std::string> calls = EngineCalls("AddFile ");
    for (std::size_t i = before; i < calls.size(); ++i) {
      const std::string& call = calls[i];
      const std::size_t bar = call.find('|');
      sources[call.substr(bar + 1, call.find('|', bar + 1) - bar - 1)] = call.substr(8, bar - 8);
    }
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources["/PLAIN.TXT"], Path("include/plain.txt"));
    EXPECT_EQ(sources["/DATA.BIN"], Path("include/data.bin"));
    // The copy lies in the run's work folder until the object goes.
    const std::string copy = sources["/PAGE.HTM"];
    EXPECT_TRUE(IsBelow(copy, Object(core_.Get())->WorkDirectory())) << copy;
    std::string text;
    ASSERT_TRUE(base::ReadFile(copy, &text)) << copy;
    EXPECT_EQ(text, c.expected);
    core_.Reset();
    EXPECT_FALSE(base::FileExists(copy));
  }
  std::string shipped;
  ASSERT_TRUE(base::ReadFile(Path("include/PAGE.HTM"), &shipped));
  EXPECT_EQ(shipped, page);
}

TEST_F(AlbumTest, AFileOnTheWritersDiscIsCopiedBeforeTheBurnReplacesIt) {
  base::MakeDirs(Path("drive"));
  engine_->drivePath = base::Utf8ToUtf16(Path("drive"));
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  const std::string onDisc = Photo("drive/pic.jpg");
  const std::string offDisc = Photo("drivex/pic.jpg");
  Bstr a = Bstr::FromUtf8(onDisc), b = Bstr::FromUtf8(offDisc), none(u"");
  ASSERT_EQ(core_->AddStill(a.Get(), a.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), S_OK);
  ASSERT_EQ(core_->AddStill(b.Get(), b.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), S_OK);
  const auto stills = EngineCalls("AddStill");
  ASSERT_EQ(stills.size(), 2u);
  const std::string copy = stills[0].substr(9, stills[0].find('|') - 9);
  EXPECT_EQ(base::DirName(copy), Object(core_.Get())->WorkDirectory());
  EXPECT_EQ(base::Extension(copy), ".jpg");
  std::string original, copied;
  ASSERT_TRUE(base::ReadFile(onDisc, &original));
  ASSERT_TRUE(base::ReadFile(copy, &copied));
  EXPECT_EQ(original, copied);
  EXPECT_EQ(stills[0], "AddStill " + copy + "|" + onDisc + "|0|0|0");
  // A file elsewhere, even one whose name begins like the drive's, stays.
  EXPECT_EQ(stills[1], "AddStill " + offDisc + "|" + offDisc + "|0|0|0");
}

TEST_F(AlbumTest, AMissingPictureOnRemovableMediaIsWaitedForAfterTheUsersOk) {
  base::MakeDirs(Path("drive"));
  engine_->drivePath = base::Utf8ToUtf16(Path("drive"));
  const std::string later = Path("drive/later.jpg");
  int pumps = 0;
  scriptUi_ = [&](ScriptedUi& ui) {
    ui.QueueAnswer(kIDOK);
    ui.QueueAnswer(kIDCANCEL);
    ui.onPump = [&] {
      // The disc comes back some seconds after the user's OK.
      if (!ui.messages.empty() && ++pumps == 6) Photo("drive/later.jpg");
    };
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  Bstr p = Bstr::FromUtf8(later), none(u"");
  ASSERT_EQ(core_->AddStill(p.Get(), p.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), S_OK)
      << ErrorText();
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "You have removed the disc with your images.\r\n\r\nPlease reinsert that disc into drive " +
                                       Path("drive") + ".\r\n\r\nClick OK to continue.");
  EXPECT_NE(std::find(ui_->Dialog()->texts.begin(), ui_->Dialog()->texts.end(), "Locating the file on your drive."),
            ui_->Dialog()->texts.end());

  Bstr gone = Bstr::FromUtf8(Path("drive/gone.jpg"));
  EXPECT_EQ(core_->AddStill(gone.Get(), gone.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreCancelled);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore::CheckIfFileExists - User pressed Cancel"));
  // A missing file on a fixed disk is simply missing: no question.
  Bstr fixed = Bstr::FromUtf8(Path("fixed/none.jpg"));
  EXPECT_EQ(core_->AddStill(fixed.Get(), fixed.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  EXPECT_EQ(ui_->messages.size(), 2u);
  // A pipe on the disc is no disc taken out: refused at once, saying what
  // it is, with no question and no wait.
  ASSERT_EQ(::mkfifo(Path("drive/pipe.jpg").c_str(), 0644), 0);
  Bstr pipe = Bstr::FromUtf8(Path("drive/pipe.jpg"));
  EXPECT_EQ(core_->AddStill(pipe.Get(), pipe.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(ui_->messages.size(), 2u);
  EXPECT_NE(ErrorText().find("is a FIFO, not a regular file"), std::string::npos) << ErrorText();
}

TEST_F(AlbumTest, TheWorkFolderGoesWithAllItsContentReadOnlyOnesIncluded) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  const std::string work = Object(core_.Get())->WorkDirectory();
  Photo("work/vexaCoreTemp/locked/inner.txt");
  Photo("work/vexaCoreTemp/plain.txt");
  ::chmod(Path("work/vexaCoreTemp/plain.txt").c_str(), S_IRUSR);
  ::chmod(Path("work/vexaCoreTemp/locked").c_str(), S_IRUSR | S_IXUSR);
  // A link out of the folder is removed, never followed.
  Photo("keep/precious.txt");
  std::filesystem::create_directory_symlink(Path("keep"), Path("work/vexaCoreTemp/link"));
  core_.Reset();
  EXPECT_FALSE(base::DirExists(work));
  EXPECT_TRUE(base::FileExists(Path("keep/precious.txt")));

  // doClean off keeps it.
  core_ = Make();
  Bstr dir = Bstr::FromUtf8(Path("kept/"));
  ASSERT_EQ(core_->Init(VEXACoreShowStatusNothing, dir.Get(), VARIANT_FALSE), S_OK);
  core_.Reset();
  EXPECT_TRUE(base::DirExists(Path("kept/vexaCoreTemp")));
}

}  // namespace
}  // namespace vexa::core::test
