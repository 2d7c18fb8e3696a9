#include "platform/imaging/Text.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/base/Path.h"

namespace vexa::imaging {
namespace {

// Font lookups and pango layouts share one font map; calls are serialised.
std::mutex& TextMutex() {
  static std::mutex m;
  return m;
}

struct Fonts {
  FcConfig* config = nullptr;
  PangoFontMap* map = nullptr;
};

Fonts& GetFonts() {
  static Fonts fonts = [] {
    Fonts f;
    f.config = FcInitLoadConfigAndFonts();
    std::string ours = base::JoinPath(base::ShareDir(), "fonts/vexa-fonts.conf");
    if (f.config && base::FileExists(ours)) {
      FcConfigParseAndLoad(f.config, reinterpret_cast<const FcChar8*>(ours.c_str()), FcFalse);
    }
    f.map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (f.map && f.config) pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(f.map), f.config);
    if (f.map) pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(f.map), kScreenDpi);
    return f;
  }();
  return fonts;
}

std::string ValidUtf8(std::string_view text) {
  const char* end = nullptr;
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), &end)) return std::string(text);
  gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string s = fixed ? fixed : "";
  g_free(fixed);
  return s;
}

PangoLayout* MakeLayout(cairo_t* cr, std::string_view utf8, const TextStyle& style) {
  Fonts& f = GetFonts();
  if (!f.map) return nullptr;
  PangoContext* ctx = pango_font_map_create_context(f.map);
  cairo_font_options_t* opts = cairo_font_options_create();
  cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_SLIGHT);
  pango_cairo_context_set_font_options(ctx, opts);
  cairo_font_options_destroy(opts);
  if (cr) pango_cairo_update_context(cr, ctx);
  PangoLayout* layout = pango_layout_new(ctx);
  g_object_unref(ctx);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, style.family.empty() ? "Sans" : style.family.c_str());
  pango_font_description_set_absolute_size(desc, std::max(1, style.pixelHeight) * static_cast<double>(PANGO_SCALE));
  pango_font_description_set_weight(desc, static_cast<PangoWeight>(std::clamp(style.weight, 100, 1000)));
  pango_font_description_set_style(desc, style.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  std::string text = ValidUtf8(utf8);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  return layout;
}

void SetColour(cairo_t* cr, std::uint32_t c) {
  cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

}  // namespace

int PointsToPixels(int points, int dpi) {
  return static_cast<int>(std::lround(static_cast<double>(points) * dpi / 72.0));
}

Status MeasureText(std::string_view utf8, const TextStyle& style, TextExtent* extent) {
  std::lock_guard lock(TextMutex());
  PangoLayout* layout = MakeLayout(nullptr, utf8, style);
  if (!layout) return ErrorCode::kTextFailed;
  pango_layout_get_pixel_size(layout, &extent->width, &extent->height);
  g_object_unref(layout);
  return {};
}

Status DrawText(Bitmap* bitmap, int x, int y, std::string_view utf8, const TextStyle& style, TextAlign align,
                TextExtent* extent) {
  if (bitmap->empty()) return ErrorCode::kEmptyBitmap;
  if (bitmap->bitsPerPixel() == 8) return ErrorCode::kUnsupportedDepth;
  // cairo draws on 32-bit pixels; a 24-bit bitmap is widened and narrowed back.
  Bitmap wide;
  Bitmap* target = bitmap;
  if (bitmap->bitsPerPixel() == 24) {
    if (Status s = ConvertDepth(*bitmap, 32, &wide); !s) return s;
    target = &wide;
  }
  std::lock_guard lock(TextMutex());
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      target->data(), CAIRO_FORMAT_RGB24, target->width(), target->height(), static_cast<int>(target->stride()));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return ErrorCode::kTextFailed;
  }
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = MakeLayout(cr, utf8, style);
  Status result;
  if (!layout) {
    result = ErrorCode::kTextFailed;
  } else {
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    double left = align == TextAlign::kCentreTop ? x - w / 2.0 : x;
    if (style.background) {
      SetColour(cr, *style.background);
      cairo_rectangle(cr, left, y, w, h);
      cairo_fill(cr);
    }
    SetColour(cr, style.color);
    cairo_move_to(cr, left, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    if (extent) *extent = {w, h};
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  if (result && target == &wide) {
    for (int row = 0; row < bitmap->height(); ++row) {
      const std::uint8_t* s = wide.row(row);
      std::uint8_t* d = bitmap->row(row);
      for (int col = 0; col < bitmap->width(); ++col) std::memcpy(d + 3 * col, s + 4 * col, 3);
    }
  }
  return result;
}

std::string ResolveFontFamily(std::string_view family) {
  std::lock_guard lock(TextMutex());
  Fonts& f = GetFonts();
  if (!f.config) return {};
  std::string name(family);
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
  FcConfigSubstitute(f.config, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* match = FcFontMatch(f.config, pat, &res);
  std::string out;
  FcChar8* fam = nullptr;
  if (match && FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch) out = reinterpret_cast<char*>(fam);
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pat);
  return out;
}

}  // namespace vexa::imaging
