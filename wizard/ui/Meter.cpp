#include "wizard/ui/Meter.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <cinttypes>

#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/dialogs/SheetView.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {
// Format texts of the bundle take their one number where "%d" stands.
QString FormatNumber(const WizServices& wiz, int id, const char* fallback, long long number) {
  QString text = QString::fromStdString(wiz.LoadString(id, fallback));
  for (const char* token : {"%ld", "%d", "%1"}) {
    const int at = text.indexOf(token);
    if (at >= 0) return text.replace(at, static_cast<int>(std::strlen(token)), QString::number(number));
  }
  return text + QString::number(number);
}
}  // namespace

std::string OverCapacityText(const WizServices& wiz, std::int64_t capacityBytes) {
  std::string text = wiz.LoadString(
      4481,
      "The volume of your content exceeds the available space on your CD.\r\n\r\nOrlune disc creator software assumes "
      "that you are using a 700 MB disc.\r\n\r\nYou can reduce content by any of the following:\r\n   - Removing "
      "images from your album.\r\n   - Selecting a smaller music file.\r\n   - Selecting a shorter image display time.");
  // The message names the capacity the estimate uses.
  const std::string megabytes = std::to_string(capacityBytes / 1000000) + " MB";
  const std::size_t at = text.find("700 MB");
  if (at != std::string::npos) text.replace(at, 6, megabytes);
  return text;
}

CvexaDiscUsageDlg::CvexaDiscUsageDlg(WizServices& wiz, QWidget* parent) : QWidget(parent), m_wiz(wiz) {
  setObjectName("dialog103");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  m_bar = new QProgressBar(this);
  m_bar->setObjectName("ctl_1167");
  m_bar->setRange(0, 100);
  m_bar->setTextVisible(false);
  m_bar->setAccessibleName("Disc usage");
  m_over = new QLabel(this);
  m_over->setObjectName("ctl_1102");
  m_over->setAutoFillBackground(true);
  QPalette p = m_over->palette();
  p.setColor(QPalette::Window, Qt::red);
  m_over->setPalette(p);
  m_over->setAccessibleName("Over capacity");
  m_over->setMinimumHeight(m_bar->sizeHint().height());
  m_text = new QLabel(this);
  m_text->setObjectName("ctl_1101");
  m_text->setAccessibleName("Percent of disc used");
  m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance("999% full "));
  layout->addWidget(m_bar, 1);
  layout->addWidget(m_over, 1);
  layout->addWidget(m_text);
  Update(0, false);
}

bool CvexaDiscUsageDlg::Update(int percent, bool warn) {
  m_percent = std::clamp(percent, 0, 999);
  m_text->setText(FormatNumber(m_wiz, 160, "%d% full", m_percent));
  const bool fits = m_percent <= 100;
  if (fits) m_bar->setValue(m_percent);
  m_bar->setVisible(fits);
  m_over->setVisible(!fits);
  if (!fits && warn) {
    const std::int64_t capacity = m_wiz.sheetView ? m_wiz.sheetView->SheetDiscCapacity() : 650000000;
    CvexaMessageBox box(m_wiz);
    box.Show(MB_OK, OverCapacityText(m_wiz, capacity), true, false, true);
  }
  update();
  return fits;
}

bool CvexaDiscUsageDlg::OverCapacityShown() const { return !m_over->isHidden(); }

void CvexaDiscUsageDlg::SetBackgroundColor(QColor color) {
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
  setAutoFillBackground(true);
}

bool RefreshMeter(WizServices& wiz, CvexaDiscUsageDlg* meter) {
  if (!meter) return true;
  const int percent = wiz.sheetView ? wiz.sheetView->SheetPercentDiscSpaceUsed(nullptr) : 0;
  wiz.overCapacityWarn = meter->Update(percent, wiz.overCapacityWarn);
  return wiz.overCapacityWarn;
}

CvexaAlbumPaneDlg::CvexaAlbumPaneDlg(WizServices& wiz, QWidget* parent) : QWidget(parent), m_wiz(wiz) {
  setObjectName("dialog161");
  // The count stands above the meter, so the meter runs the pane's whole
  // width, as it does on the pages that have no count.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  m_meter = new CvexaDiscUsageDlg(m_wiz, this);
  m_meter->setObjectName("ctl_1103");
  m_heading = new CvexaLabel(this);
  m_heading->setObjectName("ctl_1105");
  m_heading->setAccessibleName("Number of images");
  layout->addWidget(m_heading);
  layout->addWidget(m_meter);
  SetImageCount(0);
}

void CvexaAlbumPaneDlg::SetImageCount(int count) {
  m_count = count;
  m_heading->setText(FormatNumber(m_wiz, 67, "Images: %d", count));
}

void CvexaAlbumPaneDlg::ShowMeter(bool show) {
  m_showMeter = show;
  m_meter->setVisible(show);
}

}  // namespace vexa::wiz
