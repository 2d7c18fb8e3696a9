// A page of the wizard's sheet: the base every page derives from, and the
// page numbers the sheet gives them. The sheet and the pages both build on
// it; it knows neither.
#pragma once

#include <QWidget>
#include <QWizardPage>
#include <string>

namespace vexa::wiz {

class WizServices;
class CvexaCommands;

// Page numbers of the sheet, in the order of VEXAWizStartScreen.
enum WizPageId : int {
  kPageWelcome = 0,
  kPageSelectPictures = 1,
  kPageTitles = 2,
  kPageMusic = 3,
  kPageSettings = 4,
  kPageFinish = 5,
};

// A page of the sheet: its template, header texts and help context.
class CvexaWizPage : public QWizardPage {
  Q_OBJECT
 public:
  CvexaWizPage(WizServices& wiz, int templateId, int titleId, int subtitleId, QWidget* parent = nullptr);
  int TemplateId() const { return m_templateId; }
  // The help page anchor of this page.
  virtual std::string HelpAnchor() const;
  // The sheet calls these when the page is shown, when it is left by Back
  // or Next, and when the sheet is cancelled while the page is shown.
  virtual void OnSetActive() {}
  virtual void OnLeave() {}
  virtual void OnCancel() {}
  // The page's commands (menus, toolbar and keyboard), null when it has none.
  virtual const CvexaCommands* Commands() const { return nullptr; }

 protected:
  WizServices& m_wiz;
  int m_templateId;
};

}  // namespace vexa::wiz
