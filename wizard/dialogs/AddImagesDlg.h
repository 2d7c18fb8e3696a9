// The add-images dialog: the computer's folders and the pictures of the
// chosen one on the left, the album being built on the right; pictures go
// from left to right, the album can be sorted, reordered, turned, pruned,
// previewed and undone; Apply and OK write it into the session album.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "wizard/ui/Accelerators.h"
#include "wizard/ui/ThumbHost.h"

class QMenu;
class QToolButton;
class QAbstractButton;
class QAction;

namespace vexa::wiz {

class WizServices;

class CFolderView;
class CvexaAlbumPaneDlg;

class CvexaAddImagesDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CvexaAddImagesDlg(WizServices& wiz, QWidget* parent = nullptr);
  ~CvexaAddImagesDlg() override;

  CVEXAThum* FolderPictures() const { return m_folder; }
  CVEXAThum* Album() const { return m_album; }
  CFolderView* FolderTree() const { return m_tree; }
  CThumbUndo& Undo() { return m_undo; }
  bool Ready() const { return m_ready; }
  // The dialog's commands (toolbars, menus and keys), by command id.
  const CvexaCommands& Commands() const { return m_commands; }
  // The size the dialog first opens at: both halves' toolbars whole, the
  // album half as wide as its toolbar, within the screen.
  QSize FirstSize() const;

  // Adds the folder's selected (or all) pictures at the start (0), after the
  // album's last selected picture (1) or at the end (2).
  void AddPictures(bool all, int where);
  void Apply();
  void accept() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  WizServices& m_wiz;
  void Build();
  void AddCommands();
  void Load();
  void OpenMenu(int buttonId);
  void FocusStep(bool forward);
  void PressDefault();
  void UpdateUndo();
  // Whether the album (rather than the folder pictures) has the focus.
  bool AlbumHasFocus() const;
  void OnFolderChosen(const QString& path);
  void OnAlbumChanged();
  void SortFolder();
  void RotateAlbum(LONG degrees);
  void RemoveAll();
  void Preview(CVEXAThum* from, LONG id);
  void GoToFolder();
  void AlbumMenu(QPoint local);
  // Puts the dialog where it was last; false when no usable place is kept.
  bool RestorePlace();
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
  QToolButton* m_undoButton = nullptr;
  QAction* m_folderAscendingItem = nullptr;
  QAction* m_albumAscendingItem = nullptr;
  std::map<int, QToolButton*> m_buttons;
  CThumbUndo m_undo;
  CvexaCommands m_commands;
  CvexaKeyFilter* m_keys = nullptr;
  int m_folderSort = 0;
  bool m_folderAscending = true;
  bool m_albumAscending = true;
  bool m_ready = false;
};

}  // namespace vexa::wiz
