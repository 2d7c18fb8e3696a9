#include "encoder/reader/StreamProperties.h"

#include <cstring>
#include <vector>

#include "encoder/common/AudioHeader.h"
#include "encoder/common/Failure.h"
#include "encoder/common/InputFile.h"
#include "encoder/VidlatheStreams.h"

namespace vidlathe {

namespace {
constexpr int kPacketsToRead = 5;
constexpr size_t kElementaryVideoProbe = 81920;
constexpr size_t kAudioProbe = 20480;

bool IsVideoId(int id) { return id >= 0xE0 && id <= 0xEF; }
bool IsAudioId(int id) { return id >= 0xC0 && id <= 0xDF; }
}  // namespace

bool ReadSystemHeader(SystemStreamReader& r, int* videoId, int* audioId, int* kind) {
  const int length = r.Read16();
  if (length < 6 || !r.Skip(6)) return false;
  for (int i = 0; i < (length - 6) / 3; ++i) {
    const int id = r.ReadByte();
    if (id < 0 || !r.Skip(2)) return false;
    if (IsVideoId(id)) {
      *videoId = id;
      if (id == 0xE2) *kind = 3;
      else if (id == 0xE1) { if (*kind != 3) *kind = 2; }
      else if (*kind == 0) *kind = 1;
    } else if (IsAudioId(id)) {
      *audioId = id;
    }
  }
  // Bytes of a header whose length is not 6 + 3n.
  return r.Skip(static_cast<size_t>((length - 6) % 3));
}

bool ParseSequenceHeaderFields(const uint8_t* d, size_t size, StreamProperties* props) {
  for (size_t i = 0; i + 12 <= size; ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1 || d[i + 3] != 0xB3) continue;
    const uint8_t* p = d + i + 4;
    props->horizontalSize = (p[0] << 4) | (p[1] >> 4);
    props->verticalSize = ((p[1] & 0x0F) << 8) | p[2];
    props->pictureRateCode = p[3] & 0x0F;
    props->bitRate = (p[4] << 10) | (p[5] << 2) | (p[6] >> 6);
    // marker (1 bit) and vbv_buffer_size (10 bits) come next.
    props->constrainedParameters = (p[7] >> 2) & 1;
    return true;
  }
  return false;
}

bool ParseAudioFields(const uint8_t* d, size_t size, StreamProperties* props) {
  for (size_t i = 0; i + 4 <= size; ++i) {
    MpegAudioHeader h, next;
    if (!ParseAudioHeader(d + i, &h)) continue;
    const size_t len = static_cast<size_t>(h.FrameLength());
    if (len == 0 || i + len + 4 > size || !ParseAudioHeader(d + i + len, &next)) continue;
    props->audioValid = 1;
    props->audioId = h.id;
    props->audioLayerCode = h.layerCode;
    props->audioSamplingIndex = h.samplingIndex;
    props->audioBitRateIndex = h.bitRateIndex;
    props->audioLayer2At44k = h.id == 1 && h.layerCode == 2 && h.samplingIndex == 0;
    props->audio224k = props->audioLayer2At44k && h.bitRateIndex == 11;
    return true;
  }
  return false;
}

bool ReadMp2Properties(const std::string& path, StreamProperties* props) {
  std::memset(props, 0, sizeof *props);
  InputFile f;
  if (!f.Open(path)) return false;
  std::vector<uint8_t> head(20480);
  head.resize(f.Read(head.data(), head.size()));
  if (f.failed()) return false;
  // The first sync word, wherever it lies (the search goes bit by bit), is
  // the file's first frame header. The file is valid only when that header
  // can be read (no reserved layer, rate or free-format bit rate) and the
  // next sync word starts exactly one frame length after it. A sync word in
  // leading garbage therefore makes the file invalid rather than letting a
  // later, different header stand for it.
  const size_t totalBits = head.size() * 8;
  auto bitsAt = [&](size_t bit, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((head[bit >> 3] >> (7 - (bit & 7))) & 1u);
    return v;
  };
  size_t at = 0;
  while (at + 32 <= totalBits && bitsAt(at, 12) != 0xFFF) ++at;
  if (at + 32 > totalBits) return true;
  const uint32_t word = bitsAt(at, 32);
  const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                            static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
  MpegAudioHeader h;
  if (!ParseAudioHeader(bytes, &h)) return true;
  const size_t next = at + 8 * static_cast<size_t>(h.FrameLength());
  if (h.FrameLength() <= 0 || next + 12 > totalBits || bitsAt(next, 12) != 0xFFF) return true;
  props->audioValid = 1;
  props->audioId = h.id;
  props->audioLayerCode = h.layerCode;
  props->audioSamplingIndex = h.samplingIndex;
  props->audioBitRateIndex = h.bitRateIndex;
  props->audioLayer2At44k = h.id == 1 && h.layerCode == 2 && h.samplingIndex == 0;
  props->audio224k = props->audioLayer2At44k && h.bitRateIndex == 11;
  return true;
}

bool ReadStreamProperties(const std::string& path, StreamProperties* props) {
  std::memset(props, 0, sizeof *props);
  SystemStreamReader r;
  if (!r.Open(path)) return false;
  props->fileSize = static_cast<int64_t>(r.fileSize());
  // The probe reads the first packets only; within them the stream must be
  // whole.
  bool cut = false;

  std::vector<uint8_t> video, audio, payload;
  bool audioListed = false;
  if (r.FindStartCode(0xBA)) {
    props->systemStream = 1;
    int videoId = -1, audioId = -1, kind = 0;
    int videoPackets = 0, audioPackets = 0;
    cut = !r.Skip(8);
    while (!cut) {
      const int code = r.NextStartCode();
      if (code < 0 || code == 0x1B9) break;
      if (code == 0x1BA) {
        if (!r.Skip(8)) cut = true;
        continue;
      }
      if (code == 0x1BB) {
        if (!ReadSystemHeader(r, &videoId, &audioId, &kind)) {
          cut = true;
          break;
        }
        if (videoId >= 0) props->videoPresent = 1;
        if (audioId >= 0) audioListed = true;
        props->videoKind = kind;
        continue;
      }
      if (code < 0x1BC) continue;  // a stray start code inside data
      const int length = r.Read16();
      if (length < 0) {
        cut = true;
        break;
      }
      const int id = code & 0xFF;
      if (id == videoId && videoPackets < kPacketsToRead) {
        int64_t pts;
        if (r.ReadPacketPayload(length, &payload, &pts)) {
          video.insert(video.end(), payload.begin(), payload.end());
          ++videoPackets;
        } else if (r.ended()) {
          cut = true;
        }
      } else if (id == audioId && audioPackets < kPacketsToRead) {
        int64_t pts;
        if (r.ReadPacketPayload(length, &payload, &pts)) {
          audio.insert(audio.end(), payload.begin(), payload.end());
          ++audioPackets;
        } else if (r.ended()) {
          cut = true;
        }
      } else if (!r.Skip(static_cast<size_t>(length))) {
        cut = true;
      }
      if (videoPackets >= kPacketsToRead && (!audioListed || audioPackets >= kPacketsToRead)) break;
    }
  } else {
    r.Rewind();
    if (r.FindStartCode(0xB3)) {
      props->videoPresent = 1;
      props->videoKind = 1;
      r.Rewind();
      video.resize(kElementaryVideoProbe);
      size_t n = 0;
      while (n < video.size()) {
        const int b = r.ReadByte();
        if (b < 0) break;
        video[n++] = static_cast<uint8_t>(b);
      }
      video.resize(n);
    } else {
      r.Rewind();
      audio.resize(kAudioProbe);
      size_t n = 0;
      while (n < audio.size()) {
        const int b = r.ReadByte();
        if (b < 0) break;
        audio[n++] = static_cast<uint8_t>(b);
      }
      audio.resize(n);
    }
  }
  const bool haveVideo = !video.empty() && ParseSequenceHeaderFields(video.data(), video.size(), props);
  if (!audio.empty()) ParseAudioFields(audio.data(), audio.size(), props);
  if (r.readError()) return false;  // the reader has recorded why
  if (cut) return Fail(FileReason(path, "is cut short: it ends inside a pack or packet"));
  if (props->videoPresent && !haveVideo)
    return Fail(FileReason(path, "its video stream has no complete sequence header"));
  if (!haveVideo && !props->audioValid) {
    if (props->systemStream)
      return Fail(FileReason(path, "has a pack header, but no video or MPEG audio stream follows"));
    return Fail(FileReason(path, "is not an MPEG-1 system, video or audio stream"));
  }
  return true;
}

}  // namespace vidlathe

