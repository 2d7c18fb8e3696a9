// CVEXAImgUtil: every still-picture job of the system on files, over the
// imaging layer. Each method checks its arguments in a fixed order and
// reports the first failure through the thread's error information, with the
// layer's error number and text where the layer failed.
#include "imaging/VEXAImgUtil_p.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

#include "imaging/StillHelpers_p.h"
#include "imaging/TitleLayout_p.h"
#include "platform/base/Executor.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "platform/imaging/Text.h"
#include "platform/imaging/Transform.h"
#include "platform/registry/Registry.h"
#include "idl/ProductKey.h"

namespace vexa::imgutil {
namespace {

using namespace vexa::com;
namespace img = vexa::imaging;

constexpr char kDerivatives[] = "CVEXAImgUtil::CreateStillDerivatives";

bool IsBool(VARIANT_BOOL v) { return v == VARIANT_TRUE || v == VARIANT_FALSE; }
bool Empty(BSTR s) { return s == nullptr || SysStringLen(s) == 0; }
std::string U8(BSTR s) { return BstrToUtf8(s); }

HRESULT Fail(const std::string& message, HRESULT hr = E_FAIL) {
  return ReportError(CLSID_VEXAImgUtil, std::string_view(message), IID_IVEXAImgUtil, hr);
}
// "<what> - <number> - <text>": the layer's error after a message, then
// what it knows of the cause (the file, what the decoder or the system said).
HRESULT FailWith(const std::string& what, const img::Status& s) { return Fail(WithLayerError(what, s)); }

std::uint8_t R(LONG c) { return static_cast<std::uint8_t>(c & 0xFF); }
std::uint8_t G(LONG c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
std::uint8_t B(LONG c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }

// True when two paths name one file: the same text, or (when both exist)
// the same file reached by different names or links.
bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

img::Status SaveStill(const std::string& path, const img::Bitmap& b, int format = img::kFormatJpeg) {
  return img::Save(path, b, format, img::kDefaultQualityFactor);
}

// The JPEG's bytes with the comment in their head (none when empty).
img::Status WithComment(std::string_view comment, std::string* jpeg) {
  if (comment.empty()) return {};
  std::string withComment;
  bool added = false;
  if (img::Status s = img::AddJpegComment(*jpeg, comment, &withComment, &added); !s) return s;
  if (!added) return img::Status(img::ErrorCode::kFailure, "the encoded picture holds a comment");
  *jpeg = std::move(withComment);
  return {};
}

// Loads no larger than needed: a JPEG decodes at the DCT scale that still
// covers `need`.
img::Status LoadAtLeast(const std::string& path, int needW, int needH, img::Bitmap* out) {
  return img::Load(path, out, {needW, needH});
}

// Where a pw x ph picture goes in a width x height box of the drawing
// surface: a picture that reaches the box's width or height is scaled by the
// smaller of the two ratios, each side rounded up to a whole pixel; the
// ratios are exact, so the side that limits comes out at the box's size and
// the other never beyond it. A smaller picture keeps its size. Centred by
// integer halves.
img::BoxFit StretchFit(int pw, int ph, int width, int height) {
  img::BoxFit f;
  f.width = pw;
  f.height = ph;
  if (pw >= width || ph >= height) {
    const std::int64_t W = pw, H = ph, BW = width, BH = height;
    if (BW * H <= BH * W) {  // the width limits
      f.width = width;
      f.height = static_cast<int>(BW <= 0 ? 0 : (H * BW + W - 1) / W);
    } else {
      f.height = height;
      f.width = static_cast<int>(BH <= 0 ? 0 : (W * BH + H - 1) / H);
    }
  }
  f.x = (width - f.width) / 2;
  f.y = (height - f.height) / 2;
  return f;
}

// A memory block below 2 GiB, so its address fits the 32-bit integers the
// interface hands out; freed when its owner goes.
struct LowBlock {
  BYTE* data = nullptr;
  std::size_t size = 0;
  bool low = false;

  LowBlock() = default;
  ~LowBlock() { Free(); }
  LowBlock(const LowBlock&) = delete;
  LowBlock& operator=(const LowBlock&) = delete;

  void Free() {
    if (data) {
      if (low) {
        munmap(data, size);
      } else {
        delete[] data;
      }
    }
    data = nullptr;
    size = 0;
  }
  bool Allocate(std::size_t n) {
    Free();
#ifdef MAP_32BIT
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (p != MAP_FAILED) {
      data = static_cast<BYTE*>(p);
      size = n;
      low = true;
      return true;
    }
#endif
    data = new (std::nothrow) BYTE[n];
    size = n;
    low = false;
    return data != nullptr;
  }
};

class CVEXAImgUtil : public ComObjectRoot,
                     public DispatchImpl<CVEXAImgUtil, IVEXAImgUtil>,
                     public SupportErrorInfoImpl<IVEXAImgUtil>,
                     public IVEXAImgUtilNative {
 public:
  using Interfaces = InterfaceMap<IVEXAImgUtil, Via<IDispatch, IVEXAImgUtil>, ISupportErrorInfo,
                                  IVEXAImgUtilNative>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAIMGLib; }

  static std::span<const DispatchEntry<CVEXAImgUtil>> DispatchTable();

  // ---- formats ---------------------------------------------------------------

  HRESULT TestFamily(const char* method, LONG code, img::FormatFamily family, VARIANT_BOOL* pVal) {
    if (code < img::kFormatMin || code > img::kFormatMax) {
      return Fail(std::string("IVEXAImgUtil::") + method +
                  " - You must specify a valid Leadtools still format number ltInputFormat (0-246)");
    }
    if (!pVal) return E_POINTER;
    *pVal = img::IsInFamily(code, family) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT isStillBMP(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillBMP", f, img::FormatFamily::kBmp, p); }
  HRESULT isStillJPG(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillJPG", f, img::FormatFamily::kJpg, p); }
  HRESULT isStillTIF(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillTIF", f, img::FormatFamily::kTif, p); }
  HRESULT isStillCMP(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillCMP", f, img::FormatFamily::kCmp, p); }
  HRESULT isStillGIF(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillGIF", f, img::FormatFamily::kGif, p); }
  HRESULT isStillPNG(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillPNG", f, img::FormatFamily::kPng, p); }
  HRESULT isStillPCT(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillPCT", f, img::FormatFamily::kPct, p); }
  HRESULT isStillPCD(LONG f, VARIANT_BOOL* p) override { return TestFamily("isStillPCD", f, img::FormatFamily::kPcd, p); }

  HRESULT isSupportedStillInputFormat(LONG code, VARIANT_BOOL* pVal) override {
    if (code < img::kFormatMin || code > img::kFormatMax) {
      return Fail(
          "IVEXAImgUtil::isSupportedStillInputFormat - You must specify a valid Leadtools still format number "
          "ltInputFormat (0-246)");
    }
    if (!pVal) return E_POINTER;
    using Test = HRESULT (CVEXAImgUtil::*)(LONG, VARIANT_BOOL*);
    std::string filter = reg::GetString(reg::Hive::LocalMachine, kProductKey, "SUPPORTED_FILE_FILTER").value_or("");
    if (filter.size() > 2047) filter = base::Utf8CutBytes(filter, 2047);  // read into 2048 bytes
    if (filter.empty()) {
      for (Test t : {&CVEXAImgUtil::isStillBMP, &CVEXAImgUtil::isStillJPG, &CVEXAImgUtil::isStillTIF}) {
        VARIANT_BOOL v = VARIANT_FALSE;
        if (HRESULT hr = (this->*t)(code, &v); FAILED(hr)) return hr;
        if (v == VARIANT_TRUE) {
          *pVal = VARIANT_TRUE;
          return S_OK;
        }
      }
      *pVal = VARIANT_FALSE;
      return S_OK;
    }
    filter = base::ToUpperAscii(filter);
    const std::pair<const char*, Test> families[] = {
        {"BMP", &CVEXAImgUtil::isStillBMP}, {"JPG", &CVEXAImgUtil::isStillJPG}, {"TIF", &CVEXAImgUtil::isStillTIF},
        {"CMP", &CVEXAImgUtil::isStillCMP}, {"GIF", &CVEXAImgUtil::isStillGIF}, {"PNG", &CVEXAImgUtil::isStillPNG},
        {"PCT", &CVEXAImgUtil::isStillPCT}, {"PCD", &CVEXAImgUtil::isStillPCD},
    };
    for (const auto& [name, test] : families) {
      if (filter.find(name) == std::string::npos) continue;
      VARIANT_BOOL v = VARIANT_FALSE;
      if (HRESULT hr = (this->*test)(code, &v); FAILED(hr)) return hr;
      if (v == VARIANT_TRUE) {
        *pVal = VARIANT_TRUE;
        return S_OK;
      }
    }
    *pVal = VARIANT_FALSE;
    return S_OK;
  }

  // ---- file jobs ---------------------------------------------------------------

  HRESULT GetStillInfo(BSTR srcFile, BSTR* fileName, BSTR* shortFileName, BSTR* fileExt, LONG* fileType,
                       LONG* width, LONG* height) override {
    if (Empty(srcFile)) {
      return Fail("IVEXAImgUtil::GetStillInfo - You must specify a valid srcFile to read from - " + U8(srcFile));
    }
    if (!fileName) return Fail("IVEXAImgUtil::GetImageInfo - BSTR *fileName is not a valid pointer", E_POINTER);
    if (!shortFileName) {
      return Fail("IVEXAImgUtil::GetImageInfo - BSTR *shortFileName is not a valid pointer", E_POINTER);
    }
    if (!fileExt) return Fail("IVEXAImgUtil::GetImageInfo - BSTR *fileExt is not a valid pointer", E_POINTER);
    if (!fileType || !width || !height) return E_POINTER;
    // The name is taken literally: wildcard characters are part of it. Any
    // entry is found (a folder too); reading it as a picture then fails.
    const std::string path = U8(srcFile);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      return Fail("IVEXAImgUtil::GetImageInfo - Can not get find data for srcFile");
    }
    const std::string baseName = base::BaseName(path);
    const std::string ext = base::Extension(baseName);
    const std::string stem = baseName.substr(0, baseName.size() - ext.size());
    *fileName = Bstr::FromUtf8(stem).Detach();
    *fileExt = Bstr::FromUtf8(ext).Detach();
    *shortFileName = Bstr::FromUtf8(stem).Detach();  // no 8.3 names here
    img::ImageInfo info;
    if (img::Status s = img::ReadInfo(path, &info); !s) {
      char number[16];
      std::snprintf(number, sizeof number, "%d", s.Number());
      // The message names the path and then the layer's text again; the
      // two are kept apart, and what the layer knows of the cause follows.
      std::string cause = s.detail();
      if (cause.rfind(path + ": ", 0) == 0) cause.erase(0, path.size() + 2);
      if (cause == path) cause.clear();
      return Fail(std::string("IVEXAImgUtil::GetImageInfo - ltFile.GetInfo() failed - ") + s.Text() + " - " +
                  number + " - " + path + " - " + s.Text() + (cause.empty() ? "" : ": " + cause));
    }
    *fileType = info.format;
    *width = info.width;
    *height = info.height;
    return S_OK;
  }

  HRESULT Any2JPG(BSTR srcFile, BSTR destFile) override {
    if (Empty(srcFile)) return Fail("IVEXAImgUtil::Any2JPG - You must specify a valid srcFile to read from");
    if (Empty(destFile)) return Fail("IVEXAImgUtil::Any2JPG - You must specify a valid destFile to save to");
    img::Bitmap b;
    if (img::Status s = img::Load(U8(srcFile), &b); !s) return FailWith("IVEXAImgUtil::any2any - bmBase.Load failed", s);
    if (img::Status s = SaveStill(U8(destFile), b); !s) {
      return FailWith("IVEXAImgUtil::any2any - bmBase.Save failed", s);
    }
    return S_OK;
  }

  HRESULT ResizeStill(BSTR srcFile, BSTR destFile, VARIANT_BOOL boundingBox, LONG destX, LONG destY,
                      VARIANT_BOOL upsample, VARIANT_BOOL matte, LONG mR, LONG mG, LONG mB) override {
    const std::string m = "IVEXAImgUtil::ResizeStill - ";
    if (Empty(srcFile)) return Fail(m + "You must specify a valid srcFile to read from");
    if (Empty(destFile)) return Fail(m + "You must specify a valid destFile to save to");
    if (!IsBool(boundingBox)) return Fail(m + "boundingBox must be set to VARIANT_TRUE or VARIANT_FALSE");
    if (destX < 1) return Fail(m + "destX must specify a valid final x-coordinate size");
    if (destY < 1) return Fail(m + "destY must specify a valid final y-coordinate size");
    if (!IsBool(upsample)) return Fail(m + "upsample must be set to VARIANT_TRUE or VARIANT_FALSE");
    if (matte == VARIANT_TRUE && (mR < 0 || mR > 255)) {
      return Fail(m + "you must specify a valid RGB Red value for the matte (0-255)");
    }
    if (matte == VARIANT_TRUE && (mG < 0 || mG > 255)) {
      return Fail(m + "you must specify a valid RGB Grenn value for the matte (0-255)");
    }
    if (matte == VARIANT_TRUE && (mB < 0 || mB > 255)) {
      return Fail(m + "you must specify a valid RGB Blue value for the matte (0-255)");
    }
    if (!IsBool(matte)) return Fail(m + "matte must be set to VARIANT_TRUE or VARIANT_FALSE");
    const std::string src = U8(srcFile);
    int needW = destX, needH = destY;
    img::ImageInfo info;
    if (boundingBox == VARIANT_TRUE && img::ReadInfo(src, &info)) {
      img::BoxFit fit = img::FitIntoBox(info.width, info.height, destX, destY, upsample == VARIANT_TRUE);
      needW = fit.width;
      needH = fit.height;
    }
    img::Bitmap picture, result;
    if (img::Status s = LoadAtLeast(src, needW, needH, &picture); !s) return FailWith(m + "bmSrc.Load failed", s);
    std::optional<std::uint32_t> colour;
    if (matte == VARIANT_TRUE) colour = static_cast<std::uint32_t>(mR | mG << 8 | mB << 16);
    HelperResult h = ResizeStillHelper(picture, boundingBox == VARIANT_TRUE, destX, destY, upsample == VARIANT_TRUE,
                                       colour, &result, info.width, info.height);
    if (!h.ok()) return Fail(h.message);
    if (img::Status w = SaveStill(U8(destFile), result); !w) return FailWith(m + "bmDest.Save failed", w);
    return S_OK;
  }

  HRESULT RotateStill(BSTR srcFile, BSTR destFile, LONG degrees, VARIANT_BOOL resize, LONG* finalX,
                      LONG* finalY) override {
    const std::string m = "IVEXAImgUtil::RotateStill - ";
    if (Empty(srcFile)) return Fail(m + "You must specify a valid srcFile to read from");
    if (Empty(destFile)) return Fail(m + "You must specify a valid destFile to save to");
    if (degrees < 1 || degrees > 360) return Fail(m + "degrees must be > 0 and <= 360");
    if (!IsBool(resize)) return Fail(m + "resize must be set to VARIANT_TRUE or VARIANT_FALSE");
    if (!finalX || !finalY) return E_POINTER;
    const std::string src = U8(srcFile);
    img::Bitmap picture, turned;
    if (img::Status s = img::Load(src, &picture); !s) return FailWith(m + "bmSrc.Load failed", s);
    if (img::Status s = img::Rotate(picture, degrees * 100, resize == VARIANT_TRUE, &turned); !s) {
      return FailWith(m + "bmDest.Rotate failed", s);
    }
    *finalX = turned.width();
    *finalY = turned.height();
    img::ImageInfo info;
    if (img::Status s = img::ReadInfo(src, &info); !s) return FailWith(m + "ltFile.GetInfo() failed", s);
    VARIANT_BOOL jpeg = VARIANT_FALSE;
    if (HRESULT hr = isStillJPG(info.format, &jpeg); FAILED(hr)) return hr;
    if (img::Status s = SaveStill(U8(destFile), turned, jpeg == VARIANT_TRUE ? info.format : img::kFormatJpeg); !s) {
      return FailWith(m + "bmDest.Save failed", s);
    }
    return S_OK;
  }

  HRESULT CropStill(BSTR srcFile, BSTR destFile, LONG startX, LONG startY, LONG finishX, LONG finishY) override {
    const std::string m = "IVEXAImgUtil::CropStill - ";
    if (Empty(srcFile)) return Fail(m + "You must specify a valid srcFile to read from");
    if (Empty(destFile)) return Fail(m + "You must specify a valid destFile to save to");
    if (startX < 0) return Fail(m + "startX must specify a valid starting x-coordinate");
    if (startY < 0) return Fail(m + "startY must specify a valid starting y-coordinate");
    if (finishX < 0) return Fail(m + "endX must specify a valid ending x-coordinate");
    if (finishY < 0) return Fail(m + "endY must specify a valid ending y-coordinate");
    if (startY >= finishY) return Fail(m + "invalid parameters - startY >= endY");
    if (startX >= finishX) return Fail(m + "invalid parameters - startX >= endX");
    img::Bitmap picture, part;
    if (img::Status s = img::Load(U8(srcFile), &picture); !s) return FailWith(m + "bmSrc.Load failed", s);
    if (img::Status s = img::CopyRect(picture, startX, startY, finishX - startX, finishY - startY, &part); !s) {
      return FailWith(m + "bmDest.CopyRect failed", s);
    }
    if (img::Status s = SaveStill(U8(destFile), part); !s) return FailWith(m + "bmDest.Save failed", s);
    return S_OK;
  }

  HRESULT CreateStillDerivatives(BSTR origStill, LONG rotateDegrees, BSTR albumResStill, BSTR thumbResStill,
                                 LONG TRx, LONG TRy, BSTR webResStill, LONG WRx, LONG WRy, VARIANT_BOOL* ARSuccess,
                                 LONG* ARWidth, LONG* ARHeight, VARIANT_BOOL* TRSuccess, LONG* TRWidth,
                                 LONG* TRHeight, VARIANT_BOOL* WRSuccess, LONG* WRWidth, LONG* WRHeight) override {
    return Derive(origStill, rotateDegrees, albumResStill, thumbResStill, TRx, TRy, webResStill, WRx, WRy, {}, 0,
                  ARSuccess, ARWidth, ARHeight, TRSuccess, TRWidth, TRHeight, WRSuccess, WRWidth, WRHeight);
  }

  HRESULT CreateStillDerivativesWithComments(BSTR origStill, LONG rotateDegrees, BSTR albumResStill,
                                             BSTR thumbResStill, LONG TRx, LONG TRy, BSTR webResStill, LONG WRx,
                                             LONG WRy, const char* albumComment, const char* thumbComment,
                                             const char* webComment, LONG keepLongSide, VARIANT_BOOL* ARSuccess,
                                             LONG* ARWidth, LONG* ARHeight, VARIANT_BOOL* TRSuccess, LONG* TRWidth,
                                             LONG* TRHeight, VARIANT_BOOL* WRSuccess, LONG* WRWidth,
                                             LONG* WRHeight) override {
    const Comments comments{albumComment ? albumComment : "", thumbComment ? thumbComment : "",
                            webComment ? webComment : ""};
    return Derive(origStill, rotateDegrees, albumResStill, thumbResStill, TRx, TRy, webResStill, WRx, WRy, comments,
                  keepLongSide, ARSuccess, ARWidth, ARHeight, TRSuccess, TRWidth, TRHeight, WRSuccess, WRWidth,
                  WRHeight);
  }

 private:
  struct Comments {
    std::string_view album, thumb, web;
  };

  // The album still, the thumbnail and the web copy from one decode; each
  // written once, with its comment when it has one. The picture the album
  // still is encoded from is kept for the album still's file (reduced to
  // keepLongSide), and the two small stills are made from that reduced
  // picture when there is one: it is far cheaper to resize and as good for
  // them.
  HRESULT Derive(BSTR origStill, LONG rotateDegrees, BSTR albumResStill, BSTR thumbResStill, LONG TRx, LONG TRy,
                 BSTR webResStill, LONG WRx, LONG WRy, const Comments& comments, LONG keepLongSide,
                 VARIANT_BOOL* ARSuccess, LONG* ARWidth, LONG* ARHeight, VARIANT_BOOL* TRSuccess, LONG* TRWidth,
                 LONG* TRHeight, VARIANT_BOOL* WRSuccess, LONG* WRWidth, LONG* WRHeight) {
    if (!ARSuccess || !ARWidth || !ARHeight || !TRSuccess || !TRWidth || !TRHeight || !WRSuccess || !WRWidth ||
        !WRHeight) {
      return E_POINTER;
    }
    *ARSuccess = *TRSuccess = *WRSuccess = VARIANT_FALSE;
    *ARWidth = *ARHeight = *TRWidth = *TRHeight = *WRWidth = *WRHeight = -1;
    const std::string p = kDerivatives;
    const std::string orig = U8(origStill), album = U8(albumResStill), thumbPath = U8(thumbResStill),
                      webPath = U8(webResStill);
    const bool rotates = rotateDegrees >= 1 && rotateDegrees <= 360;
    // A result that names the source, or another result, would overwrite a
    // picture this call reads or writes: refused before anything is read.
    // An album still that is the source itself needs no file: the original
    // serves, unless a rotation would have to change it.
    const bool albumIsSource = !album.empty() && SameFile(album, orig);
    if (albumIsSource && rotates && rotateDegrees != 360) {
      return Fail(p + " - albumResStill names origStill, which the rotation would overwrite");
    }
    if (SameFile(thumbPath, orig)) return Fail(p + " - thumbResStill names origStill, which it would overwrite");
    if (SameFile(webPath, orig)) return Fail(p + " - webResStill names origStill, which it would overwrite");
    if (SameFile(thumbPath, webPath)) return Fail(p + " - thumbResStill and webResStill name the same file");
    const bool writeAlbum = !album.empty() && !albumIsSource;
    if (writeAlbum && (SameFile(album, thumbPath) || SameFile(album, webPath))) {
      return Fail(p + " - albumResStill names the same file as " +
                  (SameFile(album, thumbPath) ? "thumbResStill" : "webResStill"));
    }

    img::Bitmap picture;
    if (img::Status s = img::Load(orig, &picture); !s) return FailWith(p + " - bmSrc.Load() failed", s);
    if (rotates) {
      img::Bitmap turned;
      LONG w = 0, h = 0;
      if (HelperResult r = RotateStillHelper(picture, rotateDegrees, true, &turned, &w, &h); !r.ok()) {
        return Fail(p + " - RotateStillHelper failed - " + std::to_string(r.status.Number()) + " - " +
                    r.status.Text() + ": " + r.message);
      }
      picture = std::move(turned);
    }
    // The picture kept for the album still: no larger than the largest
    // copy made from it later needs. Its sides are rounded up, so that it
    // covers any fit of the full picture into that size.
    img::Bitmap reduced;
    const bool keep = writeAlbum && keepLongSide > 0;
    const int longSide = std::max(picture.width(), picture.height());
    if (keep && longSide > keepLongSide) {
      const auto side = [&](int v) {
        return static_cast<int>(std::max<std::int64_t>(1, (std::int64_t{v} * keepLongSide + longSide - 1) / longSide));
      };
      if (img::Status s = img::Resize(picture, side(picture.width()), side(picture.height()), &reduced); !s) {
        return FailWith(p + " - bmSrc.Size failed", s);
      }
    }
    const img::Bitmap& small = reduced.empty() ? picture : reduced;
    // The one decode feeds all three stills. The full-size album still is
    // encoded while the two small ones are made; their fit follows the
    // full picture's size.
    img::Status albumStatus, thumbStatus, webStatus;
    std::string albumBytes, thumbBytes, webBytes;
    img::Bitmap thumb, web;
    {
      base::TaskGroup albumEncoder;  // on the shared pool, waited for at the block's end
      if (writeAlbum) {
        albumEncoder.Run([&] {
          albumStatus = img::Encode(picture, img::kFormatJpeg, img::kDefaultQualityFactor, &albumBytes);
          if (albumStatus) albumStatus = WithComment(comments.album, &albumBytes);
        });
      }
      thumbStatus =
          ResizeStillHelper(small, true, TRx, TRy, false, std::nullopt, &thumb, picture.width(), picture.height()).status;
      if (thumbStatus) thumbStatus = img::Encode(thumb, img::kFormatJpeg, img::kDefaultQualityFactor, &thumbBytes);
      if (thumbStatus) {
        webStatus =
            ResizeStillHelper(small, true, WRx, WRy, false, std::nullopt, &web, picture.width(), picture.height()).status;
      }
      if (thumbStatus && webStatus) {
        webStatus = img::Encode(web, img::kFormatJpeg, img::kDefaultQualityFactor, &webBytes);
      }
    }
    if (!albumStatus) return FailWith(p + " - bmDest.Save failed for albumRes still", albumStatus);
    if (!thumbStatus) return FailWith(p + " - ResizeStillHelper failed for thumbRes still", thumbStatus);
    if (!webStatus) return FailWith(p + " - ResizeStillHelper failed for webRes still", webStatus);
    if (img::Status s = WithComment(comments.thumb, &thumbBytes); !s) {
      return FailWith(p + " - bmDest.Save failed for thumbRes still", s);
    }
    if (img::Status s = WithComment(comments.web, &webBytes); !s) {
      return FailWith(p + " - bmDest.Save failed for webRes still", s);
    }

    // All or nothing: every still is written beside its target first, and
    // the three are put in place only when all of them were written.
    struct Result {
      const char* name;
      const std::string* path;
      const std::string* bytes;
      base::OutputFile out;
    };
    Result results[] = {{"albumRes", &album, &albumBytes, {}},
                        {"thumbRes", &thumbPath, &thumbBytes, {}},
                        {"webRes", &webPath, &webBytes, {}}};
    for (Result& r : results) {
      if (r.path == &album && !writeAlbum) continue;
      if (!r.out.Open(*r.path) || !r.out.Write(*r.bytes)) {
        return FailWith(p + " - bmDest.Save failed for " + r.name + " still",
                        img::Status(img::ErrorCode::kFileWrite, r.out.Error()));
      }
    }
    for (Result& r : results) {
      if (r.path == &album && !writeAlbum) continue;
      if (!r.out.Commit()) {
        return FailWith(p + " - bmDest.Save failed for " + r.name + " still",
                        img::Status(img::ErrorCode::kFileWrite, r.out.Error()));
      }
    }
    const int albumW = picture.width(), albumH = picture.height();
    if (keep) {
      // Without it the smaller pictures are made by decoding the album
      // still, as for any file: not a failure.
      img::KeepPicture(album, reduced.empty() ? std::move(picture) : std::move(reduced), albumW, albumH);
    }
    *ARWidth = albumW;
    *ARHeight = albumH;
    *ARSuccess = VARIANT_TRUE;
    *TRWidth = thumb.width();
    *TRHeight = thumb.height();
    *TRSuccess = VARIANT_TRUE;
    *WRWidth = web.width();
    *WRHeight = web.height();
    *WRSuccess = VARIANT_TRUE;
    return S_OK;
  }

 public:
  // ---- title stills --------------------------------------------------------------

  HRESULT Create3LineTitleStill(BSTR l1, BSTR l2, BSTR l3, BSTR fileName, BSTR typeface, LONG charset, LONG P,
                                LONG Q, VARIANT_BOOL isNTSC) override {
    img::Bitmap still;
    VARIANT_BOOL c1, c2, c3;
    if (FAILED(Create3LineTitleStillInMemoryHelper(l1, l2, l3, typeface, charset, P, Q, isNTSC, 4, &c1, &c2, &c3,
                                                    &still))) {
      return Fail("IVEXAImgUtil::Create3LineTitleStillInMemory - Create3LineTitleStillHelper call error");
    }
    if (img::Status s = SaveStill(U8(fileName), still); !s) {
      return FailWith("IVEXAImgUtil::CreateTitleStill - bmBase.Save failed", s);
    }
    return S_OK;
  }

  HRESULT Create3LineTitleStillInMemory(BSTR l1, BSTR l2, BSTR l3, BSTR typeface, LONG charset, LONG P, LONG Q,
                                        VARIANT_BOOL isNTSC, VARIANT_BOOL* c1, VARIANT_BOOL* c2, VARIANT_BOOL* c3,
                                        HBITMAP* hBitmap) override {
    if (!hBitmap) return Fail("IVEXAImgUtil::Create3LineTitleStillInMemory - hBitmap is NULL");
    if (!c1 || !c2 || !c3) return E_POINTER;
    img::Bitmap still;
    if (FAILED(Create3LineTitleStillInMemoryHelper(l1, l2, l3, typeface, charset, P, Q, isNTSC, 1, c1, c2, c3,
                                                    &still))) {
      return Fail("IVEXAImgUtil::Create3LineTitleStillInMemory - Create3LineTitleStillHelper call error");
    }
    *hBitmap = img::CreateBitmapHandle(std::move(still));
    if (!*hBitmap) {
      return FailWith("IVEXAImgUtil::Create3LineTitleStillInMemory - bmBase.ConvertToDDB failed",
                      img::Status(img::ErrorCode::kNoMemory));
    }
    return S_OK;
  }

  HRESULT SaveHBitmap(BSTR destFile, HBITMAP* hBitmap, VARIANT_BOOL isNTSC) override {
    const std::string m = "IVEXAImgUtil::CreateTitleStill - ";
    img::Bitmap still;
    if (img::Status s = still.Create(kTitleWidth, TitleHeight(isNTSC == VARIANT_TRUE), 24); !s) {
      return FailWith(m + "bmBase.Create failed", s);
    }
    const img::Bitmap* given = hBitmap ? img::BitmapFromHandle(*hBitmap) : nullptr;
    if (!given) return FailWith(m + "bmBase.ConvertFromDDB failed", img::Status(img::ErrorCode::kInvalidParameter));
    if (img::Status s = img::Combine(&still, 0, 0, *given); !s) return FailWith(m + "bmBase.ConvertFromDDB failed", s);
    if (img::Status s = SaveStill(U8(destFile), still); !s) return FailWith(m + "bmBase.Save failed", s);
    return S_OK;
  }

  // ---- drawing surface --------------------------------------------------------------

  HRESULT OTInit(LONG width, LONG height, LONG backColor) override {
    if (width <= 0) return Fail("IVEXAImgUtil::OTInit - width must be > 0");
    if (height <= 0) return Fail("IVEXAImgUtil::OTInit - height must be > 0");
    if (backColor < 0) return Fail("IVEXAImgUtil::OTInit - backColor must be >= 0");
    m_OTLBitmap.Free();
    if (img::Status s = m_OTLBitmap.Create(width, height, 24); !s) {
      return FailWith("CVEXAImgUtil::OTInit - m_OTLBitmap.Create failed", s);
    }
    if (img::Status s = img::Fill(&m_OTLBitmap, R(backColor), G(backColor), B(backColor)); !s) {
      return FailWith("CVEXAImgUtil::OTInit - m_OTLBitmap.Fill failed", s);
    }
    return S_OK;
  }

  HRESULT OTText(LONG x, LONG y, BSTR font, LONG fontSize, LONG charset, LONG fgColor, LONG bgColor,
                 BSTR text) override {
    if (img::Status s = TextStillHelper(&m_OTLBitmap, x, y, font, fontSize, charset, fgColor, bgColor, text); !s) {
      return FailWith("CVEXAImgUtil::OTText - TextStillHelper call failed", s);
    }
    return S_OK;
  }

  HRESULT OTStretchImageFile(LONG x, LONG y, LONG width, LONG height, BSTR fileName, LONG borderColor,
                             VARIANT_BOOL keepAspect) override {
    const std::string p = "CVEXAImgUtil::OTStretchImageFile";
    img::Bitmap picture;
    img::ImageInfo info;
    int needW = width, needH = height;
    const bool known = keepAspect == VARIANT_TRUE && img::ReadInfo(U8(fileName), &info).ok();
    if (known) {
      img::BoxFit fit = SurfaceFit(info.width, info.height, width, height);
      needW = fit.width;
      needH = fit.height;
    }
    if (img::Status s = LoadAtLeast(U8(fileName), needW, needH, &picture); !s) {
      return FailWith(p + " - m_OTLBitmap.Load failed", s);
    }
    img::Bitmap box;
    if (keepAspect == VARIANT_TRUE) {
      // The picture is scaled down (never up) to fit the box, and always fits
      // it. Its size is the file's own, also when a JPEG was decoded smaller.
      img::BoxFit fit = known ? SurfaceFit(info.width, info.height, width, height)
                              : SurfaceFit(picture.width(), picture.height(), width, height);
      img::Bitmap sized;
      if (fit.width == picture.width() && fit.height == picture.height()) {
        sized = picture;
      } else if (img::Status s = img::Resize(picture, fit.width, fit.height, &sized); !s) {
        return FailWith(p + " - bmBase.Size failed", s);
      }
      if (img::Status s = box.Create(width, height, 24); !s) return FailWith(p + " - bmResized.Create failed", s);
      LONG border = borderColor < 0 ? 0 : borderColor;
      img::Fill(&box, R(border), G(border), B(border));
      if (img::Status s = img::Combine(&box, fit.x, fit.y, sized); !s) {
        return FailWith(p + " - bmResized.Combine failed", s);
      }
    } else if (keepAspect == VARIANT_FALSE) {
      if (img::Status s = img::Resize(picture, width, height, &box); !s) {
        return FailWith(p + " - bmResized.Size failed", s);
      }
    } else {
      return Fail("IVEXAImgUtil::OTStretchImageFile - You must specify a valid keepAspect parameter");
    }
    if (img::Status s = img::Combine(&m_OTLBitmap, x, y, box); !s) {
      return FailWith(p + " - m_OTLBitmap.Combine failed", s);
    }
    return S_OK;
  }

  HRESULT OTClipImageFile(LONG x, LONG y, LONG width, LONG height, BSTR fileName, LONG borderColor) override {
    const std::string p = "CVEXAImgUtil::OTClipImageFile";
    img::Bitmap picture, box;
    if (img::Status s = img::Load(U8(fileName), &picture); !s) return FailWith(p + " - bmBase.Load failed", s);
    if (img::Status s = box.Create(width, height, 24); !s) return FailWith(p + " - bmResized.Create failed", s);
    const int pw = picture.width(), ph = picture.height();
    if (pw < width || ph < height) {
      LONG border = borderColor < 0 ? 0 : borderColor;
      img::Fill(&box, R(border), G(border), B(border));
      if (img::Status s = img::Combine(&box, (width - pw) / 2, (height - ph) / 2, picture); !s) {
        return FailWith(p + " - bmResized.Combine failed", s);
      }
    } else if (img::Status s = img::CopyRect(picture, (pw - width) / 2, (ph - height) / 2, width, height, &box); !s) {
      return FailWith(p + " - bmResized.CopyRect failed", s);
    }
    if (img::Status s = img::Combine(&m_OTLBitmap, x, y, box); !s) return FailWith(p + " - m_OTLBitmap.Combine", s);
    return S_OK;
  }

  HRESULT OTCreateDIB(VARIANT* header, VARIANT* bits, LONG* bytes) override {
    if (!header || !bits || !bytes) return E_POINTER;
    const BYTE* h = nullptr;
    const BYTE* b = nullptr;
    if (HRESULT hr = MakeDib("CVEXAImgUtil::OTCreateDIB", &h, &b, bytes); FAILED(hr)) return hr;
    if (!dib_.low) {
      dib_.Free();
      return Fail("CVEXAImgUtil::OTCreateDIB - the block's address does not fit a 32-bit integer");
    }
    VariantClear(header);
    VariantClear(bits);
    header->vt = VT_I4;
    header->lVal = static_cast<LONG>(reinterpret_cast<std::uintptr_t>(h));
    bits->vt = VT_I4;
    bits->lVal = static_cast<LONG>(reinterpret_cast<std::uintptr_t>(b));
    return S_OK;
  }

  HRESULT OTCreateDIBNative(const BYTE** header, const BYTE** bits, LONG* bytes) override {
    if (!header || !bits || !bytes) return E_POINTER;
    return MakeDib("CVEXAImgUtil::OTCreateDIBNative", header, bits, bytes);
  }

  HRESULT CopyJpegWithComment(BSTR srcFile, BSTR destFile, const char* comment, VARIANT_BOOL* copied) override {
    const std::string m = "IVEXAImgUtil::CopyJpegWithComment - ";
    if (!copied) return E_POINTER;
    *copied = VARIANT_FALSE;
    if (Empty(srcFile)) return Fail(m + "You must specify a valid srcFile to read from");
    if (Empty(destFile)) return Fail(m + "You must specify a valid destFile to save to");
    const std::string src = U8(srcFile), dest = U8(destFile);
    if (SameFile(src, dest)) return Fail(m + "destFile names srcFile");
    std::string bytes, why;
    if (!base::ReadFile(src, &bytes, &why)) {
      return FailWith(m + "srcFile cannot be read", img::Status(img::ErrorCode::kFileRead, why));
    }
    std::string withComment;
    bool added = false;
    if (img::Status s = img::AddJpegComment(bytes, comment ? comment : "", &withComment, &added); !s) {
      return FailWith(m + "the comment cannot be put in", s);
    }
    if (!added) return S_OK;
    base::OutputFile out;
    if (!out.Open(dest) || !out.Write(withComment) || ::fchmod(::fileno(out.Stream()), 0644) != 0 || !out.Commit()) {
      return FailWith(m + "destFile cannot be written", img::Status(img::ErrorCode::kFileWrite, out.Error()));
    }
    *copied = VARIANT_TRUE;
    return S_OK;
  }

  HRESULT OTSetPixelAspect(LONG width, LONG height) override {
    if (width <= 0 || height <= 0) {
      return Fail("IVEXAImgUtil::OTSetPixelAspect - width and height must be > 0");
    }
    pixelAspectW_ = width;
    pixelAspectH_ = height;
    return S_OK;
  }

  HRESULT OTWriteBMP(BSTR fileName) override {
    if (Empty(fileName)) return Fail("IVEXAImgUtil::OTWriteBMP - You must specify a valid filename to save to");
    if (img::Status s = SaveStill(U8(fileName), m_OTLBitmap); !s) {
      return FailWith("CVEXAImgUtil::OTWriteBMP - m_OTLBitmap.Save failed", s);
    }
    return S_OK;
  }

 private:
  img::Status TextStillHelper(img::Bitmap* surface, LONG x, LONG y, BSTR font, LONG fontSize, LONG /*charset*/,
                              LONG fgColor, LONG bgColor, BSTR text) {
    // Text stays UTF-8 all the way to the layout: nothing is lost to a code page.
    img::TextStyle style;
    style.family = U8(font);
    style.pixelHeight = img::PointsToPixels(fontSize);
    style.color = static_cast<std::uint32_t>(fgColor) & 0xFFFFFF;
    if (bgColor >= 0) style.background = static_cast<std::uint32_t>(bgColor) & 0xFFFFFF;
    return img::DrawText(surface, x, y, U8(text), style, img::TextAlign::kLeftTop);
  }

  HRESULT Create3LineTitleStillInMemoryHelper(BSTR l1, BSTR l2, BSTR l3, BSTR typeface, LONG /*charset*/, LONG P,
                                              LONG Q, VARIANT_BOOL isNTSC, int k, VARIANT_BOOL* c1,
                                              VARIANT_BOOL* c2, VARIANT_BOOL* c3, img::Bitmap* still) {
    VARIANT_BOOL* clipped[3] = {c1, c2, c3};
    for (VARIANT_BOOL* c : clipped) *c = VARIANT_FALSE;
    const std::string lines[3] = {U8(l1), U8(l2), U8(l3)};
    const bool has[3] = {!lines[0].empty(), !lines[1].empty(), !lines[2].empty()};
    if (P < -kTitleMaxPointSize || P > kTitleMaxPointSize || Q < -kTitleMaxPointSize || Q > kTitleMaxPointSize) {
      return Fail("IVEXAImgUtil::Create3LineTitleStillInMemoryHelper - point sizes must lie within -" +
                  std::to_string(kTitleMaxPointSize) + " and " + std::to_string(kTitleMaxPointSize));
    }
    if (img::Status s = still->Create(kTitleWidth * k, TitleHeight(isNTSC == VARIANT_TRUE) * k, 24); !s) {
      return FailWith("IVEXAImgUtil::CreateTitleStill - bmBase.Create failed", s);
    }
    if (img::Status s = img::Fill(still, 0, 0, 0); !s) {
      return FailWith("IVEXAImgUtil::Create3LineTitleStillInMemoryHelper - bmBase.Fill failed", s);
    }
    TitleLayout layout = ComputeTitleLayout(has, P, Q);
    if (layout.present == 0) return S_OK;
    img::TextStyle primary, secondary;
    primary.family = secondary.family = U8(typeface);
    primary.pixelHeight = img::PointsToPixels(P * k);
    secondary.pixelHeight = img::PointsToPixels(Q * k);
    primary.color = secondary.color = 0xFFFFFF;
    const int x = kTitleWidth * k / 2;
    for (int i = 0; i < 3; ++i) {
      if (!has[i]) continue;
      img::TextExtent extent;
      if (img::Status s = img::DrawText(still, x, layout.y[i] * k, lines[i], i == 0 ? primary : secondary,
                                        img::TextAlign::kCentreTop, &extent);
          !s) {
        return Fail("IVEXAImgUtil::Create3LineTitleStillInMemoryHelper - GetTextExtentPoint32 failed for title line" +
                    std::to_string(i + 1));
      }
      if (extent.width > kTitleSafeWidth * k) *clipped[i] = VARIANT_TRUE;
    }
    return S_OK;
  }

  HRESULT MakeDib(const std::string& who, const BYTE** header, const BYTE** bits, LONG* bytes) {
    dib_.Free();
    std::vector<std::uint8_t> packed;
    if (img::Status s = img::EncodePackedDib(m_OTLBitmap, &packed); !s) {
      return FailWith(who + " - m_OTLBitmap.ConvertToDIB failed", s);
    }
    if (!dib_.Allocate(packed.size())) {
      return FailWith(who + " - GlobalAlloc failed", img::Status(img::ErrorCode::kNoMemory));
    }
    std::memcpy(dib_.data, packed.data(), packed.size());
    auto u32 = [&](int at) {
      return static_cast<std::uint32_t>(dib_.data[at] | dib_.data[at + 1] << 8 | dib_.data[at + 2] << 16 |
                                        static_cast<std::uint32_t>(dib_.data[at + 3]) << 24);
    };
    const int bitCount = dib_.data[14] | dib_.data[15] << 8;
    *header = dib_.data;
    *bits = dib_.data + 40 + (bitCount <= 8 ? 4 * (1 << bitCount) : 0);
    *bytes = static_cast<LONG>(u32(20));
    return S_OK;
  }

  // Where a pw x ph picture (square pixels) goes in a width x height box of
  // the drawing surface, whose pixels are shown pixelAspectW_:pixelAspectH_:
  // the picture is fitted as if it were pw x pixelAspectH_ / pixelAspectW_
  // surface pixels wide, so it keeps its shape on the screen.
  img::BoxFit SurfaceFit(int pw, int ph, int width, int height) const {
    if (pixelAspectW_ == pixelAspectH_) return StretchFit(pw, ph, width, height);
    const std::int64_t wide = (static_cast<std::int64_t>(pw) * pixelAspectH_ + pixelAspectW_ / 2) / pixelAspectW_;
    const int w = static_cast<int>(std::clamp<std::int64_t>(wide, 1, std::numeric_limits<int>::max()));
    return StretchFit(w, ph, width, height);
  }

  img::Bitmap m_OTLBitmap;
  LowBlock dib_;
  LONG pixelAspectW_ = 1;
  LONG pixelAspectH_ = 1;
};

}  // namespace

std::span<const DispatchEntry<CVEXAImgUtil>> CVEXAImgUtil::DispatchTable() {
  // Create3LineTitleStillInMemory [12] and SaveHBitmap [13] pass bitmap
  // handles, which have no VARIANT type: they are reached through the vtable.
  static const DispatchEntry<CVEXAImgUtil> kTable[] = {
      DispMethodOf<&CVEXAImgUtil::Create3LineTitleStill>(2, u"Create3LineTitleStill"),
      DispMethodOf<&CVEXAImgUtil::Any2JPG>(3, u"Any2JPG"),
      DispMethodOf<&CVEXAImgUtil::ResizeStill>(4, u"ResizeStill"),
      DispMethodOf<&CVEXAImgUtil::GetStillInfo>(6, u"GetStillInfo"),
      DispMethodOf<&CVEXAImgUtil::isSupportedStillInputFormat>(7, u"isSupportedStillInputFormat"),
      DispMethodOf<&CVEXAImgUtil::isStillBMP>(8, u"isStillBMP"),
      DispMethodOf<&CVEXAImgUtil::isStillJPG>(9, u"isStillJPG"),
      DispMethodOf<&CVEXAImgUtil::isStillTIF>(10, u"isStillTIF"),
      DispMethodOf<&CVEXAImgUtil::RotateStill>(11, u"RotateStill"),
      DispMethodOf<&CVEXAImgUtil::isStillCMP>(14, u"isStillCMP"),
      DispMethodOf<&CVEXAImgUtil::isStillGIF>(15, u"isStillGIF"),
      DispMethodOf<&CVEXAImgUtil::isStillPNG>(16, u"isStillPNG"),
      DispMethodOf<&CVEXAImgUtil::isStillPCT>(17, u"isStillPCT"),
      DispMethodOf<&CVEXAImgUtil::isStillPCD>(18, u"isStillPCD"),
      DispMethodOf<&CVEXAImgUtil::CropStill>(19, u"CropStill"),
      DispMethodOf<&CVEXAImgUtil::OTInit>(20, u"OTInit"),
      DispMethodOf<&CVEXAImgUtil::OTText>(21, u"OTText"),
      DispMethodOf<&CVEXAImgUtil::OTStretchImageFile>(22, u"OTStretchImageFile"),
      DispMethodOf<&CVEXAImgUtil::OTClipImageFile>(23, u"OTClipImageFile"),
      DispMethodOf<&CVEXAImgUtil::OTCreateDIB>(24, u"OTCreateDIB"),
      DispMethodOf<&CVEXAImgUtil::OTWriteBMP>(25, u"OTWriteBMP"),
      DispMethodOf<&CVEXAImgUtil::CreateStillDerivatives>(26, u"CreateStillDerivatives"),
  };
  return kTable;
}

HRESULT CreateVEXAImgUtil(REFIID iid, void** ppv) { return ComObject<CVEXAImgUtil>::CreateInstance(iid, ppv); }

}  // namespace vexa::imgutil

