// CPrintContactSheet: the index print, pages of captioned thumbnails in a
// grid under a banner with the album's title lines, the page's range of
// photo numbers and the logo.
#include <cmath>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "printing/ComSupport.h"
#include "printing/kvprint/ProductSupport.h"

namespace vexa::kvprint {
namespace {

using namespace vexa::com;
using namespace vexa::pdf;

constexpr char kLogoFile[] = "KvQuorelLogo.jpg";

class CPrintContactSheet : public ComObjectRoot,
                           public DispatchImpl<CPrintContactSheet, IPrintContactSheet>,
                           public SupportErrorInfoImpl<IPrintContactSheet> {
 public:
  using Interfaces = InterfaceMap<IPrintContactSheet, Via<IDispatch, IPrintContactSheet>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintContactSheet>> DispatchTable();

  HRESULT FinalConstruct() {
    if (FAILED(CoCreateInstance(CLSID_ImageCollection, nullptr, CLSCTX_ALL, IID_IImageCollection,
                                reinterpret_cast<void**>(collection_.Put())))) {
      return Error("FinalConstruct - Failed to create IImageCollection");
    }
    if (FAILED(CoCreateInstance(CLSID_PrintContactSheetConfiguration, nullptr, CLSCTX_ALL,
                                IID_IPrintContactSheetConfiguration, reinterpret_cast<void**>(config_.Put())))) {
      return Error("FinalConstruct - Failed to create IPrintContactSheetConfiguration");
    }
    for (Bstr& t : titles_) t = Bstr(u"");
    ReadConfiguration();
    return S_OK;
  }

  HRESULT GetImageCollection(IImageCollection** out) override {
    if (!out) return E_POINTER;
    if (collection_) *out = ComPtr<IImageCollection>(collection_).Detach();
    return S_OK;
  }

  HRESULT SetImageCollection(IImageCollection* collection) override {
    if (!collection) return E_POINTER;
    collection_ = ComPtr<IImageCollection>(collection);
    return S_OK;
  }

  HRESULT AddImagePathname(BSTR pathname) override {
    if (!collection_) {
      HRESULT hr = CoCreateInstance(CLSID_ImageCollection, nullptr, CLSCTX_ALL, IID_IImageCollection,
                                    reinterpret_cast<void**>(collection_.Put()));
      if (FAILED(hr)) return Error("AddImagePathname - Failed to create IImageCollection");
    }
    ComPtr<IImage> image;
    HRESULT hr = CoCreateInstance(CLSID_Image, nullptr, CLSCTX_ALL, IID_IImage, reinterpret_cast<void**>(image.Put()));
    if (FAILED(hr)) return hr;
    hr = image->SetPathname(pathname);
    if (FAILED(hr)) return hr;
    ComPtr<IDispatch> disp;
    if (FAILED(image->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.Put()))) ||
        FAILED(collection_->Add(disp.Get()))) {
      return Error("AddImagePathname - Unable to add image to collection");
    }
    return S_OK;
  }

  HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) override {
    BSTR lines[3] = {line1, line2, line3};
    for (int k = 0; k < 3; ++k) titles_[k] = Bstr::FromUtf8(U8(lines[k]));
    return S_OK;
  }

  HRESULT Clean() override { return S_OK; }

  HRESULT GeneratePDF(BSTR pathname, BSTR prefixStr, LONG numberOfDigits) override {
    if (!ReadConfiguration()) return Error("GeneratePDF - Failed to read the configuration");
    const long count = CountOf(collection_.Get());
    if (std::string why = CheckPhotoCount(count); !why.empty()) return Error("GeneratePDF - " + why);
    if (perRow_ <= 0 || perColumn_ <= 0) {
      return Error("GeneratePDF - The grid has no cells: ImagesPerRow and ImagesPerColumn must be 1 or more");
    }
    const long perPage = perRow_ * perColumn_;
    const long pages = (count + perPage - 1) / perPage;
    std::string why;
    PdfContextPtr doc = OpenDocument(U8(pathname), static_cast<int>(pages), static_cast<int>(count + 2), &why);
    if (!doc) return Error("GeneratePDF - Cannot write the PDF: " + why);
    PdfContext* ctx = doc.get();
    const char* box = MediaBox(layout_);
    for (long p = 1; p <= pages; ++p) cpdf_startPage(ctx, static_cast<int>(p), 0, box, box);
    const std::string prefix = U8(prefixStr);
    for (long i = 0; i < count; ++i) {
      ComPtr<IImage> image = PhotoAt(collection_.Get(), i);
      if (!image) break;
      DrawCell(ctx, i, image.Get(), prefix, numberOfDigits);
    }
    DrawFurniture(ctx, pages, perPage, count);
    if (!WriteDocument(ctx, &why)) return Error("GeneratePDF - Cannot write the PDF: " + why);
    return S_OK;
  }

  HRESULT get_Configuration(IPrintContactSheetConfiguration** out) override {
    if (!out) return E_POINTER;
    if (config_) *out = ComPtr<IPrintContactSheetConfiguration>(config_).Detach();
    return S_OK;
  }

 private:
  HRESULT Error(const std::string& what) {
    return Fail(CLSID_PrintContactSheet, IID_IPrintContactSheet, "CPrintContactSheet::" + what);
  }

  bool ReadConfiguration() {
    IPrintContactSheetConfiguration* c = config_.Get();
    if (!c) return false;
    bool ok = SUCCEEDED(c->get_PageLayout(&layout_));
    pageWidth_ = PageWidth(layout_);
    pageHeight_ = PageHeight(layout_);
    const LONG l = layout_ != 0 ? 1 : 0;
    ok = ok && SUCCEEDED(c->get_ImagesPerRow(&perRow_)) && SUCCEEDED(c->get_ImagesPerColumn(&perColumn_)) &&
         SUCCEEDED(c->get_RowGapToImagePercent(&rowGap_)) && SUCCEEDED(c->get_ColumnGapToImagePercent(&columnGap_)) &&
         SUCCEEDED(c->get_PageMarginLeft(&marginLeft_)) && SUCCEEDED(c->get_PageMarginRight(&marginRight_)) &&
         SUCCEEDED(c->get_PageMarginTop(&marginTop_)) && SUCCEEDED(c->get_PageMarginBottom(&marginBottom_));
    // The titles and the page range are configured for the Letter page; on
    // the taller A4 page they move up by the difference, keeping their
    // distance from the top edge.
    const float lift = l ? kA4Height - kLetterHeight : 0.0f;
    for (LONG k = 0; k < 3 && ok; ++k) {
      FLOAT y = 0;
      ok = SUCCEEDED(c->get_TitleStringPosX(k, l, &titleX_[k])) && SUCCEEDED(c->get_TitleStringPosY(k, l, &y)) &&
           SUCCEEDED(c->get_TitleStringFontType(k, titleFont_[k].Out())) &&
           SUCCEEDED(c->get_TitleStringFontSize(k, &titleSize_[k])) &&
           SUCCEEDED(c->get_TitleStringFontEncoding(k, titleEncoding_[k].Out()));
      titleY_[k] = y + lift;
    }
    FLOAT bannerY = 0;
    ok = ok && SUCCEEDED(c->get_BannerHeight(&bannerHeight_)) && SUCCEEDED(c->get_BannerGap(&bannerGap_)) &&
         SUCCEEDED(c->get_FilenameStringFontSize(&filenameSize_)) &&
         SUCCEEDED(c->get_FilenameAllowanceHeight(l, &filenameAllowance_)) &&
         SUCCEEDED(c->get_BannerStringPosX(&bannerX_)) && SUCCEEDED(c->get_BannerStringPosY(&bannerY)) &&
         SUCCEEDED(c->get_BannerStringFontSize(&bannerSize_)) && SUCCEEDED(c->get_BannerJpg(bannerJpg_.Out())) &&
         SUCCEEDED(c->get_BannerString(bannerString_.Out())) &&
         SUCCEEDED(c->get_BannerStringFontType(bannerFont_.Out())) &&
         SUCCEEDED(c->get_BannerStringFontEncoding(bannerEncoding_.Out())) &&
         SUCCEEDED(c->get_FilenameStringFontType(filenameFont_.Out())) &&
         SUCCEEDED(c->get_FilenameStringFontEncoding(filenameEncoding_.Out()));
    bannerY_ = bannerY + lift;
    return ok;
  }

  static void SelectFont(PdfContext* ctx, const Bstr& font, const Bstr& encoding, float size) {
    const std::string e = encoding.Utf8();
    cpdf_selectFont(ctx, font.Utf8(), e.empty() ? nullptr : e.c_str(), size);
  }

  void DrawCell(PdfContext* ctx, long i, IImage* image, const std::string& prefix, LONG digits) {
    const long R = perColumn_, C = perRow_;
    const double top = bannerGap_ + bannerHeight_ + marginTop_;
    const long page = i / (R * C) + 1;
    const long k = i % (R * C);
    const long row = k / C, col = k % C;
    const double captions = showFilenames_ ? R * filenameAllowance_ : 0;
    const double cellH = (pageHeight_ - captions - top - marginBottom_) / (R + columnGap_ * (R - 1) * 0.01);
    const double availW = pageWidth_ - marginLeft_ - marginRight_;
    const double cellW = availW / (C + rowGap_ * (C - 1) * 0.01);
    const double gapX = C < 2 ? 0 : (availW - C * cellW) / (C - 1);
    const double gapY = R < 2 ? 0 : (pageHeight_ - top - marginBottom_ - captions - R * cellH) / (R - 1);
    const double x = (gapX + cellW) * col + marginLeft_;
    const double y = pageHeight_ - top - cellH - (captions / R + gapY + cellH) * row;
    cpdf_switchPage(ctx, static_cast<int>(page));
    PhotoInfo photo;
    if (ReadPhoto(image, &photo) && photo.thumbWidth > 0 && photo.thumbHeight > 0) {
      const bool tall = (photo.thumbWidth / cellW) / (photo.thumbHeight / cellH) <= 1;
      PlaceJpeg(ctx, photo.thumbnail, x * 72, y * 72, 0, tall ? 0 : cellW * 72, tall ? cellH * 72 : 0);
    }
    if (showFilenames_) {
      std::string number = std::to_string(i + 1);
      while (static_cast<long>(number.size()) < digits) number.insert(number.begin(), '0');
      cpdf_beginTextBlock(ctx);
      SelectFont(ctx, filenameFont_, filenameEncoding_, filenameSize_);
      cpdf_placeText(ctx, x * 72, (y - 0.15) * 72, 0, prefix + number);
      cpdf_endTextBlock(ctx);
    }
  }

  void DrawFurniture(PdfContext* ctx, long pages, long perPage, long count) {
    const std::string art = CKvprintUtil::GetIncludePath();
    const std::string banner = JoinFolder(art, bannerJpg_.Utf8());
    // The logo is read once: its size in pixels, taken as 300 pixels an inch.
    const std::string logo = JoinFolder(art, kLogoFile);
    imaging::ImageInfo logoInfo;
    const bool haveLogo = imaging::ReadInfo(logo, &logoInfo).ok() && logoInfo.width > 0 && logoInfo.height > 0;
    const double logoW = logoInfo.width * 0.24, logoH = logoInfo.height * 0.24;
    for (long p = 1; p <= pages; ++p) {
      cpdf_switchPage(ctx, static_cast<int>(p));
      PlaceJpeg(ctx, banner, static_cast<long>(marginLeft_ * 72),
                static_cast<long>((pageHeight_ - marginTop_ - bannerHeight_) * 72),
                0, (pageWidth_ - marginLeft_ - marginRight_) * 72, bannerHeight_ * 72);
      for (int k = 0; k < 3; ++k) {
        cpdf_beginTextBlock(ctx);
        SelectFont(ctx, titleFont_[k], titleEncoding_[k], titleSize_[k]);
        cpdf_placeText(ctx, titleX_[k] * 72, titleY_[k] * 72, 0, titles_[k].Utf8());
        cpdf_endTextBlock(ctx);
      }
      long last = perPage * p;
      const long first = perPage * (p - 1) + 1;
      if (count < last) last = count;
      cpdf_beginTextBlock(ctx);
      SelectFont(ctx, bannerFont_, bannerEncoding_, bannerSize_);
      cpdf_placeText(ctx, bannerX_ * 72, bannerY_ * 72, 0,
                     bannerString_.Utf8() + std::to_string(first) + " - " + std::to_string(last));
      cpdf_endTextBlock(ctx);
      if (haveLogo) {
        PlaceJpeg(ctx, logo, static_cast<long>((pageWidth_ - marginRight_) * 72 - logoW),
                  static_cast<long>((pageHeight_ - marginTop_) * 72 - logoH), 0, logoW, logoH);
      }
    }
  }

  ComPtr<IImageCollection> collection_;
  ComPtr<IPrintContactSheetConfiguration> config_;
  bool showFilenames_ = true;
  Bstr titles_[3];
  Bstr titleFont_[3], titleEncoding_[3];
  FLOAT titleSize_[3] = {}, titleX_[3] = {}, titleY_[3] = {};
  Bstr bannerString_, bannerFont_, bannerEncoding_, bannerJpg_;
  FLOAT bannerSize_ = 0, bannerX_ = 0, bannerY_ = 0;
  Bstr filenameFont_, filenameEncoding_;
  FLOAT filenameSize_ = 0, filenameAllowance_ = 0;
  LONG perColumn_ = 0, perRow_ = 0, columnGap_ = 0, rowGap_ = 0;
  FLOAT marginLeft_ = 0, marginRight_ = 0, marginTop_ = 0, marginBottom_ = 0;
  FLOAT bannerHeight_ = 0, bannerGap_ = 0;
  LONG layout_ = 0;
  float pageWidth_ = kLetterWidth, pageHeight_ = kLetterHeight;
};

std::span<const DispatchEntry<CPrintContactSheet>> CPrintContactSheet::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CPrintContactSheet> kTable[] = {
      Method_<&CPrintContactSheet::GetImageCollection, true>(1, u"GetImageCollection"),
      Method_<&CPrintContactSheet::SetImageCollection>(2, u"SetImageCollection"),
      Method_<&CPrintContactSheet::AddImagePathname>(3, u"AddImagePathname"),
      Method_<&CPrintContactSheet::SetTitleLines>(5, u"SetTitleLines"),
      Method_<&CPrintContactSheet::Clean>(6, u"Clean"),
      Method_<&CPrintContactSheet::GeneratePDF>(7, u"GeneratePDF"),
      Method_<&CPrintContactSheet::get_Configuration, true>(8, u"Configuration"),
  };
  return kTable;
}

}  // namespace

HRESULT CreatePrintContactSheet(REFIID iid, void** ppv) {
  return ComObject<CPrintContactSheet>::CreateInstance(iid, ppv);
}

}  // namespace vexa::kvprint
