#include "encoder/common/BitmapFile.h"

#include "encoder/common/Failure.h"
#include "encoder/common/InputFile.h"
#include "platform/imaging/BmpLayout.h"

namespace vidlathe {

bool ReadBmpFile(const std::string& path, std::vector<uint8_t>* file, BitmapSource* out) {
  InputFile f;
  if (!f.Open(path)) return false;
  constexpr size_t kMaxFile = size_t{1} << 30;
  std::vector<uint8_t>& d = *file;
  d.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = f.Read(buf, sizeof buf)) > 0) {
    d.insert(d.end(), buf, buf + n);
    if (d.size() > kMaxFile) return Fail(FileReason(path, "is larger than a bitmap the encoder takes (1 GB)"));
  }
  if (f.failed()) return false;

  // The picture layer's parser checks that every part lies inside the file;
  // what follows is what the encoder itself takes.
  vexa::imaging::BmpLayout layout;
  if (const vexa::imaging::Status st = vexa::imaging::ParseBmpLayout(d, &layout); !st)
    return Fail(FileReason(path, std::string("is not a bitmap the encoder can read: ") + st.Text() +
                                     (st.detail().empty() ? "" : " (" + st.detail() + ")")));
  if (layout.headerSize < 40)
    return Fail(FileReason(path, "has an OS/2 core header of " + std::to_string(layout.headerSize) +
                                     " bytes; the encoder takes headers of 40 bytes and more"));
  if (layout.compression != 0) return Fail(FileReason(path, "is compressed; the encoder takes uncompressed bitmaps"));
  if (layout.bpp != 8 && layout.bpp != 16 && layout.bpp != 24 && layout.bpp != 32)
    return Fail(FileReason(path, "has " + std::to_string(layout.bpp) +
                                     " bits per pixel; the encoder takes 8, 16, 24 or 32"));
  if (layout.width > kMaxBitmapSide || layout.height > kMaxBitmapSide)
    return Fail(FileReason(path, "is larger than 16384 x 16384 pixels"));
  size_t entries = 0;
  if (layout.bpp == 8) {
    entries = layout.colorsUsed == 0 ? 256 : layout.colorsUsed;
    if (entries > 256) return Fail(FileReason(path, "lists more than 256 colours for 8 bits per pixel"));
    if (layout.paletteAt + 4 * entries > layout.offBits)
      return Fail(FileReason(path, "has a colour table that runs into its pixels"));
  }
  const size_t stride = BitmapStride(static_cast<int>(layout.width), layout.bpp);
  const size_t need = stride * static_cast<size_t>(layout.height);
  if (need > d.size() - layout.offBits)
    return Fail(FileReason(path, "holds fewer pixel rows than its header says"));

  BITMAPINFOHEADER h{};
  h.biSize = layout.headerSize;
  h.biWidth = static_cast<LONG>(layout.width);
  h.biHeight = static_cast<LONG>(layout.topDown ? -layout.height : layout.height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(layout.bpp);
  h.biCompression = 0;
  h.biSizeImage = static_cast<DWORD>(need);
  h.biClrUsed = layout.colorsUsed;
  out->header = h;
  out->pixels = d.data() + layout.offBits;
  out->pixelBytes = need;
  out->palette = entries ? d.data() + layout.paletteAt : nullptr;
  out->paletteEntries = static_cast<int>(entries);
  return true;
}

}  // namespace vidlathe
