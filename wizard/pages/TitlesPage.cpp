// The titles page: the three title lines of the disc's title picture, with a live preview of it.
#include "wizard/pages/PageCommon.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/imaging/BitmapHandle.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/state/TitleLines.h"
#include "wizard/ui/Meter.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {

// The box layout, at any depth below `top`, that holds `widget` itself.
QBoxLayout* LayoutHolding(QLayout* top, QWidget* widget) {
  if (!top) return nullptr;
  if (top->indexOf(widget) >= 0) return qobject_cast<QBoxLayout*>(top);
  for (int i = 0; i < top->count(); ++i)
    if (QBoxLayout* found = LayoutHolding(top->itemAt(i)->layout(), widget)) return found;
  return nullptr;
}

QImage ToImage(HBITMAP handle) {
  const vexa::imaging::Bitmap* b = vexa::imaging::BitmapFromHandle(handle);
  if (!b || b->empty()) return QImage();
  QImage image(b->width(), b->height(), QImage::Format_RGB32);
  for (int y = 0; y < b->height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < b->width(); ++x) {
      std::uint8_t r = 0, g = 0, bl = 0;
      b->GetRgb(x, y, &r, &g, &bl);
      line[x] = qRgb(r, g, bl);
    }
  }
  return image;
}

class CvexaPropPageSetupTitles : public CvexaWizPage {
 public:
  explicit CvexaPropPageSetupTitles(WizServices& wiz) : CvexaWizPage(wiz, 134, 103, 104) {
    LoadForm(m_wiz, this, 134);
    m_edits[0] = Ctl<QLineEdit>(this, 1022);
    m_edits[1] = Ctl<QLineEdit>(this, 1023);
    m_edits[2] = Ctl<QLineEdit>(this, 1024);
    m_preview = Ctl<CvexaBitmapStatic>(this, 1119);
    if (m_preview) {
      // A television's 4:3 picture, as large as the page allows: the
      // preview takes the room the page gains when the sheet grows.
      m_preview->SetAspectRatio(QSize(4, 3));
      m_preview->setMinimumSize(240, 180);
      QSizePolicy grow(QSizePolicy::Expanding, QSizePolicy::Preferred);
      grow.setHeightForWidth(true);
      m_preview->setSizePolicy(grow);
      QWidget* form = m_preview->parentWidget();
      if (QBoxLayout* row = form ? LayoutHolding(form->layout(), m_preview) : nullptr) {
        const int at = row->indexOf(m_preview);
        if (at >= 0) {
          // Under the preview, what happened to a line that did not fit.
          row->removeWidget(m_preview);
          auto* column = new QVBoxLayout;
          column->addWidget(m_preview);
          m_warning = new QLabel(form);
          m_warning->setObjectName("titleWarning");
          m_warning->setWordWrap(true);
          m_warning->setAccessibleName("Title line warning");
          QPalette p = m_warning->palette();
          p.setColor(QPalette::WindowText, QColor(0xB0, 0, 0));
          m_warning->setPalette(p);
          m_warning->hide();
          column->addWidget(m_warning);
          column->addStretch(1);
          row->insertLayout(at, column, 3);
          for (int i = 0; i < row->count(); ++i)
            if (i != at) row->setStretch(i, 2);
        }
      }
    }
    m_lines.Load(m_wiz);
    for (int i = 0; i < 3; ++i) {
      if (!m_edits[i]) continue;
      m_edits[i]->setText(QString::fromStdString(m_lines.lines[static_cast<std::size_t>(i)]));
      connect(m_edits[i], &QLineEdit::textChanged, this, [this, i] {
        if (!m_refreshing && RefuseAtCut(i)) return;
        // Text the page puts back while it refreshes is not the user's change.
        if (!m_refreshing) m_lines.Edited(i);
        RefreshPreview();
        RefreshMeter(m_wiz, m_meter);
      });
    }
    m_meter = PlaceMeter(m_wiz, this, 1126);
  }
  void OnSetActive() override {
    RefreshPreview();
    BringSheetToTop(this);
    RefreshMeter(m_wiz, m_meter);
  }
  void OnLeave() override { SaveSettings(); }
  void OnCancel() override { SaveSettings(); }
  // A line cut where the picture ends may end inside a word: the disc is not
  // made with it until the user has changed that line.
  bool isComplete() const override { return m_lines.FirstCut() < 0; }
  QImage Preview() const { return m_previewImage; }

 private:
  void RefreshPreview() {
    if (m_refreshing) return;
    m_refreshing = true;
    const bool fits = MakePreview();
    if (m_preview && (fits || m_refused >= 0)) {
      m_preview->SetBitmap(QPixmap::fromImage(MarkedPreview()));
      m_preview->update();
    }
    m_refreshing = false;
    if (m_complete != isComplete()) {
      m_complete = isComplete();
      emit completeChanged();
    }
    if (m_meter) SaveSettings();
  }

  // The preview, with the rows of a line that did not fit marked in red at
  // both edges of the part of the picture every television shows.
  QImage MarkedPreview() const {
    if (m_refused < 0 || m_previewImage.isNull() || m_mark.isEmpty()) return m_previewImage;
    QImage marked = m_previewImage.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&marked);
    const int safe = 282, left = (marked.width() - safe) / 2, right = left + safe;
    const QRect band(0, m_mark.top(), marked.width(), m_mark.height());
    painter.fillRect(QRect(0, band.top(), left, band.height()), QColor(220, 0, 0, 150));
    painter.fillRect(QRect(right, band.top(), marked.width() - right, band.height()), QColor(220, 0, 0, 150));
    painter.setPen(QPen(QColor(255, 40, 40), 2));
    painter.drawLine(left, band.top(), left, band.bottom());
    painter.drawLine(right, band.top(), right, band.bottom());
    return marked;
  }

  // The rows a line takes on a title picture: its band of lit rows, the
  // bands counted from the top among the lines that have text.
  static QRect LineRows(const QImage& still, const QString lines[3], int line) {
    int wanted = 0;
    for (int i = 0; i < line; ++i) wanted += lines[i].isEmpty() ? 0 : 1;
    int band = -1, top = -1;
    bool inBand = false;
    for (int y = 0; y < still.height(); ++y) {
      bool lit = false;
      const QRgb* row = reinterpret_cast<const QRgb*>(still.constScanLine(y));
      for (int x = 0; x < still.width() && !lit; ++x) lit = qGray(row[x]) > 60;
      if (lit && !inBand) {
        ++band;
        top = y;
      }
      if (!lit && inBand && band == wanted) return QRect(0, top - 2, still.width(), y - top + 4);
      inBand = lit;
    }
    return inBand && band == wanted ? QRect(0, top - 2, still.width(), still.height() - top + 2) : QRect();
  }

  // Text typed where the line was cut is refused at once: the line keeps
  // its last fitting text, the caret stays where the line was cut, and it
  // stays cut.
  bool RefuseAtCut(int line) {
    QLineEdit* edit = m_edits[line];
    const auto i = static_cast<std::size_t>(line);
    if (!edit || !m_lines.Refuses(line, edit->text().toStdString())) return false;
    const std::string& kept = m_lines.lastFitting[i];
    const auto at = static_cast<std::size_t>(m_lines.cutAt[i]);
    m_refreshing = true;
    edit->setText(QString::fromStdString(kept));
    edit->setCursorPosition(static_cast<int>(QString::fromStdString(kept.substr(0, at)).size()));
    m_refreshing = false;
    return true;
  }

  void ShowWarning(int line) {
    m_refused = line;
    if (!m_warning) return;
    if (line < 0) {
      m_warning->hide();
      m_warning->clear();
      return;
    }
    QString text = QText(m_wiz, 4601, "Title line %d is too long for the title picture: the letters that do not fit were "
                               "not taken, so it may end inside a word. It is marked in red on the preview. Change "
                               "the line to go on.");
    text.replace("%d", QString::number(line + 1));
    m_warning->setText(text);
    m_warning->show();
  }

  bool MakePreview() {
    IVEXAImgUtil* util = m_wiz.imgUtil.Get();
    if (!util || !m_edits[0] || !m_edits[1] || !m_edits[2]) return false;
    const std::string face = m_wiz.LoadString(159, "Lucida Sans");
    const LONG first = std::atoi(m_wiz.LoadString(162, "22").c_str());
    const LONG other = std::atoi(m_wiz.LoadString(163, "18").c_str());
    vexa::com::Bstr lines[3];
    for (int i = 0; i < 3; ++i) lines[i] = vexa::com::Bstr::FromUtf8(m_edits[i]->text().toStdString());
    VARIANT_BOOL clipped[3] = {VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE};
    HBITMAP bitmap = nullptr;
    const HRESULT hr = util->Create3LineTitleStillInMemory(
        lines[0].Get(), lines[1].Get(), lines[2].Get(), vexa::com::Bstr::FromUtf8(face).Get(), 0, first, other,
        IsNTSC(m_wiz) ? VARIANT_TRUE : VARIANT_FALSE, &clipped[0], &clipped[1], &clipped[2], &bitmap);
    if (FAILED(hr)) {
      vexa::com::TakeError();
      if (bitmap) DeleteObject(bitmap);
      return false;
    }
    const QImage image = ToImage(bitmap);
    if (bitmap) DeleteObject(bitmap);
    QString tried[3];
    std::array<bool, 3> cut{};
    for (std::size_t i = 0; i < 3; ++i) {
      tried[i] = m_edits[i]->text();
      m_lines.lines[i] = tried[i].toStdString();
      cut[i] = clipped[i] == VARIANT_TRUE;
    }
    // A line that does not fit gets the last text that did back, and the
    // user is told which line it was and sees it marked on the preview.
    const int refused = m_lines.TakePicture(cut);
    const bool fits = refused < 0;
    if (!fits) {
      m_mark = LineRows(image, tried, refused);
      ShowWarning(refused);
    }
    for (std::size_t i = 0; i < 3; ++i) {
      if (!cut[i]) continue;
      const QString back = QString::fromStdString(m_lines.lastFitting[i]);
      const int cursor = m_edits[i]->cursorPosition();
      m_edits[i]->setText(back);
      m_edits[i]->setCursorPosition(std::max(0, std::min(cursor - 1, static_cast<int>(back.size()))));
    }
    if (fits) {
      m_previewImage = image;
      // The warning and the mark stay while any line is still cut, whichever
      // line was changed.
      const int stillCut = m_lines.FirstCut();
      if (stillCut >= 0) m_mark = LineRows(image, tried, stillCut);
      ShowWarning(stillCut);
    }
    return fits;
  }

  void SaveSettings() {
    for (std::size_t i = 0; i < 3; ++i) m_lines.lines[i] = m_edits[i] ? m_edits[i]->text().toStdString() : std::string();
    m_lines.Save(m_wiz);
  }

  QLineEdit* m_edits[3] = {};
  TitleLines m_lines;
  CvexaBitmapStatic* m_preview = nullptr;
  QLabel* m_warning = nullptr;
  int m_refused = -1;  // the line last refused, -1 when all fit
  QRect m_mark;        // its rows on the title picture
  CvexaDiscUsageDlg* m_meter = nullptr;
  QImage m_previewImage;
  bool m_refreshing = false;
  bool m_complete = true;  // what the sheet was last told
};

}  // namespace

QWizardPage* CreateTitlesPage(WizServices& wiz) { return new CvexaPropPageSetupTitles(wiz); }

}  // namespace vexa::wiz
