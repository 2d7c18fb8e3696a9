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
  // (Edited): its text is what fitted, which may end inside a word. When
  // the refused text was the fitting text with something inserted at one
  // place, that place is where the line was cut (cutAt).
  int TakePicture(const std::array<bool, 3>& clipped);
  // Whether `text` for line `line` is refused without trying the picture:
  // the line is cut, and `text` is its last fitting text with something
  // inserted where it was cut. A letter typed after a refused one is
  // refused too, however narrow, so the line stays a beginning of what was
  // typed and never takes a later letter in place of a refused one.
  bool Refuses(int line, const std::string& text) const;
  // The user changed line `line` (not the page putting text back).
  void Edited(int line) {
    cut.at(static_cast<std::size_t>(line)) = false;
    cutAt.at(static_cast<std::size_t>(line)) = -1;
  }
  // The first line still marked as cut, or -1.
  int FirstCut() const;
  // Where `after` is `before` with text inserted at one place: that place
  // (a byte offset, at a character's start; the last such place when there
  // are several); -1 when it is not.
  static int InsertionPoint(const std::string& before, const std::string& after);

  std::array<std::string, 3> lines;
  std::array<std::string, 3> lastFitting;
  std::array<bool, 3> cut{};
  std::array<int, 3> cutAt{-1, -1, -1};  // byte offset into lastFitting, -1: none
};

}  // namespace vexa::wiz
