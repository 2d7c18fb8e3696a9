#include "encoder/tests/StreamChecker.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "encoder/mux/AudioInputQueue.h"

namespace vidlathe::testing {
namespace {

constexpr size_t kPack = 2324;

int64_t ReadTimeStamp(const uint8_t* p, bool* markersOk) {
  *markersOk = (p[0] & 1) && (p[2] & 1) && (p[4] & 1);
  return (int64_t{(p[0] >> 1) & 7} << 30) | (int64_t{p[1]} << 22) | (int64_t{p[2] >> 1} << 15) |
         (int64_t{p[3]} << 7) | (p[4] >> 1);
}

struct Fill {
  int64_t scr;
  uint64_t endOffset;  // the stream's byte count after this pack
};

struct Unit {
  int64_t time;
  uint64_t start, end;
};

// Runs one stream's buffer through fills and removals.
void RunBufferModel(const std::string& name, const std::vector<Fill>& fills,
                    const std::vector<Unit>& units, int bound, std::vector<std::string>* errors) {
  // Arrival: everything filled by packs with SCR <= time.
  size_t f = 0;
  uint64_t arrived = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    while (f < fills.size() && fills[f].scr <= units[i].time) arrived = fills[f++].endOffset;
    if (arrived < units[i].end)
      errors->push_back(name + " unit " + std::to_string(i) + " not complete at its decoding time " +
                        std::to_string(units[i].time));
    if (i > 0 && units[i].time < units[i - 1].time)
      errors->push_back(name + " unit " + std::to_string(i) + " decoded before its predecessor");
  }
  // Occupancy after each fill, with every unit due by then removed.
  size_t u = 0;
  uint64_t removed = 0;
  for (const Fill& fl : fills) {
    while (u < units.size() && units[u].time <= fl.scr) removed = units[u++].end;
    if (bound > 0 && fl.endOffset - removed > static_cast<uint64_t>(bound)) {
      errors->push_back(name + " buffer holds " + std::to_string(fl.endOffset - removed) +
                        " bytes at SCR " + std::to_string(fl.scr) + ", more than " + std::to_string(bound));
      break;
    }
  }
}

}  // namespace

std::string CheckedStream::Report() const {
  std::string s;
  for (size_t i = 0; i < errors.size() && i < 10; ++i) s += errors[i] + "\n";
  return s;
}

CheckedStream CheckSystemStreamFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CheckedStream r = CheckSystemStream(d);
  if (d.empty()) r.errors.push_back("cannot read " + path);
  return r;
}

CheckedStream CheckSystemStream(const std::vector<uint8_t>& d) {
  CheckedStream r;
  auto err = [&](size_t pack, const std::string& what) {
    r.errors.push_back("pack " + std::to_string(pack) + ": " + what);
  };
  if (d.size() % kPack != 0) r.errors.push_back("size is not a whole number of packs");
  r.packs = d.size() / kPack;

  std::map<int, std::vector<Fill>> fills;
  std::map<int, std::vector<Unit>> units;
  std::map<int, uint64_t> bytes;
  std::map<int, int> stdBound;
  struct AudioStamp {
    uint64_t packetStart, packetEnd;
    int64_t pts;
  };
  std::vector<AudioStamp> audioStamps;
  int64_t lastScr = -1;

  for (size_t k = 0; k < r.packs; ++k) {
    const uint8_t* p = d.data() + k * kPack;
    if (p[0] || p[1] || p[2] != 1 || p[3] != 0xBA || (p[4] & 0xF0) != 0x20) {
      err(k, "no pack header");
      continue;
    }
    bool mk;
    const int64_t scr = ReadTimeStamp(p + 4, &mk);
    const uint32_t mux = ((p[9] & 0x7F) << 15) | (p[10] << 7) | (p[11] >> 1);
    if (!mk || !(p[9] & 0x80) || !(p[11] & 1)) err(k, "pack header markers");
    if (mux != 3528) err(k, "mux rate " + std::to_string(mux));
    if (scr <= lastScr) err(k, "SCR does not increase");
    lastScr = scr;
    size_t pos = 12;
    bool audioPack = false;
    while (pos < kPack) {
      const uint8_t* q = p + pos;
      if (pos + 4 > kPack || q[0] || q[1] || q[2] != 1) {
        // Only the 20 zero bytes that close an audio pack may stand here.
        bool zeros = true;
        for (size_t i = pos; i < kPack; ++i) zeros = zeros && p[i] == 0;
        if (!(audioPack && zeros && kPack - pos == 20)) err(k, "no start code at byte " + std::to_string(pos));
        break;
      }
      const int id = q[3];
      if (id == 0xB9) {
        r.endCode = true;
        if (k + 1 != r.packs || pos + 4 != kPack) err(k, "end code before the end of the stream");
        pos += 4;
        continue;
      }
      if (pos + 6 > kPack) {
        err(k, "packet header cut");
        break;
      }
      const size_t len = (q[4] << 8) | q[5];
      if (pos + 6 + len > kPack) {
        err(k, "packet runs past the pack");
        break;
      }
      if (id == 0xBB) {
        for (size_t i = 12; i + 3 <= 6 + len; i += 3) {
          const int sid = q[i];
          const int scale = (q[i + 1] >> 5) & 1;
          const int size = ((q[i + 1] & 0x1F) << 8) | q[i + 2];
          r.bufferBytes[sid] = size * (scale ? 1024 : 128);
          if (sid == 0xC0) audioPack = true;
        }
      } else if (id == 0xBE) {
        // padding
      } else if ((id >= 0xE0 && id <= 0xEF) || (id >= 0xC0 && id <= 0xDF)) {
        size_t h = 6, stuffing = 0;
        while (h < 6 + len && q[h] == 0xFF) ++h, ++stuffing;
        if (stuffing > 16) err(k, "more than 16 stuffing bytes");
        if ((q[h] & 0xC0) == 0x40) {
          const int scale = (q[h] >> 5) & 1;
          stdBound[id] = (((q[h] & 0x1F) << 8) | q[h + 1]) * (scale ? 1024 : 128);
          h += 2;
        }
        int64_t pts = -1, dts = -1;
        if ((q[h] & 0xF0) == 0x20) {
          pts = ReadTimeStamp(q + h, &mk);
          h += 5;
        } else if ((q[h] & 0xF0) == 0x30) {
          pts = ReadTimeStamp(q + h, &mk);
          dts = ReadTimeStamp(q + h + 5, &mk);
          if ((q[h + 5] & 0xF0) != 0x10) err(k, "DTS prefix");
          h += 10;
        } else if (q[h] == 0x0F) {
          h += 1;
        } else {
          err(k, "bad packet header byte");
        }
        if (h > 6 + len) {
          err(k, "packet header longer than the packet");
          break;
        }
        const uint8_t* payload = q + h;
        const size_t n = 6 + len - h;
        const uint64_t start = bytes[id];
        if (id >= 0xE0) {
          auto& pics = r.pictures[id];
          if (pts >= 0) {
            if (dts < 0) dts = pts;
            if (pts < dts) err(k, "PTS before DTS");
            pics.push_back({pts, dts, {}});
            if (!units[id].empty()) units[id].back().end = start;
            units[id].push_back({dts, start, start});
          } else if (pics.empty()) {
            err(k, "video data before the first time stamp");
            pics.push_back({});
          }
          pics.back().data.insert(pics.back().data.end(), payload, payload + n);
        } else {
          audioPack = true;
          if (pts >= 0) audioStamps.push_back({start, start + n, pts});
          r.audio.insert(r.audio.end(), payload, payload + n);
        }
        bytes[id] = start + n;
        fills[id].push_back({scr, bytes[id]});
      } else {
        err(k, "unexpected start code " + std::to_string(id));
      }
      pos += 6 + len;
    }
  }
  for (auto& [id, u] : units)
    if (!u.empty()) u.back().end = bytes[id];

  // Audio frames: one after another from the start; a packet's time stamp
  // belongs to the first frame that starts in it.
  std::vector<Unit> audioUnits;
  {
    size_t stamp = 0;
    int64_t lastPts = -1;
    double ticksPerFrame = 0;
    int sinceStamp = 0;
    for (size_t off = 0; off + 4 <= r.audio.size();) {
      MpegAudioHeader h;
      if (!ParseAudioHeader(r.audio.data() + off, &h)) {
        r.errors.push_back("audio: no frame header at byte " + std::to_string(off));
        break;
      }
      const size_t len = static_cast<size_t>(h.FrameLength());
      ticksPerFrame = h.SamplesPerFrame() * 90000.0 / h.SamplingRate();
      while (stamp < audioStamps.size() && audioStamps[stamp].packetEnd <= off) ++stamp;
      int64_t pts;
      if (stamp < audioStamps.size() && audioStamps[stamp].packetStart <= off) {
        pts = audioStamps[stamp].pts;
        lastPts = pts;
        sinceStamp = 0;
        ++stamp;
      } else {
        pts = lastPts + static_cast<int64_t>(++sinceStamp * ticksPerFrame);
      }
      if (off + len > r.audio.size()) {
        r.errors.push_back("audio: last frame cut");
        break;
      }
      r.audioFramePts.push_back(pts);
      audioUnits.push_back({pts, off, off + len});
      off += len;
    }
  }

  for (auto& [id, f] : fills) {
    int bound = stdBound.count(id) ? stdBound[id] : 0;
    if (r.bufferBytes.count(id) && r.bufferBytes[id] != bound)
      r.errors.push_back("STD buffer size of stream " + std::to_string(id) + " differs from the system header");
    if (!r.bufferBytes.count(id)) r.errors.push_back("stream " + std::to_string(id) + " not in any system header");
    char name[16];
    std::snprintf(name, sizeof name, "stream %X", id);
    RunBufferModel(name, f, id >= 0xE0 ? units[id] : audioUnits, bound, &r.errors);
  }
  if (!r.endCode) r.errors.push_back("no end code");
  return r;
}

}  // namespace vidlathe::testing
