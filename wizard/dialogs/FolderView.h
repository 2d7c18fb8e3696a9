// The folder tree of the add-images dialog: the user's Pictures and Home
// folders at the top, then the whole computer, listed as they are opened;
// it reports the folder the user chooses, can select a folder by path, go
// one level up and list its folders again.
#pragma once

#include <QTreeView>
#include <memory>
#include <string>

namespace vexa::wiz {

class CFolderModel;

// The user's pictures folder: XDG_PICTURES_DIR (from the environment or the
// user's folder settings) when it exists, else the home folder.
std::string PicturesFolder();

class CFolderView : public QTreeView {
  Q_OBJECT
 public:
  explicit CFolderView(QWidget* parent = nullptr);
  ~CFolderView() override;
  // Selects the folder with that path under the top entry that holds it
  // most closely (an unknown path changes nothing).
  bool SelectFolder(const std::string& path);
  std::string SelectedFolder() const;
  void Up();
  // Lists the opened folders again (folders made or removed meanwhile).
  void Refresh();
  // The tree's font from a face and a size in tenths of a point.
  void SetTreeFont(const QFont& base, int tenthsOfPoint);
  // The paths of the top entries, in order.
  std::vector<std::string> TopFolders() const;

 signals:
  void folderSelected(const QString& path);

 private:
  CFolderModel* m_model;
};

}  // namespace vexa::wiz
