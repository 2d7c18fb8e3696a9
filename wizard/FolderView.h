// The folder tree of the add-images dialog: the computer's folders in a
// tree that reports the folder the user chooses, can select a folder by path
// and go one level up.
#pragma once

#include <QTreeView>
#include <string>

class QFileSystemModel;

namespace vexa::wiz {

class CFolderView : public QTreeView {
  Q_OBJECT
 public:
  explicit CFolderView(QWidget* parent = nullptr);
  // Selects the folder with that path (an unknown path changes nothing).
  bool SelectFolder(const std::string& path);
  std::string SelectedFolder() const;
  void Up();
  // The tree's font from a face and a size in tenths of a point.
  void SetTreeFont(const QFont& base, int tenthsOfPoint);

 signals:
  void folderSelected(const QString& path);

 private:
  QFileSystemModel* m_model;
};

}  // namespace vexa::wiz
