// Plain file-name helpers the wizard shares: a path split into folder, name
// and extension, and a directory search that passes only exact extensions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vexa::wiz {

// A file path split into folder, name and extension.
class CvexaPath {
 public:
  CvexaPath() = default;
  explicit CvexaPath(std::string path) { SetPath(std::move(path)); }
  void SetPath(std::string path);
  // Name and extension.
  std::string GetFileName() const;
  // Folder with its trailing separator.
  std::string GetDirectory() const;
  // The extension without its leading dots.
  std::string GetExtension() const;
  bool Exists() const;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_directory;
  std::string m_name;
  std::string m_extension;  // with its dot
};

// A directory search for a wildcard pattern that passes only files whose
// extension equals the pattern's extension (ignoring case).
class CvexaExactFileFind {
 public:
  // True when any file matches.
  bool FindFile(const std::string& pattern);
  // Moves to the next match; true while more matches follow it.
  bool FindNextFile();
  std::string GetFilePath() const;
  std::string GetFileName() const;

 private:
  std::string m_root;
  std::vector<std::string> m_matches;
  std::size_t m_next = 0;
  std::string m_current;
};

}  // namespace vexa::wiz
