#include "encoder/mux/AudioInputQueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "encoder/Vidlathe.h"

namespace vidlathe {
namespace {

// Bit rates in kbit/s by ID (1: MPEG-1, 0: lower sampling frequencies),
// layer (I, II, III) and index (ISO/IEC 11172-3 and its extension).
const int kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}};
const int kSamplingRates[2][4] = {{22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

int LayerNumber(int layerCode) { return 4 - layerCode; }  // code 3 -> I, 2 -> II, 1 -> III

}  // namespace

int MpegAudioHeader::BitRate() const {
  if (layerCode < 1 || layerCode > 3 || bitRateIndex < 0 || bitRateIndex > 15) return 0;
  return 1000 * kBitRates[id][LayerNumber(layerCode) - 1][bitRateIndex];
}

int MpegAudioHeader::SamplingRate() const {
  return samplingIndex >= 0 && samplingIndex < 4 ? kSamplingRates[id][samplingIndex] : 0;
}

int MpegAudioHeader::SamplesPerFrame() const {
  const int layer = LayerNumber(layerCode);
  if (layer == 1) return 384;
  if (layer == 3 && id == 0) return 576;
  return 1152;
}

int MpegAudioHeader::FrameLength() const {
  const int br = BitRate(), fs = SamplingRate();
  if (br == 0 || fs == 0) return 0;
  if (LayerNumber(layerCode) == 1) return (12 * br / fs + padding) * 4;
  return SamplesPerFrame() / 8 * br / fs + padding;
}

bool ParseAudioHeader(const uint8_t* p, MpegAudioHeader* h) {
  if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
  h->id = (p[1] >> 3) & 1;
  h->layerCode = (p[1] >> 1) & 3;
  h->protection = p[1] & 1;
  h->bitRateIndex = p[2] >> 4;
  h->samplingIndex = (p[2] >> 2) & 3;
  h->padding = (p[2] >> 1) & 1;
  h->privateBit = p[2] & 1;
  return h->layerCode != 0 && h->bitRateIndex != 0 && h->bitRateIndex != 15 &&
         h->samplingIndex != 3;
}

AudioInputQueue::AudioInputQueue() : buffers_(kMaxBuffers) {}
AudioInputQueue::~AudioInputQueue() { buffers_.Abort(); }

bool AudioInputQueue::AddBuffer(std::vector<uint8_t> data, bool endOfFile) {
  return buffers_.Push(Buffer{std::move(data), endOfFile});
}

void AudioInputQueue::Finish() { buffers_.Close(); }
void AudioInputQueue::Abort() { buffers_.Abort(); }

size_t AudioInputQueue::Fill(size_t n) {
  while (pending_.size() - pos_ < n && !inputEnded_) {
    auto b = buffers_.Pop();
    if (!b) {
      inputEnded_ = true;
      break;
    }
    if (pos_ > 65536) {  // drop what has been consumed
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos_));
      for (auto& e : fileEnds_) e -= pos_;
      pos_ = 0;
    }
    pending_.insert(pending_.end(), b->data.begin(), b->data.end());
    if (b->endOfFile) fileEnds_.push_back(pending_.size());
  }
  return pending_.size() - pos_;
}

size_t AudioInputQueue::TakeFrame(uint8_t* dst, size_t capacity, int64_t* number) {
  *number = -1;
  for (;;) {
    // Passes over the input that ended before the read position are done
    // with; a pass that gave no frame at all ends the audio (a looping
    // reader over a file without frames would never stop otherwise).
    while (!fileEnds_.empty() && fileEnds_.front() <= pos_) {
      fileEnds_.erase(fileEnds_.begin());
      if (framesThisPass_ == 0) return 0;
      framesThisPass_ = 0;
    }
    if (Fill(4) < 4) {
      pos_ = pending_.size();
      return 0;
    }
    MpegAudioHeader h;
    const uint8_t* p = pending_.data() + pos_;
    const bool usable = ParseAudioHeader(p, &h) &&
                        (!haveFirst_ || (h.id == first_.id && h.layerCode == first_.layerCode &&
                                         h.samplingIndex == first_.samplingIndex));
    if (!usable) {
      ++pos_;  // resynchronise byte by byte
      continue;
    }
    const size_t len = static_cast<size_t>(h.FrameLength());
    const size_t avail = Fill(len);
    // A frame cut by the end of an input pass or of the input is never
    // delivered; the search goes on behind the cut.
    size_t cut = pending_.size();
    for (size_t e : fileEnds_)
      if (e > pos_) {
        cut = e;
        break;
      }
    if (avail < len || pos_ + len > cut) {
      pos_ = std::min(cut, pending_.size());
      continue;
    }
    if (len > capacity) return 0;
    std::memcpy(dst, pending_.data() + pos_, len);
    pos_ += len;
    if (!haveFirst_) {
      first_ = h;
      haveFirst_ = true;
    }
    ++framesThisPass_;
    *number = ++frameCounter_;
    return len;
  }
}

size_t AudioInputQueue::TakePacket(uint8_t* dst, int64_t* firstFrame,
                                   std::vector<FrameInfo>* frames) {
  *firstFrame = -1;
  if (frames) frames->clear();
  uint8_t frame[4096];
  while (assembly_.size() < kPacketPayload) {
    int64_t n;
    const size_t len = TakeFrame(frame, sizeof frame, &n);
    if (len == 0) break;
    if (*firstFrame < 0) *firstFrame = n;
    if (frames) frames->push_back({n, delivered_, static_cast<uint32_t>(len)});
    delivered_ += len;
    assembly_.insert(assembly_.end(), frame, frame + len);
  }
  const size_t out = std::min(assembly_.size(), kPacketPayload);
  std::memcpy(dst, assembly_.data(), out);
  assembly_.erase(assembly_.begin(), assembly_.begin() + static_cast<std::ptrdiff_t>(out));
  if (*firstFrame < 0 && out > 0) *firstFrame = frameCounter_ + 1;
  return out;
}

void RunAudioFileReader(const std::string& path, bool loop, AudioInputQueue* queue) {
  for (;;) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) break;
    size_t total = 0;
    bool open = true;
    for (;;) {
      std::vector<uint8_t> chunk(4096);
      const size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
      chunk.resize(n);
      total += n;
      const bool atEnd = n < 4096;
      if (!queue->AddBuffer(std::move(chunk), atEnd)) {
        open = false;
        break;
      }
      if (atEnd) break;
    }
    std::fclose(f);
    if (!open || !loop || total == 0) break;
  }
  queue->Finish();
}

}  // namespace vidlathe

extern "C" void Get_MP2_Prop(const char* path, StreamProperties* props) {
  using namespace vidlathe;
  if (!props) return;
  std::memset(props, 0, sizeof *props);
  if (!path) return;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return;
  std::vector<uint8_t> head(20480);
  head.resize(std::fread(head.data(), 1, head.size(), f));
  std::fclose(f);
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
  if (at + 32 > totalBits) return;
  const uint32_t word = bitsAt(at, 32);
  const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                            static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
  MpegAudioHeader h;
  if (!ParseAudioHeader(bytes, &h)) return;
  const size_t next = at + 8 * static_cast<size_t>(h.FrameLength());
  if (h.FrameLength() <= 0 || next + 12 > totalBits || bitsAt(next, 12) != 0xFFF) return;
  props->audioValid = 1;
  props->audioId = h.id;
  props->audioLayerCode = h.layerCode;
  props->audioSamplingIndex = h.samplingIndex;
  props->audioBitRateIndex = h.bitRateIndex;
  props->audioLayer2At44k = h.id == 1 && h.layerCode == 2 && h.samplingIndex == 0;
  props->audio224k = props->audioLayer2At44k && h.bitRateIndex == 11;
}
