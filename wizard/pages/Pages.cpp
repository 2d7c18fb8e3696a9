#include "wizard/pages/Pages.h"

#include <QWizard>

#include "wizard/pages/PageCommon.h"
#include "wizard/pages/SelectPage.h"

namespace vexa::wiz {

void AddWizardPages(QWizard* sheet) {
  sheet->setPage(kPageWelcome, CreateWelcomePage());
  sheet->setPage(kPageSelectPictures, CreateSelectPage());
  sheet->setPage(kPageTitles, CreateTitlesPage());
  sheet->setPage(kPageMusic, CreateMusicPage());
  sheet->setPage(kPageSettings, CreateSettingsPage());
  sheet->setPage(kPageFinish, CreateFinishPage());
}

}  // namespace vexa::wiz
