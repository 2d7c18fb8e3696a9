#include "wizard/pages/PageCommon.h"

#include "wizard/common/WizUtil.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

bool IsNTSC() {
  LONG tv = VEXAWizTVNTSC;
  if (!Module().sessionAlbum || !Module().sessionAlbum->GetTVSystem(&tv)) {
    CVexaWizUtil::LogError("CvexaPropPageSetupSettings::IsNTSC() - CVexaWizXML::GetTVSystem() call failed", true);
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
