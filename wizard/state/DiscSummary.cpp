#include "wizard/state/DiscSummary.h"

#include <cstring>
#include <utility>

#include "wizard/common/FilePaths.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

std::string FormatCountText(std::string text, long long number) {
  for (const char* token : {"%ld", "%d"}) {
    const std::size_t at = text.find(token);
    if (at != std::string::npos) return text.replace(at, std::strlen(token), std::to_string(number));
  }
  return text + std::to_string(number);
}

bool BuildDiscSummary(const WizServices& wiz, std::string* out) {
  CVexaWizXML* album = wiz.sessionAlbum.get();
  CVexaODVisual* burner = wiz.burner.get();
  auto fail = [&wiz](const char* text) {
    wiz.LogError(text, false);
    return false;
  };
  std::string s;
  LONG count = 0;
  if (!album || !album->GetImageCount(&count))
    return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetImageCount() call failed");
  s += wiz.LoadString(44, "Number of Images: ") + std::to_string(count) + "\r\n\r\n";
  std::string l[3];
  if (!album->GetTitleLines(&l[0], &l[1], &l[2]))
    return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetTitleLines() call failed");
  const std::pair<int, const char*> labels[3] = {{161, "Title1: "}, {4474, "Title2: "}, {4475, "Title3: "}};
  for (int i = 0; i < 3; ++i)
    s += wiz.LoadString(labels[i].first, labels[i].second) + (l[i].empty() ? wiz.LoadString(88, "none") : l[i]) +
         "\r\n";
  s += "\r\n";
  std::string track;
  DATE date = 0;
  bool present = false;
  if (!album->GetFirstAudioTrack(&track, &date, &present))
    return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetFirstAudioTrack() call failed");
  s += wiz.LoadString(45, "Music: ") +
       (!present || track.empty() ? wiz.LoadString(88, "none") : CvexaPath(track).GetFileName()) + "\r\n\r\n";
  LONG delay = 5;
  if (!album->GetStillDelay(&delay))
    return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetStillDelay() call failed");
  if (delay < 0) delay = 5;
  s += wiz.LoadString(50, "Display Time: ") + std::to_string(delay) + "\r\n";

  long stored = 0;
  LONG speed = 2;
  if (burner) burner->GetDefaultBurnSpeed(&speed);
  if (wiz.settings && wiz.settings->ReadNumber("settings", "selectedBurnSpeed", &stored))
    speed = static_cast<LONG>(stored);
  LONG matched = speed;
  if (burner && burner->GetBurnSpeed(speed, &matched)) speed = matched;
  else if (burner && burner->IsDriveReady()) return fail("CvexaPropPageFinish::GetSummary - GetBurnSpeed call failed.");
  if (wiz.settings) wiz.settings->WriteNumber("settings", "selectedBurnSpeed", speed);
  s += wiz.LoadString(49, "Recording Speed: ") + FormatCountText(wiz.LoadString(4499, "%ldx"), speed) + "\r\n";

  LONG tv = 0;
  if (!album->GetTVSystem(&tv)) return fail("CvexaPropPageFinish::GetSummary - CVexaWizXML::GetTVSystem() call failed");
  // One mapping everywhere: FILM is made as NTSC, SECAM as PAL.
  s += MapTVSystem(tv) == VEXAWizTVPAL ? wiz.LoadString(48, "Video CD Format: PAL/SECAM")
                                       : wiz.LoadString(47, "Video CD Format: NTSC");
  std::string writer;
  if (!burner || !burner->GetDriveDescription(&writer) || writer.empty()) {
    wiz.LogError("CvexaPropPageFinish::GetSummary - Visual::GetDriveDescription() call failed", false);
    writer = wiz.LoadString(88, "None");
  }
  s += "\r\n" + wiz.LoadString(46, "CD Writer") + ": " + writer + "\r\n\r\n\r\n";
  *out = s;
  return true;
}

}  // namespace vexa::wiz
