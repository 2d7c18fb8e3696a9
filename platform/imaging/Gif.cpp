// GIF through giflib: the first frame, placed on the logical screen, as an
// 8-bit picture with its colour map.
#include <gif_lib.h>

#include <algorithm>
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

// Reads records up to the first picture's descriptor (the frame's size and
// place, its colour map), checking its size; the pixels follow.
Status ReadFirstFrameHead(GifFileType* gif) {
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
    return {};
  }
}

// The frame's pixels, line by line in the order they are stored, onto the
// screen at the frame's place; the part outside the screen is dropped.
Status ReadFrameOnto(GifFileType* gif, Bitmap* screen) {
  const GifImageDesc& d = gif->Image;
  std::vector<GifByteType> line;
  try {
    line.resize(static_cast<std::size_t>(d.Width));
  } catch (const std::bad_alloc&) {
    return ErrorCode::kNoMemory;
  }
  const int left = std::max(0, d.Left), right = std::min(screen->width(), d.Left + d.Width);
  auto read = [&](int y) -> Status {
    if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return FromGifError(gif->Error);
    const int sy = d.Top + y;
    if (sy >= 0 && sy < screen->height() && left < right) {
      std::memcpy(screen->row(sy) + left, line.data() + (left - d.Left), static_cast<std::size_t>(right - left));
    }
    return {};
  };
  if (d.Interlace) {
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < d.Height; y += kStep[pass]) {
        if (Status s = read(y); !s) return s;
      }
    }
  } else {
    for (int y = 0; y < d.Height; ++y) {
      if (Status s = read(y); !s) return s;
    }
  }
  return {};
}

}  // namespace

Status GifDecode(Bytes data, Bitmap* bitmap) {
  Source src{data};
  int err = 0;
  GifFileType* gif = DGifOpen(&src, ReadFunc, &err);
  if (!gif) return FromGifError(err);
  Status s = CheckDimensions(gif->SWidth, gif->SHeight);
  if (s) s = ReadFirstFrameHead(gif);
  if (s) {
    // Each code of the compressed pixels takes at least 2 bits and stands
    // for at most 4096 pixels: data far shorter than the frame needs is
    // refused before the screen is allocated.
    const GifImageDesc& d = gif->Image;
    const std::uint64_t left = data.size() - std::min(src.pos, data.size());
    if (static_cast<std::uint64_t>(d.Width) * static_cast<std::uint64_t>(d.Height) / 16384 > left) {
      s = Status(ErrorCode::kFileTruncated, "GIF data far shorter than its frame needs");
    }
  }
  // The screen as an 8-bit picture and one line of the frame.
  if (s) s = CheckDecodeBytes(BitmapBytes(gif->SWidth, gif->SHeight, 8) + static_cast<std::uint64_t>(gif->Image.Width));
  Bitmap out;
  if (s) s = out.Allocate(gif->SWidth, gif->SHeight, 8);
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
    s = ReadFrameOnto(gif, &out);
  }
  DGifCloseFile(gif, &err);
  if (!s) return s;
  out.set_format(kFormatGif);
  *bitmap = std::move(out);
  return {};
}

}  // namespace vexa::imaging::detail
