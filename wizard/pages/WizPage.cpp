#include "wizard/pages/WizPage.h"

#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

CvexaWizPage::CvexaWizPage(WizServices& wiz, int templateId, int titleId, int subtitleId, QWidget* parent)
    : QWizardPage(parent), m_wiz(wiz), m_templateId(templateId) {
  if (titleId > 0) setTitle(QString::fromStdString(m_wiz.LoadString(titleId, "")));
  if (subtitleId > 0) setSubTitle(QString::fromStdString(m_wiz.LoadString(subtitleId, "")));
}

std::string CvexaWizPage::HelpAnchor() const {
  switch (m_templateId) {
    case 107: return "welcome";
    case 133: return "pictures";
    case 134: return "titles";
    case 137: return "music";
    case 145: return "settings";
    case 146: return "finish";
    default: return "top";
  }
}

}  // namespace vexa::wiz
