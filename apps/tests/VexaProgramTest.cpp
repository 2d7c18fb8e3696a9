// The vexa program end to end over stand-in components: for each command
// line, the mode, the calls made on the wizard or the orchestrator in their
// order, the lines logged and the exit status.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "apps/tests/AppTestUtil.h"

namespace vexa::app::testing {
namespace {

using Lines = std::vector<std::string>;

Lines Cat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string L(const std::string& text) { return "log vexa ERROR " + text; }
std::string I(const std::string& text) { return "log vexa INFO " + text; }

const std::string kBad = L("CVexaApp::InitInstance - Bad Command line parameter present.");
const std::string kRunFailed = L("CVexaApp::InitInstance - CreateVCD() call failed.");

Lines CoreStart(int level, Lines pre = {}) {
  return Cat({{"log.new"}, pre,
              {"core.FinalConstruct", "core.SetLoggingLevel -1",
               "core.Init " + std::to_string(level) + " [] -1"}});
}
const Lines kCoreEnd = {"core.CreateVCD 0 0 -1", "core.release", "log.release"};
Lines WizStart(Lines pre = {}) { return Cat({{"log.new"}, pre, {"wiz.FinalConstruct", "wiz.Init [] -1"}}); }
const Lines kWizEnd = {"wiz.CreateVCD", "wiz.release", "log.release"};

struct Row {
  const char* name;
  Lines args;
  std::map<std::string, std::string> env;
  Lines trace;
  int status = 0;
  // When false, the GetErrorCode calls of the cancellation checks are left
  // out of the comparison (rows of their own check where they fall).
  bool withAsks = false;
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      // Modes.
      {"no arguments: the wizard, asked about cancellation before each step that may end quietly",
       {}, {},
       Cat({WizStart(), Lines(7, "wiz.GetErrorCode"), kWizEnd}), 0, true},
      {"status mode asks the orchestrator the same way", {"/r:status"}, {},
       Cat({CoreStart(3), Lines(7, "core.GetErrorCode"), kCoreEnd}), 0, true},
      {"silent mode never asks", {"/r:silent"}, {}, Cat({CoreStart(0), kCoreEnd}), 0, true},
      {"/r:status /r:silent is silent", {"/r:status", "/r:silent"}, {}, Cat({CoreStart(0), kCoreEnd})},
      {"/r:silent /r:status is status", {"/r:silent", "/r:status"}, {}, Cat({CoreStart(3), kCoreEnd})},
      {"/r:foo and /x are bad; the wizard runs", {"/r:foo", "/x"}, {},
       Cat({WizStart({kBad}), kWizEnd})},

      // The order of the orchestrator's calls: the album after the settings.
      {"every setting, orchestrator",
       {"/r:silent", "/b:4", "/i:/lists/l.txt", "/m:/music/m.mp3", "/d:/d1", "/d:/d2", "/td", "/p:5",
        "/f:NTSC", "/l:Letter", "/s:3", "/x/album.xml"},
       {},
       Cat({CoreStart(0),
            {"core.SetPaperSize 0", "core.SetTVSystem 0", "core.SetStillDelay 5", "core.SetDefaultTitle",
             "core.AddAlbumFile [/x/album.xml] 1", "core.AddImageDirectory [/d1]",
             "core.AddImageDirectory [/d2]", "core.AddImageListFile [/lists/l.txt]",
             "core.AddAudioTrack [/music/m.mp3] [/music/m.mp3] 0", "core.SetBurnSpeed 4"},
            kCoreEnd})},
      // ... and the wizard's: start screen and album first.
      {"every setting, wizard",
       {"/b:4", "/i:/lists/l.txt", "/m:/music/m.mp3", "/d:/d1", "/t2:Two", "/p:5", "/f:PAL", "/l:A4",
        "/s:3", "/x/album.xml"},
       {},
       Cat({WizStart(),
            {"wiz.SetStartScreen 3", "wiz.AddAlbumFile [/x/album.xml] 1", "wiz.SetPaperSize 1",
             "wiz.SetTVSystem 2", "wiz.SetStillDelay 5", "wiz.SetTitleLines [] [Two] []",
             "wiz.AddImageDirectory [/d1]", "wiz.AddImageListFile [/lists/l.txt]",
             "wiz.AddAudioTrack [/music/m.mp3] 0", "wiz.SetBurnSpeed 4"},
            kWizEnd})},
      {"the Marwick album comes after the settings in both modes", {"/q", "/f:pal", "/x/m.xml"}, {},
       Cat({WizStart(), {"wiz.SetTVSystem 2", "wiz.AddAlbumFile [/x/m.xml] 0"}, kWizEnd})},
      {"/q without an album loads nothing", {"/r:silent", "/q"}, {}, Cat({CoreStart(0), kCoreEnd})},
      {"two plain arguments: the second is the album", {"/r:silent", "a.xml", "b.xml"}, {},
       Cat({CoreStart(0), {"core.AddAlbumFile [b.xml] 1"}, kCoreEnd})},
      {"an absolute album path is not a switch", {"/r:silent", "/home/user/My Album.xml"}, {},
       Cat({CoreStart(0), {"core.AddAlbumFile [/home/user/My Album.xml] 1"}, kCoreEnd})},
      {"-- lets a path look like a switch", {"/r:silent", "--", "/t1/album.xml"}, {},
       Cat({CoreStart(0), {"core.AddAlbumFile [/t1/album.xml] 1"}, kCoreEnd})},
      {"a directory with ; is one directory", {"/r:silent", "/d:/photos/a;b", "/d:/c;"}, {},
       Cat({CoreStart(0), {"core.AddImageDirectory [/photos/a;b]", "core.AddImageDirectory [/c;]"}, kCoreEnd})},

      // Refused values: logged before the logger existed, written once it does.
      {"refused delay, start screen and burn speed", {"/r:silent", "/p:0", "/s:6", "/b:-2"}, {},
       Cat({CoreStart(0, {L("CVexaCommandLineInfo::ParseParam - Invalid delay = 0."),
                          L("CVexaCommandLineInfo::ParseParam - Invalid start screen = 6."),
                          L("CVexaCommandLineInfo::ParseParam - Invalid burn speed = -2."), kBad}),
            kCoreEnd})},
      {"delay 1 is left to the receiver", {"/r:silent", "/p:1"}, {},
       Cat({CoreStart(0), {"core.SetStillDelay 1"}, kCoreEnd})},
      // The orchestrator keeps its default for a delay it finds too short,
      // and the run goes on; any other refusal ends it.
      {"a delay refused as too short leaves the default and the run goes on", {"/r:silent", "/p:1"},
       {{"VEXA_FAKE_FAIL", "core.SetStillDelay=6"}},
       Cat({CoreStart(0), {"core.SetStillDelay 1"}, kCoreEnd})},
      {"a delay refused otherwise ends the run", {"/r:silent", "/p:3"}, {{"VEXA_FAKE_FAIL", "core.SetStillDelay=1"}},
       Cat({CoreStart(0),
            {"core.SetStillDelay 3", L("CVEXACore1::SetStillDelay - fake failure."),
             L("CVexaApp::SetStillDelay - Core SetStillDelay() call failed."), kRunFailed, "core.release",
             "log.release"}}),
       1},
      {"/s:abc is the welcome page", {"/s:abc"}, {}, Cat({WizStart(), {"wiz.SetStartScreen 0"}, kWizEnd})},
      {"the orchestrator has no start screen", {"/r:silent", "/s:2"}, {}, Cat({CoreStart(0), kCoreEnd})},
      {"/f:SECAM leaves the TV system unset without a mark", {"/r:silent", "/f:SECAM"}, {},
       Cat({CoreStart(0), kCoreEnd})},

      // Titles.
      {"/t1: alone sets nothing", {"/r:silent", "/t1:"}, {}, Cat({CoreStart(0), kCoreEnd})},
      {"empty lines pass as empty strings", {"/r:silent", "/t3:Three", "/t1:One"}, {},
       Cat({CoreStart(0), {"core.SetTitleLines [One] [] [Three]"}, kCoreEnd})},
      {"/td wins over the lines", {"/r:silent", "/t1:A", "/td"}, {},
       Cat({CoreStart(0), {"core.SetDefaultTitle"}, kCoreEnd})},

      // Music.
      {"/m: in orchestrator mode calls nothing", {"/r:silent", "/m:"}, {}, Cat({CoreStart(0), kCoreEnd})},
      {"/m: in wizard mode hands over an empty file", {"/m:"}, {},
       Cat({WizStart(), {"wiz.AddAudioTrack [] 0"}, kWizEnd})},
      {"/m: /m:x behaves as /m:", {"/m:", "/m:x.mp3"}, {},
       Cat({WizStart(), {"wiz.AddAudioTrack [] 0"}, kWizEnd})},
      {"/m:x /m: behaves as /m:", {"/r:silent", "/m:x.mp3", "/m:"}, {}, Cat({CoreStart(0), kCoreEnd})},

      // Failures of the orchestrator end the run.
      {"a failing setter ends the run", {"/r:silent", "/l:A4", "/f:PAL"},
       {{"VEXA_FAKE_FAIL", "core.SetPaperSize"}},
       Cat({CoreStart(0),
            {"core.SetPaperSize 1", "core.GetErrorCode", L("CVEXACore1::SetPaperSize - fake failure."),
             L("CVexaApp::SetPaperSize - Core SetPaperSize() call failed."), kRunFailed, "core.release",
             "log.release"}}),
       1, true},
      {"the Marwick album's failure is logged as such", {"/r:silent", "/q", "/x/m.xml"},
       {{"VEXA_FAKE_FAIL", "core.AddAlbumFile=23"}},
       Cat({CoreStart(0),
            {"core.AddAlbumFile [/x/m.xml] 0", L("CVEXACore1::AddAlbumFile - fake failure."),
             L("CVexaApp::ProcessXMLFile - Core AddAlbumFile() call failed with Marwick Disc XML file."),
             kRunFailed, "core.release", "log.release"}}),
       1},
      {"no CD writer: Init fails and nothing else is called", {"/r:silent", "/d:/photos"},
       {{"VEXA_FAKE_FAIL", "core.Init=2"}},
       Cat({CoreStart(0),
            {L("CVEXACore1::Init - fake failure."), L("CVexaApp::InitInstance - Core Init() call failed."),
             "core.release", "log.release"}}),
       1},
      {"a failing SetLoggingLevel is logged and the run goes on", {"/r:silent"},
       {{"VEXA_FAKE_FAIL", "core.SetLoggingLevel"}},
       {"log.new", "core.FinalConstruct", "core.SetLoggingLevel -1",
        L("CVEXACore1::SetLoggingLevel - fake failure."),
        L("CVexaApp::InitInstance - Core SetLoggingLevel call failed."), "core.Init 0 [] -1",
        "core.CreateVCD 0 0 -1", "core.release", "log.release"}},
      {"a failing CreateVCD", {"/r:silent"}, {{"VEXA_FAKE_FAIL", "core.CreateVCD=17"}},
       Cat({CoreStart(0),
            {"core.CreateVCD 0 0 -1", L("CVEXACore1::CreateVCD - fake failure."),
             L("CVexaApp::ProcessVCD - Core CreateVCD() call failed."), kRunFailed, "core.release",
             "log.release"}}),
       1},
      {"a failed callee line stops the two-line write", {"/r:silent", "/b:2"},
       {{"VEXA_FAKE_FAIL", "core.SetBurnSpeed=28"}, {"VEXA_FAKE_LOG_FAIL", "fake failure"}},
       Cat({CoreStart(0),
            {"core.SetBurnSpeed 2", "log-failed CVEXACore1::SetBurnSpeed - fake failure.", kRunFailed,
             "core.release", "log.release"}}),
       1},

      // Cancellation: the user's cancel is no failure. The run ends with 0
      // and its lines are information, never errors.
      {"a cancelled CreateVCD in status mode ends quietly", {"/r:status"},
       {{"VEXA_FAKE_FAIL", "core.CreateVCD=21"}},
       Cat({CoreStart(3), Lines(7, "core.GetErrorCode"),
            {"core.CreateVCD 0 0 -1", "core.GetErrorCode", I("CVEXACore1::CreateVCD - fake failure."),
             I("CVexaApp::ProcessVCD - Core CreateVCD() call failed. The user cancelled."), "core.release",
             "log.release"}}),
       0, true},
      {"a cancelled burn ends with status 0 and no error line", {"/r:status"},
       {{"VEXA_FAKE_FAIL", "core.CreateVCD=11"}},
       Cat({CoreStart(3),
            {"core.CreateVCD 0 0 -1", I("CVEXACore1::CreateVCD - fake failure."),
             I("CVexaApp::ProcessVCD - Core CreateVCD() call failed. The user cancelled."), "core.release",
             "log.release"}}),
       0},
      {"a cancel after a directory ends the run before the next", {"/r:status", "/d:/a", "/d:/b"},
       {{"VEXA_FAKE_CANCEL_AFTER", "core.AddImageDirectory"}},
       Cat({CoreStart(3), Lines(3, "core.GetErrorCode"),
            {"core.AddImageDirectory [/a]", "core.GetErrorCode", "core.GetErrorCode", "core.release",
             "log.release"}}),
       0, true},
      {"the wizard's cancel ends quietly", {}, {{"VEXA_FAKE_FAIL", "wiz.CreateVCD=1"}},
       {"log.new", "wiz.FinalConstruct", "wiz.Init [] -1", "wiz.CreateVCD",
        I("CVEXAWizard1::CreateVCD - fake failure."),
        I("CVexaApp::ProcessVCD - Wiz CreateVCD() call failed. The user cancelled."), "wiz.release", "log.release"}},
      {"a cancel code in silent mode ends as a cancel too", {"/r:silent"},
       {{"VEXA_FAKE_FAIL", "core.CreateVCD=21"}},
       Cat({CoreStart(0),
            {"core.CreateVCD 0 0 -1", I("CVEXACore1::CreateVCD - fake failure."),
             I("CVexaApp::ProcessVCD - Core CreateVCD() call failed. The user cancelled."), "core.release",
             "log.release"}}),
       0},
      {"a cancelled album ends the run quietly before the next step", {"/r:status", "/x/album.xml", "/d:/a"},
       {{"VEXA_FAKE_FAIL", "core.AddAlbumFile=21"}},
       Cat({CoreStart(3),
            {"core.AddAlbumFile [/x/album.xml] 1", I("CVEXACore1::AddAlbumFile - fake failure."),
             I("CVexaApp::ProcessXMLFile - Core AddAlbumFile() call failed with Orlune Disc XML file. The user "
               "cancelled."),
             "core.release", "log.release"}}),
       0},

      // The wizard lets two failures pass.
      {"the wizard's album with a bad picture", {"/x/album.xml"},
       {{"VEXA_FAKE_FAIL", "wiz.AddAlbumFile=3"}},
       Cat({WizStart(), {"wiz.AddAlbumFile [/x/album.xml] 1"}, kWizEnd})},
      {"the wizard's album failing otherwise", {"/x/album.xml"}, {{"VEXA_FAKE_FAIL", "wiz.AddAlbumFile=4"}},
       Cat({WizStart(),
            {"wiz.AddAlbumFile [/x/album.xml] 1",
             L("CVEXAWizard1::AddAlbumFile - fake failure."),
             L("CVexaApp::ProcessXMLFile - Wiz AddAlbumFile() call failed with Orlune Disc XML file."),
             kRunFailed, "wiz.release", "log.release"}}),
       1},
      {"the Marwick album is never let pass", {"/q", "/x/album.xml"}, {{"VEXA_FAKE_FAIL", "wiz.AddAlbumFile=3"}},
       Cat({WizStart(),
            {"wiz.AddAlbumFile [/x/album.xml] 0", L("CVEXAWizard1::AddAlbumFile - fake failure."),
             L("CVexaApp::ProcessXMLFile - Wiz AddAlbumFile() call failed with Marwick Disc XML file."),
             kRunFailed, "wiz.release", "log.release"}}),
       1},
      {"the wizard's bad music file", {"/m:/a.wav"}, {{"VEXA_FAKE_FAIL", "wiz.AddAudioTrack=2"}},
       Cat({WizStart(), {"wiz.AddAudioTrack [/a.wav] 0"}, kWizEnd})},
      {"the wizard's Init failing", {}, {{"VEXA_FAKE_FAIL", "wiz.Init"}},
       {"log.new", "wiz.FinalConstruct", "wiz.Init [] -1", L("CVEXAWizard1::Init - fake failure."),
        L("CVexaApp::InitInstance - Wizard Init() call failed."), "wiz.release", "log.release"},
       1},
      // Objects that cannot be made.
      {"the orchestrator cannot be made", {"/r:silent"}, {{"VEXA_FAKE_FAIL", "core.FinalConstruct"}},
       {"log.new", "core.FinalConstruct", "core.release", L("CVEXACore1::FinalConstruct - fake failure."),
        L("CVexaApp::InitInstance - Cannot start Orlune Disc Core."), "log.release"},
       2},
      {"the wizard cannot be made", {}, {{"VEXA_FAKE_FAIL", "wiz.FinalConstruct"}},
       {"log.new", "wiz.FinalConstruct", "wiz.release",
        L("CVexaApp::InitInstance - Cannot start Orlune Disc Wizard."),
        "log.release"},
       2},
  };
  return rows;
}

Lines WithoutAsks(Lines lines) {
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const std::string& l) {
                               return l == "core.GetErrorCode" || l == "wiz.GetErrorCode";
                             }),
              lines.end());
  return lines;
}

TEST(VexaProgramTest, CallsLogLinesAndStatus) {
  Sandbox box;
  Sandbox::RegisterFakes();
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    const ProgramResult r = box.Run("vexa", row.args, row.env);
    EXPECT_EQ(r.status, row.status) << r.err;
    const Lines trace = box.Trace();
    if (row.withAsks) {
      EXPECT_EQ(trace, row.trace);
    } else {
      EXPECT_EQ(WithoutAsks(trace), WithoutAsks(row.trace));
    }
  }
}

// A failing GetErrorCode is logged (after its own text) and counts as no
// cancel: the run goes on.
TEST(VexaProgramTest, EveryFailingAskIsLoggedAndTheRunGoesOn) {
  Sandbox box;
  Sandbox::RegisterFakes();
  for (const auto& [mode, object, cls, name] :
       {std::tuple{"", "wiz", "CVEXAWizard1", "Wiz"}, std::tuple{"/r:status", "core", "CVEXACore1", "Core"}}) {
    SCOPED_TRACE(object);
    const Lines args = *mode ? Lines{mode} : Lines{};
    const ProgramResult r = box.Run("vexa", args, {{"VEXA_FAKE_GEC_FAIL", object}});
    EXPECT_EQ(r.status, 0) << r.err;
    const Lines trace = box.Trace();
    const Lines ask = {std::string(object) + ".GetErrorCode",
                       L(std::string(cls) + "::GetErrorCode - fake failure."),
                       L("CVexaApp::CheckCancelled - " + std::string(name) + " GetErrorCode() call failed.")};
    Lines asks;
    for (int i = 0; i < 7; ++i) asks.insert(asks.end(), ask.begin(), ask.end());
    const Lines expected = *mode ? Cat({CoreStart(3), asks, kCoreEnd}) : Cat({WizStart(), asks, kWizEnd});
    EXPECT_EQ(trace, expected);
  }
}

TEST(VexaProgramTest, HelpPrintsTheUsageAndDoesNothingElse) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const ProgramResult r = box.Run("vexa", {"/r:silent", "/H", "/d:/photos"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: vexa[options] [Orlune disc XML file]\nOptions:\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("   [/b:burnspeed] Sets burn speed. Must be a number > 0.\n"), std::string::npos);
  EXPECT_NE(r.out.find("   [XML file] Full path to XML file in Orlune disc format. See /q.\n"),
            std::string::npos);
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  EXPECT_EQ(SplitLines(r.out).size(), 17u);
  EXPECT_TRUE(box.Trace().empty());
}

// The ways people ask programs for their usage print it as /h does.
TEST(VexaProgramTest, EveryUsualWayToAskForHelpPrintsTheUsage) {
  Sandbox box;
  Sandbox::RegisterFakes();
  for (const Lines& args : {Lines{"--help"}, Lines{"/?"}, Lines{"-?", "/r:status"}, Lines{"/help"}}) {
    SCOPED_TRACE(args[0]);
    const ProgramResult r = box.Run("vexa", args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: vexa[options] [Orlune disc XML file]\nOptions:\n", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(box.Trace().empty());
  }
}

// A start that fails for a cause outside the software says that cause and
// what to do, without the advice to reboot and reinstall, which mends none
// of them: no display for the wizard (where switches the command line did
// not take are named, as a mistyped /r: is what leads there), and a
// VEXA_PREFIX that names no installation.
TEST(VexaProgramTest, AKnownCauseIsSaidWithoutTheReinstallAdvice) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const std::string noDisplay =
      "CVEXAWizard1::FinalConstruct - No display to show the wizard on: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
      "are all unset. Run it in a desktop session, or make the disc with /r:status or /r:silent.";
  const std::string nowhere = box.root() + "/nowhere";
  struct Case {
    const char* name;
    Lines args;
    std::map<std::string, std::string> env;
    std::string err;
  };
  const Case cases[] = {
      {"no display for the wizard, after a mistyped /r:", {"/r:stauts", "--foo", "/d:/photos"},
       {{"VEXA_FAKE_FAIL", "wiz.FinalConstruct"}, {"VEXA_FAKE_FAIL_TEXT", noDisplay}},
       "Kv Orlune Disc Creator Software - Error\n" + noDisplay +
           "\n\nNot taken from the command line: /r:stauts --foo (vexa /h lists the switches).\n"},
      {"no display for the wizard", {},
       {{"VEXA_FAKE_FAIL", "wiz.FinalConstruct"}, {"VEXA_FAKE_FAIL_TEXT", noDisplay}},
       "Kv Orlune Disc Creator Software - Error\n" + noDisplay + "\n"},
      {"VEXA_PREFIX naming no installation", {"/r:silent"}, {{"VEXA_PREFIX", nowhere}},
       "Kv Orlune Disc Creator Software - Error\nVEXA_PREFIX=\"" + nowhere +
           "\" names no installation of the software: " + nowhere +
           "/lib/vexa is not a folder. Unset VEXA_PREFIX, or set it to the folder the software is installed in (the "
           "one that holds bin/vexa and lib/vexa).\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProgramResult r = box.Run("vexa", c.args, c.env);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
  }
}

const char kFailureText[] =
    "Kv Orlune Disc Creator Software - Error\n"
    "The orlune disc creator software detected a problem and cannot continue.\n\n"
    "Try the following in the order given:\n"
    "   - Reboot your computer.\n"
    "   - Check for a newer version of the software. From the wizard home screen, click About, Update.\n"
    "   - Uninstall the software and reinstall.\n";

TEST(VexaProgramTest, WithoutADisplayTheFailureBoxGoesToStandardError) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const ProgramResult r = box.Run("vexa", {"/r:silent"}, {{"VEXA_FAKE_FAIL", "core.FinalConstruct"}});
  EXPECT_EQ(r.status, 2);
  // The reason the orchestrator gave, then the general advice.
  const std::string caption = "Kv Orlune Disc Creator Software - Error\n";
  EXPECT_EQ(r.err, caption + "CVEXACore1::FinalConstruct - fake failure.\n\n" + (kFailureText + caption.size()));
}

// A registry file that cannot be read: the box names the file and the line.
TEST(VexaProgramTest, ABrokenRegistryFileIsNamedWithItsLine) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const std::string hive = box.root() + "/registry/HKLM.reg";
  std::string text;
  ASSERT_TRUE(base::ReadFile(hive, &text)) << hive;
  ASSERT_TRUE(base::WriteFileAtomic(hive, text + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"));
  const std::size_t line = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  const ProgramResult r = box.Run("vexa", {"/r:silent"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("the registry cannot be read: " + hive + " line " + std::to_string(line)), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Reboot"), r.err.rfind("Reboot")) << r.err;
}

TEST(VexaProgramTest, WithoutALoggerTheKeptLinesGoToStandardError) {
  Sandbox box;
  Sandbox::RegisterFakes(false, true, true);
  Sandbox::RegisterInproc(CLSID_VexaLogger, "vexa_no_such_module");
  const ProgramResult r = box.Run("vexa", {"/r:silent", "/p:0"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, std::string(kFailureText) +
                       "vexa: CVexaCommandLineInfo::ParseParam - Invalid delay = 0.\n"
                       "vexa: CVexaApp::InitInstance - Bad Command line parameter present.\n");
  EXPECT_TRUE(box.Trace().empty());  // no orchestrator was made
}

// Lines the logger refuses (a full disk): the run says so once on standard
// error, with the logger's reason, and goes on to its end.
TEST(VexaProgramTest, ALoggerThatRefusesLinesIsSaidOnceAndTheRunGoesOn) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const ProgramResult r = box.Run("vexa", {"/r:silent", "/p:0", "/s:9"}, {{"VEXA_FAKE_LOG_FAIL", "Invalid"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "vexa: this run cannot be logged, and goes on without its log: the log server refused a line\n");
  const std::vector<std::string> trace = box.Trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "core.CreateVCD 0 0 -1"), trace.end());
}

// A stop request is noticed where the run looks for a cancel: the steps
// after it are left out, the stop is logged, the components are released as
// on any other end, and the status is 128 + N.
TEST(VexaProgramTest, StopRequests) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const Lines stopped = {L("CVexaApp::InitInstance - Run stopped by signal 15."), "core.release", "log.release"};
  ProgramResult r = box.Run("vexa", {"/r:silent", "/l:A4"}, {{"VEXA_FAKE_RAISE", "core.CreateVCD"}});
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(box.Trace(), Cat({CoreStart(0), {"core.SetPaperSize 1", "core.CreateVCD 0 0 -1"}, stopped}));

  r = box.Run("vexa", {"/r:silent", "/l:A4", "/f:PAL"}, {{"VEXA_FAKE_RAISE", "core.SetPaperSize"}});
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_EQ(box.Trace(), Cat({CoreStart(0), {"core.SetPaperSize 1"}, stopped}));

  r = box.Run("vexa", {"/r:silent", "/x", "/l:A4"}, {{"VEXA_FAKE_RAISE", "log:Bad Command line"}});
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_EQ(box.Trace(), (Lines{"log.new", kBad, L("CVexaApp::InitInstance - Run stopped by signal 15."),
                                "log.release"}));
}

// A call that never returns cannot notice a stop request: once the grace
// period (here VEXA_STOP_GRACE_SECONDS, one second) has passed, the program
// says so, removes its temporary folders and ends with 128 + N, without the
// releases of a normal end.
TEST(VexaProgramTest, ACallThatNeverReturnsEndsByTheLastResort) {
  Sandbox box;
  Sandbox::RegisterFakes();
  const std::string ready = box.root() + "/ready";
  ASSERT_EQ(::mkfifo(ready.c_str(), 0600), 0);
  // Opened before the program starts, without waiting for a writer: the
  // program's line wakes the poll below.
  const int fd = ::open(ready.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const pid_t run = SpawnProgram(ProgramPath("vexa"), {"/r:silent"},
                                 box.Env({{"VEXA_FAKE_BLOCK", "core.CreateVCD"},
                                          {"VEXA_FAKE_READY_FIFO", ready},
                                          {"VEXA_STOP_GRACE_SECONDS", "1"}}),
                                 box.root() + "/scratch");
  ASSERT_GT(run, 0);
  pollfd p{fd, POLLIN, 0};
  const bool blocked = ::poll(&p, 1, 300000) == 1;
  ::close(fd);
  ::kill(run, SIGTERM);
  const ProgramResult r = WaitProgram(run, box.root() + "/scratch");
  ASSERT_TRUE(blocked) << "vexa did not reach core.CreateVCD within 300 s";
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_EQ(r.err, "stopped by signal; removing temporary folders\n");
  const Lines trace = box.Trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "core.CreateVCD 0 0 -1"), trace.end());
  EXPECT_EQ(std::find(trace.begin(), trace.end(), "core.release"), trace.end());
}

// The real log server: lines reach vexalog.txt in the data folder, those
// written before the logger existed included. The wizard's class names a
// module that is not there.
TEST(VexaProgramTest, WizardModeWithoutAWizardThroughTheLogServer) {
  Sandbox box;
  Sandbox::RegisterInproc(CLSID_VEXAWizard1, "vexa_no_such_module");
  const ProgramResult r = box.Run("vexa", {"/p:0", "/f:PAL"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, kFailureText);
  std::string log;
  ASSERT_TRUE(base::ReadFile(box.data() + "vexalog.txt", &log));
  const std::vector<std::string> expected = {
      "CVexaCommandLineInfo::ParseParam - Invalid delay = 0.",
      "CVexaApp::InitInstance - Bad Command line parameter present.",
      "CVexaApp::InitInstance - Cannot start Orlune Disc Wizard."};
  std::size_t pos = 0;
  for (const std::string& text : expected) {
    const std::size_t at = log.find(" ERROR  vexa     : " + text + "\r\n", pos);
    ASSERT_NE(at, std::string::npos) << text << "\n" << log;
    pos = at;
  }
}

}  // namespace
}  // namespace vexa::app::testing
