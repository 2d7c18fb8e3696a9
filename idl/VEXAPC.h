// VEXAPC: the PC page server. One class, IVEXAPC, with its dual interface
// IIVEXAPC (slots in this order after IDispatch; DISPIDs in brackets).
//
// The disc engine calls, in this order: put_WorkDirectory (the album's page
// tree root), put_StillDelay, SetTitleLine for each title line in use,
// AddAudioTrack when there is music, AddStill once per still, then
// MakeAlbum("VIEW/BROWSE"), MakeSlideShow("VIEW/SHOW") and MakeMenu("VIEW").
// Still, thumbnail and music paths are relative to the work folder; the
// destination folders too.
#pragma once

#include "platform/com/Com.h"

struct IIVEXAPC : IDispatch {
  // [1]
  virtual HRESULT AddAudioTrack(BSTR audioFile) = 0;
  // [2] titleLine 1 to 3 (0 also means the first line).
  virtual HRESULT SetTitleLine(LONG titleLine, BSTR title) = 0;
  // [3]
  virtual HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE destCtime, LONG stillWidth, LONG stillHeight,
                           BSTR thumbPath, DATE thumbCtime, LONG thumbWidth, LONG thumbHeight) = 0;
  // [4] milliseconds; applies to the stills added afterwards.
  virtual HRESULT put_StillDelay(LONG newVal) = 0;
  // [5] [6]
  virtual HRESULT MakeSlideShow(BSTR destinationDirectory) = 0;
  virtual HRESULT MakeAlbum(BSTR destinationDirectory) = 0;
  // [7]
  virtual HRESULT Clean() = 0;
  // [8] both accessors.
  virtual HRESULT get_WorkDirectory(BSTR* pVal) = 0;
  virtual HRESULT put_WorkDirectory(BSTR newVal) = 0;
  // [9]
  virtual HRESULT MakeMenu(BSTR bstrDestinationDirectory) = 0;

 protected:
  ~IIVEXAPC() = default;
};
VEXA_DEFINE_IID(IIVEXAPC, "{A127C1E5-16A0-4F35-B9CB-5FDE57D9555F}")
VEXA_DEFINE_CLSID(IVEXAPC, "{5F41EE82-452E-4995-8B8D-46458DA48824}")
inline constexpr GUID LIBID_VEXAPCLib = vexa::com::Guid("{D300F087-4919-4D51-9C32-23E2B2ABACD6}");
