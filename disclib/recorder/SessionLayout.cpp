#include "disclib/recorder/SessionLayout.h"

#include <cstring>

namespace discpak {

SessionLayout::SessionLayout(const std::vector<Track>& tracks, LONG format, LONG leaveOpen)
    : format_(format), leaveOpen_(leaveOpen) {
  LONG at = -150;
  LONG number = 1;
  for (const Track& t : tracks) {
    const LONG pause = number == 1 ? 150 : t.pause;
    if (pause > 0) entries_.push_back({CDRLAYOUT_INDEX, t.dataType, number, 0, at});
    at += pause;
    entries_.push_back({CDRLAYOUT_INDEX, t.dataType, number, 1, at});
    LONG index = 2;
    for (LONG offset : t.indexes) entries_.push_back({CDRLAYOUT_INDEX, t.dataType, number, index++, at + offset});
    at += t.length;
    ++number;
  }
  entries_.push_back({CDRLAYOUT_LEADOUT, 0, 0xAA, 1, at});
}

const CDRLayoutEntry* SessionLayout::GetEntry(LONG index) {
  return index >= 0 && index < static_cast<LONG>(entries_.size()) ? &entries_[index] : nullptr;
}

void SessionLayout::GetCDText(BYTE* record) {
  std::memset(record, 0, 8196);
  if (cdText_.size() == 8196) std::memcpy(record, cdText_.data(), 8196);
}

LONG SessionLayout::TrackStart(int track) const {
  for (const auto& e : entries_) {
    if (e.kind == CDRLAYOUT_INDEX && e.track == track && e.index == 1) return e.start;
  }
  return -1;
}

}  // namespace discpak
