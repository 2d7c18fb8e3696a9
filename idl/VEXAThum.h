// VEXAThum: the thumbnail control. Hosts create it by class id, reach it
// only through its dispatch interface _DVEXAThum by DISPID, receive its
// events (_DVEXAThumEvents) through a sink registered at the control's
// connection point, and embed its window through IVexaControlWindow
// (platform/com/Connection.h).
//
// Lists cross the interface as a VARIANT whose type word is exactly
// VT_ARRAY (0x2000) holding a one-dimensional array from 0 of BSTR paths or
// 32-bit integers (rotations in degrees, thumbnail ids); any other type word
// is refused. The receiver of a returned list frees it.
#pragma once

#include "platform/com/Com.h"
#include "platform/com/Connection.h"

VEXA_DEFINE_CLSID(VEXAThumCtrl, "{76FFC980-CD4A-4AAA-B796-92C66CABB074}")
VEXA_DEFINE_CLSID(VEXAThumPropPage, "{5B0E3F2C-8C61-4F1E-A2C9-6D3E1B7A9F40}")
inline constexpr GUID LIBID_VEXATHUMLib = vexa::com::Guid("{3CD5D7BA-1242-46D1-85F4-703E5EDC738E}");
inline constexpr char16_t kVEXAThumProgId[] = u"VEXATHUM.VEXAThumCtrl.1";

// The dispatch interface: every member is reached through Invoke.
struct _DVEXAThum : IDispatch {
 protected:
  ~_DVEXAThum() = default;
};
VEXA_DEFINE_IID(_DVEXAThum, "{C6F799F5-933A-492C-8A2E-E012F54D7AE7}")

// The event interface the host's sink answers (by Invoke).
struct _DVEXAThumEvents : IDispatch {
 protected:
  ~_DVEXAThumEvents() = default;
};
VEXA_DEFINE_IID(_DVEXAThumEvents, "{93C02F48-1096-46FB-B9C8-D849F6688F54}")

// DISPIDs of _DVEXAThum.
enum VEXAThumDispId : DISPID {
  DISPID_VEXATHUM_CacheDir = 1,
  DISPID_VEXATHUM_ShowRotateButtons = 2,
  DISPID_VEXATHUM_ShowZoomButton = 3,
  DISPID_VEXATHUM_ShowRemoveButton = 4,
  DISPID_VEXATHUM_ShowCaptions = 5,
  DISPID_VEXATHUM_NumberCaptions = 6,
  DISPID_VEXATHUM_CaptionsEditable = 7,
  DISPID_VEXATHUM_ShowMouseOvers = 8,
  DISPID_VEXATHUM_ShowToolTips = 9,
  DISPID_VEXATHUM_IsDragSite = 10,
  DISPID_VEXATHUM_IsDropSite = 11,
  DISPID_VEXATHUM_EnableOrderedDrop = 12,
  DISPID_VEXATHUM_EnableExternalDragAndDrop = 13,
  DISPID_VEXATHUM_EnableMultipleSelect = 14,
  DISPID_VEXATHUM_Orientation = 15,
  DISPID_VEXATHUM_AddFile = 16,
  DISPID_VEXATHUM_AddDirectory = 17,
  DISPID_VEXATHUM_AddDirectoryFiltered = 18,
  DISPID_VEXATHUM_AddMultipleFiles = 19,
  DISPID_VEXATHUM_GetThumbFilePath = 20,
  DISPID_VEXATHUM_GetThumbRotation = 21,
  DISPID_VEXATHUM_GetAllFilePaths = 22,
  DISPID_VEXATHUM_GetAllRotations = 23,
  DISPID_VEXATHUM_GetAllIndices = 24,
  DISPID_VEXATHUM_GetThumbCaption = 25,
  DISPID_VEXATHUM_SetThumbCaption = 26,
  DISPID_VEXATHUM_GetThumbCount = 27,
  DISPID_VEXATHUM_Clear = 28,
  DISPID_VEXATHUM_RemoveSelection = 29,
  DISPID_VEXATHUM_RemoveThumb = 30,
  DISPID_VEXATHUM_NewThumb = 31,
  DISPID_VEXATHUM_SetThumbImage = 32,
  DISPID_VEXATHUM_SetThumbMetadata = 33,
  DISPID_VEXATHUM_GetThumbMetadata = 34,
  DISPID_VEXATHUM_GetAllMetadata = 35,
  DISPID_VEXATHUM_GetSelection = 36,
  DISPID_VEXATHUM_GetSelectionFilePaths = 37,
  DISPID_VEXATHUM_GetSelectionRotations = 38,
  DISPID_VEXATHUM_GetSelectionCount = 39,
  DISPID_VEXATHUM_IsSingleSelection = 40,
  DISPID_VEXATHUM_SelectAll = 41,
  DISPID_VEXATHUM_MoveSelection = 42,
  DISPID_VEXATHUM_MoveSelectionTo = 43,
  DISPID_VEXATHUM_GetFirstSelected = 44,
  DISPID_VEXATHUM_GetLastSelected = 45,
  DISPID_VEXATHUM_SortByNameForward = 46,
  DISPID_VEXATHUM_SortByNameReverse = 47,
  DISPID_VEXATHUM_SortByTimestampForward = 48,
  DISPID_VEXATHUM_SortByTimestampReverse = 49,
  DISPID_VEXATHUM_SortByFileSizeForward = 50,
  DISPID_VEXATHUM_SortByFileSizeReverse = 51,
  DISPID_VEXATHUM_SortByFileTypeForward = 52,
  DISPID_VEXATHUM_SortByFileTypeReverse = 53,
  DISPID_VEXATHUM_SortByExifDateForward = 54,
  DISPID_VEXATHUM_SortByExifDateReverse = 55,
  DISPID_VEXATHUM_CanSortByExifDate = 56,
  DISPID_VEXATHUM_BeforeToAfter = 57,
  DISPID_VEXATHUM_RotateThumb = 58,
  DISPID_VEXATHUM_RotateThumbs = 59,
};

// DISPIDs of _DVEXAThumEvents; the index of the events is a thumbnail id.
enum VEXAThumEventId : DISPID {
  DISPID_VEXATHUMEV_ZoomButtonClicked = 1,              // (long index)
  DISPID_VEXATHUMEV_CloseButtonClicked = 2,             // (long index)
  DISPID_VEXATHUMEV_ClockwiseButtonClicked = 3,         // (long index)
  DISPID_VEXATHUMEV_CounterClockwiseButtonClicked = 4,  // (long index)
  DISPID_VEXATHUMEV_SelectionChanged = 5,
  DISPID_VEXATHUMEV_ContentsChanged = 6,
  DISPID_VEXATHUMEV_DoubleClick = 7,                    // (long index)
  DISPID_VEXATHUMEV_KeyDown = -602,                     // (short* key, short shift)
  DISPID_VEXATHUMEV_KeyPress = -603,                    // (short* key)
  DISPID_VEXATHUMEV_KeyUp = -604,                       // (short* key, short shift)
  DISPID_VEXATHUMEV_MouseDown = -605,                   // (short button, short shift, long x, long y)
  DISPID_VEXATHUMEV_MouseUp = -607,                     // (short button, short shift, long x, long y)
};
