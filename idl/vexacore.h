// The burn orchestrator vexacore: the class VEXACore1 and its dual interface
// IVEXACore1, shared by the orchestrator and its clients (the vexa program
// and the creation wizard); and the locale utility VEXALocUtil that the
// orchestrator and the wizard take their regional defaults from.
//
// IVEXACore1's methods follow the IDispatch slots in the order listed
// (DISPIDs 1 to 29 in the same order). Every method answers S_OK, or E_FAIL
// on a failure or a cancellation (E_NOTIMPL for SetLogFile); after E_FAIL,
// GetErrorCode tells which (VEXACoreCancelled is a user's cancel, any other
// code a failure) and the thread's error information holds the failure
// texts, one per line, unless SetLoggingLevel(VARIANT_TRUE) sent them to the
// log. Strings are BSTRs the caller frees; times are DATEs; delays are
// seconds. Where the object tests a flag itself (SetStatusMode,
// SetLoggingLevel, doClean) only VARIANT_TRUE (-1) counts as true.
#pragma once

#include "platform/com/Com.h"

// ---- Enumerations (32-bit) ------------------------------------------------------

// The result code GetErrorCode answers. Codes noted "never set" are kept so
// clients compile against the full list; the orchestrator does not produce
// them.
enum VEXACoreErrorCode : LONG {
  VEXACoreSuccess = 0,
  VEXACoreFailure = 1,
  VEXACoreNoCDWriter = 2,
  VEXACoreInvalidStills = 3,             // some pictures rejected, some accepted
  VEXACoreNoValidStills = 4,             // every picture rejected
  VEXACoreNoStills = 5,                  // no picture given
  VEXACoreStillDelayTooSmall = 6,
  VEXACoreStillDelayNotSet = 7,
  VEXACoreStillDelayDefault = 8,         // never set
  VEXACoreStillTitleVisibleTooLarge = 9,
  VEXACoreStillTitleVisibleTooSmall = 10,
  VEXACoreBurnCancelled = 11,
  VEXACoreFileSystemSupportNotSet = 12,  // never set
  VEXACoreCannotAccessDrive = 13,        // never set
  VEXACoreNoDiscInDrive = 14,            // never set
  VEXACoreCannotReadDisc = 15,           // never set
  VEXACoreDiscIsNotBlank = 16,
  VEXACoreCannotCreateVideoCD = 17,
  VEXACoreCannotBurnVideoCD = 18,
  VEXACoreBurnFailure = 19,
  VEXACoreDuplicateDisc = 20,            // never set
  VEXACoreCancelled = 21,
  VEXACoreInvalidDirectory = 22,         // never set
  VEXACoreInvalidFile = 23,
  VEXACoreInsufficientTempSpace = 24,
  VEXACoreNoTitleLines = 25,
  VEXACoreNoTitleStill = 26,
  VEXACoreEmptyCDDATrack = 27,           // never set
  VEXACoreInvalidBurnSpeed = 28,
  // The blank disc in the writer has less free space than the disc image;
  // it was left as it was (nothing written).
  VEXACoreDiscTooSmall = 29,
  // More pictures than a disc holds (the title picture counted); the
  // pictures of the call were refused before any was added.
  VEXACoreTooManyStills = 30,
};

// Argument of Init: what the user sees. Any other value behaves as
// VEXACoreShowStatusAll.
//   level  status dialog  problem messages  stop at the first bad picture
//   0      no             no                yes
//   1      yes            no                no
//   2      yes            no                yes
//   3      yes            yes               no
enum VEXACoreShowStatusLevel : LONG {
  VEXACoreShowStatusNothing = 0,
  VEXACoreShowStatusNecessaryErrorsOnly = 1,
  VEXACoreShowStatusNoErrors = 2,
  VEXACoreShowStatusAll = 3,
};

enum VEXACoreFileSystemSupport : LONG {
  VEXACoreFSISO9660 = 0,
  VEXACoreFSJOLIET = 64,
  VEXACoreFSDefault = 65,  // ISO 9660 and Joliet
  VEXACoreFSUDF15 = 128,
};

enum VEXACoreTVSystem : LONG {
  VEXACoreTVNTSC = 0,
  VEXACoreTVFILM = 1,
  VEXACoreTVPAL = 2,
  VEXACoreTVSECAM = 3,
  VEXACoreTVINVALID = 4,
};

enum VEXACorePaperSize : LONG {
  VEXACorePaperSizeLetter = 0,
  VEXACorePaperSizeA4 = 1,
  VEXACorePaperSizeInvalid = 2,
};

enum VEXACorePictureSizingBehaviour : LONG {
  VEXACoreResizePicture = 0,
  VEXACoreCropPicture = 1,
};

enum VEXACoreAlbumFormat : LONG {
  VEXACoreCueXML = 0,  // the Marwick dialect
  VEXACoreXML = 1,     // the system's own album format
};

// ---- IVEXACore1 -----------------------------------------------------------------------

struct IVEXACore1 : IDispatch {
  // [1] The music of the disc (one track; .mp3, .wma, .wav or an audio-CD
  // track .cda). Both callers pass the same path twice.
  virtual HRESULT AddAudioTrack(BSTR srcAudioFile, BSTR originalAudioFile, DATE creationTime) = 0;
  // [2] One picture. Fails with VEXACoreInvalidFile for a file it rejects.
  virtual HRESULT AddStill(BSTR stillFile, BSTR srcStillPath, BSTR stillTitle, DATE creationTime,
                           VEXACorePictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                           VARIANT_BOOL isTitleStill) = 0;
  // [3]
  virtual HRESULT SetFileSystemSupport(VEXACoreFileSystemSupport fileSystem) = 0;
  // [4] Seconds each picture is shown, at least 2.
  virtual HRESULT SetStillDelay(LONG delay) = 0;
  // [5] Seconds a picture's title stays visible, 0 to the still delay.
  virtual HRESULT SetStillTitleVisibleTime(LONG delay) = 0;
  // [6]
  virtual HRESULT SetTVSystem(VEXACoreTVSystem tvSystem) = 0;
  // [7] The three lines of the title picture; empty strings for lines not
  // given, at least one non-empty.
  virtual HRESULT SetTitleLines(BSTR title1, BSTR title2, BSTR title3) = 0;
  // [8] Builds and burns the disc (and further copies on request).
  virtual HRESULT CreateVCD(VARIANT_BOOL testMode, VARIANT_BOOL verify, VARIANT_BOOL burnSafe) = 0;
  // [9]
  virtual HRESULT GetErrorCode(VEXACoreErrorCode* errorCode) = 0;
  // [10] A file of picture paths in UTF-16LE, each ended by a 16-bit zero.
  virtual HRESULT AddImageListFile(BSTR imageListFilePath) = 0;
  // [11] Every file of the directory (not its sub-directories).
  virtual HRESULT AddImageDirectory(BSTR imagedirectoryPath) = 0;
  // [12]
  virtual HRESULT SetStatusMode(VARIANT_BOOL showStatusDlg) = 0;
  // [13] E_NOTIMPL.
  virtual HRESULT SetLogFile(BSTR logFilePath, LONG maxlogSize) = 0;
  // [14] The first call after creation (only SetLoggingLevel and
  // SetStatusMode may come before it). tempDirectory empty: a folder
  // "vexaCoreTemp" in the system's temporary folder; otherwise it ends with
  // a separator and "vexaCoreTemp" is made inside it. Fails with
  // VEXACoreNoCDWriter when no CD writer is present.
  virtual HRESULT Init(VEXACoreShowStatusLevel statusLevel, BSTR tempDirectory, VARIANT_BOOL doClean) = 0;
  // [15] VT_ARRAY | VT_I4: the current writer's speeds as the engine reports
  // them (the first entry the slowest).
  virtual HRESULT GetDriveSpeeds(VARIANT* driveSpeeds) = 0;
  // [16]
  virtual HRESULT GetMaxBurnSpeed(LONG* maxSpeed) = 0;
  // [17]
  virtual HRESULT AddAlbumFile(BSTR albumFilePath, VEXACoreAlbumFormat albumFormat) = 0;
  // [18] VARIANT_TRUE: failure texts go to the log at once instead of the
  // error information. Always S_OK.
  virtual HRESULT SetLoggingLevel(VARIANT_BOOL logAll) = 0;
  // [19] Above 0.
  virtual HRESULT SetBurnSpeed(LONG burnSpeed) = 0;
  // [20] Rips an audio-CD track to a WAV file.
  virtual HRESULT CDDAToWav(BSTR CDDATrack, BSTR outWAVFile) = 0;
  // [21] The engine's figures for an audio-CD track: the WAV size in bytes,
  // the play time and the time to rip in seconds.
  virtual HRESULT GetTrackInfo(BSTR CDDATrack, LONG* pTrackSize, double* pPlayTime, LONG* pTimeToRip) = 0;
  // [22]
  virtual HRESULT SetPaperSize(VEXACorePaperSize paperSize) = 0;
  // [23]
  virtual HRESULT SetTempDirectory(BSTR tempPath, VARIANT_BOOL doClean) = 0;
  // [24] Builds the last album again and burns it (the argument is not used).
  virtual HRESULT MakeDuplicate(VARIANT_BOOL showStatusDlg) = 0;
  // [25] An extra file for the disc.
  virtual HRESULT AddFile(BSTR sourceFile, BSTR dest8dot3Path, BSTR destJolietPath, DATE destCtime) = 0;
  // [26] Line 1 today's date in the short form, line 2 the product name.
  virtual HRESULT SetDefaultTitle() = 0;
  // [27] Moves to the next CD writer; drivePresent VARIANT_FALSE when none.
  virtual HRESULT GetNextDrive(VARIANT_BOOL showCDWriterError, VARIANT_BOOL* drivePresent) = 0;
  // [28] The current writer's drive path.
  virtual HRESULT GetDrivePath(BSTR* drivePath) = 0;
  // [29] The current writer's description (vendor, product, revision).
  virtual HRESULT GetInquiry(BSTR* driveDescription) = 0;

 protected:
  ~IVEXACore1() = default;
};
VEXA_DEFINE_IID(IVEXACore1, "{E6524D51-079F-43F4-87A5-993818026B18}")
VEXA_DEFINE_CLSID(VEXACore1, "{81740C9A-5C00-42C6-B529-02A19290D059}")
inline constexpr GUID LIBID_VEXACORELib = vexa::com::Guid("{8A8D23FF-5549-4C67-A636-9E68F4A21CF0}");

inline constexpr char16_t kVEXACore1ProgId[] = u"Vexacore.VEXACore1.1";
inline constexpr char16_t kVEXACore1VersionIndependentProgId[] = u"Vexacore.VEXACore1";

// DISPIDs of IVEXACore1.
enum : DISPID {
  DISPID_VEXACore1_AddAudioTrack = 1,
  DISPID_VEXACore1_AddStill = 2,
  DISPID_VEXACore1_SetFileSystemSupport = 3,
  DISPID_VEXACore1_SetStillDelay = 4,
  DISPID_VEXACore1_SetStillTitleVisibleTime = 5,
  DISPID_VEXACore1_SetTVSystem = 6,
  DISPID_VEXACore1_SetTitleLines = 7,
  DISPID_VEXACore1_CreateVCD = 8,
  DISPID_VEXACore1_GetErrorCode = 9,
  DISPID_VEXACore1_AddImageListFile = 10,
  DISPID_VEXACore1_AddImageDirectory = 11,
  DISPID_VEXACore1_SetStatusMode = 12,
  DISPID_VEXACore1_SetLogFile = 13,
  DISPID_VEXACore1_Init = 14,
  DISPID_VEXACore1_GetDriveSpeeds = 15,
  DISPID_VEXACore1_GetMaxBurnSpeed = 16,
  DISPID_VEXACore1_AddAlbumFile = 17,
  DISPID_VEXACore1_SetLoggingLevel = 18,
  DISPID_VEXACore1_SetBurnSpeed = 19,
  DISPID_VEXACore1_CDDAToWav = 20,
  DISPID_VEXACore1_GetTrackInfo = 21,
  DISPID_VEXACore1_SetPaperSize = 22,
  DISPID_VEXACore1_SetTempDirectory = 23,
  DISPID_VEXACore1_MakeDuplicate = 24,
  DISPID_VEXACore1_AddFile = 25,
  DISPID_VEXACore1_SetDefaultTitle = 26,
  DISPID_VEXACore1_GetNextDrive = 27,
  DISPID_VEXACore1_GetDrivePath = 28,
  DISPID_VEXACore1_GetInquiry = 29,
};

// ---- IVEXACoreImageEstimate ---------------------------------------------------------------

// Offered by the VEXACore1 object beside IVEXACore1 (through QueryInterface):
// the disc engine's estimate of the image a disc of these pictures would
// make (vexasdk's IVEXAImageEstimate), asked before any of them is added, so
// a client can tell whether the engine will find room for the disc. Needs
// Init first (the engine); changes nothing of the object's disc.
struct IVEXACoreImageEstimate : IUnknown {
  // stillFiles: count picture paths (a file that is not there counts
  // nothing); titleStill: a title picture too; stillDelay: seconds each
  // picture is shown; musicFile: the music ("" or null: none; an audio-CD
  // track counts nothing). *sectors: the image; *discSectors: the room of
  // the largest disc the engine writes.
  virtual HRESULT EstimateImage(const BSTR* stillFiles, LONG count, VARIANT_BOOL titleStill, LONG stillDelay,
                                BSTR musicFile, LONGLONG* sectors, LONGLONG* discSectors) = 0;

 protected:
  ~IVEXACoreImageEstimate() = default;
};
VEXA_DEFINE_IID(IVEXACoreImageEstimate, "{89E21273-550E-48C7-ACBF-2B56D854BAB1}")

// ---- IVEXALocUtil -----------------------------------------------------------------------

// The regional defaults of the user's locale, served by vexacore.
// Init takes the three-letter language abbreviation ("ENU", "DEU", ...).
// get_TVSystem: 1 or 2 mean PAL, any other value NTSC. get_PaperSize: 0
// means A4, any other value Letter.
struct IVEXALocUtil : IDispatch {
  virtual HRESULT Init(BSTR language) = 0;        // [1]
  virtual HRESULT get_TVSystem(LONG* pVal) = 0;   // [2]
  virtual HRESULT get_PaperSize(LONG* pVal) = 0;  // [3]

 protected:
  ~IVEXALocUtil() = default;
};
VEXA_DEFINE_IID(IVEXALocUtil, "{345DECAB-B6CF-4248-BDBD-5F7F247AD552}")
VEXA_DEFINE_CLSID(VEXALocUtil, "{62220100-4AAE-4364-96D4-42B3D3FA3BB0}")

inline constexpr char16_t kVEXALocUtilProgId[] = u"Vexacore.VEXALocUtil.1";
inline constexpr char16_t kVEXALocUtilVersionIndependentProgId[] = u"Vexacore.VEXALocUtil";

// The values get_TVSystem and get_PaperSize answer.
enum : LONG {
  VEXALocTVNTSC = 0,
  VEXALocTVPAL = 2,
  VEXALocPaperA4 = 0,
  VEXALocPaperLetter = 1,
};

enum : DISPID {
  DISPID_VEXALocUtil_Init = 1,
  DISPID_VEXALocUtil_TVSystem = 2,
  DISPID_VEXALocUtil_PaperSize = 3,
};
