// CVexaApp: the program. It reads the command line, creates the logger and
// then the creation wizard or (with /r:status or /r:silent) the burn
// orchestrator, pushes the command line's settings into it in a fixed order
// and ends with its CreateVCD. The whole run happens in InitInstance;
// ExitInstance releases what was created.
#pragma once

#include <string>
#include <vector>

#include "apps/vexa/VexaCommandLineInfo.h"
#include "apps/vexa/VexaUi.h"
#include "idl/vexacore.h"
#include "idl/vexalog.h"
#include "idl/vexawiz.h"
#include "platform/com/Com.h"

namespace vexa::app {

// The program's exit status.
enum VexaExitStatus : int {
  kExitDone = 0,         // the disc was made, the user cancelled, or /h
  kExitFailed = 1,       // the run failed (see the log)
  kExitCannotStart = 2,  // the logger, the wizard or the orchestrator could not be created
};

class CVexaApp {
 public:
  explicit CVexaApp(VexaUi& ui) : ui_(ui) {}
  CVexaApp(const CVexaApp&) = delete;
  CVexaApp& operator=(const CVexaApp&) = delete;

  // Runs the program on the arguments after its name; answers the exit
  // status.
  int Run(const std::vector<std::string>& args);

  // The settings read from the command line.
  const CVexaCommandLineInfo& CommandLine() const { return cmdInfo_; }

 private:
  // Always answers false: the application does not run on afterwards.
  bool InitInstance(const std::vector<std::string>& args);
  void ExitInstance();

  bool CreateLogger();
  bool StartWizard();
  bool StartCore();
  bool RunCommandSequence();

  // The steps; each answers success.
  bool SetStartScreen();
  bool ProcessXMLFile(bool marwickDialect);
  bool SetPaperSize();
  bool SetTVSystem();
  bool SetStillDelay();
  bool SetTitles();
  bool SetTitleLines();
  bool SetDefaultTitle();
  bool ProcessImageDirectories();
  bool AddImageListFile();
  bool AddAudioTrack();
  bool SetBurnSpeed();
  bool ProcessVCD();
  // Whether the user cancelled the run (never asked in silent mode).
  bool CheckCancelled();

  // Whether the object's result code says the user ended the run: the
  // wizard's cancel, the orchestrator's cancel or cancelled burn.
  bool EndedByUser();
  // Logs the line of a step whose call failed, after the callee's text: as
  // errors, or as information when the user's cancel (or a stop signal)
  // ended the call, which is no failure. Remembers which it was.
  void StepFailed(const char* line);
  // True (after logging it) once a stop has been requested by a signal.
  bool StopRequested();

  // The failure box: the reason when one is known (a registry file that
  // cannot be read names its file and line), then the general advice, which
  // is left out when the reason lies outside the software (no display,
  // VEXA_PREFIX naming no installation) and says itself what to do.
  void ShowFailureBox(const std::string& reason = "", bool withAdvice = true);
  // Why nothing can start when the cause is known outside the programs:
  // VEXA_PREFIX naming a folder that holds no installation; "" otherwise.
  static std::string PrefixProblem();
  void ShowUsage();

  VexaUi& ui_;
  CVexaCommandLineInfo cmdInfo_;
  bool wizardMode_ = false;
  bool coreMode_ = false;
  bool askAboutCancellation_ = true;
  vexa::com::ComPtr<IVexaLogger> logger_;
  std::string loggerFailure_;  // why the logger could not be made, when known
  vexa::com::ComPtr<IVEXAWizard1> wizard_;
  vexa::com::ComPtr<IVEXACore1> core_;
  bool comInitialized_ = false;
  int exitStatus_ = kExitDone;
  bool stopLogged_ = false;
  // Set by StepFailed: -1 not asked yet, 0 a failure, 1 ended by the user.
  int stepEndedByUser_ = -1;
};

}  // namespace vexa::app
