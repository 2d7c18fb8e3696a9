// The status mode without a window system: the status dialog's content on a
// terminal (through a pseudo-terminal, as a user sees it) and as plain lines
// through a pipe, with the questions answered from the keyboard or, without
// one, by the dialog's default.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "core/StringTable.h"
#include "core/TerminalUi.h"
#include "core/tests/CoreFixture.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/StatusSequence.h"
#include "platform/base/Path.h"

namespace vexa::core::test {
namespace {

// Reads what is there to read from fd, waiting up to a second for the
// first bytes and then only while more keep coming.
std::string Drain(int fd) {
  std::string out;
  char buf[4096];
  int wait = 1000;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN)) return out;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return out;
    out.append(buf, static_cast<std::size_t>(n));
    wait = 100;
  }
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A pseudo-terminal: the test holds the master end, the port the slave.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
  }
  ~Pty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool Ok() const { return master_ >= 0 && slave_ >= 0 && ::isatty(slave_) == 1; }
  int master() const { return master_; }
  int slave() const { return slave_; }
  void Type(const std::string& keys) const { ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

 private:
  int master_ = -1;
  int slave_ = -1;
};

class TerminalTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    log_ = std::make_shared<LogStore>();
    util_.SetLogger(MakeFakeLogger(log_));
    util_.SetStrings(LoadLanguageLibrary("ENU"));
  }
  std::shared_ptr<LogStore> log_;
  CVexaCoreUtil util_;
};

TEST_F(TerminalTest, OnATerminalTheStepsGetLinesAndTheProgressIsOneLineRedrawnInPlace) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  TerminalStreams streams{pty.slave(), pty.slave(), true, true};
  TerminalUi ui(util_, streams);
  EXPECT_TRUE(ui.IsInteractive());
  EXPECT_FALSE(ui.Unattended());
  EXPECT_FALSE(ui.StatusHasButtons());
  std::string screen;
  EXPECT_EQ(RunStatusSequence(ui, util_, [&](int) { screen += Drain(pty.master()); }), 7);
  screen += Drain(pty.master());

  // The six steps, each on a line of its own, in their order.
  const char* const names[6] = {"Checking the disc in the CD writer", "Erasing the rewritable disc",
                                "Creating the photo show", "Arranging the disc contents", "Checking the disc image",
                                "Writing the disc"};
  std::size_t at = 0;
  for (int step = 1; step <= 6; ++step) {
    const std::string line = "Step " + std::to_string(step) + " of 6: " + names[step - 1];
    const std::size_t found = screen.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << screen;
    at = found;
  }
  // The progress line is drawn over itself (carriage return, then clear to
  // the end of the line) as the bar moves, never with a line feed between.
  EXPECT_NE(screen.find("\r[##########..........]  50%  Time Remaining: 0:04\x1b[K"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\r[####################] 100%  Write speed 8x - Time Remaining: 1:05\x1b[K"),
            std::string::npos)
      << screen;
  EXPECT_GE(Occurrences(screen, "\r["), 30u);
  EXPECT_EQ(Occurrences(screen, "%  Time Remaining: 0:04\x1b[K\n"), 0u);
  // The status texts go to the log too.
  EXPECT_TRUE(log_->Has("INFO", "Finishing photo show creation"));
}

TEST_F(TerminalTest, ALongMessageIsCutToTheTerminalsWidthSoTheLineCanBeDrawnOver) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  winsize size{};
  size.ws_col = 40;
  size.ws_row = 24;
  ASSERT_EQ(::ioctl(pty.slave(), TIOCSWINSZ, &size), 0);
  TerminalUi ui(util_, {pty.slave(), pty.slave(), true, true});
  ui.Status().Show();
  ui.Status().SetStatusText("\xC3\xA9tape " + std::string(100, 'x'));
  const std::string screen = Drain(pty.master());
  const std::size_t from = screen.rfind('\r'), to = screen.find("\x1b[K", from);
  ASSERT_NE(to, std::string::npos) << screen;
  // 39 characters (the e with its accent is two bytes).
  EXPECT_EQ(screen.substr(from + 1, to - from - 1), "[....................]   0%  \xC3\xA9tape xxxx");
}

TEST_F(TerminalTest, QuestionsAreAnsweredFromTheKeyboard) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  TerminalUi ui(util_, {pty.slave(), pty.slave(), true, true});
  ui.Status().Show();
  ui.Status().SetProgress(40);
  struct Row {
    int type;
    bool checkBox;
    std::string keys;
    int expected;
    bool clicked;
  } rows[] = {
      {kMessageYesNo, false, "n\n", kIDNO, false},
      {kMessageYesNo, false, "\n", kIDYES, false},          // Enter: the default button
      {kMessageYesNo | kMessageSecondDefault, false, "\n", kIDNO, false},  // ... No where it is marked so
      {kMessageYesNo | kMessageSecondDefault, false, "y\n", kIDYES, false},
      {kMessageYesNo, false, "maybe\nYES\n", kIDYES, false},  // asked again until it is an answer
      {kMessageOKCancel, false, "c\n", kIDCANCEL, false},
      {kMessageOKCancel, false, " ok \n", kIDOK, false},
      {kMessageOK, true, "d\n", kIDOK, true},  // OK, and no more reminders
      {kMessageOK, true, "\n", kIDOK, false},
  };
  for (const Row& r : rows) {
    pty.Type(r.keys);
    bool clicked = !r.clicked;
    EXPECT_EQ(ui.DoMessage(r.type, "The CD-RW disc is not blank.\r\n\r\nClick Yes to erase.", false, r.checkBox,
                           false, &clicked),
              r.expected)
        << r.keys;
    EXPECT_EQ(clicked, r.clicked) << r.keys;
  }
  const std::string screen = Drain(pty.master());
  EXPECT_NE(screen.find("Kv Orlune Disc Creator Software - Message\r\nThe CD-RW disc is not blank.\r\n\r\nClick Yes "
                        "to erase.\r\nYes or No? [y/n, Enter: Yes] "),
            std::string::npos)
      << screen;
  EXPECT_NE(screen.find("OK or Cancel? [o/c, Enter: OK] "), std::string::npos) << screen;
  EXPECT_NE(screen.find("Yes or No? [y/n, Enter: No] "), std::string::npos) << screen;
  EXPECT_NE(screen.find("Press Enter for OK, or type d and Enter for OK and \"Do not show this reminder again\": "),
            std::string::npos)
      << screen;
  // The progress line comes back after each message.
  EXPECT_EQ(Occurrences(screen, "\r[########............]  40%\x1b[K"), 1u + std::size(rows)) << screen;
  // Answers from the keyboard need no log line.
  for (const std::string& line : log_->Texts()) EXPECT_EQ(line.find("TerminalUi::DoMessage"), std::string::npos);
}

TEST_F(TerminalTest, TheEndOfInputClosesTheQuestionAsEscDoes) {
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  ::close(in[1]);
  TerminalUi ui(util_, {out[1], in[0], false, true});
  EXPECT_EQ(ui.DoMessage(kMessageYesNo, "Erase?", false, false, false, nullptr), kIDNO);
  EXPECT_EQ(ui.DoMessage(kMessageOKCancel, "Retry?", false, false, false, nullptr), kIDCANCEL);
  EXPECT_EQ(ui.DoMessage(kMessageOK, "Note", true, false, false, nullptr), kIDOK);
  ::close(out[1]);
  EXPECT_NE(Drain(out[0]).find("Kv Orlune Disc Creator Software - Error\nNote\n"), std::string::npos);
  ::close(in[0]);
  ::close(out[0]);
}

TEST_F(TerminalTest, ThroughAPipeEachChangeIsAPlainLineAndNobodyIsAsked) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const int in = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(in, 0);
  TerminalUi ui(util_, {out[1], in, false, false});
  EXPECT_TRUE(ui.Unattended());
  EXPECT_EQ(RunStatusSequence(ui, util_), 7);
  bool clicked = true;
  EXPECT_EQ(ui.DoMessage(kMessageYesNo, "The CD-RW disc is not blank.\r\n\r\nClick Yes to erase the disc and continue.",
                         false, false, false, &clicked),
            kIDYES);
  EXPECT_FALSE(clicked);
  EXPECT_EQ(ui.DoMessage(kMessageOKCancel, "There is no disc in the CD Writer.", false, false, false, nullptr), kIDOK);
  EXPECT_EQ(ui.DoMessage(kMessageYesNo | kMessageSecondDefault, "Are you sure you want to cancel?", false, false, false,
                         nullptr),
            kIDNO);
  ::close(out[1]);
  const std::string text = Drain(out[0]);
  ::close(out[0]);
  ::close(in);

  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  const std::string expectedStart =
      "Step 1 of 6: Checking the disc in the CD writer\n"
      "[....................]   0%  Locating the file on your drive.\n"
      "[#####...............]  25%  Locating the file on your drive.\n"
      "[##########..........]  50%  Locating the file on your drive.\n"
      "[###############.....]  75%  Locating the file on your drive.\n"
      "[####################] 100%  Locating the file on your drive.\n"
      "Step 2 of 6: Erasing the rewritable disc\n"
      "[####################] 100%  Erasing Disc: This may take a few minutes.\n"
      "[....................]   0%  Erasing Disc: This may take a few minutes.\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart) << text;
  EXPECT_NE(text.find("Step 6 of 6: Writing the disc\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[####################] 100%  Write speed 8x - Time Remaining: 1:05\n"), std::string::npos);
  // Answered by the dialog's default, on the terminal and in the log.
  EXPECT_NE(text.find("Yes or No? [y/n, Enter: Yes] Yes (standard input is not a terminal: the default answer)\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(log_->Has("INFO",
                        "TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered \"Yes\" "
                        "to: The CD-RW disc is not blank."));
  EXPECT_TRUE(log_->Has("INFO",
                        "TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered \"OK\" to: "
                        "There is no disc in the CD Writer."));
  EXPECT_TRUE(log_->Has("INFO",
                        "TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered \"No\" to: "
                        "Are you sure you want to cancel?"));
}

// A whole run in the status mode on the terminal with nobody at the
// keyboard: the used CD-RW's question is shown and answered by its default,
// so the disc is erased and written; every line goes through a pipe.
class TerminalRunTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    ASSERT_EQ(::pipe(out_), 0);
    null_ = ::open("/dev/null", O_RDONLY);
    makeUi_ = [this](CVexaCoreUtil& util) {
      return std::make_unique<TerminalUi>(util, TerminalStreams{out_[1], null_, false, false});
    };
    // The pipe is read while the run writes, so that it never fills.
    reader_ = std::thread([this] {
      char buf[4096];
      ssize_t n;
      while ((n = ::read(out_[0], buf, sizeof buf)) > 0) text_.append(buf, static_cast<std::size_t>(n));
    });
  }
  // Everything the run wrote, once the object is gone.
  std::string Finish() {
    core_.Reset();
    if (out_[1] >= 0) ::close(out_[1]);
    out_[1] = -1;
    if (reader_.joinable()) reader_.join();
    return text_;
  }
  void TearDown() override {
    Finish();
    ::close(out_[0]);
    ::close(null_);
    CoreFixture::TearDown();
  }
  int out_[2] = {-1, -1};
  int null_ = -1;
  std::thread reader_;
  std::string text_;
};

TEST_F(TerminalRunTest, TheRunIsShownStepByStep) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  AddPhotos(2);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_EQ(engine_->burns, 1);
  const std::string text = Finish();
  std::size_t at = 0;
  for (const char* line : {"Step 1 of 6: Checking the disc in the CD writer\n",
                           "Step 3 of 6: Creating the photo show\n", "Time Remaining: 0:30\n",
                           "Step 4 of 6: Arranging the disc contents\n", "Step 5 of 6: Checking the disc image\n",
                           "Step 6 of 6: Writing the disc\n", "Write speed 8x - Time Remaining: estimating\n",
                           "Write speed 8x - Time Remaining: 0:20\n", "Orlune disc creation process complete!\n"}) {
    const std::size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n---\n" << text;
    at = found;
  }
}

TEST_F(TerminalRunTest, AUsedRewritableDiscIsNotErasedWhenNobodyCanAnswer) {
  // The question is shown and takes its default, No; nobody can put in
  // another disc, so the run ends at once as a silent one does.
  engine_->blank = {false, true};
  engine_->discType = {VEXADiscTypeRW};
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  AddPhotos(2);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(engine_->burns, 0);
  EXPECT_EQ(Count("StartErase"), 0);
  EXPECT_EQ(Code(), VEXACoreDiscIsNotBlank);
  EXPECT_NE(ErrorText().find("CVEXACore1::IsDiscBlank - The CD-RW disc in the CD writer is not blank: erase it, or put "
                             "in a blank disc."),
            std::string::npos)
      << ErrorText();
  const std::string text = Finish();
  EXPECT_EQ(Occurrences(text, "The CD-RW disc is not blank."), 1u) << text;
  EXPECT_NE(text.find("Yes or No? [y/n, Enter: No] No (standard input is not a terminal: the default answer)\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Erasing"), std::string::npos) << text;
  EXPECT_TRUE(log_->Has("INFO", "TerminalUi::DoMessage - No keyboard (standard input is not a terminal): answered "
                                "\"No\" to: The CD-RW disc is not blank."));
}

TEST_F(TerminalRunTest, WithoutADiscAndNobodyToInsertOneTheRunEndsInsteadOfWaitingForever) {
  // No disc: the drive is not ready, and what it holds cannot be read.
  engine_->driveStatus = {VEXADriveStatusNotReady};
  engine_->failing = {"IsDiscBlank"};
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  AddPhotos(1);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(engine_->burns, 0);
  EXPECT_NE(ErrorText().find("CVEXACore1::PrepareForWriting - Nobody can change the disc; giving up after two checks."),
            std::string::npos)
      << ErrorText();
  const std::string text = Finish();
  EXPECT_EQ(Occurrences(text, "There is no disc in the CD Writer."), 2u) << text;
}

// A status run that fails ends on the terminal with a line that says so and
// names the cause, as the log has it: the first failure text of the call
// that failed. The log-all mode is vexa's (the texts go to the log at once)
// and also the other one. A failure the caller lets pass is followed by a
// disc and no such line.
class TerminalVerdictTest : public CoreFixture {
 protected:
  // Everything a run on a fresh object writes through a pipe, up to and
  // including the object's release.
  std::string RunOnPipe(bool logAll, const std::function<void()>& body) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const int in = ::open("/dev/null", O_RDONLY);
    makeUi_ = [&](CVexaCoreUtil& util) {
      return std::make_unique<TerminalUi>(util, TerminalStreams{out[1], in, false, false});
    };
    std::string text;
    std::thread reader([&] {
      char buf[4096];
      ssize_t n;
      while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    });
    core_ = Make();
    EXPECT_TRUE(core_);
    if (core_) {
      core_->SetLoggingLevel(logAll ? VARIANT_TRUE : VARIANT_FALSE);
      Bstr none(u"");
      EXPECT_EQ(core_->Init(VEXACoreShowStatusAll, none.Get(), VARIANT_TRUE), S_OK);
      body();
    }
    core_.Reset();
    ::close(out[1]);
    reader.join();
    ::close(out[0]);
    ::close(in);
    com::TakeError();
    return text;
  }
  static std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
  }
};

TEST_F(TerminalVerdictTest, AFailedRunEndsWithALineThatSaysWhy) {
  const std::string folder = Path("no such folder");
  const std::string album = Path("albun.xml");
  struct Case {
    const char* name;
    std::function<void()> run;
    std::string verdict;
    std::string shown;  // also on the terminal before it ("" for nothing)
  };
  const Case cases[] = {
      {"a folder that is not there",
       [&] {
         Bstr dir = Bstr::FromUtf8(folder);
         EXPECT_EQ(core_->AddImageDirectory(dir.Get()), E_FAIL);
       },
       "The run failed: CVEXACore1::AddImageDirectory - Invalid image directory or directory does not exist: " + folder,
       "The folder " + folder + " cannot be used: there is no such folder."},
      {"captions shown longer than the pictures",
       [&] {
         EXPECT_EQ(core_->SetStillDelay(3), S_OK);
         EXPECT_EQ(core_->SetStillTitleVisibleTime(6), E_FAIL);
       },
       "The run failed: CVEXACore1::SetStillTitleVisibleTime - Delay for captions must be <= the delay for image and "
       ">= 0. Caption delay = 6. Image delay = 3.",
       ""},
      {"an album file that is not there",
       [&] {
         Bstr a = Bstr::FromUtf8(album);
         EXPECT_EQ(core_->AddAlbumFile(a.Get(), VEXACoreXML), E_FAIL);
       },
       "The run failed: CVEXACore1::AddAlbumFile - The album file cannot be read: cannot open '" + album +
           "': No such file or directory.",
       "The album file cannot be read:\n\ncannot open '" + album + "': No such file or directory\n"},
      {"a failure the caller lets pass, then the disc",
       [&] {
         EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);  // the default is kept
         AddPhotos(1);
         EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK);
       },
       "[####################] 100%  Orlune disc creation process complete!", ""},
  };
  for (bool logAll : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (logAll ? ", log-all" : ", texts gathered"));
      const std::string text = RunOnPipe(logAll, c.run);
      EXPECT_EQ(LastLine(text), c.verdict) << text;
      if (!c.shown.empty()) {
        EXPECT_NE(text.find(c.shown), std::string::npos) << text;
      }
      // A known cause is never the general "reboot, reinstall" problem.
      EXPECT_EQ(text.find("Reboot"), std::string::npos) << text;
    }
  }
}

// The question about pictures that could not be used, answered Cancel on the
// keyboard: the user's cancel, with no verdict of failure and no error line.
TEST_F(TerminalVerdictTest, CancelAtTheQuestionAboutUnusablePicturesIsACancel) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  makeUi_ = [&](CVexaCoreUtil& util) {
    return std::make_unique<TerminalUi>(util, TerminalStreams{pty.slave(), pty.slave(), true, true});
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  core_->SetLoggingLevel(VARIANT_TRUE);
  AddPhotos(1);
  Bstr missing = Bstr::FromUtf8(Path("missing.jpg")), none(u"");
  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE),
            E_FAIL);
  const std::size_t errorsBefore = log_->Texts("ERROR").size();
  pty.Type("c\n");
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreCancelled);
  core_.Reset();
  const std::string screen = Drain(pty.master());
  EXPECT_NE(screen.find("could not process some of your images"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("The run failed"), std::string::npos) << screen;
  EXPECT_EQ(log_->Texts("ERROR").size(), errorsBefore);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::DealWithInvalidStills - User pressed Cancel."));
  EXPECT_EQ(engine_->burns, 0);
}

// An album that names several music files: the first plays, and the log and
// the terminal say which are left out.
TEST_F(TerminalVerdictTest, AnAlbumWithSeveralMusicFilesSaysThatOnlyTheFirstPlays) {
  for (const char* name : {"album/photo.jpg", "album/one.mp3", "album/two.mp3", "album/three.wav"}) Photo(name);
  ASSERT_TRUE(base::WriteFileAtomic(
      Path("album/album.xml"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<AlbumManifest xmlns=\"http://schemas.vexa.example/go/di-cv-vexa-1-6\">\n"
      "  <stillImages>\n    <StillImage><originalFilename>photo.jpg</originalFilename></StillImage>\n"
      "  </stillImages>\n  <audios>\n"
      "    <Audio><originalFilename>one.mp3</originalFilename></Audio>\n"
      "    <Audio><originalFilename>two.mp3</originalFilename></Audio>\n"
      "    <Audio><originalFilename>three.wav</originalFilename></Audio>\n"
      "  </audios>\n</AlbumManifest>\n"));
  const std::string text = RunOnPipe(true, [&] {
    Bstr a = Bstr::FromUtf8(Path("album/album.xml"));
    EXPECT_EQ(core_->AddAlbumFile(a.Get(), VEXACoreXML), S_OK) << ErrorText();
  });
  EXPECT_EQ(EngineCalls("AddAudioTrack"), std::vector<std::string>{"AddAudioTrack " + Path("album/one.mp3")});
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::AddAlbumFile - The album names 3 music files and a disc plays one: "
                                "one.mp3 plays; left out: two.mp3, three.wav."));
  EXPECT_NE(text.find("The album names 3 music files, and a disc plays only one: one.mp3 plays.\nLeft out: two.mp3, "
                      "three.wav.\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Press Enter"), std::string::npos) << text;
}

// A disc nothing can be written to, with nobody to change it: the reason is
// shown once, as a message rather than a question, and the run ends before
// the photo show is made; no "read only", no checks repeated for nobody.
struct UnwritableDisc {
  const char* name;
  bool blank;
  VEXADiscType type;
  const char* shown;
  const char* logged;
};

class TerminalUnwritableDiscTest : public TerminalRunTest, public ::testing::WithParamInterface<UnwritableDisc> {};

TEST_P(TerminalUnwritableDiscTest, TheReasonIsShownOnceAndTheRunEnds) {
  const UnwritableDisc& c = GetParam();
  engine_->blank = {c.blank};
  engine_->discType = {c.type};
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK) << ErrorText();
  AddPhotos(1);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Count("StartPremaster"), 0);
  EXPECT_EQ(engine_->burns, 0);
  EXPECT_NE(ErrorText().find(c.logged), std::string::npos) << ErrorText();
  EXPECT_EQ(ErrorText().find("Nobody can change the disc"), std::string::npos) << ErrorText();
  const std::string text = Finish();
  // Shown once; the run's last line then names the cause as the log has it.
  const std::size_t verdict = text.rfind("\nThe run failed: ");
  ASSERT_NE(verdict, std::string::npos) << text;
  EXPECT_EQ(Occurrences(text.substr(0, verdict), c.shown), 1u) << text;
  EXPECT_NE(text.find("Insert a blank CD-R or CD-RW disc"), std::string::npos) << text;
  EXPECT_EQ(text.find("read only"), std::string::npos) << text;
  EXPECT_EQ(text.find("[y/n"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Discs, TerminalUnwritableDiscTest,
    ::testing::Values(
        UnwritableDisc{"WrittenOrIncompleteCdR", false, VEXADiscTypeR,
                       "The CD-R disc in the CD writer has been written to, or was left incomplete by a write that "
                       "stopped part-way: a CD-R cannot be written again.",
                       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been "
                       "written to cannot be written again. Put in a blank CD-R."},
        UnwritableDisc{"ClosedDisc", false, VEXADiscTypeROM,
                       "The disc in the CD writer is closed: nothing more can be written to it.",
                       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot be "
                       "written to. Put in a blank CD-R."},
        UnwritableDisc{"BlankDvd", true, VEXADiscTypeNotCD, "The disc in the CD writer is not a CD",
                       "CVEXACore1::PrepareForWriting - The disc in the CD writer is not a CD (a DVD?)"},
        UnwritableDisc{"WrittenDvd", false, VEXADiscTypeNotCD, "The disc in the CD writer is not a CD",
                       "CVEXACore1::PrepareForWriting - The disc in the CD writer is not a CD (a DVD?)"}),
    [](const ::testing::TestParamInfo<UnwritableDisc>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexa::core::test
