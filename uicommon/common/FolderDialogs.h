// Two folder pickers built on the file dialog.
#pragma once

#include <QFileDialog>
#include <string>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

// A file dialog whose own name and type fields and OK button are hidden; its
// "Select Folder" command takes the current folder, or the item selected in
// it, as the chosen folder and closes the dialog.
class VEXATHUMCOMMON_API CDirBrowseDlg : public QFileDialog {
  Q_OBJECT
 public:
  CDirBrowseDlg(std::string unused, QWidget* parent, int openDialog, const char* defaultExtension,
                const char* fileName, unsigned flags, const char* filter);

  std::string getFolderPath() const { return m_folder; }
  unsigned char folderWasSelected() const { return m_selected; }
  // The folder a "select folder" command gives: the current folder, with
  // the selected item's name appended (one separator between them).
  static std::string ComposeFolder(const std::string& current, const std::string& item);

 public slots:
  void OnSelectfolder();

 private:
  std::string m_folder;
  unsigned char m_selected = 0;
  unsigned char m_init = 1;
};

// The save form of the file dialog, opened in a start folder with the dummy
// file name "junk_$.0-~" in its hidden name field, so that accepting it
// gives the chosen folder followed by that name.
class VEXATHUMCOMMON_API CDirDlg : public QFileDialog {
  Q_OBJECT
 public:
  CDirDlg(QWidget* parent, std::string& startFolder, const char* filter, int templateId);
  static constexpr const char* kDummyName = "junk_$.0-~";
  // The folder of an accepted dialog (ending in "/"), or "".
  std::string ChosenFolder() const;

 private:
  std::string m_startFolder;
};

}  // namespace vexa::ui
