#include "uicommon/common/FolderDialogs.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

#include "platform/base/Path.h"

namespace vexa::ui {

namespace {
void HideChild(QObject* parent, const char* name) {
  if (auto* w = parent->findChild<QWidget*>(name)) w->hide();
}
}  // namespace

CDirBrowseDlg::CDirBrowseDlg(std::string, QWidget* parent, int openDialog,
                             const char* defaultExtension, const char* fileName, unsigned,
                             const char* filter)
    : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog, true);
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
  setOption(QFileDialog::DontUseNativeDialog, true);
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
