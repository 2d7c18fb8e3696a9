#include "apps/vexa/VexaApp.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "apps/vexa/Resources.h"
#include "apps/vexa/VexaUtil.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/StopRequest.h"

namespace vexa::app {

namespace {

using vexa::com::Bstr;

// The creation context of every object vexa makes: in-process server,
// in-process handler or local server.
constexpr CLSCTX kContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// A call into the wizard or the orchestrator. Error information left on the
// thread by an earlier call is dropped first, so that a failing call that
// sets none is never logged with another call's text.
template <typename F>
HRESULT Call(F&& call) {
  vexa::com::TakeError();
  return call();
}

// GetErrorCode and creation keep the error information as it is.
template <typename F>
HRESULT Ask(F&& call) {
  return call();
}

void Log(const char* text, bool withCalleeError) { CVexaUtil::Log(text, withCalleeError); }

}  // namespace

int CVexaApp::Run(const std::vector<std::string>& args) {
  InitInstance(args);
  ExitInstance();
  for (const std::string& line : CVexaUtil::TakeUndeliveredLines()) {
    std::fprintf(stderr, "vexa: %s\n", line.c_str());
  }
  if (const int sig = base::StopSignal()) return base::StopExitStatus(sig);
  return exitStatus_;
}

bool CVexaApp::InitInstance(const std::vector<std::string>& args) {
  comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
  ParseCommandLine(args, &cmdInfo_);

  if (cmdInfo_.help) {
    ShowUsage();
    return false;
  }
  if (cmdInfo_.badParameter) Log("CVexaApp::InitInstance - Bad Command line parameter present.", false);

  wizardMode_ = true;
  coreMode_ = false;
  askAboutCancellation_ = true;
  if (cmdInfo_.statusMode) {
    wizardMode_ = false;
    coreMode_ = true;
  }
  if (cmdInfo_.silentMode) {
    wizardMode_ = false;
    coreMode_ = true;
    askAboutCancellation_ = false;
  }

  if (!CreateLogger()) {
    const std::string prefix = PrefixProblem();
    if (!prefix.empty()) {
      ShowFailureBox(prefix, false);
    } else {
      ShowFailureBox(loggerFailure_);
    }
    exitStatus_ = kExitCannotStart;
    return false;
  }
  if (StopRequested()) return false;

  if (wizardMode_ ? !StartWizard() : !StartCore()) return false;

  const bool made = RunCommandSequence();
  // A stop request reaches the components as a cancel; the run then ends
  // here and the components are released as usual.
  if (StopRequested()) return false;
  if (!made) {
    // A run the user cancelled ends quietly, without an error line.
    const bool byUser = stepEndedByUser_ >= 0 ? stepEndedByUser_ == 1 : EndedByUser();
    if (!byUser) Log("CVexaApp::InitInstance - CreateVCD() call failed.", false);
    exitStatus_ = byUser ? kExitDone : kExitFailed;
  }
  return false;
}

void CVexaApp::ExitInstance() {
  // Released even after a stop request: that is what ending cleanly means.
  wizard_.Reset();
  core_.Reset();
  CVexaUtil::SetLogger(nullptr);
  logger_.Reset();
  if (comInitialized_) {
    CoUninitialize();
    comInitialized_ = false;
  }
}

bool CVexaApp::CreateLogger() {
  const HRESULT hr = CoCreateInstance(CLSID_VexaLogger, nullptr, kContext, IID_IVexaLogger,
                                      logger_.PutVoid());
  if (FAILED(hr) || !logger_) {
    logger_.Reset();
    const auto e = vexa::com::TakeError();
    loggerFailure_ = e.present ? e.Utf8Description() : "";
    return false;
  }
  CVexaUtil::SetLogger(logger_.Get());
  CVexaUtil::CheckLogWritable();
  return true;
}

bool CVexaApp::StartWizard() {
  HRESULT hr = Ask([&] {
    return CoCreateInstance(CLSID_VEXAWizard1, nullptr, kContext, IID_IVEXAWizard1, wizard_.PutVoid());
  });
  if (FAILED(hr) || !wizard_) {
    wizard_.Reset();
    const auto e = vexa::com::TakeError();
    std::string reason = e.present ? e.Utf8Description() : "";
    Log("CVexaApp::InitInstance - Cannot start Orlune Disc Wizard.", false);
    const std::string prefix = PrefixProblem();
    if (!prefix.empty()) {
      ShowFailureBox(prefix, false);
    } else if (reason.find("No display to show the wizard on") != std::string::npos) {
      // The wizard is windows: without a window system the cause is known,
      // and no reinstall mends it.
      // A mistyped /r: leaves the wizard's mode: the switches not taken are
      // named, since they may be why the wizard was wanted at all.
      if (!cmdInfo_.refused.empty()) {
        std::string refused;
        for (const std::string& arg : cmdInfo_.refused) refused += (refused.empty() ? "" : " ") + arg;
        reason += "\r\n\r\nNot taken from the command line: " + refused + " (vexa /h lists the switches).";
      }
      ShowFailureBox(reason, false);
    } else {
      ShowFailureBox(reason);
    }
    exitStatus_ = kExitCannotStart;
    return false;
  }
  const Bstr noTempDirectory(u"");
  hr = Call([&] { return wizard_->Init(noTempDirectory.Get(), VARIANT_TRUE); });
  if (FAILED(hr)) {
    Log("CVexaApp::InitInstance - Wizard Init() call failed.", true);
    Ask([&] {
      wizard_.Reset();
      return S_OK;
    });
    exitStatus_ = kExitFailed;
    return false;
  }
  return !StopRequested();
}

bool CVexaApp::StartCore() {
  vexa::com::TakeError();
  HRESULT hr = Ask([&] {
    return CoCreateInstance(CLSID_VEXACore1, nullptr, kContext, IID_IVEXACore1, core_.PutVoid());
  });
  if (FAILED(hr) || !core_) {
    core_.Reset();
    // The orchestrator's construction leaves its reason in the error
    // information; it goes to the log before the line, and into the box.
    const auto e = vexa::com::TakeError();
    const std::string reason = e.present ? e.Utf8Description() : "";
    if (!reason.empty()) CVexaUtil::Log(reason, false);
    Log("CVexaApp::InitInstance - Cannot start Orlune Disc Core.", false);
    const std::string prefix = PrefixProblem();
    if (!prefix.empty()) {
      ShowFailureBox(prefix, false);
    } else {
      ShowFailureBox(reason);
    }
    exitStatus_ = kExitCannotStart;
    return false;
  }
  hr = Call([&] { return core_->SetLoggingLevel(VARIANT_TRUE); });
  if (FAILED(hr)) Log("CVexaApp::InitInstance - Core SetLoggingLevel call failed.", true);

  const VEXACoreShowStatusLevel level =
      cmdInfo_.silentMode ? VEXACoreShowStatusNothing : VEXACoreShowStatusAll;
  const Bstr noTempDirectory(u"");
  hr = Call([&] { return core_->Init(level, noTempDirectory.Get(), VARIANT_TRUE); });
  if (FAILED(hr)) {
    Log("CVexaApp::InitInstance - Core Init() call failed.", true);
    // Init only logs a missing writer (its other callers may go on without
    // one); the status run ends here, so the orchestrator is asked to say
    // why where the user sees it.
    VEXACoreErrorCode code = VEXACoreSuccess;
    if (level == VEXACoreShowStatusAll && SUCCEEDED(Ask([&] { return core_->GetErrorCode(&code); })) &&
        code == VEXACoreNoCDWriter) {
      VARIANT_BOOL present = VARIANT_FALSE;
      Call([&] { return core_->GetNextDrive(VARIANT_TRUE, &present); });
      vexa::com::TakeError();
    }
    Ask([&] {
      core_.Reset();
      return S_OK;
    });
    exitStatus_ = kExitFailed;
    return false;
  }
  return !StopRequested();
}

bool CVexaApp::RunCommandSequence() {
  std::vector<std::function<bool()>> steps;
  if (wizardMode_) {
    steps.push_back([this] { return SetStartScreen(); });
    steps.push_back([this] { return ProcessXMLFile(false); });
  }
  steps.push_back([this] { return SetPaperSize(); });
  steps.push_back([this] { return SetTVSystem(); });
  steps.push_back([this] { return SetStillDelay(); });
  steps.push_back([this] { return SetTitles(); });
  // The orchestrator takes the album after the command line's settings.
  if (coreMode_) steps.push_back([this] { return ProcessXMLFile(false); });
  steps.push_back([this] { return ProcessXMLFile(true); });
  steps.push_back([this] { return ProcessImageDirectories(); });
  steps.push_back([this] { return AddImageListFile(); });
  steps.push_back([this] { return AddAudioTrack(); });
  steps.push_back([this] { return SetBurnSpeed(); });
  steps.push_back([this] { return ProcessVCD(); });

  for (const auto& step : steps) {
    if (StopRequested()) return false;
    if (!step()) return false;
  }
  return true;
}

bool CVexaApp::SetStartScreen() {
  if (!wizardMode_ || cmdInfo_.startScreen == -1) return true;
  const auto screen = static_cast<VEXAWizStartScreen>(cmdInfo_.startScreen);
  if (FAILED(Call([&] { return wizard_->SetStartScreen(screen); }))) {
    StepFailed("CVexaApp::SetStartScreen - Wiz SetStartScreen() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::ProcessXMLFile(bool marwickDialect) {
  if (CheckCancelled()) return false;
  if (cmdInfo_.albumFile.empty() || cmdInfo_.marwick != marwickDialect) return true;
  const Bstr album = CVexaUtil::ToBstr(cmdInfo_.albumFile);
  if (wizardMode_) {
    const VEXAWizAlbumFormat format = marwickDialect ? VEXAWizCueXML : VEXAWizXML;
    if (SUCCEEDED(Call([&] { return wizard_->AddAlbumFile(album.Get(), format); }))) return true;
    if (!marwickDialect) {
      // An album with a bad picture is left to the wizard's user.
      VEXAWizErrorCode code = VEXAWizSuccess;
      if (SUCCEEDED(Ask([&] { return wizard_->GetErrorCode(&code); })) &&
          code == VEXAWizBadImageFile) {
        vexa::com::TakeError();
        return true;
      }
      StepFailed("CVexaApp::ProcessXMLFile - Wiz AddAlbumFile() call failed with Orlune Disc XML file.");
    } else {
      StepFailed("CVexaApp::ProcessXMLFile - Wiz AddAlbumFile() call failed with Marwick Disc XML file.");
    }
    return false;
  }
  const VEXACoreAlbumFormat format = marwickDialect ? VEXACoreCueXML : VEXACoreXML;
  if (SUCCEEDED(Call([&] { return core_->AddAlbumFile(album.Get(), format); }))) return true;
  StepFailed(marwickDialect
                 ? "CVexaApp::ProcessXMLFile - Core AddAlbumFile() call failed with Marwick Disc XML file."
                 : "CVexaApp::ProcessXMLFile - Core AddAlbumFile() call failed with Orlune Disc XML file.");
  return false;
}

bool CVexaApp::SetPaperSize() {
  if (cmdInfo_.paperSize == CVexaCommandLineInfo::kPaperNotGiven) return true;
  const bool a4 = cmdInfo_.paperSize == CVexaCommandLineInfo::kPaperA4;
  if (wizardMode_) {
    const VEXAWizPaperSize paper = a4 ? VEXAWizPaperSizeA4 : VEXAWizPaperSizeLetter;
    if (FAILED(Call([&] { return wizard_->SetPaperSize(paper); }))) {
      StepFailed("CVexaApp::SetPaperSize - Wiz SetPaperSize() call failed.");
      return false;
    }
    return true;
  }
  const VEXACorePaperSize paper = a4 ? VEXACorePaperSizeA4 : VEXACorePaperSizeLetter;
  if (FAILED(Call([&] { return core_->SetPaperSize(paper); }))) {
    StepFailed("CVexaApp::SetPaperSize - Core SetPaperSize() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::SetTVSystem() {
  if (cmdInfo_.tvSystem == CVexaCommandLineInfo::kTVNotGiven) return true;
  const bool pal = cmdInfo_.tvSystem == CVexaCommandLineInfo::kTVPAL;
  if (wizardMode_) {
    const VEXAWizTVSystem tv = pal ? VEXAWizTVPAL : VEXAWizTVNTSC;
    if (FAILED(Call([&] { return wizard_->SetTVSystem(tv); }))) {
      StepFailed("CVexaApp::SetTVSystem - Wiz SetTVSystem() call failed.");
      return false;
    }
    return true;
  }
  const VEXACoreTVSystem tv = pal ? VEXACoreTVPAL : VEXACoreTVNTSC;
  if (FAILED(Call([&] { return core_->SetTVSystem(tv); }))) {
    StepFailed("CVexaApp::SetTVSystem - Core SetTVSystem() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::SetStillDelay() {
  if (cmdInfo_.stillDelay == -1) return true;
  const LONG delay = cmdInfo_.stillDelay;
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->SetStillDelay(delay); }))) {
      StepFailed("CVexaApp::SetStillDelay - Wiz SetStillDelay() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->SetStillDelay(delay); }))) {
    // A delay below the least the orchestrator takes is refused there and
    // its default kept (its log line says so); as with the command line's
    // own refused values, the run goes on.
    VEXACoreErrorCode code = VEXACoreSuccess;
    if (SUCCEEDED(Ask([&] { return core_->GetErrorCode(&code); })) && code == VEXACoreStillDelayTooSmall) {
      vexa::com::TakeError();
      return true;
    }
    StepFailed("CVexaApp::SetStillDelay - Core SetStillDelay() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::SetTitles() {
  if (cmdInfo_.defaultTitle) return SetDefaultTitle();
  if (cmdInfo_.title1.empty() && cmdInfo_.title2.empty() && cmdInfo_.title3.empty()) return true;
  return SetTitleLines();
}

bool CVexaApp::SetTitleLines() {
  const Bstr t1 = CVexaUtil::ToBstr(cmdInfo_.title1);
  const Bstr t2 = CVexaUtil::ToBstr(cmdInfo_.title2);
  const Bstr t3 = CVexaUtil::ToBstr(cmdInfo_.title3);
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->SetTitleLines(t1.Get(), t2.Get(), t3.Get()); }))) {
      StepFailed("CVexaApp::SetTitleLines - Wiz SetTitleLines() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->SetTitleLines(t1.Get(), t2.Get(), t3.Get()); }))) {
    StepFailed("CVexaApp::SetTitleLines - Core SetTitleLines() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::SetDefaultTitle() {
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->SetDefaultTitle(); }))) {
      StepFailed("CVexaApp::SetDefaultTitle - Wiz SetDefaultTitle() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->SetDefaultTitle(); }))) {
    StepFailed("CVexaApp::SetDefaultTitle - Core SetDefaultTitle() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::ProcessImageDirectories() {
  if (CheckCancelled()) return false;
  for (const std::string& directory : cmdInfo_.imageDirectories) {
    const Bstr dir = CVexaUtil::ToBstr(directory);
    if (wizardMode_) {
      if (FAILED(Call([&] { return wizard_->AddImageDirectory(dir.Get()); }))) {
        StepFailed("CVexaApp::ProcessImageDirectories - Wiz AddImageDirectory() call failed.");
        return false;
      }
    } else if (FAILED(Call([&] { return core_->AddImageDirectory(dir.Get()); }))) {
      StepFailed("CVexaApp::ProcessImageDirectories - Core AddImageDirectory() call failed.");
      return false;
    }
    if (CheckCancelled()) return false;
  }
  return true;
}

bool CVexaApp::AddImageListFile() {
  if (CheckCancelled()) return false;
  if (cmdInfo_.imageListFile.empty()) return true;
  const Bstr list = CVexaUtil::ToBstr(cmdInfo_.imageListFile);
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->AddImageListFile(list.Get()); }))) {
      StepFailed("CVexaApp::AddImageListFile - Wiz AddImageListFile() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->AddImageListFile(list.Get()); }))) {
    StepFailed("CVexaApp::AddImageListFile - Core AddImageListFile() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::AddAudioTrack() {
  if (CheckCancelled()) return false;
  if (!cmdInfo_.emptyMusic && cmdInfo_.noMusicGiven) return true;
  // An empty /m: anywhere on the line wins over a file.
  const std::string file = cmdInfo_.emptyMusic ? std::string() : cmdInfo_.musicFile;
  const Bstr music = CVexaUtil::ToBstr(file);
  if (wizardMode_) {
    if (SUCCEEDED(Call([&] { return wizard_->AddAudioTrack(music.Get(), 0.0); }))) return true;
    // A bad music file is left to the wizard's user.
    VEXAWizErrorCode code = VEXAWizSuccess;
    if (SUCCEEDED(Ask([&] { return wizard_->GetErrorCode(&code); })) && code == VEXAWizBadAudioFile) {
      vexa::com::TakeError();
      return true;
    }
    StepFailed("CVexaApp::AddAudioTrack - Wiz AddAudioTrack() call failed.");
    return false;
  }
  if (file.empty()) return true;
  if (FAILED(Call([&] { return core_->AddAudioTrack(music.Get(), music.Get(), 0.0); }))) {
    StepFailed("CVexaApp::AddAudioTrack - Core AddAudioTrack() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::SetBurnSpeed() {
  if (CheckCancelled()) return false;
  if (cmdInfo_.burnSpeed == -1) return true;
  const LONG speed = cmdInfo_.burnSpeed;
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->SetBurnSpeed(speed); }))) {
      StepFailed("CVexaApp::SetBurnSpeed - Wiz SetBurnSpeed() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->SetBurnSpeed(speed); }))) {
    StepFailed("CVexaApp::SetBurnSpeed - Core SetBurnSpeed() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::ProcessVCD() {
  if (CheckCancelled()) return false;
  if (wizardMode_) {
    if (FAILED(Call([&] { return wizard_->CreateVCD(); }))) {
      StepFailed("CVexaApp::ProcessVCD - Wiz CreateVCD() call failed.");
      return false;
    }
    return true;
  }
  if (FAILED(Call([&] { return core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE); }))) {
    StepFailed("CVexaApp::ProcessVCD - Core CreateVCD() call failed.");
    return false;
  }
  return true;
}

bool CVexaApp::CheckCancelled() {
  if (!askAboutCancellation_) return false;
  if (wizardMode_) {
    VEXAWizErrorCode code = VEXAWizSuccess;
    if (FAILED(Ask([&] { return wizard_->GetErrorCode(&code); }))) {
      Log("CVexaApp::CheckCancelled - Wiz GetErrorCode() call failed.", true);
      return false;
    }
    return code == VEXAWizCancelled;
  }
  VEXACoreErrorCode code = VEXACoreSuccess;
  if (FAILED(Ask([&] { return core_->GetErrorCode(&code); }))) {
    Log("CVexaApp::CheckCancelled - Core GetErrorCode() call failed.", true);
    return false;
  }
  return code == VEXACoreCancelled;
}

bool CVexaApp::EndedByUser() {
  if (wizardMode_ && wizard_) {
    VEXAWizErrorCode code = VEXAWizSuccess;
    return SUCCEEDED(Ask([&] { return wizard_->GetErrorCode(&code); })) && code == VEXAWizCancelled;
  }
  if (coreMode_ && core_) {
    VEXACoreErrorCode code = VEXACoreSuccess;
    return SUCCEEDED(Ask([&] { return core_->GetErrorCode(&code); })) &&
           (code == VEXACoreCancelled || code == VEXACoreBurnCancelled);
  }
  return false;
}

void CVexaApp::StepFailed(const char* line) {
  // The callee's text is taken before the object is asked anything more.
  const std::string callee = CVexaUtil::LastComErrorText();
  const bool byUser = EndedByUser();
  stepEndedByUser_ = byUser ? 1 : 0;
  if (!byUser) {
    CVexaUtil::LogWithCallee(callee, line);
    return;
  }
  CVexaUtil::LogInfo(callee);
  const int sig = base::StopSignal();
  CVexaUtil::LogInfo(std::string(line) + (sig != 0 ? CVexaUtil::Format(" Stopped by signal %d.", sig)
                                                   : std::string(" The user cancelled.")));
}

bool CVexaApp::StopRequested() {
  const int sig = base::StopSignal();
  if (sig == 0) return false;
  if (!stopLogged_) {
    stopLogged_ = true;
    CVexaUtil::Log(CVexaUtil::Format("CVexaApp::InitInstance - Run stopped by signal %d.", sig), false);
  }
  exitStatus_ = base::StopExitStatus(sig);
  return true;
}

void CVexaApp::ShowFailureBox(const std::string& reason, bool withAdvice) {
  // What went wrong first, when it is known; then the general advice.
  std::string text = reason;
  if (withAdvice || reason.empty()) {
    const std::string advice = CVexaUtil::LoadString(IDS_FAILURE_TEXT, kFailureTextFallback);
    text = reason.empty() ? advice : reason + "\r\n\r\n" + advice;
  }
  const std::string caption = CVexaUtil::LoadString(IDS_ERROR_CAPTION, kErrorCaptionFallback);
  ui_.ShowMessage(caption, text, true);
}

std::string CVexaApp::PrefixProblem() {
  const char* prefix = std::getenv("VEXA_PREFIX");
  if (!prefix || !*prefix) return "";
  const std::string modules = base::JoinPath(prefix, "lib/vexa");
  if (base::DirExists(modules)) return "";
  return CVexaUtil::Format(
      "VEXA_PREFIX=\"%s\" names no installation of the software: %s is not a folder. Unset VEXA_PREFIX, or set "
      "it to the folder the software is installed in (the one that holds bin/vexa and lib/vexa).",
      prefix, modules.c_str());
}

void CVexaApp::ShowUsage() {
  // The usage text goes to standard output, where a terminal user reads it.
  const std::string text = CVexaUtil::LoadString(IDS_USAGE, "");
  std::fprintf(stdout, "%s\n", ToUnixLineBreaks(text).c_str());
  std::fflush(stdout);
}

}  // namespace vexa::app
