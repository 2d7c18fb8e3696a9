// Captions and fonts. CText is a photo's caption: its text, its font
// description, and its drawing into a rectangle, either directly on a device
// or as a preview of a printed page in which the caption breaks into lines
// exactly as it will on paper. CFontManager is a small cache of fonts keyed
// by face and height.
//
// Devices are Qt paint devices; their logical dots per inch stand for the
// device's pixels per inch. Font heights follow the logical-font convention:
// a negative height asks for the character height, a positive one for the
// cell height (ascent plus descent), 0 for a default size.
#pragma once

#include <QFont>
#include <QRect>
#include <map>
#include <memory>
#include <string>

#include "uicommon/common/CommonExport.h"

class QPainter;
class QPaintDevice;

namespace vexa::ui {

// Text-drawing flags of the caption's format field.
enum : int {
  DT_LEFT = 0x0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10,
  DT_SINGLELINE = 0x20,
  DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
};

class VEXATHUMCOMMON_API CText {
 public:
  CText();
  CText(const CText& other);
  virtual ~CText();
  virtual CText& operator=(const CText& other);

  // Draws the text wrapped into the rectangle.
  virtual void Draw(QPainter* dc, QRect rect);
  // Draws the caption as it will appear on the reference device (a
  // printer; null means a 300 dpi layout) scaled into `view` on the target.
  virtual void DrawView(QPaintDevice* reference, QPainter* target, QRect view, QRect caption);
  // Whether the wrapped text needs more height than the rectangle has.
  virtual bool CaptionClips(QPaintDevice* dc, bool scaled, QRect rect);
  virtual void SetText(std::string text);

  // The caption's fields; its owner writes them directly.
  std::string m_text;
  int m_reserved = 0;
  double m_points = 20.0;
  std::string m_face = "Arial";
  int m_style = 2048;  // 0x01 italic, 0x20 bold; other bits carried
  int m_format = 0;    // DT_LEFT, DT_CENTER or DT_RIGHT, maybe with other DT_ flags
  int m_lineHeight = 0;

  // The steps of the drawing.
  QFont CreateFont(QPaintDevice* dc) const;
  QFont CreateViewFont(QPaintDevice* reference, QPaintDevice* target, QRect rect);
  static double GetDisplayScaling(QPaintDevice* dc, short axis);
  std::string WrapText(QPaintDevice* dc, QRect rect, short mode) const;
  static std::string WordBreak(std::string text);
  void DrawByLine(QPainter* target, QPaintDevice* reference, std::string text, QRect rect);

 private:
  bool Italic() const { return (m_style & 0x01) != 0; }
  bool Bold() const { return (m_style & 0x20) != 0; }
};

// Key of the font cache: face and height. Heights h and -h are one key.
class VEXATHUMCOMMON_API CFontSpec {
 public:
  CFontSpec() = default;
  CFontSpec(std::string face, int height) : m_face(std::move(face)), m_height(height) {}
  bool operator==(const CFontSpec& other) const;
  bool operator<(const CFontSpec& other) const;

  std::string m_face;
  int m_height = 0;
};

// The font handle of the cache: owned by the cache, valid until the entry
// is deleted or the cache destroyed.
using HFONT = const QFont*;

class VEXATHUMCOMMON_API CFontManager {
 public:
  CFontManager();
  virtual ~CFontManager();
  CFontManager(const CFontManager&) = delete;
  CFontManager& operator=(const CFontManager&) = delete;

  // The cached font of that description, made on a miss (weight 400).
  HFONT GetFont(const CFontSpec& wanted);
  // Removes a cached font; false when none is cached.
  bool DeleteFont(const CFontSpec& wanted);
  // Read the fonts' descriptions for a debugger; no effect.
  void ListFonts();
  void ShowLogicalFontInfo(HFONT font);

 private:
  std::map<CFontSpec, std::unique_ptr<QFont>> m_fonts;
};

// A font from a logical-font description, sized for the device.
// `width` (average character width, 0 for the face's own) stretches it.
VEXATHUMCOMMON_API QFont LogicalFont(const std::string& face, int height, int width, int weight,
                                     bool italic, QPaintDevice* device);

// Metrics in the text-metric sense: cell height, internal leading, average
// character width.
struct TextMetric {
  int height = 0;
  int internalLeading = 0;
  int aveCharWidth = 0;
  int ascent = 0;
};
VEXATHUMCOMMON_API TextMetric GetTextMetric(const QFont& font, QPaintDevice* device);

// Draws text in the manner of the text-drawing call: lines end at "\n",
// "\r" or "\r\n", each a cell height below the last; DT_WORDBREAK also
// breaks lines at blanks to fit the rectangle's width; horizontal and
// vertical alignment from the flags. The height drawn (or, with
// DT_CALCRECT, measured without drawing) is returned.
VEXATHUMCOMMON_API int DrawTextFlags(QPainter* painter, const QFont& font, QRect rect,
                                     const std::string& text, int format);
// The same measure without a painter.
VEXATHUMCOMMON_API int MeasureTextHeight(const QFont& font, QPaintDevice* device, int width,
                                         const std::string& text, int format);

// Length in bytes of the UTF-8 sequence that starts with this byte (1 for a
// stray continuation byte).
VEXATHUMCOMMON_API int Utf8SequenceLength(unsigned char lead);

}  // namespace vexa::ui
