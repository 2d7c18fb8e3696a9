#include "wizard/pages/Pages.h"

#include <QWizard>

#include "wizard/pages/PageCommon.h"
#include "wizard/pages/SelectPage.h"

namespace vexa::wiz {

void AddWizardPages(WizServices& wiz, QWizard* sheet) {
  sheet->setPage(kPageWelcome, CreateWelcomePage(wiz));
  sheet->setPage(kPageSelectPictures, CreateSelectPage(wiz));
  sheet->setPage(kPageTitles, CreateTitlesPage(wiz));
  sheet->setPage(kPageMusic, CreateMusicPage(wiz));
  sheet->setPage(kPageSettings, CreateSettingsPage(wiz));
  sheet->setPage(kPageFinish, CreateFinishPage(wiz));
}

}  // namespace vexa::wiz
