// Keyboard accelerators: a table of keys and the commands they send, read
// from the language bundle, and the key filter that lets a window act on
// them before the focused control sees the key. A window runs only the
// commands it has; every other key goes on as usual, so one table serves
// both the pictures page and the add-images dialog.
#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QPointer>
#include <functional>
#include <initializer_list>
#include <map>
#include <string_view>
#include <vector>

class QKeyEvent;
class QMenu;
class QWidget;

namespace vexa::wiz {

struct CvexaAccelerator {
  QKeyCombination key;
  int command = 0;
};

// Parses a table: "key<TAB>command" lines in Qt's portable key-sequence
// text ("Ctrl+A", "Del"), '#' starting a comment line. Unknown keys and
// malformed lines are skipped; false when a line was skipped.
bool ParseAccelerators(std::string_view text, std::vector<CvexaAccelerator>* out);

// The key of an event as the table names it: a back tab is Shift+Tab and the
// keypad modifier is dropped.
QKeyCombination AcceleratorKey(const QKeyEvent* event);

// The commands of a window: what each command id does, and whether it may run
// now (a disabled command is still the window's: its key is taken and
// nothing happens).
class CvexaCommands {
 public:
  void Add(int id, std::function<void()> action, std::function<bool()> enabled = {});
  // Several ids for one command (its menu item, its key, its button).
  void Add(std::initializer_list<int> ids, const std::function<void()>& action,
           const std::function<bool()>& enabled = {});
  // The ids added together with id (id itself included).
  std::vector<int> SameCommand(int id) const;
  bool Has(int id) const { return m_commands.count(id) != 0; }
  bool Enabled(int id) const;
  // Runs the command when it is the window's and enabled; true when it is the window's.
  bool Run(int id) const;
  std::vector<int> Ids() const;

 private:
  struct Entry {
    std::function<void()> action;
    std::function<bool()> enabled;
    int group = 0;
  };
  std::map<int, Entry> m_commands;
  int m_groups = 0;
};

// Watches the keys typed anywhere in a window (the top-level window of
// `host`) while `host` is shown and `active` says so, and sends the commands
// of the table that `commands` has. Keys typed into a text field stay the
// field's. With `leaveDialogKeys`, Tab, Enter and Escape are never taken.
class CvexaKeyFilter : public QObject {
  Q_OBJECT
 public:
  CvexaKeyFilter(QWidget* host, std::vector<CvexaAccelerator> table, const CvexaCommands* commands,
                 bool leaveDialogKeys);
  ~CvexaKeyFilter() override;
  void SetActive(std::function<bool()> active) { m_active = std::move(active); }
  // The command a key sends in this window, 0 when none.
  int CommandFor(QKeyCombination key) const;
  // The key that sends command id here (or another id of the same
  // command), empty when none does.
  QKeyCombination KeyFor(int id) const;
  // Shows each command item's key beside its text ("cmd_<id>" items, in
  // submenus too), as menus show shortcuts.
  void ShowKeysIn(QMenu* menu) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> m_host;
  std::vector<CvexaAccelerator> m_table;
  const CvexaCommands* m_commands;
  bool m_leaveDialogKeys;
  std::function<bool()> m_active;
};

}  // namespace vexa::wiz
