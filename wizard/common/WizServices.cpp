// The making and freeing of the wizard's services, which own the language
// bundle, the settings file, the session album and the burn driver. They sit
// apart from the shared routines (WizUtil.cpp) that those parts use, so the
// routines do not depend on the parts.
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

WizServices::WizServices() = default;
WizServices::~WizServices() = default;

void WizServices::Reset() {
  burner.reset();
  sessionAlbum.reset();
  settings.reset();
  imgUtil.Reset();
  locUtil.Reset();
  logger.Reset();
  language.reset();
  tempDirectory.clear();
  tempDirectoryGiven = false;
  clean = -1;
}

}  // namespace vexa::wiz
