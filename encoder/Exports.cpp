// The exported entry points that encode pictures: one bitmap or a picture
// source's list into still streams, or into motion streams; the last
// failure's text; the library's sample class, function and integer.
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/Vidlathe.h"
#include "encoder/coder/EncodeStream.h"
#include "encoder/common/BitmapFile.h"
#include "encoder/common/ColourConvert.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/EncodingCall.h"
#include "encoder/common/Failure.h"
#include "encoder/common/Modes.h"

namespace vidlathe {
namespace {

int ClampQuantiser(int q) { return q < 2 ? 2 : q > 62 ? 62 : q; }

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// One bitmap into a still stream of mode 1..4.
int EncodeOneBitmap(const BitmapSource& src, const char* outputPath, int quantiser, const Mode& m) {
  StillPlanes planes;
  if (!MakeStillPlanes(src, m.kind, m.width, m.height, &planes))
    return Fail("the bitmap is not one the encoder takes: 8, 16, 24 or 32 bits per pixel, uncompressed, "
                "at most 16384 x 16384 pixels, its rows inside its buffer");
  bool given = false;
  auto feed = [&](StillPlanes* out, uint32_t* ms) {
    if (given) return Feed::kEnd;
    *out = std::move(planes);
    *ms = 0;
    given = true;
    return Feed::kPicture;
  };
  StreamRequest request;
  request.mode = &m;
  request.quantiser = ClampQuantiser(quantiser);
  request.outputPath = Text(outputPath);
  return EncodeStream(request, feed);
}

// The common part of the picture-source entry points: mode from set, the
// pictures converted as kind (a still, or a pair for pair modes).
int EncodeFromSource(ModeSet set, int count, PictureSource source, const char* outputPath, int quantiser,
                     int mode, const char* mp2Path, int loop) {
  const Mode* m = FindMode(set, mode);
  if (!m) return Fail(ModeRangeText(set, mode));
  if (!source) return Fail("no picture source given");
  if (!outputPath) return Fail("no output file given");
  const uint32_t pictureKind = m->kind == kStillPair ? kStillPair : kStill;
  StreamRequest request;
  request.mode = m;
  request.quantiser = quantiser;
  request.outputPath = outputPath;
  request.audioPath = Text(mp2Path);
  request.loopAudio = loop != 0;
  return EncodeStream(request, PictureSourceFeed(source, count < 0 ? 0 : count, pictureKind, m->width, m->height));
}

}  // namespace
}  // namespace vidlathe

using namespace vidlathe;

extern "C" int Vidlathe1(void* bits, BITMAPINFOHEADER* header, const char* outputPath, int quantiser,
                         int mode) {
  return RunEntryPoint("Vidlathe1", CallKind::kEncoding, [&]() -> int {
    const Mode* m = FindMode(ModeSet::kVidlathe, mode);
    if (!m) return Fail(ModeRangeText(ModeSet::kVidlathe, mode));
    if (!bits || !header) return Fail("no pixels or no bitmap header given");
    BitmapSource src;
    src.header = *header;  // the caller's header is never changed
    src.pixels = static_cast<const uint8_t*>(bits);
    // Nothing tells how large the caller's buffer is: it must hold stride x
    // height bytes, and a stated image size smaller than that is refused.
    const int64_t rows = header->biHeight < 0 ? -static_cast<int64_t>(header->biHeight) : header->biHeight;
    const size_t need = header->biWidth > 0 && rows <= kMaxBitmapSide
                            ? BitmapStride(header->biWidth, header->biBitCount) * static_cast<size_t>(rows)
                            : 0;
    if (header->biSizeImage != 0 && header->biSizeImage < need)
      return Fail("the bitmap header's image size (" + std::to_string(header->biSizeImage) +
                  " bytes) is smaller than its rows (" + std::to_string(need) + " bytes)");
    src.pixelBytes = need;
    if (header->biBitCount == 8) {
      // The palette follows the header; a header size that is not a real
      // header's would point it anywhere.
      const DWORD used = header->biClrUsed == 0 ? 256 : header->biClrUsed;
      if (used > 256 || header->biSize < 40 || header->biSize > 1024)
        return Fail("an 8-bit bitmap needs a header of 40 to 1024 bytes and at most 256 colours");
      src.palette = reinterpret_cast<const uint8_t*>(header) + header->biSize;
      src.paletteEntries = static_cast<int>(used);
    }
    return EncodeOneBitmap(src, outputPath, quantiser, *m);
  });
}

extern "C" int Vidlathe2(const char* bmpPath, const char* outputPath, int quantiser, int mode) {
  return RunEntryPoint("Vidlathe2", CallKind::kEncoding, [&]() -> int {
    const Mode* m = FindMode(ModeSet::kVidlathe, mode);
    if (!m) return Fail(ModeRangeText(ModeSet::kVidlathe, mode));
    if (!bmpPath) return Fail("no bitmap file given");
    std::vector<uint8_t> file;
    BitmapSource src;
    if (!ReadBmpFile(bmpPath, &file, &src)) return 0;
    return EncodeOneBitmap(src, outputPath, quantiser, *m);
  });
}

extern "C" int Multi_I_Enc_Still_MP2(int count, PictureSource source, const char* outputPath, int quantiser,
                                     int mode, const char* mp2Path, int loop) {
  return RunEntryPoint("Multi_I_Enc_Still_MP2", CallKind::kEncoding, [&]() -> int {
    return EncodeFromSource(ModeSet::kMultiStill, count, source, outputPath, ClampQuantiser(quantiser), mode,
                            mp2Path, loop);
  });
}

extern "C" int Multi_I_Enc_Still(int count, PictureSource source, const char* outputPath, int quantiser,
                                 int mode) {
  return Multi_I_Enc_Still_MP2(count, source, outputPath, quantiser, mode, nullptr, 0);
}

extern "C" int MulVidlathe_MP2(int count, PictureSource source, const char* outputPath, int mode,
                               const char* mp2Path, int loop) {
  return RunEntryPoint("MulVidlathe_MP2", CallKind::kEncoding, [&]() -> int {
    return EncodeFromSource(ModeSet::kMotion, count, source, outputPath, 2, mode, mp2Path, loop);
  });
}

extern "C" int MultipleVidlathe2(int count, PictureSource source, const char* outputPath, int mode) {
  return MulVidlathe_MP2(count, source, outputPath, mode, nullptr, 0);
}

extern "C" const char* Vidlathe_GetLastFailure(void) { return LastFailure().c_str(); }

extern "C" int fnBrellmp1a(void) { return 42; }
extern "C" {
int nBrellmp1a = 0;
}

CBrellmp1a::CBrellmp1a() {}
CBrellmp1a& CBrellmp1a::operator=(const CBrellmp1a&) = default;
