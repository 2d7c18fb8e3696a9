#include "wizard/state/DiscSettings.h"

#include <algorithm>

#include "wizard/common/WizUtil.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

void DiscSettings::Load(const WizServices& wiz, const std::function<void()>& failed) {
  bool reported = false;
  auto report = [&] {
    if (!reported && failed) failed();
    reported = true;
  };
  delay = kDefaultDelay;
  LONG stored = -1;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetStillDelay(&stored)) {
    wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetStillDelay() call failed", false);
    report();
  } else if (stored >= kMinDelay && stored <= kMaxDelay) {
    delay = static_cast<int>(stored);
  } else if (stored >= 0) {
    // Only the listed delays can be chosen; any other shows the default.
    wiz.LogInfo(Format("CvexaPropPageSetupSettings::OnInitDialog() - Stored delay %d is outside 2 to 10; "
                       "showing 5.",
                       static_cast<int>(stored)));
  }
  LONG localeTv = VEXALocTVNTSC;
  if (!wiz.locUtil || FAILED(wiz.locUtil->get_TVSystem(&localeTv)))
    wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog - Call to IVEXALocUtil::get_TVSystem() failed.", true);
  pal = localeTv == 1 || localeTv == 2;
  LONG tv = VEXAWizTVINVALID;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetTVSystem(&tv)) {
    wiz.LogError("CvexaPropPageSetupSettings::OnInitDialog() - CVexaWizXML::GetTVSystem() call failed", false);
    report();
  } else if (tv >= VEXAWizTVNTSC && tv <= VEXAWizTVSECAM) {
    // SECAM is made as PAL, FILM as NTSC.
    pal = MapTVSystem(tv) == VEXAWizTVPAL;
  }
}

bool DiscSettings::LoadSpeeds(const WizServices& wiz, const std::function<void()>& listed) {
  speeds.clear();
  speedIndex = -1;
  CVexaODVisual* burner = wiz.burner.get();
  LONG fallback = 2;
  if (burner) burner->GetDefaultBurnSpeed(&fallback);
  auto single = [&](const char* problem) {
    speeds.assign(1, fallback);
    speedIndex = 0;
    if (listed) listed();
    wiz.LogError(problem, false);
    return false;
  };
  std::vector<LONG> found;
  if (!burner || !burner->GetDriveSpeeds(&found))
    return single("CvexaPropPageSetupSettings::OnSetActive - ODVisual GetDriveSpeeds call failed.");
  if (found.empty()) return single("CvexaPropPageSetupSettings::OnSetActive - ODVisual No drive speeds available.");
  speeds = found;
  long stored = fallback;
  if (wiz.settings) wiz.settings->ReadNumber("settings", "selectedBurnSpeed", &stored);
  LONG match = 0;
  if (!burner->GetBurnSpeed(static_cast<LONG>(stored), &match))
    return single("CvexaPropPageSetupSettings::OnSetActive - ODVisual GetBurnSpeed() call failed for autodefault.");
  auto it = std::find(speeds.begin(), speeds.end(), match);
  bool ok = true;
  if (it != speeds.end()) {
    speedIndex = static_cast<int>(it - speeds.begin());
  } else {
    speedIndex = 0;
    wiz.LogError("CvexaPropPageSetupSettings::OnSetActive - Using slowest speed.", false);
    ok = false;
  }
  if (listed) listed();
  return ok;
}

void DiscSettings::Save(const WizServices& wiz, const std::function<void()>& failed) const {
  bool reported = false;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->SetStillDelay(delay)) {
    wiz.LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetStillDelay() call failed", false);
    if (failed) failed();
    reported = true;
  }
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->SetTVSystem(pal ? VEXAWizTVPAL : VEXAWizTVNTSC)) {
    wiz.LogError("CvexaPropPageSetupSettings::SaveSettings() - CVexaWizXML::SetTVSystem() call failed", false);
    if (!reported && failed) failed();
  }
  if (speedIndex >= 0 && speedIndex < static_cast<int>(speeds.size()) && wiz.settings)
    wiz.settings->WriteNumber("settings", "selectedBurnSpeed", speeds[static_cast<std::size_t>(speedIndex)]);
}

bool IsNTSC(const WizServices& wiz) {
  LONG tv = VEXAWizTVNTSC;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetTVSystem(&tv)) {
    wiz.LogError("CvexaPropPageSetupSettings::IsNTSC() - CVexaWizXML::GetTVSystem() call failed", true);
    return true;
  }
  return MapTVSystem(tv) != VEXAWizTVPAL;
}

}  // namespace vexa::wiz
