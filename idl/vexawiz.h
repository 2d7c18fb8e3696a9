// The creation wizard vexawiz: the class VEXAWizard1 and its dual interface
// IVEXAWizard1, shared by the wizard and its client, the vexa program.
//
// A caller creates the class, calls Init first, then any setters and adders,
// then CreateVCD once, and releases it. Every method answers an HRESULT;
// after a failing call GetErrorCode tells why, and VEXAWizCancelled is the
// only code that means the user cancelled. CreateVCD runs the wizard and
// succeeds once it has run, whatever its outcome. Strings are BSTRs; times
// are DATEs; delays are seconds.
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
  VEXAWizFSDefault = 65,
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

// ---- IVEXAWizard1 ---------------------------------------------------------------------

struct IVEXAWizard1 : IDispatch {
  virtual HRESULT AddAudioTrack(BSTR audioFile, DATE creationTime) = 0;              // [1]
  virtual HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE creationTime,       // [2]
                           VEXAWizPictureSizingBehaviour pictureSizingBehaviour,
                           LONG rotateDegrees, VARIANT_BOOL isTitleStill) = 0;
  virtual HRESULT SetFileSystemSupport(VEXAWizFileSystemSupport fileSystem) = 0;     // [3]
  virtual HRESULT SetStillDelay(LONG delay) = 0;                                     // [4]
  virtual HRESULT SetStillTitleVisibleTime(LONG delay) = 0;                          // [5]
  virtual HRESULT SetTVSystem(VEXAWizTVSystem tvSystem) = 0;                         // [6]
  virtual HRESULT SetTitleLines(BSTR title1, BSTR title2, BSTR title3) = 0;          // [7]
  virtual HRESULT CreateVCD() = 0;                                                   // [8]
  virtual HRESULT SetStartScreen(VEXAWizStartScreen startScreen) = 0;                // [9]
  virtual HRESULT SetBurnSpeed(LONG burnSpeed) = 0;                                  // [10]
  virtual HRESULT AddImageListFile(BSTR imageListFilePath) = 0;                      // [11]
  virtual HRESULT AddImageDirectory(BSTR imagedirectoryPath) = 0;                    // [12]
  virtual HRESULT AddAlbumFile(BSTR albumFilePath, VEXAWizAlbumFormat albumFormat) = 0;  // [13]
  virtual HRESULT SetPaperSize(VEXAWizPaperSize paperSize) = 0;                      // [14]
  virtual HRESULT GetErrorCode(VEXAWizErrorCode* errorCode) = 0;                     // [15]
  virtual HRESULT Init(BSTR tempDirectory, VARIANT_BOOL doClean) = 0;                // [16]
  virtual HRESULT SetDefaultTitle() = 0;                                             // [17]

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
