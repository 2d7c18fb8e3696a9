// The disc engine vexasdk: the class VEXAVCDEngine and its nine interfaces (and
// IVEXAProcessEvents, through which a client waits for a worker's end,
// IVEXAStillsAhead and IVEXAImageEstimate), shared by the engine and its
// client (the burn orchestrator).
//
// One object implements every interface below (and ISupportErrorInfo), so
// each get_* accessor that returns one of them returns the same object.
// Interfaces derive from IUnknown only (no IDispatch); methods are listed in
// slot order. IVEXABurner extends IVEXAMediaFormat and
// IVEXABurnProcessTracker extends IVEXAProcessTracker: their first slots
// are those of the base.
//
// Every method answers S_OK on success; on failure a failing HRESULT (E_FAIL
// unless noted) with COM error information whose description is the
// engine's message, and, for most methods, a last result readable through
// GetLastResultCode/GetLastResultMsg/GetLastResultMethod.
// VARIANT_BOOL answers are VARIANT_TRUE (-1) or VARIANT_FALSE (0); strings
// are BSTRs the caller frees; interface out values carry one added reference.
#pragma once

#include "platform/com/Com.h"

// ---- Enumerations (32-bit, values as stored) -------------------------------------

enum VEXATVSystem : LONG {
  VEXATVNTSC = 0,
  VEXATVFILM = 1,
  VEXATVPAL = 2,
  VEXATVSECAM = 3,
};

enum VEXAFileSystemSupport : LONG {
  VEXAFSISO9660 = 1,
  VEXAFSJOLIET = 64,
  VEXAFSDefault = 65,  // ISO 9660 and Joliet
  VEXAFSUDF15 = 128,   // refused
};

enum VEXAPictureSizingBehaviour : LONG {
  VEXAResizePicture = 0,
  VEXACropPicture = 1,
};

enum VEXAPaperSize : LONG {
  VEXAPaperSizeLetter = 0,
  VEXAPaperSizeA4 = 1,
};

enum VEXAMediaFormat : LONG {
  VEXAMediaCDDA = 1,
  VEXAMediXA = 2,
  VEXAMediaCDi = 4,
  VEXAMediaCDRRW = 8,
  VEXAMediaMultisession = 16,
  VEXAMediaCDiBridge = 32,
  VEXAMediaPhotoCD = 64,
  VEXAMediaVCD = 128,
  VEXAMediaCDExtra = 256,
};

// Drive capability bits (the recorder layer's capability word, same values).
enum VEXADriveCaps : LONG {
  VEXACapCDDA = 1,
  VEXACapCDR = 64,
  VEXACapCDRW = 128,
  VEXACapWriteTAO = 256,
  VEXACapBurnSafe = 4096,
  VEXACapLogical = 8192,
  VEXACapISRC = 32768,
  VEXACapUPC = 65536,
};

enum VEXADriveBlocking : LONG {
  VEXADriveBlockingNone = 0,
  VEXADriveBlockingAll = 1,
  VEXADriveBlockingAutoInsert = 2,
};

enum VEXADriveStatus : LONG {
  VEXADriveStatusOK = 0,
  VEXADriveStatusFailed = 1,
  VEXADriveStatusBusy = 2,
  VEXADriveStatusLoading = 3,
  VEXADriveStatusFormatting = 4,
  VEXADriveStatusNotReady = 5,
  VEXADriveStatusNotSupported = 6,
};

enum VEXADiscType : LONG {
  VEXADiscTypeROM = 1,
  VEXADiscTypeR = 2,
  VEXADiscTypeRW = 3,
  VEXADiscTypeNotCD = 4,  // a disc that is no CD (a DVD): it cannot be written
};

enum VEXAEngineState : LONG {
  VEXAEngineInit = 1,
  VEXAEngineSpecifySources = 16,
  VEXAEnginePreparingSources = 256,
  VEXAEnginePremaster = 4096,
  VEXAEngineMaster = 65536,
  VEXAEngineCleanup = 1048576,
};

// The code of the engine's last result, and of a worker's outcome as the
// process trackers report it (worker state 0 -> 0, 1..7 -> 1001..1007,
// any other -> 1020).
enum VEXAEngineResult : LONG {
  VEXAEngineResultSuccess = 0,
  VEXAEngineResultPending = 1,
  VEXAEngineResultObjectCreateFail = 100,
  VEXAEngineResultGUIDCreationFail = 101,
  VEXAEngineResultParameterOutOfBounds = 102,
  VEXAEngineResultParameterInvalid = 103,
  VEXAEngineResultInvalidFileFormat = 104,
  VEXAEngineResultTimeConversionFail = 105,
  VEXAEngineResultNamingFail = 106,
  VEXAEngineResultTempSpaceLimitReached = 107,
  VEXAEngineResultGeneralIOFail = 108,
  VEXAEngineResultTemporaryDirFail = 200,
  VEXAEngineResultStillDelayFail = 201,
  VEXAEngineResultAddAudioTrackFail = 202,
  VEXAEngineResultAddFileFail = 203,
  VEXAEngineResultAddFilesFail = 204,
  VEXAEngineResultAddAutorunFail = 205,
  VEXAEngineResultStillImageProcessingFail = 206,
  VEXAEngineResultEnumConversionFail = 207,
  // StartBurn: the disc's free space is smaller than the image; nothing was
  // written (the message says how much is needed and how much is free).
  VEXAEngineResultDiscTooSmall = 208,
  VEXAEngineResultUnsupportedDiscFS = 500,
  VEXAEngineResultBrellSuccess = 1000,
  VEXAEngineResultBrellPending = 1001,
  VEXAEngineResultBrellReadFail = 1002,
  VEXAEngineResultBrellWriteFail = 1003,
  VEXAEngineResultBrellCancel = 1004,
  VEXAEngineResultBrellException = 1005,
  VEXAEngineResultBrellOtherFail = 1006,
  VEXAEngineResultBrellDLLError = 1007,
  VEXAEngineResultBrellUnknown = 1020,
  VEXAEngineResultBrellAddFileWFail = 1100,
  VEXAEngineResultBrellAddAudioFileWFail = 1101,
  VEXAEngineResultBrellAddHardLinkWFail = 1102,
  VEXAEngineResultBrellAddStillWFail = 1103,
  VEXAEngineResultSubmoduleSetTempDirectoryFail = 2000,
  VEXAEngineResultSubmoduleSetStillDelayFail = 2001,
  VEXAEngineResultSubmoduleSetTitleLinesFail = 2002,
  VEXAEngineResultSubmoduleAddAudioTrackFail = 2003,
  VEXAEngineResultSubmoduleAddFileFail = 2004,
  VEXAEngineResultSubmoduleAddStillFail = 2005,
  VEXAEngineResultSubmoduleAddTitleStillFail = 2006,
  VEXAEngineResultSubmoduleStartPremasterFail = 2007,
  VEXAEngineResultSubmoduleCleanFail = 2008,
  VEXAEngineResultSubmoduleSetStillTitleDelayFail = 2009,
  VEXAEngineResultSubmoduleRipAudioFail = 2010,
  VEXAEngineResultSubmoduleMethodFail = 2050,
  VEXAEngineResultHelpermoduleMethodFail = 3000,
};

// ---- Interfaces --------------------------------------------------------------------

struct IVEXAStoryboardStillsSlideshow1;
struct IVEXAPremaster;
struct IVEXABurner;
struct IVEXADriveMgr;
struct IVEXADrive;
struct IVEXAProcessTracker;
struct IVEXABurnProcessTracker;

// The root interface: the other views, the work directory, the engine's
// state and its last result.
struct IVEXAEngine : IUnknown {
  // Makes the album objects; called once, before any storyboard method.
  virtual HRESULT get_StoryboardStillsSlideshow1(IVEXAStoryboardStillsSlideshow1** pVal) = 0;
  virtual HRESULT get_Premaster(IVEXAPremaster** pVal) = 0;
  virtual HRESULT get_Burner(IVEXABurner** pVal) = 0;
  virtual HRESULT get_DriveMgr(IVEXADriveMgr** pVal) = 0;
  // Makes a fresh work directory (prefix "zzz") inside tempPath.
  virtual HRESULT SetTempDirectory(BSTR tempPath) = 0;
  virtual HRESULT get_EngineState(VEXAEngineState* pVal) = 0;
  virtual HRESULT GetLastResultCode(VEXAEngineResult* pVal) = 0;
  virtual HRESULT GetLastResultMsg(BSTR* pVal) = 0;
  virtual HRESULT GetLastResultMethod(BSTR* pVal) = 0;
  // "1.6".
  virtual HRESULT GetSpecVersion(BSTR* pVal) = 0;

 protected:
  ~IVEXAEngine() = default;
};
VEXA_DEFINE_IID(IVEXAEngine, "{B8ACABBE-25E1-4E54-A72B-B361DB87CCE1}")

// Album building: timing (milliseconds), TV system, file systems, title
// lines, paper size, music, extra files and stills; and reading audio-CD
// tracks to WAV files.
struct IVEXAStoryboardStillsSlideshow1 : IUnknown {
  virtual HRESULT SetStillDelay(LONG newVal) = 0;             // ms, at least 2000
  virtual HRESULT SetStillTitleVisibleTime(LONG newVal) = 0;  // ms, at most the delay
  virtual HRESULT SetTVSystem(VEXATVSystem newVal) = 0;
  virtual HRESULT SetFileSystemSupport(VEXAFileSystemSupport newVal) = 0;
  virtual HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) = 0;
  // A destCtime of 0.0 means the file's own modification time.
  virtual HRESULT AddAudioTrack(BSTR audioFile, DATE destCtime) = 0;
  virtual HRESULT AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) = 0;
  // rotateDegrees 0..360; thumbPath and thumbCtime are accepted and not used.
  virtual HRESULT AddStill(BSTR stillFile, BSTR srcPath, BSTR stillTitle, DATE destCtime,
                           VEXAPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                           VARIANT_BOOL isTitleStill, BSTR thumbPath, DATE thumbCtime) = 0;
  // Draws the title lines on a still and adds it as the cropped title still.
  virtual HRESULT AddTitleStill() = 0;
  virtual HRESULT SetPaperSize(VEXAPaperSize paperSize) = 0;
  // Reads the audio-CD track named by cdaFile (an audio-CD track name, see
  // the end of this header) into a 44.1 kHz 16-bit stereo WAV file.
  virtual HRESULT StartRead(BSTR cdaFile, BSTR wavFile) = 0;
  // trackSize: bytes of the WAV file; playTime: seconds; timeToRip: seconds.
  virtual HRESULT GetTrackInfo(BSTR cdaFile, LONG* trackSize, double* playTime, LONG* timeToRip) = 0;

 protected:
  ~IVEXAStoryboardStillsSlideshow1() = default;
};
VEXA_DEFINE_IID(IVEXAStoryboardStillsSlideshow1, "{009B5F27-B8B7-4161-B3D8-CCEC79B511FF}")

// Progress and result of the worker started last (premaster or burn).
struct IVEXAProcessTracker : IUnknown {
  virtual HRESULT CancelProcess(VARIANT_BOOL wait) = 0;  // E_NOTIMPL
  virtual HRESULT IsProcessDone(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT GetLastProcessResultCode(VEXAEngineResult* engineResult) = 0;
  virtual HRESULT GetLastProcessResultMsg(BSTR* pVal) = 0;
  virtual HRESULT GetProgressPercent(LONG* pVal) = 0;          // 0..100
  virtual HRESULT GetElapsedTime(LONG* pVal) = 0;              // seconds
  virtual HRESULT GetEstimatedTimeRemaining(LONG* pVal) = 0;   // seconds

 protected:
  ~IVEXAProcessTracker() = default;
};
VEXA_DEFINE_IID(IVEXAProcessTracker, "{1D93F92B-1C38-4B14-92CE-5901B2FF6205}")

struct IVEXABurnProcessTracker : IVEXAProcessTracker {
  virtual HRESULT GetWriteSpeed(LONG* pVal) = 0;  // 8 before the first estimate

 protected:
  ~IVEXABurnProcessTracker() = default;
};
VEXA_DEFINE_IID(IVEXABurnProcessTracker, "{CD79B1BD-18D5-4345-8EBD-C562720D0158}")

struct IVEXAPremaster : IUnknown {
  // Makes the menus, prints, pages and manifests, then starts the premaster
  // worker and returns; code 107 when the work directory's volume is short
  // of free space.
  virtual HRESULT StartPremaster() = 0;
  virtual HRESULT IsPremasterDone(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT get_PremasterProcessTracker(IVEXAProcessTracker** pVal) = 0;
  virtual HRESULT CancelPremaster(VARIANT_BOOL wait) = 0;

 protected:
  ~IVEXAPremaster() = default;
};
VEXA_DEFINE_IID(IVEXAPremaster, "{1C93E0FA-3D3B-472C-BB8E-1D135D4C7982}")

struct IVEXAMediaFormat : IUnknown {
  virtual HRESULT GetMediaFormat(VEXAMediaFormat* pVal) = 0;  // VEXAMediaVCD

 protected:
  ~IVEXAMediaFormat() = default;
};
VEXA_DEFINE_IID(IVEXAMediaFormat, "{D3BA4A26-196D-4B8A-966C-9C5554988902}")

// Burning the premastered image and erasing a rewritable disc on the
// current drive.
struct IVEXABurner : IVEXAMediaFormat {
  // maxSpeed 0 or less, or one the drive refuses: the drive's highest speed.
  virtual HRESULT StartBurn(LONG maxSpeed, VARIANT_BOOL testMode, VARIANT_BOOL verify,
                            VARIANT_BOOL burnSafe) = 0;
  // Starts blanking and returns; poll IsEraseDone.
  virtual HRESULT StartErase(VARIANT_BOOL fullErase) = 0;
  virtual HRESULT CancelBurn(VARIANT_BOOL wait) = 0;
  virtual HRESULT IsBurnDone(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT get_BurnProcessTracker(IVEXABurnProcessTracker** pVal) = 0;
  virtual HRESULT CancelErase(VARIANT_BOOL wait) = 0;  // E_NOTIMPL
  virtual HRESULT IsEraseDone(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT UseDrive(IVEXADrive* pDrive) = 0;    // E_NOTIMPL

 protected:
  ~IVEXABurner() = default;
};
VEXA_DEFINE_IID(IVEXABurner, "{D4B458BF-B4D7-462D-8B05-657D5AE629CC}")

// Optional identifier texts of the disc's volume descriptor.
struct IVEXADiscInfo : IUnknown {
  virtual HRESULT get_CopyrightFileIdentifier(BSTR* pVal) = 0;
  virtual HRESULT put_CopyrightFileIdentifier(BSTR newVal) = 0;
  virtual HRESULT get_AbstractFileIdentifier(BSTR* pVal) = 0;
  virtual HRESULT put_AbstractFileIdentifier(BSTR newVal) = 0;
  virtual HRESULT get_PublisherIdentifier(BSTR* pVal) = 0;
  virtual HRESULT put_PublisherIdentifier(BSTR newVal) = 0;
  virtual HRESULT get_BibliographicalFileIdentifier(BSTR* pVal) = 0;
  virtual HRESULT put_BibliographicalFileIdentifier(BSTR newVal) = 0;
  virtual HRESULT get_ExpiresDate(BSTR* pVal) = 0;
  virtual HRESULT put_ExpiresDate(BSTR newVal) = 0;
  virtual HRESULT get_EffectiveDate(BSTR* pVal) = 0;
  virtual HRESULT put_EffectiveDate(BSTR newVal) = 0;

 protected:
  ~IVEXADiscInfo() = default;
};
VEXA_DEFINE_IID(IVEXADiscInfo, "{60A1F46E-A365-4D15-91E9-F09CAA8FE019}")

// The engine's current CD writer.
struct IVEXADrive : IUnknown {
  virtual HRESULT GetDriveCaps(LONG* pVal) = 0;  // VEXADriveCaps bits
  virtual HRESULT GetInquiry(BSTR* pVal) = 0;    // vendor, product and revision text
  // The drive's path in the recorder layer: its device node ("/dev/sr0"),
  // or the folder of a simulated recorder. Files on the drive's disc, such
  // as audio-CD tracks, are named below it.
  virtual HRESULT GetDrivePath(BSTR* pVal) = 0;
  virtual HRESULT GetDriveNum(LONG* pVal) = 0;
  virtual HRESULT SetBlocking(VEXADriveBlocking newVal) = 0;
  virtual HRESULT LockDrive(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT UnlockDrive(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT GetDriveStatus(VEXADriveStatus* pVal) = 0;
  virtual HRESULT Eject(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT Load(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT IsDiscBlank(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT GetDiscCapacity(LONG* pVal) = 0;
  virtual HRESULT GetDiscType(VEXADiscType* pVal) = 0;
  // VT_ARRAY | VT_I4: the write speeds the drive takes, ascending.
  virtual HRESULT GetDriveSpeeds(VARIANT* pSpeeds) = 0;
  virtual HRESULT SetCOMSLog(BSTR filePath) = 0;
  virtual HRESULT StartCOMSLogging(VARIANT_BOOL append) = 0;
  virtual HRESULT StopCOMSLogging() = 0;
  virtual HRESULT GetMaxBurnSpeed(LONG* ret_MaxSpeed) = 0;

 protected:
  ~IVEXADrive() = default;
};
VEXA_DEFINE_IID(IVEXADrive, "{F6064FC9-4B56-47EF-9911-63CBDFAF7301}")

// Chooses the current drive. The IVEXADrive handed out is the engine's own
// view of its current drive, the same pointer for every drive.
struct IVEXADriveMgr : IUnknown {
  virtual HRESULT EnumDrives(LONG nFormat, VARIANT* ret_EnumDrives) = 0;  // E_NOTIMPL
  // The next writer after pPrevDrive (the first one when null); S_OK with a
  // null *pVal when there is none.
  virtual HRESULT GetNextDrive(IVEXADrive* pPrevDrive, LONG nFormat, IVEXADrive** pVal) = 0;
  virtual HRESULT GetDrive(LONG driveNum, IVEXADrive** pVal) = 0;

 protected:
  ~IVEXADriveMgr() = default;
};
VEXA_DEFINE_IID(IVEXADriveMgr, "{7C21230A-CAB5-419A-8015-98CA1C219343}")

// Told when the premaster or the burn started last has ended, once its
// result can be read. It runs on the engine's worker thread, so it only notes
// the end and returns.
struct IVEXAProcessDoneSink : IUnknown {
  virtual HRESULT OnProcessDone() = 0;

 protected:
  ~IVEXAProcessDoneSink() = default;
};
VEXA_DEFINE_IID(IVEXAProcessDoneSink, "{3D1F4BB7-59B9-48FB-AD29-E61237A5360A}")

// Offered by the engine object beside the interfaces above, so that a client
// can wait for a worker's end instead of polling for it: the engine keeps one
// sink (with a reference) and tells it at the end of every premaster and
// burn. A null sink removes it; once AdviseProcessDone(null) has returned, no
// call of the old sink is under way.
struct IVEXAProcessEvents : IUnknown {
  virtual HRESULT AdviseProcessDone(IVEXAProcessDoneSink* sink) = 0;

 protected:
  ~IVEXAProcessEvents() = default;
};
VEXA_DEFINE_IID(IVEXAProcessEvents, "{8A9AF217-1FAA-4749-AD36-DD040071148F}")

// Offered by the engine object to callers in the same process: the photos a
// caller is about to add with AddStill, in its order, so that the engine
// makes their files (album picture, thumbnail, web copy, the original's
// copy) ahead on a few workers while the caller adds them. Each AddStill
// still adds and reports its own photo as ever; a photo added but not named
// here is made by AddStill itself.
struct IVEXAStillsAhead : IUnknown {
  // files[i] as AddStill's stillFile, rotations[i] as its rotateDegrees.
  // Replaces an earlier list.
  virtual HRESULT ExpectStills(const BSTR* files, const LONG* rotations, LONG count) = 0;
  // None of the photos named will be added any more (a cancel, a stop): no
  // more are begun, those under way are waited for, what was made and not
  // added is removed.
  virtual HRESULT DropExpectedStills() = 0;

 protected:
  ~IVEXAStillsAhead() = default;
};
VEXA_DEFINE_IID(IVEXAStillsAhead, "{274C4662-5F03-4222-A741-BE005A120FED}")

// Offered by the engine object: the disc image a slide show of photos would
// make, estimated before any of it is made, so a client can learn whether
// the engine will find room for it without adding the photos. It is the
// estimate the premaster checks the disc's room with, made from what is
// known beforehand: what the engine makes from each photo is counted at the
// least it takes, so it never says a set does not fit that the premaster's
// own estimate lets through.
struct IVEXAImageEstimate : IUnknown {
  // photoBytes[i]: the size of the i-th photo's file (count photos);
  // withTitle: a title picture too; stillDelayMs: how long each picture is
  // shown; musicBytes: the music file's size (0 without one). *sectors: the
  // image from the first track's start to the end of the burn;
  // *discSectors: the room of the largest disc the engine writes.
  virtual HRESULT EstimateStillsImage(const LONGLONG* photoBytes, LONG count, VARIANT_BOOL withTitle,
                                      LONG stillDelayMs, LONGLONG musicBytes, LONGLONG* sectors,
                                      LONGLONG* discSectors) = 0;

 protected:
  ~IVEXAImageEstimate() = default;
};
VEXA_DEFINE_IID(IVEXAImageEstimate, "{20AFD4E7-661C-4263-9918-1DC742825639}")

// ---- Class, type library and names ------------------------------------------------------

VEXA_DEFINE_CLSID(VEXAVCDEngine, "{4D7B246B-4A80-41D1-9EB6-E5B30C4F8AD2}")
inline constexpr GUID LIBID_VEXASDKLib = vexa::com::Guid("{F06055BF-7F64-49A9-BDEB-4AD8D80081A7}");

inline constexpr char16_t kVEXAEngineProgId[] = u"Vexasdk.VEXAEngine.1";
inline constexpr char16_t kVEXAEngineVersionIndependentProgId[] = u"Vexasdk.VEXAEngine";

// The interface version GetSpecVersion answers.
inline constexpr char16_t kVEXAEngineSpecVersion[] = u"1.6";

// The most stills one disc takes (AddStill refuses the next one). Every
// album the engine takes also fits the print layouts: their image limit
// (MAX_IMAGES) is shipped no lower than this.
inline constexpr LONG kVEXAEngineMaxStills = 599;

// Audio-CD tracks: the drive's path (IVEXADrive::GetDrivePath), "/Track",
// the track number in two decimal digits and ".cda", for example
// "/dev/sr0/Track07.cda". The track number is read from the last two
// characters of the name before ".cda"; the drive is the one whose path is
// the folder part of the name. Such a name is not a file of the file
// system: whether the track is on the disc in the drive is asked with
// GetTrackInfo (S_OK when it is).
inline constexpr char16_t kVEXACdaTrackPrefix[] = u"Track";
inline constexpr char16_t kVEXACdaTrackExtension[] = u".cda";
