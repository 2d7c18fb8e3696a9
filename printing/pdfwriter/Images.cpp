// JPEG images as image XObjects. A file is read once, when it is placed:
// its header gives the size and colour space, its frame must be one that
// PDF viewers decode (baseline, extended sequential or progressive Huffman
// coding at 8 bits), and exactly the bytes read then are embedded.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/base/Path.h"
#include "printing/pdfwriter/NumberFormat.h"
#include "printing/pdfwriter/PdfInternal.h"

namespace vexa::pdf {
namespace {

constexpr const char* kJpegSource = "KvPDF jpegsize";

struct JpegHeader {
  int width = 0, height = 0, bits = 0, components = 0;
  int frame = 0;
};

// 0 with the frame read; -2 not a JPEG (or no usable frame before the scan).
int ReadJpegHeader(const std::string& data, const std::string& path, JpegHeader* h) {
  const std::size_t n = data.size();
  if (n < 2 || static_cast<unsigned char>(data[0]) != 0xFF || static_cast<unsigned char>(data[1]) != 0xD8) {
    Message(kJpegSource, 1, "Not a JPEG file");
    return -2;
  }
  std::size_t at = 2;
  auto u8 = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(data[i])); };
  while (true) {
    // A marker is a run of 0xFF bytes and a code; anything else before it is garbage.
    std::size_t skipped = 0;
    while (at < n && u8(at) != 0xFF) ++at, ++skipped;
    if (skipped) Message(kJpegSource, 1, "Warning: garbage data found in JPEG file");
    while (at < n && u8(at) == 0xFF) ++at;
    if (at >= n) {
      Message(kJpegSource, 1, "Premature EOF in JPEG file");
      return -2;
    }
    const int code = u8(at++);
    if (code == 0xD9 || code == 0xDA) return h->frame ? 0 : -2;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // markers without a length
    if (at + 2 > n) {
      Message(kJpegSource, 1, "Premature EOF in JPEG file");
      return -2;
    }
    const std::size_t len = static_cast<std::size_t>(u8(at) << 8 | u8(at + 1));
    if (len < 2) {
      Message(kJpegSource, 1, "Erroneous JPEG marker length");
      return -2;
    }
    if (at + len > n) {
      Message(kJpegSource, 1, "Premature EOF in JPEG file");
      return -2;
    }
    const bool sof = (code >= 0xC0 && code <= 0xC3) || (code >= 0xC5 && code <= 0xC7) ||
                     (code >= 0xC9 && code <= 0xCB) || (code >= 0xCD && code <= 0xCF);
    if (sof && !h->frame) {
      if (len < 8) {
        Message(kJpegSource, 1, "Bogus SOF marker length");
        return -2;
      }
      h->bits = u8(at + 2);
      h->height = u8(at + 3) << 8 | u8(at + 4);
      h->width = u8(at + 5) << 8 | u8(at + 6);
      h->components = u8(at + 7);
      if (len != static_cast<std::size_t>(8 + 3 * h->components)) {
        Message(kJpegSource, 1, "Bogus SOF marker length");
        return -2;
      }
      h->frame = code;
    }
    at += len;
  }
  (void)path;
}

// The whole file in one read of its size (the bytes measured are the bytes
// embedded).
bool ReadImageFile(const std::string& path, std::string* out) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return false;
  struct stat st {};
  if (::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out->resize(static_cast<std::size_t>(st.st_size));
  const std::size_t n = out->empty() ? 0 : std::fread(out->data(), 1, out->size(), f.get());
  out->resize(n);
  return !std::ferror(f.get());
}

ImageEntry* FindImage(PdfContext* ctx, const std::string& path, int key, int* index) {
  for (std::size_t i = 0; i < ctx->images.size(); ++i) {
    if (ctx->images[i].path == path && ctx->images[i].key == key) {
      *index = static_cast<int>(i);
      return &ctx->images[i];
    }
  }
  return nullptr;
}

}  // namespace

int cpdf_drawImage(PdfContext* ctx, std::string_view pathView, int kind, double x, double y, double angle,
                   double width, double height, double xScale, double yScale, int flags) {
  if (!ctx || ctx->fatal) return -1;
  if (kind == kPdfImageTiff) {
    Report(ctx, 1, kSource, "LIBTIFF library support is not compiled in.");
    return -4;
  }
  if (kind == kPdfImagePdf) {
    Report(ctx, 1, kSource, "PDFIMG support is not compiled in.");
    return -4;
  }
  if (kind != kPdfImageJpeg) {
    Report(ctx, 1, kSource, Printf("Image kind %d has no reader", kind));
    return -4;
  }
  const std::string path(pathView);
  int index = -1;
  ImageEntry* img = FindImage(ctx, path, 0, &index);
  if (!img) {
    if (static_cast<int>(ctx->images.size()) >= ctx->imageLimit) {
      Report(ctx, 1, kSource,
             Printf("Too many images in this PDF: %d. Increase limits by cpdf_open()",
                    static_cast<int>(ctx->images.size()) + 1));
      return 1;
    }
    ImageEntry e;
    if (!ReadImageFile(path, &e.data)) {
      Message("KvPDF read_JPEG_header", 1, Printf("Can't open image file: %s", path.c_str()));
      Report(ctx, 1, kSource, Printf("Can't open image file: %s", path.c_str()));
      return -1;
    }
    JpegHeader h;
    if (ReadJpegHeader(e.data, path, &h) != 0) {
      Report(ctx, 1, kSource, Printf("Not a JPEG file?: %s", path.c_str()));
      return -2;
    }
    // Only frames that PDF viewers decode under DCTDecode are embedded.
    const bool huffman = h.frame == 0xC0 || h.frame == 0xC1 || h.frame == 0xC2;
    if (!huffman || h.bits != 8 || (h.components != 1 && h.components != 3 && h.components != 4) ||
        h.width == 0 || h.height == 0) {
      const char* why = !huffman ? (h.frame == 0xC3 || h.frame == 0xC7 || h.frame == 0xCB || h.frame == 0xCF
                                        ? "lossless coding"
                                        : h.frame >= 0xC9 ? "arithmetic coding" : "hierarchical coding")
                        : h.bits != 8 ? "a sample precision other than 8 bits"
                        : (h.width == 0 || h.height == 0) ? "no picture size in its frame"
                                                          : "an unsupported number of colour components";
      Report(ctx, 1, kSource, Printf("JPEG file cannot be embedded (%s): %s", why, path.c_str()));
      return -3;
    }
    if (h.frame != 0xC0) cpdf_raiseVersion(ctx, 1, 3);
    if (h.components == 1) ctx->usesGray = true;
    else ctx->usesColor = true;
    e.resourceName = Printf("IMcpdf%d", static_cast<int>(ctx->images.size()));
    e.kind = kind;
    e.path = path;
    e.width = h.width;
    e.height = h.height;
    e.bitsPerComponent = h.bits;
    e.components = h.components;
    e.frameMarker = h.frame;
    e.invert = (flags & kPdfImageInvert) != 0;
    e.imageMask = (flags & kPdfImageMask) != 0;
    ctx->images.push_back(std::move(e));
    index = static_cast<int>(ctx->images.size()) - 1;
    img = &ctx->images.back();
  }
  if (ctx->currentPage > 0 && ctx->currentPage < static_cast<int>(ctx->pages.size()) &&
      ctx->pages[ctx->currentPage].state == PageState::kStarted) {
    auto& used = ctx->pages[ctx->currentPage].images;
    bool have = false;
    for (int u : used) have = have || u == index;
    if (!have) used.push_back(index);
  }
  // Size: a given side, else a scale, else the other side's scale, else the pixels.
  const double pw = img->width, ph = img->height;
  double w = 0, hgt = 0;
  if (width != 0) w = width;
  else if (xScale > 0.00001) w = xScale * pw;
  else if (height != 0) w = height / ph * pw;
  else if (yScale > 0.00001) w = yScale * pw;
  else w = pw;
  if (height != 0) hgt = height;
  else if (yScale > 0.00001) hgt = yScale * ph;
  else if (width != 0) hgt = width / pw * ph;
  else if (xScale > 0.00001) hgt = xScale * ph;
  else hgt = ph;

  if (flags & kPdfImageSaveState) cpdf_saveState(ctx);
  cpdf_translateOrigin(ctx, x, y);
  if (std::fabs(angle) > 0.001) cpdf_rotateAxes(ctx, angle);
  cpdf_concatMatrix(ctx, w, 0, 0, hgt, 0, 0);
  ctx->line = "/" + img->resourceName + " Do\n";
  EmitLine(ctx);
  if (flags & kPdfImageSaveState) cpdf_restoreState(ctx);
  return 0;
}

int NumberImageObjects(PdfContext* ctx, int next) {
  for (ImageEntry& img : ctx->images) img.object = next++;
  return next;
}

void WriteImageObjects(PdfContext* ctx) {
  for (const ImageEntry& img : ctx->images) {
    BeginObject(ctx, img.object);
    OutText(ctx, "<<\n/Type /XObject\n/Subtype /Image\n/Name /" + img.resourceName + "\n");
    OutText(ctx, Printf("/Width %d\n", img.width));
    OutText(ctx, Printf("/Height %d\n", img.height));
    OutText(ctx, "/Filter /DCTDecode\n");
    if (img.invert) {
      std::string d = "/Decode [";
      for (int i = 0; i < img.components; ++i) d += i ? " 1 0" : "1 0";
      OutText(ctx, d + "]\n");
    }
    OutText(ctx, Printf("/BitsPerComponent %d\n", img.bitsPerComponent));
    if (img.imageMask && img.components == 1 && img.bitsPerComponent == 1) {
      OutText(ctx, "/ImageMask true\n");
    } else {
      const char* space = img.components <= 2 ? "DeviceGray" : img.components == 3 ? "DeviceRGB" : "DeviceCMYK";
      OutText(ctx, Printf("/ColorSpace /%s\n", space));
    }
    OutText(ctx, Printf("/Length %ld\n", static_cast<long>(img.data.size())));
    OutText(ctx, ">>\n");
    OutText(ctx, "stream\n");
    OutBytes(ctx, img.data);
    OutText(ctx, "\nendstream\n");
    OutText(ctx, "endobj\n");
  }
}

}  // namespace vexa::pdf
