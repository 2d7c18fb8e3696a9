// The sheet's six pages.
#pragma once

class QWizard;

namespace vexa::wiz {

class WizServices;

// Creates the six pages and adds them to the sheet in order.
void AddWizardPages(WizServices& wiz, QWizard* sheet);

}  // namespace vexa::wiz
