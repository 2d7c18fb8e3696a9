#include "encoder/reader/UnchangedCopy.h"

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

#include "encoder/reader/StreamProperties.h"
#include "encoder/mux/PackWriter.h"
#include "encoder/reader/StreamReader.h"

namespace vidlathe {

namespace {

constexpr int64_t kAudioFrameTicks = 2351;  // 1152 samples at 44.1 kHz
// Longest pack accepted: a few full-size packets and what lies between them.
constexpr size_t kMaxPack = 1 << 20;

int64_t ReadScr(const uint8_t* p) { return ReadTimeStamp(p); }

// A byte stream with four bytes of look-ahead over the reader.
class Lookahead {
 public:
  explicit Lookahead(SystemStreamReader* r) : r_(r) {}
  // The next four bytes without consuming them; false at the end.
  bool Peek4(uint8_t out[4]) {
    while (n_ < 4) {
      const int b = r_->ReadByte();
      if (b < 0) return false;
      q_[n_++] = static_cast<uint8_t>(b);
    }
    std::copy(q_, q_ + 4, out);
    return true;
  }
  // Moves the last bytes (fewer than four) behind the stream's end to out.
  void Drain(std::vector<uint8_t>* out) {
    uint8_t q[4];
    Peek4(q);
    out->insert(out->end(), q_, q_ + n_);
    n_ = 0;
  }
  bool Read(uint8_t* dst, size_t k) {
    while (k > 0 && n_ > 0) {
      *dst++ = q_[0];
      std::copy(q_ + 1, q_ + n_, q_);
      --n_;
      --k;
    }
    return k == 0 || r_->Read(dst, k);
  }

 private:
  SystemStreamReader* r_;
  uint8_t q_[4] = {};
  int n_ = 0;
};

bool IsStartCode(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// One pack as it lies in the file, with where its time stamps are.
struct Pack {
  std::vector<uint8_t> bytes;
  struct Stamp {
    size_t at;
    int prefix;  // 2 PTS alone, 3 PTS before a DTS, 1 DTS
    int streamId;
  };
  std::vector<Stamp> stamps;
  std::vector<int> streams;  // ids of the packets in the pack
  bool endCode = false;
  size_t endCodeAt = 0;
};

// Reads the pack whose start code is next; false at the end of the stream.
bool ReadPack(Lookahead& in, Pack* pack, bool* malformed) {
  pack->bytes.clear();
  pack->stamps.clear();
  pack->streams.clear();
  pack->endCode = false;
  uint8_t head[4];
  if (!in.Peek4(head) || !IsStartCode(head) || head[3] != 0xBA) return false;
  pack->bytes.resize(12);
  if (!in.Read(pack->bytes.data(), 12) || (pack->bytes[4] & 0xF0) != 0x20) {
    *malformed = true;
    return false;
  }
  for (;;) {
    uint8_t next[4];
    if (!in.Peek4(next)) {
      in.Drain(&pack->bytes);
      return true;
    }
    if (IsStartCode(next) && next[3] == 0xBA) return true;
    if (IsStartCode(next) && next[3] == 0xB9) {
      // The end code and whatever fills the pack behind it.
      pack->endCode = true;
      pack->endCodeAt = pack->bytes.size();
      in.Read(next, 4);
      pack->bytes.insert(pack->bytes.end(), next, next + 4);
      while (in.Peek4(next) && !(IsStartCode(next) && next[3] == 0xBA)) {
        in.Read(next, 1);
        pack->bytes.push_back(next[0]);
        if (pack->bytes.size() > kMaxPack) {
          *malformed = true;
          return false;
        }
      }
      if (!in.Peek4(next)) in.Drain(&pack->bytes);
      // Whatever follows the end code is not part of this stream.
      return true;
    }
    if (IsStartCode(next) && next[3] >= 0xBB) {
      const size_t at = pack->bytes.size();
      pack->bytes.resize(at + 6);
      if (!in.Read(&pack->bytes[at], 6)) {
        *malformed = true;
        return false;
      }
      const size_t length = (pack->bytes[at + 4] << 8) | pack->bytes[at + 5];
      pack->bytes.resize(at + 6 + length);
      if (!in.Read(&pack->bytes[at + 6], length)) {
        *malformed = true;
        return false;
      }
      const int id = next[3];
      pack->streams.push_back(id);
      if (id != 0xBB && id != 0xBE && id != 0xBF) {
        PacketHeader h;
        if (ParsePacketHeader(&pack->bytes[at + 6], length, &h)) {
          if (h.ptsAt >= 0) pack->stamps.push_back({at + 6 + h.ptsAt, h.dtsAt >= 0 ? 3 : 2, id});
          if (h.dtsAt >= 0) pack->stamps.push_back({at + 6 + h.dtsAt, 1, id});
        }
      }
      continue;
    }
    // Bytes between packets (the zero tail of a Video CD audio pack) stay;
    // a pack that runs on without packets is not a pack.
    uint8_t b;
    in.Read(&b, 1);
    pack->bytes.push_back(b);
    if (pack->bytes.size() > kMaxPack) {
      *malformed = true;
      return false;
    }
  }
}

}  // namespace

CopyResult CopyUnchanged(const std::string& path, std::FILE* out, CarriedClocks* clocks,
                         const CopyProgress& progress) {
  // First pass: the earliest clock and time stamp, and the video rate.
  SystemStreamReader r;
  if (!r.Open(path) || !r.FindStartCode(0xBA)) return CopyResult::kReadError;
  int64_t firstScr = std::numeric_limits<int64_t>::max();
  int64_t firstStamp = std::numeric_limits<int64_t>::max();
  int rateCode = 0;
  // Per stream: the decoding time of each stamped packet and the clock of
  // its pack, and the clock of the stream's last pack.
  struct Unit {
    int64_t decode, scr;
  };
  std::map<int, std::vector<Unit>> units;
  std::map<int, int64_t> lastScrOf;
  {
    r.Rewind();
    Lookahead in(&r);
    uint8_t head[4];
    while (in.Peek4(head) && !(IsStartCode(head) && head[3] == 0xBA)) in.Read(head, 1);
    Pack pack;
    bool malformed = false;
    while (ReadPack(in, &pack, &malformed)) {
      const int64_t scr = ReadScr(&pack.bytes[4]);
      firstScr = std::min(firstScr, scr);
      for (const auto& s : pack.stamps) {
        const int64_t t = ReadTimeStamp(&pack.bytes[s.at]);
        firstStamp = std::min(firstStamp, t);
        if (s.prefix != 3) units[s.streamId].push_back({t, scr});
      }
      for (int id : pack.streams) lastScrOf[id] = scr;
      if (rateCode == 0) {
        StreamProperties props{};
        if (ParseSequenceHeaderFields(pack.bytes.data(), pack.bytes.size(), &props))
          rateCode = props.pictureRateCode;
      }
      if (pack.endCode) break;
    }
    if (malformed || r.readError()) return CopyResult::kReadError;
  }
  if (firstScr == std::numeric_limits<int64_t>::max()) return CopyResult::kReadError;
  if (firstStamp == std::numeric_limits<int64_t>::max()) firstStamp = firstScr;
  // The slack of the input's own schedule: how much earlier than its own
  // stamps every unit has wholly arrived. A picture starting in one stamped
  // packet has arrived by the end of the pack that holds the next one; an
  // audio frame (far smaller than a packet) by the end of its own pack.
  int64_t slack = std::numeric_limits<int64_t>::max();
  for (const auto& [id, list] : units) {
    const bool audio = id >= 0xC0 && id <= 0xDF;
    for (size_t k = 0; k < list.size(); ++k) {
      const int64_t endPack = audio ? list[k].scr : k + 1 < list.size() ? list[k + 1].scr : lastScrOf[id];
      slack = std::min(slack, list[k].decode - (endPack + kTicksPerPack));
    }
  }
  slack = std::clamp<int64_t>(slack, 0, 90000);
  // The clock must not go back, nor a stamp lie before the previous
  // stream's end. Stamps move by the clock's offset less at most the slack,
  // so every unit still arrives before it is needed, and the clock moves by
  // no less than the stamps do, so no unit arrives earlier than it did.
  const int64_t clockShift = clocks->systemClock - firstScr;
  const int64_t stampOffset = std::max(clocks->presentation - firstStamp, clockShift - slack);
  const int64_t scrOffset = std::max(clockShift, stampOffset);
  static const int64_t kFrameTicks[9] = {3003, 3754, 3750, 3600, 3003, 3000, 1800, 1502, 1500};
  const int64_t frameTicks = kFrameTicks[rateCode >= 1 && rateCode <= 8 ? rateCode : 0];

  // Second pass: the copy. Only this stream's end code may close the output.
  clocks->endCodeOffset = -1;
  r.Rewind();
  Lookahead in(&r);
  uint8_t head[4];
  while (in.Peek4(head) && !(IsStartCode(head) && head[3] == 0xBA)) in.Read(head, 1);
  Pack pack;
  bool malformed = false;
  int64_t lastScr = clocks->systemClock - kTicksPerPack;
  int64_t presentationEnd = clocks->presentation;
  while (ReadPack(in, &pack, &malformed)) {
    const int64_t scr = ReadScr(&pack.bytes[4]) + scrOffset;
    WriteTimeStamp(&pack.bytes[4], 2, scr);
    lastScr = std::max(lastScr, scr);
    for (const auto& s : pack.stamps) {
      const int64_t t = ReadTimeStamp(&pack.bytes[s.at]) + stampOffset;
      WriteTimeStamp(&pack.bytes[s.at], s.prefix, t);
      // A presentation lasts a picture (video) or at least a frame (audio).
      if (s.prefix != 1) {
        const bool video = s.streamId >= 0xE0 && s.streamId <= 0xEF;
        presentationEnd = std::max(presentationEnd, t + (video ? frameTicks : kAudioFrameTicks));
      }
    }
    if (pack.endCode) {
      // The output goes on: the end code becomes four zero bytes, so the
      // pack keeps its size; the caller puts the last end code back.
      const long at = std::ftell(out);
      if (at >= 0) clocks->endCodeOffset = at + static_cast<long>(pack.endCodeAt);
      std::fill_n(&pack.bytes[pack.endCodeAt], 4, uint8_t{0});
    }
    if (std::fwrite(pack.bytes.data(), 1, pack.bytes.size(), out) != pack.bytes.size())
      return CopyResult::kWriteError;
    if (progress && !progress(r.Position(), r.fileSize())) return CopyResult::kCancelled;
    if (pack.endCode) break;
  }
  if (malformed || r.readError()) return CopyResult::kReadError;
  clocks->systemClock = lastScr + kTicksPerPack;
  clocks->presentation = presentationEnd;
  return CopyResult::kOk;
}

}  // namespace vidlathe
