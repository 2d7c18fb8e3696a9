// vexa and vexasdk-cli over the simulated recorder when things go wrong:
// delays and burn speeds no disc or writer can take, a drive that stays
// busy, a second run on a recorder in use, a burn killed mid-way, a run
// stopped by a signal, test writes, and the failures whose messages must say
// why. Each case ends in bounded time with its result and a message that
// names the cause.
#include <gtest/gtest.h>
#include <signal.h>
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
// folder (of any file there when name is empty); false after two minutes
// without it (a run that went wrong). The watch is set before the first
// question, so no change is missed.
template <typename Check>
bool WaitForFile(const std::string& folder, const std::string& name, Check done) {
  const int fd = inotify_init1(IN_CLOEXEC);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (inotify_add_watch(fd, folder.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0) return false;
  if (done()) return true;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 120000) <= 0) return false;
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
      // A DVD in a DVD writer: the drive refuses a CD recording mode.
      {"DVD media", {"--profile", "dvd-writer", "--media", "dvdr"}, "",
       "SetTAOWriteMode: Error sending write parameters page.: INVALID FIELD IN PARAMETER LIST"},
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
    const pid_t run = SpawnProgram(ProgramPath(c.program), args, VexaEnv(), scratch);
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
      if (c.midBurn) {
        EXPECT_NE(log.find("Burn Cancelled."), std::string::npos) << log;
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
