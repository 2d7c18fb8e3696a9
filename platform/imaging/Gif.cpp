// GIF through giflib: the first frame, placed on the logical screen, as an
// 8-bit picture with its colour map.
#include <gif_lib.h>

#include <cstring>

#include "platform/imaging/Decoders.h"

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

Status GifDecode(Bytes data, Bitmap* bitmap) {
  Source src{data};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, ReadFunc, &err);
  if (!gif) return FromGifError(err);
  Status s = CheckDimensions(gif->SWidth, gif->SHeight);
  if (s && DGifSlurp(gif) != GIF_OK) s = FromGifError(gif->Error);
  if (s && gif->ImageCount < 1) s = Status(ErrorCode::kFileCorrupt, "GIF without a picture");
  Bitmap out;
  if (s) s = out.Create(gif->SWidth, gif->SHeight, 8);
  if (s) {
    const SavedImage& frame = gif->SavedImages[0];
    const GifImageDesc& desc = frame.ImageDesc;
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
    if (desc.Width < 0 || desc.Height < 0 || !frame.RasterBits) {
      s = Status(ErrorCode::kFileCorrupt, "GIF frame without pixels");
    } else {
      // The frame may stick out of the screen; only its visible part is kept.
      for (int y = 0; y < desc.Height; ++y) {
        int sy = desc.Top + y;
        if (sy < 0 || sy >= out.height()) continue;
        for (int x = 0; x < desc.Width; ++x) {
          int sx = desc.Left + x;
          if (sx < 0 || sx >= out.width()) continue;
          out.row(sy)[sx] = frame.RasterBits[static_cast<std::size_t>(y) * desc.Width + x];
        }
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
