#include "wizard/pages/PageCommon.h"

#include "wizard/common/WizUtil.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

bool IsNTSC(const WizServices& wiz) {
  LONG tv = VEXAWizTVNTSC;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetTVSystem(&tv)) {
    wiz.LogError("CvexaPropPageSetupSettings::IsNTSC() - CVexaWizXML::GetTVSystem() call failed", true);
    return true;
  }
  return MapTVSystem(tv) != VEXAWizTVPAL;
}

void BringSheetToTop(QWidget* page) {
  if (QWidget* sheet = page->window()) {
    sheet->raise();
    sheet->activateWindow();
  }
  CVexaWizUtil::PumpMessages();
}

}  // namespace vexa::wiz
