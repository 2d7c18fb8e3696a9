// What the pages and dialogs share to build their windows: a template
// loaded from the language bundle, controls found by id, toolbar icons, the
// meter put on a window, and the bundle's texts as Qt strings.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QToolBar;
class QToolButton;

namespace vexa::wiz {

class CvexaDiscUsageDlg;
class WizServices;

template <typename T>
T* Ctl(QWidget* root, int id) {
  return root->findChild<T*>(QString("ctl_%1").arg(id));
}

// Loads template id into w; false when the bundle lacks it.
bool LoadForm(const WizServices& wiz, QWidget* w, int id);
// A toolbar button's icon from the bundle: the normal icon, and the hot one
// shown while the pointer is over the button (null when the bundle lacks them).
QIcon ToolbarIcon(const WizServices& wiz, int normalId, int hotId);
// A toolbar's button for command id ("ctl_<id>"), with its text and icons
// from the bundle, added to bar.
QToolButton* AddToolButton(const WizServices& wiz, QToolBar* bar, int id, const char* text, int normalIcon,
                           int hotIcon);
// The button's drop-down menu ("menu_<id>"), opened by a click.
QMenu* AddDropDownMenu(QToolButton* button, int id);
// A menu's item for command id ("cmd_<id>"), its text from the bundle.
QAction* AddCommandItem(const WizServices& wiz, QMenu* menu, int id, const char* text);
// Makes the toolbar's overflow button (shown when the bar is too narrow for
// all its buttons) open a menu ("toolbarOverflow") of the buttons it hides:
// a drop-down button's menu as a submenu, any other button as an item that
// clicks it.
void AddOverflowMenu(QToolBar* bar);
// Opens a drop-down button's menu: below the button when it is shown, else
// below its toolbar's overflow button (or the toolbar) when the bar hides it.
void OpenButtonMenu(QToolButton* button);
// A meter put into the placeholder with that id, on the page's background.
CvexaDiscUsageDlg* PlaceMeter(WizServices& wiz, QWidget* root, int placeId);
QString QText(const WizServices& wiz, int id, const char* fallback);
// A format text with one number where "%d"/"%ld" stands.
QString FormatCount(const WizServices& wiz, int id, const char* fallback, long long number);

}  // namespace vexa::wiz
