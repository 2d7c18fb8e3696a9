// Draws the pictures of vexacore's language library: the window icon
// (icon102.png) and the status dialog's banner (bitmap153.png). Built on
// request only:
//   cmake --build build --target vexacore-draw-art && build/bin/vexacore-draw-art data/core
#include <QConicalGradient>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

// A recordable disc seen from above, with the sheen of its data side.
void DrawDisc(QPainter& p, QPointF centre, double radius) {
  QConicalGradient sheen(centre, 30);
  sheen.setColorAt(0.00, QColor(0xD8, 0xE4, 0xF0));
  sheen.setColorAt(0.12, QColor(0xF6, 0xD8, 0xF0));
  sheen.setColorAt(0.25, QColor(0xC8, 0xF0, 0xE8));
  sheen.setColorAt(0.40, QColor(0xE8, 0xEC, 0xF4));
  sheen.setColorAt(0.55, QColor(0xF8, 0xF0, 0xC8));
  sheen.setColorAt(0.70, QColor(0xD0, 0xDC, 0xF8));
  sheen.setColorAt(0.85, QColor(0xF0, 0xD0, 0xE0));
  sheen.setColorAt(1.00, QColor(0xD8, 0xE4, 0xF0));
  p.setPen(QPen(QColor(0x60, 0x70, 0x88), radius / 24.0));
  p.setBrush(sheen);
  p.drawEllipse(centre, radius, radius);
  p.setPen(QPen(QColor(0x90, 0x9C, 0xB0), radius / 40.0));
  p.setBrush(QColor(0xF4, 0xF6, 0xFA));
  p.drawEllipse(centre, radius * 0.34, radius * 0.34);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre, radius * 0.14, radius * 0.14);
}

// A small photo: a white frame round a sky over green hills and a sun.
void DrawPhoto(QPainter& p, const QRectF& r, double angle) {
  p.save();
  p.translate(r.center());
  p.rotate(angle);
  const QRectF frame(-r.width() / 2, -r.height() / 2, r.width(), r.height());
  p.setPen(QPen(QColor(0x40, 0x40, 0x48), r.width() / 48.0));
  p.setBrush(Qt::white);
  p.drawRect(frame);
  const double m = r.width() * 0.09;
  const QRectF pic = frame.adjusted(m, m, -m, -m);
  QLinearGradient sky(pic.topLeft(), pic.bottomLeft());
  sky.setColorAt(0, QColor(0x3A, 0x8C, 0xE0));
  sky.setColorAt(1, QColor(0xA8, 0xD8, 0xF8));
  p.setPen(Qt::NoPen);
  p.fillRect(pic, sky);
  p.setBrush(QColor(0xFF, 0xD0, 0x40));
  p.drawEllipse(QPointF(pic.right() - pic.width() * 0.25, pic.top() + pic.height() * 0.3), pic.width() * 0.12,
                pic.width() * 0.12);
  QPainterPath hills;
  hills.moveTo(pic.left(), pic.bottom());
  hills.lineTo(pic.left(), pic.top() + pic.height() * 0.7);
  hills.quadTo(pic.left() + pic.width() * 0.3, pic.top() + pic.height() * 0.45, pic.left() + pic.width() * 0.55,
               pic.top() + pic.height() * 0.72);
  hills.quadTo(pic.left() + pic.width() * 0.8, pic.top() + pic.height() * 0.55, pic.right(),
               pic.top() + pic.height() * 0.68);
  hills.lineTo(pic.right(), pic.bottom());
  hills.closeSubpath();
  p.setBrush(QColor(0x3C, 0x9A, 0x48));
  p.drawPath(hills);
  p.restore();
}

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

  // icon102.png: 64x64, scaled down to 32 and 16 where it is shown.
  QImage icon(64, 64, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  {
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    DrawDisc(p, QPointF(27, 27), 25);
    DrawPhoto(p, QRectF(30, 30, 30, 26), -8);
  }

  // bitmap153.png: the banner, a deep blue band fading to teal with a disc
  // and two photos on the left; the dialog draws its title over the right.
  QImage banner(880, 144, QImage::Format_RGB32);
  {
    QPainter p(&banner);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 880, 144);
    band.setColorAt(0.0, QColor(0x0E, 0x2A, 0x5C));
    band.setColorAt(0.6, QColor(0x14, 0x4E, 0x8C));
    band.setColorAt(1.0, QColor(0x1C, 0x8A, 0x9C));
    p.fillRect(banner.rect(), band);
    QRadialGradient glow(QPointF(90, 72), 140);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(banner.rect(), glow);
    DrawDisc(p, QPointF(86, 72), 56);
    DrawPhoto(p, QRectF(118, 58, 64, 52), 10);
    DrawPhoto(p, QRectF(40, 76, 56, 46), -14);
    p.setPen(QPen(QColor(255, 255, 255, 60), 2));
    p.drawLine(QPointF(0, 140), QPointF(880, 140));
  }

  bool ok = Save(icon, dir + "/icon102.png");
  ok = Save(banner, dir + "/bitmap153.png") && ok;
  return ok ? 0 : 1;
}
