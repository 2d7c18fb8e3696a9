#include "pcpages/LanguageTexts.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/ValidUtf8.h"

namespace vexa::pcpages {

namespace {

constexpr TextEntry kTexts[] = {
    {IDS_VEXAPC_CHARSET, "IDS_VEXAPC_CHARSET", kPageCharset, false},
    {IDS_VEXAPC_NOFRAME, "IDS_VEXAPC_NOFRAME", "Viewing this page requires a browser capable of displaying frames.",
     false},
    {IDS_VEXAPC_NUMS, "IDS_VEXAPC_NUMS", "Image [NUM] of [NUMPICS]", false},
    {IDS_VEXAPC_PREV, "IDS_VEXAPC_PREV", "Previous", false},
    {IDS_VEXAPC_HOME, "IDS_VEXAPC_HOME", "Home", false},
    {IDS_VEXAPC_NEXT, "IDS_VEXAPC_NEXT", "Next", false},
    {IDS_VEXAPC_CREATED, "IDS_VEXAPC_CREATED", "Created:", false},
    {IDS_VEXAPC_BRAG, "IDS_VEXAPC_BRAG", "with kv orlune disc software", true},
    {IDS_VEXAPC_VERSION, "IDS_VEXAPC_VERSION", "Version:", false},
    {IDS_VEXAPC_TOTAL, "IDS_VEXAPC_TOTAL", "Total images:", false},
    {IDS_VEXAPC_MOST, "IDS_VEXAPC_MOST", "This disc may be played on most DVD players", true},
    {IDS_VEXAPC_START, "IDS_VEXAPC_START", "Start photo show", false},
    {IDS_VEXAPC_BROWSE, "IDS_VEXAPC_BROWSE", "Browse images from disc", false},
    {IDS_VEXAPC_THUMBS, "IDS_VEXAPC_THUMBS", "Print contact sheet", false},
    {IDS_VEXAPC_PICTURES, "IDS_VEXAPC_PICTURES", "Print images", false},
    {IDS_VEXAPC_JWLCASE, "IDS_VEXAPC_JWLCASE", "Print CD case insert", false},
    {IDS_VEXAPC_GETHELP, "IDS_VEXAPC_GETHELP", "Get Help", false},
    {IDS_VEXAPC_DISCLAIM, "IDS_VEXAPC_DISCLAIM", "* kv is not responsible for the image content of this disc.",
     true},
    {IDS_VEXAPC_PAUSE, "IDS_VEXAPC_PAUSE", "Pause", false},
    {IDS_VEXAPC_RESUME, "IDS_VEXAPC_RESUME", "Resume", false},
};
static_assert(sizeof kTexts / sizeof kTexts[0] == 20);

constexpr std::size_t kMaxTextChars = 2047;
constexpr std::size_t kMaxNameChars = 99;

bool PlainName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

const TextEntry& TextInfo(TextId id) {
  for (const TextEntry& e : kTexts) {
    if (e.id == id) return e;
  }
  return kTexts[0];
}

LanguageTexts LanguageTexts::Parse(std::string_view text) {
  LanguageTexts t;
  // Invalid UTF-8 becomes U+FFFD here, so no page ever carries broken bytes.
  const std::string clean = base::ToValidUtf8(text);
  for (std::string_view line : base::DataLines(clean)) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string idText(Trim(line.substr(0, eq)));
    char* end = nullptr;
    const long id = std::strtol(idText.c_str(), &end, 10);
    if (idText.empty() || *end != '\0' || id < 0 || id > 65535) continue;
    const std::string_view value = Trim(line.substr(eq + 1));
    if (value.empty()) continue;  // an empty text is no text: the default stands
    t.texts_[static_cast<int>(id)] = base::Utf8CutChars(value, kMaxTextChars);
  }
  return t;
}

const LanguageTexts* LanguageTexts::Load(std::string_view name, std::string* why) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<LanguageTexts>, std::less<>> loaded;
  if (!PlainName(name)) {
    if (why) *why = "not a library name: " + std::string(name);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = loaded.find(name); it != loaded.end()) return it->second.get();
  const std::string path = base::JoinPath(base::JoinPath(base::ShareDir(), "pcpages"), std::string(name) + ".txt");
  std::string text;
  if (!base::ReadFile(path, &text)) {
    if (why) *why = "cannot read " + path;
    return nullptr;
  }
  auto table = std::make_unique<LanguageTexts>(Parse(text));
  const LanguageTexts* p = table.get();
  loaded.emplace(std::string(name), std::move(table));
  return p;
}

std::string LanguageTexts::Text(int id, std::string_view fallback) const {
  auto it = texts_.find(id);
  return it != texts_.end() ? it->second : std::string(fallback);
}

}  // namespace vexa::pcpages
