// The About box: the installed version, credits and the Update button that
// starts the update check.
#pragma once

#include <QDialog>

namespace vexa::wiz {

class WizServices;

class CvexaAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CvexaAboutDlg(WizServices& wiz, QWidget* parent = nullptr);
  // What the Update button did (the wizard closes after a package went to
  // the desktop's opener).
  bool CloseWizard() const { return m_closeWizard; }

 private:
  WizServices& m_wiz;
  void OnUpdate();
  bool m_closeWizard = false;
};

}  // namespace vexa::wiz
