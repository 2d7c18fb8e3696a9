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
    const auto at = static_cast<std::size_t>(i);
    cutAt[at] = InsertionPoint(lastFitting[at], lines[at]);
    lines[at] = lastFitting[at];
    cut[at] = true;
  }
  return first;
}

bool TitleLines::Refuses(int line, const std::string& text) const {
  const auto i = static_cast<std::size_t>(line);
  if (!cut.at(i) || cutAt.at(i) < 0) return false;
  const std::string& kept = lastFitting[i];
  const auto at = static_cast<std::size_t>(cutAt[i]);
  if (text.size() <= kept.size() || at > kept.size()) return false;
  return text.compare(0, at, kept, 0, at) == 0 &&
         text.compare(text.size() - (kept.size() - at), std::string::npos, kept, at) == 0;
}

int TitleLines::InsertionPoint(const std::string& before, const std::string& after) {
  if (after.size() <= before.size()) return -1;
  std::size_t at = 0;
  while (at < before.size() && before[at] == after[at]) ++at;
  // Not inside a character's bytes.
  while (at > 0 && (static_cast<unsigned char>(after[at]) & 0xC0) == 0x80) --at;
  const std::size_t added = after.size() - before.size();
  if (after.compare(at + added, std::string::npos, before, at) != 0) return -1;
  return static_cast<int>(at);
}

int TitleLines::FirstCut() const {
  for (int i = 0; i < 3; ++i)
    if (cut[static_cast<std::size_t>(i)]) return i;
  return -1;
}

}  // namespace vexa::wiz
