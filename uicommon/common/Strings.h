// The string tables of the thumbnail family's libraries: each library
// registers its texts by id when it is loaded, and any library looks a text
// up by id ("load the string of that id from the running modules").
#pragma once

#include <string>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

struct StringEntry {
  int id;
  const char* text;
};
// Adds a table; an id registered again takes the newer text.
VEXATHUMCOMMON_API void RegisterStrings(const StringEntry* entries, int count);
// The text of an id; "" when no loaded library has it.
VEXATHUMCOMMON_API std::string LoadResString(int id);

}  // namespace vexa::ui
