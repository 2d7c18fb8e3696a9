// CVexaODBase: the orchestrator's one road to the disc engine. Each request
// is one engine call with the orchestrator's values converted to the
// engine's; each answer is true or false, and a failure appends one line to
// the pending error text (through CVexaCoreUtil).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/CoreUtil.h"
#include "core/UiPort.h"
#include "idl/vexacore.h"
#include "idl/vexasdk.h"

namespace vexa::core {

// Makes a disc engine object; the default creates VEXAVCDEngine by its class
// id. Tests give their own. Called on the thread that will use the engine.
using EngineFactory = std::function<HRESULT(IVEXAEngine** engine)>;
EngineFactory DefaultEngineFactory();

// No CD writer found: what to do on this system. The message the user sees
// (its first sentence is the orchestrator's own), and the line the log gets
// beside the failure.
extern const char kNoWriterMessage[];
extern const char kNoWriterLogLine[];

// Orchestrator value to engine value.
VEXAFileSystemSupport EngineFileSystem(LONG coreValue);
VEXATVSystem EngineTVSystem(LONG coreValue);
VEXAPaperSize EnginePaperSize(LONG coreValue);
VEXAPictureSizingBehaviour EngineSizing(LONG coreValue);

class CVexaODBase {
 public:
  CVexaODBase(CVexaCoreUtil& util, EngineFactory factory, std::shared_ptr<FlowClock> clock);
  virtual ~CVexaODBase();
  CVexaODBase(const CVexaODBase&) = delete;
  CVexaODBase& operator=(const CVexaODBase&) = delete;

  // 0 started, 1 no engine, 2 no CD writer.
  int StartEngine(bool showStatus);
  bool InitializeVEXASDK();
  void ReleaseEngine();

  bool SetTitleLines(BSTR line1, BSTR line2, BSTR line3);
  bool AddStills(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime, LONG sizing,
                 LONG rotateDegrees, VARIANT_BOOL isTitleStill);
  bool AddAudioTrack(BSTR audioFile, DATE destCtime);
  bool SetStillTitleVisibleTime(LONG seconds);
  bool SetStillDelay(LONG seconds);
  bool SetTVSystem(LONG tv);
  bool SetFileSystemSupport(LONG fs);
  bool SetPaperSize(LONG paper);
  bool AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime);
  bool CDDAToWav(BSTR track, BSTR wavFile);
  bool GetTrackInfo(BSTR track, LONG* size, double* playTime, LONG* timeToRip);
  bool SetTempDirectory(BSTR path);
  // The same requests with plain text (UTF-8), converted here; a path left
  // out (nullopt) reaches the engine as none.
  bool SetTitleLines(const std::string& line1, const std::string& line2, const std::string& line3);
  bool AddStills(const std::string& stillFile, const std::string& srcPath, const std::string& stillTitle,
                 DATE destCtime, LONG sizing, LONG rotateDegrees, std::int16_t isTitleStill);
  bool AddAudioTrack(const std::string& audioFile, DATE destCtime);
  bool AddFile(const std::optional<std::string>& sourceFile, const std::optional<std::string>& dest8dot3Path,
               const std::optional<std::string>& destJolietPath, DATE destCtime);
  bool CDDAToWav(const std::string& track, const std::string& wavFile);
  bool GetTrackInfo(const std::string& track, LONG* size, double* playTime, LONG* timeToRip);
  // The engine's estimate of the image a disc of photos of these file sizes
  // would make, asked before they are added (IVEXAImageEstimate).
  bool EstimateImage(const std::vector<LONGLONG>& photoBytes, bool titleStill, LONG stillDelayMs, LONGLONG musicBytes,
                     LONGLONG* sectors, LONGLONG* discSectors);
  bool SetTempDirectory(const std::string& path);
  // The photos about to be added with AddStills, in that order (file and
  // rotation as they will be passed), so that an engine that can makes
  // their files ahead on its workers; nothing for one that cannot. Drop: none
  // of them will be added any more (the adding ended or was cancelled).
  void ExpectStills(const std::vector<std::pair<std::string, LONG>>& stills);
  void DropExpectedStills();

  // On a refusal because the disc in the drive is too small for the image
  // the premaster would make, *tooSmall is set and *why holds the engine's
  // text (the figures of the burn's own refusal).
  bool StartPremaster(bool* tempSpaceShort, bool* tooSmall = nullptr, std::string* why = nullptr);
  bool IsPremasterDone(bool* done);
  bool GetPremasterProgressPercent(LONG* percent);
  bool GetPremasterTimeRemaining(LONG* seconds);
  bool PremasterSucceeded();
  // Asks the engine to stop the premaster; it ends after its current piece.
  bool CancelPremaster();

  // On a refusal because the disc is too small for the image, *tooSmall is
  // set and *why holds the engine's words (how much is needed and free).
  bool StartBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe,
                 bool* tooSmall = nullptr, std::string* why = nullptr);
  bool IsBurnDone(bool* done);
  bool CancelBurn();
  bool GetBurnProgressPercent(LONG* percent);
  bool GetBurnTimeRemaining(LONG* seconds);
  bool BurnSucceeded();
  // What the engine said about the last failed premaster or burn (the
  // drive's sense text, the input that failed, the space that ran out);
  // "" when it said nothing.
  const std::string& LastProcessMessage() const { return lastProcessMessage_; }

  bool StartErase();
  // Whole seconds since StartErase succeeded.
  bool GetEraseElapsedTime(LONG* seconds);
  bool IsEraseDone(bool* done);

  // *present is VARIANT_TRUE when a drive came back.
  bool GetNextDrive(VARIANT_BOOL* present);
  // Why the last search found no writer it could use, in the engine's words
  // without its method name (a writer in use, a transport setting that
  // cannot be used); "" when it found none at all or found one.
  const std::string& NoWriterReason() const { return noWriterReason_; }
  bool GetCDWriter();
  bool GetDriveStatus(LONG* status);
  bool GetDiscType(LONG* type);
  bool IsDiscBlank(bool* blank);
  bool Eject();
  bool SetBlocking();
  bool UnSetBlocking();
  bool GetMaxBurnSpeed(LONG* speed);
  bool GetDriveSpeeds(VARIANT* speeds);
  // The writer's speeds as numbers, in the engine's order. QueryFailed: the
  // engine's query failed (its line added); Unreadable: the answer is no
  // list of speeds, or an empty one (its line added).
  enum class SpeedList { Read, QueryFailed, Unreadable };
  SpeedList GetDriveSpeedList(std::vector<LONG>* speeds);
  bool GetInquiry(BSTR* description);
  bool GetDrivePath(BSTR* path);
  bool GetDrivePath(std::string* path);

  // Set when the premaster or the burn started last has ended; null when the
  // engine cannot tell (then the flow can only poll).
  Completion* ProcessEnd() { return processEvents_ ? processEnd_.get() : nullptr; }

  bool HasEngine() const { return engine_ != nullptr; }
  bool ShowStatus() const { return showStatus_; }
  const EngineFactory& Factory() const { return factory_; }

 private:
  bool Fail(const std::string& line, bool withSystem) { return util_.ReportFailure(line, withSystem); }
  static bool IsTrue(VARIANT_BOOL v) { return v == VARIANT_TRUE; }

  CVexaCoreUtil& util_;
  EngineFactory factory_;
  std::shared_ptr<FlowClock> clock_;

  ComPtr<IVEXAEngine> engine_;
  ComPtr<IVEXAStoryboardStillsSlideshow1> storyboard_;
  ComPtr<IVEXAPremaster> premaster_;
  ComPtr<IVEXABurner> burner_;
  ComPtr<IVEXADriveMgr> driveManager_;
  ComPtr<IVEXADrive> drive_;
  ComPtr<IVEXAProcessTracker> premasterTracker_;
  ComPtr<IVEXABurnProcessTracker> burnTracker_;
  // The engine's end-of-work events, when it offers them, set processEnd_
  // through a sink that shares it.
  ComPtr<IVEXAProcessEvents> processEvents_;
  std::shared_ptr<Completion> processEnd_ = std::make_shared<Completion>();
  bool showStatus_ = false;
  std::uint32_t eraseStartTicks_ = 0;
  std::string lastProcessMessage_;
  std::string noWriterReason_;
};

// The photos named to the engine (ExpectStills) while this lives; dropped
// when it goes, however the adding ended (done, failed, cancelled).
class ExpectedStills {
 public:
  ExpectedStills(CVexaODBase* driver, const std::vector<std::pair<std::string, LONG>>& stills) : driver_(driver) {
    if (driver_) driver_->ExpectStills(stills);
  }
  ~ExpectedStills() {
    if (driver_) driver_->DropExpectedStills();
  }
  ExpectedStills(const ExpectedStills&) = delete;
  ExpectedStills& operator=(const ExpectedStills&) = delete;

 private:
  CVexaODBase* driver_;
};

}  // namespace vexa::core
