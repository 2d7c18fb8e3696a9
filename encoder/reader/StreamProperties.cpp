#include "encoder/reader/StreamProperties.h"

#include <cstring>
#include <vector>

#include "encoder/mux/AudioInputQueue.h"
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

}  // namespace vidlathe

extern "C" void Get_Mpeg_Stream_Prop(const char* path, StreamProperties* props) {
  using namespace vidlathe;
  if (!props) return;
  std::memset(props, 0, sizeof *props);
  if (!path) return;
  SystemStreamReader r;
  if (!r.Open(path)) return;
  props->fileSize = static_cast<int64_t>(r.fileSize());

  std::vector<uint8_t> video, audio, payload;
  bool audioListed = false;
  if (r.FindStartCode(0xBA)) {
    props->systemStream = 1;
    int videoId = -1, audioId = -1, kind = 0;
    int videoPackets = 0, audioPackets = 0;
    r.Skip(8);
    for (;;) {
      const int code = r.NextStartCode();
      if (code < 0 || code == 0x1B9) break;
      if (code == 0x1BA) {
        if (!r.Skip(8)) break;
        continue;
      }
      if (code == 0x1BB) {
        if (!ReadSystemHeader(r, &videoId, &audioId, &kind)) break;
        if (videoId >= 0) props->videoPresent = 1;
        if (audioId >= 0) audioListed = true;
        props->videoKind = kind;
        continue;
      }
      if (code < 0x1BC) continue;  // a stray start code inside data
      const int length = r.Read16();
      if (length < 0) break;
      const int id = code & 0xFF;
      if (id == videoId && videoPackets < kPacketsToRead) {
        int64_t pts;
        if (r.ReadPacketPayload(length, &payload, &pts)) {
          video.insert(video.end(), payload.begin(), payload.end());
          ++videoPackets;
        }
      } else if (id == audioId && audioPackets < kPacketsToRead) {
        int64_t pts;
        if (r.ReadPacketPayload(length, &payload, &pts)) {
          audio.insert(audio.end(), payload.begin(), payload.end());
          ++audioPackets;
        }
      } else if (!r.Skip(static_cast<size_t>(length))) {
        break;
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
  if (!video.empty()) ParseSequenceHeaderFields(video.data(), video.size(), props);
  if (!audio.empty()) ParseAudioFields(audio.data(), audio.size(), props);
}
