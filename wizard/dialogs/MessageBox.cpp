#include "wizard/dialogs/MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

QIcon ProductIcon(const WizServices& wiz) {
  if (wiz.language) {
    QIcon icon = wiz.language->Icon(128);
    if (!icon.isNull()) return icon;
  }
  return QIcon();
}

std::string Caption(const WizServices& wiz, bool isError) {
  return isError ? wiz.LoadString(4497, "Kv Orlune Disc Creator Software - Error")
                 : wiz.LoadString(4496, "Kv Orlune Disc Creator Software - Message");
}

int SystemBox(const WizServices& wiz, int type, const std::string& caption, const std::string& text, QMessageBox::Icon kind) {
  if (Hook()) return Hook()(type & 0x0F, caption, text);
  if (!QApplication::instance()) return IDCANCEL;
  QMessageBox box(kind, QString::fromStdString(caption), QString::fromStdString(text));
  const QIcon icon = ProductIcon(wiz);
  if (!icon.isNull()) {
    box.setWindowIcon(icon);
    if (kind == QMessageBox::NoIcon) box.setIconPixmap(icon.pixmap(32, 32));
  }
  struct Button {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Button> buttons;
  switch (type & 0x0F) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
  }
  QMessageBox::StandardButtons set;
  for (const Button& b : buttons) set |= b.button;
  box.setStandardButtons(set);
  box.setDefaultButton(buttons.front().button);
  const int result = box.exec();
  for (const Button& b : buttons)
    if (result == b.button) return b.answer;
  // Closed by Escape or the close box.
  return buttons.size() == 1 ? IDOK : (type & 0x0F) == MB_YESNO ? IDNO : IDCANCEL;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

int CvexaMessageBox::Show(int type, const std::string& text, bool isError, bool showOption, bool useSystemBox) {
  if (!useSystemBox) return ShowOwnDialog(type, text, isError, showOption);
  const std::string caption = Caption(m_wiz, isError);
  // The box carries the product's icon, as the user-icon style asks.
  return SystemBox(m_wiz, type, caption, text, QMessageBox::NoIcon);
}

int CvexaMessageBox::ShowOwnDialog(int type, const std::string& text, bool isError, bool showOption) {
  const std::string ok = m_wiz.LoadString(4493, "OK");
  const std::string yes = m_wiz.LoadString(4494, "Yes");
  const std::string no = m_wiz.LoadString(4495, "No");
  const std::string cancel = m_wiz.LoadString(4498, "Cancel");
  std::string first, second;
  switch (type) {
    case MB_OK: first = ok; break;
    case MB_YESNO: first = yes; second = no; break;
    case MB_OKCANCEL: first = ok; second = cancel; break;
    default: first = ok; second = cancel; type = MB_OKCANCEL; break;
  }
  const std::string caption = Caption(m_wiz, isError);
  if (Hook()) {
    const int answer = Hook()(type, caption, text);
    if (type == MB_YESNO) return answer == IDOK || answer == IDYES ? IDYES : IDNO;
    if (type == MB_OK) return IDOK;
    return answer == IDOK ? IDOK : IDCANCEL;
  }
  if (!QApplication::instance()) return IDCANCEL;

  QDialog dialog;
  dialog.setObjectName("dialog160");
  QWidget* form = m_wiz.language ? m_wiz.language->LoadDialog(160, &dialog) : nullptr;
  if (!form) {
    // The built-in layout when the language bundle lacks the template.
    auto* layout = new QVBoxLayout(&dialog);
    auto* icon = new QLabel(&dialog);
    icon->setObjectName("ctl_1132");
    auto* edit = new QPlainTextEdit(&dialog);
    edit->setObjectName("ctl_2001");
    layout->addWidget(icon);
    layout->addWidget(edit);
    for (const char* name : {"ctl_1112", "ctl_161", "ctl_1", "ctl_2"}) {
      auto* b = new QPushButton(&dialog);
      b->setObjectName(name);
      layout->addWidget(b);
    }
  }
  auto* iconLabel = dialog.findChild<QLabel*>("ctl_1132");
  auto* edit = dialog.findChild<QPlainTextEdit*>("ctl_2001");
  auto* single = dialog.findChild<QPushButton*>("ctl_161");
  auto* okButton = dialog.findChild<QPushButton*>("ctl_1");
  auto* cancelButton = dialog.findChild<QPushButton*>("ctl_2");
  auto* option = dialog.findChild<QPushButton*>("ctl_1112");
  if (!edit || !single || !okButton || !cancelButton) return IDCANCEL;

  const QIcon icon = ProductIcon(m_wiz);
  dialog.setWindowIcon(icon);
  if (iconLabel && !icon.isNull()) iconLabel->setPixmap(icon.pixmap(32, 32));
  edit->setReadOnly(true);
  edit->setPlainText(QString::fromStdString(text));
  edit->document()->setDocumentMargin(2);
  dialog.setWindowTitle(QString::fromStdString(caption));
  const bool two = !second.empty();
  single->setVisible(!two);
  okButton->setVisible(two);
  cancelButton->setVisible(two);
  if (two) {
    okButton->setText(QString::fromStdString(first));
    cancelButton->setText(QString::fromStdString(second));
    okButton->setDefault(true);
  } else {
    single->setText(QString::fromStdString(first));
    single->setDefault(true);
  }
  if (option) option->setVisible(showOption);
  if (showOption) optionChosen = false;

  int result = -1;
  QObject::connect(single, &QPushButton::clicked, &dialog, [&] {
    result = IDOK;
    dialog.done(QDialog::Accepted);
  });
  QObject::connect(okButton, &QPushButton::clicked, &dialog, [&] {
    result = type == MB_YESNO ? IDYES : IDOK;
    dialog.done(QDialog::Accepted);
  });
  QObject::connect(cancelButton, &QPushButton::clicked, &dialog, [&] {
    result = type == MB_YESNO ? IDNO : IDCANCEL;
    dialog.done(QDialog::Rejected);
  });
  if (option) QObject::connect(option, &QPushButton::clicked, &dialog, [&] { optionChosen = true; });
  dialog.exec();
  // Escape and the close box answer as Cancel (No for a question).
  if (result < 0) result = type == MB_YESNO ? IDNO : IDCANCEL;
  return result;
}

int ShowFailureMessage(const WizServices& wiz) {
  const std::string text = wiz.LoadString(
      4476,
      "The orlune disc creator software detected a problem and cannot continue.\r\n\r\nTry the following in the order "
      "given:\r\n   - Reboot your computer.\r\n   - Check for a newer version of the software. From the wizard home "
      "screen, click About, Update.\r\n   - Uninstall the software and reinstall.");
  CvexaMessageBox box(wiz);
  return box.Show(MB_OK, text, true, false, true);
}

int ShowPlainMessage(const WizServices& wiz, int type, const std::string& caption, const std::string& text) {
  return SystemBox(wiz, type, caption, text,
                   (type & 0xF0) == MB_ICONEXCLAMATION ? QMessageBox::Warning : QMessageBox::NoIcon);
}

}  // namespace vexa::wiz
