// CVEXACore1: construction, Init, the failure report, the user-interface
// helpers, the settings and picture input, and the interface's entry points.
#include "core/VEXACore1.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/Controls.h"
#include "core/CoreFiles.h"
#include "core/DispatchArgs.h"
#include "core/LocUtil.h"
#include "core/QtUi.h"
#include "core/StringTable.h"
#include "idl/ProductKey.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Codec.h"

namespace vexa::core {

using namespace vexa::com;

namespace {

// An interface's text as the plain parts take it: UTF-8, null as empty.
std::string Narrow(BSTR s) { return s ? BstrToUtf8(s) : std::string(); }
// The same where a null text means "none".
std::optional<std::string> Optional(BSTR s) { return s ? std::optional<std::string>(BstrToUtf8(s)) : std::nullopt; }

const char* FileSystemName(LONG fs) {
  switch (fs) {
    case VEXACoreFSISO9660: return "ISO9660";
    case VEXACoreFSJOLIET: return "JOLIET";
    case VEXACoreFSUDF15: return "UDF15";
    default: return "ISO9660|JOLIET";
  }
}

// Why dir is no folder to take pictures from, in words.
std::string FolderProblem(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) {
    const int why = errno;
    return why == ENOENT ? "there is no such folder" : std::strerror(why);
  }
  return S_ISDIR(st.st_mode) ? "it cannot be read" : "it is " + base::FileKindName(st.st_mode) + ", not a folder";
}

const char* TVSystemName(LONG tv) {
  switch (tv) {
    case VEXACoreTVFILM: return "FILM";
    case VEXACoreTVPAL: return "PAL";
    case VEXACoreTVSECAM: return "SECAM";
    default: return "NTSC";
  }
}

}  // namespace

// An entry point's guard: it keeps the object alive for the call, and while
// one call is under way (pumping the user interface) it refuses another.
class CallGuard {
 public:
  CallGuard(CVEXACore1* core, const char* method)
      : core_(core), method_(method), self_(static_cast<IVEXACore1*>(core)), busy_(core->callDepth_ > 0) {
    ++core_->callDepth_;
    if (!busy_) core_->util_.BeginCall();
  }
  ~CallGuard() { --core_->callDepth_; }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

  bool Busy() const { return busy_; }
  // The call's result, after the user interface has been told how it ended.
  HRESULT End(HRESULT hr) const {
    if (!busy_) core_->CallEnded(method_, hr);
    return hr;
  }
  HRESULT Refuse() const {
    return ReportError(CLSID_VEXACore1,
                       std::string_view("CVEXACore1::" + std::string(method_) +
                                        " - Call refused: another call of this object is still running."),
                       IID_IVEXACore1, E_FAIL);
  }

 private:
  CVEXACore1* core_;
  const char* method_;
  ComPtr<IVEXACore1> self_;
  bool busy_;
};

namespace {

// A plain part's answer as the interface's result.
HRESULT Result(bool ok) { return ok ? S_OK : E_FAIL; }

}  // namespace

#define VEXACORE_GUARDED(name, call)  \
  CallGuard guard(this, name);        \
  if (guard.Busy()) return guard.Refuse(); \
  return guard.End(call)

// ---- services ----------------------------------------------------------------------

void CoreServices::FillDefaults() {
  if (!engine) engine = DefaultEngineFactory();
  if (!logger) {
    logger = [](IVexaLogger** out) {
      return CoCreateInstance(CLSID_VexaLogger, nullptr, static_cast<CLSCTX>(23), IID_IVexaLogger,
                              reinterpret_cast<void**>(out));
    };
  }
  if (!locale) {
    locale = [](IVEXALocUtil** out) {
      return CoCreateInstance(CLSID_VEXALocUtil, nullptr, static_cast<CLSCTX>(23), IID_IVEXALocUtil,
                              reinterpret_cast<void**>(out));
    };
  }
  if (!ui) ui = [](CVexaCoreUtil& util, bool windows) { return MakeDefaultUi(util, windows); };
  if (!clock) clock = FlowClock::Real();
  if (!inhibitor) inhibitor = [] { return InhibitorSource::Logind(); };
  if (!freeSpace) freeSpace = [](const std::string& dir, std::uint64_t* bytes) { return FreeBytesAvailable(dir, bytes); };
  if (systemTemp.empty()) systemTemp = base::TempDirectory();
}

// ---- construction --------------------------------------------------------------------

namespace {

CoreServices WithDefaults(CoreServices services) {
  services.FillDefaults();
  return services;
}

}  // namespace

CVEXACore1::CVEXACore1(CoreServices services)
    : services_(WithDefaults(std::move(services))), flow_(util_, services_.clock) {
  // A failed call's texts become its error information, as this class and
  // this interface raise it.
  flow_.SetErrorRaiser([](const std::string& text) {
    ReportError(CLSID_VEXACore1, std::string_view(text), IID_IVEXACore1, E_FAIL);
  });
}

CVEXACore1::~CVEXACore1() = default;

HRESULT CVEXACore1::FinalConstruct() {
  comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
  ResetState();

  // Without a logger nothing could be reported: fail at once, silently.
  ComPtr<IVexaLogger> logger;
  if (FAILED(services_.logger(logger.Put())) || !logger) return E_FAIL;
  util_.SetLogger(logger);

  std::string language = UserThreeLetterLanguage();
  if (language.empty()) {
    util_.LogError("CVEXACore1::FinalConstruct - Cannot get 3 letter language abbreviation. Using default language.",
                   false);
    language = "ENU";
  }

  std::string abbreviation;
  if (!CVexaCoreUtil::getRegistryEntry(HKEY_LOCAL_MACHINE, kProductKey, "APP_LANG_ABBRV", &abbreviation) ||
      abbreviation.empty()) {
    return Fail("CVEXACore1::FinalConstruct - Cannot get registry entry for resource dll abbrevation.");
  }
  auto strings = LoadLanguageLibrary(abbreviation);
  if (!strings) return Fail("CVEXACore1::FinalConstruct - Cannot load a resource dll.");
  util_.SetStrings(std::move(strings));

  if (FAILED(services_.locale(locale_.Put())) || !locale_) {
    locale_.Reset();
    return Fail("CVEXACore1::FinalConstruct - Cannot Create locale utility.", true);
  }
  Bstr lang = Bstr::FromUtf8(language);
  if (FAILED(locale_->Init(lang.Get()))) return Fail("CVEXACore1::FinalConstruct - Locale Init call failed.", true);

  if (FAILED(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, static_cast<CLSCTX>(23), IID_IVEXAImgUtil,
                              imgUtil_.PutVoid())) ||
      !imgUtil_) {
    imgUtil_.Reset();
    return Fail("CVEXACore1::FinalConstruct - Cannot create the Image Utility.");
  }

  albumXml_ = std::make_unique<CVexaCoreXML>(util_);
  if (!albumXml_->Init("", VEXACoreXML)) {
    albumXml_.reset();
    return Fail("CVEXACore1::FinalConstruct - CVexaCoreUtil::Init() call failed");
  }

  sleep_ = std::make_unique<SleepGuard>(
      [this](bool isError, const std::string& text) {
        if (isError) {
          util_.LogError(text, false);
        } else {
          util_.LogInfo(text);
        }
      },
      services_.inhibitor());
  return S_OK;
}

void CVEXACore1::FinalRelease() {
  if (ui_) {
    ui_->Finish();
    ui_->DestroyStatus();
  }
  driver_.reset();
  if (cleanTempOnRelease_ && !tempPath_.empty()) CleanTempDirectory();
  sleep_.reset();
  locale_.Reset();
  imgUtil_.Reset();
  albumXml_.reset();
  util_.SetUi(nullptr);
  flow_.SetPort(nullptr);
  ui_.reset();
  util_.SetStrings(nullptr);
  util_.SetLogger(nullptr);
  util_.ClearPendingErrors();
  if (comInitialized_) CoUninitialize();
  comInitialized_ = false;
}

void CVEXACore1::ResetState() {
  flow_.SetCode(VEXACoreSuccess);
  invalidStills_.clear();
  stillCount_ = 0;
  validSeen_ = false;
  invalidSeen_ = false;
  audioTrackSet_ = false;
  titleLinesSet_ = false;
  fileSystemSet_ = false;
  paperSizeSet_ = false;
  stillDelaySet_ = false;
  stillTitleTimeSet_ = false;
  tvSystemSet_ = false;
  noStillsYet_ = true;
}

// ---- reporting --------------------------------------------------------------------------

HRESULT CVEXACore1::Fail(const std::string& text, bool withSystemText) {
  flow_.FailCall(text, withSystemText);
  return E_FAIL;
}

bool CVEXACore1::ReportAudioProblem(const std::string& text, bool withSystemText) {
  util_.LogError(text, withSystemText);
  if (!flow_.Interactive()) return flow_.FailCall(text, withSystemText);
  const bool goOn = flow_.ShowMessage(
      kMessageOKCancel,
      util_.LoadString(4505,
                       "The orlune disc creator software could not process your audio file.\r\n\r\nThe file may not "
                       "be a supported file type, or the file may be corrupt.\r\nMake sure that your audio file is "
                       "WAV, WMA, or MP3 format.\r\n\r\nClick OK to create a orlune disc without an audio file."),
      nullptr, false, true, false);
  if (goOn) return true;
  // The user chose not to go on: a cancel, which callers end quietly on.
  flow_.SetCode(VEXACoreCancelled);
  return false;
}

// ---- the user interface -------------------------------------------------------------------

void CVEXACore1::CallEnded(const char* method, HRESULT hr) {
  if (!ui_) return;
  const std::string name = method;
  if (FAILED(hr)) {
    if (flow_.EndedByUser()) {
      ui_->SetFailure("");
    } else {
      // The first failure text of the call is the cause the others follow
      // from (the rest is in the log).
      const std::vector<std::string>& lines = util_.CallErrors();
      ui_->SetFailure(lines.empty() ? "CVEXACore1::" + name + " failed." : lines.front());
    }
  } else if (name == "CreateVCD" || name == "MakeDuplicate") {
    ui_->SetFailure("");
  }
}

void CVEXACore1::EnsureUi(bool windows) {
  if (!ui_ || (windows && !ui_->IsInteractive())) {
    if (ui_) ui_->DestroyStatus();
    ui_ = services_.ui(util_, windows);
    util_.SetUi(ui_.get());
    flow_.SetPort(ui_.get());
  }
}

BurnFlow CVEXACore1::MakeBurnFlow() {
  return BurnFlow(flow_, *driver_, sleep_.get(), FlowDeadlines{services_.eraseDeadline, services_.burnStopDeadline},
                  TempSpaceNote{requiredMegabytes_, tempDrive_});
}

// ---- Init and the simple methods ----------------------------------------------------------

bool CVEXACore1::DoInit(LONG statusLevel, const std::string& tempDirectory, bool doClean) {
  flow_.SetCode(VEXACoreSuccess);
  statusLevel_ = statusLevel;
  switch (statusLevel) {
    case VEXACoreShowStatusNothing:
      flow_.statusShown = false, flow_.errorsShown = false, stopOnBadStill_ = true;
      break;
    case VEXACoreShowStatusNecessaryErrorsOnly:
      flow_.statusShown = true, flow_.errorsShown = false, stopOnBadStill_ = false;
      break;
    case VEXACoreShowStatusNoErrors:
      flow_.statusShown = true, flow_.errorsShown = false, stopOnBadStill_ = true;
      break;
    default:
      flow_.statusShown = true, flow_.errorsShown = true, stopOnBadStill_ = false;
      break;
  }

  // The status dialog's window is made only when it is first shown, so a
  // silent run never opens one (nor a display connection).
  EnsureUi(flow_.statusShown);
  if (flow_.StatusShown()) {
    Status().SetProgress(0);
    Status().Show();
    Status().Hide();
  }

  // A new engine and driver replace the old ones: never two alive.
  driver_.reset();
  driver_ = std::make_unique<CVexaODBase>(util_, services_.engine, services_.clock);
  switch (driver_->StartEngine(flow_.statusShown)) {
    case 1:
      flow_.ReportProblem();
      flow_.SetCode(VEXACoreFailure);
      return flow_.FailCall("CVEXACore1::Init - Cannot create an SDK instance.");
    case 2:
      // Said by GetNextDrive when the caller asks: a caller may go on
      // without a writer (the wizard until a disc is made).
      flow_.SetCode(VEXACoreNoCDWriter);
      return flow_.FailCall("CVEXACore1::Init - Cannot find a CD-Writer.");
    default:
      break;
  }

  const std::string dir = tempDirectory;
  tempPath_ = dir;
  if (base::Utf8Length(dir) >= 3) {
    tempDirectorySet_ = true;
    // One work folder "vexaCoreTemp" inside the caller's folder (a folder
    // that is already one, as MakeDuplicate hands back, is taken as it is).
    if (base::BaseName(dir).find("vexaCoreTemp") == std::string::npos &&
        base::BaseName(base::DirName(dir + "x")).find("vexaCoreTemp") == std::string::npos) {
      tempPath_ = base::JoinPath(dir, "vexaCoreTemp");
    }
    cleanTempOnRelease_ = doClean;
  }

  if (!CheckTempDirectory()) {
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::Init - Cannot create a temp directory.");
  }
  if (!DoSetTempDirectory(tempPath_, doClean)) {
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::Init - SetTempDirectory call failed.");
  }
  if (!CheckTempSpace()) {
    ReportTempSpace();
    return flow_.FailCall("CVEXACore1::Init - Insufficient temp space to continue.");
  }
  return true;
}

HRESULT CVEXACore1::SetStatusMode(VARIANT_BOOL showStatusDlg) {
  VEXACORE_GUARDED("SetStatusMode", ([&] {
    flow_.statusShown = showStatusDlg == VARIANT_TRUE;
    // A window may be wanted now that was not at Init.
    if (flow_.statusShown && ui_) EnsureUi(true);
    return S_OK;
  })());
}

HRESULT CVEXACore1::SetLogFile(BSTR, LONG) { return E_NOTIMPL; }

HRESULT CVEXACore1::GetErrorCode(VEXACoreErrorCode* errorCode) {
  if (!errorCode) return E_POINTER;
  *errorCode = flow_.Code();
  return S_OK;
}

HRESULT CVEXACore1::SetLoggingLevel(VARIANT_BOOL logAll) {
  VEXACORE_GUARDED("SetLoggingLevel", ([&] {
    util_.SetLogAll(logAll == VARIANT_TRUE);
    return S_OK;
  })());
}

// ---- settings (the setters accept each setting once) --------------------------------------
// A setting given again is no failure: the first value stays (the command
// line's settings come before an album's, which then give way), and the log
// says so as information.

bool CVEXACore1::DoSetFileSystemSupport(LONG fileSystem) {
  flow_.SetCode(VEXACoreSuccess);
  if (fileSystemSet_) {
    util_.LogInfo("CVEXACore1::SetFileSystemSupport - FileSystemSupport can only be set once.");
    return true;
  }
  if (!driver_ || !driver_->SetFileSystemSupport(fileSystem)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetFileSystemSupport - ODBase SetFileSystemSupport call failed.");
  }
  fileSystemSet_ = true;
  fileSystem_ = fileSystem;
  util_.LogInfo(Format("File System = %s.", FileSystemName(fileSystem)));
  return true;
}

bool CVEXACore1::SettleFileSystem(const std::string& method) {
  if (fileSystemSet_) return true;
  util_.LogInfo(method + " - No file system chosen: the default is used.");
  if (!DoSetFileSystemSupport(fileSystem_)) return flow_.FailCall(method + " - SetFileSystemSupport call failed.", true);
  return true;
}

bool CVEXACore1::DoSetStillDelay(LONG delay) {
  flow_.SetCode(VEXACoreSuccess);
  if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::SetStillDelay - User pressed Cancel.");
  if (stillDelaySet_) {
    util_.LogInfo("CVEXACore1::SetStillDelay - Still delay can be set only once.");
    flow_.SetCode(VEXACoreSuccess);
    return true;
  }
  flow_.SetterDialogStep(4);
  if (delay < 2) {
    flow_.SetCode(VEXACoreStillDelayTooSmall);
    return flow_.FailCall(Format("CVEXACore1::SetStillDelay - Delay of %d seconds is below minimum of %d seconds. Using default %d.",
                       static_cast<int>(delay), 2, 5));
  }
  if (!driver_ || !driver_->SetStillDelay(delay)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::SetStillDelay - ODBase SetStillDelay call failed for value %d.",
                       static_cast<int>(delay)));
  }
  if (!albumXml_->SetStillDelay(delay)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::SetStillDelay - Cannot set XML Still Delay for value %d.", static_cast<int>(delay)));
  }
  stillDelaySet_ = true;
  stillDelay_ = delay;
  util_.LogInfo(Format("Still Delay = %d.", static_cast<int>(delay)));
  return true;
}

bool CVEXACore1::DoSetStillTitleVisibleTime(LONG delay) {
  flow_.SetCode(VEXACoreSuccess);
  if (flow_.IsCancelled()) {
    flow_.ShowStep(1, false);
    return flow_.Cancel("CVEXACore1::SetStillTitleVisibleTime - User pressed Cancel.");
  }
  if (!stillDelaySet_) {
    flow_.SetCode(VEXACoreStillDelayNotSet);
    return flow_.FailCall("CVexaCore1::SetStillTitleVisibleTime - Still delay not yet set.");
  }
  if (stillTitleTimeSet_) {
    util_.LogInfo("CVEXACore1::SetStillTitleVisibleTime - Still Title Visible Time already set.");
    return true;
  }
  flow_.SetterDialogStep(4);
  if (delay > stillDelay_ || delay < 0) {
    flow_.SetCode(delay < 0 ? VEXACoreStillTitleVisibleTooSmall : VEXACoreStillTitleVisibleTooLarge);
    return flow_.FailCall(Format("CVEXACore1::SetStillTitleVisibleTime - Delay for captions must be <= the delay for image and "
                       ">= 0. Caption delay = %d. Image delay = %d.",
                       static_cast<int>(delay), static_cast<int>(stillDelay_)));
  }
  if (!driver_ || !driver_->SetStillTitleVisibleTime(delay)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVexaCore1::SetStillTitleVisibleTime - ODBase SetStillTitleVisibleTime call failed with value %d.",
                       static_cast<int>(delay)));
  }
  if (!albumXml_->SetStillTitleVisibleTime(delay)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::SetStillTitleVisibleTime - Cannot set XML Still Title Visible Time for value %d.",
                       static_cast<int>(delay)));
  }
  stillTitleTimeSet_ = true;
  util_.LogInfo(Format("StillTitleVisibleTime = %d.", static_cast<int>(delay)));
  return true;
}

bool CVEXACore1::DoSetTVSystem(LONG tvSystem) {
  flow_.SetCode(VEXACoreSuccess);
  if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::SetTVSystem - User pressed Cancel.");
  if (tvSystem == VEXACoreTVINVALID) return true;
  if (tvSystemSet_) {
    util_.LogInfo("CVEXACore1::SetTVSystem - Can only set TV System once.");
    return true;
  }
  flow_.SetterDialogStep(4);
  const char* name = TVSystemName(tvSystem);
  if (!driver_ || !driver_->SetTVSystem(tvSystem)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::SetTVSystem - ODBase SetTVSystem call failed for %s.", name));
  }
  if (!albumXml_->SetTVSystem(tvSystem)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall(Format("CVEXACore1::SetTVSystem - XML SetTVSystem call failed.for %s.", name));
  }
  tvSystemSet_ = true;
  util_.LogInfo(Format("TV System = %s.", name));
  return true;
}

bool CVEXACore1::CheckStillRoom(const char* method, std::size_t more, bool titleStill) {
  const long long wanted = static_cast<long long>(StillsOnDisc()) + static_cast<long long>(more);
  if (wanted <= kVEXAEngineMaxStills) return true;
  const long long excess = wanted - kVEXAEngineMaxStills;
  const bool titled = titleLinesSet_ || titleStill;
  const long long pictures = wanted - (titled ? 1 : 0);
  flow_.SetCode(VEXACoreTooManyStills);
  flow_.ShowError(FormatMessageText(
      util_.LoadString(4572, "A disc holds at most %1!d! pictures, the title picture included. This disc would have "
                             "%2!d!: %3!d! too many.\r\n\r\nRemove %3!d! of the pictures, then try again."),
      {static_cast<long long>(kVEXAEngineMaxStills), wanted, excess}));
  return flow_.FailCall(Format("%s - Too many pictures: a disc holds at most %d, the title picture included; this disc "
                               "would have %lld (%lld pictures%s). Remove %lld of the pictures.",
                               method, static_cast<int>(kVEXAEngineMaxStills), wanted, pictures,
                               titled ? " and the title picture" : "", excess));
}

void CVEXACore1::Reject(const std::string& srcStillPath) {
  invalidStills_.push_back(srcStillPath);
  invalidSeen_ = true;
  flow_.SetCode(VEXACoreInvalidFile);
}

bool CVEXACore1::DoAddStill(const std::string& stillFile, const std::string& srcStillPath,
                            const std::string& stillTitle, DATE creationTime, LONG sizing, LONG rotateDegrees,
                            std::int16_t isTitleStill) {
  flow_.SetCode(VEXACoreSuccess);
  if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::AddStill - User pressed Cancel.");
  if (!SettleFileSystem("CVEXACore1::AddStill")) return false;
  const std::string& source = srcStillPath;
  if (flow_.StatusShown()) {
    const std::string name = CPathSplitter(source).NameAndExtension();
    if (!name.empty()) flow_.SetStatusText(FormatMessageText(util_.LoadString(4545, ""), {name}));
    flow_.ShowStatus();
    flow_.ShowStep(1, true);
    flow_.AdvanceProgress(1, true);
  }
  if (stillFile.empty()) {
    flow_.SetCode(VEXACoreInvalidFile);
    return flow_.FailCall("CVexaCore::AddStill - image file is empty.");
  }
  // A full disc is no fault of the picture: it is not counted as rejected.
  if (!CheckStillRoom("CVEXACore1::AddStill", 1)) return false;
  noStillsYet_ = false;
  // The disc's album file records the picture's name. A name with a
  // control character (ESC, BEL, U+0001) cannot be written there in any
  // form, and the album is written only at the end, after every picture
  // has been made: such a picture is set aside now, before any work, and
  // named with the character shown.
  const std::string& recorded = source.empty() ? stillFile : source;
  if (const std::string bad = base::CharacterXmlCannotHold(recorded); !bad.empty()) {
    const std::string shown = base::EscapeForDisplay(recorded);
    Reject(shown);
    return flow_.FailCall(Format("CVEXACore1::AddStill - The file name holds a character that the disc's album file "
                                 "cannot hold (%s); the picture is left out: %s.",
                                 bad.c_str(), shown.c_str()));
  }
  std::string file = stillFile;
  bool exists = false;
  if (!CheckIfFileExists(file, &exists, false)) {
    if (flow_.Code() == VEXACoreCancelled) return false;
    Reject(source);
    return flow_.FailCall("CVEXACore::AddStill - CheckIfFileExists() call failed.");
  }
  if (!exists) {
    Reject(source);
    const std::string odd = base::NotRegularFileReason(file);
    if (!odd.empty()) return flow_.FailCall("CVEXACore::AddStill - Image File is refused: " + odd + ".");
    return flow_.FailCall("CVEXACore::AddStill - Image File does not exist.");
  }
  if (!CopyFromWriter(&file)) {
    Reject(source);
    return flow_.FailCall("CVEXACore1::AddStill - CopyFromWriter call failed.");
  }
  if (!driver_ || !driver_->AddStills(file, srcStillPath, stillTitle, creationTime, sizing, rotateDegrees,
                                      isTitleStill)) {
    Reject(source);
    return flow_.FailCall(
        Format("CVexaCore::AddStill - ODBase AddStill call failed for image %s.", source.c_str()));
  }
  if (!albumXml_->AddStill(file, source, rotateDegrees, creationTime, stillTitle, sizing, isTitleStill)) {
    flow_.SetCode(VEXACoreInvalidFile);
    return flow_.FailCall(
        Format("CVexaCore::AddStill - XML AddStill call failed for image %s.", source.c_str()));
  }
  ++stillCount_;
  validSeen_ = true;
  return true;
}

bool CVEXACore1::DoAddAudioTrack(const std::string& srcAudioFile, const std::string& originalAudioFile,
                                 DATE creationTime) {
  flow_.SetCode(VEXACoreSuccess);
  (void)originalAudioFile;
  if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::AddAudioTrack - User pressed Cancel.");
  if (audioTrackSet_) {
    util_.LogInfo("CVEXACore::AddAudioTrack - The audio track can only be set once.");
    return true;
  }
  if (srcAudioFile.empty()) return ReportAudioProblem("CVEXACore::AddAudioTrack - Empty audio file argument.");
  flow_.SetterDialogStep(4);
  if (!SettleFileSystem("CVEXACore1::AddAudioTrack")) return false;
  const std::string& source = srcAudioFile;
  // The disc's album file records the music's name, as it records a
  // picture's: a name it cannot hold is refused before any work.
  if (const std::string bad = base::CharacterXmlCannotHold(source); !bad.empty()) {
    return ReportAudioProblem(Format("CVEXACore1::AddAudioTrack - The file name holds a character that the disc's album "
                                     "file cannot hold (%s): %s.",
                                     bad.c_str(), base::EscapeForDisplay(source).c_str()));
  }
  // The extension of the file's name (a dot in a folder name is no extension).
  const std::string name = base::BaseName(source);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    return ReportAudioProblem("CVEXACore::AddAudioTrack - No file extension for audio file.");
  }
  const std::string extension = base::ToLowerAscii(name.substr(dot));
  if (extension != ".mp3" && extension != ".wma" && extension != ".cda" && extension != ".wav") {
    return ReportAudioProblem("CVEXACore1::AddAudioTrack - Incorrect file type.");
  }
  const bool cda = extension == ".cda";

  bool exists = false;
  if (cda) {
    // An audio-CD track is no file: it is there when the engine can describe it.
    LONG size = 0, rip = 0;
    double play = 0;
    exists = driver_ && driver_->GetTrackInfo(srcAudioFile, &size, &play, &rip);
  } else if (!CheckIfFileExists(source, &exists, true)) {
    if (flow_.Code() == VEXACoreCancelled) {
      flow_.ShowStep(1, false);
      return false;
    }
    flow_.SetCode(VEXACoreInvalidFile);
    return ReportAudioProblem("CVEXACore::AddAudioTrack - CheckIfFileExists() call failed.");
  }
  if (!exists) {
    const std::string odd = cda ? std::string() : base::NotRegularFileReason(source);
    if (!odd.empty()) return ReportAudioProblem("CVEXACore::AddAudioTrack - Audio File is refused: " + odd + ".");
    return ReportAudioProblem("CVEXACore::AddAudioTrack - Audio File does not exist.");
  }

  std::string file = source;
  if (cda && !RipAudioTrackFromCD(source, &file, ".wav")) {
    return ReportAudioProblem(
        Format("CVEXACore1::AddAudioTrack - .cda audio file ripping failed for %s.", source.c_str()));
  }
  if (!CopyFromWriter(&file)) return ReportAudioProblem("CVEXACore1::AddAudioTrack - CopyFromWriter call failed.");
  if (!driver_ || !driver_->AddAudioTrack(file, creationTime)) {
    return ReportAudioProblem("CVEXACore::AddAudioTrack - AddAudioTrack call failed.");
  }
  flow_.SetProgress(100);
  if (!albumXml_->AddAudioTrack(file, source, creationTime)) {
    return flow_.FailCall("CVEXACore::AddAudioTrack - XML AddAudio call failed.");
  }
  util_.LogInfo(Format("AUDIO Real Track = %s.", file.c_str()));
  util_.LogInfo(Format("AUDIO Original Track = %s.", source.c_str()));
  audioTrackSet_ = true;
  return true;
}

bool CVEXACore1::DoSetTitleLines(const std::string& l1, const std::string& l2, const std::string& l3) {
  flow_.SetCode(VEXACoreSuccess);
  if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::SetTitleLines - User pressed Cancel.");
  if (titleLinesSet_) {
    util_.LogInfo("CVEXACore1::SetTitleLines - Tried to set title lines more than once.");
    return true;
  }
  const std::string face = util_.LoadString(158, "Lucida Sans");
  const LONG primary = static_cast<LONG>(std::atol(util_.LoadString(157, "22").c_str()));
  const LONG secondary = static_cast<LONG>(std::atol(util_.LoadString(155, "18").c_str()));
  if (l1.empty() && l2.empty() && l3.empty()) {
    flow_.SetCode(VEXACoreNoTitleLines);
    return flow_.FailCall("CVEXACore1::SetTitleLines - All title lines are empty.");
  }
  flow_.SetterDialogStep(4);
  if (!SettleFileSystem("CVEXACore1::SetTitleLines")) return false;
  if (!driver_ || !driver_->SetTitleLines(l1, l2, l3)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetTitleLines - ODBase SetTitleLines call failed.");
  }
  std::string temp;
  if (!GetTempFilePath(&temp)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetTitleLines - Cannot create temporary path for title image.");
  }
  if (!tvSystemSet_) {
    LONG tv = VEXACoreTVNTSC;
    if (!GetTVSystem(&tv)) {
      util_.LogError("CVEXACore1::SetTitleLines - Cannot Get a TV System. Using Default.", false);
      tv = VEXACoreTVNTSC;
    }
    if (!DoSetTVSystem(tv)) {
      return flow_.FailCall("CVEXACore1::SetTitleLines - TV System Not set; using default NTSC.", true);
    }
  }
  LONG albumTv = VEXACoreTVNTSC;
  if (!albumXml_->GetTVSystem(&albumTv)) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetTitleLines - XML GetTVSystem call failed.");
  }
  const std::string file = temp + ".jpg";
  if (!CheckStillRoom("CVEXACore1::SetTitleLines", 1, true)) return false;
  if (!MakeTitleStill(l1, l2, l3, file, face, primary, secondary, albumTv == VEXACoreTVNTSC)) {
    flow_.SetCode(VEXACoreNoTitleStill);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetTitleLines - Cannot create title still.", true);
  }
  if (!driver_->AddStills(file, file, "", 0.0, VEXACoreResizePicture, 0, kFlagTrue)) {
    flow_.SetCode(VEXACoreNoTitleStill);
    return flow_.FailCall("CVEXACore1::SetTitleLines - Cannot Add title still.", true);
  }
  if (!albumXml_->SetTitleLines(base::Utf8ToUtf16(l1), base::Utf8ToUtf16(l2), base::Utf8ToUtf16(l3))) {
    flow_.SetCode(VEXACoreFailure);
    flow_.ReportProblem();
    return flow_.FailCall("CVEXACore1::SetTitleLines - Cannot Set XML title lines.");
  }
  int n = 1;
  for (const std::string* line : {&l1, &l2, &l3}) {
    if (!line->empty()) util_.LogInfo(Format("TITLE LINE %d = %s.", n, line->c_str()));
    ++n;
  }
  titleLinesSet_ = true;
  return true;
}

bool CVEXACore1::MakeTitleStill(const std::string& line1, const std::string& line2, const std::string& line3,
                                const std::string& file, const std::string& face, LONG primarySize,
                                LONG secondarySize, bool ntsc) {
  // Character sets belong to the fonts of the original platform; here the
  // face is found by name and every script it has is used.
  const LONG charset = 0;
  Bstr l1 = Bstr::FromUtf8(line1), l2 = Bstr::FromUtf8(line2), l3 = Bstr::FromUtf8(line3);
  Bstr path = Bstr::FromUtf8(file), typeface = Bstr::FromUtf8(face);
  return SUCCEEDED(imgUtil_->Create3LineTitleStill(l1.Get(), l2.Get(), l3.Get(), path.Get(), typeface.Get(), charset,
                                                   primarySize, secondarySize, ntsc ? VARIANT_TRUE : VARIANT_FALSE));
}

// ---- picture lists and folders ----------------------------------------------------------

bool CVEXACore1::DoAddImageListFile(const std::string& listPath) {
  flow_.SetCode(VEXACoreSuccess);
  if (listPath.empty()) return flow_.FailCall("CVEXACore1::AddImageListFile - No image file passed.");
  // Only a regular file is read: a FIFO would wait for a writer, a device
  // might never end. The message says what the path is.
  base::InputFile in;
  if (!in.OpenRegular(listPath)) {
    return flow_.FailCall(Format("CVEXACore1::AddImageListFile - Invalid image file passed: %s", in.Error().c_str()));
  }
  const std::uint64_t size = in.Size();
  if (size < 2) return flow_.FailCall(Format("CVEXACore1::AddImageListFile - Invalid image file size for: %s", listPath.c_str()));
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::exception&) {
    return flow_.FailCall(Format("CVEXACore1::AddImageListFile - Cannot create buffer to read file: %s", listPath.c_str()));
  }
  std::size_t got = 0;
  while (got < bytes.size()) {
    const long long n = in.ReadSome(bytes.data() + got, bytes.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return flow_.FailCall(Format("CVEXACore1::AddImageListFile - Read failed for file: %s", listPath.c_str()));
  if (got < bytes.size()) {
    util_.LogError(Format("CVEXACore1::AddImageListFile - Incomplete Read of file: %s", listPath.c_str()), false);
  }

  // Only what was read is walked (UTF-16 as the list's own form, or UTF-8).
  // A path longer than the 2,047 characters an entry may have is not cut
  // to something else: it is refused with its length and its start.
  constexpr std::size_t kMaxEntry = 2047;
  struct Entry {
    std::string path;
    std::size_t units = 0;
    bool tooLong = false;
  };
  std::vector<Entry> entries;
  for (base::PathListEntry& e : base::PathListEntries(std::string_view(bytes).substr(0, got))) {
    entries.push_back({std::move(e.path), e.units, e.units > kMaxEntry});
  }

  // The engine makes the photos' files ahead while they are added below.
  std::vector<std::pair<std::string, LONG>> expected;
  for (const Entry& e : entries) {
    if (!e.path.empty() && !e.tooLong) expected.emplace_back(e.path, 0);
  }
  if (!CheckStillRoom("CVEXACore1::AddImageListFile", expected.size())) return false;
  ExpectedStills ahead(driver_.get(), expected);
  for (const Entry& e : entries) {
    if (e.path.empty()) {
      if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::AddImageListFile - User pressed Cancel.");
      if (stopOnBadStill_) return flow_.FailCall("CVEXACore1::AddImageListFile - Empty file path found.");
      util_.LogError("CVEXACore1::AddImageListFile - Empty file path found.", true);
      continue;
    }
    if (e.tooLong) {
      const std::string start = base::Utf8CutBytes(e.path, 60);
      const std::string text =
          Format("CVEXACore1::AddImageListFile - A path in the list is %zu characters long, more than the %zu a path "
                 "may have; it is left out: %s...",
                 e.units, kMaxEntry, start.c_str());
      // The rejected pictures' message names it as well.
      noStillsYet_ = false;
      Reject(Format("%s... (%zu characters: a path may have at most %zu)", start.c_str(), e.units, kMaxEntry));
      if (stopOnBadStill_) return flow_.FailCall(text);
      util_.LogError(text, false);
      continue;
    }
    const std::string text = Format("CVEXACore1::AddImageListFile - Invalid still path: %s.", e.path.c_str());
    if (DoAddStill(e.path, e.path, "", 0.0, VEXACoreResizePicture, 0, kFlagFalse)) continue;
    if (flow_.Code() == VEXACoreCancelled) return false;
    if (stopOnBadStill_) return flow_.FailCall(text, true);
    util_.LogError(text, true);
  }
  return true;
}

bool CVEXACore1::DoAddImageDirectory(const std::string& dir) {
  flow_.SetCode(VEXACoreSuccess);
  namespace fs = std::filesystem;
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) {
    flow_.ShowError(FormatMessageText(
        util_.LoadString(4591, "The folder %1!s! cannot be used: %2!s!.\r\n\r\nChoose the folder that holds your "
                               "photos, then try again."),
        {dir, FolderProblem(dir)}));
    return flow_.FailCall(
        Format("CVEXACore1::AddImageDirectory - Invalid image directory or directory does not exist: %s",
               dir.c_str()));
  }
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    entries.push_back(*it);
  }
  if (ec || entries.empty()) {
    flow_.ShowError(FormatMessageText(
        util_.LoadString(4584, "The folder %1!s! holds no pictures.\r\n\r\nChoose the folder that holds your photos, "
                               "then try again."),
        {dir}));
    return flow_.FailCall(Format("CVEXACore1::AddImageDirectory - No files in image directory: %s", dir.c_str()));
  }
  // In the order of their names, so the show follows the folder as listed.
  std::sort(entries.begin(), entries.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path().filename() < b.path().filename(); });
  // The engine makes the photos' files ahead while they are added below.
  std::vector<std::pair<std::string, LONG>> expected;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    const std::string file = base::JoinPath(dir, name);
    if (!entry.is_directory(ec) && name.front() != '.' && imaging::ClaimsToBePicture(file)) expected.emplace_back(file, 0);
  }
  if (!CheckStillRoom("CVEXACore1::AddImageDirectory", expected.size())) return false;
  ExpectedStills ahead(driver_.get(), expected);
  for (const auto& entry : entries) {
    if (entry.is_directory(ec)) continue;
    const std::string name = entry.path().filename().string();
    const std::string file = base::JoinPath(dir, name);
    // A folder of photos holds more than photos: hidden files, notes,
    // sidecars, the file manager's caches. What is no picture at all is
    // passed over; a file that claims to be one and cannot be read is
    // refused as before.
    if (name.front() == '.') {
      util_.LogInfo(Format("CVEXACore1::AddImageDirectory - Hidden file passed over: %s.", file.c_str()));
      continue;
    }
    // A symbolic link that leads nowhere (a loop, a missing target) is no
    // picture of the folder, whatever its name.
    if (std::error_code linkEc; entry.is_symlink(linkEc) && !fs::exists(entry.path(), linkEc)) {
      const std::string why = base::NotRegularFileReason(file);
      util_.LogInfo(Format("CVEXACore1::AddImageDirectory - A symbolic link that leads to no file passed over: %s.",
                           why.empty() ? ("'" + file + "' points to a missing file").c_str() : why.c_str()));
      continue;
    }
    if (!imaging::ClaimsToBePicture(file)) {
      util_.LogInfo(Format("CVEXACore1::AddImageDirectory - Not a picture, passed over: %s.", file.c_str()));
      continue;
    }
    if (!DoAddStill(file, file, "", 0.0, VEXACoreResizePicture, 0, kFlagFalse)) {
      if (flow_.Code() == VEXACoreCancelled) {
        return flow_.Cancel("CVEXACore1::AddImageDirectory - User pressed Cancel.");
      }
      const std::string text = Format("CVEXACore1::AddImageDirectory - Invalid still path: %s.", file.c_str());
      if (stopOnBadStill_) return flow_.FailCall(text, true);
      util_.LogError(text, true);
    }
    if (flow_.IsCancelled()) return flow_.Cancel("CVEXACore1::AddImageDirectory - User pressed Cancel.");
  }
  return true;
}

// ---- the interface's entry points ------------------------------------------------------------

HRESULT CVEXACore1::AddAudioTrack(BSTR srcAudioFile, BSTR originalAudioFile, DATE creationTime) {
  VEXACORE_GUARDED("AddAudioTrack", Result(DoAddAudioTrack(Narrow(srcAudioFile), Narrow(originalAudioFile), creationTime)));
}
HRESULT CVEXACore1::AddStill(BSTR stillFile, BSTR srcStillPath, BSTR stillTitle, DATE creationTime,
                             VEXACorePictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                             VARIANT_BOOL isTitleStill) {
  VEXACORE_GUARDED("AddStill", Result(DoAddStill(Narrow(stillFile), Narrow(srcStillPath), Narrow(stillTitle),
                                                 creationTime, pictureSizingBehaviour, rotateDegrees, isTitleStill)));
}
HRESULT CVEXACore1::SetFileSystemSupport(VEXACoreFileSystemSupport fileSystem) {
  VEXACORE_GUARDED("SetFileSystemSupport", Result(DoSetFileSystemSupport(fileSystem)));
}
HRESULT CVEXACore1::SetStillDelay(LONG delay) { VEXACORE_GUARDED("SetStillDelay", Result(DoSetStillDelay(delay))); }
HRESULT CVEXACore1::SetStillTitleVisibleTime(LONG delay) {
  VEXACORE_GUARDED("SetStillTitleVisibleTime", Result(DoSetStillTitleVisibleTime(delay)));
}
HRESULT CVEXACore1::SetTVSystem(VEXACoreTVSystem tvSystem) { VEXACORE_GUARDED("SetTVSystem", Result(DoSetTVSystem(tvSystem))); }
HRESULT CVEXACore1::SetTitleLines(BSTR title1, BSTR title2, BSTR title3) {
  VEXACORE_GUARDED("SetTitleLines", Result(DoSetTitleLines(Narrow(title1), Narrow(title2), Narrow(title3))));
}
HRESULT CVEXACore1::CreateVCD(VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) {
  VEXACORE_GUARDED("CreateVCD", Result(DoCreateVCD(testMode, verify, burnSafe)));
}
HRESULT CVEXACore1::AddImageListFile(BSTR imageListFilePath) {
  VEXACORE_GUARDED("AddImageListFile", Result(DoAddImageListFile(Narrow(imageListFilePath))));
}
HRESULT CVEXACore1::AddImageDirectory(BSTR imagedirectoryPath) {
  VEXACORE_GUARDED("AddImageDirectory", Result(DoAddImageDirectory(Narrow(imagedirectoryPath))));
}
HRESULT CVEXACore1::Init(VEXACoreShowStatusLevel statusLevel, BSTR tempDirectory, VARIANT_BOOL doClean) {
  VEXACORE_GUARDED("Init", Result(DoInit(statusLevel, Narrow(tempDirectory), doClean == VARIANT_TRUE)));
}
HRESULT CVEXACore1::GetDriveSpeeds(VARIANT* driveSpeeds) {
  VEXACORE_GUARDED("GetDriveSpeeds", DoGetDriveSpeeds(driveSpeeds));
}
HRESULT CVEXACore1::GetMaxBurnSpeed(LONG* maxSpeed) { VEXACORE_GUARDED("GetMaxBurnSpeed", DoGetMaxBurnSpeed(maxSpeed)); }
HRESULT CVEXACore1::AddAlbumFile(BSTR albumFilePath, VEXACoreAlbumFormat albumFormat) {
  VEXACORE_GUARDED("AddAlbumFile", Result(DoAddAlbumFile(Narrow(albumFilePath), albumFormat)));
}
HRESULT CVEXACore1::SetBurnSpeed(LONG burnSpeed) { VEXACORE_GUARDED("SetBurnSpeed", Result(DoSetBurnSpeed(burnSpeed))); }
HRESULT CVEXACore1::CDDAToWav(BSTR CDDATrack, BSTR outWAVFile) {
  VEXACORE_GUARDED("CDDAToWav", Result(DoCDDAToWav(Narrow(CDDATrack), Narrow(outWAVFile))));
}
HRESULT CVEXACore1::GetTrackInfo(BSTR CDDATrack, LONG* pTrackSize, double* pPlayTime, LONG* pTimeToRip) {
  VEXACORE_GUARDED("GetTrackInfo", DoGetTrackInfo(CDDATrack, pTrackSize, pPlayTime, pTimeToRip));
}
HRESULT CVEXACore1::SetPaperSize(VEXACorePaperSize paperSize) { VEXACORE_GUARDED("SetPaperSize", Result(DoSetPaperSize(paperSize))); }
HRESULT CVEXACore1::SetTempDirectory(BSTR tempPath, VARIANT_BOOL doClean) {
  VEXACORE_GUARDED("SetTempDirectory", Result(DoSetTempDirectory(Narrow(tempPath), doClean == VARIANT_TRUE)));
}
HRESULT CVEXACore1::MakeDuplicate(VARIANT_BOOL) { VEXACORE_GUARDED("MakeDuplicate", Result(DoMakeDuplicate())); }
HRESULT CVEXACore1::AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) {
  VEXACORE_GUARDED("AddFile",
                   Result(DoAddFile(Narrow(sourceFile), Optional(dest8dot3Path), Optional(destJolietPath), destCtime)));
}
HRESULT CVEXACore1::SetDefaultTitle() { VEXACORE_GUARDED("SetDefaultTitle", Result(DoSetDefaultTitle())); }
HRESULT CVEXACore1::GetNextDrive(VARIANT_BOOL showCDWriterError, VARIANT_BOOL* drivePresent) {
  VEXACORE_GUARDED("GetNextDrive", DoGetNextDrive(showCDWriterError, drivePresent));
}
HRESULT CVEXACore1::GetDrivePath(BSTR* drivePath) { VEXACORE_GUARDED("GetDrivePath", DoGetDrivePath(drivePath)); }
HRESULT CVEXACore1::EstimateImage(const BSTR* stillFiles, LONG count, VARIANT_BOOL titleStill, LONG stillDelay,
                                  BSTR musicFile, LONGLONG* sectors, LONGLONG* discSectors) {
  VEXACORE_GUARDED("EstimateImage",
                   DoEstimateImage(stillFiles, count, titleStill, stillDelay, musicFile, sectors, discSectors));
}

namespace {
// The size of a regular file, 0 for anything else (nothing is opened).
LONGLONG RegularFileBytes(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<LONGLONG>(st.st_size);
}
}  // namespace

HRESULT CVEXACore1::DoEstimateImage(const BSTR* stillFiles, LONG count, VARIANT_BOOL titleStill, LONG stillDelay,
                                    BSTR musicFile, LONGLONG* sectors, LONGLONG* discSectors) {
  if (!sectors || !discSectors) return E_POINTER;
  if (count < 0 || (count > 0 && !stillFiles) || stillDelay < 0) return E_INVALIDARG;
  std::vector<LONGLONG> bytes;
  bytes.reserve(static_cast<std::size_t>(count));
  for (LONG i = 0; i < count; ++i) bytes.push_back(RegularFileBytes(Narrow(stillFiles[i])));
  // An audio-CD track's size is the drive's to tell; counted as nothing,
  // the estimate stays on the low side.
  const std::string music = musicFile ? Narrow(musicFile) : std::string();
  const LONGLONG musicBytes = base::EqualsNoCase(base::Extension(music), ".cda") ? 0 : RegularFileBytes(music);
  if (!driver_ || !driver_->EstimateImage(bytes, titleStill == VARIANT_TRUE, stillDelay * 1000, musicBytes, sectors,
                                          discSectors)) {
    return Fail("CVEXACore1::EstimateImage - ODBase EstimateImage call failed.");
  }
  return S_OK;
}
HRESULT CVEXACore1::GetInquiry(BSTR* driveDescription) {
  VEXACORE_GUARDED("GetInquiry", DoGetInquiry(driveDescription));
}

std::span<const DispatchEntry<CVEXACore1>> CVEXACore1::DispatchTable() {
  using C = CVEXACore1;
  static const DispatchEntry<C> kTable[] = {
      DispMethod<C>(DISPID_VEXACore1_AddAudioTrack, u"AddAudioTrack", &dispatch::Invoke<&C::AddAudioTrack>),
      DispMethod<C>(DISPID_VEXACore1_AddStill, u"AddStill", &dispatch::Invoke<&C::AddStill>),
      DispMethod<C>(DISPID_VEXACore1_SetFileSystemSupport, u"SetFileSystemSupport",
                    &dispatch::Invoke<&C::SetFileSystemSupport>),
      DispMethod<C>(DISPID_VEXACore1_SetStillDelay, u"SetStillDelay", &dispatch::Invoke<&C::SetStillDelay>),
      DispMethod<C>(DISPID_VEXACore1_SetStillTitleVisibleTime, u"SetStillTitleVisibleTime",
                    &dispatch::Invoke<&C::SetStillTitleVisibleTime>),
      DispMethod<C>(DISPID_VEXACore1_SetTVSystem, u"SetTVSystem", &dispatch::Invoke<&C::SetTVSystem>),
      DispMethod<C>(DISPID_VEXACore1_SetTitleLines, u"SetTitleLines", &dispatch::Invoke<&C::SetTitleLines>),
      DispMethod<C>(DISPID_VEXACore1_CreateVCD, u"CreateVCD", &dispatch::Invoke<&C::CreateVCD>),
      DispMethod<C>(DISPID_VEXACore1_GetErrorCode, u"GetErrorCode", &dispatch::Invoke<&C::GetErrorCode>),
      DispMethod<C>(DISPID_VEXACore1_AddImageListFile, u"AddImageListFile", &dispatch::Invoke<&C::AddImageListFile>),
      DispMethod<C>(DISPID_VEXACore1_AddImageDirectory, u"AddImageDirectory",
                    &dispatch::Invoke<&C::AddImageDirectory>),
      DispMethod<C>(DISPID_VEXACore1_SetStatusMode, u"SetStatusMode", &dispatch::Invoke<&C::SetStatusMode>),
      DispMethod<C>(DISPID_VEXACore1_SetLogFile, u"SetLogFile", &dispatch::Invoke<&C::SetLogFile>),
      DispMethod<C>(DISPID_VEXACore1_Init, u"Init", &dispatch::Invoke<&C::Init>),
      DispMethod<C>(DISPID_VEXACore1_GetDriveSpeeds, u"GetDriveSpeeds", &dispatch::Invoke<&C::GetDriveSpeeds>),
      DispMethod<C>(DISPID_VEXACore1_GetMaxBurnSpeed, u"GetMaxBurnSpeed", &dispatch::Invoke<&C::GetMaxBurnSpeed>),
      DispMethod<C>(DISPID_VEXACore1_AddAlbumFile, u"AddAlbumFile", &dispatch::Invoke<&C::AddAlbumFile>),
      DispMethod<C>(DISPID_VEXACore1_SetLoggingLevel, u"SetLoggingLevel", &dispatch::Invoke<&C::SetLoggingLevel>),
      DispMethod<C>(DISPID_VEXACore1_SetBurnSpeed, u"SetBurnSpeed", &dispatch::Invoke<&C::SetBurnSpeed>),
      DispMethod<C>(DISPID_VEXACore1_CDDAToWav, u"CDDAToWav", &dispatch::Invoke<&C::CDDAToWav>),
      DispMethod<C>(DISPID_VEXACore1_GetTrackInfo, u"GetTrackInfo", &dispatch::Invoke<&C::GetTrackInfo>),
      DispMethod<C>(DISPID_VEXACore1_SetPaperSize, u"SetPaperSize", &dispatch::Invoke<&C::SetPaperSize>),
      DispMethod<C>(DISPID_VEXACore1_SetTempDirectory, u"SetTempDirectory", &dispatch::Invoke<&C::SetTempDirectory>),
      DispMethod<C>(DISPID_VEXACore1_MakeDuplicate, u"MakeDuplicate", &dispatch::Invoke<&C::MakeDuplicate>),
      DispMethod<C>(DISPID_VEXACore1_AddFile, u"AddFile", &dispatch::Invoke<&C::AddFile>),
      DispMethod<C>(DISPID_VEXACore1_SetDefaultTitle, u"SetDefaultTitle", &dispatch::Invoke<&C::SetDefaultTitle>),
      DispMethod<C>(DISPID_VEXACore1_GetNextDrive, u"GetNextDrive", &dispatch::Invoke<&C::GetNextDrive>),
      DispMethod<C>(DISPID_VEXACore1_GetDrivePath, u"GetDrivePath", &dispatch::Invoke<&C::GetDrivePath>),
      DispMethod<C>(DISPID_VEXACore1_GetInquiry, u"GetInquiry", &dispatch::Invoke<&C::GetInquiry>),
  };
  return kTable;
}

HRESULT CreateVEXACore1(REFIID iid, void** ppv) { return ComObject<CVEXACore1>::CreateInstance(iid, ppv); }

}  // namespace vexa::core
