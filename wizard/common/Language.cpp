#include "wizard/common/Language.h"

#include <cctype>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::wiz {

bool CvexaLanguage::Load(std::string_view abbreviation) {
  if (abbreviation.empty()) return false;
  for (char c : abbreviation) {
    // The abbreviation names a folder: letters and digits only.
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return LoadFolder(base::JoinPath(base::ShareDir(), "vexawiz" + std::string(abbreviation)));
}

bool CvexaLanguage::LoadFolder(const std::string& folder) {
  std::string text;
  if (!base::ReadFile(base::JoinPath(folder, "strings.txt"), &text)) return false;
  std::map<int, std::string> strings;
  if (!ParseStrings(text, &strings)) return false;
  m_folder = folder;
  m_strings = std::move(strings);
  return true;
}

bool CvexaLanguage::ParseStrings(std::string_view text, std::map<int, std::string>* out) {
  for (const std::string_view line : base::DataLines(text)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0) return false;
    int id = 0;
    for (char c : line.substr(0, tab)) {
      if (c < '0' || c > '9' || id > 9999999) return false;
      id = id * 10 + (c - '0');
    }
    (*out)[id] = base::Unescape(line.substr(tab + 1));
  }
  return true;
}

bool CvexaLanguage::String(int id, std::string* out) const {
  auto it = m_strings.find(id);
  if (it == m_strings.end()) return false;
  *out = it->second;
  return true;
}

std::string CvexaLanguage::DialogPath(int id) const {
  if (m_folder.empty()) return {};
  const std::string path = base::JoinPath(m_folder, "dialogs/" + std::to_string(id) + ".ui");
  return base::FileExists(path) ? path : std::string();
}

}  // namespace vexa::wiz
