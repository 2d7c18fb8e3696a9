// The localisable words of the PC pages: the language resource library of
// the page server, a string table by id. On this platform a library is a
// UTF-8 text file "<name>.txt" in the installation's pcpages folder, one
// "id=text" a line ("#" starts a comment line). Ids the library lacks fall
// back to the defaults below.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace vexa::pcpages {

// Text ids, the default each falls back to, and the tag each fills.
enum TextId : int {
  IDS_VEXAPC_CHARSET = 1,
  IDS_VEXAPC_NOFRAME = 2,
  IDS_VEXAPC_NUMS = 3,
  IDS_VEXAPC_PREV = 4,
  IDS_VEXAPC_HOME = 5,
  IDS_VEXAPC_NEXT = 6,
  IDS_VEXAPC_CREATED = 7,
  IDS_VEXAPC_BRAG = 8,
  IDS_VEXAPC_VERSION = 9,
  IDS_VEXAPC_TOTAL = 10,
  IDS_VEXAPC_MOST = 11,
  IDS_VEXAPC_START = 12,
  IDS_VEXAPC_BROWSE = 13,
  IDS_VEXAPC_THUMBS = 14,
  IDS_VEXAPC_PICTURES = 15,
  IDS_VEXAPC_JWLCASE = 16,
  IDS_VEXAPC_GETHELP = 17,
  IDS_VEXAPC_DISCLAIM = 18,
  IDS_VEXAPC_PAUSE = 19,
  IDS_VEXAPC_RESUME = 20,
};

struct TextEntry {
  TextId id;
  const char* tag;
  const char* fallback;
  bool raw;  // the text carries its own markup
};
// The entry of an id (ids 1 to 20).
const TextEntry& TextInfo(TextId id);

// The character set every page declares. Pages are written in UTF-8 whatever
// the language, so the declaration is fixed rather than a text of the
// library.
inline constexpr char kPageCharset[] = "utf-8";

class LanguageTexts {
 public:
  LanguageTexts() = default;
  // A table from library text (for tests and for Load).
  static LanguageTexts Parse(std::string_view text);

  // The library named `name` ("vexapc" followed by the language
  // abbreviation), loaded once and kept for the life of the process; null
  // when it cannot be loaded (no such file, or a name that is not a plain
  // library name), with the reason in *why.
  static const LanguageTexts* Load(std::string_view name, std::string* why = nullptr);

  // The text of id, at most 2047 characters, or the fallback when the
  // library has none.
  std::string Text(int id, std::string_view fallback) const;
  std::string Text(TextId id) const { return Text(id, TextInfo(id).fallback); }

 private:
  std::map<int, std::string> texts_;
};

}  // namespace vexa::pcpages
