// The manager's set-up, session parameters, volume texts and dates, and the
// placement of every structure in sectors.
#include <algorithm>

#include "disclib/isofs/Include/DM.h"
#include "disclib/isofs/Manager_p.h"

namespace isofs {

ISO9660_FilesystemManager::ISO9660_FilesystemManager(I_Directory* root) {
  iso_set_ = std::make_unique<filesystem_structures>(1, &std_format_, &pvd_);
  joliet_set_ = std::make_unique<filesystem_structures>(2, &joliet_format_, &svd_);
  // A directory deleted after placement takes its extents out of the groups.
  iso_set_->SetOnUnregister([this](ISO_DirStructure* s) { forget_chunk(s); });
  joliet_set_->SetOnUnregister([this](ISO_DirStructure* s) { forget_chunk(s); });
  if (root) {
    root_ = root;
  } else {
    const char name[] = {0x01, 'R', 'o', 'o', 't', 0};
    own_root_ = std::make_unique<Directory>(name, "");
    root_ = own_root_.get();
  }
  cwd_ = root_;
  iso_set_->SetUp(root_);
  joliet_set_->SetUp(root_);
  if (!own_root_) import_tree(root_);
}

ISO9660_FilesystemManager::~ISO9660_FilesystemManager() {
  ISOFS_TRACE("ISO9660_FilesystemManager::~ISO9660_FilesystemManager") << "Entering" << endl;
  groups_.clear();
  // The structures go first: they unhook themselves from the directories.
  iso_set_.reset();
  joliet_set_.reset();
  own_root_.reset();
  ISOFS_TRACE("ISO9660_FilesystemManager::~ISO9660_FilesystemManager") << "Exiting" << endl;
}

void ISO9660_FilesystemManager::import_tree(I_Directory* dir) {
  std::vector<I_File*> items;
  dir->First();
  while (I_File* f = dir->Next()) items.push_back(f);
  for (I_File* f : items) {
    f->Set_FS_Flags(format_);
    if (I_Directory* sub = f->IsDirectory() ? AsDirectory(f) : nullptr) {
      iso_set_->new_subdir(sub);
      joliet_set_->new_subdir(sub);
      import_tree(sub);
    }
  }
}

void ISO9660_FilesystemManager::SetSessionParms(DWORD start, DWORD format) {
  start_ = start;
  format_ = format == 0 ? (FS_ISO9660 | FS_JOLIET) : format;
  // The XA extension lives in an ISO 9660 tree, with short or long names.
  if ((format_ & FS_XA) && !(format_ & (FS_ISO9660 | FS_ISO9660_LONG))) {
    ThrowTrel<E_InvalidParameter>("ISO9660_FilesystemManager::SetSessionParms", "init", 91,
                                  "XA extension requires ISO9660 format");
  }
  if (format_ & FS_XA) {
    pvd_.SetXASignature();
    svd_.SetXASignature();
  }
  // Directory records carry the XA field on an XA session only; records
  // laid out before are laid out again.
  const bool xa = (format_ & FS_XA) != 0;
  if (std_format_.DirectoryXA() != xa) {
    std_format_.SetDirectoryXA(xa);
    joliet_format_.SetDirectoryXA(xa);
    for (filesystem_structures* set : {iso_set_.get(), joliet_set_.get()}) {
      if (!set) continue;
      for (const auto& [depth, level] : set->Levels()) {
        for (ISO_DirStructure* s : level) s->NotifyChange();
      }
    }
  }
}

void ISO9660_FilesystemManager::SetSystemId(const char* t) {
  pvd_.SetSystemIdentifier(t);
  svd_.SetSystemIdentifier(t);
}
void ISO9660_FilesystemManager::SetVolumeId(const char* t) {
  pvd_.SetVolumeIdentifier(t);
  svd_.SetVolumeIdentifier(t);
}
void ISO9660_FilesystemManager::SetVolumeSetId(const char* t) {
  pvd_.SetVolumeSetIdentifier(t);
  svd_.SetVolumeSetIdentifier(t);
}
void ISO9660_FilesystemManager::SetPublisherId(const char* t) {
  pvd_.SetPublisherIdentifier(t);
  svd_.SetPublisherIdentifier(t);
}
void ISO9660_FilesystemManager::SetDataPreparerId(const char* t) {
  pvd_.SetDataPreparerIdentifier(t);
  svd_.SetDataPreparerIdentifier(t);
}
void ISO9660_FilesystemManager::SetApplicationId(const char* t) {
  pvd_.SetApplicationIdentifier(t);
  svd_.SetApplicationIdentifier(t);
}
void ISO9660_FilesystemManager::SetCopyrightFileId(const char* t) {
  pvd_.SetCopyrightFileIdentifier(t);
  svd_.SetCopyrightFileIdentifier(t);
}
void ISO9660_FilesystemManager::SetAbstractFileId(const char* t) {
  pvd_.SetAbstractFileIdentifier(t);
  svd_.SetAbstractFileIdentifier(t);
}
void ISO9660_FilesystemManager::SetBibliographicFileId(const char* t) {
  pvd_.SetBibliographicFileIdentifier(t);
  svd_.SetBibliographicFileIdentifier(t);
}

void ISO9660_FilesystemManager::SetCreationDate(const SYSTEMTIME* t) {
  pvd_.SetVolumeCreationDT(t);
  svd_.SetVolumeCreationDT(t);
}
void ISO9660_FilesystemManager::SetModificationDate(const SYSTEMTIME* t) {
  pvd_.SetVolumeModificationDT(t);
  svd_.SetVolumeModificationDT(t);
}
void ISO9660_FilesystemManager::SetExpirationDate(const SYSTEMTIME* t) {
  pvd_.SetVolumeExpirationDT(t);
  svd_.SetVolumeExpirationDT(t);
}
void ISO9660_FilesystemManager::SetEffectiveDate(const SYSTEMTIME* t) {
  pvd_.SetVolumeEffectiveDT(t);
  svd_.SetVolumeEffectiveDT(t);
}

namespace {
PrimaryVolumeDescriptor& DateSource(bool joliet, PrimaryVolumeDescriptor& pvd, SupplementaryVolumeDescriptor& svd) {
  return joliet ? svd : pvd;
}
}  // namespace

void ISO9660_FilesystemManager::GetCreationDate(SYSTEMTIME* t) {
  if (t) *t = DateSource(JolietOn(), pvd_, svd_).GetVolumeCreationDT();
}
void ISO9660_FilesystemManager::GetModificationDate(SYSTEMTIME* t) {
  if (t) *t = DateSource(JolietOn(), pvd_, svd_).GetVolumeModificationDT();
}
void ISO9660_FilesystemManager::GetExpirationDate(SYSTEMTIME* t) {
  if (t) *t = DateSource(JolietOn(), pvd_, svd_).GetVolumeExpirationDT();
}
void ISO9660_FilesystemManager::GetEffectiveDate(SYSTEMTIME* t) {
  if (t) *t = DateSource(JolietOn(), pvd_, svd_).GetVolumeEffectiveDT();
}

void ISO9660_FilesystemManager::forget_chunk(I_Chunk* c) {
  for (chunk& group : groups_) std::erase(group.chunks, c);
}

void ISO9660_FilesystemManager::note_start(DWORD start, DWORD size) {
  if (start > max_start_addr_) {
    max_start_addr_ = start;
    max_start_size_ = size;
  }
}

void ISO9660_FilesystemManager::Place() {
  ISOFS_TRACE("ISO9660_FilesystemManager::Place") << " Entering.\n";
  groups_.clear();
  const bool joliet = JolietOn();

  // Volume descriptors from sector 16 of the session.
  chunk descriptors;
  DWORD next = start_ + 16;
  descriptors.first = next;
  pvd_.SetLocation(next++, 0);
  descriptors.chunks.push_back(&pvd_);
  if (joliet) {
    svd_.SetLocation(next++, 0);
    descriptors.chunks.push_back(&svd_);
  }
  terminator_.SetLocation(next++, 0);
  descriptors.chunks.push_back(&terminator_);
  descriptors.last = next - 1;
  groups_.push_back(descriptors);

  // Every extent is laid out (and every name resolved) before any address
  // is given out.
  std::vector<filesystem_structures*> sets{iso_set_.get()};
  if (joliet) sets.push_back(joliet_set_.get());
  std::vector<std::vector<ISO_DirStructure*>> orders;
  for (filesystem_structures* set : sets) {
    for (auto& [depth, list] : set->Levels()) {
      for (ISO_DirStructure* s : list) s->build();
    }
    orders.push_back(set->PathTableOrder());
  }

  chunk structures;
  next = start_ + structure_offset_;
  structures.first = next;
  auto reserve = [&](std::unique_ptr<sector>& table, filesystem_structures* set, PrimaryVolumeDescriptor& vd,
                     bool typeM) {
    const DWORD bytes = set->ptable_size();
    table = std::make_unique<sector>((bytes + kSectorSize - 1) / kSectorSize);
    table->SetLocation(next, 0);
    structures.chunks.push_back(table.get());
    vd.SetPathTableSize(bytes);
    if (typeM) {
      vd.SetM_PathTableLocation(next);
    } else {
      vd.SetL_PathTableLocation(next);
    }
    next += table->GetSectors();
  };
  reserve(iso_l_, iso_set_.get(), pvd_, false);
  reserve(iso_m_, iso_set_.get(), pvd_, true);
  if (joliet) {
    reserve(joliet_l_, joliet_set_.get(), svd_, false);
    reserve(joliet_m_, joliet_set_.get(), svd_, true);
  }

  DWORD fileBase = next;
  for (const auto& order : orders) {
    for (ISO_DirStructure* s : order) fileBase += s->GetSectors();
  }
  // Extents in path-table order, the ISO 9660 tree first.
  for (const auto& order : orders) {
    for (ISO_DirStructure* s : order) {
      structures.chunks.push_back(s);
      s->SetLocation(next, fileBase);
      next += s->GetSectors();
    }
  }
  structures.last = next - 1;
  structures_end_ = next;
  groups_.push_back(structures);

  iso_set_->gen_path_table_L(iso_l_->Bytes());
  iso_set_->gen_path_table_M(iso_m_->Bytes());
  if (joliet) {
    joliet_set_->gen_path_table_L(joliet_l_->Bytes());
    joliet_set_->gen_path_table_M(joliet_m_->Bytes());
  }
  set_volume_space_size();
}

void ISO9660_FilesystemManager::set_volume_space_size() {
  // The furthest end of anything placed: the structures or any file extent
  // recorded in either tree.
  DWORD end = structures_end_;
  for (const chunk& group : groups_) end = std::max(end, group.last + 1);
  for (filesystem_structures* set : {iso_set_.get(), joliet_set_.get()}) {
    if (set == joliet_set_.get() && !JolietOn()) continue;
    for (auto& [depth, list] : set->Levels()) {
      for (ISO_DirStructure* s : list) {
        if (set->InTree(s)) end = std::max(end, s->MaxFileEnd());
      }
    }
  }
  ISOFS_TRACE("ISO9660_FilesystemManager::Place") << "max_start_addr: " << max_start_addr_
                                                  << " and the file size: " << max_start_size_ << endl;
  pvd_.SetVolumeSpaceSize(end - start_);
  svd_.SetVolumeSpaceSize(end - start_);
}

void ISO9660_FilesystemManager::UpdateISO_Entries(DWORD delta) {
  for (filesystem_structures* set : {iso_set_.get(), joliet_set_.get()}) {
    if (set == joliet_set_.get() && !JolietOn()) continue;
    for (auto& [depth, list] : set->Levels()) {
      for (ISO_DirStructure* s : list) s->UpdateISO_Entries(delta);
    }
  }
  if (!groups_.empty()) set_volume_space_size();
}

void ISO9660_FilesystemManager::StartGroups() {
  Place();
  group_cursor_ = 0;
}

bool ISO9660_FilesystemManager::NextGroup(DWORD* first, DWORD* last) {
  if (group_cursor_ >= groups_.size()) return false;
  if (first) *first = groups_[group_cursor_].first;
  if (last) *last = groups_[group_cursor_].last;
  ++group_cursor_;
  return true;
}

void ISO9660_FilesystemManager::DumpRoot() {
  if (iso_set_->Root()) iso_set_->Root()->Dump();
}

I_CD_SessionMaster* CreateDM(I_Directory* root) {
  try {
    // The caller owns the session master and deletes it through the
    // interface's virtual destructor.
    return std::make_unique<DM>(root).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace isofs
