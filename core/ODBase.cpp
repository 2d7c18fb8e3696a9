#include "core/ODBase.h"

#include <cctype>
#include <climits>
#include <string_view>

#include "platform/base/Text.h"
#include "platform/com/ComObject.h"
#include "platform/com/Runtime.h"

namespace vexa::core {

namespace {

// Seconds to the engine's milliseconds; false when the product does not fit
// the engine's 32-bit value.
bool ToMilliseconds(LONG seconds, LONG* ms) {
  if (seconds > INT32_MAX / 1000 || seconds < INT32_MIN / 1000) return false;
  *ms = seconds * 1000;
  return true;
}

std::string Narrow(BSTR s) { return s ? BstrToUtf8(s) : std::string(); }

// The words a process tracker has for its last run's end ("" when none).
std::string ProcessMessage(IVEXAProcessTracker* tracker) {
  Bstr text;
  if (!tracker || FAILED(tracker->GetLastProcessResultMsg(text.Out()))) return {};
  return Narrow(text.Get());
}

// Sets the completion when the engine's worker ends (on that worker's thread).
class ProcessDoneSink : public com::ComObjectRoot, public IVEXAProcessDoneSink {
 public:
  using Interfaces = com::InterfaceMap<IVEXAProcessDoneSink>;
  explicit ProcessDoneSink(std::shared_ptr<Completion> end) : end_(std::move(end)) {}
  HRESULT OnProcessDone() override {
    end_->Set();
    return S_OK;
  }

 private:
  std::shared_ptr<Completion> end_;
};

}  // namespace

EngineFactory DefaultEngineFactory() {
  return [](IVEXAEngine** engine) -> HRESULT {
    return CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_ALL, IID_IVEXAEngine,
                            reinterpret_cast<void**>(engine));
  };
}

VEXAFileSystemSupport EngineFileSystem(LONG v) {
  switch (v) {
    case VEXACoreFSISO9660: return VEXAFSISO9660;
    case VEXACoreFSJOLIET: return VEXAFSJOLIET;
    case VEXACoreFSUDF15: return VEXAFSUDF15;
    default: return VEXAFSDefault;
  }
}

VEXATVSystem EngineTVSystem(LONG v) {
  switch (v) {
    case VEXACoreTVNTSC: return VEXATVNTSC;
    case VEXACoreTVFILM: return VEXATVFILM;
    case VEXACoreTVPAL: return VEXATVPAL;
    case VEXACoreTVSECAM: return VEXATVSECAM;
    default: return VEXATVNTSC;
  }
}

VEXAPaperSize EnginePaperSize(LONG v) { return v == VEXACorePaperSizeA4 ? VEXAPaperSizeA4 : VEXAPaperSizeLetter; }

VEXAPictureSizingBehaviour EngineSizing(LONG v) {
  return v == VEXACoreCropPicture ? VEXACropPicture : VEXAResizePicture;
}

CVexaODBase::CVexaODBase(CVexaCoreUtil& util, EngineFactory factory, std::shared_ptr<FlowClock> clock)
    : util_(util), factory_(std::move(factory)), clock_(std::move(clock)) {
  if (!factory_) factory_ = DefaultEngineFactory();
  if (!clock_) clock_ = FlowClock::Real();
}

CVexaODBase::~CVexaODBase() { ReleaseEngine(); }

int CVexaODBase::StartEngine(bool showStatus) {
  showStatus_ = showStatus;
  if (!InitializeVEXASDK()) return 1;
  return GetCDWriter() ? 0 : 2;
}

bool CVexaODBase::InitializeVEXASDK() {
  ReleaseEngine();
  auto failed = [&](const char* line) {
    Fail(line, true);
    ReleaseEngine();
    return false;
  };
  if (FAILED(factory_(engine_.Put())) || !engine_) {
    return failed("CVexaODBase::InitializeVEXASDK - Cannot Create SDK engine.");
  }
  if (FAILED(engine_->get_StoryboardStillsSlideshow1(storyboard_.Put())) || !storyboard_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_StoryboardStillsSlideshow1 call failed.");
  }
  if (FAILED(engine_->get_Premaster(premaster_.Put())) || !premaster_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_Premaster call failed.");
  }
  if (FAILED(premaster_->get_PremasterProcessTracker(premasterTracker_.Put())) || !premasterTracker_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_PremasterProcessTracker call failed.");
  }
  if (FAILED(engine_->get_DriveMgr(driveManager_.Put())) || !driveManager_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_DriveMgr call failed.");
  }
  if (FAILED(engine_->get_Burner(burner_.Put())) || !burner_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_Burner call failed.");
  }
  if (FAILED(burner_->get_BurnProcessTracker(burnTracker_.Put())) || !burnTracker_) {
    return failed("CVexaODBase::InitializeVEXASDK - get_BurnProcessTracker call failed.");
  }
  // An engine that tells when its work ends lets the flow wait for that
  // rather than poll; one that does not is polled as before.
  ComPtr<IVEXAProcessDoneSink> sink;
  if (SUCCEEDED(engine_->QueryInterface(IID_IVEXAProcessEvents, processEvents_.PutVoid())) && processEvents_ &&
      SUCCEEDED(com::ComObject<ProcessDoneSink>::Create(sink.Put(), processEnd_)) &&
      FAILED(processEvents_->AdviseProcessDone(sink.Get()))) {
    processEvents_.Reset();
  }
  if (!sink) processEvents_.Reset();
  return true;
}

void CVexaODBase::ReleaseEngine() {
  if (processEvents_) processEvents_->AdviseProcessDone(nullptr);
  processEvents_.Reset();
  drive_.Reset();
  driveManager_.Reset();
  burnTracker_.Reset();
  burner_.Reset();
  premasterTracker_.Reset();
  premaster_.Reset();
  storyboard_.Reset();
  engine_.Reset();
}

bool CVexaODBase::SetTitleLines(BSTR line1, BSTR line2, BSTR line3) {
  if (!storyboard_ || FAILED(storyboard_->SetTitleLines(line1, line2, line3))) {
    return Fail("CVexaODBase::SetTitleLines - SetTitleLines call failed.", true);
  }
  return true;
}

bool CVexaODBase::AddStills(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime, LONG sizing,
                            LONG rotateDegrees, VARIANT_BOOL isTitleStill) {
  Bstr thumbPath(u"");
  if (!storyboard_ || FAILED(storyboard_->AddStill(stillFile, srcPath, stillTitle, destCtime, EngineSizing(sizing),
                                                   rotateDegrees, isTitleStill, thumbPath.Get(), 0.0))) {
    return Fail("CVexaODBase::AddStills - AddStill call failed on still " + Narrow(stillFile) + ".", true);
  }
  return true;
}

bool CVexaODBase::AddAudioTrack(BSTR audioFile, DATE destCtime) {
  if (!storyboard_ || FAILED(storyboard_->AddAudioTrack(audioFile, destCtime))) {
    return Fail("CVexaODBase::AddAudioTrack - AddAudioTrack call failed for track " + Narrow(audioFile) + ".", true);
  }
  return true;
}

bool CVexaODBase::SetStillTitleVisibleTime(LONG seconds) {
  LONG ms = 0;
  if (!ToMilliseconds(seconds, &ms) || !storyboard_ || FAILED(storyboard_->SetStillTitleVisibleTime(ms))) {
    return Fail(Format("CVexaODBase::SetStillTitleVisibleTime - SetStillTitleVisibleTime call failed for value %d.",
                       static_cast<int>(seconds)),
                true);
  }
  return true;
}

bool CVexaODBase::SetStillDelay(LONG seconds) {
  // A delay beyond the engine's 32-bit milliseconds goes as the largest it
  // takes: the engine then refuses it with the most a disc holds.
  LONG ms = 0;
  if (!ToMilliseconds(seconds, &ms)) ms = seconds > 0 ? INT32_MAX : INT32_MIN;
  if (!storyboard_ || FAILED(storyboard_->SetStillDelay(ms))) {
    return Fail(Format("CVexaODBase::SetStillDelay - SetStillDelay call failed for value %d.", static_cast<int>(seconds)),
                true);
  }
  return true;
}

bool CVexaODBase::SetTVSystem(LONG tv) {
  if (!storyboard_ || FAILED(storyboard_->SetTVSystem(EngineTVSystem(tv)))) {
    return Fail(Format("CVexaODBase::SetTVSystem - SetTVSystem call failed for %d.", static_cast<int>(tv)), true);
  }
  return true;
}

bool CVexaODBase::SetFileSystemSupport(LONG fs) {
  const VEXAFileSystemSupport value = EngineFileSystem(fs);
  if (!storyboard_ || FAILED(storyboard_->SetFileSystemSupport(value))) {
    return Fail(Format("CVexaODBase::SetFileSystemSupport - SetFileSystemSupport call failed for value %d.",
                       static_cast<int>(value)),
                true);
  }
  return true;
}

bool CVexaODBase::SetPaperSize(LONG paper) {
  if (!storyboard_ || FAILED(storyboard_->SetPaperSize(EnginePaperSize(paper)))) {
    return Fail("CVexaODBase::SetPaperSize - SetPaperSize call failed.", true);
  }
  return true;
}

bool CVexaODBase::AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) {
  if (!storyboard_ || FAILED(storyboard_->AddFile(sourceFile, dest8dot3Path, destJolietPath, destCtime))) {
    return Fail("CVexaODBase::AddFile - SDK AddFile call failed.", true);
  }
  return true;
}

bool CVexaODBase::CDDAToWav(BSTR track, BSTR wavFile) {
  if (!storyboard_ || FAILED(storyboard_->StartRead(track, wavFile))) {
    return Fail("CVexaODBase::CDDAToWav - StartRead call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetTrackInfo(BSTR track, LONG* size, double* playTime, LONG* timeToRip) {
  if (!storyboard_ || FAILED(storyboard_->GetTrackInfo(track, size, playTime, timeToRip))) {
    return Fail("CVexaODBase::GetTrackInfo - GetTrackInfo call failed.", true);
  }
  return true;
}

bool CVexaODBase::SetTempDirectory(BSTR path) {
  if (!engine_ || FAILED(engine_->SetTempDirectory(path))) {
    return Fail("CVexaODBase::SetTempDirectory - SDK SetTempDirectory call failed for path " + Narrow(path) + ".", true);
  }
  return true;
}

namespace {

// A text for the engine: null when left out.
Bstr ToBstr(const std::optional<std::string>& text) { return text ? Bstr::FromUtf8(*text) : Bstr(); }

}  // namespace

bool CVexaODBase::SetTitleLines(const std::string& line1, const std::string& line2, const std::string& line3) {
  Bstr l1 = Bstr::FromUtf8(line1), l2 = Bstr::FromUtf8(line2), l3 = Bstr::FromUtf8(line3);
  return SetTitleLines(l1.Get(), l2.Get(), l3.Get());
}

bool CVexaODBase::AddStills(const std::string& stillFile, const std::string& srcPath, const std::string& stillTitle,
                            DATE destCtime, LONG sizing, LONG rotateDegrees, std::int16_t isTitleStill) {
  Bstr file = Bstr::FromUtf8(stillFile), source = Bstr::FromUtf8(srcPath), title = Bstr::FromUtf8(stillTitle);
  return AddStills(file.Get(), source.Get(), title.Get(), destCtime, sizing, rotateDegrees, isTitleStill);
}

void CVexaODBase::ExpectStills(const std::vector<std::pair<std::string, LONG>>& stills) {
  ComPtr<IVEXAStillsAhead> ahead;
  if (!engine_ || FAILED(engine_->QueryInterface(IID_IVEXAStillsAhead, ahead.PutVoid())) || !ahead) return;
  std::vector<Bstr> files;
  std::vector<BSTR> names;
  std::vector<LONG> rotations;
  files.reserve(stills.size());
  for (const auto& [file, rotation] : stills) {
    // A photo whose name the disc's album file cannot hold is set aside
    // by AddStill before any work: none is made ahead.
    if (!base::CharacterXmlCannotHold(file).empty()) continue;
    files.push_back(Bstr::FromUtf8(file));
    names.push_back(files.back().Get());
    rotations.push_back(rotation);
  }
  // Only a help: the photos are added one by one whatever it answers.
  (void)ahead->ExpectStills(names.data(), rotations.data(), static_cast<LONG>(names.size()));
}

void CVexaODBase::DropExpectedStills() {
  ComPtr<IVEXAStillsAhead> ahead;
  if (engine_ && SUCCEEDED(engine_->QueryInterface(IID_IVEXAStillsAhead, ahead.PutVoid())) && ahead) {
    (void)ahead->DropExpectedStills();
  }
}

bool CVexaODBase::AddAudioTrack(const std::string& audioFile, DATE destCtime) {
  Bstr file = Bstr::FromUtf8(audioFile);
  return AddAudioTrack(file.Get(), destCtime);
}

bool CVexaODBase::AddFile(const std::optional<std::string>& sourceFile, const std::optional<std::string>& dest8dot3Path,
                          const std::optional<std::string>& destJolietPath, DATE destCtime) {
  Bstr source = ToBstr(sourceFile), dos = ToBstr(dest8dot3Path), joliet = ToBstr(destJolietPath);
  return AddFile(source.Get(), dos.Get(), joliet.Get(), destCtime);
}

bool CVexaODBase::CDDAToWav(const std::string& track, const std::string& wavFile) {
  Bstr t = Bstr::FromUtf8(track), w = Bstr::FromUtf8(wavFile);
  return CDDAToWav(t.Get(), w.Get());
}

bool CVexaODBase::GetTrackInfo(const std::string& track, LONG* size, double* playTime, LONG* timeToRip) {
  Bstr t = Bstr::FromUtf8(track);
  return GetTrackInfo(t.Get(), size, playTime, timeToRip);
}

bool CVexaODBase::EstimateImage(const std::vector<LONGLONG>& photoBytes, bool titleStill, LONG stillDelayMs,
                                LONGLONG musicBytes, LONGLONG* sectors, LONGLONG* discSectors) {
  ComPtr<IVEXAImageEstimate> estimate;
  if (!engine_ || FAILED(engine_->QueryInterface(IID_IVEXAImageEstimate, estimate.PutVoid())) || !estimate) {
    return Fail("CVexaODBase::EstimateImage - The SDK engine gives no image estimate.", false);
  }
  if (FAILED(estimate->EstimateStillsImage(photoBytes.data(), static_cast<LONG>(photoBytes.size()),
                                           titleStill ? VARIANT_TRUE : VARIANT_FALSE, stillDelayMs, musicBytes, sectors,
                                           discSectors))) {
    return Fail("CVexaODBase::EstimateImage - EstimateStillsImage call failed.", true);
  }
  return true;
}

bool CVexaODBase::SetTempDirectory(const std::string& path) {
  Bstr p = Bstr::FromUtf8(path);
  return SetTempDirectory(p.Get());
}

bool CVexaODBase::StartPremaster(bool* tempSpaceShort, bool* tooSmall, std::string* why) {
  *tempSpaceShort = false;
  if (tooSmall) *tooSmall = false;
  lastProcessMessage_.clear();
  processEnd_->Reset();
  if (premaster_ && SUCCEEDED(premaster_->StartPremaster())) return true;
  // The engine's own words (a show too long for the disc, ...) for the
  // message the user sees.
  Bstr said;
  if (engine_ && SUCCEEDED(engine_->GetLastResultMsg(said.Out()))) lastProcessMessage_ = Narrow(said.Get());
  VEXAEngineResult result = VEXAEngineResultSuccess;
  const bool resultKnown = engine_ && SUCCEEDED(engine_->GetLastResultCode(&result));
  if (resultKnown && result == VEXAEngineResultTempSpaceLimitReached) {
    *tempSpaceShort = true;
    return Fail("CVexaODBase::StartPremaster - Insufficient temp space received from Core.", true);
  }
  if (resultKnown && result == VEXAEngineResultDiscTooSmall) {
    if (tooSmall) *tooSmall = true;
    if (why) *why = lastProcessMessage_;
    return Fail("CVexaODBase::StartPremaster - The disc is too small for the disc image.", true);
  }
  return Fail("CVexaODBase::StartPremaster - StartPremaster call failed.", true);
}

bool CVexaODBase::IsPremasterDone(bool* done) {
  VARIANT_BOOL v = VARIANT_FALSE;
  if (!premaster_ || FAILED(premaster_->IsPremasterDone(&v))) {
    return Fail("CVexaODBase::IsPremasterDone - IsPremasterDone call failed.", true);
  }
  *done = IsTrue(v);
  return true;
}

bool CVexaODBase::GetPremasterProgressPercent(LONG* percent) {
  if (!premasterTracker_ || FAILED(premasterTracker_->GetProgressPercent(percent))) {
    return Fail("CVexaODBase::GetPremasterProgressPercent - GetProgressPercent call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetPremasterTimeRemaining(LONG* seconds) {
  if (!premasterTracker_ || FAILED(premasterTracker_->GetEstimatedTimeRemaining(seconds))) {
    return Fail("CVexaODBase::GetPremasterTimeRemaining - GetEstimatedTimeRemaining call failed.", true);
  }
  return true;
}

bool CVexaODBase::PremasterSucceeded() {
  VEXAEngineResult result = VEXAEngineResultSuccess;
  if (!premasterTracker_ || FAILED(premasterTracker_->GetLastProcessResultCode(&result))) {
    return Fail("CVexaODBase::PremasterSucceeded - GetLastProcessResultCode call failed.", true);
  }
  if (result != VEXAEngineResultSuccess) {
    lastProcessMessage_ = ProcessMessage(premasterTracker_.Get());
    return Fail(Format("CVexaODBase::PremasterSucceeded - Premaster failed with error code %d.", static_cast<int>(result)) +
                    (lastProcessMessage_.empty() ? "" : " " + lastProcessMessage_),
                true);
  }
  return true;
}

bool CVexaODBase::StartBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe,
                            bool* tooSmall, std::string* why) {
  lastProcessMessage_.clear();
  processEnd_->Reset();
  if (tooSmall) *tooSmall = false;
  if (!burner_) return Fail("CVexaODBase::StartBurn - StartBurn call failed.", true);
  if (FAILED(burner_->StartBurn(maxSpeed, testMode, verify, burnSafe))) {
    // The engine's words first, before the next call replaces them.
    std::string text;
    CVexaCoreUtil::GetComErrorText(&text);
    VEXAEngineResult result = VEXAEngineResultSuccess;
    const bool small =
        engine_ && SUCCEEDED(engine_->GetLastResultCode(&result)) && result == VEXAEngineResultDiscTooSmall;
    if (small) {
      if (tooSmall) *tooSmall = true;
      if (why) *why = text;
    }
    // As any failure line with the engine's text: the engine's words, then ours.
    if (!text.empty()) util_.ReportError(text, false);
    return Fail(small ? "CVexaODBase::StartBurn - The disc is too small for the disc image."
                      : "CVexaODBase::StartBurn - StartBurn call failed.",
                false);
  }
  return true;
}

bool CVexaODBase::IsBurnDone(bool* done) {
  VARIANT_BOOL v = VARIANT_FALSE;
  if (!burner_ || FAILED(burner_->IsBurnDone(&v))) {
    return Fail("CVexaODBase::IsBurnDone - IsBurnDone call failed.", true);
  }
  *done = IsTrue(v);
  return true;
}

bool CVexaODBase::CancelPremaster() {
  if (!premaster_ || FAILED(premaster_->CancelPremaster(VARIANT_FALSE))) {
    return Fail("CVexaODBase::CancelPremaster - CancelPremaster call failed.", true);
  }
  return true;
}

bool CVexaODBase::CancelBurn() {
  if (!burner_ || FAILED(burner_->CancelBurn(VARIANT_FALSE))) {
    return Fail("CVexaODBase::CancelBurn - CancelBurn call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetBurnProgressPercent(LONG* percent) {
  if (!burnTracker_ || FAILED(burnTracker_->GetProgressPercent(percent))) {
    return Fail("CVexaODBase::GetBurnProgressPercent - GetProgressPercent call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetBurnTimeRemaining(LONG* seconds) {
  if (!burnTracker_ || FAILED(burnTracker_->GetEstimatedTimeRemaining(seconds))) {
    return Fail("CVexaODBase::GetBurnTimeRemaining - GetEstimatedTimeRemaining call failed.", true);
  }
  return true;
}

bool CVexaODBase::BurnSucceeded() {
  VEXAEngineResult result = VEXAEngineResultSuccess;
  if (!burnTracker_ || FAILED(burnTracker_->GetLastProcessResultCode(&result))) {
    return Fail("CVexaODBase::BurnSucceeded - GetLastProcessResultCode call failed.", true);
  }
  if (result != VEXAEngineResultSuccess) {
    const std::string said = ProcessMessage(burnTracker_.Get());
    lastProcessMessage_ = said.empty() ? said : "The writer reported: " + said;
    return Fail(Format("CVexaODBase::BurnSucceeded - Burn failed with error code %d.", static_cast<int>(result)) +
                    (lastProcessMessage_.empty() ? "" : " " + lastProcessMessage_),
                true);
  }
  return true;
}

bool CVexaODBase::StartErase() {
  if (!burner_ || FAILED(burner_->StartErase(VARIANT_FALSE))) {
    return Fail("CVexaODBase::StartErase - StartErase call failed.", true);
  }
  eraseStartTicks_ = clock_->TickCount();
  return true;
}

bool CVexaODBase::GetEraseElapsedTime(LONG* seconds) {
  const std::uint32_t elapsed = clock_->TickCount() - eraseStartTicks_;
  *seconds = static_cast<LONG>(elapsed / 1000);
  return true;
}

bool CVexaODBase::IsEraseDone(bool* done) {
  VARIANT_BOOL v = VARIANT_FALSE;
  if (!burner_ || FAILED(burner_->IsEraseDone(&v))) {
    return Fail("CVexaODBase::IsEraseDone - IsEraseDone call failed.", true);
  }
  *done = IsTrue(v);
  return true;
}

const char kNoWriterMessage[] =
    "The orlune disc creator software could not find a CD writer on your system.\r\n\r\n"
    "Try the following:\r\n"
    "   - Check that the writer is connected and that its device nodes exist (ls -l /dev/sr* /dev/sg*). "
    "Where there is no /dev/sg* node, load the SCSI generic driver: sudo modprobe sg\r\n"
    "   - Check that you may use them: the nodes belong to the group cdrom. Add yourself to it "
    "(sudo adduser $USER cdrom), then log out and in again.\r\n"
    "   - To write to the simulated recorder instead, set VEXA_SCSI_TRANSPORT=sim:FOLDER in the environment, "
    "or the registry value SCSI_TRANSPORT under the product key, to a folder made with "
    "\"cdrsim create FOLDER --media cdr\".";

const char kNoWriterLogLine[] =
    "CVexaODBase::GetNextDrive - Check the writer's device nodes /dev/sr* and /dev/sg* (sudo modprobe sg makes "
    "the SCSI generic ones) and that the user is in the group cdrom; VEXA_SCSI_TRANSPORT=sim:FOLDER (or "
    "SCSI_TRANSPORT under the product key) writes to the simulated recorder instead.";

bool CVexaODBase::GetNextDrive(VARIANT_BOOL* present) {
  *present = VARIANT_FALSE;
  noWriterReason_.clear();
  ComPtr<IVEXADrive> next;
  if (!driveManager_ || FAILED(driveManager_->GetNextDrive(drive_.Get(), VEXAMediaVCD, next.Put()))) {
    // The engine's words first, kept for the message, then ours.
    std::string said;
    CVexaCoreUtil::GetComErrorText(&said);
    if (!said.empty()) util_.ReportError(said, false);
    const std::size_t dash = said.find(" - ");
    noWriterReason_ = dash == std::string::npos ? said : said.substr(dash + 3);
    static constexpr std::string_view kNone = "No CD writer can be used: ";
    if (noWriterReason_.rfind(kNone, 0) == 0) noWriterReason_.erase(0, kNone.size());
    if (!noWriterReason_.empty()) {
      noWriterReason_[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(noWriterReason_[0])));
    }
    return Fail("CVEXAOD::GetNextDrive - SDK GetNextDrive call failed.", false);
  }
  if (!next) {
    Fail("CVexaODBase::GetNextDrive - No CD writer found.", false);
    Fail(kNoWriterLogLine, false);
    return true;
  }
  // The previous drive's reference goes as the new one takes its place.
  drive_ = std::move(next);
  *present = VARIANT_TRUE;
  return true;
}

bool CVexaODBase::GetCDWriter() {
  VARIANT_BOOL present = VARIANT_FALSE;
  if (!GetNextDrive(&present)) return Fail("CVEXAOD::GetCDWriter - GetNextDrive call failed.", false);
  if (present != VARIANT_TRUE) return Fail("CVEXAOD::GetCDWriter - No capable CD-writer exists.", false);
  return true;
}

bool CVexaODBase::GetDriveStatus(LONG* status) {
  VEXADriveStatus s = VEXADriveStatusOK;
  if (!drive_ || FAILED(drive_->GetDriveStatus(&s))) {
    return Fail("CVexaODBase::GetDriveStatus - GetDriveStatus call failed.", true);
  }
  if (s != VEXADriveStatusOK) {
    // A busy drive gets one more chance after seven seconds.
    if (UiPort* ui = util_.Ui()) {
      clock_->Wait(std::chrono::milliseconds(7000), *ui);
    }
    if (FAILED(drive_->GetDriveStatus(&s))) {
      return Fail("CVexaODBase::GetDriveStatus - GetDriveStatus call failed.", true);
    }
  }
  *status = s;
  return true;
}

bool CVexaODBase::GetDiscType(LONG* type) {
  VEXADiscType t = VEXADiscTypeROM;
  if (!drive_ || FAILED(drive_->GetDiscType(&t))) {
    return Fail("CVexaODBase::IsDiscBlank - GetDiscType call failed.", true);
  }
  *type = t;
  return true;
}

bool CVexaODBase::IsDiscBlank(bool* blank) {
  VARIANT_BOOL v = VARIANT_FALSE;
  if (!drive_ || FAILED(drive_->IsDiscBlank(&v))) {
    return Fail("CVexaODBase::IsDiscBlank - GetDiscIsBlank call failed.", true);
  }
  *blank = IsTrue(v);
  return true;
}

bool CVexaODBase::Eject() {
  VARIANT_BOOL v = VARIANT_FALSE;
  if (!drive_ || FAILED(drive_->Eject(&v))) return Fail("CvexaODBase::Eject - Eject call failed.", true);
  return true;
}

bool CVexaODBase::SetBlocking() {
  if (!drive_ || FAILED(drive_->SetBlocking(VEXADriveBlockingAll))) {
    return Fail("CvexaODBase::SetBlocking - SetBlocking ON call failed.", true);
  }
  return true;
}

bool CVexaODBase::UnSetBlocking() {
  if (!drive_ || FAILED(drive_->SetBlocking(VEXADriveBlockingNone))) {
    return Fail("CvexaODBase::UnSetBlocking - UnSetBlocking ON call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetMaxBurnSpeed(LONG* speed) {
  if (!drive_ || FAILED(drive_->GetMaxBurnSpeed(speed))) {
    return Fail("CVexaODBase::GetMaxBurnSpeed - GetMaxBurnSpeed call failed.", true);
  }
  return true;
}

bool CVexaODBase::GetDriveSpeeds(VARIANT* speeds) {
  if (!drive_ || FAILED(drive_->GetDriveSpeeds(speeds))) {
    return Fail("CVexaODBase::GetDriveSpeeds - GetDriveSpeeds call failed.", true);
  }
  return true;
}

CVexaODBase::SpeedList CVexaODBase::GetDriveSpeedList(std::vector<LONG>* speeds) {
  Variant list;
  if (!GetDriveSpeeds(&list)) return SpeedList::QueryFailed;
  if (!(list.vt & VT_ARRAY) || !(list.vt & 3) || !list.parray) {
    Fail("CVEXACore::GetDriveSpeedList() - drive Speed list is invalid.", false);
    return SpeedList::Unreadable;
  }
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(list.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(list.parray, 1, &upper))) {
    Fail("CVexaODVisual::GetDriveSpeedList - drive Speed list is invalid. Cannot get upper and lower bounds.", false);
    return SpeedList::Unreadable;
  }
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(list.parray, &type);
  for (LONG i = lower; i <= upper; ++i) {
    switch (type) {
      case VT_I4:
      case VT_UI4: {
        LONG v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_I2: {
        SHORT v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_UI1: {
        BYTE v = 0;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v))) speeds->push_back(v);
        break;
      }
      case VT_VARIANT: {
        Variant v, n;
        if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &v)) && SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) {
          speeds->push_back(n.lVal);
        }
        break;
      }
      default:
        break;
    }
  }
  if (speeds->empty()) {
    Fail("CVEXACore::GetDriveSpeedList() - Cannot get any drive speeds.", false);
    return SpeedList::Unreadable;
  }
  return SpeedList::Read;
}

bool CVexaODBase::GetInquiry(BSTR* description) {
  Bstr text;
  if (!drive_ || FAILED(drive_->GetInquiry(text.Out()))) {
    return Fail("CVexaODBase::GetInquiry - SDK GetInquiry() call failed.", true);
  }
  if (text.Length() == 0) {
    Fail("CVexaODBase::GetInquiry - Empty description returned by SDK.", false);
    *description = SysAllocString(u"");
    return true;
  }
  *description = text.Detach();
  return true;
}

bool CVexaODBase::GetDrivePath(BSTR* path) {
  Bstr text;
  if (!drive_ || FAILED(drive_->GetDrivePath(text.Out()))) {
    return Fail("CVexaODBase::GetDrivePath - SDK GetDrivePath call failed.", true);
  }
  if (text.Length() == 0) return Fail("CVexaODBase::GetDrivePath - Empty path returned by SDK.", false);
  *path = text.Detach();
  return true;
}

bool CVexaODBase::GetDrivePath(std::string* path) {
  Bstr text;
  if (!GetDrivePath(text.Out())) return false;
  *path = text.Utf8();
  return true;
}

}  // namespace vexa::core
