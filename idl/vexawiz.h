// The creation wizard vexawiz: the class VEXAWizard1 and its dual interface
// IVEXAWizard1, shared by the wizard and the program that runs it.
//
// IVEXAWizard1's methods follow the IDispatch slots in the order listed
// (DISPIDs 1 to 17 in the same order). Every method answers S_OK, or E_FAIL
// on a failure; after E_FAIL, GetErrorCode tells why and the thread's error
// information holds the text. A caller creates the class, calls Init first,
// then any setters and adders, then CreateVCD once, and releases it.
// CreateVCD answers S_OK once the wizard has run, whatever its outcome; a
// cancelled burn shows only as GetErrorCode = VEXAWizCancelled.
#pragma once

#include "platform/com/Com.h"

// ---- Enumerations (32-bit) ------------------------------------------------------

enum VEXAWizErrorCode : LONG {
  VEXAWizSuccess = 0,
  VEXAWizCancelled = 1,
  VEXAWizBadAudioFile = 2,
  VEXAWizBadImageFile = 3,
  VEXAWizInvalidInputFile = 4,
  VEXAWizInvalidBurnSpeed = 5,
  VEXAWizNoTitleLines = 6,
  VEXAWizFailure = 7,
  VEXAWizStillDelayTooSmall = 8,
  VEXAWizStillDelayTooLarge = 9,
};

// The page the wizard opens on.
enum VEXAWizStartScreen : LONG {
  VEXAWizWelcome = 0,
  VEXAWizViewAlbums = 1,
  VEXAWizSetTitles = 2,
  VEXAWizAddAudio = 3,
  VEXAWizSetupSettings = 4,
  VEXAWizSummary = 5,
};

enum VEXAWizTVSystem : LONG {
  VEXAWizTVNTSC = 0,
  VEXAWizTVFILM = 1,
  VEXAWizTVPAL = 2,
  VEXAWizTVSECAM = 3,
  VEXAWizTVINVALID = 4,
};

enum VEXAWizPaperSize : LONG {
  VEXAWizPaperSizeLetter = 0,
  VEXAWizPaperSizeA4 = 1,
  VEXAWizPaperSizeInvalid = 2,
};

enum VEXAWizFileSystemSupport : LONG {
  VEXAWizFSISO9660 = 0,
  VEXAWizFSJOLIET = 64,
  VEXAWizFSDefault = 65,  // ISO 9660 and Joliet
  VEXAWizFSUDF15 = 128,
};

enum VEXAWizAlbumFormat : LONG {
  VEXAWizCueXML = 0,  // the Marwick dialect
  VEXAWizXML = 1,     // the system's own album format
};

enum VEXAWizPictureSizingBehaviour : LONG {
  VEXAWizResizePicture = 0,
  VEXAWizCropPicture = 1,
};

// ---- IVEXAWizard1 -----------------------------------------------------------------------

struct IVEXAWizard1 : IDispatch {
  // [1] The music of the disc: a music file, an audio-CD track (".cda") or
  // the empty string for none.
  virtual HRESULT AddAudioTrack(BSTR audioFile, DATE creationTime) = 0;
  // [2] One picture.
  virtual HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE creationTime,
                           VEXAWizPictureSizingBehaviour pictureSizingBehaviour, LONG rotateDegrees,
                           VARIANT_BOOL isTitleStill) = 0;
  // [3]
  virtual HRESULT SetFileSystemSupport(VEXAWizFileSystemSupport fileSystem) = 0;
  // [4] Seconds each picture is shown, 2 to 10.
  virtual HRESULT SetStillDelay(LONG delay) = 0;
  // [5] Seconds the title picture is shown.
  virtual HRESULT SetStillTitleVisibleTime(LONG delay) = 0;
  // [6]
  virtual HRESULT SetTVSystem(VEXAWizTVSystem tvSystem) = 0;
  // [7] At least one line not empty.
  virtual HRESULT SetTitleLines(BSTR title1, BSTR title2, BSTR title3) = 0;
  // [8] Runs the wizard.
  virtual HRESULT CreateVCD() = 0;
  // [9]
  virtual HRESULT SetStartScreen(VEXAWizStartScreen startScreen) = 0;
  // [10] Above 0.
  virtual HRESULT SetBurnSpeed(LONG burnSpeed) = 0;
  // [11] A file of picture paths in UTF-16LE, each ended by a 16-bit zero.
  virtual HRESULT AddImageListFile(BSTR imageListFilePath) = 0;
  // [12] Every file of the directory (not its sub-directories).
  virtual HRESULT AddImageDirectory(BSTR imagedirectoryPath) = 0;
  // [13]
  virtual HRESULT AddAlbumFile(BSTR albumFilePath, VEXAWizAlbumFormat albumFormat) = 0;
  // [14]
  virtual HRESULT SetPaperSize(VEXAWizPaperSize paperSize) = 0;
  // [15] The code of the last operation; always S_OK.
  virtual HRESULT GetErrorCode(VEXAWizErrorCode* errorCode) = 0;
  // [16] The first call after creation.
  virtual HRESULT Init(BSTR tempDirectory, VARIANT_BOOL doClean) = 0;
  // [17] Line 1 today's date in the short form, line 2 the product name.
  virtual HRESULT SetDefaultTitle() = 0;

 protected:
  ~IVEXAWizard1() = default;
};
VEXA_DEFINE_IID(IVEXAWizard1, "{78FC5958-F15F-42FC-9FAA-536250F906D5}")
VEXA_DEFINE_CLSID(VEXAWizard1, "{30715862-ADD9-4AA5-AE9D-4ED42D69200B}")
inline constexpr GUID LIBID_VEXAWIZLib = vexa::com::Guid("{5476A9A1-D81C-45E7-8A30-524BB057D18F}");

inline constexpr char16_t kVEXAWizard1ProgId[] = u"Vexawiz.VEXAWizard1.1";
inline constexpr char16_t kVEXAWizard1VersionIndependentProgId[] = u"Vexawiz.VEXAWizard1";

// DISPIDs of IVEXAWizard1.
enum : DISPID {
  DISPID_VEXAWizard1_AddAudioTrack = 1,
  DISPID_VEXAWizard1_AddStill = 2,
  DISPID_VEXAWizard1_SetFileSystemSupport = 3,
  DISPID_VEXAWizard1_SetStillDelay = 4,
  DISPID_VEXAWizard1_SetStillTitleVisibleTime = 5,
  DISPID_VEXAWizard1_SetTVSystem = 6,
  DISPID_VEXAWizard1_SetTitleLines = 7,
  DISPID_VEXAWizard1_CreateVCD = 8,
  DISPID_VEXAWizard1_SetStartScreen = 9,
  DISPID_VEXAWizard1_SetBurnSpeed = 10,
  DISPID_VEXAWizard1_AddImageListFile = 11,
  DISPID_VEXAWizard1_AddImageDirectory = 12,
  DISPID_VEXAWizard1_AddAlbumFile = 13,
  DISPID_VEXAWizard1_SetPaperSize = 14,
  DISPID_VEXAWizard1_GetErrorCode = 15,
  DISPID_VEXAWizard1_Init = 16,
  DISPID_VEXAWizard1_SetDefaultTitle = 17,
};
