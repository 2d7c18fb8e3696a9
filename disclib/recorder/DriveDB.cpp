#include "disclib/recorder/DriveDB.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

#include "platform/registry/Registry.h"

namespace discpak {

Cdr4DriveDBRegistry::Cdr4DriveDBRegistry(const char* inquiry) : record_(kDriveDBRecordSize, 0) {
  const std::size_t length = inquiry ? strnlen(inquiry, 28) : 0;
  revision_ = length >= 25 ? std::string(inquiry + 24, length - 24) : std::string("0000");
  HKEY key = nullptr;
  if (!inquiry || RegOpenKeyEx(HKEY_LOCAL_MACHINE, kDriveDBKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  // Closed however the constructor ends, also when memory runs out.
  const std::unique_ptr<std::remove_pointer_t<HKEY>, LONG (*)(HKEY)> closer(key, RegCloseKey);
  // The value named exactly by the first 24 identification characters.
  char model[25] = {};
  std::memcpy(model, inquiry, std::min<std::size_t>(length, 24));
  for (DWORD i = 0;; ++i) {
    char name[26] = {};
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    const LONG e = RegEnumValue(key, i, name, &nameLength, nullptr, &type, nullptr, nullptr);
    if (e == ERROR_MORE_DATA) continue;  // a longer name is no model of ours
    if (e != ERROR_SUCCESS) break;
    if (nameLength != 24 || std::memcmp(name, model, 24) != 0) continue;
    std::vector<BYTE> data(4096, 0);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueEx(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS && type == REG_BINARY) {
      std::memcpy(record_.data(), data.data(), std::min<std::size_t>(size, kDriveDBRecordSize));
      loaded_ = true;
    }
    break;
  }
}

DWORD Cdr4DriveDBRegistry::Word(std::size_t offset) const {
  return record_[offset] | (record_[offset + 1] << 8) | (record_[offset + 2] << 16) |
         (static_cast<DWORD>(record_[offset + 3]) << 24);
}

LONG Cdr4DriveDBRegistry::Count(std::size_t offset) const {
  if (!loaded_) return -1;
  return static_cast<LONG>(std::min<DWORD>(Word(offset), 8));
}

LONG Cdr4DriveDBRegistry::Get(std::size_t listOffset, LONG index, LONG nameSize, char* name, DWORD* word1,
                              DWORD* speed, DWORD* word3) const {
  if (!loaded_ || index < 0 || index >= Count(listOffset)) return 0;
  const std::size_t at = listOffset + 4 + static_cast<std::size_t>(index) * 28;
  if (word1) *word1 = Word(at);
  if (speed) *speed = Word(at + 4);
  if (word3) *word3 = Word(at + 8);
  if (name && nameSize > 0) {
    const std::size_t n = std::min<std::size_t>({strnlen(reinterpret_cast<const char*>(&record_[at + 12]), 16),
                                                 static_cast<std::size_t>(nameSize - 1)});
    std::memcpy(name, &record_[at + 12], n);
    name[n] = 0;
  }
  return 1;
}

LONG Cdr4DriveDBRegistry::CodeCount() {
  if (!loaded_) return -1;
  const std::size_t n = strnlen(reinterpret_cast<const char*>(&record_[784]), kDriveDBRecordSize - 784);
  return static_cast<LONG>(n / 4);
}

LONG Cdr4DriveDBRegistry::HasKey(DWORD key) {
  if (!loaded_) return 0;
  const DWORD pairs = std::min<DWORD>(Word(712), 8);
  for (DWORD i = 0; i < pairs; ++i) {
    if (Word(716 + 8 * i) == key) return 1;
  }
  return 0;
}

DWORD Cdr4DriveDBRegistry::GetValue(DWORD key) {
  if (!loaded_) return 0;
  const DWORD pairs = std::min<DWORD>(Word(712), 8);
  for (DWORD i = 0; i < pairs; ++i) {
    if (Word(716 + 8 * i) == key) return Word(716 + 8 * i + 4);
  }
  return 0;
}

}  // namespace discpak
