#include "disclib/vcd/InfoVcd.h"

#include <algorithm>
#include <cstring>

#include "disclib/recorder/CdrUtil.h"

namespace vexa::vcd {

namespace {
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v >> 16);
  Put16(p + 2, v & 0xFFFF);
}
}  // namespace

SectorData VCD11InfoVCD::InfoSector() const {
  SectorData s{};
  std::memcpy(s.data(), "VIDEO_CD", 8);
  s[8] = videoCd20 ? 2 : 1;
  s[9] = videoCd20 ? 0 : 1;
  std::memset(s.data() + 10, ' ', 16);
  std::memcpy(s.data() + 10, albumId.data(), std::min<std::size_t>(albumId.size(), 16));
  Put16(s.data() + 26, 1);
  Put16(s.data() + 28, 1);
  for (std::size_t n = 0; n < palTracks.size() && n < 98; ++n) {
    if (palTracks[n]) s[30 + n / 8] |= static_cast<std::uint8_t>(1u << (n % 8));
  }
  Put32(s.data() + 44, psdSize);
  if (firstSegmentLba >= 0) {
    std::uint8_t msf[3];
    LBAToMSFBCD(firstSegmentLba, msf);
    s[48] = msf[0];
    s[49] = msf[1];
    s[50] = 0;
  }
  s[51] = videoCd20 ? 8 : 0;
  Put16(s.data() + 52, maxListId);
  Put16(s.data() + 54, static_cast<std::uint32_t>(itemContent.size()));
  for (std::size_t n = 0; n < itemContent.size() && n < 1980; ++n) s[56 + n] = itemContent[n];
  return s;
}

SectorData VCD11InfoVCD::EntriesSector() const {
  SectorData s{};
  std::memcpy(s.data(), "ENTRYVCD", 8);
  s[8] = videoCd20 ? 2 : 1;
  s[9] = videoCd20 ? 0 : 1;
  const std::size_t count = std::min<std::size_t>(entries.size(), 500);
  Put16(s.data() + 10, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* e = s.data() + 12 + 4 * i;
    e[0] = BinToBCD(entries[i].trackNumber);
    LBAToMSFBCD(entries[i].lba, e + 1);
  }
  return s;
}

}  // namespace vexa::vcd
