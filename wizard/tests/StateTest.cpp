// The pages' state without any window: the music choice, the disc settings,
// the title lines and the finish page's summary, driven as plain objects
// over a real session album and settings file. This program links Qt's core
// only (no widgets, no GUI), which is the point of keeping the state apart.
#include <filesystem>
#include <fstream>
#include <memory>

#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/state/DiscSettings.h"
#include "wizard/state/DiscSummary.h"
#include "wizard/state/MusicChoice.h"
#include "wizard/state/TitleLines.h"
#include "wizard/tests/PlainTestSupport.h"

namespace {

using namespace vexa::wiz;

class StateTest : public vexa::wiz::testing::PlainTest {
 protected:
  std::string Path(const std::string& name) const { return m_temp.Path(name); }
  std::string File(const std::string& name) {
    const std::string path = Path(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
    return path;
  }
  // The session: a settings file and an empty session album.
  void OpenSession() {
    m_wiz.settings = std::make_unique<CvexaSettingsAccess>();
    ASSERT_TRUE(m_wiz.settings->Open(Path("orlunedisc.ini")));
    m_wiz.sessionAlbum = std::make_unique<CVexaWizXML>(m_wiz);
    ASSERT_TRUE(m_wiz.sessionAlbum->Init(Path("lastAlbum.xml"), true));
  }
  CvexaSettingsAccess& Settings() { return *m_wiz.settings; }
  CVexaWizXML& Album() { return *m_wiz.sessionAlbum; }
};

// ---- Music ------------------------------------------------------------------------------------

TEST_F(StateTest, MusicOptionsAreStoredByTheirNames) {
  const std::pair<MusicOption, const char*> cases[] = {{MusicOption::None, "noAudio"},
                                                       {MusicOption::PreInstalled, "preInstalled"},
                                                       {MusicOption::MyFile, "customSelected"},
                                                       {MusicOption::AudioCD, "fromAudioCD"}};
  for (auto [option, name] : cases) {
    EXPECT_STREQ(MusicChoice::OptionName(option), name);
    EXPECT_EQ(MusicChoice::OptionFromName(name), option) << name;
  }
  // A missing or unknown option is the music that came with the product.
  EXPECT_EQ(MusicChoice::OptionFromName(""), MusicOption::PreInstalled);
  EXPECT_EQ(MusicChoice::OptionFromName("NOAUDIO"), MusicOption::PreInstalled);
}

TEST_F(StateTest, PreInstalledMusicIsFoundPatternByPatternWithExactExtensions) {
  for (const char* name : {"music/Waltz.mp3", "music/air.MP3", "music/brook.wav", "music/c.mp3x", "music/notes.txt"})
    File(name);
  MusicChoice music;
  music.FindPreInstalled(Path("music"), "*.mp3;;*.wav");
  ASSERT_EQ(music.preInstalled.size(), 3u);
  EXPECT_EQ(music.preInstalled[0].title, "Waltz");
  EXPECT_EQ(music.preInstalled[1].title, "air");
  EXPECT_EQ(music.preInstalled[1].path, Path("music/air.MP3"));
  EXPECT_EQ(music.preInstalled[2].title, "brook");
  EXPECT_EQ(music.selected, 0);

  music.SelectStoredTitle("BRO");
  EXPECT_EQ(music.SelectedTitle(), "brook");
  music.SelectStoredTitle("nothing like it");
  EXPECT_EQ(music.SelectedTitle(), "brook");
  EXPECT_EQ(music.SelectedPath(), Path("music/brook.wav"));
}

TEST_F(StateTest, TheControlsFollowTheOption) {
  MusicChoice music;
  struct Case {
    MusicOption option;
    bool tracks, file, cd;
    MusicChoice::Controls on;
  } cases[] = {
      {MusicOption::None, true, true, true, {false, false, false, false, true}},
      // No pre-installed music: neither Play nor Next.
      {MusicOption::PreInstalled, false, false, false, {true, false, false, false, false}},
      {MusicOption::PreInstalled, true, false, false, {true, false, false, true, true}},
      {MusicOption::MyFile, true, false, true, {false, false, true, false, false}},
      {MusicOption::MyFile, false, true, false, {false, false, true, true, true}},
      {MusicOption::AudioCD, true, true, false, {false, true, false, false, false}},
      {MusicOption::AudioCD, false, false, true, {false, true, false, true, true}},
  };
  for (const Case& c : cases) {
    music.option = c.option;
    music.preInstalled.clear();
    if (c.tracks) music.preInstalled.push_back({"a", "/m/a.mp3"});
    music.file = c.file ? "/m/mine.mp3" : "";
    music.cdTrack = c.cd ? "/cd/Track01.cda" : "";
    const MusicChoice::Controls on = music.Enabled();
    SCOPED_TRACE(MusicChoice::OptionName(c.option));
    EXPECT_EQ(on.list, c.on.list);
    EXPECT_EQ(on.cdTrack, c.on.cdTrack);
    EXPECT_EQ(on.file, c.on.file);
    EXPECT_EQ(on.play, c.on.play);
    EXPECT_EQ(on.next, c.on.next);
  }
}

TEST_F(StateTest, TheAlbumsTrackWinsOverTheStoredChoice) {
  const std::string waltz = File("music/Waltz.mp3");
  const std::string mine = File("mine/song.wav");
  std::filesystem::create_directories(Path("cdrom"));
  MusicChoice music;
  music.FindPreInstalled(Path("music"), "*.mp3");
  struct Case {
    std::string track;
    bool present;
    MusicOption option;
    std::string selected;
  } cases[] = {
      {"", true, MusicOption::None, ""},
      {waltz, true, MusicOption::PreInstalled, waltz},
      {Path("cdrom/Track03.CDA"), true, MusicOption::AudioCD, Path("cdrom/Track03.CDA")},
      {mine, true, MusicOption::MyFile, mine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.track);
    music.option = MusicOption::PreInstalled;
    music.TakeAlbumTrack(c.track, c.present);
    EXPECT_EQ(music.option, c.option);
    EXPECT_EQ(music.SelectedPath(), c.selected);
  }
  // A track whose file is gone leaves the choice as it was.
  music.option = MusicOption::None;
  music.TakeAlbumTrack(Path("gone.mp3"), true);
  EXPECT_EQ(music.option, MusicOption::None);
  // So does an audio-CD track of a drive that is not there.
  music.TakeAlbumTrack(Path("nodrive/Track01.cda"), true);
  EXPECT_EQ(music.option, MusicOption::None);
}

TEST_F(StateTest, TheMusicChoiceGoesToTheSettingsAndTheAlbum) {
  OpenSession();
  const std::string mine = File("mine/song.mp3");
  Settings().WriteString("setupAudio", "optionSelected", "customSelected");
  Settings().WriteString("setupAudio", "customAudioFilePath", mine);
  MusicChoice music;
  music.Load(m_wiz);
  EXPECT_EQ(music.option, MusicOption::MyFile);
  EXPECT_EQ(music.SelectedPath(), mine);

  music.Save(m_wiz);
  std::string track;
  DATE date = 0;
  bool present = false;
  ASSERT_TRUE(Album().GetFirstAudioTrack(&track, &date, &present));
  EXPECT_TRUE(present);
  EXPECT_EQ(track, mine);

  // No music: the album gets an empty track, which the next start reads as
  // "no music" whatever the settings say.
  music.option = MusicOption::None;
  music.Save(m_wiz);
  EXPECT_EQ(Settings().ReadString("setupAudio", "optionSelected"), "noAudio");
  ASSERT_TRUE(Album().GetFirstAudioTrack(&track, &date, &present));
  EXPECT_TRUE(present);
  EXPECT_EQ(track, "");
  Settings().WriteString("setupAudio", "optionSelected", "customSelected");
  MusicChoice again;
  again.Load(m_wiz);
  EXPECT_EQ(again.option, MusicOption::None);
}

// ---- Disc settings --------------------------------------------------------------------------

TEST_F(StateTest, DelayAndTVSystemComeFromTheAlbum) {
  OpenSession();
  struct Case {
    LONG delay;
    int shown;
  } delays[] = {{7, 7}, {2, 2}, {10, 10}, {15, 5}, {1, 5}};
  for (const Case& c : delays) {
    ASSERT_TRUE(Album().SetStillDelay(c.delay));
    DiscSettings settings;
    int failures = 0;
    settings.Load(m_wiz, [&] { ++failures; });
    EXPECT_EQ(settings.delay, c.shown) << c.delay;
    EXPECT_EQ(failures, 0);
  }
  // The album's own TV system, as the disc is made: FILM as NTSC, SECAM as PAL.
  const std::pair<LONG, bool> tvs[] = {{VEXAWizTVNTSC, false}, {VEXAWizTVFILM, false}, {VEXAWizTVPAL, true}};
  for (auto [tv, pal] : tvs) {
    ASSERT_TRUE(Album().SetTVSystem(tv));
    DiscSettings settings;
    settings.Load(m_wiz, nullptr);
    EXPECT_EQ(settings.pal, pal) << tv;
    EXPECT_EQ(IsNTSC(m_wiz), !pal) << tv;
  }
  // Without an album the title picture is made for NTSC.
  m_wiz.sessionAlbum.reset();
  EXPECT_TRUE(IsNTSC(m_wiz));
}

TEST_F(StateTest, WithoutAnAlbumTheProblemIsReportedOnce) {
  DiscSettings settings;
  int failures = 0;
  settings.Load(m_wiz, [&] { ++failures; });
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(settings.delay, DiscSettings::kDefaultDelay);
  EXPECT_FALSE(settings.pal);
  failures = 0;
  settings.Save(m_wiz, [&] { ++failures; });
  EXPECT_EQ(failures, 1);
}

TEST_F(StateTest, WithoutAWriterTheDefaultSpeedIsTheOnlyChoiceAndIsStored) {
  OpenSession();
  DiscSettings settings;
  int listed = 0;
  EXPECT_FALSE(settings.LoadSpeeds(m_wiz, [&] { ++listed; }));
  EXPECT_EQ(listed, 1);
  ASSERT_EQ(settings.speeds, std::vector<LONG>{2});
  EXPECT_EQ(settings.speedIndex, 0);

  settings.delay = 8;
  settings.pal = true;
  settings.Save(m_wiz, nullptr);
  LONG delay = 0, tv = -1;
  ASSERT_TRUE(Album().GetStillDelay(&delay));
  ASSERT_TRUE(Album().GetTVSystem(&tv));
  EXPECT_EQ(delay, 8);
  EXPECT_EQ(tv, VEXAWizTVPAL);
  EXPECT_EQ(Settings().ReadString("settings", "selectedBurnSpeed"), "2");
  // Without a chosen speed nothing is written.
  Settings().WriteString("settings", "selectedBurnSpeed", "16");
  settings.speedIndex = -1;
  settings.Save(m_wiz, nullptr);
  EXPECT_EQ(Settings().ReadString("settings", "selectedBurnSpeed"), "16");
}

// ---- Title lines ----------------------------------------------------------------------------

TEST_F(StateTest, AClippedTitleLineGoesBackToItsLastFittingText) {
  TitleLines titles;
  titles.lines = {"Summer", "Lake", ""};
  EXPECT_EQ(titles.TakePicture({false, false, false}), -1);
  titles.lines = {"Summer 2026", "Lake Orlune and the far shore", "x"};
  EXPECT_EQ(titles.TakePicture({false, true, false}), 1);
  EXPECT_EQ(titles.lines[0], "Summer 2026");
  EXPECT_EQ(titles.lines[1], "Lake");
  EXPECT_EQ(titles.lines[2], "x");
  // Two lines clipped at once: the first is the one the user is told of.
  titles.lines = {"Summer 2026 and more", "Lake", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"};
  EXPECT_EQ(titles.TakePicture({true, false, true}), 0);
  EXPECT_EQ(titles.lines[0], "Summer 2026");
  EXPECT_EQ(titles.lines[2], "x");
  // Both stay cut, through pictures where everything fits, until each is
  // changed by the user.
  EXPECT_EQ(titles.TakePicture({false, false, false}), -1);
  EXPECT_EQ(titles.FirstCut(), 0);
  titles.Edited(0);
  EXPECT_EQ(titles.FirstCut(), 1);  // from the picture before
  titles.Edited(1);
  EXPECT_EQ(titles.FirstCut(), 2);
  titles.Edited(2);
  EXPECT_EQ(titles.FirstCut(), -1);
}

// Where a line was cut, later text is refused without a picture; text put
// anywhere else, or taken away, is tried as usual.
TEST_F(StateTest, TextTypedWhereALineWasCutIsRefused) {
  TitleLines titles;
  titles.lines = {"Our wonderful summ", "", ""};
  titles.TakePicture({false, false, false});
  titles.lines[0] = "Our wonderful summe";
  EXPECT_EQ(titles.TakePicture({true, false, false}), 0);
  EXPECT_EQ(titles.cutAt[0], 18);
  const struct {
    const char* text;
    bool refused;
  } cases[] = {
      {"Our wonderful summr", true},   // a narrower letter in place of the refused one
      {"Our wonderful summer", true},  // more of what was typed
      {"Our wonderful sum", false},    // a letter taken away
      {"Our  wonderful summ", false},  // a letter put elsewhere
      {"Summer", false},               // the line replaced
      {"Our wonderful summ", false},   // the line as it stands
  };
  for (const auto& c : cases) EXPECT_EQ(titles.Refuses(0, c.text), c.refused) << c.text;
  EXPECT_FALSE(titles.Refuses(1, "anything"));
  titles.Edited(0);
  EXPECT_FALSE(titles.Refuses(0, "Our wonderful summr"));

  // The place is where a character starts, never inside one.
  EXPECT_EQ(TitleLines::InsertionPoint("\xC3\xA9", "\xC3\xA8\xC3\xA9"), 0);  // è before é
  EXPECT_EQ(TitleLines::InsertionPoint("Caf", "Caf\xC3\xA9"), 3);
  EXPECT_EQ(TitleLines::InsertionPoint("abc", "abxc"), 2);
  EXPECT_EQ(TitleLines::InsertionPoint("abc", "xyzw"), -1);
  EXPECT_EQ(TitleLines::InsertionPoint("abc", "ab"), -1);
  // A long paste over the whole line, refused, leaves no place: what is
  // typed next is tried.
  titles.lines[0] = "A pasted line far too long for the title picture";
  titles.TakePicture({true, false, false});
  EXPECT_EQ(titles.cutAt[0], -1);
  EXPECT_FALSE(titles.Refuses(0, "Our wonderful summ!"));
}

TEST_F(StateTest, TitleLinesGoToTheSettingsAndTheAlbum) {
  OpenSession();
  TitleLines titles;
  titles.lines = {"One", "", "Three"};
  titles.Save(m_wiz);
  EXPECT_EQ(Settings().ReadString("setupTitles", "title1"), "One");
  EXPECT_EQ(Settings().ReadString("setupTitles", "title3"), "Three");
  TitleLines loaded;
  loaded.Load(m_wiz);
  EXPECT_EQ(loaded.lines, titles.lines);
}

// ---- Summary --------------------------------------------------------------------------------

TEST_F(StateTest, CountTextsTakeTheirNumberWhereTheMarkStands) {
  EXPECT_EQ(FormatCountText("%ldx", 16), "16x");
  EXPECT_EQ(FormatCountText("Images: %d", 3), "Images: 3");
  EXPECT_EQ(FormatCountText("Speed ", 4), "Speed 4");
}

TEST_F(StateTest, TheSummaryOfAnEmptyAlbumWithoutAWriter) {
  OpenSession();
  ASSERT_TRUE(Album().SetStillDelay(-1));
  ASSERT_TRUE(Album().SetTVSystem(VEXAWizTVFILM));
  ASSERT_TRUE(Album().SetTitleLines("Holiday", "", ""));
  ASSERT_TRUE(Album().AddAudioTrack(Path("music/Waltz.mp3"), 0.0));
  std::string text;
  ASSERT_TRUE(BuildDiscSummary(m_wiz, &text));
  EXPECT_EQ(text,
            "Number of Images: 0\r\n\r\n"
            "Title1: Holiday\r\nTitle2: none\r\nTitle3: none\r\n\r\n"
            "Music: Waltz.mp3\r\n\r\n"
            "Display Time: 5\r\n"
            "Recording Speed: 2x\r\n"
            "Video CD Format: NTSC\r\n"
            "CD Writer: None\r\n\r\n\r\n");
  // The speed shown is the one written back for the burn.
  EXPECT_EQ(Settings().ReadString("settings", "selectedBurnSpeed"), "2");

  // Without a session album there is no summary.
  m_wiz.sessionAlbum.reset();
  EXPECT_FALSE(BuildDiscSummary(m_wiz, &text));
}

}  // namespace
