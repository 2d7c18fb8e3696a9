#include "wizard/ui/Accelerators.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>
#include <string>

#include "platform/base/Text.h"

namespace vexa::wiz {

bool ParseAccelerators(std::string_view text, std::vector<CvexaAccelerator>* out) {
  bool clean = true;
  for (const std::string_view line : base::DataLines(text)) {
    const std::size_t tab = line.find('\t');
    int command = 0;
    bool number = tab != std::string_view::npos && tab + 1 < line.size();
    for (char c : number ? line.substr(tab + 1) : std::string_view()) {
      if (c < '0' || c > '9' || command > 999999) {
        number = false;
        break;
      }
      command = command * 10 + (c - '0');
    }
    const QKeySequence key =
        number ? QKeySequence::fromString(QString::fromUtf8(line.data(), static_cast<qsizetype>(tab)),
                                          QKeySequence::PortableText)
               : QKeySequence();
    if (!number || command == 0 || key.count() != 1 || key[0].key() == Qt::Key_unknown) {
      clean = false;
      continue;
    }
    out->push_back({key[0], command});
  }
  return clean;
}

QKeyCombination AcceleratorKey(const QKeyEvent* event) {
  Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  Qt::Key key = static_cast<Qt::Key>(event->key());
  if (key == Qt::Key_Backtab) {
    key = Qt::Key_Tab;
    modifiers |= Qt::ShiftModifier;
  }
  return QKeyCombination(modifiers, key);
}

// ---- Commands ----------------------------------------------------------------------------------

void CvexaCommands::Add(int id, std::function<void()> action, std::function<bool()> enabled) {
  m_commands[id] = Entry{std::move(action), std::move(enabled)};
}

void CvexaCommands::Add(std::initializer_list<int> ids, const std::function<void()>& action,
                        const std::function<bool()>& enabled) {
  const int group = ++m_groups;
  for (int id : ids) m_commands[id] = Entry{action, enabled, group};
}

std::vector<int> CvexaCommands::SameCommand(int id) const {
  auto it = m_commands.find(id);
  if (it == m_commands.end()) return {};
  if (it->second.group == 0) return {id};
  std::vector<int> ids;
  for (const auto& [other, entry] : m_commands)
    if (entry.group == it->second.group) ids.push_back(other);
  return ids;
}

bool CvexaCommands::Enabled(int id) const {
  auto it = m_commands.find(id);
  return it != m_commands.end() && (!it->second.enabled || it->second.enabled());
}

bool CvexaCommands::Run(int id) const {
  auto it = m_commands.find(id);
  if (it == m_commands.end()) return false;
  if ((!it->second.enabled || it->second.enabled()) && it->second.action) {
    // A copy: the action may change the table.
    const std::function<void()> action = it->second.action;
    action();
  }
  return true;
}

std::vector<int> CvexaCommands::Ids() const {
  std::vector<int> ids;
  for (const auto& [id, entry] : m_commands) ids.push_back(id);
  return ids;
}

// ---- The key filter ------------------------------------------------------------------------------

namespace {

bool IsTextField(const QWidget* w) {
  if (!w) return false;
  if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
      qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
    return true;
  const auto* combo = qobject_cast<const QComboBox*>(w);
  return combo && combo->isEditable();
}

bool IsDialogKey(QKeyCombination key) {
  switch (key.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: return true;
    default: return false;
  }
}

}  // namespace

CvexaKeyFilter::CvexaKeyFilter(QWidget* host, std::vector<CvexaAccelerator> table, const CvexaCommands* commands,
                               bool leaveDialogKeys)
    : QObject(host), m_host(host), m_table(std::move(table)), m_commands(commands), m_leaveDialogKeys(leaveDialogKeys) {
  // Seen before the focused control: the table comes first, as menus'
  // accelerators do.
  if (qApp) qApp->installEventFilter(this);
}

CvexaKeyFilter::~CvexaKeyFilter() {
  if (qApp) qApp->removeEventFilter(this);
}

int CvexaKeyFilter::CommandFor(QKeyCombination key) const {
  if (m_leaveDialogKeys && IsDialogKey(key)) return 0;
  for (const CvexaAccelerator& a : m_table)
    if (a.key == key) return m_commands && m_commands->Has(a.command) ? a.command : 0;
  return 0;
}

QKeyCombination CvexaKeyFilter::KeyFor(int id) const {
  if (!m_commands) return {};
  const std::vector<int> ids = m_commands->SameCommand(id);
  for (const CvexaAccelerator& a : m_table) {
    if (m_leaveDialogKeys && IsDialogKey(a.key)) continue;
    if (std::find(ids.begin(), ids.end(), a.command) != ids.end()) return a.key;
  }
  return {};
}

void CvexaKeyFilter::ShowKeysIn(QMenu* menu) const {
  if (!menu) return;
  for (QAction* action : menu->actions()) {
    if (QMenu* sub = action->menu()) {
      ShowKeysIn(sub);
      continue;
    }
    const QString name = action->objectName();
    if (!name.startsWith("cmd_")) continue;
    const QKeyCombination key = KeyFor(name.mid(4).toInt());
    if (key.key() == Qt::Key(0)) continue;
    // A menu shows the text after a tab as the item's shortcut; the key
    // itself stays the key filter's, so it is not registered twice.
    QString text = action->text();
    text.truncate(text.indexOf('\t') < 0 ? text.size() : text.indexOf('\t'));
    action->setText(text + '\t' + QKeySequence(key).toString(QKeySequence::NativeText));
  }
}

bool CvexaKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || !m_host || !m_host->isVisible() || widget->window() != m_host->window()) return false;
  if (m_active && !m_active()) return false;
  if (IsTextField(QApplication::focusWidget())) return false;
  const int command = CommandFor(AcceleratorKey(static_cast<QKeyEvent*>(event)));
  if (command == 0) return false;
  // Taking the shortcut check keeps buttons' own mnemonics from answering
  // first; the key press that follows runs the command.
  event->accept();
  if (type == QEvent::KeyPress) m_commands->Run(command);
  return true;
}

}  // namespace vexa::wiz
