// vexaprt: the print front CoVexaPrt, through which the disc engine has the
// three PDFs of a disc made (contact sheet, jewel-case insert and CD label,
// print album). Dual interface; methods after the IDispatch slots in this
// order (DISPIDs 1 to 9).
#pragma once

#include "platform/com/Com.h"

struct ICoVexaPrt : IDispatch {
  virtual HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE destCtime, LONG pictureSizingBehaviour,
                           BSTR thumbPath, DATE thumbCtime) = 0;                        // [1]
  virtual HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) = 0;                // [2]
  virtual HRESULT MakeContactSheet(BSTR destinationPath, BSTR prefixStr, LONG numberOfDigits) = 0;  // [3]
  virtual HRESULT MakeCdInsert(BSTR destinationDirectory) = 0;                          // [4] the PDF's full path
  virtual HRESULT MakePrintAlbum(BSTR destinationDirectory) = 0;                        // [5] the PDF's full path
  virtual HRESULT SetTemporaryDirectory(BSTR destinationDirectory) = 0;                 // [6]
  virtual HRESULT Clean() = 0;                                                          // [7]
  virtual HRESULT SetPaperSize(LONG paperSize) = 0;                                     // [8] 0 Letter, 1 A4
  virtual HRESULT SelfTest(BSTR logfile, LONG test, VARIANT_BOOL* result) = 0;          // [9]

 protected:
  ~ICoVexaPrt() = default;
};
VEXA_DEFINE_IID(ICoVexaPrt, "{C8376B70-331E-4122-94A5-ABCFEF4664F7}")
VEXA_DEFINE_CLSID(CoVexaPrt, "{FCF7BCDA-74B0-42D7-90A2-61B7A6CEF4D3}")
inline constexpr GUID LIBID_VEXAPRTLib = vexa::com::Guid("{B3EA2055-4398-41E5-B683-93C69CDE0CAB}");
