#include "uicommon/common/Strings.h"

#include <map>
#include <mutex>

namespace vexa::ui {

namespace {
std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::map<int, std::string>& Table() {
  static std::map<int, std::string> table;
  return table;
}
}  // namespace

void RegisterStrings(const StringEntry* entries, int count) {
  std::lock_guard<std::mutex> lock(TableMutex());
  for (int i = 0; i < count; ++i) Table()[entries[i].id] = entries[i].text ? entries[i].text : "";
}

std::string LoadResString(int id) {
  std::lock_guard<std::mutex> lock(TableMutex());
  auto found = Table().find(id);
  return found == Table().end() ? std::string() : found->second;
}

}  // namespace vexa::ui
