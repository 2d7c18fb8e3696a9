#include "wizard/pages/PageCommon.h"

#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

void BringSheetToTop(QWidget* page) {
  if (QWidget* sheet = page->window()) {
    sheet->raise();
    sheet->activateWindow();
  }
  CVexaWizUtil::PumpMessages();
}

}  // namespace vexa::wiz
