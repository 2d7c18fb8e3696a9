// What the pages share: their base and page numbers, the window-building
// helpers, the settings page's TV-system answer, raising the sheet when a
// page is shown, and the page factories the sheet uses.
#pragma once

#include <QWidget>
#include <QWizardPage>

#include "wizard/pages/WizPage.h"
#include "wizard/state/DiscSettings.h"
#include "wizard/ui/Forms.h"

namespace vexa::wiz {

// Brings the sheet that shows page to the top and lets pending messages run.
void BringSheetToTop(QWidget* page);

QWizardPage* CreateWelcomePage(WizServices& wiz);
QWizardPage* CreateTitlesPage(WizServices& wiz);
QWizardPage* CreateMusicPage(WizServices& wiz);
QWizardPage* CreateSettingsPage(WizServices& wiz);
QWizardPage* CreateFinishPage(WizServices& wiz);

}  // namespace vexa::wiz
