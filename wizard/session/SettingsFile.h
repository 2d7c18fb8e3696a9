// The wizard's settings file "orlunedisc.ini": sections of key/value lines,
// read whole when opened, changed in memory and written back whole (beside
// the file, then renamed over it) when closed, only if something changed,
// and, when asked, soon after every change. CvexaSettingsAccess is the typed
// face the pages use; it keeps the file up to date after every change.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "wizard/session/CoalescedWrite.h"

namespace vexa::wiz {

class CvexaSettingsFile {
 public:
  explicit CvexaSettingsFile(int growBy = 4);
  virtual ~CvexaSettingsFile();
  CvexaSettingsFile(const CvexaSettingsFile&) = delete;
  CvexaSettingsFile& operator=(const CvexaSettingsFile&) = delete;

  bool Open(const std::string& path, bool writeOnClose, bool create, bool caseInsensitive,
            bool keepNumberedCopies);
  bool OpenInCurrentDirectory(const std::string& name, bool writeOnClose, bool create,
                              bool caseInsensitive, bool keepNumberedCopies);
  // The value of key in section, whole, or the default.
  std::string GetValue(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  // Writes the file when it changed; the numbered-copy name, or "".
  std::string Write(bool keepNumberedCopies);
  // From now on each change is written soon (CoalescedWrite), so a program
  // that is killed leaves the file as its last action made it.
  void WriteSoonAfterChanges(bool on) { m_writeSoon = on; }
  void Close();

  const std::string& Path() const { return m_path; }
  bool Changed() const { return m_changed; }

 private:
  struct Section {
    std::string name;
    std::vector<std::string> keys;
    std::vector<std::string> values;
  };
  bool Equal(std::string_view a, std::string_view b) const;
  int FindSection(std::string_view name) const;
  // Sets the entry; true when that changed the contents.
  bool SetEntry(std::string_view section, std::string_view key, std::string_view value);
  std::string NumberedCopyName() const;
  void Forget();

  int m_growBy;
  std::vector<Section> m_sections;
  bool m_caseInsensitive = true;
  bool m_writeOnClose = false;
  std::string m_numberedCopy;
  std::string m_path;
  bool m_keepNumberedCopies = false;
  bool m_changed = false;
  bool m_writeSoon = false;
  CoalescedWrite m_soon{[this] { Write(m_keepNumberedCopies); }};
};

class CvexaSettingsAccess {
 public:
  CvexaSettingsAccess() : m_file(4) {}
  bool Open(const std::string& path) {
    m_file.WriteSoonAfterChanges(true);
    return m_file.Open(path, true, true, true, false);
  }
  bool OpenInCurrentDirectory(const std::string& name) {
    m_file.WriteSoonAfterChanges(true);
    return m_file.OpenInCurrentDirectory(name, true, true, true, false);
  }
  void WriteString(std::string_view section, std::string_view key, std::string_view value) {
    m_file.SetValue(section, key, value);
  }
  void WriteNumber(std::string_view section, std::string_view key, long number) {
    WriteString(section, key, std::to_string(number));
  }
  std::string ReadString(std::string_view section, std::string_view key) const {
    return m_file.GetValue(section, key, "");
  }
  // False when the key is missing, empty or not a number.
  bool ReadNumber(std::string_view section, std::string_view key, long* number) const;
  CvexaSettingsFile& File() { return m_file; }

 private:
  CvexaSettingsFile m_file;
};

}  // namespace vexa::wiz
