#include "wizard/ui/FileDialogs.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QObject>
#include <QStyle>

namespace vexa::wiz {

namespace {

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

}  // namespace

void MakeFileDialogSafe(QFileDialog* dialog) {
  if (!dialog) return;
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setOption(QFileDialog::ReadOnly, true);
  dialog->setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
  dialog->setIconProvider(&(new ProviderKeeper(dialog))->provider);
}

QFileDialog* NewFileDialog(QWidget* parent, const QString& caption, const QString& directory, const QString& filter) {
  auto* dialog = new QFileDialog(parent, caption, directory, filter);
  MakeFileDialogSafe(dialog);
  return dialog;
}

}  // namespace vexa::wiz
