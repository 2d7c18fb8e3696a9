// CPrintAlbum: the multi-size prints PDF, one page per photo, the photo's
// normalized copy in up to four outlined boxes of standard print sizes, and
// two instruction lines for checking that the printer did not scale.
#include <cmath>

#include "platform/base/Text.h"

#include "printing/ComSupport.h"
#include "printing/kvprint/ProductSupport.h"

namespace vexa::kvprint {
namespace {

using namespace vexa::com;
using namespace vexa::pdf;

constexpr const char* kMethodPrefix = "CPrintAlbum::";

class CPrintAlbum : public ComObjectRoot,
                    public DispatchImpl<CPrintAlbum, IPrintAlbum>,
                    public SupportErrorInfoImpl<IPrintAlbum> {
 public:
  using Interfaces = InterfaceMap<IPrintAlbum, Via<IDispatch, IPrintAlbum>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintAlbum>> DispatchTable();

  HRESULT FinalConstruct() {
    if (FAILED(CoCreateInstance(CLSID_ImageCollection, nullptr, CLSCTX_ALL, IID_IImageCollection,
                                reinterpret_cast<void**>(collection_.Put())))) {
      return Error("FinalConstruct - Failed to create IImageCollection");
    }
    if (FAILED(CoCreateInstance(CLSID_PrintAlbumConfiguration, nullptr, CLSCTX_ALL, IID_IPrintAlbumConfiguration,
                                reinterpret_cast<void**>(config_.Put())))) {
      return Error("FinalConstruct - Failed to create IPrintAlbumConfiguration");
    }
    return ReadConfiguration() ? S_OK : Error("FinalConstruct - Failed to read the configuration");
  }

  HRESULT AddImagePathname(BSTR pathname, VARIANT_BOOL) override {
    if (!collection_ && FAILED(CoCreateInstance(CLSID_ImageCollection, nullptr, CLSCTX_ALL, IID_IImageCollection,
                                                reinterpret_cast<void**>(collection_.Put())))) {
      return Error("AddImagePathname - Failed to create IImageCollection");
    }
    ComPtr<IImage> image;
    if (FAILED(CoCreateInstance(CLSID_Image, nullptr, CLSCTX_ALL, IID_IImage, reinterpret_cast<void**>(image.Put())))) {
      return Error("AddImagePathname - Failed to create IImage");
    }
    if (FAILED(image->SetPathname(pathname))) return Error("AddImagePathname - Unable to set image filename");
    ComPtr<IDispatch> disp;
    if (FAILED(image->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.Put()))) ||
        FAILED(collection_->Add(disp.Get()))) {
      return Error("AddImagePathname - Unable to add image to collection");
    }
    return S_OK;
  }

  HRESULT GeneratePDF(BSTR destinationPathname) override {
    if (!ReadConfiguration()) return Error("GeneratePDF - Failed to read the configuration");
    const long count = CountOf(collection_.Get());
    if (std::string why = CheckPhotoCount(count); !why.empty()) return Error("GeneratePDF - " + why);
    std::string why;
    PdfContextPtr doc = OpenDocument(U8(destinationPathname), static_cast<int>(count), static_cast<int>(count), &why);
    if (!doc) return Error("GeneratePDF - Cannot write the PDF: " + why);
    PdfContext* ctx = doc.get();
    const char* box = MediaBox(layout_);
    for (long p = 1; p <= count; ++p) cpdf_startPage(ctx, static_cast<int>(p), 0, box, box);
    for (long i = 0; i < count; ++i) {
      ComPtr<IImage> image = PhotoAt(collection_.Get(), i);
      if (!image) break;
      cpdf_switchPage(ctx, static_cast<int>(i + 1));
      DrawPhotoPage(ctx, image.Get());
    }
    if (!WriteDocument(ctx, &why)) return Error("GeneratePDF - Cannot write the PDF: " + why);
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

  HRESULT get_Configuration(IPrintAlbumConfiguration** out) override {
    if (!out) return E_POINTER;
    if (config_) *out = ComPtr<IPrintAlbumConfiguration>(config_).Detach();
    return S_OK;
  }

 private:
  HRESULT Error(const std::string& what) {
    return Fail(CLSID_PrintAlbum, IID_IPrintAlbum, std::string(kMethodPrefix) + what);
  }

  // Copies the layout from the configuration; false at the first getter that fails.
  bool ReadConfiguration() {
    IPrintAlbumConfiguration* c = config_.Get();
    if (!c || FAILED(c->get_PageLayout(&layout_))) return false;
    pageWidth_ = PageWidth(layout_);
    pageHeight_ = PageHeight(layout_);
    const LONG l = layout_ != 0 ? 1 : 0;
    if (FAILED(c->get_PageMarginLeft(&marginLeft_)) || FAILED(c->get_PageMarginRight(&marginRight_)) ||
        FAILED(c->get_PageMarginTop(&marginTop_)) || FAILED(c->get_PageMarginBottom(&marginBottom_)) ||
        FAILED(c->get_OutlineRed(&red_)) || FAILED(c->get_OutlineGreen(&green_)) ||
        FAILED(c->get_OutlineBlue(&blue_))) {
      return false;
    }
    for (LONG i = 0; i < 2; ++i) {
      if (FAILED(c->get_HelpString(i, l, helpString_[i].Out())) ||
          FAILED(c->get_HelpStringFontType(i, helpFont_[i].Out())) ||
          FAILED(c->get_HelpStringFontEncoding(i, helpEncoding_[i].Out())) ||
          FAILED(c->get_HelpStringFontSize(i, &helpSize_[i]))) {
        return false;
      }
    }
    for (LONG i = 0; i < 2; ++i) {
      if (FAILED(c->get_HelpStringPosX(i, l, &helpX_[i])) || FAILED(c->get_HelpStringPosY(i, l, &helpY_[i])) ||
          FAILED(c->get_HelpStringAngle(i, l, &helpAngle_[i]))) {
        return false;
      }
    }
    for (LONG b = 0; b < 4; ++b) {
      if (FAILED(c->get_PhotoPosX(b, l, &photoX_[b])) || FAILED(c->get_PhotoPosY(b, l, &photoY_[b])) ||
          FAILED(c->get_PhotoWidth(b, l, &photoW_[b])) || FAILED(c->get_PhotoHeight(b, l, &photoH_[b]))) {
        return false;
      }
    }
    return true;
  }

  void DrawPhotoPage(PdfContext* ctx, IImage* image) {
    for (int b = 0; b < 4; ++b) {
      PlacePhoto(ctx, image, photoX_[b], photoY_[b], photoW_[b], photoH_[b]);
      if (photoW_[b] == 0 || photoH_[b] == 0) continue;  // an unused box has no outline either
      cpdf_setRgbColor(ctx, red_, green_, blue_);
      cpdf_rectangleInDomain(ctx, photoX_[b], photoY_[b], photoW_[b], photoH_[b]);
      cpdf_strokePath(ctx);
    }
    cpdf_beginTextBlock(ctx);
    cpdf_setRgbColor(ctx, 0, 0, 0);
    for (int i = 0; i < 2; ++i) {
      const std::string font = helpFont_[i].Utf8(), encoding = helpEncoding_[i].Utf8();
      cpdf_selectFont(ctx, font, encoding.empty() ? nullptr : encoding.c_str(), helpSize_[i]);
      std::string text = helpString_[i].Utf8();
      if (i == 0) text = base::Utf8CutBytes(text, 1023);
      cpdf_placeText(ctx, helpX_[i] * 72.0, helpY_[i] * 72.0, helpAngle_[i], text);
    }
    cpdf_endTextBlock(ctx);
  }

  // The normalized copy fitted into the box (x, y, w, h inches), turned a
  // quarter when its orientation differs from the box's, and centred on the
  // spare axis.
  void PlacePhoto(PdfContext* ctx, IImage* image, float x, float y, float w, float h) {
    if (w == 0 || h == 0) return;
    LONG H = 0, W = 0;
    if (FAILED(image->GetNormalizedHeight(&H)) || FAILED(image->GetNormalizedWidth(&W)) || W <= 0 || H <= 0) return;
    const float imageAspect = static_cast<float>(W) / static_cast<float>(H);
    const float boxAspect = w / h;
    long xPt = static_cast<long>(x * 72), yPt = static_cast<long>(y * 72);
    double angle = 0;
    const bool rotate = w > h ? H >= W : H < W;
    if (rotate) {
      angle = 90;
      xPt = static_cast<long>(w * 72 + xPt);
    }
    double width = 0, height = 0, dx = 0, dy = 0;
    if (!rotate && boxAspect < imageAspect) {
      width = w * 72;
      dy = (h * 72 - H * (w * 72) / W) / 2;
    } else if (!rotate) {
      height = h * 72;
      dx = (w * 72 - W * (h * 72) / H) / 2;
    } else if (1 / boxAspect >= imageAspect) {
      height = w * 72;
      dy = (h * 72 - W * (w * 72) / H) / 2;
    } else {
      width = h * 72;
      dx = -(w * 72 - H * (h * 72) / W) / 2;
    }
    Bstr path;
    if (FAILED(image->GetNormalizedPathname(path.Out()))) return;
    yPt = static_cast<long>(yPt + dy);
    xPt = static_cast<long>(xPt + dx);
    PlaceJpeg(ctx, path.Utf8(), static_cast<double>(xPt), static_cast<double>(yPt), angle, width, height);
  }

  ComPtr<IImageCollection> collection_;
  ComPtr<IPrintAlbumConfiguration> config_;
  LONG layout_ = 0;
  float pageWidth_ = kLetterWidth, pageHeight_ = kLetterHeight;
  FLOAT marginLeft_ = 0, marginRight_ = 0, marginTop_ = 0, marginBottom_ = 0;
  FLOAT red_ = 0, green_ = 0, blue_ = 0;
  Bstr helpString_[2], helpFont_[2], helpEncoding_[2];
  FLOAT helpSize_[2] = {}, helpX_[2] = {}, helpY_[2] = {}, helpAngle_[2] = {};
  FLOAT photoX_[4] = {}, photoY_[4] = {}, photoW_[4] = {}, photoH_[4] = {};
};

std::span<const DispatchEntry<CPrintAlbum>> CPrintAlbum::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CPrintAlbum> kTable[] = {
      Method_<&CPrintAlbum::AddImagePathname>(1, u"AddImagePathname"),
      Method_<&CPrintAlbum::GeneratePDF>(2, u"GeneratePDF"),
      Method_<&CPrintAlbum::GetImageCollection, true>(3, u"GetImageCollection"),
      Method_<&CPrintAlbum::SetImageCollection>(4, u"SetImageCollection"),
      Method_<&CPrintAlbum::get_Configuration, true>(5, u"Configuration"),
  };
  return kTable;
}

}  // namespace

HRESULT CreatePrintAlbum(REFIID iid, void** ppv) { return ComObject<CPrintAlbum>::CreateInstance(iid, ppv); }

}  // namespace vexa::kvprint
