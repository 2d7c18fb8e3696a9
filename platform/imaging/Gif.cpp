// GIF through giflib: the first frame, placed on the logical screen, as an
// 8-bit picture with its colour map.
#include <gif_lib.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

struct Source {
  Bytes data;
  std::size_t pos = 0;
};

int ReadFunc(GifFileType* gif, GifByteType* buf, int size) {
  auto* s = static_cast<Source*>(gif->UserData);
  if (size <= 0 || s->pos >= s->data.size()) return 0;
  std::size_t n = std::min(static_cast<std::size_t>(size), s->data.size() - s->pos);
  std::memcpy(buf, s->data.data() + s->pos, n);
  s->pos += n;
  return static_cast<int>(n);
}

Status FromGifError(int code) {
  switch (code) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
      return Status(ErrorCode::kFileTruncated, GifErrorString(code) ? GifErrorString(code) : "");
    case D_GIF_ERR_NOT_ENOUGH_MEM:
      return ErrorCode::kNoMemory;
    default: {
      const char* t = GifErrorString(code);
      return Status(ErrorCode::kFileCorrupt, t ? t : "");
    }
  }
}

}  // namespace

Status GifInfo(Bytes data, ImageInfo* info) {
  Source src{data};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, ReadFunc, &err);
  if (!gif) return FromGifError(err);
  Status s = CheckDimensions(gif->SWidth, gif->SHeight);
  if (s) {
    info->format = kFormatGif;
    info->width = gif->SWidth;
    info->height = gif->SHeight;
    info->bitsPerPixel = 8;
  }
  DGifCloseFile(gif, &err);
  return s;
}

namespace {

// Reads records up to the first picture and its pixels, checking its size
// before anything is allocated (giflib's whole-file reader would allocate
// whatever each frame claims).
Status ReadFirstFrame(GifFileType* gif, std::vector<GifByteType>* raster) {
  while (true) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return FromGifError(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) return Status(ErrorCode::kFileCorrupt, "GIF without a picture");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return FromGifError(gif->Error);
      while (ext) {
        if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return FromGifError(gif->Error);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) != GIF_OK) return FromGifError(gif->Error);
    const GifImageDesc& d = gif->Image;
    if (Status s = CheckDimensions(d.Width, d.Height); !s) {
      return s.code() == ErrorCode::kInvalidParameter ? Status(ErrorCode::kFileCorrupt, "bad GIF frame size") : s;
    }
    try {
      raster->assign(static_cast<std::size_t>(d.Width) * d.Height, 0);
    } catch (const std::bad_alloc&) {
      return ErrorCode::kNoMemory;
    }
    auto line = [&](int y) { return raster->data() + static_cast<std::size_t>(y) * d.Width; };
    if (d.Interlace) {
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < d.Height; y += kStep[pass]) {
          if (DGifGetLine(gif, line(y), d.Width) != GIF_OK) return FromGifError(gif->Error);
        }
      }
    } else {
      for (int y = 0; y < d.Height; ++y) {
        if (DGifGetLine(gif, line(y), d.Width) != GIF_OK) return FromGifError(gif->Error);
      }
    }
    return {};
  }
}

}  // namespace

Status GifDecode(Bytes data, Bitmap* bitmap) {
  Source src{data};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, ReadFunc, &err);
  if (!gif) return FromGifError(err);
  Status s = CheckDimensions(gif->SWidth, gif->SHeight);
  std::vector<GifByteType> raster;
  if (s) s = ReadFirstFrame(gif, &raster);
  Bitmap out;
  if (s) s = out.Create(gif->SWidth, gif->SHeight, 8);
  if (s) {
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    auto& pal = out.palette();
    pal.assign(256, PaletteEntry{0, 0, 0, 255});
    if (map) {
      for (int i = 0; i < map->ColorCount && i < 256; ++i) {
        pal[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 255};
      }
    }
    int background = gif->SBackGroundColor;
    if (background < 0 || background > 255) background = 0;
    std::memset(out.data(), background, out.size());
    // The frame may stick out of the screen; only its visible part is kept.
    for (int y = 0; y < desc.Height; ++y) {
      int sy = desc.Top + y;
      if (sy < 0 || sy >= out.height()) continue;
      for (int x = 0; x < desc.Width; ++x) {
        int sx = desc.Left + x;
        if (sx < 0 || sx >= out.width()) continue;
        out.row(sy)[sx] = raster[static_cast<std::size_t>(y) * desc.Width + x];
      }
    }
  }
  DGifCloseFile(gif, &err);
  if (!s) return s;
  out.set_format(kFormatGif);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
