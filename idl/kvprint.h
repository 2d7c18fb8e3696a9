// kvprint: the print products and their helpers. Image and ImageCollection
// (the photos and their print copies), PrintAlbum, PrintContactSheet and
// PrintJCInsert (the three PDFs) and one configuration class per product.
//
// Every interface is dual; its methods follow the IDispatch slots in the
// order listed (DISPIDs in brackets). Properties are get_/put_ pairs with
// the index arguments first. Strings are BSTRs the caller frees; object
// getters hand out one added reference. Lengths are inches from the page's
// lower-left corner; layout 0 is US Letter, 1 is A4.
#pragma once

#include "platform/com/Com.h"

struct IImage : IDispatch {
  virtual HRESULT SetPathname(BSTR filename) = 0;                 // [1]
  virtual HRESULT GetOriginalWidth(LONG* width) = 0;              // [2]
  virtual HRESULT GetOriginalHeight(LONG* height) = 0;            // [3]
  virtual HRESULT GetThumbnailWidth(LONG* width) = 0;             // [4]
  virtual HRESULT GetThumbnailHeight(LONG* height) = 0;           // [5]
  virtual HRESULT SetTmpWorkingDirectory(BSTR directory) = 0;     // [6]
  virtual HRESULT SetThumbnailLongside(LONG sideLength) = 0;      // [7]
  virtual HRESULT GetOriginalFilename(BSTR* filename) = 0;        // [8]
  virtual HRESULT GetOriginalPathname(BSTR* pathname) = 0;        // [9]
  virtual HRESULT GetThumbnailPathname(BSTR* filename) = 0;       // [10]
  virtual HRESULT GetNormalizedPathname(BSTR* pathname) = 0;      // [11]
  virtual HRESULT GetNormalizedHeight(LONG* height) = 0;          // [12]
  virtual HRESULT GetNormalizedWidth(LONG* width) = 0;            // [13]
  virtual HRESULT SetNormalizedLongside(LONG sideLength) = 0;     // [14]

 protected:
  ~IImage() = default;
};
VEXA_DEFINE_IID(IImage, "{8B3E74CA-A0A5-422A-B1FC-FADE5E3612F7}")

struct IImageCollection : IDispatch {
  virtual HRESULT Add(IDispatch* pnewImage) = 0;                  // [1]
  virtual HRESULT Remove(LONG index) = 0;                         // [2] 0-based
  virtual HRESULT get_Count(LONG* pVal) = 0;                      // [3]
  virtual HRESULT AddPathname(BSTR pathname) = 0;                 // [4]
  virtual HRESULT AddDirectory(BSTR directory) = 0;               // [5]
  virtual HRESULT get__NewEnum(IUnknown** pVal) = 0;              // [DISPID_NEWENUM]
  virtual HRESULT Item(VARIANT index, VARIANT* pItem) = 0;        // [DISPID_VALUE] VT_I4, 0-based

 protected:
  ~IImageCollection() = default;
};
VEXA_DEFINE_IID(IImageCollection, "{B1D07F8E-A622-424B-B35E-BAE935949DDB}")

// ---- configurations ----------------------------------------------------------------

#define KVPRINT_PROP(Name, T)                 \
  virtual HRESULT get_##Name(T* pVal) = 0;   \
  virtual HRESULT put_##Name(T newVal) = 0;
#define KVPRINT_PROP_I(Name, T)                            \
  virtual HRESULT get_##Name(LONG index, T* pVal) = 0;    \
  virtual HRESULT put_##Name(LONG index, T newVal) = 0;
#define KVPRINT_PROP_IL(Name, T)                                        \
  virtual HRESULT get_##Name(LONG index, LONG layout, T* pVal) = 0;    \
  virtual HRESULT put_##Name(LONG index, LONG layout, T newVal) = 0;

struct IPrintAlbumConfiguration : IDispatch {
  KVPRINT_PROP(PageMarginLeft, FLOAT)            // [1]
  KVPRINT_PROP(PageMarginRight, FLOAT)           // [2]
  KVPRINT_PROP(PageMarginTop, FLOAT)             // [3]
  KVPRINT_PROP(PageMarginBottom, FLOAT)          // [4]
  KVPRINT_PROP(OutlineRed, FLOAT)                // [5]
  KVPRINT_PROP(OutlineBlue, FLOAT)               // [6]
  KVPRINT_PROP(OutlineGreen, FLOAT)              // [7]
  KVPRINT_PROP_IL(HelpString, BSTR)              // [49] index 0-1
  KVPRINT_PROP_IL(HelpStringPosX, FLOAT)         // [50]
  KVPRINT_PROP_IL(HelpStringPosY, FLOAT)         // [51]
  KVPRINT_PROP_IL(HelpStringAngle, FLOAT)        // [52]
  KVPRINT_PROP_IL(PhotoPosX, FLOAT)              // [53] index 0-3
  KVPRINT_PROP_IL(PhotoPosY, FLOAT)              // [54]
  KVPRINT_PROP_IL(PhotoWidth, FLOAT)             // [55]
  KVPRINT_PROP_IL(PhotoHeight, FLOAT)            // [56]
  KVPRINT_PROP_I(HelpStringFontType, BSTR)       // [57]
  KVPRINT_PROP_I(HelpStringFontEncoding, BSTR)   // [58]
  KVPRINT_PROP_I(HelpStringFontSize, FLOAT)      // [59]
  KVPRINT_PROP(PageLayout, LONG)                 // [60]

 protected:
  ~IPrintAlbumConfiguration() = default;
};
VEXA_DEFINE_IID(IPrintAlbumConfiguration, "{F594D791-188F-479E-A25B-07D076C0CE3D}")

struct IPrintContactSheetConfiguration : IDispatch {
  KVPRINT_PROP(ImagesPerRow, LONG)                   // [1] columns
  KVPRINT_PROP(ImagesPerColumn, LONG)                // [2] rows
  KVPRINT_PROP(ColumnGapToImagePercent, LONG)        // [4]
  KVPRINT_PROP(RowGapToImagePercent, LONG)           // [5]
  KVPRINT_PROP(PageMarginLeft, FLOAT)                // [7]
  KVPRINT_PROP(PageMarginRight, FLOAT)               // [8]
  KVPRINT_PROP(PageMarginTop, FLOAT)                 // [9]
  KVPRINT_PROP(PageMarginBottom, FLOAT)              // [10]
  KVPRINT_PROP(BannerJpg, BSTR)                      // [13]
  KVPRINT_PROP_I(TitleStringFontType, BSTR)          // [14] index 0-2
  KVPRINT_PROP_I(TitleStringFontEncoding, BSTR)      // [15]
  KVPRINT_PROP_I(TitleStringFontSize, FLOAT)         // [16]
  KVPRINT_PROP_IL(TitleStringPosX, FLOAT)            // [17]
  KVPRINT_PROP_IL(TitleStringPosY, FLOAT)            // [18]
  KVPRINT_PROP(FilenameStringFontType, BSTR)         // [19]
  KVPRINT_PROP(FilenameStringFontEncoding, BSTR)     // [20]
  KVPRINT_PROP(FilenameStringFontSize, FLOAT)        // [21]
  KVPRINT_PROP_I(FilenameAllowanceHeight, FLOAT)     // [22] index: the layout
  KVPRINT_PROP(BannerHeight, FLOAT)                  // [23]
  KVPRINT_PROP(BannerGap, FLOAT)                     // [24]
  KVPRINT_PROP(BannerString, BSTR)                   // [25]
  KVPRINT_PROP(BannerStringPosX, FLOAT)              // [26]
  KVPRINT_PROP(BannerStringPosY, FLOAT)              // [27]
  KVPRINT_PROP(BannerStringFontType, BSTR)           // [28]
  KVPRINT_PROP(BannerStringFontEncoding, BSTR)       // [29]
  KVPRINT_PROP(BannerStringFontSize, FLOAT)          // [30]
  KVPRINT_PROP(PageLayout, LONG)                     // [31]

 protected:
  ~IPrintContactSheetConfiguration() = default;
};
VEXA_DEFINE_IID(IPrintContactSheetConfiguration, "{56C085D8-4B53-4CF6-92E3-86183B183658}")

struct IPrintJewelCaseConfiguration : IDispatch {
  KVPRINT_PROP(BackCoverWidth, FLOAT)                        // [1]
  KVPRINT_PROP(BackCoverHeight, FLOAT)                       // [2]
  KVPRINT_PROP(BackCoverPosX, FLOAT)                         // [3]
  KVPRINT_PROP(BackCoverPosY, FLOAT)                         // [4]
  KVPRINT_PROP(BackCoverImageFile, BSTR)                     // [5]
  KVPRINT_PROP(FrontCoverWidth, FLOAT)                       // [6]
  KVPRINT_PROP(FrontCoverHeight, FLOAT)                      // [7]
  KVPRINT_PROP(FrontCoverPosX, FLOAT)                        // [8]
  KVPRINT_PROP(FrontCoverPosY, FLOAT)                        // [9]
  KVPRINT_PROP_I(HelpString, BSTR)                           // [10] index 0-8
  KVPRINT_PROP_I(HelpStringPosX, FLOAT)                      // [11]
  KVPRINT_PROP_I(HelpStringPosY, FLOAT)                      // [12]
  KVPRINT_PROP_I(HelpStringAngle, FLOAT)                     // [13]
  KVPRINT_PROP_I(HelpStringType, BSTR)                       // [14]
  KVPRINT_PROP_I(HelpStringEncoding, BSTR)                   // [15]
  KVPRINT_PROP_I(HelpStringFontSize, FLOAT)                  // [16]
  KVPRINT_PROP(FrontCoverImageFile, BSTR)                    // [17]
  KVPRINT_PROP(FrontCoverPictureFrameWidth, FLOAT)           // [18]
  KVPRINT_PROP(FrontCoverPictureFrameHeight, FLOAT)          // [19]
  KVPRINT_PROP(FrontCoverPictureFramePosX, FLOAT)            // [20]
  KVPRINT_PROP(FrontCoverPictureFramePoxY, FLOAT)            // [22]
  KVPRINT_PROP(FrontCoverPictureFrameImageFile, BSTR)        // [23]
  KVPRINT_PROP(FrontCoverPictureBBWidth, FLOAT)              // [24]
  KVPRINT_PROP(FrontCoverPictureBBHeight, FLOAT)             // [25]
  KVPRINT_PROP(FrontCoverPictureBBPosX, FLOAT)               // [26]
  KVPRINT_PROP(FrontCoverPictureBBPosY, FLOAT)               // [27]
  KVPRINT_PROP(FrontCoverPictureImageIndex, SHORT)           // [28]
  KVPRINT_PROP(ImageArrayBBHeight, FLOAT)                    // [29]
  KVPRINT_PROP(ImageArrayBBWidth, FLOAT)                     // [30]
  KVPRINT_PROP(ImageArrayBBPosX, FLOAT)                      // [31]
  KVPRINT_PROP(ImageArrayBBPosY, FLOAT)                      // [32]
  KVPRINT_PROP(ImageArrayImagesPerColumn, LONG)              // [33]
  KVPRINT_PROP(ImageArrayImagesPerRow, LONG)                 // [34]
  KVPRINT_PROP(ImageArrayColGapPercent, LONG)                // [35]
  KVPRINT_PROP(ImageArrayRowGapPercent, LONG)                // [36]
  KVPRINT_PROP(CutLineDashPattern, LONG)                     // [37] 0-8
  KVPRINT_PROP(CutLineGray, FLOAT)                           // [38]
  KVPRINT_PROP(FoldLineGray, FLOAT)                          // [39]
  KVPRINT_PROP(CutLineOverhang, FLOAT)                       // [40]
  KVPRINT_PROP(FoldLineWidth, FLOAT)                         // [41]
  KVPRINT_PROP_I(TitleStringPosX, FLOAT)                     // [42] index 0-2
  KVPRINT_PROP_I(TitleStringPosY, FLOAT)                     // [43]
  KVPRINT_PROP_I(TitleStringAngle, FLOAT)                    // [44]
  KVPRINT_PROP_I(TitleStringFontSize, FLOAT)                 // [45]
  KVPRINT_PROP_I(TitleStringFontEncoding, BSTR)              // [46]
  KVPRINT_PROP_I(TitleStringFontType, BSTR)                  // [47]
  KVPRINT_PROP_I(BackCoverString, BSTR)                      // [48] index 0-2
  KVPRINT_PROP_I(BackCoverStringPosX, FLOAT)                 // [49]
  KVPRINT_PROP_I(BackCoverStringPosY, FLOAT)                 // [50]
  KVPRINT_PROP_I(BackCoverStringFontType, BSTR)              // [51]
  KVPRINT_PROP_I(BackCoverStringFontEncoding, BSTR)          // [52]
  KVPRINT_PROP_I(BackCoverStringFontSize, FLOAT)             // [53]
  KVPRINT_PROP_I(BindingLabelTitleStringPosX, FLOAT)         // [54] index 0-1
  KVPRINT_PROP_I(BindingLabelTitleStringPosY, FLOAT)         // [55]
  KVPRINT_PROP_I(BindingLabelTitleStringAngle, FLOAT)        // [56]
  KVPRINT_PROP(BindingLabelTitleStringFontEncoding, BSTR)    // [57]
  KVPRINT_PROP(BindingLabelTitleStringFontType, BSTR)        // [58]
  KVPRINT_PROP(BindingLabelTitleStringFontSize, FLOAT)       // [59]
  KVPRINT_PROP(FrontCoverTitleBoxWidth, FLOAT)               // [60]
  KVPRINT_PROP(FrontCoverTitleBoxHeight, FLOAT)              // [61]
  KVPRINT_PROP(FrontCoverTitleBoxPosX, FLOAT)                // [62]
  KVPRINT_PROP(FrontCoverTitleBoxPosY, FLOAT)                // [63]
  KVPRINT_PROP(FrontCoverTitleBoxImageFile, BSTR)            // [64]
  KVPRINT_PROP(PageLayout, LONG)                             // [65]

 protected:
  ~IPrintJewelCaseConfiguration() = default;
};
VEXA_DEFINE_IID(IPrintJewelCaseConfiguration, "{AA322593-AF6A-43EF-AAB3-42C7135FC92C}")

#undef KVPRINT_PROP
#undef KVPRINT_PROP_I
#undef KVPRINT_PROP_IL

// ---- products ----------------------------------------------------------------------

struct IPrintAlbum : IDispatch {
  virtual HRESULT AddImagePathname(BSTR pathname, VARIANT_BOOL thumbnail) = 0;           // [1]
  virtual HRESULT GeneratePDF(BSTR destinationPathname) = 0;                             // [2]
  virtual HRESULT GetImageCollection(IImageCollection** pImageCollection) = 0;           // [3]
  virtual HRESULT SetImageCollection(IImageCollection* pImageCollection) = 0;            // [4]
  virtual HRESULT get_Configuration(IPrintAlbumConfiguration** pVal) = 0;                // [5]

 protected:
  ~IPrintAlbum() = default;
};
VEXA_DEFINE_IID(IPrintAlbum, "{9C25AEFC-D596-4590-9177-022303C972DD}")

struct IPrintContactSheet : IDispatch {
  virtual HRESULT GetImageCollection(IImageCollection** pImageCollection) = 0;           // [1]
  virtual HRESULT SetImageCollection(IImageCollection* pImageCollection) = 0;            // [2]
  virtual HRESULT AddImagePathname(BSTR pathname) = 0;                                   // [3]
  virtual HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) = 0;                 // [5]
  virtual HRESULT Clean() = 0;                                                           // [6]
  virtual HRESULT GeneratePDF(BSTR pathname, BSTR prefixStr, LONG numberOfDigits) = 0;   // [7]
  virtual HRESULT get_Configuration(IPrintContactSheetConfiguration** pVal) = 0;         // [8]

 protected:
  ~IPrintContactSheet() = default;
};
VEXA_DEFINE_IID(IPrintContactSheet, "{80452DB6-04A8-40D4-A59D-3D7A3A75CB08}")

struct IPrintJCInsert : IDispatch {
  virtual HRESULT GeneratePDF(BSTR destinationPathname) = 0;                             // [1]
  virtual HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) = 0;                 // [2]
  virtual HRESULT SetImageCollection(IImageCollection* pImageCollection) = 0;            // [3]
  virtual HRESULT GetImageCollection(IImageCollection** pImageCollection) = 0;           // [4]
  virtual HRESULT get_Configuration(IPrintJewelCaseConfiguration** pVal) = 0;            // [5]

 protected:
  ~IPrintJCInsert() = default;
};
VEXA_DEFINE_IID(IPrintJCInsert, "{2A7B56EE-4C6F-4A85-A563-B4CB110CA557}")

VEXA_DEFINE_CLSID(Image, "{16E44637-FEEC-49F8-9AD0-2A1F0589792B}")
VEXA_DEFINE_CLSID(ImageCollection, "{E96CFFFC-8707-43C7-856F-3BD185BD071F}")
VEXA_DEFINE_CLSID(PrintAlbum, "{2245C3C6-8216-4A74-A523-2F8B3DC7D8E8}")
VEXA_DEFINE_CLSID(PrintContactSheet, "{B6D27B87-0250-453A-B75E-B7B8B27C14CC}")
VEXA_DEFINE_CLSID(PrintJCInsert, "{308673AA-6FC7-456C-A60F-71FD938DC02A}")
VEXA_DEFINE_CLSID(PrintAlbumConfiguration, "{96C0014D-4710-4760-811C-093BBF3AFA40}")
VEXA_DEFINE_CLSID(PrintContactSheetConfiguration, "{3BB9E6F0-FA99-4A6D-8B93-76A0DF71EB2D}")
VEXA_DEFINE_CLSID(PrintJewelCaseConfiguration, "{EA94FE46-7AB5-4B16-A0B5-2F7AB70679B6}")
// KVPRINTLib, the server's type library.
inline constexpr GUID LIBID_KVPRINTLib = vexa::com::Guid("{71BC23E2-CF7A-4FE2-8EE9-5E0BE273E7D1}");
