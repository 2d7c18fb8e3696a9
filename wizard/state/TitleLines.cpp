#include "wizard/state/TitleLines.h"

#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

void TitleLines::Load(const WizServices& wiz) {
  lines = {};
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetTitleLines(&lines[0], &lines[1], &lines[2]))
    wiz.LogError("CvexaPropPageSetupTitles::OnInitDialog() - CVexaWizXML::GetTitleLines() call failed", false);
}

void TitleLines::Save(const WizServices& wiz) const {
  if (CvexaSettingsAccess* s = wiz.settings.get()) {
    s->WriteString("setupTitles", "title1", lines[0]);
    s->WriteString("setupTitles", "title2", lines[1]);
    s->WriteString("setupTitles", "title3", lines[2]);
  }
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->SetTitleLines(lines[0], lines[1], lines[2]))
    wiz.LogError("CvexaPropPageSetupTitles::SaveSettings() - CVexaWizXML::SetTitleLines() call failed", false);
}

int TitleLines::TakePicture(const std::array<bool, 3>& clipped) {
  int first = -1;
  for (int i = 0; i < 3; ++i) {
    if (!clipped[static_cast<std::size_t>(i)]) {
      lastFitting[static_cast<std::size_t>(i)] = lines[static_cast<std::size_t>(i)];
      continue;
    }
    if (first < 0) first = i;
    lines[static_cast<std::size_t>(i)] = lastFitting[static_cast<std::size_t>(i)];
    cut[static_cast<std::size_t>(i)] = true;
  }
  return first;
}

int TitleLines::FirstCut() const {
  for (int i = 0; i < 3; ++i)
    if (cut[static_cast<std::size_t>(i)]) return i;
  return -1;
}

}  // namespace vexa::wiz
