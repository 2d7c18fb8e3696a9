// CVEXACore1: the burn orchestrator object behind IVEXACore1. It takes the
// settings, pictures, music and files of a disc, hands them to the disc
// engine through the engine driver and to the album document through the
// album access object, and runs the disc creation with its status dialog,
// messages and error codes.
//
// Every object owns its own utilities (logger, strings, pending error text),
// album, engine driver and user interface, so several objects may live in a
// process, one after the other or side by side. While a call is under way
// (and pumps the user interface) a further call into the object is refused.
//
// The class is the component's edge: its calls work through plain parts
// (FlowContext for the user interface and the result code, BurnFlow for the
// disc checks, premaster and burn) and turn their answers into HRESULTs and
// error information.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/CoreUtil.h"
#include "core/CoreXML.h"
#include "core/FlowContext.h"
#include "core/BurnFlow.h"
#include "core/ODBase.h"
#include "core/SleepGuard.h"
#include "core/UiPort.h"
#include "idl/VEXAImg.h"
#include "idl/vexacore.h"
#include "idl/vexalog.h"

namespace vexa::core {

// What the object takes from outside; each empty member gets the real one.
// Tests give their own (a fake engine, a scripted user interface, a clock
// that does not wait).
struct CoreServices {
  EngineFactory engine;
  std::function<HRESULT(IVexaLogger**)> logger;
  std::function<HRESULT(IVEXALocUtil**)> locale;
  std::function<std::unique_ptr<UiPort>(CVexaCoreUtil& util, bool windows)> ui;
  std::shared_ptr<FlowClock> clock;
  std::function<std::unique_ptr<InhibitorSource>()> inhibitor;
  std::function<bool(const std::string& dir, std::uint64_t* bytes)> freeSpace;
  // The system's temporary folder the default work directory is made in.
  std::string systemTemp;
  // The longest a quick erase may take before it counts as failed.
  std::chrono::milliseconds eraseDeadline{std::chrono::minutes(8)};
  // The longest the flow waits for a cancelled burn to stop.
  std::chrono::milliseconds burnStopDeadline{std::chrono::minutes(2)};

  void FillDefaults();
};

class CVEXACore1 : public com::ComObjectRoot,
                   public com::DispatchImpl<CVEXACore1, IVEXACore1>,
                   public com::SupportErrorInfoImpl<IVEXACore1>,
                   public IVEXACoreImageEstimate {
 public:
  using Interfaces =
      com::InterfaceMap<IVEXACore1, com::Via<IDispatch, IVEXACore1>, ISupportErrorInfo, IVEXACoreImageEstimate>;
  static std::span<const com::DispatchEntry<CVEXACore1>> DispatchTable();

  explicit CVEXACore1(CoreServices services = {});
  ~CVEXACore1();

  HRESULT FinalConstruct();
  void FinalRelease();

  // ---- IVEXACore1 ----
  HRESULT AddAudioTrack(BSTR srcAudioFile, BSTR originalAudioFile, DATE creationTime) override;
  HRESULT AddStill(BSTR stillFile, BSTR srcStillPath, BSTR stillTitle, DATE creationTime,
                   VEXACorePictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                   VARIANT_BOOL isTitleStill) override;
  HRESULT SetFileSystemSupport(VEXACoreFileSystemSupport fileSystem) override;
  HRESULT SetStillDelay(LONG delay) override;
  HRESULT SetStillTitleVisibleTime(LONG delay) override;
  HRESULT SetTVSystem(VEXACoreTVSystem tvSystem) override;
  HRESULT SetTitleLines(BSTR title1, BSTR title2, BSTR title3) override;
  HRESULT CreateVCD(VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) override;
  HRESULT GetErrorCode(VEXACoreErrorCode* errorCode) override;
  HRESULT AddImageListFile(BSTR imageListFilePath) override;
  HRESULT AddImageDirectory(BSTR imagedirectoryPath) override;
  HRESULT SetStatusMode(VARIANT_BOOL showStatusDlg) override;
  HRESULT SetLogFile(BSTR logFilePath, LONG maxlogSize) override;
  HRESULT Init(VEXACoreShowStatusLevel statusLevel, BSTR tempDirectory, VARIANT_BOOL doClean) override;
  HRESULT GetDriveSpeeds(VARIANT* driveSpeeds) override;
  HRESULT GetMaxBurnSpeed(LONG* maxSpeed) override;
  HRESULT AddAlbumFile(BSTR albumFilePath, VEXACoreAlbumFormat albumFormat) override;
  HRESULT SetLoggingLevel(VARIANT_BOOL logAll) override;
  HRESULT SetBurnSpeed(LONG burnSpeed) override;
  HRESULT CDDAToWav(BSTR CDDATrack, BSTR outWAVFile) override;
  HRESULT GetTrackInfo(BSTR CDDATrack, LONG* pTrackSize, double* pPlayTime, LONG* pTimeToRip) override;
  HRESULT SetPaperSize(VEXACorePaperSize paperSize) override;
  HRESULT SetTempDirectory(BSTR tempPath, VARIANT_BOOL doClean) override;
  HRESULT MakeDuplicate(VARIANT_BOOL showStatusDlg) override;
  HRESULT AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) override;
  HRESULT SetDefaultTitle() override;
  HRESULT GetNextDrive(VARIANT_BOOL showCDWriterError, VARIANT_BOOL* drivePresent) override;
  HRESULT GetDrivePath(BSTR* drivePath) override;
  HRESULT GetInquiry(BSTR* driveDescription) override;

  // For tests: the parts the object is made of.
  UiPort* Ui() const { return ui_.get(); }
  CVexaCoreUtil& Util() { return util_; }
  const std::string& WorkDirectory() const { return tempPath_; }
  const std::vector<std::string>& InvalidStills() const { return invalidStills_; }
  LONG BurnSpeed() const { return burnSpeed_; }

 private:
  friend class CallGuard;

  // ---- the calls, as the object makes them of itself ----
  // Plain parts: text as UTF-8, answers true or false with the texts and
  // the result code left as the interface method leaves them; the interface
  // methods convert their arguments and turn the answer into an HRESULT.
  bool DoAddAudioTrack(const std::string& srcAudioFile, const std::string& originalAudioFile, DATE creationTime);
  bool DoAddStill(const std::string& stillFile, const std::string& srcStillPath, const std::string& stillTitle,
                  DATE creationTime, LONG sizing, LONG rotateDegrees, std::int16_t isTitleStill);
  bool DoSetFileSystemSupport(LONG fileSystem);
  // The file system the caller chose, or the default when it chose none
  // (it is optional): the engine needs one before the first picture, file,
  // title or music goes into the image. method names the caller's call.
  bool SettleFileSystem(const std::string& method);
  bool DoSetStillDelay(LONG delay);
  bool DoSetStillTitleVisibleTime(LONG delay);
  bool DoSetTVSystem(LONG tvSystem);
  bool DoSetTitleLines(const std::string& title1, const std::string& title2, const std::string& title3);
  // The three flags go to the engine as the caller gave them.
  bool DoCreateVCD(std::int16_t testMode, std::int16_t verify, std::int16_t burnSafe);
  bool DoAddImageListFile(const std::string& path);
  bool DoAddImageDirectory(const std::string& path);
  bool DoInit(LONG statusLevel, const std::string& tempDirectory, bool doClean);
  bool DoAddAlbumFile(const std::string& albumFilePath, LONG albumFormat);
  bool DoSetBurnSpeed(LONG burnSpeed);
  bool DoCDDAToWav(const std::string& track, const std::string& outWAVFile);
  bool DoSetPaperSize(LONG paperSize);
  bool DoSetTempDirectory(const std::string& tempPath, bool doClean);
  bool DoMakeDuplicate();
  // A path left out (nullopt) reaches the engine as none.
  bool DoAddFile(const std::string& sourceFile, const std::optional<std::string>& dest8dot3Path,
                 const std::optional<std::string>& destJolietPath, DATE destCtime);
  bool DoSetDefaultTitle();
  bool DrivePath(std::string* path);

  // ---- the interface methods with out-arguments ----
  HRESULT DoGetDriveSpeeds(VARIANT* driveSpeeds);
  HRESULT DoGetMaxBurnSpeed(LONG* maxSpeed);
  HRESULT DoGetTrackInfo(BSTR track, LONG* trackSize, double* playTime, LONG* timeToRip);

  // ---- IVEXACoreImageEstimate ----
  HRESULT EstimateImage(const BSTR* stillFiles, LONG count, VARIANT_BOOL titleStill, LONG stillDelay, BSTR musicFile,
                        LONGLONG* sectors, LONGLONG* discSectors) override;
  HRESULT DoEstimateImage(const BSTR* stillFiles, LONG count, VARIANT_BOOL titleStill, LONG stillDelay,
                          BSTR musicFile, LONGLONG* sectors, LONGLONG* discSectors);
  HRESULT DoGetNextDrive(VARIANT_BOOL showCDWriterError, VARIANT_BOOL* drivePresent);
  HRESULT DoGetDrivePath(BSTR* drivePath);
  HRESULT DoGetInquiry(BSTR* driveDescription);

  // ---- the image utility ----
  // The title picture of the three lines at file (NTSC or PAL size).
  bool MakeTitleStill(const std::string& line1, const std::string& line2, const std::string& line3,
                      const std::string& file, const std::string& face, LONG primarySize, LONG secondarySize,
                      bool ntsc);

  // ---- reporting ----
  // The failure report: the status dialog hidden, the text added to the
  // pending error text, and the pending error text raised as the call's
  // error information. E_FAIL always.
  HRESULT Fail(const std::string& text, bool withSystemText = false);
  bool ReportAudioProblem(const std::string& text, bool withSystemText = false);
  bool ReportTempSpace();

  // ---- the user interface ----
  StatusDialog& Status() { return flow_.Status(); }
  void EnsureUi(bool windows);
  // Tells the user interface how an interface call ended: a failure (not
  // the user's cancel) with its cause, or a run that ended well or was
  // cancelled, which clears it.
  void CallEnded(const char* method, HRESULT hr);

  // ---- the burn flow, over this object's context and engine driver ----
  BurnFlow MakeBurnFlow();

  // ---- album input and files ----
  bool AddStills(CVexaCoreXML& album, const std::string& baseFolder);
  bool DealWithInvalidStills();
  bool AddExtraODFiles();
  bool DiscCopyOfPage(std::string* source);
  bool CheckTempSpace();
  bool CheckTempDirectory();
  bool MakeTempDirectory(std::string* path);
  bool GetTempFilePath(std::string* path);
  bool CleanTempDirectory();
  bool CopyFromWriter(std::string* path);
  bool CheckIfFileExists(const std::string& path, bool* exists, bool isAudio);
  bool GetTVSystem(LONG* tv);
  bool GetPaperSize(LONG* paper);
  static void AppendLineBreaks(int count, std::string* text);
  void ResetState();
  void Reject(const std::string& srcStillPath);
  // The pictures on the disc so far, the title picture included.
  LONG StillsOnDisc() const { return stillCount_ + (titleLinesSet_ ? 1 : 0); }
  // Room on the disc for `more` pictures, checked before the first of them
  // is added: a disc holds kVEXAEngineMaxStills pictures, the title picture
  // included. Too many: the user is told how many to remove and the call
  // fails (code VEXACoreTooManyStills). titleStill: the one to add is the
  // title picture.
  bool CheckStillRoom(const char* method, std::size_t more, bool titleStill = false);

  // ---- audio-CD ripping ----
  bool RipAudioTrackFromCD(const std::string& track, std::string* outPath, const std::string& extension);

  CoreServices services_;
  CVexaCoreUtil util_;
  // The user interface, the two status flags and the result code, as every
  // part of a call sees them.
  FlowContext flow_;
  std::unique_ptr<UiPort> ui_;
  std::unique_ptr<CVexaODBase> driver_;
  std::unique_ptr<CVexaCoreXML> albumXml_;
  std::unique_ptr<SleepGuard> sleep_;
  ComPtr<IVEXALocUtil> locale_;
  ComPtr<IVEXAImgUtil> imgUtil_;
  bool comInitialized_ = false;
  int callDepth_ = 0;

  bool stopOnBadStill_ = false;
  LONG statusLevel_ = VEXACoreShowStatusAll;
  LONG fileSystem_ = VEXACoreFSDefault;
  bool fileSystemSet_ = false;
  LONG stillDelay_ = 0;
  bool stillDelaySet_ = false;
  bool stillTitleTimeSet_ = false;
  bool tvSystemSet_ = false;
  bool paperSizeSet_ = false;
  bool titleLinesSet_ = false;
  bool audioTrackSet_ = false;
  LONG stillCount_ = 0;
  bool validSeen_ = false;
  bool invalidSeen_ = false;
  bool noStillsYet_ = true;
  std::vector<std::string> invalidStills_;
  std::string tempPath_;
  bool tempDirectorySet_ = false;
  bool cleanTempOnRelease_ = true;
  LONG burnSpeed_ = 2;
  bool burnSpeedSet_ = false;
  std::int16_t testMode_ = kFlagFalse;
  std::int16_t verify_ = kFlagFalse;
  std::int16_t burnSafe_ = kFlagTrue;
  LONG requiredMegabytes_ = 0;
  std::string tempDrive_;
};

HRESULT CreateVEXACore1(REFIID iid, void** ppv);

}  // namespace vexa::core
