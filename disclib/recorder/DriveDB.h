// The drive database entry of one drive model, read from the registry
// (HKLM "SOFTWARE\Brell Technology\TREL\DriveDB", one binary value per model,
// named by the first 24 identification characters of its INQUIRY).
#pragma once

#include <string>
#include <vector>

#include "disclib/recorder/I_CDR4DriveDB.h"

namespace discpak {

inline constexpr char kDriveDBKey[] = "SOFTWARE\\Brell Technology\\TREL\\DriveDB";
constexpr std::size_t kDriveDBRecordSize = 912;

class Cdr4DriveDBRegistry : public I_CDR4DriveDB {
 public:
  // Looks the model up by its 28 identification characters.
  explicit Cdr4DriveDBRegistry(const char* inquiry);

  LONG IsLoaded() override { return loaded_ ? 1 : 0; }
  LONG CountA() override { return Count(28); }
  LONG GetA(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) override {
    return Get(28, index, nameSize, name, word1, speed, word3);
  }
  LONG CountB() override { return Count(256); }
  LONG CountC() override { return Count(484); }
  LONG GetB(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) override {
    return Get(256, index, nameSize, name, word1, speed, word3);
  }
  LONG GetC(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) override {
    return Get(484, index, nameSize, name, word1, speed, word3);
  }
  LONG Slot8() override { return 1; }
  void Slot9(DWORD, DWORD, char* text) override {
    if (text) text[0] = 0;
  }
  LONG CodeCount() override;
  LONG Slot11() override { return 0; }
  LONG HasKey(DWORD key) override;
  DWORD GetValue(DWORD key) override;

  const std::string& Revision() const { return revision_; }

 private:
  DWORD Word(std::size_t offset) const;
  LONG Count(std::size_t offset) const;
  LONG Get(std::size_t listOffset, LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed,
           DWORD* word3) const;

  std::string revision_;
  bool loaded_ = false;
  std::vector<BYTE> record_;
};

}  // namespace discpak
