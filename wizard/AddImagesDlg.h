// The add-images dialog: the computer's folders and the pictures of the
// chosen one on the left, the album being built on the right; pictures go
// from left to right, the album can be sorted, reordered, turned, pruned,
// previewed and undone; Apply and OK write it into the session album.
#pragma once

#include <QDialog>
#include <string>

#include "wizard/ThumbHost.h"

class QMenu;
class QToolButton;
class QAbstractButton;

namespace vexa::wiz {

class CFolderView;
class CvexaAlbumPaneDlg;

class CvexaAddImagesDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CvexaAddImagesDlg(QWidget* parent = nullptr);
  ~CvexaAddImagesDlg() override;

  CVEXAThum* FolderPictures() const { return m_folder; }
  CVEXAThum* Album() const { return m_album; }
  CFolderView* FolderTree() const { return m_tree; }
  CThumbUndo& Undo() { return m_undo; }
  bool Ready() const { return m_ready; }

  // Adds the folder's selected (or all) pictures at the start (0), after the
  // album's last selected picture (1) or at the end (2).
  void AddPictures(bool all, int where);
  void Apply();
  void accept() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Build();
  void Load();
  void OnFolderChosen(const QString& path);
  void OnAlbumChanged();
  void SortFolder();
  void RotateAlbum(LONG degrees);
  void RemoveAll();
  void Preview(CVEXAThum* from, LONG id);
  void GoToFolder();
  void AlbumMenu(QPoint local);
  void RestorePlace();
  void SavePlace();

  CVEXAThum* m_folder = nullptr;
  CVEXAThum* m_album = nullptr;
  CFolderView* m_tree = nullptr;
  CvexaAlbumPaneDlg* m_folderPane = nullptr;
  CvexaAlbumPaneDlg* m_albumPane = nullptr;
  QAbstractButton* m_ok = nullptr;
  QAbstractButton* m_apply = nullptr;
  QToolButton* m_folderNames = nullptr;
  QToolButton* m_albumNames = nullptr;
  CThumbUndo m_undo;
  int m_folderSort = 0;
  bool m_folderAscending = true;
  bool m_albumAscending = true;
  bool m_ready = false;
};

}  // namespace vexa::wiz
