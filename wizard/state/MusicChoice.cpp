#include "wizard/state/MusicChoice.h"

#include <QString>
#include <algorithm>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/FilePaths.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

MusicOption MusicChoice::OptionFromName(const std::string& name) {
  if (name == "customSelected") return MusicOption::MyFile;
  if (name == "noAudio") return MusicOption::None;
  if (name == "fromAudioCD") return MusicOption::AudioCD;
  return MusicOption::PreInstalled;
}

const char* MusicChoice::OptionName(MusicOption option) {
  switch (option) {
    case MusicOption::PreInstalled: return "preInstalled";
    case MusicOption::AudioCD: return "fromAudioCD";
    case MusicOption::MyFile: return "customSelected";
    case MusicOption::None: break;
  }
  return "noAudio";
}

void MusicChoice::FindPreInstalled(const std::string& folder, const std::string& filter) {
  std::size_t pos = 0;
  std::string pattern;
  while (!folder.empty() && CVexaWizUtil::NextToken(filter, &pos, &pattern, ";")) {
    if (pattern.empty()) continue;
    CvexaExactFileFind find;
    bool more = find.FindFile(base::JoinPath(base::ToNativePath(folder), pattern));
    while (more) {
      more = find.FindNextFile();
      const std::string path = find.GetFilePath();
      std::string title = CvexaPath(path).GetFileName();
      const std::size_t dot = title.rfind('.');
      if (dot != std::string::npos) title.erase(dot);
      preInstalled.push_back({title, path});
    }
  }
  if (!preInstalled.empty()) selected = 0;
}

void MusicChoice::SelectStoredTitle(const std::string& title) {
  if (title.empty()) return;
  const QString wanted = QString::fromStdString(title);
  for (std::size_t i = 0; i < preInstalled.size(); ++i) {
    if (QString::fromStdString(preInstalled[i].title).startsWith(wanted, Qt::CaseInsensitive)) {
      selected = static_cast<int>(i);
      return;
    }
  }
}

void MusicChoice::TakeAlbumTrack(const std::string& track, bool present) {
  if (track.empty() && present) {
    option = MusicOption::None;
    return;
  }
  if (!AudioSourceExists(track)) return;
  auto found = std::find_if(preInstalled.begin(), preInstalled.end(),
                            [&](const Track& t) { return base::EqualsNoCase(t.path, track); });
  if (found != preInstalled.end()) {
    option = MusicOption::PreInstalled;
    selected = static_cast<int>(found - preInstalled.begin());
  } else if (base::EqualsNoCase(CvexaPath(track).GetExtension(), "cda")) {
    option = MusicOption::AudioCD;
    cdTrack = track;
  } else {
    option = MusicOption::MyFile;
    file = track;
  }
}

void MusicChoice::Load(const WizServices& wiz) {
  const CvexaSettingsAccess* s = wiz.settings.get();
  const std::string custom = s ? s->ReadString("setupAudio", "customAudioFilePath") : std::string();
  if (!custom.empty() && base::FileExists(custom)) file = custom;
  const std::string cda = s ? s->ReadString("setupAudio", "cdaAudioFilePath") : std::string();
  if (!cda.empty() && AudioSourceExists(cda)) cdTrack = cda;

  std::string filter = CVexaWizUtil::GetSuppportedAudioFileTypesFilter();
  if (filter.empty()) {
    filter = "*.mp3;*.wav";
    wiz.LogError(
        "CvexaPropPageSetupAudio::OnInitDialog() - CVexaWizUtil::GetSuppportedAudioFileTypesFilter() call failed",
        false);
  }
  FindPreInstalled(CVexaWizUtil::GetAudioPath(), filter);
  SelectStoredTitle(s ? s->ReadString("setupAudio", "preInstalledAudioFileTitle") : std::string());
  option = OptionFromName(s ? s->ReadString("setupAudio", "optionSelected") : std::string());

  std::string track;
  DATE date = 0;
  bool present = false;
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->GetFirstAudioTrack(&track, &date, &present))
    wiz.LogError("CvexaPropPageSetupAudio::OnInitDialog() - XML GetFirstAudioTrack call failed.", false);
  else
    TakeAlbumTrack(track, present);
}

void MusicChoice::Save(const WizServices& wiz) const {
  if (CvexaSettingsAccess* s = wiz.settings.get()) {
    const std::string title = SelectedTitle();
    if (!title.empty()) s->WriteString("setupAudio", "preInstalledAudioFileTitle", title);
    s->WriteString("setupAudio", "optionSelected", OptionName(option));
  }
  if (!wiz.sessionAlbum || !wiz.sessionAlbum->AddAudioTrack(SelectedPath(), -1))
    wiz.LogError("CvexaPropPageSetupAudio::SaveSettings() - CVexaWizXML::AddAudioTrack() call failed", false);
}

std::string MusicChoice::SelectedTitle() const {
  return selected >= 0 && selected < static_cast<int>(preInstalled.size())
             ? preInstalled[static_cast<std::size_t>(selected)].title
             : std::string();
}

std::string MusicChoice::SelectedPath() const {
  switch (option) {
    case MusicOption::None: return std::string();
    case MusicOption::MyFile: return file;
    case MusicOption::AudioCD: return cdTrack;
    case MusicOption::PreInstalled: break;
  }
  return selected >= 0 && selected < static_cast<int>(preInstalled.size())
             ? preInstalled[static_cast<std::size_t>(selected)].path
             : std::string();
}

MusicChoice::Controls MusicChoice::Enabled() const {
  Controls c;
  c.list = option == MusicOption::PreInstalled;
  c.cdTrack = option == MusicOption::AudioCD;
  c.file = option == MusicOption::MyFile;
  switch (option) {
    case MusicOption::None: c.play = false; break;
    case MusicOption::PreInstalled: c.play = !preInstalled.empty(); break;
    case MusicOption::MyFile: c.play = !file.empty(); break;
    case MusicOption::AudioCD: c.play = !cdTrack.empty(); break;
  }
  c.next = option == MusicOption::None || c.play;
  return c;
}

}  // namespace vexa::wiz
