// Handing out the session's file-system sectors.
#include <algorithm>

#include "disclib/isofs/Manager_p.h"

namespace isofs {

DWORD ISO9660_FilesystemManager::sector::GetData(BYTE** dest, DWORD* remaining, DWORD offset) {
  if (offset >= buf_.size()) return 0;
  const DWORD n = std::min<DWORD>(*remaining, static_cast<DWORD>(buf_.size()) - offset);
  std::memcpy(*dest, buf_.data() + offset, n);
  *dest += n;
  *remaining -= n;
  return n;
}

void ISO9660_FilesystemManager::GetData(BYTE* buffer, DWORD first, DWORD count) {
  ISOFS_TRACE("ISO9660_FilesystemManager::GetData") << first << ", " << count << endl;
  // Sectors no chunk covers keep what the caller's buffer holds.
  const unsigned long long end = static_cast<unsigned long long>(first) + count;
  for (const chunk& group : groups_) {
    if (group.last < first) continue;
    if (group.first >= end) break;
    for (I_Chunk* c : group.chunks) {
      const unsigned long long cFirst = c->GetLocation();
      const unsigned long long cEnd = cFirst + c->GetSectors();
      const unsigned long long from = std::max<unsigned long long>(cFirst, first);
      const unsigned long long to = std::min(cEnd, end);
      if (from >= to) continue;
      BYTE* dest = buffer + (from - first) * kSectorSize;
      DWORD remaining = static_cast<DWORD>((to - from) * kSectorSize);
      c->GetData(&dest, &remaining, static_cast<DWORD>((from - cFirst) * kSectorSize));
    }
  }
}

void ISO9660_FilesystemManager::WriteData(DWORD sector, DWORD offset, const BYTE* data, DWORD length) {
  if (sector != 16) {
    ThrowTrel<E_UnsuppRequest>("ISO9660_FilesystemManager::WriteData", "WriteData", 50,
                               "Only PVD can be written (16), the requested address was " +
                                   std::to_string(sector));
  }
  // Checked so that no sum can wrap around.
  if (offset > kSectorSize || length > kSectorSize - offset) {
    ThrowTrel<E_UnsuppRequest>("ISO9660_FilesystemManager::WriteData", "WriteData", 56,
                               "Only PVD can be written to, offset(" + std::to_string(offset) +
                                   ") and buffer length (" + std::to_string(length) +
                                   ") exceed PVD size (" + std::to_string(kSectorSize) + ")");
  }
  if (length && !data) {
    ThrowTrel<E_NullPointer>("ISO9660_FilesystemManager::WriteData", "WriteData", __LINE__, "Null argument");
  }
  if (length) std::memcpy(pvd_.Bytes() + offset, data, length);
}

}  // namespace isofs
