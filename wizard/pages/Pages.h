// The sheet's six pages.
#pragma once

class QWizard;

namespace vexa::wiz {

// Creates the six pages and adds them to the sheet in order.
void AddWizardPages(QWizard* sheet);

}  // namespace vexa::wiz
