// uicommon-demo: a window with the gallery's background, two thumbnail
// cells with their corner buttons (a selected and an unselected photo), the
// drop-position marker and a caption wrapped into its box.
//
//   uicommon-demo [--no-artwork] [--screenshot FILE.png] [--caption TEXT]
//
// Clicking a corner button prints the command it posts (id + 300).
#include <QApplication>
#include <QPixmap>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "uicommon/art/ArtButton.h"
#include "uicommon/art/Views.h"
#include "uicommon/common/Command.h"
#include "uicommon/common/ImageFile.h"
#include "uicommon/common/Settings.h"
#include "uicommon/common/Strings.h"
#include "uicommon/common/Text.h"

using namespace vexa::ui;

namespace {

constexpr char kProgram[] = "uicommon-demo";

// The screenshot goes through the system's output file like every output.
bool SaveScreenshot(const QPixmap& shot, const std::string& path) {
  std::string why;
  if (vexa::ui::WriteImageFile(shot.toImage(), path, &why)) return true;
  std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
  return false;
}

const vexa::ui::StringEntry kTooltips[] = {
    {6274, "Adjust this image"},
    {6004, "Rotate this image clockwise 90 degrees"},
    {6003, "Rotate this image counterclockwise 90 degrees"},
    {6235, "Remove this image from the Gallery"},
    {6233, "Rotate this image clockwise 90 degrees"},
    {6234, "Rotate this image counterclockwise 90 degrees"},
};

// A thumbnail cell: the cell face with a sample picture in its well, the
// caption below, and four corner buttons; it prints the commands they post.
class Cell : public QWidget {
 public:
  Cell(QWidget* parent, QPoint at, bool selected, std::string caption, QColor sky)
      : QWidget(parent), m_sky(sky) {
    m_caption.m_points = 8;
    m_caption.m_format = DT_CENTER;
    m_caption.SetText(std::move(caption));
    const CButtonDescriptor d = ButtonDescriptor(0);
    setGeometry(at.x(), at.y(), d.m_width, d.m_height);
    m_face.reset(NewArtButton(this, 0));
    m_face->SetState(selected);
    m_face->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (int id : selected ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{5, 6, 7, 8}) {
      CArtButton* b = NewArtButton(this, id);
      b->ToggleMode(false);
      m_corners.emplace_back(b);
    }
    m_picture = new QWidget(this);
    m_picture->setGeometry(20, 29, 75, 57);
    m_picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_picture->installEventFilter(this);
    m_picture->lower();
    m_face->lower();
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == m_picture && e->type() == QEvent::Paint) {
      // A small landscape: sky, sun, hills.
      QPainter p(m_picture);
      p.setRenderHint(QPainter::Antialiasing);
      p.fillRect(m_picture->rect(), m_sky);
      p.setBrush(QColor(255, 214, 90));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPoint(55, 15), 8, 8);
      p.setBrush(QColor(70, 140, 80));
      p.drawEllipse(QRect(-20, 35, 70, 50));
      p.setBrush(QColor(50, 115, 65));
      p.drawEllipse(QRect(25, 40, 80, 45));
      return true;
    }
    return QWidget::eventFilter(watched, e);
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == CCommandEvent::EventType()) {
      std::printf("command %d\n", static_cast<CCommandEvent*>(e)->Command());
      std::fflush(stdout);
      return true;
    }
    return QWidget::event(e);
  }
  void paintEvent(QPaintEvent*) override {}
  void paintCaption(QPainter& p) { m_caption.Draw(&p, QRect(4, 116, 108, 26)); }

 public:
  void PaintCaptionOn(QPainter& p, QPoint origin) {
    p.save();
    p.translate(origin + pos());
    paintCaption(p);
    p.restore();
  }

 private:
  QColor m_sky;
  CText m_caption;
  std::unique_ptr<CArtButton> m_face;
  std::vector<std::unique_ptr<CArtButton>> m_corners;
  QWidget* m_picture = nullptr;
};

class Caption : public QWidget {
 public:
  Caption(QWidget* parent, QRect at, std::string text) : QWidget(parent) {
    setGeometry(at);
    m_text.m_points = 11;
    m_text.SetText(std::move(text));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(0xB9, 0xC0, 0xC8));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(Qt::black);
    m_text.Draw(&p, rect().adjusted(8, 6, -8, -6));
  }

 private:
  CText m_text;
};

class Demo : public QWidget {
 public:
  explicit Demo(const std::string& caption) {
    setWindowTitle("uicommon-demo");
    resize(3 * 116 + 40, 142 + 150);
    m_background = std::make_unique<CArtView>(this, ViewDescriptor(5));
    m_background->setGeometry(0, 0, width(), height());
    m_cells.push_back(std::make_unique<Cell>(this, QPoint(0, 0), true, "Lakeside.jpg", QColor(140, 190, 235)));
    m_cells.push_back(std::make_unique<Cell>(this, QPoint(116 + 12, 0), false, "Evening hills.jpg",
                                             QColor(235, 170, 120)));
    const CViewDescriptor marker = ViewDescriptor(6);
    m_marker = std::make_unique<CUserView>(this, QRect(116 + 6 - marker.m_w / 2 + 3, marker.m_offsetY + 20,
                                                       marker.m_w, marker.m_h), 6);
    m_caption = std::make_unique<Caption>(this, QRect(12, 152, width() - 24, 128), caption);
    m_captionLayer = new QWidget(this);
    m_captionLayer->setGeometry(rect());
    m_captionLayer->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_captionLayer->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == m_captionLayer && e->type() == QEvent::Paint) {
      QPainter p(m_captionLayer);
      for (auto& cell : m_cells) cell->PaintCaptionOn(p, QPoint(0, 0));
      return true;
    }
    return QWidget::eventFilter(watched, e);
  }

 private:
  std::unique_ptr<CArtView> m_background;
  std::vector<std::unique_ptr<Cell>> m_cells;
  std::unique_ptr<CUserView> m_marker;
  std::unique_ptr<Caption> m_caption;
  QWidget* m_captionLayer = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  std::string screenshot;
  std::string caption =
      "A caption wraps into its box line by line, the way it breaks on paper: "
      "Summer holiday at the lake, déjà vu at the café.";
  bool noArtwork = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) screenshot = argv[++i];
    else if (!std::strcmp(argv[i], "--caption") && i + 1 < argc) caption = argv[++i];
    else if (!std::strcmp(argv[i], "--no-artwork")) noArtwork = true;
    else {
      std::fprintf(stderr, "usage: uicommon-demo [--no-artwork] [--screenshot FILE.png] [--caption TEXT]\n");
      return 2;
    }
  }
  QApplication app(argc, argv);
  vexa::ui::RegisterStrings(kTooltips, int(std::size(kTooltips)));
  const int savedNoArtwork = GetIntValue(Debug_NoArtwork, 0);
  if (noArtwork) PutIntValue(Debug_NoArtwork, 1);
  int status = 0;
  {
    Demo demo(caption);
    demo.show();
    if (!screenshot.empty()) {
      QTimer::singleShot(300, &demo, [&] {
        if (!SaveScreenshot(demo.grab(), screenshot)) status = 1;
        app.quit();
      });
    }
    app.exec();
  }
  if (noArtwork) PutIntValue(Debug_NoArtwork, savedNoArtwork);
  return status;
}
