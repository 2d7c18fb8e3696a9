// CPrintJCInsert: the jewel-case insert (back insert with thumbnails, texts,
// spines, cut and fold lines; front cover with the framed chosen photo and
// the title lines; instruction lines) on page 1, and three CD-label sheets
// (upper half, lower half, whole) with a mosaic of thumbnails, title boxes
// and a CD icon.
#include <cmath>
#include <chrono>
#include <ctime>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "printing/ComSupport.h"
#include "printing/kvprint/ProductSupport.h"

namespace vexa::kvprint {
namespace {

using namespace vexa::com;
using namespace vexa::pdf;

// A copy of every configuration value the drawing reads.
struct JCConfig {
  LONG layout = 0;
  FLOAT backW = 0, backH = 0, backX = 0, backY = 0;
  Bstr backImage;
  FLOAT frontW = 0, frontH = 0, frontX = 0, frontY = 0;
  Bstr help[9], helpType[9], helpEncoding[9];
  FLOAT helpX[9] = {}, helpY[9] = {}, helpAngle[9] = {}, helpSize[9] = {};
  Bstr frontImage;
  FLOAT frameW = 0, frameH = 0, frameX = 0, frameY = 0;
  Bstr frameImage;
  FLOAT pictureW = 0, pictureH = 0, pictureX = 0, pictureY = 0;
  SHORT pictureIndex = 0;
  FLOAT arrayH = 0, arrayW = 0, arrayX = 0, arrayY = 0;
  LONG arrayRows = 0, arrayColumns = 0, arrayColGap = 0, arrayRowGap = 0;
  LONG dash = 0;
  FLOAT cutGray = 0, foldGray = 0, overhang = 0, foldWidth = 0;
  FLOAT titleX[3] = {}, titleY[3] = {}, titleAngle[3] = {}, titleSize[3] = {};
  Bstr titleEncoding[3], titleType[3];
  Bstr back[3], backType[3], backEncoding[3];
  FLOAT backStrX[3] = {}, backStrY[3] = {}, backSize[3] = {};
  FLOAT bindingX[2] = {}, bindingY[2] = {}, bindingAngle[2] = {};
  Bstr bindingEncoding, bindingType;
  FLOAT bindingSize = 0;
  FLOAT titleBoxW = 0, titleBoxH = 0, titleBoxX = 0, titleBoxY = 0;
  Bstr titleBoxImage;
};

bool Read(IPrintJewelCaseConfiguration* c, JCConfig* k) {
  if (!c || FAILED(c->get_PageLayout(&k->layout)) || FAILED(c->get_BackCoverWidth(&k->backW))) return false;
  bool ok = SUCCEEDED(c->get_BackCoverHeight(&k->backH)) && SUCCEEDED(c->get_BackCoverPosX(&k->backX)) &&
            SUCCEEDED(c->get_BackCoverPosY(&k->backY)) && SUCCEEDED(c->get_BackCoverImageFile(k->backImage.Out())) &&
            SUCCEEDED(c->get_FrontCoverWidth(&k->frontW)) && SUCCEEDED(c->get_FrontCoverHeight(&k->frontH)) &&
            SUCCEEDED(c->get_FrontCoverPosX(&k->frontX)) && SUCCEEDED(c->get_FrontCoverPosY(&k->frontY)) &&
            SUCCEEDED(c->get_FrontCoverImageFile(k->frontImage.Out())) &&
            SUCCEEDED(c->get_FrontCoverPictureFrameWidth(&k->frameW)) &&
            SUCCEEDED(c->get_FrontCoverPictureFrameHeight(&k->frameH)) &&
            SUCCEEDED(c->get_FrontCoverPictureFramePosX(&k->frameX)) &&
            SUCCEEDED(c->get_FrontCoverPictureFramePoxY(&k->frameY)) &&
            SUCCEEDED(c->get_FrontCoverPictureFrameImageFile(k->frameImage.Out())) &&
            SUCCEEDED(c->get_FrontCoverPictureBBWidth(&k->pictureW)) &&
            SUCCEEDED(c->get_FrontCoverPictureBBHeight(&k->pictureH)) &&
            SUCCEEDED(c->get_FrontCoverPictureBBPosX(&k->pictureX)) &&
            SUCCEEDED(c->get_FrontCoverPictureBBPosY(&k->pictureY)) &&
            SUCCEEDED(c->get_FrontCoverPictureImageIndex(&k->pictureIndex)) &&
            SUCCEEDED(c->get_ImageArrayBBHeight(&k->arrayH)) && SUCCEEDED(c->get_ImageArrayBBWidth(&k->arrayW)) &&
            SUCCEEDED(c->get_ImageArrayBBPosX(&k->arrayX)) && SUCCEEDED(c->get_ImageArrayBBPosY(&k->arrayY)) &&
            SUCCEEDED(c->get_ImageArrayImagesPerColumn(&k->arrayRows)) &&
            SUCCEEDED(c->get_ImageArrayImagesPerRow(&k->arrayColumns)) &&
            SUCCEEDED(c->get_ImageArrayColGapPercent(&k->arrayColGap)) &&
            SUCCEEDED(c->get_ImageArrayRowGapPercent(&k->arrayRowGap)) &&
            SUCCEEDED(c->get_CutLineDashPattern(&k->dash)) && SUCCEEDED(c->get_CutLineGray(&k->cutGray)) &&
            SUCCEEDED(c->get_FoldLineGray(&k->foldGray)) && SUCCEEDED(c->get_CutLineOverhang(&k->overhang)) &&
            SUCCEEDED(c->get_FoldLineWidth(&k->foldWidth)) &&
            SUCCEEDED(c->get_BindingLabelTitleStringFontEncoding(k->bindingEncoding.Out())) &&
            SUCCEEDED(c->get_BindingLabelTitleStringFontType(k->bindingType.Out())) &&
            SUCCEEDED(c->get_BindingLabelTitleStringFontSize(&k->bindingSize)) &&
            SUCCEEDED(c->get_FrontCoverTitleBoxWidth(&k->titleBoxW)) &&
            SUCCEEDED(c->get_FrontCoverTitleBoxHeight(&k->titleBoxH)) &&
            SUCCEEDED(c->get_FrontCoverTitleBoxPosX(&k->titleBoxX)) &&
            SUCCEEDED(c->get_FrontCoverTitleBoxPosY(&k->titleBoxY)) &&
            SUCCEEDED(c->get_FrontCoverTitleBoxImageFile(k->titleBoxImage.Out()));
  for (LONG i = 0; i < 9 && ok; ++i) {
    ok = SUCCEEDED(c->get_HelpString(i, k->help[i].Out())) && SUCCEEDED(c->get_HelpStringPosX(i, &k->helpX[i])) &&
         SUCCEEDED(c->get_HelpStringPosY(i, &k->helpY[i])) && SUCCEEDED(c->get_HelpStringAngle(i, &k->helpAngle[i])) &&
         SUCCEEDED(c->get_HelpStringType(i, k->helpType[i].Out())) &&
         SUCCEEDED(c->get_HelpStringEncoding(i, k->helpEncoding[i].Out())) &&
         SUCCEEDED(c->get_HelpStringFontSize(i, &k->helpSize[i]));
  }
  for (LONG i = 0; i < 3 && ok; ++i) {
    ok = SUCCEEDED(c->get_TitleStringPosX(i, &k->titleX[i])) && SUCCEEDED(c->get_TitleStringPosY(i, &k->titleY[i])) &&
         SUCCEEDED(c->get_TitleStringAngle(i, &k->titleAngle[i])) &&
         SUCCEEDED(c->get_TitleStringFontSize(i, &k->titleSize[i])) &&
         SUCCEEDED(c->get_TitleStringFontEncoding(i, k->titleEncoding[i].Out())) &&
         SUCCEEDED(c->get_TitleStringFontType(i, k->titleType[i].Out())) &&
         SUCCEEDED(c->get_BackCoverString(i, k->back[i].Out())) &&
         SUCCEEDED(c->get_BackCoverStringPosX(i, &k->backStrX[i])) &&
         SUCCEEDED(c->get_BackCoverStringPosY(i, &k->backStrY[i])) &&
         SUCCEEDED(c->get_BackCoverStringFontType(i, k->backType[i].Out())) &&
         SUCCEEDED(c->get_BackCoverStringFontEncoding(i, k->backEncoding[i].Out())) &&
         SUCCEEDED(c->get_BackCoverStringFontSize(i, &k->backSize[i]));
  }
  for (LONG i = 0; i < 2 && ok; ++i) {
    ok = SUCCEEDED(c->get_BindingLabelTitleStringPosX(i, &k->bindingX[i])) &&
         SUCCEEDED(c->get_BindingLabelTitleStringPosY(i, &k->bindingY[i])) &&
         SUCCEEDED(c->get_BindingLabelTitleStringAngle(i, &k->bindingAngle[i]));
  }
  return ok;
}

void SelectFont(PdfContext* ctx, const Bstr& font, const Bstr& encoding, double size) {
  const std::string e = encoding.Utf8();
  cpdf_selectFont(ctx, font.Utf8(), e.empty() ? nullptr : e.c_str(), size);
}

// Today's local date as the user's locale writes it (LC_TIME): the long
// form when the language library is loaded, else the short form. It is the
// day the album page and the disc's manifests give, not the UTC day, which
// differs from it for part of every day away from UTC.
std::string Today() {
  const bool longForm = CKvprintUtil::IsLanguageLibraryLoaded();
  return base::Utf8CutBytes(base::LocaleDate(base::Clock::Real().LocalNow(), longForm), 200);
}

enum class LabelMode { kUpperHalf, kLowerHalf, kWhole };

class CPrintJCInsert : public ComObjectRoot,
                       public DispatchImpl<CPrintJCInsert, IPrintJCInsert>,
                       public SupportErrorInfoImpl<IPrintJCInsert> {
 public:
  using Interfaces = InterfaceMap<IPrintJCInsert, Via<IDispatch, IPrintJCInsert>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CPrintJCInsert>> DispatchTable();

  HRESULT FinalConstruct() {
    if (FAILED(CoCreateInstance(CLSID_ImageCollection, nullptr, CLSCTX_ALL, IID_IImageCollection,
                                reinterpret_cast<void**>(collection_.Put())))) {
      return Error("FinalConstruct - Failed to create IImageCollection");
    }
    if (FAILED(CoCreateInstance(CLSID_PrintJewelCaseConfiguration, nullptr, CLSCTX_ALL,
                                IID_IPrintJewelCaseConfiguration, reinterpret_cast<void**>(config_.Put())))) {
      return Error("FinalConstruct - Failed to create IPrintJewelCaseConfiguration");
    }
    for (Bstr& t : titles_) t = Bstr(u"");
    ReadConfiguration();
    return S_OK;
  }

  HRESULT GeneratePDF(BSTR destinationPathname) override {
    if (!ReadConfiguration()) return Error("GeneratePDF - Failed to read the configuration");
    if (k_.dash < 0 || k_.dash > 8) {
      return Error("GeneratePDF - CutLineDashPattern " + std::to_string(k_.dash) + " is not in the range 0 to 8");
    }
    const long count = CountOf(collection_.Get());
    const long limit = CKvprintUtil::GetMaxImages();
    if (limit > 0 && count > limit) {
      return Error("GeneratePDF - Too many images: " + std::to_string(count) + " (the limit is " +
                   std::to_string(limit) + ")");
    }
    std::string why;
    // Four pages; the pictures: the photos' thumbnails, the front photo's
    // normalized copy and the four artwork files.
    PdfContextPtr doc = OpenDocument(U8(destinationPathname), 4, static_cast<int>(count + 5), &why);
    if (!doc) return Error("GeneratePDF - Cannot write the PDF: " + why);
    PdfContext* ctx = doc.get();
    const char* box = MediaBox(k_.layout);
    art_ = CKvprintUtil::GetIncludePath();
    cpdf_startPage(ctx, 1, 0, box, box);
    cpdf_switchPage(ctx, 1);
    DrawArtwork(ctx, k_.backImage, k_.backX, k_.backY, k_.backW, k_.backH);
    DrawThumbnailArray(ctx, count);
    DrawCutLines(ctx, k_.backX, k_.backY, k_.backW, k_.backH);
    DrawFoldLines(ctx);
    DrawArtwork(ctx, k_.frontImage, k_.frontX, k_.frontY, k_.frontW, k_.frontH);
    DrawArtwork(ctx, k_.frameImage, k_.frameX, k_.frameY, k_.frameW, k_.frameH);
    DrawFrontPicture(ctx, count);
    DrawArtwork(ctx, k_.titleBoxImage, k_.titleBoxX, k_.titleBoxY, k_.titleBoxW, k_.titleBoxH);
    DrawCutLines(ctx, k_.frontX, k_.frontY, k_.frontW, k_.frontH);
    DrawInstructions(ctx);
    DrawFrontTitles(ctx);
    DrawBackTexts(ctx, count);
    const LabelMode modes[3] = {LabelMode::kUpperHalf, LabelMode::kLowerHalf, LabelMode::kWhole};
    for (int p = 0; p < 3; ++p) {
      cpdf_startPage(ctx, p + 2, 0, box, box);
      cpdf_switchPage(ctx, p + 2);
      DrawMosaic(ctx, modes[p], count);
      DrawTitleBoxes(ctx, modes[p]);
      DrawCdIcon(ctx);
    }
    if (!WriteDocument(ctx, &why)) return Error("GeneratePDF - Cannot write the PDF: " + why);
    return S_OK;
  }

  HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) override {
    BSTR lines[3] = {line1, line2, line3};
    for (int i = 0; i < 3; ++i) titles_[i] = Bstr::FromUtf8(U8(lines[i]));
    return S_OK;
  }

  HRESULT SetImageCollection(IImageCollection* collection) override {
    if (!collection) return E_POINTER;
    collection_ = ComPtr<IImageCollection>(collection);
    return S_OK;
  }

  HRESULT GetImageCollection(IImageCollection** out) override {
    if (!out) return E_POINTER;
    if (collection_) *out = ComPtr<IImageCollection>(collection_).Detach();
    return S_OK;
  }

  HRESULT get_Configuration(IPrintJewelCaseConfiguration** out) override {
    if (!out) return E_POINTER;
    if (config_) *out = ComPtr<IPrintJewelCaseConfiguration>(config_).Detach();
    return S_OK;
  }

 private:
  HRESULT Error(const std::string& what) {
    return Fail(CLSID_PrintJCInsert, IID_IPrintJCInsert, "CPrintJCInsert::" + what);
  }

  bool ReadConfiguration() {
    if (!Read(config_.Get(), &k_)) return false;
    const bool letter = k_.layout == 0;
    pageWidth_ = letter ? kLetterWidth : kA4Width;
    pageHeight_ = letter ? kLetterHeight : kA4Height;
    labelHeight_ = letter ? 10.0f : kA4LabelHeight;
    labelWidth_ = letter ? 7.5f : kA4LabelWidth;
    labelColumns_ = 16;
    labelRows_ = letter ? 30 : 32;
    return true;
  }

  void DrawArtwork(PdfContext* ctx, const Bstr& file, float x, float y, float w, float h) {
    PlaceJpeg(ctx, JoinFolder(art_, file.Utf8()), x * 72, y * 72, 0, w * 72, h * 72);
  }

  // A photo's thumbnail on a cell's lower-left corner, fitted to the cell.
  static void PlaceThumb(PdfContext* ctx, IImage* image, double xPt, double yPt, double cellW, double cellH) {
    PhotoInfo photo;
    if (!ReadPhoto(image, &photo) || photo.thumbWidth <= 0 || photo.thumbHeight <= 0) return;
    const bool wide = (photo.thumbWidth / cellW) / (photo.thumbHeight / cellH) > 1;
    PlaceJpeg(ctx, photo.thumbnail, xPt, yPt, 0, wide ? cellW * 72 : 0, wide ? 0 : cellH * 72);
  }

  void DrawThumbnailArray(PdfContext* ctx, long count) {
    if (!collection_) return;
    cpdf_setRgbColor(ctx, 1, 1, 1);
    cpdf_rectangleInDomain(ctx, k_.arrayX - 0.1, k_.arrayY - 0.1, k_.arrayW + 0.2, k_.arrayH + 0.2);
    cpdf_fillPath(ctx);
    const long R = k_.arrayRows, C = k_.arrayColumns;
    if (R <= 0 || C <= 0) return;
    const double cellH = k_.arrayH / (R + k_.arrayColGap * (R - 1) * 0.01);
    const double cellW = k_.arrayW / (C + k_.arrayRowGap * (C - 1) * 0.01);
    const double gapX = C < 2 ? 0 : (k_.arrayW - C * cellW) / (C - 1);
    const double gapY = R < 2 ? 0 : (k_.arrayH - R * cellH) / (R - 1);
    for (long i = 0; i < count && i <= R * C - 1; ++i) {
      ComPtr<IImage> image = PhotoAt(collection_.Get(), i);
      if (!image) break;
      const long row = i / C, col = i % C;
      const long x = static_cast<long>(((gapX + cellW) * col + k_.arrayX) * 72);
      const long y = static_cast<long>((k_.arrayY + k_.arrayH - cellH - (cellH + gapY) * row) * 72);
      PlaceThumb(ctx, image.Get(), x, y, cellW, cellH);
    }
  }

  void DrawCutLines(PdfContext* ctx, float x, float y, float w, float h) {
    const double o = k_.overhang;
    cpdf_setGray(ctx, k_.cutGray);
    cpdf_setDash(ctx, kCutLineDashes[k_.dash]);
    auto line = [&](double x0, double y0, double x1, double y1) {
      cpdf_moveToInDomain(ctx, x0, y0);
      cpdf_lineToInDomain(ctx, x1, y1);
      cpdf_strokePath(ctx);
    };
    line(x - o, y, x + w + o, y);
    line(x - o, y + h, x + w + o, y + h);
    line(x, y - o, x, y + h + o);
    line(x + w, y - o, x + w, y + h + o);
  }

  void DrawFoldLines(PdfContext* ctx) {
    cpdf_setGray(ctx, k_.foldGray);
    cpdf_setDash(ctx, "[] 0");
    for (double x : {static_cast<double>(k_.backX + k_.foldWidth), static_cast<double>(k_.backX + k_.backW - k_.foldWidth)}) {
      cpdf_moveToInDomain(ctx, x, k_.backY);
      cpdf_lineToInDomain(ctx, x, k_.backY + k_.backH);
      cpdf_strokePath(ctx);
    }
  }

  void DrawFrontPicture(PdfContext* ctx, long count) {
    if (!collection_ || count < 1) return;
    if (k_.pictureIndex < 0 || k_.pictureIndex > count - 1) k_.pictureIndex = static_cast<SHORT>(count - 1);
    ComPtr<IImage> image = PhotoAt(collection_.Get(), k_.pictureIndex);
    PhotoInfo photo;
    if (!ReadPhoto(image.Get(), &photo) || photo.normalWidth <= 0 || photo.normalHeight <= 0) return;
    const double W = photo.normalWidth, H = photo.normalHeight, aspect = W / H;
    const double w = k_.pictureW, h = k_.pictureH;
    double x = k_.pictureX * 72, y = k_.pictureY * 72, width = 0, height = 0;
    if ((W / w) / (H / h) > 1) {
      width = w * 72;
      y = k_.pictureY * 72 + static_cast<long>((h * 72 - width / aspect) / 2);
    } else {
      height = h * 72;
      x = k_.pictureX * 72 + static_cast<long>((w * 72 - height * aspect) / 2);
    }
    PlaceJpeg(ctx, photo.normalized, x, y, 0, width, height);
  }

  void DrawInstructions(PdfContext* ctx) {
    cpdf_setRgbColor(ctx, 0, 0, 0);
    cpdf_beginTextBlock(ctx);
    for (int i = 0; i < 9; ++i) {
      SelectFont(ctx, k_.helpType[i], k_.helpEncoding[i], k_.helpSize[i]);
      cpdf_placeText(ctx, k_.helpX[i] * 72, k_.helpY[i] * 72, k_.helpAngle[i], k_.help[i].Utf8());
    }
    cpdf_endTextBlock(ctx);
  }

  void DrawFrontTitles(PdfContext* ctx) {
    cpdf_setRgbColor(ctx, 0, 0, 0);
    cpdf_beginTextBlock(ctx);
    for (int i = 0; i < 3; ++i) {
      SelectFont(ctx, k_.titleType[i], k_.titleEncoding[i], k_.titleSize[i]);
      cpdf_placeTextAligned(ctx, k_.titleX[i] * 72, k_.titleY[i] * 72, k_.titleAngle[i], 4, titles_[i].Utf8());
    }
    cpdf_endTextBlock(ctx);
  }

  void DrawBackTexts(PdfContext* ctx, long count) {
    const std::string texts[3] = {k_.back[0].Utf8(), k_.back[1].Utf8() + base::Utf8CutChars(Today(), 200),
                                  k_.back[2].Utf8() + std::to_string(count)};
    cpdf_beginTextBlock(ctx);
    for (int i = 0; i < 3; ++i) {
      SelectFont(ctx, k_.backType[i], k_.backEncoding[i], k_.backSize[i]);
      cpdf_placeText(ctx, k_.backStrX[i] * 72, k_.backStrY[i] * 72, 0, texts[i]);
    }
    SelectFont(ctx, k_.bindingType, k_.bindingEncoding, k_.bindingSize);
    const std::string spine = SpineText();
    for (int i = 0; i < 2; ++i) {
      cpdf_placeTextAligned(ctx, k_.bindingX[i] * 72, k_.bindingY[i] * 72, k_.bindingAngle[i], 4, spine);
    }
    cpdf_endTextBlock(ctx);
  }

 public:
  // The spine: title line 1, then lines 2 and 3 after four spaces each as
  // long as the whole stays within the limit for the font size.
  std::string SpineText() const {
    std::size_t limit = 45;
    if (k_.bindingSize == 14.0f) limit = 35;
    else if (k_.bindingSize == 12.0f) limit = 40;
    const std::string l1 = titles_[0].Utf8(), l2 = titles_[1].Utf8(), l3 = titles_[2].Utf8();
    const std::size_t n1 = base::Utf8Length(l1), n2 = base::Utf8Length(l2), n3 = base::Utf8Length(l3);
    std::string text = l1;
    if (n1 + 4 + n2 <= limit) text += "    " + l2;
    if (n1 + 4 + n2 + 4 + n3 <= limit) text += "    " + l3;
    return text;
  }

 private:
  struct Grid {
    double cellH, cellW, gapX, gapY;
  };
  Grid LabelGrid() const {
    const long R = labelRows_, C = labelColumns_;
    Grid g;
    g.cellH = labelHeight_ / (R + (R - 1) * 0.1);
    g.cellW = labelWidth_ / (C + (C - 1) * 0.1);
    g.gapX = C < 2 ? 0 : (labelWidth_ - C * g.cellW) / (C - 1);
    g.gapY = R < 2 ? 0 : (labelHeight_ - R * g.cellH) / (R - 1);
    return g;
  }

  void DrawMosaic(PdfContext* ctx, LabelMode mode, long count) {
    if (!collection_ || count < 1) return;
    const long C = labelColumns_;
    long cells = labelRows_ * C;
    if (mode != LabelMode::kWhole) cells /= 2;
    const Grid g = LabelGrid();
    for (long j = 0; j < cells; ++j) {
      ComPtr<IImage> image = PhotoAt(collection_.Get(), j % count);
      const long row = j / C, col = j % C;
      const long x = static_cast<long>(((g.gapX + g.cellW) * col + 0.5) * 72);
      double yd = (labelHeight_ + 0.5 - g.cellH - (g.cellH + g.gapY) * row) * 72;
      if (mode == LabelMode::kLowerHalf) yd -= labelHeight_ * 36;
      PlaceThumb(ctx, image.Get(), x, static_cast<long>(yd), g.cellW, g.cellH);
    }
  }

  void DrawTitleBoxes(PdfContext* ctx, LabelMode mode) {
    struct Cell {
      int r, c;
    };
    static const Cell kUpper0[] = {{3, 6}, {11, 10}, {12, 3}};
    static const Cell kLower0[] = {{19, 3}, {19, 9}, {28, 6}};
    static const Cell kUpper1[] = {{13, 1}, {13, 6}, {3, 4}, {8, 10}};
    static const Cell kLower1[] = {{22, 3}, {20, 9}, {29, 6}};
    std::vector<Cell> cells;
    const bool letter = k_.layout == 0;
    if (mode != LabelMode::kLowerHalf) {
      if (letter) cells.insert(cells.end(), std::begin(kUpper0), std::end(kUpper0));
      else cells.insert(cells.end(), std::begin(kUpper1), std::end(kUpper1));
    }
    if (mode != LabelMode::kUpperHalf) {
      if (letter) cells.insert(cells.end(), std::begin(kLower0), std::end(kLower0));
      else cells.insert(cells.end(), std::begin(kLower1), std::end(kLower1));
    }
    const Grid g = LabelGrid();
    for (const Cell& cell : cells) {
      const double x = static_cast<long>(((g.gapX + g.cellW) * cell.c + 0.5) * 72) / 72.0 - g.gapX / 2;
      const double y =
          static_cast<long>((labelHeight_ + 0.5 - g.cellH - (g.gapY + g.cellH) * cell.r) * 72) / 72.0 - g.gapY / 2;
      const double width = 4 * (g.cellW + g.gapX), height = 2 * (g.cellH + g.gapY);
      cpdf_setRgbColor(ctx, 1, 1, 1);
      cpdf_rectangleInDomain(ctx, x, y, width, height);
      cpdf_fillPath(ctx);
      cpdf_setRgbColor(ctx, 0, 0, 0);
      cpdf_beginTextBlock(ctx);
      for (int k = 0; k < 3; ++k) {
        SelectFont(ctx, k_.titleType[k], k_.titleEncoding[k], 10);
        cpdf_placeTextAlignedInDomain(ctx, x + width / 2, y + height - 0.2 * (k + 1) + 0.1, 0, 4, titles_[k].Utf8());
      }
      cpdf_endTextBlock(ctx);
    }
  }

  void DrawCdIcon(PdfContext* ctx) {
    const Grid g = LabelGrid();
    const double x = 0.5;
    const double y = static_cast<long>((labelHeight_ + 0.5 - 2 * g.cellH - g.gapY) * 72) / 72.0;
    const double width = 2 * g.cellW + 1.03 * g.gapX, height = 2 * g.cellH + 1.03 * g.gapY;
    cpdf_setRgbColor(ctx, 1, 1, 1);
    cpdf_rectangleInDomain(ctx, x, y, width, height);
    cpdf_fillPath(ctx);
    cpdf_setGray(ctx, 0);
    cpdf_setLineWidth(ctx, 2);
    for (double r : {2.25 * 0.1, 0.8125 * 0.1}) {
      cpdf_drawCircleInDomain(ctx, x + width / 2, y + height / 2 + 0.1, r);
      cpdf_strokePath(ctx);
    }
    cpdf_setRgbColor(ctx, 0, 0, 0);
    cpdf_beginTextBlock(ctx);
    SelectFont(ctx, k_.titleType[0], k_.titleEncoding[0], 10);
    cpdf_placeTextAlignedInDomain(ctx, x + width / 2, y + 0.05, 0, 4, "CD Label");
    cpdf_endTextBlock(ctx);
  }

  ComPtr<IImageCollection> collection_;
  ComPtr<IPrintJewelCaseConfiguration> config_;
  Bstr titles_[3];
  JCConfig k_;
  std::string art_;
  float pageWidth_ = kLetterWidth, pageHeight_ = kLetterHeight;
  float labelHeight_ = 10.0f, labelWidth_ = 7.5f;
  long labelColumns_ = 16, labelRows_ = 30;
};

std::span<const DispatchEntry<CPrintJCInsert>> CPrintJCInsert::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CPrintJCInsert> kTable[] = {
      Method_<&CPrintJCInsert::GeneratePDF>(1, u"GeneratePDF"),
      Method_<&CPrintJCInsert::SetTitleLines>(2, u"SetTitleLines"),
      Method_<&CPrintJCInsert::SetImageCollection>(3, u"SetImageCollection"),
      Method_<&CPrintJCInsert::GetImageCollection, true>(4, u"GetImageCollection"),
      Method_<&CPrintJCInsert::get_Configuration, true>(5, u"Configuration"),
  };
  return kTable;
}

}  // namespace

HRESULT CreatePrintJCInsert(REFIID iid, void** ppv) { return ComObject<CPrintJCInsert>::CreateInstance(iid, ppv); }

}  // namespace vexa::kvprint
