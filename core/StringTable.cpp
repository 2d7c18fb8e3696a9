#include "core/StringTable.h"

#include <cstdlib>
#include <mutex>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/ValidUtf8.h"

namespace vexa::core {

namespace {

bool IsKey(std::string_view k) {
  if (k.empty()) return false;
  for (char c : k) {
    if (!((c >= '0' && c <= '9') || c == '/')) return false;
  }
  return true;
}

std::string Existing(const std::string& path) { return base::FileExists(path) ? path : std::string(); }

}  // namespace

std::shared_ptr<const StringTable> StringTable::Parse(std::string_view text, std::string folder) {
  auto table = std::make_shared<StringTable>();
  table->folder_ = std::move(folder);
  // Invalid UTF-8 becomes U+FFFD, so every text is safe to hand on.
  const std::string clean = base::ToValidUtf8(text);
  for (const std::string_view line : base::DataLines(clean)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || !IsKey(line.substr(0, eq))) continue;
    table->texts_[std::string(line.substr(0, eq))] = base::Unescape(line.substr(eq + 1));
  }
  return table;
}

std::string StringTable::String(int id) const {
  auto it = texts_.find(std::to_string(id));
  return it == texts_.end() ? std::string() : it->second;
}

std::string StringTable::TemplateText(int templateId, int controlId) const {
  auto it = texts_.find(std::to_string(templateId) + "/" + std::to_string(controlId));
  return it == texts_.end() ? std::string() : it->second;
}

std::string StringTable::BitmapPath(int id) const {
  if (folder_.empty() || id <= 0) return {};
  return Existing(base::JoinPath(folder_, "bitmap" + std::to_string(id) + ".png"));
}

std::string StringTable::IconPath(int id) const {
  if (folder_.empty() || id <= 0) return {};
  return Existing(base::JoinPath(folder_, "icon" + std::to_string(id) + ".png"));
}

std::string LanguageLibraryName(std::string_view abbreviation) {
  static constexpr std::string_view kPrefix = "vexacore";
  if (abbreviation.empty() || kPrefix.size() + abbreviation.size() > 99) return {};
  for (char c : abbreviation) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return {};
  }
  return std::string(kPrefix) + std::string(abbreviation);
}

std::shared_ptr<const StringTable> LoadLanguageLibrary(std::string_view abbreviation) {
  const std::string name = LanguageLibraryName(abbreviation);
  if (name.empty()) return nullptr;
  const char* override = std::getenv("VEXA_CORE_LANG_DIR");
  const std::string folder =
      override && *override ? std::string(override) : base::JoinPath(base::ShareDir(), "core");
  const std::string path = base::JoinPath(folder, name + ".txt");

  // One table per file and process; tables never change once read.
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const StringTable>> cache;
  std::lock_guard lock(mutex);
  if (auto it = cache.find(path); it != cache.end()) return it->second;
  std::string text;
  if (!base::ReadFile(path, &text)) return nullptr;
  auto table = StringTable::Parse(text, folder);
  cache[path] = table;
  return table;
}

}  // namespace vexa::core
