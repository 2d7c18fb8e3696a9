#include "printing/kvprint/ProductSupport.h"

#include "platform/base/Text.h"

namespace vexa::kvprint {

using namespace vexa::com;

std::string U8(BSTR s) { return BstrToUtf8(s); }
Bstr B(std::string_view utf8) { return Bstr::FromUtf8(utf8); }

long CountOf(IImageCollection* collection) {
  LONG n = 0;
  if (!collection || FAILED(collection->get_Count(&n)) || n < 0) return 0;
  return n;
}

ComPtr<IImage> PhotoAt(IImageCollection* collection, long i) {
  ComPtr<IImage> image;
  if (!collection) return image;
  Variant index = Variant::I4(static_cast<LONG>(i));
  Variant item;
  if (FAILED(collection->Item(index, &item)) || item.vt != VT_DISPATCH || !item.pdispVal) return image;
  item.pdispVal->QueryInterface(IID_IImage, reinterpret_cast<void**>(image.Put()));
  return image;
}

bool ReadPhoto(IImage* image, PhotoInfo* info) {
  if (!image) return false;
  Bstr thumb, normal;
  LONG tw = 0, th = 0, nw = 0, nh = 0;
  if (FAILED(image->GetThumbnailPathname(thumb.Out())) || FAILED(image->GetNormalizedPathname(normal.Out())) ||
      FAILED(image->GetThumbnailWidth(&tw)) || FAILED(image->GetThumbnailHeight(&th)) ||
      FAILED(image->GetNormalizedWidth(&nw)) || FAILED(image->GetNormalizedHeight(&nh))) {
    return false;
  }
  info->thumbnail = thumb.Utf8();
  info->normalized = normal.Utf8();
  info->thumbWidth = tw;
  info->thumbHeight = th;
  info->normalWidth = nw;
  info->normalHeight = nh;
  return true;
}

pdf::PdfContextPtr OpenDocument(const std::string& path, int pages, int images, std::string* why) {
  pdf::PdfLimits limits;
  limits.pages = pages > 0 ? pages : 1;
  limits.images = images > 0 ? images : 1;
  limits.fonts = -1;
  limits.annotations = -1;
  limits.objects = kObjectLimit;
  pdf::PdfContextPtr doc = pdf::cpdf_open(-1, &limits);
  if (!doc) {
    *why = "out of memory";
    return doc;
  }
  pdf::cpdf_setOutputPath(doc.get(), path);
  pdf::cpdf_useCompression(doc.get(), true);
  if (pdf::cpdf_startDocument(doc.get()) != 0) {
    *why = pdf::cpdf_lastError(doc.get());
    doc.reset();
  }
  return doc;
}

bool WriteDocument(pdf::PdfContext* ctx, std::string* why) {
  if (pdf::cpdf_writeAll(ctx) == 0) return true;
  *why = pdf::cpdf_lastError(ctx);
  return false;
}

std::string CheckPhotoCount(long count) {
  if (count < 1) return "No images to print";
  const long limit = CKvprintUtil::GetMaxImages();
  if (limit > 0 && count > limit) {
    return "Too many images: " + std::to_string(count) + " (the limit is " + std::to_string(limit) + ")";
  }
  return "";
}

const char* MediaBox(long layout) { return layout != 0 ? kMediaBoxA4 : kMediaBoxLetter; }
float PageWidth(long layout) { return layout == 0 ? kLetterWidth : kA4Width; }
float PageHeight(long layout) { return layout == 0 ? kLetterHeight : kA4Height; }

bool PlaceJpeg(pdf::PdfContext* ctx, const std::string& path, double x, double y, double angle, double width,
               double height) {
  return pdf::cpdf_drawImage(ctx, path, pdf::kPdfImageJpeg, x, y, angle, width, height, 0, 0,
                             pdf::kPdfImageSaveState) == 0;
}

}  // namespace vexa::kvprint
