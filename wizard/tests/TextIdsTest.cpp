// Every text the wizard asks its string table for is in the English table.
// The wizard names a text by an id with its built-in English right after it
// (LoadString(4478, "..."), QText(wiz, 52, "..."), the menu and toolbar
// builders' (id, "text") and tables of {id, "text"}), and each page its title
// and subtitle ids; the test reads the wizard's sources for those and looks
// every id up in data/vexawizENU/strings.txt, so a text added to the code
// without its line in the table fails here instead of logging an error at
// every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "platform/base/Path.h"
#include "wizard/common/Language.h"

namespace {

namespace fs = std::filesystem;

const std::string kWizardDir = std::string(VEXA_TEST_SOURCE_DIR) + "/..";
const std::string kEnglishBundle = std::string(VEXA_TEST_SOURCE_DIR) + "/../../data/vexawizENU";

// The source without comments and with every string and character literal
// emptied ("" and ''), so brackets and digits inside them do not count.
std::string Code(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      out += '\n';
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      i += 2;
      while (i + 1 < s.size() && !(s[i] == '*' && s[i + 1] == '/')) {
        if (s[i] == '\n') out += '\n';
        ++i;
      }
      ++i;
    } else if (c == '"' || c == '\'') {
      ++i;
      while (i < s.size() && s[i] != c) {
        if (s[i] == '\\') ++i;
        ++i;
      }
      out += c;
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

// The bracket that opens the list the character at pos is in, and the name
// just before it ("" when none): a call's function, "pair" for std::pair{...}.
std::pair<char, std::string> Enclosing(const std::string& code, std::size_t pos) {
  int depth = 0;
  for (std::size_t i = pos + 1; i-- > 0;) {
    const char c = code[i];
    if (c == ')' || c == '}' || c == ']') ++depth;
    if (c != '(' && c != '{' && c != '[') continue;
    if (depth > 0) {
      --depth;
      continue;
    }
    std::size_t end = i;
    while (end > 0 && std::isspace(static_cast<unsigned char>(code[end - 1]))) --end;
    std::size_t start = end;
    while (start > 0 && (std::isalnum(static_cast<unsigned char>(code[start - 1])) || code[start - 1] == '_')) --start;
    return {c, code.substr(start, end - start)};
  }
  return {0, ""};
}

struct Use {
  std::string where;  // file:line of the first use
};

// Every text id the wizard's sources ask for, with where it is first asked.
std::map<int, Use> TextIdsOfTheSources() {
  std::map<int, Use> ids;
  // An id with its built-in text after it.
  const std::regex withFallback(R"([({,]\s*(\d+)\s*,\s*")");
  // A page's template, title and subtitle ids (0: none).
  const std::regex page(R"(CvexaWizPage\(\s*wiz\s*,\s*\d+\s*,\s*(\d+)\s*,\s*(\d+)\s*\))");
  for (const auto& entry : fs::recursive_directory_iterator(kWizardDir)) {
    const fs::path& path = entry.path();
    if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) continue;
    if (path.parent_path().filename() == "tests") continue;
    std::string text;
    if (!vexa::base::ReadFile(path.string(), &text)) continue;
    const std::string code = Code(text);
    auto note = [&](int id, std::ptrdiff_t at) {
      const auto line = std::count(code.begin(), code.begin() + at, '\n') + 1;
      ids.try_emplace(id, Use{path.filename().string() + ":" + std::to_string(line)});
    };
    for (auto it = std::sregex_iterator(code.begin(), code.end(), withFallback); it != std::sregex_iterator(); ++it) {
      const auto [bracket, name] = Enclosing(code, static_cast<std::size_t>(it->position(0)));
      // Not texts: a substring's position and length (compare(0, 17, "..."))
      // and a control's id with the caption of a built-in layout
      // (std::pair{1094, "Your folders"}).
      if ((bracket == '(' && name == "compare") || (bracket == '{' && name == "pair")) continue;
      note(std::stoi((*it)[1].str()), it->position(1));
    }
    for (auto it = std::sregex_iterator(code.begin(), code.end(), page); it != std::sregex_iterator(); ++it) {
      for (int group : {1, 2}) {
        const int id = std::stoi((*it)[group].str());
        if (id != 0) note(id, it->position(group));
      }
    }
  }
  return ids;
}

TEST(TextIdsTest, EveryTextTheWizardAsksForIsInTheEnglishTable) {
  const std::map<int, Use> ids = TextIdsOfTheSources();
  // The reading finds each way of asking: a call over two lines, a menu
  // item, a table entry, a page title, a summary label; and leaves out what
  // only looks like one.
  for (int id : {4510, 32772, 32779, 101, 161, 57043, 52, 2}) EXPECT_TRUE(ids.count(id)) << id;
  for (int id : {17, 1093, 1094, 1091}) EXPECT_FALSE(ids.count(id)) << id;

  vexa::wiz::CvexaLanguage english;
  ASSERT_TRUE(english.LoadFolder(kEnglishBundle));
  for (const auto& [id, use] : ids) {
    std::string text;
    EXPECT_TRUE(english.String(id, &text)) << "text " << id << " (" << use.where << ") is not in strings.txt";
  }
}

}  // namespace
