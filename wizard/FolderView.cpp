#include "wizard/FolderView.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>

namespace vexa::wiz {

CFolderView::CFolderView(QWidget* parent) : QTreeView(parent), m_model(new QFileSystemModel(this)) {
  setObjectName("ctl_1095");
  setAccessibleName("Folders");
  m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  m_model->setRootPath("/");
  setModel(m_model);
  for (int c = 1; c < m_model->columnCount(); ++c) hideColumn(c);
  header()->hide();
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit folderSelected(m_model->filePath(index));
  });
  // The model lists folders in the background: once a folder on the way to
  // the selected one is listed, the view scrolls to the selection again, since
  // the rows above it may have moved it out of sight.
  connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString& dir) {
    const QModelIndex index = currentIndex();
    if (!index.isValid()) return;
    const QString path = m_model->filePath(index);
    if (dir == "/" || path.startsWith(dir.endsWith('/') ? dir : dir + '/')) scrollTo(index);
  });
}

bool CFolderView::SelectFolder(const std::string& path) {
  if (path.empty() || !QFileInfo(QString::fromStdString(path)).isDir()) return false;
  const QModelIndex index = m_model->index(QString::fromStdString(path));
  if (!index.isValid()) return false;
  expand(index.parent());
  setCurrentIndex(index);
  scrollTo(index);
  return true;
}

std::string CFolderView::SelectedFolder() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? m_model->filePath(index).toStdString() : std::string();
}

void CFolderView::Up() {
  const QModelIndex index = currentIndex();
  if (index.isValid() && index.parent().isValid()) setCurrentIndex(index.parent());
}

void CFolderView::SetTreeFont(const QFont& base, int tenthsOfPoint) {
  QFont f = base;
  if (tenthsOfPoint > 0) f.setPointSizeF(tenthsOfPoint / 10.0);
  setFont(f);
}

}  // namespace vexa::wiz
