// The select-pictures page: the session album's pictures in the thumbnail
// control, with ordering, sorting, turning, removing, preview and undo, the
// add-images dialog, and the image count and meter beneath.
#pragma once

class QWizardPage;

namespace vexa::wiz {

class WizServices;

QWizardPage* CreateSelectPage(WizServices& wiz);

}  // namespace vexa::wiz
