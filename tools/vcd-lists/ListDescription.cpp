#include "tools/vcd-lists/ListDescription.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace vexa::vcdlists {

namespace {

bool Number(const std::string& s, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return false;
  *out = v;
  return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

}  // namespace

I_VCDClass20Menu* BuildMenu(const std::string& text, const DISCPAK_LibObject& discpak, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  int lineNo = 0;
  I_VCDClass20Menu* menu = nullptr;
  auto fail = [&](const std::string& why) -> I_VCDClass20Menu* {
    *error = "line " + std::to_string(lineNo) + ": " + why;
    if (menu) discpak.DeleteVCDClass20Menu(menu);
    return nullptr;
  };
  while (std::getline(lines, line)) {
    ++lineNo;
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind[0] == '#') continue;
    std::string idText;
    words >> idText;
    long id = 0;
    if (!Number(idText, &id) || id < 0 || id > 0xFFFF) return fail("a number is expected after '" + kind + "'");
    if (kind == "max") {
      if (menu) return fail("'max' given twice");
      menu = discpak.NewVCDClass20Menu(static_cast<std::uint16_t>(id));
      if (!menu) return fail("no menu object");
      continue;
    }
    if (!menu) return fail("the first line must be 'max M'");
    const auto listId = static_cast<std::uint16_t>(id);
    I_VCD20PlayList* play = nullptr;
    I_VCD20SelList* sel = nullptr;
    if (kind == "play") {
      play = menu->NewPlayList(listId);
    } else if (kind == "sel") {
      sel = menu->NewSelList(listId);
    } else if (kind == "end") {
      if (!menu->NewEndList(listId)) return fail("list " + idText + " cannot be made (0, above max, or taken)");
      continue;
    } else {
      return fail("unknown list kind '" + kind + "'");
    }
    if (!play && !sel) return fail("list " + idText + " cannot be made (0, above max, or taken)");
    std::string field;
    std::vector<std::string> targets;
    long count = 0, base = 1, wait = 0, autoWait = 0;
    bool haveCount = false;
    while (words >> field) {
      const auto eq = field.find('=');
      if (eq == std::string::npos) return fail("'" + field + "' is not name=value");
      const std::string name = field.substr(0, eq), value = field.substr(eq + 1);
      long v = 0;
      if (name == "items" && play) {
        const std::vector<std::string> items = Split(value, ',');
        if (!play->SetItemCount(static_cast<std::int32_t>(items.size())))
          return fail("more than 100 items");
        for (std::size_t i = 0; i < items.size(); ++i) {
          if (!Number(items[i], &v) || !play->SetItem(static_cast<std::int32_t>(i), static_cast<std::int32_t>(v)))
            return fail("bad play item '" + items[i] + "'");
        }
        continue;
      }
      if (name == "targets" && sel) {
        targets = Split(value, ',');
        continue;
      }
      if (!Number(value, &v)) return fail("'" + value + "' is not a number");
      const auto link = static_cast<std::uint16_t>(v);
      static const char* kLinks[] = {"prev", "next", "return", "default", "timeout"};
      int linkKind = -1;
      for (int k = 0; k < 5; ++k) {
        if (name == kLinks[k]) linkKind = k;
      }
      if (linkKind >= 0) {
        const std::int32_t ok = play ? play->SetLink(linkKind, link) : sel->SetLink(linkKind, link);
        if (!ok) return fail("'" + name + "' is not a link of a " + kind + " list");
      } else if (play && name == "time") {
        play->SetPlayingTime(static_cast<std::int32_t>(v));
      } else if (play && name == "wait") {
        wait = v;
      } else if (play && name == "autowait") {
        autoWait = v;
      } else if (sel && name == "count") {
        count = v;
        haveCount = true;
      } else if (sel && name == "base") {
        base = v;
      } else if (sel && name == "item") {
        sel->SetItem(static_cast<std::int32_t>(v));
      } else if (sel && name == "wait") {
        sel->SetWaitTime(static_cast<std::int32_t>(v));
      } else if (sel && name == "loop") {
        sel->SetLoop(static_cast<std::int32_t>(v));
      } else {
        return fail("unknown field '" + name + "' for a " + kind + " list");
      }
    }
    if (play) play->SetWaitTimes(static_cast<std::int32_t>(wait), static_cast<std::int32_t>(autoWait));
    if (sel) {
      if (!haveCount) count = static_cast<long>(targets.size());
      if (!sel->SetSelections(static_cast<std::int32_t>(count), static_cast<std::int32_t>(base)))
        return fail("selections: count + base must stay below 100 and base above 0");
      for (std::size_t i = 0; i < targets.size(); ++i) {
        long t = 0;
        if (!Number(targets[i], &t) ||
            !sel->SetSelection(static_cast<std::int32_t>(base + static_cast<long>(i)), static_cast<std::uint16_t>(t)))
          return fail("bad selection target '" + targets[i] + "'");
      }
    }
  }
  if (!menu) {
    *error = "the description has no 'max M' line";
    return nullptr;
  }
  return menu;
}

}  // namespace vexa::vcdlists
