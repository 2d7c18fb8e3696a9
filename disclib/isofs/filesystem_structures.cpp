// The structure set of one tree and its path tables.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "disclib/isofs/Manager_p.h"

namespace isofs {

filesystem_structures::filesystem_structures(int kind, I_ISO_Format* format,
                                             PrimaryVolumeDescriptor* descriptor)
    : kind_(kind), format_(format), descriptor_(descriptor) {}

filesystem_structures::~filesystem_structures() {
  std::vector<ISO_DirStructure*> all;
  for (auto& [depth, list] : levels_) all.insert(all.end(), list.begin(), list.end());
  // Deepest first, so no structure outlives the parent it points at.
  for (auto it = all.rbegin(); it != all.rend(); ++it) owned_.erase(*it);
  owned_.clear();
}

void filesystem_structures::RegisterDirectory(ISO_DirStructure* s, int depth) {
  ISOFS_TRACE("filesystem_structures::RegisterDirectory") << "+++++++> Registering " << s->GetName()
                                                          << " at the level of " << depth << endl;
  levels_[depth].push_back(s);
}

void filesystem_structures::UnregisterDirectory(ISO_DirStructure* s, int depth) {
  auto level = levels_.find(depth);
  if (level != levels_.end()) {
    auto it = std::find(level->second.begin(), level->second.end(), s);
    if (it != level->second.end()) {
      level->second.erase(it);
      if (s == root_) root_ = nullptr;
      if (on_unregister_) on_unregister_(s);
      return;
    }
  }
  char comment[512];
  std::snprintf(comment, sizeof comment, "Looking for %s (0x%llx) at the level %d", s->GetName().c_str(),
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(s)), depth);
  ThrowTrel<E_InvalidObject>("ISO9660_FilesystemManager::filesystem_structures::UnregisterDirectory",
                             "filesystem_structures", 214, comment);
}

void filesystem_structures::SetUp(I_Directory* root) {
  if (root_) return;
  root_ = Adopt(std::make_unique<ISO_DirStructure>(format_, root, 0, nullptr, descriptor_->GetRootRecord(), this));
}

ISO_DirStructure* filesystem_structures::Adopt(std::unique_ptr<ISO_DirStructure> s) {
  ISO_DirStructure* observer = s.get();
  owned_.emplace(observer, std::move(s));
  return observer;
}

ISO_DirStructure* filesystem_structures::new_subdir(I_Directory* dir) {
  I_Directory* parentDir = AsFile(dir)->GetParent();
  ISO_DirStructure* parent = parentDir ? StructureOf(parentDir, kind_) : root_;
  const int depth = parent ? parent->Depth() + 1 : 1;
  return Adopt(std::make_unique<ISO_DirStructure>(format_, dir, depth, parent, nullptr, this));
}

void filesystem_structures::Destroy(ISO_DirStructure* s) {
  // Taken out of the map before it goes, since its destructor unregisters
  // it from this set.
  auto it = owned_.find(s);
  if (it == owned_.end()) return;
  std::unique_ptr<ISO_DirStructure> doomed = std::move(it->second);
  owned_.erase(it);
}

ISO_DirStructure* filesystem_structures::StructureOf(I_Directory* dir, int kind) {
  try {
    return static_cast<ISO_DirStructure*>(dir->GetObjectA(kind));
  } catch (const E_NoSuchObject&) {
    return nullptr;
  }
}

SYSTEMTIME filesystem_structures::DefaultDate() const {
  const BYTE* p = descriptor_->Bytes() + 813;
  bool unset = true;
  for (int i = 0; i < 16; ++i) unset &= p[i] == '0';
  return unset ? SYSTEMTIME{} : descriptor_->GetVolumeCreationDT();
}

bool filesystem_structures::InTree(ISO_DirStructure* s) const {
  for (; s && !s->IsRoot(); s = s->GetParent()) {
    if (!format_->TakesFile(s->GetDirectoryFile())) return false;
  }
  return s != nullptr;
}

std::vector<ISO_DirStructure*> filesystem_structures::PathTableOrder() {
  std::vector<ISO_DirStructure*> order;
  if (!root_) return order;
  root_->SetNumber(1);
  order.push_back(root_);
  const bool joliet = format_->GetFormatFlag() == 2;
  for (auto& [depth, list] : levels_) {
    if (depth == 0) continue;
    std::vector<ISO_DirStructure*> level;
    for (ISO_DirStructure* s : list) {
      if (InTree(s)) level.push_back(s);
    }
    std::sort(level.begin(), level.end(), [joliet](ISO_DirStructure* a, ISO_DirStructure* b) {
      if (a->GetParent()->GetNumber() != b->GetParent()->GetNumber())
        return a->GetParent()->GetNumber() < b->GetParent()->GetNumber();
      if (joliet) return a->GetDirectoryFile()->GetJolietName() < b->GetDirectoryFile()->GetJolietName();
      return std::string(a->GetDirectoryFile()->GetISOName()) < b->GetDirectoryFile()->GetISOName();
    });
    for (ISO_DirStructure* s : level) {
      s->SetNumber(static_cast<WORD>(order.size() + 1));
      order.push_back(s);
    }
  }
  return order;
}

DWORD filesystem_structures::dir_struct_sectors() {
  DWORD sum = 0;
  for (auto& [depth, list] : levels_) {
    for (ISO_DirStructure* s : list) sum += s->GetSectors();
  }
  return sum;
}

DWORD filesystem_structures::ptable_size() {
  DWORD size = 10;
  for (ISO_DirStructure* s : PathTableOrder()) {
    if (s->IsRoot()) continue;
    size += static_cast<DWORD>(format_->PTable_GetSize(s->GetName().c_str(), s->GetDirectoryFile()));
  }
  return size;
}

void filesystem_structures::gen_path_table(BYTE* buffer, bool bigEndian) {
  BYTE* p = buffer;
  for (ISO_DirStructure* s : PathTableOrder()) {
    int size;
    if (s->IsRoot()) {
      size = format_->PTable_InitRoot(p);
    } else {
      size = format_->PTable_SetName(p, s->GetName().c_str(), s->GetDirectoryFile());
    }
    const WORD parent = s->GetParent()->GetNumber();
    if (bigEndian) {
      rec::PutBE32(p + 2, s->GetLocation());
      rec::PutBE16(p + 6, parent);
    } else {
      rec::PutLE32(p + 2, s->GetLocation());
      rec::PutLE16(p + 6, parent);
    }
    p += size;
  }
}

void filesystem_structures::gen_path_table_L(BYTE* buffer) { gen_path_table(buffer, false); }
void filesystem_structures::gen_path_table_M(BYTE* buffer) { gen_path_table(buffer, true); }

}  // namespace isofs
