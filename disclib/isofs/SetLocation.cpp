// Directory structures: one directory's extent in one tree.
#include <algorithm>

#include "disclib/isofs/Manager_p.h"

namespace isofs {

ISO_DirStructure::ISO_DirStructure(I_ISO_Format* format, I_Directory* dir, int depth,
                                   ISO_DirStructure* parent, BYTE* parentEntry,
                                   filesystem_structures* owner)
    : owner_(owner), dir_(dir), file_(AsFile(dir)), parent_(parent ? parent : this),
      fixed_parent_entry_(parentEntry), format_(format), depth_(depth) {
  orb_name_ = "iso_dir" + std::to_string(owner ? owner->kind() : 0);
  ISOFS_TRACE("ISO_DirStructure::init") << "Set parent entry to " << static_cast<const void*>(parentEntry) << endl;
  // Registered first: a directory that already has a structure of this kind
  // refuses the name, and then nothing else may point at this object.
  dir->AddObject(orb_name_, "I_ISO_DirStructure", this, owner ? owner->kind() : 0);
  if (auto* guard = dynamic_cast<I_DirGuard*>(dir)) guard->AddDirListener(this);
  if (owner_) owner_->RegisterDirectory(this, depth_);
}

ISO_DirStructure::~ISO_DirStructure() {
  ISOFS_TRACE("ISO_DirStructure::~ISO_DirStructure") << "Entering, (" << orb_name_ << ")" << endl;
  if (owner_) owner_->UnregisterDirectory(this, depth_);
  // Leave the directory as it was before this structure came: no listener
  // and no registration pointing at a destroyed object.
  if (!dir_) return;
  if (auto* guard = dynamic_cast<I_DirGuard*>(dir_)) guard->RemoveDirListener(this);
  dir_->DeleteObject(orb_name_, "I_ISO_DirStructure");
}

void ISO_DirStructure::NotifyDelete() {
  if (owner_) {
    // The set that owns this structure destroys it; nothing here runs after.
    owner_->Destroy(this);
    return;
  }
  // A structure outside any set belongs to whoever made it: it lets go of
  // the directory that goes away and lays out nothing more.
  if (auto* guard = dynamic_cast<I_DirGuard*>(dir_)) guard->RemoveDirListener(this);
  dir_->DeleteObject(orb_name_, "I_ISO_DirStructure");
  dir_ = nullptr;
  file_ = nullptr;
}

std::string ISO_DirStructure::GetName() const {
  if (!file_) return std::string();
  return format_->GetFormatFlag() == 1 ? file_->GetISOName() : file_->GetName();
}

std::string ISO_DirStructure::GetEntryName(const I_File* file) const {
  return format_->GetFormatFlag() == 1 ? file->GetISOName() : file->GetName();
}

BYTE* ISO_DirStructure::GetISO_Dir(const char* name) {
  for (auto& [offset, entry] : records_) {
    if (std::strcmp(format_->Dir_GetNamePtr(buf_.data() + offset), name) == 0) return buf_.data() + offset;
  }
  return nullptr;
}

BYTE* ISO_DirStructure::RecordFor(const I_File* entry) {
  auto it = dir_records_.find(entry);
  return it == dir_records_.end() ? nullptr : buf_.data() + it->second;
}

BYTE* ISO_DirStructure::GetParentEntry() {
  if (IsRoot()) return fixed_parent_entry_;
  // The record the parent laid out for this directory, whatever identifier
  // it was given there.
  return parent_->RecordFor(file_);
}

std::vector<I_File*> ISO_DirStructure::TakenEntries() {
  std::vector<I_File*> taken;
  dir_->First();
  while (I_File* f = dir_->Next()) {
    if (format_->TakesFile(f)) taken.push_back(f);
  }
  if (format_->GetFormatFlag() == 1) {
    std::sort(taken.begin(), taken.end(), [](const I_File* a, const I_File* b) {
      return isoname::RecordLess(std::string(a->GetISOName()), std::string(b->GetISOName()));
    });
  } else {
    std::sort(taken.begin(), taken.end(), [](const I_File* a, const I_File* b) {
      return isoname::RecordLess(a->GetJolietName(), b->GetJolietName());
    });
  }
  return taken;
}

DWORD ISO_DirStructure::comp_dir_size(const std::vector<I_File*>& entries) {
  DWORD sectors = 1;
  int room = static_cast<int>(kSectorSize) - 2 * format_->Dir_DotSize();
  for (const I_File* f : entries) {
    const int size = format_->Dir_GetSize(GetEntryName(f).c_str(), f);
    if (room < size) {
      ++sectors;
      room = static_cast<int>(kSectorSize) - size;
    } else {
      room -= size;
    }
  }
  sectors_ = sectors;
  return sectors * kSectorSize;
}

void ISO_DirStructure::build() {
  if (!dir_) return;  // its directory is gone
  const std::vector<I_File*> entries = TakenEntries();
  const DWORD size = comp_dir_size(entries);
  buf_.assign(size, 0);
  records_.clear();
  dir_records_.clear();

  const SYSTEMTIME fallback = owner_ ? owner_->DefaultDate() : SYSTEMTIME{};
  auto dateOf = [&](const I_File* f) {
    const SYSTEMTIME* d = f->GetDate();
    return (f->IsDirectory() && rec::IsNoDate(d)) ? &fallback : d;
  };

  // The root's own record in the volume descriptor carries its date too.
  if (IsRoot() && fixed_parent_entry_) format_->Dir_SetDate(fixed_parent_entry_, dateOf(file_));

  BYTE* rec0 = buf_.data();
  format_->Dir_InitThis(rec0);
  format_->Dir_SetDataSize(rec0, size);
  format_->Dir_SetDate(rec0, dateOf(file_));
  records_.emplace_back(0, nullptr);
  BYTE* rec1 = rec0 + rec0[0];
  format_->Dir_InitParent(rec1);
  format_->Dir_SetDataSize(rec1, IsRoot() ? size : parent_->GetSize());
  format_->Dir_SetDate(rec1, dateOf(IsRoot() ? file_ : parent_->GetDirectoryFile()));
  records_.emplace_back(static_cast<std::size_t>(rec1 - rec0), nullptr);

  std::size_t pos = static_cast<std::size_t>(rec1 - rec0) + rec1[0];
  int room = static_cast<int>(kSectorSize - pos);
  for (I_File* f : entries) {
    const std::string name = GetEntryName(f);
    const int rsize = format_->Dir_GetSize(name.c_str(), f);
    if (room < rsize) {
      // A record never crosses a sector boundary; the rest stays zero.
      pos = (pos + kSectorSize - 1) / kSectorSize * kSectorSize;
      room = static_cast<int>(kSectorSize) - rsize;
    } else {
      room -= rsize;
    }
    BYTE* r = buf_.data() + pos;
    format_->Dir_Init(r);
    format_->Dir_SetDate(r, dateOf(f));
    BYTE flags = 0;
    if (f->IsDirectory()) {
      flags = 2;
      dir_records_[f] = pos;
    } else {
      format_->Dir_SetDataSize(r, f->GetDataSize());
    }
    format_->Dir_SetName(r, name.c_str(), flags, f);
    records_.emplace_back(pos, f);
    pos += static_cast<std::size_t>(rsize);
  }
  dirty_ = false;
}

void ISO_DirStructure::SetLocation(DWORD sector, DWORD fileBase) {
  if (dirty_) build();
  ISOFS_TRACE("ISO_DirStructure::SetLocation") << "(" << sector << ", " << fileBase << ") for: " << GetName() << endl;
  location_ = sector;
  if (BYTE* entry = GetParentEntry()) {
    format_->Dir_SetDataLocation(entry, sector);
    format_->Dir_SetDataSize(entry, GetSize());
  } else {
    ISOFS_TRACE("ISO_DirStructure::SetLocation") << "!!!!!!!!!! NULL parent ISO dir entry.\n";
  }
  BYTE* self = buf_.data();
  format_->Dir_SetDataLocation(self, sector);
  format_->Dir_SetDataSize(self, GetSize());
  BYTE* up = buf_.data() + records_[1].first;
  format_->Dir_SetDataLocation(up, IsRoot() ? sector : parent_->GetLocation());
  format_->Dir_SetDataSize(up, IsRoot() ? GetSize() : parent_->GetSize());
  UpdateISO_Entries(fileBase);
}

void ISO_DirStructure::relayout_in_place() {
  build();
  format_->Dir_SetDataLocation(buf_.data(), location_);
  BYTE* up = buf_.data() + records_[1].first;
  format_->Dir_SetDataLocation(up, IsRoot() ? location_ : parent_->GetLocation());
  format_->Dir_SetDataSize(up, IsRoot() ? GetSize() : parent_->GetSize());
  if (!owner_) return;
  for (std::size_t i = 2; i < records_.size(); ++i) {
    I_File* f = records_[i].second;
    ISO_DirStructure* sub = f->IsDirectory() ? filesystem_structures::StructureOf(AsDirectory(f), owner_->kind())
                                             : nullptr;
    if (!sub) continue;
    format_->Dir_SetDataLocation(buf_.data() + records_[i].first, sub->GetLocation());
    format_->Dir_SetDataSize(buf_.data() + records_[i].first, sub->GetSize());
  }
}

void ISO_DirStructure::UpdateISO_Entries(DWORD delta) {
  // The directory changed after its records were laid out (an entry may be
  // gone): lay them out again from what it holds now, in the same place.
  if (dirty_) relayout_in_place();
  max_file_end_ = 0;
  for (std::size_t i = 2; i < records_.size(); ++i) {
    I_File* f = records_[i].second;
    if (!f) {
      ThrowTrel<E_NullPointer>("ISO_DirStructure::UpdateISO_Entries", "SetLocation", __LINE__,
                               "Coudln't get an ISO Directory Entry for the file '");
    }
    if (!f->IsPlainFile()) continue;
    BYTE* r = buf_.data() + records_[i].first;
    const DWORD loc = f->GetLocation() + delta;
    ISO_Dir_SetDataLocation(r, loc);
    ISO_Dir_SetDataSize(r, f->GetDataSize());
    const DWORD end = loc + static_cast<DWORD>((static_cast<unsigned long long>(f->GetDataSize()) + kSectorSize - 1) / kSectorSize);
    max_file_end_ = std::max(max_file_end_, end);
  }
}

void ISO_DirStructure::Dump() {
  build();
  for (auto& [offset, entry] : records_) {
    ISOFS_TRACE("ISO_DirStructure::Dump") << "Looking at " << format_->Dir_GetPrintName(buf_.data() + offset) << endl;
  }
}

DWORD ISO_DirStructure::GetData(BYTE** dest, DWORD* remaining, DWORD offset) {
  if (offset >= buf_.size()) return 0;
  const DWORD n = std::min<DWORD>(*remaining, static_cast<DWORD>(buf_.size()) - offset);
  std::memcpy(*dest, buf_.data() + offset, n);
  *dest += n;
  *remaining -= n;
  return n;
}

}  // namespace isofs
