// The welcome page: the product's greeting with its title in the heading font.
#include "wizard/pages/PageCommon.h"

#include <cstdlib>
#include <cstring>

#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/ui/UiHelpers.h"

namespace vexa::wiz {

namespace {

class CvexaPropPageWelcome : public CvexaWizPage {
 public:
  explicit CvexaPropPageWelcome(WizServices& wiz) : CvexaWizPage(wiz, 107, 0, 0) {
    LoadForm(m_wiz, this, 107);
    const QString face = QText(m_wiz, 155, "Verdana");
    const int size = std::atoi(m_wiz.LoadString(157, "120").c_str());
    if (auto* title = Ctl<CvexaLabel>(this, 1001)) {
      title->SetFont(face, size, true, false, false);
      title->SetBackgroundColor(Qt::white);
    }
    if (!m_wiz.language || m_wiz.language->Bitmap(192).isNull()) return;
  }
  void OnSetActive() override { BringSheetToTop(this); }
};

}  // namespace

QWizardPage* CreateWelcomePage(WizServices& wiz) { return new CvexaPropPageWelcome(wiz); }

}  // namespace vexa::wiz
