#include "wizard/common/FilePaths.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::wiz {

// ---- CvexaPath --------------------------------------------------------------------------------

void CvexaPath::SetPath(std::string path) {
  m_path = std::move(path);
  // Only '/' separates: a backslash is a character of a file name here.
  const std::size_t sep = m_path.rfind('/');
  m_directory = sep == std::string::npos ? std::string() : m_path.substr(0, sep + 1);
  const std::string file = sep == std::string::npos ? m_path : m_path.substr(sep + 1);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    m_name = file;
    m_extension.clear();
  } else {
    m_name = file.substr(0, dot);
    m_extension = file.substr(dot);
  }
}

std::string CvexaPath::GetFileName() const { return m_name + m_extension; }
std::string CvexaPath::GetDirectory() const { return m_directory; }

std::string CvexaPath::GetExtension() const {
  std::size_t i = 0;
  while (i < m_extension.size() && m_extension[i] == '.') ++i;
  return m_extension.substr(i);
}

bool CvexaPath::Exists() const {
  struct stat st {};
  return !m_path.empty() && ::stat(m_path.c_str(), &st) == 0;
}

// ---- CvexaExactFileFind ------------------------------------------------------------------

bool CvexaExactFileFind::FindFile(const std::string& pattern) {
  m_matches.clear();
  m_next = 0;
  m_current.clear();
  CvexaPath p(pattern);
  m_root = p.GetDirectory();
  const std::string folder = m_root.empty() ? "." : m_root;
  const std::string wildcard = p.GetFileName();
  const std::string wantedExt = p.GetExtension();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(base::ToNativePath(folder), ec)) {
    const std::string name = entry.path().filename().string();
    if (fnmatch(wildcard.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    // A wildcard extension ("*") takes any; otherwise the extensions match exactly.
    if (wantedExt.find_first_of("*?") == std::string::npos &&
        !base::EqualsNoCase(CvexaPath(name).GetExtension(), wantedExt))
      continue;
    m_matches.push_back(name);
  }
  std::sort(m_matches.begin(), m_matches.end());
  return !m_matches.empty();
}

bool CvexaExactFileFind::FindNextFile() {
  if (m_next >= m_matches.size()) return false;
  m_current = m_matches[m_next++];
  return m_next < m_matches.size();
}

std::string CvexaExactFileFind::GetFileName() const { return m_current; }

std::string CvexaExactFileFind::GetFilePath() const {
  if (m_root.empty()) return m_current;
  const char last = m_root.back();
  return last == '/' ? m_root + m_current : m_root + "/" + m_current;
}

}  // namespace vexa::wiz
