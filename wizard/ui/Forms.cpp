#include "wizard/ui/Forms.h"

#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstring>

#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/ui/Meter.h"

namespace vexa::wiz {

bool LoadForm(const WizServices& wiz, QWidget* w, int id) { return wiz.language && wiz.language->LoadDialog(id, w); }

QIcon ToolbarIcon(const WizServices& wiz, int normalId, int hotId) {
  QIcon icon;
  if (!wiz.language) return icon;
  const QSize size(16, 16);
  const QPixmap normal = wiz.language->Icon(normalId).pixmap(size);
  const QPixmap hot = wiz.language->Icon(hotId).pixmap(size);
  if (!normal.isNull()) icon.addPixmap(normal, QIcon::Normal);
  if (!hot.isNull()) icon.addPixmap(hot, QIcon::Active);
  return icon;
}

QToolButton* AddToolButton(const WizServices& wiz, QToolBar* bar, int id, const char* text, int normalIcon,
                           int hotIcon) {
  auto* b = new QToolButton(bar);
  b->setObjectName(QString("ctl_%1").arg(id));
  b->setText(QText(wiz, id, text));
  b->setAccessibleName(b->text().remove('&'));
  b->setIcon(ToolbarIcon(wiz, normalIcon, hotIcon));
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  bar->addWidget(b);
  return b;
}

QMenu* AddDropDownMenu(QToolButton* button, int id) {
  button->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(button);
  menu->setObjectName(QString("menu_%1").arg(id));
  button->setMenu(menu);
  return menu;
}

QAction* AddCommandItem(const WizServices& wiz, QMenu* menu, int id, const char* text) {
  QAction* a = menu->addAction(QText(wiz, id, text));
  a->setObjectName(QString("cmd_%1").arg(id));
  return a;
}

QString QText(const WizServices& wiz, int id, const char* fallback) { return QString::fromStdString(wiz.LoadString(id, fallback)); }

QString FormatCount(const WizServices& wiz, int id, const char* fallback, long long number) {
  QString text = QText(wiz, id, fallback);
  for (const char* token : {"%ld", "%d"}) {
    const int at = text.indexOf(token);
    if (at >= 0) return text.replace(at, static_cast<int>(std::strlen(token)), QString::number(number));
  }
  return text + QString::number(number);
}

CvexaDiscUsageDlg* PlaceMeter(WizServices& wiz, QWidget* root, int placeId) {
  QWidget* place = Ctl<QWidget>(root, placeId);
  if (!place) return nullptr;
  auto* layout = new QVBoxLayout(place);
  layout->setContentsMargins(0, 0, 0, 0);
  // The meter sits on the page's own background: the pages are drawn in the
  // platform's window colour, so a colour of its own would be a patch.
  auto* meter = new CvexaDiscUsageDlg(wiz, place);
  layout->addWidget(meter);
  return meter;
}

}  // namespace vexa::wiz
