#include "wizard/ui/Forms.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
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

namespace {

QToolButton* OverflowButton(QToolBar* bar) {
  return bar ? bar->findChild<QToolButton*>("qt_toolbar_ext_button", Qt::FindDirectChildrenOnly) : nullptr;
}

// Fills the overflow menu with the buttons the bar hides now.
void FillOverflowMenu(QToolBar* bar, QMenu* menu) {
  menu->clear();
  for (QAction* action : bar->actions()) {
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    if (!button || button->isVisible()) continue;
    if (QMenu* own = button->menu()) {
      QMenu* sub = menu->addMenu(button->icon(), button->text());
      sub->setObjectName(own->objectName() + "_overflow");
      sub->addActions(own->actions());
      sub->setEnabled(button->isEnabled());
      // The button's menu sets its checks as it opens; so does the copy.
      QObject::connect(sub, &QMenu::aboutToShow, own, &QMenu::aboutToShow);
      continue;
    }
    QAction* item = menu->addAction(button->icon(), button->text());
    item->setObjectName(button->objectName().replace("ctl_", "cmd_"));
    item->setCheckable(button->isCheckable());
    item->setChecked(button->isChecked());
    item->setEnabled(button->isEnabled());
    QObject::connect(item, &QAction::triggered, button, [button] { button->click(); });
  }
}

// Opens the overflow menu instead of the expansion the toolbar does only
// inside a main window (elsewhere the button does nothing).
class OverflowOpener : public QObject {
 public:
  OverflowOpener(QToolBar* bar, QToolButton* extension) : QObject(bar), m_bar(bar), m_extension(extension) {
    m_menu = new QMenu(bar);
    m_menu->setObjectName("toolbarOverflow");
    extension->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_extension) return false;
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
        Open();
        return true;
      case QEvent::MouseButtonRelease: return true;
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Down)
          return false;
        Open();
        return true;
      }
      default: return false;
    }
  }

 private:
  void Open() {
    FillOverflowMenu(m_bar, m_menu);
    if (m_menu->isEmpty()) return;
    m_menu->popup(m_extension->mapToGlobal(QPoint(0, m_extension->height())));
  }
  QToolBar* m_bar;
  QToolButton* m_extension;
  QMenu* m_menu = nullptr;
};

}  // namespace

void AddOverflowMenu(QToolBar* bar) {
  if (QToolButton* extension = OverflowButton(bar)) new OverflowOpener(bar, extension);
}

void OpenButtonMenu(QToolButton* button) {
  if (!button || !button->menu() || !button->isEnabled()) return;
  if (button->isVisible()) {
    button->showMenu();
    return;
  }
  auto* bar = qobject_cast<QToolBar*>(button->parentWidget());
  if (!bar || !bar->isVisible()) return;
  QToolButton* extension = OverflowButton(bar);
  QWidget* under = extension && extension->isVisible() ? extension : static_cast<QWidget*>(bar);
  button->menu()->popup(under->mapToGlobal(QPoint(0, under->height())));
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
