// The music page's state: which music the disc gets (none, a track that came
// with the product, the user's own file or an audio-CD track), the
// pre-installed tracks found in the product's music folder, and the rules
// that tie them to the settings file and the session album. Plain data: the
// page shows it and tests drive it without any window.
#pragma once

#include <string>
#include <vector>

namespace vexa::wiz {

class WizServices;

enum class MusicOption { None, PreInstalled, MyFile, AudioCD };

class MusicChoice {
 public:
  struct Track {
    std::string title;  // the file name without its extension
    std::string path;
  };
  // Which of the page's controls are on for the option.
  struct Controls {
    bool list = false, cdTrack = false, file = false, play = false, next = true;
  };

  // The option a stored "optionSelected" names; any other text (a missing
  // key too) is the pre-installed music.
  static MusicOption OptionFromName(const std::string& name);
  // "noAudio", "preInstalled", "customSelected" or "fromAudioCD".
  static const char* OptionName(MusicOption option);

  // The files of folder that match each pattern of filter (";" between
  // patterns), pattern after pattern; each pattern's matches in name order.
  void FindPreInstalled(const std::string& folder, const std::string& filter);
  // Selects the first pre-installed track whose title begins with title,
  // ignoring case; nothing changes when none does or title is empty.
  void SelectStoredTitle(const std::string& title);
  // The album's first music track wins over the stored choice: an empty
  // track that is present means no music; an existing file is the
  // pre-installed track of that path (ignoring case), else an audio-CD track
  // (".cda") or the user's own file. A missing file changes nothing.
  void TakeAlbumTrack(const std::string& track, bool present);

  // Everything the page starts from: the stored paths, option and title of
  // the settings file, the product's music folder, then the album's track.
  // Failures are logged through wiz.
  void Load(const WizServices& wiz);
  // Writes the choice to the settings file (the selected title when there is
  // one, and the option) and the selected music to the session album.
  void Save(const WizServices& wiz) const;

  // The music the disc gets: "" for none, else the chosen file or track.
  std::string SelectedPath() const;
  // The title of the selected pre-installed track ("" when none is).
  std::string SelectedTitle() const;
  Controls Enabled() const;

  MusicOption option = MusicOption::PreInstalled;
  std::vector<Track> preInstalled;
  int selected = -1;  // index into preInstalled, -1 when none
  std::string file;     // the user's own file
  std::string cdTrack;  // the audio-CD track
};

}  // namespace vexa::wiz
