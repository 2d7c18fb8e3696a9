// The wizard's language bundle: the folder "vexawiz" + the language
// abbreviation (vexawizENU) in the installation's share/vexa/, holding the
// string table (strings.txt: "id<TAB>text" lines, with \r \n \t \\ escapes),
// the dialogs as Qt Designer files loaded at run time (dialogs/<id>.ui), the
// icons (icons/<id>.png), the bitmaps (bitmaps/<id>.png) and the keyboard
// accelerator tables (accelerators/<id>.txt). Texts the table lacks fall
// back to the built-in texts of the code.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/ui/Accelerators.h"

class QIcon;
class QPixmap;
class QWidget;

namespace vexa::wiz {

class CvexaLanguage {
 public:
  // Loads the bundle "vexawiz<abbreviation>"; false when it is missing or
  // its string table cannot be read.
  bool Load(std::string_view abbreviation);
  // Loads a bundle from a folder of the caller's choosing.
  bool LoadFolder(const std::string& folder);
  const std::string& Folder() const { return m_folder; }

  // The text of an id; false when the table lacks it.
  bool String(int id, std::string* out) const;
  QIcon Icon(int id) const;
  QPixmap Bitmap(int id) const;
  // Accelerator table id (empty when the bundle lacks it).
  std::vector<CvexaAccelerator> Accelerators(int id) const;
  // Path of dialog template id ("" when the bundle lacks it).
  std::string DialogPath(int id) const;
  // Builds dialog template id as a child widget of parent (the widget fills
  // parent's layout); null when the bundle lacks it or it cannot be read.
  QWidget* LoadDialog(int id, QWidget* parent) const;

  // Parses a string table; false on a malformed line.
  static bool ParseStrings(std::string_view text, std::map<int, std::string>* out);

 private:
  std::string m_folder;
  std::map<int, std::string> m_strings;
};

}  // namespace vexa::wiz
