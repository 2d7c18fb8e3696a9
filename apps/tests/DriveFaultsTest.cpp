// vexa and vexasdk-cli over the simulated recorder when things go wrong:
// delays and burn speeds no disc or writer can take, a drive that stays
// busy, a second run on a recorder in use, a burn killed mid-way, a run
// stopped by a signal, test writes, and the failures whose messages must say
// why. Each case ends in bounded time with its result and a message that
// names the cause.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "apps/tests/AppTestUtil.h"
#include "platform/base/OwnedTempDir.h"
#include "platform/base/Text.h"

namespace vexa::app::testing {
namespace {

const std::string kSamples = std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/samples";
const std::string kPhoto = kSamples + "/photos/arrival.jpg";

// Waits until done() holds, asking again at each change of the file name in
// folder (of any file there when name is empty); false, with a failure
// naming the file, when it has not held within the bound (a run that went
// wrong). The watch is set before the first question, so no change is
// missed.
template <typename Check>
bool WaitForFile(const std::string& folder, const std::string& name, Check done,
                 std::chrono::milliseconds bound = testsupport::kWaitBound) {
  const int fd = inotify_init1(IN_CLOEXEC);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (inotify_add_watch(fd, folder.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0) return false;
  if (done()) return true;
  const testsupport::Deadline deadline(bound);
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    if (testsupport::PollUntil(fd, POLLIN, deadline) <= 0) {
      ADD_FAILURE() << "the awaited state of " << folder << "/" << (name.empty() ? "*" : name)
                    << " did not come within " << deadline.BoundText();
      return false;
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if (e->len && (name.empty() || name == e->name) && done()) return true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
}

// The most slide show a disc holds, as the engine words it.
const char kMostADiscHolds[] = "a disc holds at most 4797 seconds (79 min 57 s) of slide show";

class DriveFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = box_.root() + "/cdrsim";
    base::MakeDirs(box_.root() + "/tmp");
    Cdrsim({"create", sim_, "--media", "cdr"});
  }

  void Cdrsim(const std::vector<std::string>& args, int expected = 0) {
    const ProgramResult r = RunProgram(ProgramPath("cdrsim"), args, {}, box_.root() + "/scratch");
    ASSERT_EQ(r.status, expected) << r.out << r.err;
  }
  std::map<std::string, std::string> VexaEnv() const {
    return box_.Env({{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}});
  }
  ProgramResult Vexa(const std::vector<std::string>& args, const std::string& cwd = "") {
    return RunProgram(ProgramPath("vexa"), args, VexaEnv(), box_.root() + "/scratch", cwd);
  }
  std::string Log() const {
    std::string log;
    base::ReadFile(box_.data() + "vexalog.txt", &log);
    return log;
  }
  // What the recorder's tray holds, as cdrsim describes it.
  std::string Disc() const {
    return RunProgram(ProgramPath("cdrsim"), {"disc", sim_}, {}, box_.root() + "/scratch").out;
  }
  // The image files the recorder has made.
  int Images() const {
    int n = 0;
    for (const char* ext : {".bin", ".cue", ".iso"}) {
      for (int i = 1; i < 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/disc-%04d%s", i, ext);
        if (base::FileExists(sim_ + name)) ++n;
      }
    }
    return n;
  }
  // The work folders of the orchestrator and the engine in the runs'
  // temporary folder.
  std::vector<std::string> WorkFolders() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(box_.root() + "/tmp")) {
      const std::string name = e.path().filename().string();
      if (name.rfind("vexaCoreTemp", 0) == 0 || name.rfind("zzz", 0) == 0) names.push_back(name);
    }
    return names;
  }
  bool BurnUnderWay() const {
    std::string state;
    base::ReadFile(sim_ + "/disc.state", &state);
    return state.find("status 1") != std::string::npos;
  }
  static std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = box_.root() + "/" + name;
    EXPECT_TRUE(base::WriteFileAtomic(path, text));
    return path;
  }

  Sandbox box_;
  std::string sim_;
};

// ---- A still delay or show that no disc holds ----------------------------------------------

TEST_F(DriveFaultsTest, ADelayNoDiscHoldsIsRefusedOnEveryRoadBeforeEncoding) {
  const std::string own = WriteFile(
      "own.xml",
      "<?xml version=\"1.0\"?>\n<AlbumManifest xmlns=\"http://schemas.vexa.example/go/di-cv-vexa-1-6\">\n"
      "  <stillDelay>2147483647</stillDelay>\n  <stillImages><StillImage><originalFilename>" +
          kPhoto + "</originalFilename></StillImage></stillImages>\n</AlbumManifest>\n");
  const std::string partner = WriteFile(
      "partner.xml", "<?xml version=\"1.0\"?>\n<marwickAlbum version=\"1\">\n  <delay>2147483647</delay>\n  <still><path>" +
                         kPhoto + "</path></still>\n</marwickAlbum>\n");
  const std::vector<std::vector<std::string>> roads = {
      {"/r:silent", "/p:2147483", "/d:" + kSamples + "/photos"},
      {"/r:silent", "/p:99999999999", "/d:" + kSamples + "/photos"},
      {"/r:silent", own},
      {"/r:silent", "/q", partner},
  };
  for (const auto& args : roads) {
    SCOPED_TRACE(args[1]);
    base::RemoveAll(box_.data() + "vexalog.txt");
    const ProgramResult r = Vexa(args);
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string log = Log();
    EXPECT_NE(log.find("IVEXAStoryboardStillsSlideshow1::SetStillDelay - Delay must be at most 4797000 msec: " +
                       std::string(kMostADiscHolds)),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("CreateVCD - PrepareVCD"), std::string::npos) << log;
    EXPECT_EQ(Images(), 0);
  }

  // The engine's own interface, by way of vexasdk-cli.
  const ProgramResult r =
      RunProgram(ProgramPath("vexasdk-cli"), {"make-disc", "--delay", "99999999999", kPhoto}, VexaEnv(),
                 box_.root() + "/scratch");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Delay must be at most 4797000 msec: " + std::string(kMostADiscHolds)), std::string::npos)
      << r.err;
  EXPECT_EQ(Images(), 0);
}

TEST_F(DriveFaultsTest, AShowNoDiscHoldsIsRefusedBeforeEncoding) {
  // Two stills of 40 minutes: each fits, the two do not.
  const ProgramResult r = Vexa({"/r:silent", "/p:2400", "/d:" + kSamples + "/photos"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  EXPECT_NE(log.find("IVEXAPremaster::StartPremaster - The slide show of 14400 seconds (6 pictures) cannot fit on "
                     "the disc: " +
                     std::string(kMostADiscHolds)),
            std::string::npos)
      << log;
  EXPECT_EQ(Images(), 0);
}

// ---- Burn speed ---------------------------------------------------------------------------

TEST_F(DriveFaultsTest, AHugeBurnSpeedIsTheWritersHighest) {
  const ProgramResult r = Vexa({"/r:silent", "/b:99999999999", "/i:" + WriteFile("one.lst", ListOf({kPhoto}))});
  ASSERT_EQ(r.status, 0) << r.err << Log();
  const std::string log = Log();
  EXPECT_NE(log.find("CVEXACore::CheckBurnSpeed - Input burn speed 2147483647 is above the highest speed of the "
                     "writer. Using its highest speed 52."),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("No match for speed"), std::string::npos);
  EXPECT_NE(log.find("CVEXACore1::DoBurn - starting burn at 52x"), std::string::npos);
  EXPECT_NE(Disc().find("complete"), std::string::npos) << Disc();
}

// ---- The recorder's own faults and states ---------------------------------------------------

// Every WRITE answered "busy": the burn gives up in time with the drive's
// words.
TEST_F(DriveFaultsTest, ADriveThatStaysBusyFailsTheBurnWithItsSenseText) {
  Cdrsim({"fault", sim_, "add", "busy op=2a count=-1"});
  const ProgramResult r = Vexa({"/r:silent", "/i:" + WriteFile("one.lst", ListOf({kPhoto}))});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  EXPECT_NE(log.find("CVexaODBase::BurnSucceeded - Burn failed with error code 1003. The writer reported: Write "
                     "failed: the drive was still busy after 60 s: LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"),
            std::string::npos)
      << log;
}

// Burn failures as the drive reports them: the message carries its words.
TEST_F(DriveFaultsTest, EveryBurnFailureSaysWhatTheDriveSaid) {
  struct Case {
    const char* name;
    std::vector<std::string> create;  // cdrsim create options
    const char* fault;                // "" for none
    const char* said;
  } cases[] = {
      {"write error", {"--media", "cdr"}, "check op=2a lba=400 sense=03/0c/00", "Write failed: WRITE ERROR"},
      {"medium removed", {"--media", "cdr"}, "check op=2a lba=400 sense=02/3a/00", "Write failed: MEDIUM NOT PRESENT"},
      // A disc too small for the image is refused before writing; a drive that
      // still runs out of room part-way says so in its own words.
      {"disc full", {"--media", "cdr"}, "check op=2a lba=400 sense=05/63/00",
       "Write failed: END OF USER AREA ENCOUNTERED ON THIS TRACK"},
      // The CLOSE SESSION's own answer, not the refusal of its retry.
      {"close session refused", {"--media", "cdr"}, "check op=5b sense=03/0c/00 count=-1",
       "Close session failed: WRITE ERROR"},
      {"close session timed out", {"--media", "cdr"}, "hang op=5b count=-1",
       "Close session failed: NO ANSWER FROM THE DRIVE: the command timed out"},
  };
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::RemoveAll(sim_);
    std::vector<std::string> create = {"create", sim_};
    create.insert(create.end(), c.create.begin(), c.create.end());
    Cdrsim(create);
    if (*c.fault) Cdrsim({"fault", sim_, "add", c.fault});
    base::RemoveAll(box_.data() + "vexalog.txt");
    const ProgramResult r = Vexa({"/r:silent", "/i:" + list});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string log = Log();
    EXPECT_NE(log.find(std::string("Burn failed with error code 1003. The writer reported: ") + c.said),
              std::string::npos)
        << log;
  }
}

// A writer unplugged or switched off during the burn is said to be gone,
// on the status lines and in the log, whichever command met its absence:
// never a buffer underrun to be cured by a slower speed.
TEST_F(DriveFaultsTest, AWriterThatGoesAwayMidBurnIsSaidToBeGone) {
  struct Case {
    const char* name;
    const char* fault;
    const char* said;  // what the writer reported
  } cases[] = {
      {"a write of the image track", "gone op=2a lba=200", "Write failed: "},
      // The track of a 40-second show runs from sector 2177 to 5247, more
      // than the track writer's queue of 2048 sectors holds: at sector 2500
      // the writer meets the drive's absence while the show is still being
      // handed to it, and the next sectors are refused.
      {"a write of the photo show's track", "gone op=2a lba=2500", "Write failed: "},
      {"the flush at the end of a track", "gone op=35", "Flush failed: "},
      {"closing the session", "gone op=5b", "Close session failed: "},
  };
  const std::string gone = "NO ANSWER FROM THE DRIVE: the drive is gone (disconnected or switched off)";
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::RemoveAll(sim_);
    Cdrsim({"create", sim_, "--media", "cdr"});
    Cdrsim({"fault", sim_, "add", c.fault});
    base::RemoveAll(box_.data() + "vexalog.txt");
    const ProgramResult r = Vexa({"/r:status", "/p:40", "/i:" + list});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("The CD writer is gone: it was disconnected or switched off while the disc was written."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(std::string("The writer reported: ") + c.said + gone), std::string::npos) << r.err;
    for (const char* wrong : {"buffer underrun", "slower", "stopped answering"}) {
      EXPECT_EQ(r.err.find(wrong), std::string::npos) << wrong << "\n" << r.err;
    }
    const std::string log = Log();
    EXPECT_NE(log.find(std::string("Burn failed with error code 1003. The writer reported: ") + c.said + gone),
              std::string::npos)
        << log;
  }
}

// A disc nothing can be written to is named for what it is before the photo
// show is made, on the status lines of a run without a display (where
// nobody can change it, so it is said once) and in the log of a silent run;
// vexasdk-cli checks it before its premaster too. Never a buffer underrun,
// a "read only" disc or nobody to change it.
TEST_F(DriveFaultsTest, ADiscThatCannotBeWrittenIsNamedBeforeTheShowIsMade) {
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  struct Case {
    const char* name;
    std::vector<std::string> create;
    // Makes the disc's state: a burn with this fault before the run ("" none).
    const char* before;
    const char* shown;    // on the status lines
    const char* logged;   // in the log
    const char* tool;     // what vexasdk-cli says
  } cases[] = {
      {"blank DVD-R in a DVD writer", {"--profile", "dvd-writer", "--media", "dvdr"}, nullptr,
       "The disc in the CD writer is not a CD: it is a DVD",
       "CVEXACore1::PrepareForWriting - The disc in the CD writer is not a CD (a DVD?)",
       "the disc is not a CD (a DVD?): only CD-R and CD-RW discs can be written; put in a blank CD-R"},
      {"incomplete CD-R", {"--media", "cdr"}, "check op=2a lba=400 sense=03/0c/00",
       "The CD-R disc in the CD writer has been written to, or was left incomplete",
       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been written to cannot be "
       "written again.",
       "the CD-R has been written to, or was left incomplete, and cannot be written again; put in a blank CD-R"},
      {"written CD-R", {"--media", "cdr"}, "",
       "The disc in the CD writer is closed: nothing more can be written to it.",
       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot be written to.",
       "the disc is closed and cannot be written to; put in a blank CD-R"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::RemoveAll(sim_);
    std::vector<std::string> create = {"create", sim_};
    create.insert(create.end(), c.create.begin(), c.create.end());
    Cdrsim(create);
    if (c.before) {
      if (*c.before) Cdrsim({"fault", sim_, "add", c.before});
      Vexa({"/r:silent", "/i:" + list});
      Cdrsim({"fault", sim_, "clear"});
    }
    const std::string before = Disc();
    for (const char* mode : {"/r:status", "/r:silent"}) {
      SCOPED_TRACE(mode);
      base::RemoveAll(box_.data() + "vexalog.txt");
      const ProgramResult r = Vexa({mode, "/i:" + list});
      EXPECT_EQ(r.status, 1) << r.err;
      const std::string log = Log();
      EXPECT_NE(log.find(c.logged), std::string::npos) << log;
      EXPECT_EQ(log.find("CVEXACore1::DoPremaster"), std::string::npos) << log;
      EXPECT_EQ(log.find("Nobody can change the disc"), std::string::npos) << log;
      if (std::string(mode) == "/r:status") {
        EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Insert a blank CD-R or CD-RW disc"), std::string::npos) << r.err;
        for (const char* wrong : {"buffer underrun", "read only", "[y/n"}) {
          EXPECT_EQ(r.err.find(wrong), std::string::npos) << wrong << "\n" << r.err;
        }
      } else {
        EXPECT_EQ(r.err, "");
      }
    }
    const ProgramResult tool =
        RunProgram(ProgramPath("vexasdk-cli"), {"make-disc", kPhoto}, VexaEnv(), box_.root() + "/scratch");
    EXPECT_EQ(tool.status, 1) << tool.out << tool.err;
    EXPECT_NE(tool.err.find(c.tool), std::string::npos) << tool.err;
    EXPECT_EQ(tool.out.find("premaster"), std::string::npos) << tool.out;
    EXPECT_EQ(Disc(), before);
  }
}

// An image list in UTF-8, as printf or an editor writes one, makes the disc
// as the list's own UTF-16 does; a path too long for a list stops a silent
// run with its length, not as some other, cut path.
TEST_F(DriveFaultsTest, Utf8ListsMakeTheDiscAndOverlongPathsAreNamed) {
  const std::string second = kSamples + "/photos/the pier.jpg";
  const std::string tooLong = "/" + std::string(2100, 'x') + ".jpg";
  struct Case {
    const char* name;
    std::string list;
    int status;
    std::string logged;
  } cases[] = {
      {"UTF-8, zero-ended", kPhoto + '\0' + second + '\0', 0, "NUMBER OF IMAGES = 2."},
      {"UTF-8 with a byte-order mark, one a line", "\xEF\xBB\xBF" + kPhoto + "\r\n" + second + "\r\n", 0,
       "NUMBER OF IMAGES = 2."},
      {"an over-long path", ListOf({tooLong, kPhoto}), 1,
       "CVEXACore1::AddImageListFile - A path in the list is 2105 characters long, more than the 2047 a path may "
       "have; it is left out: /" + std::string(59, 'x') + "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::RemoveAll(sim_);
    Cdrsim({"create", sim_, "--media", "cdr"});
    base::RemoveAll(box_.data() + "vexalog.txt");
    const ProgramResult r = Vexa({"/r:silent", "/i:" + WriteFile("list.lst", c.list)});
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string log = Log();
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_EQ(log.find("User had no images"), std::string::npos) << log;
    EXPECT_EQ(Disc().find("complete") != std::string::npos, c.status == 0) << Disc();
  }
}

// A disc that is already written says so, not that a question failed.
TEST_F(DriveFaultsTest, AWrittenDiscIsNamedAsNotBlank) {
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  ASSERT_EQ(Vexa({"/r:silent", "/i:" + list}).status, 0) << Log();
  base::RemoveAll(box_.data() + "vexalog.txt");
  const ProgramResult r = Vexa({"/r:silent", "/i:" + list});
  EXPECT_EQ(r.status, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot be "
                     "written to. Put in a blank CD-R."),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("IsDiscBlank call failed"), std::string::npos) << log;
}

// A used CD-RW in the status mode, with the user at the keyboard: the first
// erase fails (the drive refuses BLANK once), the user keeps the disc in
// (OK) and erases again, which works; the disc the run has made blank is
// then written.
TEST_F(DriveFaultsTest, AFailedEraseAndASuccessfulOneWriteTheNowBlankDisc) {
  base::RemoveAll(sim_);
  Cdrsim({"create", sim_, "--media", "cdrw"});
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  ASSERT_EQ(Vexa({"/r:silent", "/i:" + list}).status, 0) << Log();
  ASSERT_EQ(Images(), 2);
  Cdrsim({"fault", sim_, "add", "check op=a1 sense=03/31/00 count=1"});
  base::RemoveAll(box_.data() + "vexalog.txt");
  // Each question gets its answer once: Yes to erasing, OK to keeping the
  // disc in after the failed erase.
  std::size_t erasesAsked = 0, failuresSeen = 0;
  const ProgramResult r = box_.RunWithStderr(
      "vexa", {"/r:status", "/i:" + list}, {{"VEXA_SCSI_TRANSPORT", "sim:" + sim_}, {"TMPDIR", box_.root() + "/tmp"}},
      true, [&](const std::string& screen) -> std::string {
        std::size_t asked = 0, failed = 0;
        for (std::size_t at = screen.find("Yes or No?"); at != std::string::npos; at = screen.find("Yes or No?", at + 1)) {
          ++asked;
        }
        for (std::size_t at = screen.find("OK or Cancel?"); at != std::string::npos;
             at = screen.find("OK or Cancel?", at + 1)) {
          ++failed;
        }
        if (asked > erasesAsked) {
          erasesAsked = asked;
          return "y\n";
        }
        if (failed > failuresSeen) {
          failuresSeen = failed;
          return "\n";
        }
        return "";
      });
  const std::string log = Log();
  EXPECT_EQ(r.status, 0) << r.err << log;
  EXPECT_EQ(erasesAsked, 2u) << r.err;
  EXPECT_EQ(failuresSeen, 1u) << r.err;
  EXPECT_NE(log.find("Erase Completed in "), std::string::npos) << log;
  EXPECT_EQ(log.find("giving up"), std::string::npos) << log;
  // The first disc's image and the second's.
  EXPECT_EQ(Images(), 4);
  EXPECT_NE(Disc().find("complete"), std::string::npos) << Disc();
}

// Two runs at once on one recorder: one disc, and one run told the writer
// is busy.
TEST_F(DriveFaultsTest, TwoRunsOnOneRecorderMakeOneDiscAndOneBusy) {
  // Each WRITE takes a little longer, so the first run still has the
  // recorder when the second asks for it.
  Cdrsim({"fault", sim_, "add", "slow ms=2 op=2a"});
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  base::MakeDirs(box_.root() + "/scratch1");
  base::MakeDirs(box_.root() + "/scratch2");
  const pid_t first = SpawnProgram(ProgramPath("vexa"), {"/r:silent", "/i:" + list}, VexaEnv(), box_.root() + "/scratch1");
  ASSERT_GT(first, 0);
  // The first run holds the recorder once its process number is in the lock.
  const bool held = WaitForFile(sim_, "drive.lock", [&] {
    std::string holder;
    base::ReadFile(sim_ + "/drive.lock", &holder);
    return holder == std::to_string(first) + "\n";
  });
  const ProgramResult second =
      RunProgram(ProgramPath("vexa"), {"/r:silent", "/i:" + list}, VexaEnv(), box_.root() + "/scratch2");
  const ProgramResult firstResult = WaitProgram(first, box_.root() + "/scratch1");
  ASSERT_TRUE(held);
  EXPECT_EQ(firstResult.status, 0) << firstResult.err;
  EXPECT_EQ(second.status, 1) << second.err;
  const std::string log = Log();
  EXPECT_NE(log.find("IVEXADriveMgr::GetNextDrive - No CD writer can be used: the recorder " + sim_ +
                     " is busy: process " + std::to_string(first) + " is using it"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("CVEXACore1::Init - Cannot find a CD-Writer."), std::string::npos);
  // One disc: one image, the disc complete.
  EXPECT_EQ(Images(), 2);  // its .bin and .cue
  EXPECT_NE(Disc().find("complete"), std::string::npos) << Disc();
}

// The writing process killed outright (SIGKILL) in the middle of the burn:
// the CD-R is incomplete, never blank again, and the next run says so.
TEST_F(DriveFaultsTest, ABurnKilledMidwayLeavesTheDiscIncomplete) {
  Cdrsim({"fault", sim_, "add", "slow ms=2 op=2a"});
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  base::MakeDirs(box_.root() + "/scratch1");
  const pid_t run = SpawnProgram(ProgramPath("vexa"), {"/r:silent", "/i:" + list}, VexaEnv(), box_.root() + "/scratch1");
  ASSERT_GT(run, 0);
  const bool writing = WaitForFile(sim_, "disc.state", [&] {
    std::string state;
    base::ReadFile(sim_ + "/disc.state", &state);
    return state.find("status 1") != std::string::npos;
  });
  ::kill(run, SIGKILL);
  const ProgramResult killed = WaitProgram(run, box_.root() + "/scratch1");
  ASSERT_TRUE(writing);
  EXPECT_EQ(killed.status, 128 + SIGKILL);
  const std::string disc = Disc();
  EXPECT_NE(disc.find("media cdr, incomplete"), std::string::npos) << disc;
  EXPECT_NE(disc.find("(being written)"), std::string::npos) << disc;
  // The killed run could not remove its work folder.
  const std::vector<std::string> left = WorkFolders();
  ASSERT_EQ(left.size(), 1u);
  // A work folder of a run that is still going (this test's process).
  const std::string live = box_.root() + "/tmp/vexaCoreTempLive01";
  ASSERT_TRUE(base::MakeDirs(live));
  ASSERT_TRUE(base::WriteFileAtomic(live + "/" + base::kTempOwnerFile,
                                    std::to_string(::getpid()) + " " +
                                        std::to_string(base::ProcessStartTime(::getpid())) + "\n"));

  base::RemoveAll(box_.data() + "vexalog.txt");
  const ProgramResult again = Vexa({"/r:silent", "/i:" + list});
  EXPECT_EQ(again.status, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been written "
                     "to cannot be written again. Put in a blank CD-R."),
            std::string::npos)
      << log;
  // The next run removed the killed run's folder, not the live one's.
  EXPECT_EQ(WorkFolders(), std::vector<std::string>{"vexaCoreTempLive01"});
}

// A run stopped by SIGTERM, SIGINT or SIGHUP, as soon as its work folder is
// there or in the middle of the burn, cancels its work, removes its work
// folder, leaves the disc as the drive left it (never blank once writing
// began) and ends with 128 + N, through its normal end rather than the
// last-resort one. The recorder writes as slowly as a real drive at 1x to
// 8x, so a burn whose writer wrote out all it had queued before stopping
// (half a minute at 1x) would be ended by the last resort.
// The grace period the stop tests give the programs: the unwinding is not
// raced against the last resort (which VexaInstStopTest and
// VexaProgramTest.ACallThatNeverReturnsEndsByTheLastResort cover).
constexpr char kUnhurriedStop[] = "240";

TEST_F(DriveFaultsTest, AStoppedRunEndsWithTheSignalAndLeavesNoWorkFolder) {
  struct Case {
    const char* program;
    int sig;
    bool midBurn;
    int speed;
  };
  const Case cases[] = {
      {"vexa", SIGTERM, false, 8},       {"vexa", SIGINT, false, 8},  {"vexa", SIGTERM, true, 1},
      {"vexa", SIGINT, true, 4},         {"vexa", SIGHUP, true, 8},   {"vexasdk-cli", SIGINT, false, 8},
      {"vexasdk-cli", SIGTERM, true, 1}, {"vexasdk-cli", SIGHUP, true, 8},
  };
  const std::string list = WriteFile("one.lst", ListOf({kPhoto}));
  int n = 0;
  for (const Case& c : cases) {
    const bool vexa = std::string(c.program) == "vexa";
    SCOPED_TRACE(std::string(c.program) + " signal " + std::to_string(c.sig) + (c.midBurn ? " mid-burn" : " early") +
                 " at " + std::to_string(c.speed) + "x");
    base::RemoveAll(sim_);
    Cdrsim({"create", sim_, "--media", "cdr", "--throttle"});
    std::string conf;
    ASSERT_TRUE(base::ReadFile(sim_ + "/drive.conf", &conf));
    ASSERT_TRUE(base::WriteFileAtomic(sim_ + "/drive.conf", conf + "writespeeds = 8,4,2,1\n"));
    base::RemoveAll(box_.data() + "vexalog.txt");
    const std::string scratch = box_.root() + "/scratch-stop" + std::to_string(++n);
    base::MakeDirs(scratch);
    const std::string speed = std::to_string(c.speed);
    const std::vector<std::string> args =
        vexa ? std::vector<std::string>{"/r:silent", "/b:" + speed, "/i:" + list}
             : std::vector<std::string>{"make-disc", "--speed", speed, kPhoto};
    // The normal unwinding is what is checked here, however long a busy
    // machine makes it take: the last resort waits longer than the test.
    auto env = VexaEnv();
    env["VEXA_STOP_GRACE_SECONDS"] = kUnhurriedStop;
    const pid_t run = SpawnProgram(ProgramPath(c.program), args, env, scratch);
    ASSERT_GT(run, 0);
    const bool reached = c.midBurn ? WaitForFile(sim_, "disc.state", [&] { return BurnUnderWay(); })
                                   : WaitForFile(box_.root() + "/tmp", "", [&] { return !WorkFolders().empty(); });
    ::kill(run, c.sig);
    const ProgramResult r = WaitProgram(run, scratch);
    ASSERT_TRUE(reached);
    EXPECT_EQ(r.status, 128 + c.sig) << r.out << r.err;
    EXPECT_EQ(r.err.find("removing temporary folders"), std::string::npos) << r.err;
    EXPECT_EQ(WorkFolders(), std::vector<std::string>{});
    const std::string disc = Disc();
    if (c.midBurn) {
      // Stopped before the disc was complete, and left as the drive left it.
      EXPECT_NE(disc.find("media cdr, incomplete"), std::string::npos) << disc;
      EXPECT_NE(disc.find("(being written)"), std::string::npos) << disc;
    }
    if (vexa) {
      const std::string log = Log();
      EXPECT_NE(log.find("CVexaApp::InitInstance - Run stopped by signal " + std::to_string(c.sig) + "."),
                std::string::npos)
          << log;
      // A signal is logged as the signal, never as a press of Cancel.
      EXPECT_EQ(log.find("User pressed Cancel"), std::string::npos) << log;
      if (c.midBurn) {
        const char* name = c.sig == SIGTERM ? "SIGTERM" : c.sig == SIGINT ? "SIGINT" : "SIGHUP";
        EXPECT_NE(log.find("Burn Cancelled. Stopped by signal " + std::to_string(c.sig) + " (" + name + ")."),
                  std::string::npos)
            << log;
      }
    }
  }
}

// A test write (vexasdk-cli --test) goes through the whole burn and leaves
// the disc blank, with no image.
TEST_F(DriveFaultsTest, ATestWriteLeavesTheDiscBlank) {
  const ProgramResult r = RunProgram(ProgramPath("vexasdk-cli"), {"make-disc", "--test", kPhoto}, VexaEnv(),
                                     box_.root() + "/scratch");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(Disc().find("media cdr, blank"), std::string::npos) << Disc();
  EXPECT_EQ(Images(), 0);
}

// The wizard stopped by SIGTERM while it waits for its user closes as its
// Cancel does: the run ends with 143 and leaves no work folder.
TEST_F(DriveFaultsTest, AStoppedWizardClosesAndLeavesNoWorkFolder) {
  auto env = VexaEnv();
  env["QT_QPA_PLATFORM"] = "offscreen";
  env["VEXA_STOP_GRACE_SECONDS"] = kUnhurriedStop;
  const std::string scratch = box_.root() + "/scratch-wizard";
  base::MakeDirs(scratch);
  const pid_t run = SpawnProgram(ProgramPath("vexa"), {"/i:" + WriteFile("one.lst", ListOf({kPhoto}))}, env, scratch);
  ASSERT_GT(run, 0);
  const bool made = WaitForFile(box_.root() + "/tmp", "", [&] { return !WorkFolders().empty(); });
  ::kill(run, SIGTERM);
  const ProgramResult r = WaitProgram(run, scratch);
  ASSERT_TRUE(made);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  EXPECT_EQ(r.err.find("removing temporary folders"), std::string::npos) << r.err;
  EXPECT_EQ(WorkFolders(), std::vector<std::string>{});
  EXPECT_NE(Log().find("CVexaApp::InitInstance - Run stopped by signal 15."), std::string::npos) << Log();
}

// ---- Settings and folders that say what is wrong ---------------------------------------------

TEST_F(DriveFaultsTest, AWrongTransportSettingSaysWhatIsWrong) {
  struct Case {
    std::string setting;
    std::string said;
  } cases[] = {
      {"floppy", "the setting VEXA_SCSI_TRANSPORT=\"floppy\" cannot be used: unknown SCSI transport 'floppy' (sg or "
                 "sim:FOLDER)"},
      {"sim:" + box_.root() + "/nowhere",
       "the setting VEXA_SCSI_TRANSPORT=\"sim:" + box_.root() + "/nowhere\" cannot be used: simulator folder " +
           box_.root() + "/nowhere does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    base::RemoveAll(box_.data() + "vexalog.txt");
    auto env = VexaEnv();
    env["VEXA_SCSI_TRANSPORT"] = c.setting;
    const ProgramResult r =
        RunProgram(ProgramPath("vexa"), {"/r:silent", "/d:" + kSamples + "/photos"}, env, box_.root() + "/scratch");
    EXPECT_EQ(r.status, 1);
    const std::string log = Log();
    EXPECT_NE(log.find("IVEXADriveMgr::GetNextDrive - No CD writer can be used: " + c.said), std::string::npos)
        << log;
  }
}

// Without a display, a status run that cannot start says why on its status
// lines and what to do, instead of ending with nothing said.
TEST_F(DriveFaultsTest, AStatusRunThatCannotStartSaysWhyWithoutADisplay) {
  const std::string reader = box_.root() + "/reader";
  Cdrsim({"create", reader, "--profile", "reader", "--media", "cdr"});
  const std::string empty = box_.root() + "/empty";
  base::MakeDirs(empty);
  // The recorder held as another program holds it.
  const int held = ::open((sim_ + "/drive.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const std::string me = std::to_string(::getpid()) + "\n";
  ASSERT_EQ(::write(held, me.data(), me.size()), static_cast<ssize_t>(me.size()));
  struct Case {
    const char* name;
    std::string transport;
    std::string folder;
    std::vector<std::string> said;
  } cases[] = {
      {"unknown transport", "floppy", kSamples + "/photos",
       {"cannot use the CD writer", "unknown SCSI transport 'floppy' (sg or sim:FOLDER)", "correct the setting"}},
      {"missing simulator folder", "sim:" + box_.root() + "/nowhere", kSamples + "/photos",
       {"cannot use the CD writer", "simulator folder " + box_.root() + "/nowhere does not exist"}},
      {"writer in use", "sim:" + sim_, kSamples + "/photos",
       {"cannot use the CD writer", "is busy: process " + std::to_string(::getpid()) + " is using it",
        "Wait until the other program that uses the writer has ended"}},
      {"no writer", "sim:" + reader, kSamples + "/photos",
       {"could not find a CD writer on your system", "VEXA_SCSI_TRANSPORT=sim:FOLDER"}},
      {"empty folder", "", empty, {"The folder " + empty + " holds no pictures.", "Choose the folder"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto env = VexaEnv();
    // The empty folder is met after the writer is found: a free recorder.
    const std::string free = box_.root() + "/free";
    if (c.transport.empty() && !base::DirExists(free)) Cdrsim({"create", free, "--media", "cdr"});
    env["VEXA_SCSI_TRANSPORT"] = c.transport.empty() ? "sim:" + free : c.transport;
    const ProgramResult r =
        RunProgram(ProgramPath("vexa"), {"/r:status", "/d:" + c.folder}, env, box_.root() + "/scratch");
    EXPECT_EQ(r.status, 1);
    for (const std::string& text : c.said) EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
    // The last line says that the run failed, and why.
    EXPECT_EQ(LastLine(r.err).rfind("The run failed: ", 0), 0u) << r.err;
  }
  ::close(held);
}

// A status run that fails on its input ends, on standard error, with the
// cause the log has: a folder that is not there (also shown as a message),
// an album whose captions stay longer than its pictures, and a mistyped
// album name (shown as such, never as the general problem with its advice to
// reboot and reinstall).
TEST_F(DriveFaultsTest, AFailedStatusRunEndsWithItsCause) {
  const std::string folder = box_.root() + "/no such folder";
  const std::string mistyped = box_.root() + "/albun.xml";
  const std::string captions = WriteFile(
      "captions.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<AlbumManifest xmlns=\"http://schemas.vexa.example/go/di-cv-vexa-1-6\">\n"
      "  <stillTitleVisibleTime>6</stillTitleVisibleTime>\n  <stillDelay>3</stillDelay>\n"
      "  <stillImages><StillImage><originalFilename>" + kPhoto + "</originalFilename></StillImage></stillImages>\n"
      "</AlbumManifest>\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string last;
    std::string shown;
  };
  const Case cases[] = {
      {"a folder that is not there", {"/r:status", "/d:" + folder},
       "The run failed: CVEXACore1::AddImageDirectory - Invalid image directory or directory does not exist: " + folder,
       "The folder " + folder + " cannot be used: there is no such folder."},
      {"captions longer than the pictures", {"/r:status", captions},
       "The run failed: CVEXACore1::SetStillTitleVisibleTime - Delay for captions must be <= the delay for image and "
       ">= 0. Caption delay = 6. Image delay = 3.",
       ""},
      {"a mistyped album name", {"/r:status", mistyped},
       "The run failed: CVEXACore1::AddAlbumFile - The album file cannot be read: cannot open '" + mistyped +
           "': No such file or directory.",
       "The album file cannot be read:\n\ncannot open '" + mistyped + "': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProgramResult r = Vexa(c.args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(LastLine(r.err), c.last) << r.err;
    if (!c.shown.empty()) {
      EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.err.find("Reboot"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Images(), 0);
}

// The temporary folder on a disk without room for the slide show (a small
// file system of its own, mounted in a namespace of the run): the run says
// that the space is short, where, and how much is needed, before encoding.
TEST_F(DriveFaultsTest, ATemporaryDiskWithoutRoomSaysWhereAndHowMuch) {
  if (Which("unshare").empty() ||
      RunProgram(Which("unshare"), {"-rm", "true"}, {}, box_.root() + "/scratch").status != 0) {
    GTEST_SKIP() << "no mount namespace for a small file system here";
  }
  const std::string tmp = box_.root() + "/tmp";
  // 230 MB: above the 200 MB the work needs free to start, below the
  // stream of a 1400-second show.
  const ProgramResult r = RunProgram(
      Which("unshare"),
      {"-rm", "sh", "-c", "mount -t tmpfs -o size=230m tmpfs \"$0\" && exec \"$1\" /r:silent /p:1400 \"/i:$2\"", tmp,
       ProgramPath("vexa"), WriteFile("one.lst", ListOf({kPhoto}))},
      VexaEnv(), box_.root() + "/scratch");
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string log = Log();
  const std::size_t at = log.find(
      "IVEXAPremaster::StartPremaster - Not enough space for the slide show in the temporary folder " + tmp +
      "/vexaCoreTemp");
  ASSERT_NE(at, std::string::npos) << log;
  const std::string line = log.substr(at, log.find('\r', at) - at);
  EXPECT_NE(line.find(" MB free on its disk, about 246 MB needed"), std::string::npos) << line;
  EXPECT_NE(log.find("CVEXACore1::DoPremaster - Insufficient temp space returned from Premaster."), std::string::npos);
  EXPECT_EQ(Images(), 0);
}

// The data folder, where the log goes, on a disk that is full (a small file
// system of its own, filled, mounted in a namespace of the run): the run
// makes its disc, and says once on standard error that it cannot be logged,
// where and why.
TEST_F(DriveFaultsTest, AFullLogFolderIsSaidOnceAndTheDiscIsStillMade) {
  if (Which("unshare").empty() ||
      RunProgram(Which("unshare"), {"-rm", "true"}, {}, box_.root() + "/scratch").status != 0) {
    GTEST_SKIP() << "no mount namespace for a small file system here";
  }
  const std::string data = box_.data().substr(0, box_.data().size() - 1);
  const ProgramResult r = RunProgram(
      Which("unshare"),
      {"-rm", "sh", "-c",
       "mount -t tmpfs -o size=64k tmpfs \"$0\" && { head -c 1048576 /dev/zero > \"$0/fill\"; "
       "exec \"$1\" /r:silent \"/i:$2\"; }",
       data, ProgramPath("vexa"), WriteFile("one.lst", ListOf({kPhoto}))},
      VexaEnv(), box_.root() + "/scratch");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string said = "vexa: this run cannot be logged, and goes on without its log: " + data +
                           "/vexalog.txt cannot be written: No space left on device. Free space on the disk of " +
                           data + ".\n";
  EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("cannot be logged"), r.err.rfind("cannot be logged")) << r.err;
  EXPECT_NE(Disc().find("media cdr, complete"), std::string::npos) << Disc();
}

// The free space the engine keeps in its work folder is MIN_TEMP_SPACE: a
// lower value lets a small disk make the disc, a higher one stops the
// premaster with the folder, what is free and what must stay free.
TEST_F(DriveFaultsTest, TheWorkFolderKeepsMinTempSpaceFreeAndSaysWhereAndHowMuch) {
  if (Which("unshare").empty() ||
      RunProgram(Which("unshare"), {"-rm", "true"}, {}, box_.root() + "/scratch").status != 0) {
    GTEST_SKIP() << "no mount namespace for a small file system here";
  }
  const std::string tmp = box_.root() + "/tmp";
  struct Case {
    const char* minimum;
    int status;
    std::string said;
  } cases[] = {
      // 16 MB on a disk of 64 MB: below the 200 MB kept before.
      {"16000000", 0, "the disc is finished"},
      {"100000000", 1, "vexasdk-cli: premastering failed: VEXAVCDEngine::StartPremaster - Free temporary space limit "
                       "reached: the temporary folder " + tmp + "/zzz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minimum);
    base::RemoveAll(sim_);
    Cdrsim({"create", sim_, "--media", "cdr"});
    const ProgramResult set = RunProgram(ProgramPath("vexa-reg"),
                                         {"add", "HKLM\\SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion", "/v",
                                          "MIN_TEMP_SPACE", "/t", "REG_DWORD", "/d", c.minimum, "/f"},
                                         VexaEnv(), box_.root() + "/scratch");
    ASSERT_EQ(set.status, 0) << set.out << set.err;
    const ProgramResult r = RunProgram(
        Which("unshare"),
        {"-rm", "sh", "-c", "mount -t tmpfs -o size=64m tmpfs \"$0\" && exec \"$1\" make-disc --temp \"$0\" \"$2\"",
         tmp, ProgramPath("vexasdk-cli"), kPhoto},
        VexaEnv(), box_.root() + "/scratch");
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << r.out << r.err;
    if (c.status != 0) {
      EXPECT_NE(r.err.find(" MB free on its disk, and 100 MB must stay free (MIN_TEMP_SPACE)"), std::string::npos)
          << r.err;
      EXPECT_EQ(Images(), 0);
    }
  }
}

TEST_F(DriveFaultsTest, AWorkFolderThatCannotBeMadeIsNamedWithTheReason) {
  auto env = VexaEnv();
  env["TMPDIR"] = box_.root() + "/nowhere";
  const ProgramResult r =
      RunProgram(ProgramPath("vexa"), {"/r:silent", "/d:" + kSamples + "/photos"}, env, box_.root() + "/scratch");
  EXPECT_EQ(r.status, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("CVexaCoreUtil::GetTempFilePath - Couldn't create temp dir! " + box_.root() +
                     "/nowhere/vexaCoreTempXXXXXX: No such file or directory"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace vexa::app::testing
