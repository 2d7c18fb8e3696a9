// CVEXAVCDEngine: the disc engine object. One object implements the nine
// interfaces of idl/vexasdk.h (and ISupportErrorInfo); it gathers the album,
// premasters the disc image with its PC part and burns or erases a disc on
// the current drive through its image builder (VCDWizard).
//
// Every interface method runs on the client's thread under one frame: the
// image-builder and drive checks where the method needs them, then its last
// result (code, message, method name) and, on failure, COM error
// information whose description is the message.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DiscLibrary.h"
#include "engine/DiscNames.h"
#include "engine/DriveSession.h"
#include "engine/EngineFiles.h"
#include "engine/EngineResult.h"
#include "engine/Storyboard.h"
#include "engine/VCDWizard.h"
#include "idl/VEXAImg.h"
#include "idl/vexasdk.h"
#include "idl/vexaxml.h"
#include "platform/base/WinTypes.h"
#include "platform/com/Com.h"

namespace vexa::engine {

class ComAlbum;
class ComStillTools;
class ThumbnailBrowser2;

class CVEXAVCDEngine : public com::ComObjectRoot,
                       public ISupportErrorInfo,
                       public IVEXAEngine,
                       public IVEXAStoryboardStillsSlideshow1,
                       public IVEXAPremaster,
                       public IVEXABurner,
                       public IVEXABurnProcessTracker,
                       public IVEXADiscInfo,
                       public IVEXADrive,
                       public IVEXADriveMgr,
                       public IVEXAProcessEvents,
                       public IVEXAStillsAhead,
                       public IVEXAImageEstimate {
 public:
  using Interfaces =
      com::InterfaceMap<ISupportErrorInfo, IVEXAEngine, IVEXAStoryboardStillsSlideshow1, IVEXAPremaster,
                        com::Via<IVEXAMediaFormat, IVEXABurner>, IVEXABurner,
                        com::Via<IVEXAProcessTracker, IVEXABurnProcessTracker>, IVEXABurnProcessTracker,
                        IVEXADiscInfo, IVEXADrive, IVEXADriveMgr, IVEXAProcessEvents, IVEXAStillsAhead,
                        IVEXAImageEstimate>;

  CVEXAVCDEngine();
  ~CVEXAVCDEngine();

  HRESULT FinalConstruct();
  void FinalRelease();

  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

  // IVEXAEngine
  HRESULT get_StoryboardStillsSlideshow1(IVEXAStoryboardStillsSlideshow1** pVal) override;
  HRESULT get_Premaster(IVEXAPremaster** pVal) override;
  HRESULT get_Burner(IVEXABurner** pVal) override;
  HRESULT get_DriveMgr(IVEXADriveMgr** pVal) override;
  HRESULT SetTempDirectory(BSTR tempPath) override;
  HRESULT get_EngineState(VEXAEngineState* pVal) override;
  HRESULT GetLastResultCode(VEXAEngineResult* pVal) override;
  HRESULT GetLastResultMsg(BSTR* pVal) override;
  HRESULT GetLastResultMethod(BSTR* pVal) override;
  HRESULT GetSpecVersion(BSTR* pVal) override;

  // IVEXAProcessEvents
  HRESULT AdviseProcessDone(IVEXAProcessDoneSink* sink) override;

  // IVEXAStillsAhead
  HRESULT ExpectStills(const BSTR* files, const LONG* rotations, LONG count) override;
  HRESULT DropExpectedStills() override;

  // IVEXAImageEstimate
  HRESULT EstimateStillsImage(const LONGLONG* photoBytes, LONG count, VARIANT_BOOL withTitle, LONG stillDelayMs,
                              LONGLONG musicBytes, LONGLONG* sectors, LONGLONG* discSectors) override;

  // IVEXAStoryboardStillsSlideshow1
  HRESULT SetStillDelay(LONG newVal) override;
  HRESULT SetStillTitleVisibleTime(LONG newVal) override;
  HRESULT SetTVSystem(VEXATVSystem newVal) override;
  HRESULT SetFileSystemSupport(VEXAFileSystemSupport newVal) override;
  HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) override;
  HRESULT AddAudioTrack(BSTR audioFile, DATE destCtime) override;
  HRESULT AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) override;
  HRESULT AddStill(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime,
                   VEXAPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees, VARIANT_BOOL isTitleStill,
                   BSTR thumbPath, DATE thumbCtime) override;
  HRESULT AddTitleStill() override;
  HRESULT SetPaperSize(VEXAPaperSize paperSize) override;
  HRESULT StartRead(BSTR cdaFile, BSTR wavFile) override;
  HRESULT GetTrackInfo(BSTR cdaFile, LONG* trackSize, double* playTime, LONG* timeToRip) override;

  // IVEXAPremaster
  HRESULT StartPremaster() override;
  HRESULT IsPremasterDone(VARIANT_BOOL* pVal) override;
  HRESULT get_PremasterProcessTracker(IVEXAProcessTracker** pVal) override;
  HRESULT CancelPremaster(VARIANT_BOOL wait) override;

  // IVEXAMediaFormat, IVEXABurner
  HRESULT GetMediaFormat(VEXAMediaFormat* pVal) override;
  HRESULT StartBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) override;
  HRESULT StartErase(VARIANT_BOOL fullErase) override;
  HRESULT CancelBurn(VARIANT_BOOL wait) override;
  HRESULT IsBurnDone(VARIANT_BOOL* pVal) override;
  HRESULT get_BurnProcessTracker(IVEXABurnProcessTracker** pVal) override;
  HRESULT CancelErase(VARIANT_BOOL wait) override;
  HRESULT IsEraseDone(VARIANT_BOOL* pVal) override;
  HRESULT UseDrive(IVEXADrive* pDrive) override;

  // IVEXAProcessTracker, IVEXABurnProcessTracker
  HRESULT CancelProcess(VARIANT_BOOL wait) override;
  HRESULT IsProcessDone(VARIANT_BOOL* pVal) override;
  HRESULT GetLastProcessResultCode(VEXAEngineResult* engineResult) override;
  HRESULT GetLastProcessResultMsg(BSTR* pVal) override;
  HRESULT GetProgressPercent(LONG* pVal) override;
  HRESULT GetElapsedTime(LONG* pVal) override;
  HRESULT GetEstimatedTimeRemaining(LONG* pVal) override;
  HRESULT GetWriteSpeed(LONG* pVal) override;

  // IVEXADiscInfo
  HRESULT get_CopyrightFileIdentifier(BSTR* pVal) override;
  HRESULT put_CopyrightFileIdentifier(BSTR newVal) override;
  HRESULT get_AbstractFileIdentifier(BSTR* pVal) override;
  HRESULT put_AbstractFileIdentifier(BSTR newVal) override;
  HRESULT get_PublisherIdentifier(BSTR* pVal) override;
  HRESULT put_PublisherIdentifier(BSTR newVal) override;
  HRESULT get_BibliographicalFileIdentifier(BSTR* pVal) override;
  HRESULT put_BibliographicalFileIdentifier(BSTR newVal) override;
  HRESULT get_ExpiresDate(BSTR* pVal) override;
  HRESULT put_ExpiresDate(BSTR newVal) override;
  HRESULT get_EffectiveDate(BSTR* pVal) override;
  HRESULT put_EffectiveDate(BSTR newVal) override;

  // IVEXADrive
  HRESULT GetDriveCaps(LONG* pVal) override;
  HRESULT GetInquiry(BSTR* pVal) override;
  HRESULT GetDrivePath(BSTR* pVal) override;
  HRESULT GetDriveNum(LONG* pVal) override;
  HRESULT SetBlocking(VEXADriveBlocking newVal) override;
  HRESULT LockDrive(VARIANT_BOOL* pVal) override;
  HRESULT UnlockDrive(VARIANT_BOOL* pVal) override;
  HRESULT GetDriveStatus(VEXADriveStatus* pVal) override;
  HRESULT Eject(VARIANT_BOOL* pVal) override;
  HRESULT Load(VARIANT_BOOL* pVal) override;
  HRESULT IsDiscBlank(VARIANT_BOOL* pVal) override;
  HRESULT GetDiscCapacity(LONG* pVal) override;
  HRESULT GetDiscType(VEXADiscType* pVal) override;
  HRESULT GetDriveSpeeds(VARIANT* pSpeeds) override;
  HRESULT SetCOMSLog(BSTR filePath) override;
  HRESULT StartCOMSLogging(VARIANT_BOOL append) override;
  HRESULT StopCOMSLogging() override;
  HRESULT GetMaxBurnSpeed(LONG* ret_MaxSpeed) override;

  // IVEXADriveMgr
  HRESULT EnumDrives(LONG nFormat, VARIANT* ret_EnumDrives) override;
  HRESULT GetNextDrive(IVEXADrive* pPrevDrive, LONG nFormat, IVEXADrive** pVal) override;
  HRESULT GetDrive(LONG driveNum, IVEXADrive** pVal) override;

  // ---- Shared routines of the engine (used across its parts, and by tests) ----

  HRESULT CreateGUID(GUID* out);
  // 36 characters, lower case, no braces.
  HRESULT CreateStringGUID(std::string* out);
  static std::string GUIDtoStringGUID(const GUID& g);


  // The record kept in a JPEG's comment segment: identifier and resolution
  // (VEXAXMLStillImageResolution values; 0 and an empty identifier when
  // the picture has none).
  HRESULT GetJPEGCOMMarker(std::string_view jpegFile, std::string* identifier, LONG* resolution);
  HRESULT InsertJPEGCOMMaker(std::string_view jpegFile, std::string* identifier, LONG* resolution,
                             VARIANT_BOOL overwrite, VARIANT_BOOL* wasWritten);
  static HRESULT StoreJPEGRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                                 std::string* error);
  // The record StoreJPEGRecord writes, as the bytes of its comment segment.
  static HRESULT JPEGRecordBytes(const std::string& identifier, LONG resolution, std::string* bytes,
                                 std::string* error);
  // The session identifier of the engine's start ("261210_A").
  std::string SessionId() const {
    return DiscNames::SessionIdFor(startTime_.wYear, startTime_.wMonth, startTime_.wDay);
  }
  bool HasTempSpace() const { return engine::HasTempSpace(folders_.root, freeSpaceLimit_); }
  // The premaster's failure when the work folder's disk has less free than
  // the limit: the folder, what is free and the limit, in the last result.
  HRESULT TempSpaceLimitReached();

  // Stills a disc takes (records 1 to 599), and the longest slide show a
  // disc holds (see Storyboard.h).
  static constexpr std::int32_t kMaxStills = Storyboard::kMaxStills;
  static constexpr std::int64_t kMaxShowSeconds = Storyboard::kMaxShowSeconds;

  // The image builder (null when construction failed), for tests.
  VCDWizard* ImageBuilder() const { return wizard_.get(); }
  const std::string& TempRoot() const { return folders_.root; }
  const std::string& ComsLogPath() const { return comsLogPath_; }
  void SetFreeSpaceLimit(std::uint64_t bytes) { freeSpaceLimit_ = bytes; }

 private:
  // The common frame.
  bool CheckImageBuilder(const char* method);
  bool CheckDriveReady(const char* method);
  HRESULT SetLastResultOK(const char* method);
  HRESULT SetLastResult(const char* method, const std::string& message, VEXAEngineResult code);
  // Records the failure, sets the error information and returns hr.
  HRESULT Fail(const char* method, const std::string& message, VEXAEngineResult code, HRESULT hr = E_FAIL);
  // The one place a plain result becomes what the client sees: success
  // recorded under the method's name, a failure as its kind says (see
  // EngineResult.h). Returns the HRESULT for the client.
  HRESULT Report(const char* method, const Result& result);
  HRESULT SetEngineErrorInfo(const std::string& message, HRESULT hr);
  // The description of the thread's current error information and a line
  // feed, in front of message.
  static std::string PrefixWithErrorInfo(const std::string& message);

  // A drive of the recorder layer made current, the old one deleted once
  // the image builder no longer uses it.
  void MakeCurrentDrive(DriveSession::DrivePtr drive, LONG number);
  HRESULT HandOutDriveView(IVEXADrive** pVal);
  // Premaster steps.
  std::vector<std::uint8_t> VolumeRecord(const std::string& dataPreparer) const;
  HRESULT LayOutMenus();
  // The premaster's image estimated against the blank disc in the drive:
  // too big, and the premaster is refused as the burn would refuse it.
  HRESULT CheckRoomBeforePremaster();
  HRESULT MakePrints();
  HRESULT MakePages();
  HRESULT MakeManifests();
  HRESULT MakeDiscContent();

  HRESULT GetDiscInfoText(const char* property, const std::string& value, BSTR* pVal);
  HRESULT PutDiscInfoText(const char* property, std::string* value, BSTR newVal);

  // A client's disc time: 0.0 is the file's own (none), anything else the
  // date given, else (a date that is no calendar time) the engine's start.
  std::optional<SYSTEMTIME> GivenTime(DATE date) const;

  const base::Clock& Clock() const;
  SYSTEMTIME LocalNow() const;

  EngineEnvironment env_;
  DiscLibrary lib_;
  std::unique_ptr<ThumbnailBrowser2> menu_;
  std::unique_ptr<VCDWizard> wizard_;
  // Told when a worker ends; the lock is held while it is told.
  std::mutex doneSinkMutex_;
  com::ComPtr<IVEXAProcessDoneSink> doneSink_;
  // The current drive and what is asked of drives.
  DriveSession drive_;
  bool comInitialized_ = false;

  // The storyboard (made with the image builder), the album manifest of
  // vexaxml (made with the storyboard's view, closed by the premaster) and
  // the image utility (closed by the premaster), the last two as the
  // storyboard's ports.
  std::unique_ptr<Storyboard> story_;
  std::unique_ptr<ComAlbum> album_;
  std::unique_ptr<ComStillTools> tools_;
  std::string albumIdentifier_;
  // Closes the album and the image utility.
  void CloseAlbum();

  std::uint64_t freeSpaceLimit_ = 200000000;
  VEXAEngineState state_ = VEXAEngineInit;

  // Last result; guarded because the audio-CD read may run on a worker of
  // the client's.
  mutable std::mutex resultMutex_;
  VEXAEngineResult lastCode_ = VEXAEngineResultSuccess;
  std::string lastMessage_;
  std::string lastMethod_;

  bool tempReady_ = false;
  bool premasterStarted_ = false;

  GUID engineGuid_{};
  SYSTEMTIME startTime_{};
  std::string sessionId_;

  // The work directory and its folders.
  WorkFolders folders_;
  std::vector<std::string> oldTempRoots_;  // earlier work directories, removed at release

  // IVEXADiscInfo texts.
  std::string copyright_, abstract_, publisher_, bibliographic_, expires_, effective_;

  std::string comsLogPath_;

  friend class EngineTestAccess;
  friend class StoryboardAccess;
};

HRESULT CreateVEXAVCDEngine(REFIID iid, void** ppv);

// A plain code as the interface's result (the same numbers).
inline VEXAEngineResult ToResult(EngineCode code) { return static_cast<VEXAEngineResult>(code); }

}  // namespace vexa::engine
