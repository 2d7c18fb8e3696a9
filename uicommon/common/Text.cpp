#include "uicommon/common/Text.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/base/Text.h"
#include "uicommon/common/Settings.h"

namespace vexa::ui {

int Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

QFont LogicalFont(const std::string& face, int height, int width, int weight, bool italic,
                  QPaintDevice* device) {
  QFont font(QString::fromStdString(face));
  font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
  font.setItalic(italic);
  font.setStyleStrategy(QFont::PreferAntialias);
  if (height < 0) {
    font.setPixelSize(-height);
  } else if (height > 0) {
    // A cell height: the character height that gives that ascent + descent.
    font.setPixelSize(height);
    const int cell = device ? QFontMetrics(font, device).height() : QFontMetrics(font).height();
    if (cell > 0 && cell != height) {
      const int px = std::max(1, static_cast<int>(std::lround(double(height) * height / cell)));
      font.setPixelSize(px);
    }
  } else {
    font.setPixelSize(std::max(1, device ? device->logicalDpiY() / 6 : 16));
  }
  if (width > 0) {
    const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
    const int natural = fm.averageCharWidth();
    if (natural > 0) {
      const int stretch = std::clamp(static_cast<int>(std::lround(100.0 * width / natural)), 1, 4000);
      if (stretch != 100) font.setStretch(stretch);
    }
  }
  return font;
}

TextMetric GetTextMetric(const QFont& font, QPaintDevice* device) {
  const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
  TextMetric tm;
  tm.height = fm.height();
  tm.ascent = fm.ascent();
  tm.aveCharWidth = fm.averageCharWidth();
  const int em = font.pixelSize() > 0 ? font.pixelSize() : fm.height();
  tm.internalLeading = std::max(0, fm.height() - em);
  return tm;
}

namespace {

// Lines of a text as the text-drawing call sees them: "\r\n", "\n" and "\r"
// each end a line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  lines.push_back(cur);
  return lines;
}

int Advance(const QFontMetrics& fm, const std::string& s) {
  return fm.horizontalAdvance(QString::fromUtf8(s.data(), static_cast<int>(s.size())));
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Breaks one line at blanks so that each piece fits the width; a word wider
// than the width stays whole on its own line.
std::vector<std::string> WordWrap(const QFontMetrics& fm, const std::string& line, int width) {
  std::vector<std::string> out;
  if (Advance(fm, TrimRight(line)) <= width) {
    out.push_back(line);
    return out;
  }
  std::string cur;
  std::size_t i = 0;
  while (i < line.size()) {
    std::size_t j = line.find(' ', i);
    const std::string word = line.substr(i, j == std::string::npos ? std::string::npos : j - i);
    const std::string trial = cur.empty() ? word : cur + " " + word;
    if (!cur.empty() && Advance(fm, trial) > width) {
      out.push_back(cur);
      cur = word;
    } else {
      cur = trial;
    }
    if (j == std::string::npos) break;
    i = j + 1;
  }
  out.push_back(cur);
  return out;
}

std::vector<std::string> LayoutLines(const QFontMetrics& fm, const std::string& text, int width,
                                     int format) {
  std::vector<std::string> lines;
  if (format & DT_SINGLELINE) {
    std::string one;
    for (char c : text) one += (c == '\r' || c == '\n') ? ' ' : c;
    lines.push_back(one);
    return lines;
  }
  for (const std::string& line : SplitLines(text)) {
    if (format & DT_WORDBREAK) {
      for (auto& piece : WordWrap(fm, line, width)) lines.push_back(piece);
    } else {
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace

int MeasureTextHeight(const QFont& font, QPaintDevice* device, int width, const std::string& text,
                      int format) {
  const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
  return fm.height() * static_cast<int>(LayoutLines(fm, text, width, format).size());
}

int DrawTextFlags(QPainter* painter, const QFont& font, QRect rect, const std::string& text,
                  int format) {
  QPaintDevice* device = painter ? painter->device() : nullptr;
  const QFontMetrics fm = device ? QFontMetrics(font, device) : QFontMetrics(font);
  const auto lines = LayoutLines(fm, text, rect.width(), format);
  const int lineHeight = fm.height();
  const int total = lineHeight * static_cast<int>(lines.size());
  if ((format & DT_CALCRECT) || !painter) return total;
  int top = rect.top();
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect.top() + (rect.height() - lineHeight) / 2;
    else if (format & DT_BOTTOM) top = rect.top() + rect.height() - lineHeight;
  }
  painter->save();
  painter->setFont(font);
  if (!(format & DT_NOCLIP)) painter->setClipRect(rect, Qt::IntersectClip);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QString line = QString::fromStdString(lines[i]);
    const int w = fm.horizontalAdvance(line);
    int x = rect.left();
    if (format & DT_CENTER) x = rect.left() + (rect.width() - w) / 2;
    else if (format & DT_RIGHT) x = rect.left() + rect.width() - w;
    painter->drawText(QPoint(x, top + static_cast<int>(i) * lineHeight + fm.ascent()), line);
  }
  painter->restore();
  return total;
}

using vexa::ui::GetTextMetric;
using vexa::ui::LogicalFont;

// ---- CText -----------------------------------------------------------------

CText::CText() = default;
CText::CText(const CText& other) = default;
CText::~CText() = default;

CText& CText::operator=(const CText& other) {
  if (this == &other) return *this;
  m_text = other.m_text;
  m_reserved = other.m_reserved;
  m_points = other.m_points;
  m_face = other.m_face;
  m_style = other.m_style;
  m_format = other.m_format;
  m_lineHeight = other.m_lineHeight;
  return *this;
}

void CText::SetText(std::string text) { m_text = std::move(text); }

QFont CText::CreateFont(QPaintDevice* dc) const {
  const int dpi = dc ? dc->logicalDpiY() : 96;
  const int height = -static_cast<int>(m_points * dpi / 72.0);
  return LogicalFont(m_face, height, 0, Bold() ? 700 : 400, Italic(), dc);
}

double CText::GetDisplayScaling(QPaintDevice* dc, short axis) {
  if (!dc) return 2.0;
  return (axis == 3 ? dc->logicalDpiY() : dc->logicalDpiX()) / 150.0;
}

std::string CText::WordBreak(std::string text) {
  const std::size_t space = text.rfind(' ');
  if (space == std::string::npos) return std::string();
  return text.substr(0, space);
}

std::string CText::WrapText(QPaintDevice* dc, QRect rect, short mode) const {
  const double marginFraction = mode == 1 ? 0.06 : 0.045;
  const double scale = mode == 0 ? 1.0 : mode == 1 ? 0.5 : GetDisplayScaling(dc, 4);
  const int widthMargin = static_cast<int>(rect.width() * marginFraction);
  const QFont font = CreateFont(dc);
  const QFontMetrics fm = dc ? QFontMetrics(font, dc) : QFontMetrics(font);
  const int available = static_cast<int>(scale * (rect.width() - 2 * widthMargin));

  const bool italicRight = Italic() && (m_format & DT_RIGHT);
  const std::string lineEnd = italicRight ? " \n" : "\n";
  const auto fits = [&](const std::string& piece) {
    return vexa::ui::Advance(fm, vexa::ui::TrimRight(piece)) <= available;
  };

  std::string out;
  std::size_t lineStart = 0;
  std::size_t pos = 0;
  const std::size_t n = m_text.size();
  // The text is walked a character at a time (a whole UTF-8 sequence), so
  // a line never ends inside a character.
  while (pos < n) {
    const unsigned char c = static_cast<unsigned char>(m_text[pos]);
    const std::size_t next =
        std::min(n, pos + static_cast<std::size_t>(vexa::ui::Utf8SequenceLength(c)));
    const std::string piece = m_text.substr(lineStart, next - lineStart);
    if (c == '\n' || c == '\r') {
      out += piece;
      lineStart = pos = next;
      continue;
    }
    if (fits(piece)) {
      pos = next;
      continue;
    }
    const std::size_t space = piece.rfind(' ');
    if (space != std::string::npos) {
      out += WordBreak(piece) + lineEnd;
      lineStart += space + 1;
      pos = next;
      continue;
    }
    // One word longer than the line. A wide character (three or more UTF-8
    // bytes: the characters a double-byte code page holds in two bytes)
    // moves whole to the next line; any other character ends this line.
    // A wide character alone on its line stays there, so the walk always
    // moves on.
    if (next - pos >= 3 && pos > lineStart) {
      out += m_text.substr(lineStart, pos - lineStart) + lineEnd;
      lineStart = pos;
    } else {
      out += piece + lineEnd;
      lineStart = next;
      if (lineStart < n && m_text[lineStart] == ' ') ++lineStart;
    }
    pos = lineStart;
  }
  out += m_text.substr(std::min(lineStart, n));
  if (italicRight) out += " ";
  return out;
}

void CText::Draw(QPainter* dc, QRect rect) {
  if (!dc) return;
  const QFont font = CreateFont(dc->device());
  const std::string wrapped = WrapText(dc->device(), rect, 0);
  vexa::ui::DrawTextFlags(dc, font, rect, wrapped, m_format | DT_NOPREFIX);
}

QFont CText::CreateViewFont(QPaintDevice* reference, QPaintDevice* target, QRect) {
  const int weight = Bold() ? 700 : 400;
  int logHeight = 0;
  int refHeight = 0, refLeading = 0, refAveWidth = 0;
  if (reference) {
    const QFont refFont = CreateFont(reference);
    const auto tm = GetTextMetric(refFont, reference);
    m_lineHeight = tm.height;
    logHeight = -static_cast<int>(m_points * reference->logicalDpiY() / 72.0);
    refHeight = tm.height;
    refLeading = tm.internalLeading;
    refAveWidth = tm.aveCharWidth;
  } else {
    // A 300 dpi layout: a cell height, no average width to keep to.
    logHeight = static_cast<int>(m_points * 300 / 72);
    refHeight = logHeight;
  }
  // The face name of a logical font holds 31 characters.
  const std::string face = vexa::base::Utf8CutChars(m_face, 31);
  int logWidth = 0;
  QFont font = LogicalFont(face, logHeight, logWidth, weight, Italic(), target);
  auto tm = GetTextMetric(font, target);
  if (!reference) m_lineHeight = tm.height;
  const int refBody = std::abs(refHeight - refLeading);
  for (int i = 0; i < 5; ++i) {
    const int body = std::abs(tm.height - tm.internalLeading);
    if (!(body > refBody || tm.aveCharWidth > refAveWidth)) break;
    // A font that could not be measured gives nothing to scale by.
    if (body == 0 || tm.aveCharWidth == 0) break;
    const double factor = 1.0 - 0.05 * i;
    logHeight = static_cast<int>(tm.height * factor * refBody / body);
    logWidth = static_cast<int>(factor * refAveWidth / tm.aveCharWidth * tm.aveCharWidth);
    font = LogicalFont(face, logHeight, logWidth, weight, Italic(), target);
    tm = GetTextMetric(font, target);
  }
  return font;
}

void CText::DrawByLine(QPainter* target, QPaintDevice* reference, std::string text, QRect rect) {
  if (!target) return;
  const QFont refFont = CreateFont(reference);
  std::size_t end = text.find_first_of("\r\n");
  const std::string first = text.substr(0, end);
  QFont font = target->font();
  const int refWidth =
      reference ? vexa::ui::Advance(QFontMetrics(refFont, reference), first) : 0;
  const int targetWidth = vexa::ui::Advance(QFontMetrics(font, target->device()), first);
  const int chars = static_cast<int>(QString::fromStdString(first).size());
  if (refWidth > targetWidth && chars > 0) {
    // Spread the difference over the characters, so the line breaks fall
    // as they do on paper.
    font.setLetterSpacing(QFont::AbsoluteSpacing, double(refWidth - targetWidth) / chars);
  }
  target->save();
  if (GetIntValue(Caption_Debug, 0) == 1) target->setPen(QColor(255, 0, 0));
  const auto lines = vexa::ui::SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int top = rect.top() + m_lineHeight * static_cast<int>(i);
    if (i > 0 && top > rect.top() + rect.height()) break;
    QRect line(rect.left(), top, rect.width(), std::max(1, m_lineHeight));
    vexa::ui::DrawTextFlags(target, font, line, lines[i], (m_format | DT_NOPREFIX | DT_NOCLIP));
  }
  target->restore();
}

void CText::DrawView(QPaintDevice* reference, QPainter* target, QRect view, QRect caption) {
  if (!target) return;
  // The caption scaled about its top-left corner by the reference's scaling.
  const QRect scaled(caption.left(), caption.top(),
                     static_cast<int>(caption.width() * GetDisplayScaling(reference, 4)),
                     static_cast<int>(caption.height() * GetDisplayScaling(reference, 3)));
  target->save();
  target->setBackgroundMode(Qt::TransparentMode);
  target->setWindow(0, 0, std::max(1, scaled.width()), std::max(1, scaled.height()));
  target->setViewport(0, 0, view.width(), view.height());

  const QFont font = CreateViewFont(reference, target->device(), caption);
  target->setFont(font);
  const std::string wrapped = reference ? WrapText(reference, caption, 2)
                                        : WrapText(target->device(), scaled, 1);
  if (!m_text.empty()) {
    target->setPen(Qt::white);
    target->setBrush(Qt::white);
    target->drawRect(scaled.adjusted(-16, -16, 16, 16));
  } else {
    target->fillRect(scaled, QColor(160, 160, 160));
  }
  if (GetIntValue(Caption_Debug, 0) == 1) {
    target->setPen(QPen(Qt::black, 1));
    target->setBrush(QColor(225, 255, 255));
    target->drawRect(scaled);
    target->setPen(QPen(QColor(255, 235, 255), 1));
    target->setBrush(Qt::NoBrush);
    target->drawRect(scaled.adjusted(25, 25, -25, -25));
  }
  target->setPen(Qt::black);
  if (reference) {
    DrawByLine(target, reference, wrapped, scaled);
  } else {
    vexa::ui::DrawTextFlags(target, font, scaled, wrapped, m_format | DT_NOPREFIX);
  }
  target->restore();
}

bool CText::CaptionClips(QPaintDevice* dc, bool scaled, QRect rect) {
  if (m_text.empty() || !dc) return false;
  const QFont font = CreateFont(dc);
  QRect r = rect;
  std::string wrapped;
  double margin = 0.06;
  if (scaled) {
    r = QRect(rect.left(), rect.top(), static_cast<int>(rect.width() * GetDisplayScaling(dc, 4)),
              static_cast<int>(rect.height() * GetDisplayScaling(dc, 3)));
    wrapped = WrapText(dc, r, 0);
    margin = 0.045;
  } else {
    wrapped = WrapText(dc, r, 1);
  }
  // Measured inside the rectangle less its side margins.
  const int inner = std::max(0, r.width() - 2 * static_cast<int>(r.width() * margin));
  const int height = vexa::ui::MeasureTextHeight(font, dc, inner, wrapped,
                                                 m_format | DT_WORDBREAK | DT_NOPREFIX);
  return height > r.height();
}

// ---- Fonts -----------------------------------------------------------------

bool CFontSpec::operator==(const CFontSpec& other) const {
  return m_face == other.m_face && std::abs(m_height) == std::abs(other.m_height);
}

bool CFontSpec::operator<(const CFontSpec& other) const {
  if (m_face != other.m_face) return m_face < other.m_face;
  return std::abs(m_height) < std::abs(other.m_height);
}

CFontManager::CFontManager() = default;
CFontManager::~CFontManager() = default;

HFONT CFontManager::GetFont(const CFontSpec& wanted) {
  auto found = m_fonts.find(wanted);
  if (found != m_fonts.end()) return found->second.get();
  auto font = std::make_unique<QFont>(LogicalFont(wanted.m_face, wanted.m_height, 0, 400, false, nullptr));
  HFONT handle = font.get();
  m_fonts.emplace(wanted, std::move(font));
  return handle;
}

bool CFontManager::DeleteFont(const CFontSpec& wanted) {
  return m_fonts.erase(wanted) != 0;
}

void CFontManager::ListFonts() {
  for (const auto& [key, font] : m_fonts) ShowLogicalFontInfo(font.get());
}

void CFontManager::ShowLogicalFontInfo(HFONT font) {
  if (font) (void)QFontInfo(*font).family();
}

}  // namespace vexa::ui
