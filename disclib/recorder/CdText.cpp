#include "disclib/recorder/CdText.h"

#include <algorithm>
#include <cstring>

void SetCdTextPackCrc(BYTE pack[18]) {
  WORD crc = 0;
  for (int i = 0; i < 16; ++i) {
    crc ^= static_cast<WORD>(pack[i] << 8);
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? static_cast<WORD>((crc << 1) ^ 0x1021) : static_cast<WORD>(crc << 1);
  }
  crc = static_cast<WORD>(~crc);
  pack[16] = static_cast<BYTE>(crc >> 8);
  pack[17] = static_cast<BYTE>(crc);
}

namespace {

// The packs of one text type: the strings of tracks 0, first..last one after
// the other, each ended by a zero, cut into 12-byte pieces.
void AddTextPacks(std::vector<BYTE>* packs, int type, const std::vector<std::string>& texts, int firstTrack,
                  int lastTrack, int* sequence, int* typeCount) {
  struct Char {
    BYTE c;
    int track;
    int position;
  };
  std::vector<Char> stream;
  bool any = false;
  for (int t = 0; t <= lastTrack; ++t) {
    if (t != 0 && t < firstTrack) continue;
    const std::string s = t < static_cast<int>(texts.size()) ? texts[t] : std::string();
    any = any || !s.empty();
    int position = 0;
    for (char c : s) stream.push_back({static_cast<BYTE>(c), t, position++});
    stream.push_back({0, t, position});
  }
  if (!any) return;
  for (std::size_t at = 0; at < stream.size(); at += 12) {
    BYTE pack[18] = {};
    pack[0] = static_cast<BYTE>(type);
    pack[1] = static_cast<BYTE>(stream[at].track);
    pack[2] = static_cast<BYTE>((*sequence)++);
    pack[3] = static_cast<BYTE>(std::min(stream[at].position, 15));
    for (std::size_t k = 0; k < 12 && at + k < stream.size(); ++k) pack[4 + k] = stream[at + k].c;
    SetCdTextPackCrc(pack);
    packs->insert(packs->end(), pack, pack + 18);
    ++*typeCount;
  }
}

}  // namespace

std::vector<BYTE> BuildCdTextRecord(const std::vector<std::string>& titles, const std::vector<std::string>& performers,
                                    int firstTrack, int lastTrack) {
  std::vector<BYTE> packs;
  int sequence = 0;
  int counts[16] = {};
  AddTextPacks(&packs, 0x80, titles, firstTrack, lastTrack, &sequence, &counts[0]);
  AddTextPacks(&packs, 0x81, performers, firstTrack, lastTrack, &sequence, &counts[1]);
  counts[15] = 3;
  // Size information: character code, first and last track, copyright, the
  // pack count of each type, the last sequence number of each block, and the
  // language of each block.
  BYTE info[36] = {};
  info[0] = 0x00;
  info[1] = static_cast<BYTE>(firstTrack);
  info[2] = static_cast<BYTE>(lastTrack);
  for (int i = 0; i < 16; ++i) info[4 + i] = static_cast<BYTE>(counts[i]);
  info[20] = static_cast<BYTE>(sequence + 2);
  info[28] = 0x09;  // English
  for (int k = 0; k < 3; ++k) {
    BYTE pack[18] = {};
    pack[0] = 0x8F;
    pack[1] = static_cast<BYTE>(k);
    pack[2] = static_cast<BYTE>(sequence++);
    std::memcpy(pack + 4, info + 12 * k, 12);
    SetCdTextPackCrc(pack);
    packs.insert(packs.end(), pack, pack + 18);
  }
  if (packs.size() > 8194 || sequence > 255) return {};
  std::vector<BYTE> record(8196, 0);
  const WORD length = static_cast<WORD>(packs.size() + 2);
  std::memcpy(record.data(), &length, 2);
  std::memcpy(record.data() + 4, packs.data(), packs.size());
  return record;
}
