// Captions: wrapping with Liberation Sans (the face Arial resolves to) on a
// 96 dpi device, clipping, drawing, and the font cache.
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "uicommon/common/Text.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

namespace {

constexpr int kDotsPerMeter96 = 3780;  // 96 dpi

QImage Device(int w = 400, int h = 300) {
  QImage image(w, h, QImage::Format_RGB32);
  image.setDotsPerMeterX(kDotsPerMeter96);
  image.setDotsPerMeterY(kDotsPerMeter96);
  image.fill(Qt::white);
  return image;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  lines.push_back(cur);
  return lines;
}

int Width(const QFont& font, QPaintDevice* dev, std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return QFontMetrics(font, dev).horizontalAdvance(QString::fromStdString(s));
}

bool ValidUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), int(s.size())).toUtf8().toStdString() == s &&
         s.find("\xEF\xBF\xBD") == std::string::npos;
}

TEST(TextTest, CaptionFontIsLiberationSansAtNinetySixDpi) {
  QImage dev = Device();
  CText caption;
  caption.m_points = 12;
  const QFont font = caption.CreateFont(&dev);
  EXPECT_EQ(font.pixelSize(), 16);  // 12 pt at 96 dpi
  EXPECT_EQ(QFontInfo(font).family(), "Liberation Sans");
}

TEST(TextTest, WrappedLinesFitAndNeverSplitACharacter) {
  QImage dev = Device();
  const char* texts[] = {
      "Summer holiday at the lake with the whole family and the dog",
      "Überraschungsgeburtstagsfeier für Großmutter Änne im Garten",
      "東京タワーと夜景の写真、二〇二六年の冬休み",
      "Mixed 東京 words and déjà vu café terrasse",
      "Line one\nLine two is a little longer than the first",
  };
  for (int width : {90, 116, 160, 240}) {
    for (const char* text : texts) {
      SCOPED_TRACE(std::to_string(width) + " " + text);
      CText caption;
      caption.m_points = 10;
      caption.SetText(text);
      const QRect rect(0, 0, width, 60);
      const std::string wrapped = caption.WrapText(&dev, rect, 0);
      const QFont font = caption.CreateFont(&dev);
      const int available = width - 2 * static_cast<int>(width * 0.045);
      std::string rejoined;
      for (const std::string& line : Lines(wrapped)) {
        EXPECT_TRUE(ValidUtf8(line)) << line;
        // A line fits the available width; a word longer than a line may
        // keep the one character that overflowed.
        if (Width(font, &dev, line) > available) {
          ASSERT_FALSE(line.empty());
          std::string shorter = QString::fromStdString(line).chopped(1).toStdString();
          EXPECT_LE(Width(font, &dev, shorter), available) << line;
          EXPECT_EQ(line.find(' '), std::string::npos) << line;
        }
        rejoined += line;
      }
      // Only line ends were added and only blanks at breaks dropped.
      std::string original = text, plain = rejoined;
      std::erase(original, ' ');
      std::erase(original, '\n');
      std::erase(plain, ' ');
      EXPECT_EQ(plain, original);
    }
  }
}

TEST(TextTest, LongWordBreaksAfterTheOverflowingCharacter) {
  QImage dev = Device();
  CText caption;
  caption.m_points = 10;
  caption.SetText("Supercalifragilisticexpialidocious word");
  const QRect rect(0, 0, 80, 40);
  const std::string wrapped = caption.WrapText(&dev, rect, 0);
  const auto lines = Lines(wrapped);
  ASSERT_GE(lines.size(), 2u);
  const QFont font = caption.CreateFont(&dev);
  const int available = 80 - 2 * static_cast<int>(80 * 0.045);
  // The first line holds exactly one character more than fits.
  EXPECT_GT(Width(font, &dev, lines[0]), available);
  EXPECT_LE(Width(font, &dev, lines[0].substr(0, lines[0].size() - 1)), available);
  // A blank right after a break is skipped.
  for (const auto& line : lines) EXPECT_NE(line.rfind(' ', 0), 0u) << line;
}

TEST(TextTest, WideCharactersMoveWholeToTheNextLine) {
  QImage dev = Device();
  CText caption;
  caption.m_points = 12;
  caption.SetText("写真写真写真写真写真写真写真写真");
  const std::string wrapped = caption.WrapText(&dev, QRect(0, 0, 70, 40), 0);
  const QFont font = caption.CreateFont(&dev);
  const int available = 70 - 2 * static_cast<int>(70 * 0.045);
  const auto lines = Lines(wrapped);
  EXPECT_GT(lines.size(), 1u);
  for (const auto& line : lines) {
    EXPECT_TRUE(ValidUtf8(line));
    EXPECT_LE(Width(font, &dev, line), available) << line;
  }
  // One wide character wider than the whole line stays on its own line and
  // the walk goes on (the last one ends its line too).
  caption.SetText("写真");
  const std::string narrow = caption.WrapText(&dev, QRect(0, 0, 8, 40), 0);
  EXPECT_EQ(Lines(narrow), (std::vector<std::string>{"写", "真", ""}));
}

TEST(TextTest, ItalicRightAlignedLinesEndWithABlank) {
  QImage dev = Device();
  CText caption;
  caption.m_points = 10;
  caption.m_style = 0x01;  // italic
  caption.m_format = DT_RIGHT;
  caption.SetText("A caption long enough to need several lines here");
  const std::string wrapped = caption.WrapText(&dev, QRect(0, 0, 100, 80), 0);
  ASSERT_NE(wrapped.find('\n'), std::string::npos);
  for (std::size_t at = wrapped.find('\n'); at != std::string::npos; at = wrapped.find('\n', at + 1))
    EXPECT_EQ(wrapped[at - 1], ' ');
  EXPECT_EQ(wrapped.back(), ' ');
  EXPECT_EQ(CText::WordBreak("one two three"), "one two");
  EXPECT_EQ(CText::WordBreak("single"), "");
}

TEST(TextTest, CaptionClipsAndDrawing) {
  QImage dev = Device();
  CText caption;
  caption.m_points = 10;
  EXPECT_FALSE(caption.CaptionClips(&dev, false, QRect(0, 0, 1, 1)));  // empty text
  caption.SetText("Short");
  EXPECT_FALSE(caption.CaptionClips(nullptr, false, QRect(0, 0, 200, 200)));
  EXPECT_FALSE(caption.CaptionClips(&dev, false, QRect(0, 0, 200, 100)));
  caption.SetText("A much longer caption that needs many lines in a small box to be shown whole");
  EXPECT_TRUE(caption.CaptionClips(&dev, false, QRect(0, 0, 120, 30)));

  // Drawing puts dark pixels inside the rectangle and none outside it.
  QPainter p(&dev);
  caption.Draw(&p, QRect(10, 10, 200, 100));
  p.end();
  int inside = 0, outside = 0;
  for (int y = 0; y < dev.height(); ++y)
    for (int x = 0; x < dev.width(); ++x)
      if (qGray(dev.pixel(x, y)) < 128) (QRect(10, 10, 200, 100).contains(x, y) ? inside : outside)++;
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);
}

TEST(TextTest, ViewDrawingWithAndWithoutAReferenceDevice) {
  CText caption;
  caption.m_points = 12;
  caption.SetText("Printed caption preview");
  QImage printer = Device(2550, 3300);
  printer.setDotsPerMeterX(11811);  // 300 dpi
  printer.setDotsPerMeterY(11811);
  for (QPaintDevice* reference : {static_cast<QPaintDevice*>(&printer), static_cast<QPaintDevice*>(nullptr)}) {
    QImage view = Device(300, 200);
    QPainter p(&view);
    caption.DrawView(reference, &p, QRect(0, 0, 300, 200), QRect(0, 0, 150, 40));
    p.end();
    int dark = 0;
    for (int y = 0; y < view.height(); ++y)
      for (int x = 0; x < view.width(); ++x) dark += qGray(view.pixel(x, y)) < 100;
    EXPECT_GT(dark, 20);
    EXPECT_GT(caption.m_lineHeight, 0);
  }
  // The view font is no larger than the reference font.
  QImage screen = Device();
  const QFont viewFont = caption.CreateViewFont(&printer, &screen, QRect(0, 0, 150, 40));
  const auto ref = vexa::ui::GetTextMetric(caption.CreateFont(&printer), &printer);
  const auto view = vexa::ui::GetTextMetric(viewFont, &screen);
  EXPECT_LE(view.height - view.internalLeading, ref.height - ref.internalLeading);
}

TEST(TextTest, FontCacheKeysByFaceAndMagnitudeOfHeight) {
  EXPECT_TRUE(CFontSpec("Arial", -12) == CFontSpec("Arial", 12));
  EXPECT_FALSE(CFontSpec("Arial", 12) == CFontSpec("arial", 12));
  EXPECT_FALSE(CFontSpec("Arial", -12) < CFontSpec("Arial", 12));
  EXPECT_FALSE(CFontSpec("Arial", 12) < CFontSpec("Arial", -12));
  CFontManager cache;
  HFONT a = cache.GetFont(CFontSpec("Arial", -12));
  HFONT b = cache.GetFont(CFontSpec("Arial", 12));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->pixelSize(), 12);
  EXPECT_NE(cache.GetFont(CFontSpec("Arial", 13)), a);
  cache.ListFonts();
  EXPECT_TRUE(cache.DeleteFont(CFontSpec("Arial", 12)));
  EXPECT_FALSE(cache.DeleteFont(CFontSpec("Arial", -12)));
}

}  // namespace
