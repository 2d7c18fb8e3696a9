#include "uicommon/common/FolderDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "platform/base/Path.h"

namespace vexa::ui {

namespace {
void HideChild(QObject* parent, const char* name) {
  if (auto* w = parent->findChild<QWidget*>(name)) w->hide();
}

// Icons and type texts from a file's kind and name only. The dialog's
// model asks for them on the screen thread as each file is listed; Qt's
// own provider finds a type by reading the file's first bytes, which waits
// forever on a file such as /proc/kmsg.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
 public:
  NameOnlyIconProvider()
      : m_folder(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
        m_file(QApplication::style()->standardIcon(QStyle::SP_FileIcon)) {}
  QIcon icon(IconType type) const override { return type == Folder ? m_folder : m_file; }
  QIcon icon(const QFileInfo& info) const override { return info.isDir() ? m_folder : m_file; }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QStringLiteral("Folder");
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
  }

 private:
  const QIcon m_folder, m_file;
};

// Keeps the provider as long as the dialog: made after the dialog's model,
// it goes after it.
class ProviderKeeper : public QObject {
 public:
  explicit ProviderKeeper(QObject* parent) : QObject(parent) {}
  NameOnlyIconProvider provider;
};

// A picker changes nothing on disk: no deleting, renaming or new folders
// from it, and the files it lists are judged by name, never opened.
void MakeReadOnlyPicker(QFileDialog* dialog) {
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setOption(QFileDialog::ReadOnly, true);
  dialog->setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
  dialog->setIconProvider(&(new ProviderKeeper(dialog))->provider);
}
}  // namespace

CDirBrowseDlg::CDirBrowseDlg(std::string, QWidget* parent, int openDialog,
                             const char* defaultExtension, const char* fileName, unsigned,
                             const char* filter)
    : QFileDialog(parent) {
  MakeReadOnlyPicker(this);
  setAcceptMode(openDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (defaultExtension) setDefaultSuffix(QString::fromUtf8(defaultExtension));
  if (fileName) selectFile(QString::fromUtf8(fileName));
  if (filter && *filter) setNameFilter(QString::fromUtf8(filter));
  // The name and type fields and the OK button are not used.
  for (const char* name : {"fileNameLabel", "fileNameEdit", "fileTypeLabel", "fileTypeCombo"})
    HideChild(this, name);
  if (auto* box = findChild<QDialogButtonBox*>("buttonBox")) {
    for (QAbstractButton* b : box->buttons())
      if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) b->hide();
    QPushButton* select = box->addButton(tr("Select Folder"), QDialogButtonBox::ActionRole);
    connect(select, &QPushButton::clicked, this, &CDirBrowseDlg::OnSelectfolder);
  }
}

std::string CDirBrowseDlg::ComposeFolder(const std::string& current, const std::string& item) {
  if (item.empty()) return current;
  std::string folder = current;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + item;
}

void CDirBrowseDlg::OnSelectfolder() {
  const std::string current = directory().absolutePath().toStdString();
  std::string item;
  // The item selected in the dialog's list of the current folder.
  for (auto* view : findChildren<QAbstractItemView*>()) {
    if (!view->isVisible() || !view->selectionModel()) continue;
    const auto rows = view->selectionModel()->selectedRows();
    if (!rows.isEmpty()) {
      item = rows.first().data().toString().toStdString();
      break;
    }
  }
  m_folder = ComposeFolder(current, item);
  if (!m_folder.empty()) m_selected = 1;
  reject();
}

CDirDlg::CDirDlg(QWidget* parent, std::string& startFolder, const char* filter, int)
    : QFileDialog(parent), m_startFolder(vexa::base::WithTrailingSeparator(startFolder)) {
  MakeReadOnlyPicker(this);
  setAcceptMode(QFileDialog::AcceptSave);
  setDirectory(QString::fromStdString(m_startFolder));
  if (filter && *filter) setNameFilter(QString::fromUtf8(filter));
  selectFile(QString::fromStdString(m_startFolder + kDummyName));
  if (auto* edit = findChild<QLineEdit*>("fileNameEdit")) {
    edit->setText(QString::fromUtf8(kDummyName));
    edit->hide();
  }
  HideChild(this, "fileNameLabel");
}

std::string CDirDlg::ChosenFolder() const {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return "";
  return vexa::base::WithTrailingSeparator(vexa::base::DirName(files.first().toStdString()));
}

}  // namespace vexa::ui
