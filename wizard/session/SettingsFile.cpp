#include "wizard/session/SettingsFile.h"

#include <fnmatch.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::wiz {

CvexaSettingsFile::CvexaSettingsFile(int growBy) : m_growBy(growBy > 0 ? growBy : 4) {}

CvexaSettingsFile::~CvexaSettingsFile() { Close(); }

bool CvexaSettingsFile::Equal(std::string_view a, std::string_view b) const {
  return m_caseInsensitive ? base::EqualsNoCase(a, b) : a == b;
}

int CvexaSettingsFile::FindSection(std::string_view name) const {
  for (std::size_t i = 0; i < m_sections.size(); ++i)
    if (Equal(m_sections[i].name, name)) return static_cast<int>(i);
  return -1;
}

void CvexaSettingsFile::Forget() {
  m_soon.Cancel();
  m_sections.clear();
  m_path.clear();
  m_changed = false;
}

bool CvexaSettingsFile::Open(const std::string& path, bool writeOnClose, bool create, bool caseInsensitive,
                             bool keepNumberedCopies) {
  if (!m_path.empty()) {
    Write(false);
    Forget();
  }
  m_writeOnClose = writeOnClose;
  m_caseInsensitive = caseInsensitive;
  m_keepNumberedCopies = keepNumberedCopies;

  if (path.empty()) return false;
  if (!base::FileExists(path)) {
    // A missing file is made at once, empty, when asked to.
    if (!create || !base::WriteFileAtomic(path, "")) return false;
  }
  std::string text;
  if (!base::ReadFile(path, &text)) return false;

  m_path = path;
  m_sections.clear();
  m_sections.reserve(static_cast<std::size_t>(m_growBy));
  m_sections.emplace_back();
  std::string currentName;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = last ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      if (m_sections.size() == m_sections.capacity())
        m_sections.reserve(m_sections.size() + static_cast<std::size_t>(m_growBy));
      m_sections.emplace_back();
      currentName = line.substr(1, line.size() - 2);
      continue;
    }
    Section& s = m_sections.back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
      s.keys.push_back(line);
      s.values.emplace_back();
    } else {
      s.keys.push_back(line.substr(0, eq));
      s.values.push_back(line.substr(eq + 1));
    }
    // A section's name is recorded with its first entry, so a header
    // without entries leaves no named section behind.
    s.name = currentName;
  }
  return true;
}

bool CvexaSettingsFile::OpenInCurrentDirectory(const std::string& name, bool writeOnClose, bool create,
                                               bool caseInsensitive, bool keepNumberedCopies) {
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  if (ec) return false;
  return Open(base::JoinPath(cwd, name), writeOnClose, create, caseInsensitive, keepNumberedCopies);
}

std::string CvexaSettingsFile::GetValue(std::string_view section, std::string_view key,
                                        std::string_view defaultValue) const {
  const int s = FindSection(section);
  if (s < 0) return std::string(defaultValue);
  const Section& sec = m_sections[static_cast<std::size_t>(s)];
  // Of duplicate keys the last one wins.
  for (std::size_t i = sec.keys.size(); i-- > 0;)
    if (Equal(sec.keys[i], key)) return sec.values[i];
  return std::string(defaultValue);
}

void CvexaSettingsFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  if (SetEntry(section, key, value)) {
    m_changed = true;
    if (m_writeSoon && !m_path.empty()) m_soon.Request();
  }
}

bool CvexaSettingsFile::SetEntry(std::string_view section, std::string_view key, std::string_view value) {
  if (m_sections.empty()) m_sections.emplace_back();
  int s = FindSection(section);
  if (s < 0) {
    m_sections.emplace_back();
    m_sections.back().name = std::string(section);
    s = static_cast<int>(m_sections.size()) - 1;
  }
  Section& sec = m_sections[static_cast<std::size_t>(s)];
  for (std::size_t i = sec.keys.size(); i-- > 0;) {
    if (!Equal(sec.keys[i], key)) continue;
    // Values are paths among others: a change of letter case is a change.
    if (sec.values[i] == value) return false;
    sec.values[i] = std::string(value);
    return true;
  }
  sec.keys.emplace_back(key);
  sec.values.emplace_back(value);
  return true;
}

std::string CvexaSettingsFile::NumberedCopyName() const {
  const std::size_t dot = m_path.rfind('.');
  const std::string stem = dot == std::string::npos ? m_path : m_path.substr(0, dot);
  const std::string folder = base::DirName(stem).empty() ? "." : base::DirName(stem);
  const std::string pattern = base::BaseName(stem) + "*.*";
  int highest = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
    const std::string tail = name.size() >= 3 ? name.substr(name.size() - 3) : name;
    int n = 0;
    for (char c : tail) {
      if (c < '0' || c > '9') break;
      n = n * 10 + (c - '0');
    }
    if (n > highest) highest = n;
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%.3d", highest + 1);
  return m_path + suffix;
}

std::string CvexaSettingsFile::Write(bool keepNumberedCopies) {
  if (!m_changed || m_path.empty()) return std::string();
  std::string copyName;
  if (keepNumberedCopies) {
    if (m_numberedCopy.empty()) m_numberedCopy = NumberedCopyName();
    std::string old;
    if (base::ReadFile(m_path, &old)) base::WriteFileAtomic(m_numberedCopy, old);
    copyName = m_numberedCopy;
  }
  std::string text;
  for (const Section& s : m_sections) {
    if (!s.name.empty()) text += "[" + s.name + "]\r\n";
    for (std::size_t i = 0; i < s.keys.size(); ++i) {
      text += s.keys[i];
      if (!s.keys[i].empty()) text += "=";
      text += s.values[i];
      text += "\r\n";
    }
  }
  // Written beside the file and renamed over it: a failure leaves the old one.
  if (!base::WriteFileAtomic(m_path, text)) return std::string();
  m_changed = false;
  return copyName;
}

void CvexaSettingsFile::Close() {
  if (m_writeOnClose) Write(m_keepNumberedCopies);
  Forget();
}

bool CvexaSettingsAccess::ReadNumber(std::string_view section, std::string_view key, long* number) const {
  const std::string text = ReadString(section, key);
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  *number = v;
  return true;
}

}  // namespace vexa::wiz
