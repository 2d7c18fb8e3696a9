// The orchestrator's language library: a text file "vexacore<ABBR>.txt" in
// the installation's core folder, one "key=text" a line. A key is a string
// id ("4561") or a dialog template's control ("151/1090", "151/0" for the
// caption). Texts are UTF-8 with the escapes \r, \n, \t and \\; a line that
// starts with "#" is a comment. Tables are read once per process and shared
// read-only by every object that loads the same language.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vexa::core {

class StringTable {
 public:
  // Parses the text of a table; lines that are not "key=text" are skipped.
  static std::shared_ptr<const StringTable> Parse(std::string_view text, std::string folder);

  // The text of a string id, or "" when the table has none.
  std::string String(int id) const;
  // The text of a template's control ("" when none).
  std::string TemplateText(int templateId, int controlId) const;
  // Folder the table was read from: its pictures (icon and bitmap resources
  // "icon<id>.png", "bitmap<id>.png") lie beside it.
  const std::string& Folder() const { return folder_; }
  // Path of the picture resource, or "" when the folder has none.
  std::string BitmapPath(int id) const;
  std::string IconPath(int id) const;

 private:
  std::map<std::string, std::string, std::less<>> texts_;
  std::string folder_;
};

// The file name of the language library for an abbreviation: "vexacore" and
// the abbreviation. Empty when the abbreviation is unusable (empty, longer
// than the 99-character name allows, or not made of letters and digits).
std::string LanguageLibraryName(std::string_view abbreviation);

// Loads the language library "vexacore<abbreviation>" from the installation
// (share/vexa/core/), or from VEXA_CORE_LANG_DIR when that is set. Null when
// it cannot be found or read.
std::shared_ptr<const StringTable> LoadLanguageLibrary(std::string_view abbreviation);

}  // namespace vexa::core
