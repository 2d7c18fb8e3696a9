// The titles page's state: the three title lines of the disc's title
// picture, the last text of each line that fitted the picture, and the
// rules that read them from the session album and store them in the
// settings file and the album. Plain data; the page shows it and tests
// drive it without any window.
#pragma once

#include <array>
#include <string>

namespace vexa::wiz {

class WizServices;

class TitleLines {
 public:
  // The album's title lines (a failed read is logged; what was read stays).
  void Load(const WizServices& wiz);
  // Writes the lines to the settings file ("setupTitles", "title1" to
  // "title3") and to the session album (a failed write is logged).
  void Save(const WizServices& wiz) const;
  // After the title picture was made from the lines: each line it did not
  // clip becomes its line's last fitting text; each clipped line goes back
  // to its last fitting text. The first clipped line, or -1 when all fit.
  // A clipped line also stays marked as cut until the user changes it
  // (Edited): its text is what fitted, which may end inside a word.
  int TakePicture(const std::array<bool, 3>& clipped);
  // The user changed line `line` (not the page putting text back).
  void Edited(int line) { cut.at(static_cast<std::size_t>(line)) = false; }
  // The first line still marked as cut, or -1.
  int FirstCut() const;

  std::array<std::string, 3> lines;
  std::array<std::string, 3> lastFitting;
  std::array<bool, 3> cut{};
};

}  // namespace vexa::wiz
