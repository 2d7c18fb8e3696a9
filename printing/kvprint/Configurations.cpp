// The three configuration objects: property bags holding every number, text,
// font and artwork name of a print product's layout, with their defaults.
// Texts and font sizes come from the language library, with the built-in
// texts as fallback. Indexes outside a property's range are refused.
#include "printing/ComSupport.h"
#include "printing/kvprint/Kvprint.h"

namespace vexa::kvprint {
namespace {

using namespace vexa::com;
using printing::Method_;

HRESULT Get(const Bstr& field, BSTR* p) {
  if (!p) return E_POINTER;
  *p = field.Copy();
  return S_OK;
}
HRESULT Put(Bstr& field, BSTR v) {
  field = Bstr(v ? std::u16string_view(v, SysStringLen(v)) : std::u16string_view());
  return S_OK;
}
template <typename T>
HRESULT Get(const T& field, T* p) {
  if (!p) return E_POINTER;
  *p = field;
  return S_OK;
}
template <typename T>
HRESULT Put(T& field, T v) {
  field = v;
  return S_OK;
}

Bstr Text(int id, std::u16string_view fallback) {
  Bstr b;
  CKvprintUtil::LoadString(id, &b, fallback);
  return b;
}
float Size(int id, std::u16string_view fallback, float number) {
  float v = number;
  CKvprintUtil::LoadStringAsFloat(id, &v, fallback);
  return v;
}

// Accessors of one property: plain, by index (0 to N-1), or by index and layout.
#define KV_SCALAR(Name, T, field)                                      \
  HRESULT get_##Name(T* p) override { return Get(field, p); }          \
  HRESULT put_##Name(T v) override { return Put(field, v); }
#define KV_INDEXED(Name, T, field, N)                                  \
  HRESULT get_##Name(LONG i, T* p) override {                          \
    if (i < 0 || i >= (N)) return BadIndex("get_" #Name);              \
    return Get(field[i], p);                                           \
  }                                                                    \
  HRESULT put_##Name(LONG i, T v) override {                           \
    if (i < 0 || i >= (N)) return BadIndex("put_" #Name);              \
    return Put(field[i], v);                                           \
  }
#define KV_LAYOUT(Name, T, field, N)                                   \
  HRESULT get_##Name(LONG i, LONG l, T* p) override {                  \
    if (i < 0 || i >= (N) || l < 0 || l > 1) return BadIndex("get_" #Name); \
    return Get(field[i][l], p);                                        \
  }                                                                    \
  HRESULT put_##Name(LONG i, LONG l, T v) override {                   \
    if (i < 0 || i >= (N) || l < 0 || l > 1) return BadIndex("put_" #Name); \
    return Put(field[i][l], v);                                        \
  }
#define KV_DISP(C, id, Name) DispProperty<&C::get_##Name, &C::put_##Name>(id, u## #Name)
#define KV_DISP_I(C, id, Name) Method_<&C::get_##Name, true>(id, u## #Name)

// ---- print album ---------------------------------------------------------------

class CPrintAlbumConfiguration : public ComObjectRoot,
                                 public DispatchImpl<CPrintAlbumConfiguration, IPrintAlbumConfiguration>,
                                 public SupportErrorInfoImpl<IPrintAlbumConfiguration> {
 public:
  using Interfaces =
      InterfaceMap<IPrintAlbumConfiguration, Via<IDispatch, IPrintAlbumConfiguration>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintAlbumConfiguration>> DispatchTable();

  HRESULT FinalConstruct() {
    helpString_[0][0] = Text(13, u"The box surrounding the picture above should measure exactly 5 inches x 7 inches");
    helpString_[0][1] = Text(13, u"The box surrounding the picture above should measure exactly 13 cm x 18 cm.");
    helpString_[1][0] = Text(14, u"If the size is wrong, verify that \"Shrink to Fit\" is turned off in the Print Dialog");
    helpString_[1][1] = helpString_[1][0];
    const float posX[2][2] = {{7.7f, 0.5f}, {7.9f, 0.5f}}, posY[2][2] = {{5.3f, 5.7719f}, {5.3f, 5.4219f}};
    for (int i = 0; i < 2; ++i) {
      for (int l = 0; l < 2; ++l) {
        helpPosX_[i][l] = posX[i][l];
        helpPosY_[i][l] = posY[i][l];
        helpAngle_[i][l] = l == 0 ? 90.0f : 0.0f;
      }
      helpFontType_[i] = Text(31, u"Helvetica");
      helpFontEncoding_[i] = Text(32, u"WinAnsiEncoding");
      helpFontSize_[i] = Size(33, u"10.0", 10.0f);
    }
    const float boxes[4][2][4] = {
        {{0.5f, 5.5f, 7.0f, 5.0f}, {0.5f, 6.0719f, 7.0866f, 5.1181f}},
        {{0.5f, 0.5f, 3.5f, 5.0f}, {0.5f, 0.5f, 3.5433f, 4.7244f}},
        {{4.5f, 0.5f, 3.5f, 2.25f}, {4.2167f, 0.5f, 3.5433f, 4.7244f}},
        {{4.5f, 2.85f, 3.5f, 2.25f}, {0.0f, 0.0f, 0.0f, 0.0f}},
    };
    for (int b = 0; b < 4; ++b) {
      for (int l = 0; l < 2; ++l) {
        photoX_[b][l] = boxes[b][l][0];
        photoY_[b][l] = boxes[b][l][1];
        photoW_[b][l] = boxes[b][l][2];
        photoH_[b][l] = boxes[b][l][3];
      }
    }
    return S_OK;
  }

  KV_SCALAR(PageMarginLeft, FLOAT, marginLeft_)
  KV_SCALAR(PageMarginRight, FLOAT, marginRight_)
  KV_SCALAR(PageMarginTop, FLOAT, marginTop_)
  KV_SCALAR(PageMarginBottom, FLOAT, marginBottom_)
  KV_SCALAR(OutlineRed, FLOAT, red_)
  KV_SCALAR(OutlineBlue, FLOAT, blue_)
  KV_SCALAR(OutlineGreen, FLOAT, green_)
  KV_LAYOUT(HelpString, BSTR, helpString_, 2)
  KV_LAYOUT(HelpStringPosX, FLOAT, helpPosX_, 2)
  KV_LAYOUT(HelpStringPosY, FLOAT, helpPosY_, 2)
  KV_LAYOUT(HelpStringAngle, FLOAT, helpAngle_, 2)
  KV_LAYOUT(PhotoPosX, FLOAT, photoX_, 4)
  KV_LAYOUT(PhotoPosY, FLOAT, photoY_, 4)
  KV_LAYOUT(PhotoWidth, FLOAT, photoW_, 4)
  KV_LAYOUT(PhotoHeight, FLOAT, photoH_, 4)
  KV_INDEXED(HelpStringFontType, BSTR, helpFontType_, 2)
  KV_INDEXED(HelpStringFontEncoding, BSTR, helpFontEncoding_, 2)
  KV_INDEXED(HelpStringFontSize, FLOAT, helpFontSize_, 2)
  KV_SCALAR(PageLayout, LONG, layout_)

 private:
  static HRESULT BadIndex(const char* accessor) {
    return Fail(CLSID_PrintAlbumConfiguration, IID_IPrintAlbumConfiguration,
                std::string("CPrintAlbumConfiguration::") + accessor + " - Index out of range");
  }
  FLOAT marginLeft_ = 0.5f, marginRight_ = 0.5f, marginTop_ = 0.5f, marginBottom_ = 0.5f;
  FLOAT red_ = 0.6f, blue_ = 0.6f, green_ = 0.6f;
  Bstr helpString_[2][2];
  FLOAT helpPosX_[2][2] = {}, helpPosY_[2][2] = {}, helpAngle_[2][2] = {};
  FLOAT photoX_[4][2] = {}, photoY_[4][2] = {}, photoW_[4][2] = {}, photoH_[4][2] = {};
  Bstr helpFontType_[2], helpFontEncoding_[2];
  FLOAT helpFontSize_[2] = {};
  LONG layout_ = 0;
};

std::span<const DispatchEntry<CPrintAlbumConfiguration>> CPrintAlbumConfiguration::DispatchTable() {
  using C = CPrintAlbumConfiguration;
  static const DispatchEntry<C> kTable[] = {
      KV_DISP(C, 1, PageMarginLeft),   KV_DISP(C, 2, PageMarginRight),     KV_DISP(C, 3, PageMarginTop),
      KV_DISP(C, 4, PageMarginBottom), KV_DISP(C, 5, OutlineRed),          KV_DISP(C, 6, OutlineBlue),
      KV_DISP(C, 7, OutlineGreen),     KV_DISP_I(C, 49, HelpString),       KV_DISP_I(C, 50, HelpStringPosX),
      KV_DISP_I(C, 51, HelpStringPosY), KV_DISP_I(C, 52, HelpStringAngle), KV_DISP_I(C, 53, PhotoPosX),
      KV_DISP_I(C, 54, PhotoPosY),     KV_DISP_I(C, 55, PhotoWidth),       KV_DISP_I(C, 56, PhotoHeight),
      KV_DISP_I(C, 57, HelpStringFontType), KV_DISP_I(C, 58, HelpStringFontEncoding),
      KV_DISP_I(C, 59, HelpStringFontSize), KV_DISP(C, 60, PageLayout),
  };
  return kTable;
}

// ---- contact sheet -------------------------------------------------------------

class CPrintContactSheetConfiguration
    : public ComObjectRoot,
      public DispatchImpl<CPrintContactSheetConfiguration, IPrintContactSheetConfiguration>,
      public SupportErrorInfoImpl<IPrintContactSheetConfiguration> {
 public:
  using Interfaces = InterfaceMap<IPrintContactSheetConfiguration, Via<IDispatch, IPrintContactSheetConfiguration>,
                                  ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintContactSheetConfiguration>> DispatchTable();

  HRESULT FinalConstruct() {
    bannerJpg_ = Bstr(u"ContactSheetBanner.jpg");
    const float posY[3][2] = {{10.3f, 10.3f}, {10.1f, 10.05f}, {9.9f, 9.8f}};
    for (int k = 0; k < 3; ++k) {
      titleFontType_[k] = Text(31, u"Helvetica");
      titleFontEncoding_[k] = Text(32, u"WinAnsiEncoding");
      titleFontSize_[k] = Size(34, u"8.0", 8.0f);
      for (int l = 0; l < 2; ++l) {
        titlePosX_[k][l] = 0.6f;
        titlePosY_[k][l] = posY[k][l];
      }
    }
    filenameFontType_ = Text(31, u"Helvetica");
    filenameFontEncoding_ = Text(32, u"WinAnsiEncoding");
    filenameFontSize_ = Size(33, u"8.0", 8.0f);
    bannerString_ = Text(15, u"");
    bannerFontType_ = Text(31, u"Helvetica");
    bannerFontEncoding_ = Text(32, u"WinAnsiEncoding");
    bannerFontSize_ = Size(33, u"8.0", 8.0f);
    return S_OK;
  }

  KV_SCALAR(ImagesPerRow, LONG, perRow_)
  KV_SCALAR(ImagesPerColumn, LONG, perColumn_)
  KV_SCALAR(ColumnGapToImagePercent, LONG, columnGap_)
  KV_SCALAR(RowGapToImagePercent, LONG, rowGap_)
  KV_SCALAR(PageMarginLeft, FLOAT, marginLeft_)
  KV_SCALAR(PageMarginRight, FLOAT, marginRight_)
  KV_SCALAR(PageMarginTop, FLOAT, marginTop_)
  KV_SCALAR(PageMarginBottom, FLOAT, marginBottom_)
  KV_SCALAR(BannerJpg, BSTR, bannerJpg_)
  KV_INDEXED(TitleStringFontType, BSTR, titleFontType_, 3)
  KV_INDEXED(TitleStringFontEncoding, BSTR, titleFontEncoding_, 3)
  KV_INDEXED(TitleStringFontSize, FLOAT, titleFontSize_, 3)
  KV_LAYOUT(TitleStringPosX, FLOAT, titlePosX_, 3)
  KV_LAYOUT(TitleStringPosY, FLOAT, titlePosY_, 3)
  KV_SCALAR(FilenameStringFontType, BSTR, filenameFontType_)
  KV_SCALAR(FilenameStringFontEncoding, BSTR, filenameFontEncoding_)
  KV_SCALAR(FilenameStringFontSize, FLOAT, filenameFontSize_)
  KV_INDEXED(FilenameAllowanceHeight, FLOAT, filenameAllowance_, 2)
  KV_SCALAR(BannerHeight, FLOAT, bannerHeight_)
  KV_SCALAR(BannerGap, FLOAT, bannerGap_)
  KV_SCALAR(BannerString, BSTR, bannerString_)
  KV_SCALAR(BannerStringPosX, FLOAT, bannerPosX_)
  KV_SCALAR(BannerStringPosY, FLOAT, bannerPosY_)
  KV_SCALAR(BannerStringFontType, BSTR, bannerFontType_)
  KV_SCALAR(BannerStringFontEncoding, BSTR, bannerFontEncoding_)
  KV_SCALAR(BannerStringFontSize, FLOAT, bannerFontSize_)
  KV_SCALAR(PageLayout, LONG, layout_)

 private:
  static HRESULT BadIndex(const char* accessor) {
    return Fail(CLSID_PrintContactSheetConfiguration, IID_IPrintContactSheetConfiguration,
                std::string("CPrintContactSheetConfiguration::") + accessor + " - Index out of range");
  }
  LONG perRow_ = 4, perColumn_ = 6, columnGap_ = 10, rowGap_ = 10;
  FLOAT marginLeft_ = 0.5f, marginRight_ = 0.5f, marginTop_ = 0.5f, marginBottom_ = 0.5f;
  Bstr bannerJpg_;
  Bstr titleFontType_[3], titleFontEncoding_[3];
  FLOAT titleFontSize_[3] = {}, titlePosX_[3][2] = {}, titlePosY_[3][2] = {};
  Bstr filenameFontType_, filenameFontEncoding_;
  FLOAT filenameFontSize_ = 8.0f;
  FLOAT filenameAllowance_[2] = {0.2f, 0.2f};
  FLOAT bannerHeight_ = 0.75f, bannerGap_ = 0.15f;
  Bstr bannerString_;
  FLOAT bannerPosX_ = 4.25f, bannerPosY_ = 10.3f;
  Bstr bannerFontType_, bannerFontEncoding_;
  FLOAT bannerFontSize_ = 8.0f;
  LONG layout_ = 0;
};

std::span<const DispatchEntry<CPrintContactSheetConfiguration>> CPrintContactSheetConfiguration::DispatchTable() {
  using C = CPrintContactSheetConfiguration;
  static const DispatchEntry<C> kTable[] = {
      KV_DISP(C, 1, ImagesPerRow),          KV_DISP(C, 2, ImagesPerColumn),
      KV_DISP(C, 4, ColumnGapToImagePercent), KV_DISP(C, 5, RowGapToImagePercent),
      KV_DISP(C, 7, PageMarginLeft),        KV_DISP(C, 8, PageMarginRight),
      KV_DISP(C, 9, PageMarginTop),         KV_DISP(C, 10, PageMarginBottom),
      KV_DISP(C, 13, BannerJpg),            KV_DISP_I(C, 14, TitleStringFontType),
      KV_DISP_I(C, 15, TitleStringFontEncoding), KV_DISP_I(C, 16, TitleStringFontSize),
      KV_DISP_I(C, 17, TitleStringPosX),    KV_DISP_I(C, 18, TitleStringPosY),
      KV_DISP(C, 19, FilenameStringFontType), KV_DISP(C, 20, FilenameStringFontEncoding),
      KV_DISP(C, 21, FilenameStringFontSize), KV_DISP_I(C, 22, FilenameAllowanceHeight),
      KV_DISP(C, 23, BannerHeight),         KV_DISP(C, 24, BannerGap),
      KV_DISP(C, 25, BannerString),         KV_DISP(C, 26, BannerStringPosX),
      KV_DISP(C, 27, BannerStringPosY),     KV_DISP(C, 28, BannerStringFontType),
      KV_DISP(C, 29, BannerStringFontEncoding), KV_DISP(C, 30, BannerStringFontSize),
      KV_DISP(C, 31, PageLayout),
  };
  return kTable;
}

// ---- jewel case ----------------------------------------------------------------

class CPrintJewelCaseConfiguration
    : public ComObjectRoot,
      public DispatchImpl<CPrintJewelCaseConfiguration, IPrintJewelCaseConfiguration>,
      public SupportErrorInfoImpl<IPrintJewelCaseConfiguration> {
 public:
  using Interfaces =
      InterfaceMap<IPrintJewelCaseConfiguration, Via<IDispatch, IPrintJewelCaseConfiguration>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintJewelCaseConfiguration>> DispatchTable();

  HRESULT FinalConstruct() {
    backImage_ = Bstr(u"JCBackInsert.jpg");
    frontImage_ = Bstr(u"JCFrontInsert.jpg");
    frameImage_ = Bstr(u"JCImageAreaWShadow.jpg");
    titleBoxImage_ = Bstr(u"JCFrontTitleBox.jpg");
    static const char16_t* const kHelp[9] = {
        u"CD Jewel Case Front Cover and Insert (Page 1)",
        u"- Print on any inkjet paper, then cut along dashed lines",
        u"- Should fit exactly into jewel case",
        u"- If size is wrong, verify that \"Shrink to Fit\" is turned off in the print dialog",
        u"CD Label (Page 2)",
        u"- Print on any CD Label stock, then peel off and affix to CD",
        u"- Print on any CD Label stock, then peel off and affix to CD",
        u"- Print on any CD Label stock, then peel off and affix to CD",
        u"- Print on any CD Label stock, then peel off and affix to CD",
    };
    const float helpY[9] = {0.6f, 0.85f, 0.85f, 0.6f, 0.6f, 0.85f, 0.85f, 0.85f, 0.85f};
    for (int i = 0; i < 9; ++i) {
      help_[i] = Text(4 + i, kHelp[i]);
      helpX_[i] = 5.77f + 0.25f * static_cast<float>(i);
      helpY_[i] = helpY[i];
      helpAngle_[i] = 90.0f;
      helpType_[i] = Text(31, u"Helvetica");
      helpEncoding_[i] = Text(32, u"WinAnsiEncoding");
      helpSize_[i] = Size(33, u"12.0", 12.0f);
    }
    const float titleY[3] = {1.75f, 1.45f, 1.15f};
    static const char16_t* const kBack[3] = {u"kv orlune disc", u"Created: ", u"Total Images: "};
    const float backX[3] = {1.35f, 1.35f, 4.85f}, backY[3] = {6.0f, 5.75f, 5.75f};
    for (int k = 0; k < 3; ++k) {
      titleX_[k] = 3.85f;
      titleY_[k] = titleY[k];
      titleAngle_[k] = 0.0f;
      titleSize_[k] = Size(34, u"14.0", 14.0f);
      titleEncoding_[k] = Text(32, u"WinAnsiEncoding");
      titleType_[k] = Text(31, u"Times-Roman");
      back_[k] = Text(1 + k, kBack[k]);
      backX_[k] = backX[k];
      backY_[k] = backY[k];
      backType_[k] = Text(31, u"Helvetica");
      backEncoding_[k] = Text(32, u"WinAnsiEncoding");
      backSize_[k] = Size(33, u"12.0", 12.0f);
    }
    bindingEncoding_ = Text(32, u"WinAnsiEncoding");
    bindingType_ = Text(31, u"Helvetica");
    bindingSize_ = Size(33, u"12.0", 12.0f);
    return S_OK;
  }

  KV_SCALAR(BackCoverWidth, FLOAT, backW_)
  KV_SCALAR(BackCoverHeight, FLOAT, backH_)
  KV_SCALAR(BackCoverPosX, FLOAT, backPosX_)
  KV_SCALAR(BackCoverPosY, FLOAT, backPosY_)
  KV_SCALAR(BackCoverImageFile, BSTR, backImage_)
  KV_SCALAR(FrontCoverWidth, FLOAT, frontW_)
  KV_SCALAR(FrontCoverHeight, FLOAT, frontH_)
  KV_SCALAR(FrontCoverPosX, FLOAT, frontX_)
  KV_SCALAR(FrontCoverPosY, FLOAT, frontY_)
  KV_INDEXED(HelpString, BSTR, help_, 9)
  KV_INDEXED(HelpStringPosX, FLOAT, helpX_, 9)
  KV_INDEXED(HelpStringPosY, FLOAT, helpY_, 9)
  KV_INDEXED(HelpStringAngle, FLOAT, helpAngle_, 9)
  KV_INDEXED(HelpStringType, BSTR, helpType_, 9)
  KV_INDEXED(HelpStringEncoding, BSTR, helpEncoding_, 9)
  KV_INDEXED(HelpStringFontSize, FLOAT, helpSize_, 9)
  KV_SCALAR(FrontCoverImageFile, BSTR, frontImage_)
  KV_SCALAR(FrontCoverPictureFrameWidth, FLOAT, frameW_)
  KV_SCALAR(FrontCoverPictureFrameHeight, FLOAT, frameH_)
  KV_SCALAR(FrontCoverPictureFramePosX, FLOAT, frameX_)
  KV_SCALAR(FrontCoverPictureFramePoxY, FLOAT, frameY_)
  KV_SCALAR(FrontCoverPictureFrameImageFile, BSTR, frameImage_)
  KV_SCALAR(FrontCoverPictureBBWidth, FLOAT, pictureW_)
  KV_SCALAR(FrontCoverPictureBBHeight, FLOAT, pictureH_)
  KV_SCALAR(FrontCoverPictureBBPosX, FLOAT, pictureX_)
  KV_SCALAR(FrontCoverPictureBBPosY, FLOAT, pictureY_)
  KV_SCALAR(FrontCoverPictureImageIndex, SHORT, pictureIndex_)
  KV_SCALAR(ImageArrayBBHeight, FLOAT, arrayH_)
  KV_SCALAR(ImageArrayBBWidth, FLOAT, arrayW_)
  KV_SCALAR(ImageArrayBBPosX, FLOAT, arrayX_)
  KV_SCALAR(ImageArrayBBPosY, FLOAT, arrayY_)
  KV_SCALAR(ImageArrayImagesPerColumn, LONG, arrayRows_)
  KV_SCALAR(ImageArrayImagesPerRow, LONG, arrayColumns_)
  KV_SCALAR(ImageArrayColGapPercent, LONG, arrayColGap_)
  KV_SCALAR(ImageArrayRowGapPercent, LONG, arrayRowGap_)
  KV_SCALAR(CutLineDashPattern, LONG, dash_)
  KV_SCALAR(CutLineGray, FLOAT, cutGray_)
  KV_SCALAR(FoldLineGray, FLOAT, foldGray_)
  KV_SCALAR(CutLineOverhang, FLOAT, overhang_)
  KV_SCALAR(FoldLineWidth, FLOAT, foldWidth_)
  KV_INDEXED(TitleStringPosX, FLOAT, titleX_, 3)
  KV_INDEXED(TitleStringPosY, FLOAT, titleY_, 3)
  KV_INDEXED(TitleStringAngle, FLOAT, titleAngle_, 3)
  KV_INDEXED(TitleStringFontSize, FLOAT, titleSize_, 3)
  KV_INDEXED(TitleStringFontEncoding, BSTR, titleEncoding_, 3)
  KV_INDEXED(TitleStringFontType, BSTR, titleType_, 3)
  KV_INDEXED(BackCoverString, BSTR, back_, 3)
  KV_INDEXED(BackCoverStringPosX, FLOAT, backX_, 3)
  KV_INDEXED(BackCoverStringPosY, FLOAT, backY_, 3)
  KV_INDEXED(BackCoverStringFontType, BSTR, backType_, 3)
  KV_INDEXED(BackCoverStringFontEncoding, BSTR, backEncoding_, 3)
  KV_INDEXED(BackCoverStringFontSize, FLOAT, backSize_, 3)
  KV_INDEXED(BindingLabelTitleStringPosX, FLOAT, bindingX_, 2)
  KV_INDEXED(BindingLabelTitleStringPosY, FLOAT, bindingY_, 2)
  KV_INDEXED(BindingLabelTitleStringAngle, FLOAT, bindingAngle_, 2)
  KV_SCALAR(BindingLabelTitleStringFontEncoding, BSTR, bindingEncoding_)
  KV_SCALAR(BindingLabelTitleStringFontType, BSTR, bindingType_)
  KV_SCALAR(BindingLabelTitleStringFontSize, FLOAT, bindingSize_)
  KV_SCALAR(FrontCoverTitleBoxWidth, FLOAT, titleBoxW_)
  KV_SCALAR(FrontCoverTitleBoxHeight, FLOAT, titleBoxH_)
  KV_SCALAR(FrontCoverTitleBoxPosX, FLOAT, titleBoxX_)
  KV_SCALAR(FrontCoverTitleBoxPosY, FLOAT, titleBoxY_)
  KV_SCALAR(FrontCoverTitleBoxImageFile, BSTR, titleBoxImage_)
  KV_SCALAR(PageLayout, LONG, layout_)

 private:
  static HRESULT BadIndex(const char* accessor) {
    return Fail(CLSID_PrintJewelCaseConfiguration, IID_IPrintJewelCaseConfiguration,
                std::string("CPrintJewelCaseConfiguration::") + accessor + " - Index out of range");
  }
  FLOAT backW_ = 5.906f, backH_ = 4.625f, backPosX_ = 0.75f, backPosY_ = 5.625f;
  Bstr backImage_;
  FLOAT frontW_ = 4.8f, frontH_ = 4.795f, frontX_ = 0.75f, frontY_ = 0.7f;
  Bstr help_[9];
  FLOAT helpX_[9] = {}, helpY_[9] = {}, helpAngle_[9] = {};
  Bstr helpType_[9], helpEncoding_[9];
  FLOAT helpSize_[9] = {};
  Bstr frontImage_;
  FLOAT frameW_ = 3.875f, frameH_ = 3.875f, frameX_ = 0.85f, frameY_ = 1.45f;
  Bstr frameImage_;
  FLOAT pictureW_ = 3.425f, pictureH_ = 3.425f, pictureX_ = 1.05f, pictureY_ = 1.69f;
  SHORT pictureIndex_ = 1;
  FLOAT arrayH_ = 3.625f, arrayW_ = 4.906f, arrayX_ = 1.25f, arrayY_ = 6.375f;
  LONG arrayRows_ = 4, arrayColumns_ = 4, arrayColGap_ = 10, arrayRowGap_ = 10;
  LONG dash_ = 6;
  FLOAT cutGray_ = 0.6f, foldGray_ = 0.6f, overhang_ = 0.12f, foldWidth_ = 0.25f;
  FLOAT titleX_[3] = {}, titleY_[3] = {}, titleAngle_[3] = {}, titleSize_[3] = {};
  Bstr titleEncoding_[3], titleType_[3];
  Bstr back_[3];
  FLOAT backX_[3] = {}, backY_[3] = {};
  Bstr backType_[3], backEncoding_[3];
  FLOAT backSize_[3] = {};
  FLOAT bindingX_[2] = {6.53f, 0.87f}, bindingY_[2] = {7.9375f, 7.9375f}, bindingAngle_[2] = {270.0f, 90.0f};
  Bstr bindingEncoding_, bindingType_;
  FLOAT bindingSize_ = 12.0f;
  FLOAT titleBoxW_ = 3.0f, titleBoxH_ = 1.3f, titleBoxX_ = 2.4f, titleBoxY_ = 0.825f;
  Bstr titleBoxImage_;
  LONG layout_ = 0;
};

std::span<const DispatchEntry<CPrintJewelCaseConfiguration>> CPrintJewelCaseConfiguration::DispatchTable() {
  using C = CPrintJewelCaseConfiguration;
  static const DispatchEntry<C> kTable[] = {
      KV_DISP(C, 1, BackCoverWidth), KV_DISP(C, 2, BackCoverHeight), KV_DISP(C, 3, BackCoverPosX),
      KV_DISP(C, 4, BackCoverPosY), KV_DISP(C, 5, BackCoverImageFile), KV_DISP(C, 6, FrontCoverWidth),
      KV_DISP(C, 7, FrontCoverHeight), KV_DISP(C, 8, FrontCoverPosX), KV_DISP(C, 9, FrontCoverPosY),
      KV_DISP_I(C, 10, HelpString), KV_DISP_I(C, 11, HelpStringPosX), KV_DISP_I(C, 12, HelpStringPosY),
      KV_DISP_I(C, 13, HelpStringAngle), KV_DISP_I(C, 14, HelpStringType), KV_DISP_I(C, 15, HelpStringEncoding),
      KV_DISP_I(C, 16, HelpStringFontSize), KV_DISP(C, 17, FrontCoverImageFile),
      KV_DISP(C, 18, FrontCoverPictureFrameWidth), KV_DISP(C, 19, FrontCoverPictureFrameHeight),
      KV_DISP(C, 20, FrontCoverPictureFramePosX), KV_DISP(C, 22, FrontCoverPictureFramePoxY),
      KV_DISP(C, 23, FrontCoverPictureFrameImageFile), KV_DISP(C, 24, FrontCoverPictureBBWidth),
      KV_DISP(C, 25, FrontCoverPictureBBHeight), KV_DISP(C, 26, FrontCoverPictureBBPosX),
      KV_DISP(C, 27, FrontCoverPictureBBPosY), KV_DISP(C, 28, FrontCoverPictureImageIndex),
      KV_DISP(C, 29, ImageArrayBBHeight), KV_DISP(C, 30, ImageArrayBBWidth), KV_DISP(C, 31, ImageArrayBBPosX),
      KV_DISP(C, 32, ImageArrayBBPosY), KV_DISP(C, 33, ImageArrayImagesPerColumn),
      KV_DISP(C, 34, ImageArrayImagesPerRow), KV_DISP(C, 35, ImageArrayColGapPercent),
      KV_DISP(C, 36, ImageArrayRowGapPercent), KV_DISP(C, 37, CutLineDashPattern), KV_DISP(C, 38, CutLineGray),
      KV_DISP(C, 39, FoldLineGray), KV_DISP(C, 40, CutLineOverhang), KV_DISP(C, 41, FoldLineWidth),
      KV_DISP_I(C, 42, TitleStringPosX), KV_DISP_I(C, 43, TitleStringPosY), KV_DISP_I(C, 44, TitleStringAngle),
      KV_DISP_I(C, 45, TitleStringFontSize), KV_DISP_I(C, 46, TitleStringFontEncoding),
      KV_DISP_I(C, 47, TitleStringFontType), KV_DISP_I(C, 48, BackCoverString),
      KV_DISP_I(C, 49, BackCoverStringPosX), KV_DISP_I(C, 50, BackCoverStringPosY),
      KV_DISP_I(C, 51, BackCoverStringFontType), KV_DISP_I(C, 52, BackCoverStringFontEncoding),
      KV_DISP_I(C, 53, BackCoverStringFontSize), KV_DISP_I(C, 54, BindingLabelTitleStringPosX),
      KV_DISP_I(C, 55, BindingLabelTitleStringPosY), KV_DISP_I(C, 56, BindingLabelTitleStringAngle),
      KV_DISP(C, 57, BindingLabelTitleStringFontEncoding), KV_DISP(C, 58, BindingLabelTitleStringFontType),
      KV_DISP(C, 59, BindingLabelTitleStringFontSize), KV_DISP(C, 60, FrontCoverTitleBoxWidth),
      KV_DISP(C, 61, FrontCoverTitleBoxHeight), KV_DISP(C, 62, FrontCoverTitleBoxPosX),
      KV_DISP(C, 63, FrontCoverTitleBoxPosY), KV_DISP(C, 64, FrontCoverTitleBoxImageFile),
      KV_DISP(C, 65, PageLayout),
  };
  return kTable;
}

}  // namespace

HRESULT CreatePrintAlbumConfiguration(REFIID iid, void** ppv) {
  return ComObject<CPrintAlbumConfiguration>::CreateInstance(iid, ppv);
}
HRESULT CreatePrintContactSheetConfiguration(REFIID iid, void** ppv) {
  return ComObject<CPrintContactSheetConfiguration>::CreateInstance(iid, ppv);
}
HRESULT CreatePrintJewelCaseConfiguration(REFIID iid, void** ppv) {
  return ComObject<CPrintJewelCaseConfiguration>::CreateInstance(iid, ppv);
}

}  // namespace vexa::kvprint
