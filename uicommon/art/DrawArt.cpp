// Draws the art sheets of VEXAThumArt: the background sheet, the four
// button-face sheets (released, pressed, and the highlighted variant of
// each) and the placeholder of a photo whose thumbnail cannot be made.
// Faces lie on the sheets where the button and view tables cut them. Run by
// hand when the art changes; the pictures are kept in data/art/.
//
//   vexathumart-draw OUTPUT_FOLDER
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

namespace {

enum class Face { Up, Down, UpHigh, DownHigh };

const QColor kBackground(0xE4, 0xE7, 0xEB);
const QColor kSheet(0xDA, 0xDE, 0xE3);
const QColor kWellBorder(0xB9, 0xC0, 0xC8);
const QColor kAccent(0x2F, 0x6F, 0xDE);
const QColor kAccentLight(0xD4, 0xE3, 0xFB);
const QColor kIcon(0x3C, 0x44, 0x4E);

// The 116 x 142 thumbnail cell: a card with a photo well (12,12)-(104,104)
// and the caption band below it.
void DrawCell(QPainter& p, QPoint at, Face face) {
  p.save();
  p.translate(at);
  const bool pushed = face == Face::Down || face == Face::DownHigh;
  const bool high = face == Face::UpHigh || face == Face::DownHigh;
  p.fillRect(QRect(0, 0, 116, 142), kBackground);
  QColor card = pushed ? kAccentLight : (high ? QColor(0xF1, 0xF3, 0xF6) : kBackground);
  QPainterPath cardPath;
  cardPath.addRoundedRect(QRectF(3.5, 3.5, 109, 135), 6, 6);
  if (pushed || high) {
    p.setPen(QPen(pushed ? kAccent : kWellBorder, pushed ? 2.0 : 1.0));
    p.setBrush(card);
    p.drawPath(cardPath);
  }
  // Soft shadow, then the white well.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 28));
  p.drawRoundedRect(QRectF(13, 13, 93, 93), 3, 3);
  p.setBrush(Qt::white);
  p.setPen(QPen(pushed ? kAccent : kWellBorder, 1.0));
  p.drawRoundedRect(QRectF(11.5, 11.5, 92, 92), 3, 3);
  p.restore();
}

enum class Icon { Adjust, Remove, RotateCcw, RotateCw };

// A 22 x 22 round corner button.
void DrawButton(QPainter& p, QPoint at, Icon icon, bool selectedSet, Face face) {
  p.save();
  p.translate(at);
  const bool pushed = face == Face::Down || face == Face::DownHigh;
  const bool high = face == Face::UpHigh || face == Face::DownHigh;
  QColor fill = selectedSet ? kAccent : Qt::white;
  QColor ink = selectedSet ? Qt::white : kIcon;
  if (high) fill = selectedSet ? kAccent.lighter(120) : QColor(0xE6, 0xEF, 0xFD);
  if (pushed) fill = selectedSet ? kAccent.darker(130) : QColor(0xC3, 0xD3, 0xEC);
  p.setPen(QPen(selectedSet ? kAccent.darker(120) : kWellBorder, 1.0));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1.5, 1.5, 19, 19));
  QPen pen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const QPointF c(11, 11);
  switch (icon) {
    case Icon::Adjust:  // a magnifier
      p.drawEllipse(QPointF(9.8, 9.8), 3.8, 3.8);
      p.drawLine(QPointF(12.6, 12.6), QPointF(15.8, 15.8));
      break;
    case Icon::Remove:  // a cross
      p.drawLine(QPointF(7.5, 7.5), QPointF(14.5, 14.5));
      p.drawLine(QPointF(14.5, 7.5), QPointF(7.5, 14.5));
      break;
    case Icon::RotateCw:
    case Icon::RotateCcw: {
      const bool cw = icon == Icon::RotateCw;
      // An open arc with an arrow head at its end.
      const QRectF arc(c.x() - 5, c.y() - 5, 10, 10);
      const int start = cw ? 200 : -20;
      const int span = cw ? -250 : 250;
      p.drawArc(arc, start * 16, span * 16);
      const double endDeg = (start + span) * M_PI / 180.0;
      const QPointF tip(c.x() + 5 * std::cos(endDeg), c.y() - 5 * std::sin(endDeg));
      // Tangent direction of travel at the end of the arc.
      const double dir = endDeg + (cw ? -M_PI / 2 : M_PI / 2);
      const QPointF d(std::cos(dir), -std::sin(dir));
      const QPointF n(-d.y(), d.x());
      p.setBrush(ink);
      p.setPen(Qt::NoPen);
      QPolygonF head;
      head << tip + d * 2.6 << tip - d * 1.2 + n * 2.6 << tip - d * 1.2 - n * 2.6;
      p.drawPolygon(head);
      break;
    }
  }
  p.restore();
}

// Where the table cuts each corner button: the unselected set around a
// cell at (2, 58), the selected set around a cell at (118, 58).
void DrawButtons(QPainter& p, Face face) {
  for (int set = 0; set < 2; ++set) {
    const int x = set == 0 ? 2 : 118;
    const bool selected = set == 1;
    DrawButton(p, QPoint(x, 58), Icon::Adjust, selected, face);
    DrawButton(p, QPoint(x + 92, 58), Icon::Remove, selected, face);
    DrawButton(p, QPoint(x, 150), Icon::RotateCcw, selected, face);
    DrawButton(p, QPoint(x + 92, 150), Icon::RotateCw, selected, face);
  }
}

// The drop-position marker, 12 x 58: an upright insertion bar.
void DrawMarker(QPainter& p, QPoint at) {
  p.save();
  p.translate(at);
  p.fillRect(QRect(0, 0, 12, 58), kSheet);
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  p.drawRect(QRectF(4.5, 4, 3, 50));
  QPolygonF top, bottom;
  top << QPointF(0.5, 0.5) << QPointF(11.5, 0.5) << QPointF(6, 6);
  bottom << QPointF(0.5, 57.5) << QPointF(11.5, 57.5) << QPointF(6, 52);
  p.drawPolygon(top);
  p.drawPolygon(bottom);
  p.restore();
}

QImage FaceSheet(QSize size, Face face) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kSheet);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCell(p, QPoint(233, 57), face);
  DrawButtons(p, face);
  DrawMarker(p, QPoint(111, 86));
  return image;
}

QImage Background() {
  QImage image(353, 203, QImage::Format_RGB32);
  image.fill(kBackground);
  QPainter p(&image);
  // The gallery's tile (233, 57, 116 x 142): a flat tone with a faint
  // lighter edge, so a grid of cells reads as one calm surface.
  p.setPen(QColor(0xEC, 0xEE, 0xF1));
  p.drawLine(233, 57, 233 + 115, 57);
  p.drawLine(233, 57, 233, 57 + 141);
  return image;
}

// 14 x 16: a photo with a torn corner, in sixteen colours.
QImage Placeholder() {
  QImage image(14, 16, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(0, 0, 13, 15);
  p.fillRect(QRect(2, 3, 10, 7), QColor(0xC0, 0xC0, 0xC0));
  p.setPen(QColor(0xFF, 0x00, 0x00));
  p.drawLine(3, 11, 10, 4);
  p.drawLine(3, 4, 10, 11);
  p.end();
  QVector<QRgb> table;
  for (QRgb c : {0xFF000000u, 0xFF800000u, 0xFF008000u, 0xFF808000u, 0xFF000080u, 0xFF800080u,
                 0xFF008080u, 0xFFC0C0C0u, 0xFF808080u, 0xFFFF0000u, 0xFF00FF00u, 0xFFFFFF00u,
                 0xFF0000FFu, 0xFFFF00FFu, 0xFF00FFFFu, 0xFFFFFFFFu})
    table << c;
  return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexathumart-draw OUTPUT_FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  bool ok = Background().save(dir + "137.png");
  ok &= FaceSheet(QSize(354, 204), Face::Down).save(dir + "138.png");
  ok &= FaceSheet(QSize(352, 202), Face::DownHigh).save(dir + "139.png");
  ok &= FaceSheet(QSize(356, 204), Face::Up).save(dir + "140.png");
  ok &= FaceSheet(QSize(352, 202), Face::UpHigh).save(dir + "141.png");
  ok &= Placeholder().save(dir + "202.png");
  return ok ? 0 : 1;
}
