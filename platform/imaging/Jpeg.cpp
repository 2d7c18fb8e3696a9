// JPEG through libjpeg-turbo. libjpeg reports fatal errors through a
// callback that must not return; it jumps back to the setjmp of the calling
// function, so those functions keep every object with a destructor outside
// the region between setjmp and the last libjpeg call.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Decoders_p.h"

namespace vexa::imaging::detail {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  ErrorCode code;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  err->code = ErrorCode::kFileCorrupt;
  std::longjmp(err->jump, 1);
}

// A premature end of data is only a warning to libjpeg, which then pads
// the picture with grey; here it is an error.
void OnMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    (*cinfo->err->format_message)(cinfo, err->message);
    err->code = ErrorCode::kFileTruncated;
    std::longjmp(err->jump, 1);
  }
}

void InitErrors(ErrorManager* err) {
  jpeg_std_error(&err->pub);
  err->pub.error_exit = OnError;
  err->pub.emit_message = OnMessage;
  err->code = ErrorCode::kOk;
  err->message[0] = '\0';
}

int ChooseDenominator(int width, int height, const LoadOptions& o) {
  if (o.minWidth <= 0 && o.minHeight <= 0) return 1;
  for (int d : {8, 4, 2}) {
    int w = (width + d - 1) / d;
    int h = (height + d - 1) / d;
    if (w >= o.minWidth && h >= o.minHeight) return d;
  }
  return 1;
}

// What libjpeg holds while it decodes, from the header: a file of several
// scans (progressive, or one component a scan) keeps the DCT coefficients
// of the whole picture, 64 of 2 bytes a block of each component, padded to
// whole units of its sampling; any file keeps some rows of each component,
// counted generously.
std::uint64_t ReaderBytes(const jpeg_decompress_struct* cinfo) {
  const bool wholePicture = cinfo->progressive_mode || cinfo->comps_in_scan < cinfo->num_components;
  std::uint64_t bytes = 0;
  for (int c = 0; c < cinfo->num_components; ++c) {
    const jpeg_component_info& comp = cinfo->comp_info[c];
    const auto roundUp = [](std::uint64_t v, std::uint64_t unit) { return unit ? (v + unit - 1) / unit * unit : v; };
    const std::uint64_t columns = roundUp(comp.width_in_blocks, static_cast<std::uint64_t>(comp.h_samp_factor));
    const std::uint64_t rows = roundUp(comp.height_in_blocks, static_cast<std::uint64_t>(comp.v_samp_factor));
    if (wholePicture) bytes += columns * rows * DCTSIZE2 * sizeof(JCOEF);
    bytes += columns * DCTSIZE * 4 * static_cast<std::uint64_t>(cinfo->max_v_samp_factor) * DCTSIZE;
  }
  return bytes;
}

// Decodes into `out`; returns false after a libjpeg error (details in err).
bool DecodeInto(jpeg_decompress_struct* cinfo, ErrorManager* err, Bytes data,
                const LoadOptions& options, Bitmap* out, Status* status) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_src(cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(cinfo, TRUE);
  cinfo->scale_num = 1;
  cinfo->scale_denom =
      ChooseDenominator(static_cast<int>(cinfo->image_width), static_cast<int>(cinfo->image_height), options);
  bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  if (cinfo->num_components == 1) {
    cinfo->out_color_space = JCS_GRAYSCALE;
  } else if (cmyk) {
    cinfo->out_color_space = JCS_CMYK;
  } else {
    cinfo->out_color_space = JCS_EXT_BGR;
  }
  jpeg_calc_output_dimensions(cinfo);
  // Every 8 x 8 block costs at least two bits, so a file far too short for
  // the size its header claims is refused before the picture is allocated.
  if (static_cast<std::uint64_t>(cinfo->image_width) * cinfo->image_height / 1024 > data.size()) {
    *status = Status(ErrorCode::kFileTruncated, "JPEG data far shorter than its picture size needs");
    jpeg_abort_decompress(cinfo);
    return true;
  }
  const int depth = cinfo->num_components == 1 ? 8 : 24;
  *status = CheckDecodeBytes(BitmapBytes(cinfo->output_width, cinfo->output_height, depth) + ReaderBytes(cinfo));
  if (!status->ok()) {
    jpeg_abort_decompress(cinfo);
    return true;
  }
  // Whatever else libjpeg would hold in its arrays stays within the same
  // bound: beyond it the library fails, as it has no backing store.
  cinfo->mem->max_memory_to_use = static_cast<long>(kMaxDecodeBytes);
  *status = out->Allocate(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height), depth);
  if (!status->ok()) {
    jpeg_abort_decompress(cinfo);
    return true;
  }
  // A CMYK picture is read into a scratch row and converted.
  JSAMPLE* scratch = nullptr;
  if (cmyk) {
    scratch = static_cast<JSAMPLE*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, cinfo->output_width * 4));
  }
  jpeg_start_decompress(cinfo);
  bool inverted = cinfo->saw_Adobe_marker;
  while (cinfo->output_scanline < cinfo->output_height) {
    int y = static_cast<int>(cinfo->output_scanline);
    JSAMPROW row = cmyk ? scratch : out->row(y);
    jpeg_read_scanlines(cinfo, &row, 1);
    if (cmyk) {
      std::uint8_t* d = out->row(y);
      for (JDIMENSION x = 0; x < cinfo->output_width; ++x) {
        int c = scratch[x * 4], m = scratch[x * 4 + 1], ye = scratch[x * 4 + 2], k = scratch[x * 4 + 3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          ye = 255 - ye;
          k = 255 - k;
        }
        d[x * 3 + 0] = static_cast<std::uint8_t>(ye * k / 255);
        d[x * 3 + 1] = static_cast<std::uint8_t>(m * k / 255);
        d[x * 3 + 2] = static_cast<std::uint8_t>(c * k / 255);
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* err, Bytes data) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_src(cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

struct EncodeState {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool EncodeInto(jpeg_compress_struct* cinfo, ErrorManager* err, const Bitmap& bitmap,
                const JpegOptions& options, EncodeState* state) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_dest(cinfo, &state->buffer, &state->size);
  cinfo->image_width = static_cast<JDIMENSION>(bitmap.width());
  cinfo->image_height = static_cast<JDIMENSION>(bitmap.height());
  cinfo->input_components = bitmap.bitsPerPixel() == 32 ? 4 : 3;
  cinfo->in_color_space = bitmap.bitsPerPixel() == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, options.quality, TRUE);
  cinfo->density_unit = 1;
  cinfo->X_density = cinfo->Y_density = static_cast<UINT16>(options.dpi > 0 ? options.dpi : 96);
  jpeg_start_compress(cinfo, TRUE);
  for (const std::string& c : options.comments) {
    jpeg_write_marker(cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(c.data()),
                      static_cast<unsigned int>(c.size()));
  }
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.row(static_cast<int>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

Status JpegInfo(Bytes data, ImageInfo* info) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  InitErrors(&err);
  cinfo.err = &err.pub;
  jpeg_create_decompress(&cinfo);
  bool ok = ReadHeader(&cinfo, &err, data);
  if (ok) {
    info->format = kFormatJpeg;
    info->width = static_cast<int>(cinfo.image_width);
    info->height = static_cast<int>(cinfo.image_height);
    info->bitsPerPixel = cinfo.num_components * 8;
    info->orientation = JpegOrientation(data);
  }
  jpeg_destroy_decompress(&cinfo);
  if (!ok) return Status(err.code, err.message);
  return CheckDimensions(info->width, info->height);
}

Status JpegDecode(Bytes data, const LoadOptions& options, Bitmap* bitmap) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  InitErrors(&err);
  cinfo.err = &err.pub;
  jpeg_create_decompress(&cinfo);
  Bitmap out;
  Status status;
  bool ok = DecodeInto(&cinfo, &err, data, options, &out, &status);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) return Status(err.code, err.message);
  if (!status) return status;
  out.set_format(kFormatJpeg);
  *bitmap = std::move(out);
  return {};
}

Status JpegEncode(const Bitmap& bitmap, const JpegOptions& options, std::string* out) {
  if (bitmap.empty()) return ErrorCode::kEmptyBitmap;
  if (options.quality < 1 || options.quality > 100) return ErrorCode::kInvalidParameter;
  if (bitmap.bitsPerPixel() == 8) {
    Bitmap rgb;
    if (Status s = ConvertDepth(bitmap, 24, &rgb); !s) return s;
    return JpegEncode(rgb, options, out);
  }
  jpeg_compress_struct cinfo;
  ErrorManager err;
  InitErrors(&err);
  cinfo.err = &err.pub;
  jpeg_create_compress(&cinfo);
  EncodeState state;
  bool ok = EncodeInto(&cinfo, &err, bitmap, options, &state);
  jpeg_destroy_compress(&cinfo);
  Status result;
  if (ok) {
    out->assign(reinterpret_cast<const char*>(state.buffer), state.size);
  } else {
    result = Status(ErrorCode::kFailure, err.message);
  }
  std::free(state.buffer);
  return result;
}

}  // namespace vexa::imaging::detail
