// VEXAImg: the still-image utility class VEXAImgUtil and its dual interface
// IVEXAImgUtil (slots in this order after IDispatch; DISPIDs in brackets).
#pragma once

#include "platform/com/Com.h"
#include "platform/imaging/BitmapHandle.h"

struct IVEXAImgUtil : IDispatch {
  // [2]
  virtual HRESULT Create3LineTitleStill(BSTR titleLine1, BSTR titleLine2, BSTR titleLine3, BSTR fileName,
                                        BSTR typeface, LONG charset, LONG primaryLinePointSize,
                                        LONG secondaryLinePointSize, VARIANT_BOOL isNTSC) = 0;
  // [3]
  virtual HRESULT Any2JPG(BSTR srcFile, BSTR destFile) = 0;
  // [4]
  virtual HRESULT ResizeStill(BSTR srcFile, BSTR destFile, VARIANT_BOOL boundingBox, LONG destX, LONG destY,
                              VARIANT_BOOL upsample, VARIANT_BOOL matte, LONG mR, LONG mG, LONG mB) = 0;
  // [6]
  virtual HRESULT GetStillInfo(BSTR srcFile, BSTR* fileName, BSTR* shortFileName, BSTR* fileExt, LONG* fileType,
                               LONG* width, LONG* height) = 0;
  // [7]
  virtual HRESULT isSupportedStillInputFormat(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  // [8] [9] [10]
  virtual HRESULT isStillBMP(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillJPG(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillTIF(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  // [11]
  virtual HRESULT RotateStill(BSTR srcFile, BSTR destFile, LONG degrees, VARIANT_BOOL resize, LONG* finalX,
                              LONG* finalY) = 0;
  // [12]
  virtual HRESULT Create3LineTitleStillInMemory(BSTR titleLine1, BSTR titleLine2, BSTR titleLine3, BSTR typeface,
                                                LONG charset, LONG primaryLinePointSize,
                                                LONG secondaryLinePointSize, VARIANT_BOOL isNTSC,
                                                VARIANT_BOOL* line1Clipped, VARIANT_BOOL* line2Clipped,
                                                VARIANT_BOOL* line3Clipped, HBITMAP* hBitmap) = 0;
  // [13]
  virtual HRESULT SaveHBitmap(BSTR destFile, HBITMAP* hBitmap, VARIANT_BOOL isNTSC) = 0;
  // [14] .. [18]
  virtual HRESULT isStillCMP(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillGIF(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillPNG(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillPCT(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  virtual HRESULT isStillPCD(LONG ltImageFormat, VARIANT_BOOL* pVal) = 0;
  // [19]
  virtual HRESULT CropStill(BSTR srcFile, BSTR destFile, LONG startX, LONG startY, LONG finishX,
                            LONG finishY) = 0;
  // [20] .. [25]
  virtual HRESULT OTInit(LONG width, LONG height, LONG backColor) = 0;
  virtual HRESULT OTText(LONG x, LONG y, BSTR font, LONG fontSize, LONG charset, LONG fgColor, LONG bgColor,
                         BSTR text) = 0;
  virtual HRESULT OTStretchImageFile(LONG x, LONG y, LONG width, LONG height, BSTR fileName, LONG borderColor,
                                     VARIANT_BOOL keepAspect) = 0;
  virtual HRESULT OTClipImageFile(LONG x, LONG y, LONG width, LONG height, BSTR fileName, LONG borderColor) = 0;
  virtual HRESULT OTCreateDIB(VARIANT* header, VARIANT* bits, LONG* bytes) = 0;
  virtual HRESULT OTWriteBMP(BSTR fileName) = 0;
  // [26]
  virtual HRESULT CreateStillDerivatives(BSTR origStill, LONG rotateDegrees, BSTR albumResStill,
                                         BSTR thumbResStill, LONG TRx, LONG TRy, BSTR webResStill, LONG WRx,
                                         LONG WRy, VARIANT_BOOL* ARSuccess, LONG* ARWidth, LONG* ARHeight,
                                         VARIANT_BOOL* TRSuccess, LONG* TRWidth, LONG* TRHeight,
                                         VARIANT_BOOL* WRSuccess, LONG* WRWidth, LONG* WRHeight) = 0;

 protected:
  ~IVEXAImgUtil() = default;
};
VEXA_DEFINE_IID(IVEXAImgUtil, "{B84BB7BD-C916-4277-8469-E36120D415D7}")
VEXA_DEFINE_CLSID(VEXAImgUtil, "{51709D3C-BE97-4CF3-BE81-CD51CA65C6D1}")
inline constexpr GUID LIBID_VEXAIMGLib = vexa::com::Guid("{E8BA95DD-8F42-4E76-B9C4-CE5E5918D82B}");
// The type library the server's classes describe themselves in (version 1.0).
inline constexpr vexa::com::TypeLibraryId kVEXAIMGLib{LIBID_VEXAIMGLib, 1, 0, 0, u"VEXAIMGLib"};

// For callers in the same process: the drawing surface's packed bitmap as
// real addresses (the VARIANTs of OTCreateDIB hold 32-bit integers). Like
// OTCreateDIB it replaces the object's previous block; the pointers stay
// valid until the next call of either or the object's release.
struct IVEXAImgUtilNative : IUnknown {
  virtual HRESULT OTCreateDIBNative(const BYTE** header, const BYTE** bits, LONG* bytes) = 0;
  // The shape, width:height, of the screen pixels the drawing surface will
  // be shown with (1:1 until set; a television frame's pixels are not
  // square). OTStretchImageFile with keepAspect then fits a picture so that
  // it keeps its own shape on such a screen. Both numbers must be above 0.
  virtual HRESULT OTSetPixelAspect(LONG width, LONG height) = 0;
  // CreateStillDerivatives, each still written once with its comment (the
  // bytes of one JPEG comment segment; none when empty) already in it, and
  // the picture the album still is made from kept for the album still's
  // file (so that the smaller pictures made from that file later come from
  // it, not from decoding the file again), reduced to keepLongSide on its
  // long side when larger (0: nothing is kept).
  virtual HRESULT CreateStillDerivativesWithComments(BSTR origStill, LONG rotateDegrees, BSTR albumResStill,
                                                     BSTR thumbResStill, LONG TRx, LONG TRy, BSTR webResStill,
                                                     LONG WRx, LONG WRy, const char* albumComment,
                                                     const char* thumbComment, const char* webComment,
                                                     LONG keepLongSide, VARIANT_BOOL* ARSuccess, LONG* ARWidth,
                                                     LONG* ARHeight, VARIANT_BOOL* TRSuccess, LONG* TRWidth,
                                                     LONG* TRHeight, VARIANT_BOOL* WRSuccess, LONG* WRWidth,
                                                     LONG* WRHeight) = 0;
  // The JPEG srcFile copied to destFile with the comment (the bytes of one
  // comment segment) put in, in one write; the copy's mode is 0644. A JPEG
  // that holds comments already is not copied: *copied is VARIANT_FALSE.
  virtual HRESULT CopyJpegWithComment(BSTR srcFile, BSTR destFile, const char* comment, VARIANT_BOOL* copied) = 0;

 protected:
  ~IVEXAImgUtilNative() = default;
};
VEXA_DEFINE_IID(IVEXAImgUtilNative, "{3E0C5A71-9B2D-4C68-A1F4-7D52B80E6C19}")
