// The multiplexer of still streams: coded still pictures from the
// CodedStreamBuffer and Layer II frames from the AudioInputQueue become
// 2324-byte packs, 1200 ticks of the 90 kHz clock apart (mux rate 3528).
//
// Time stamps are derived from a model of the decoder's buffers of the sizes
// the system headers declare: a picture is sent only when the buffer has
// room for it, and its decoding time lies after the pack that completes it;
// an audio packet is sent as soon as the audio buffer has room for it.
#include "encoder/mux/Multiplexer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/mux/PackWriter.h"

namespace vidlathe {

namespace {

// Holds back the latest pack so the stream's end code can go into it when
// it turns out to be the last one.
class PackSink {
 public:
  explicit PackSink(std::FILE* f) : file_(f) {}
  int error() const { return error_; }
  void Put(const uint8_t* pack, bool padding) {
    Flush();
    std::memcpy(held_, pack, kPackSize);
    heldPadding_ = padding;
    holding_ = true;
  }
  // Ends the stream with 00 00 01 B9: inside the last pack when it is a
  // padding pack, else in one more pack of its own.
  void Finish(int64_t nextScr) {
    if (holding_ && heldPadding_) {
      WriteEndCode(held_);
      Flush();
      return;
    }
    Flush();
    uint8_t pack[kPackSize];
    WritePackHeader(pack, nextScr);
    WriteEndCode(pack);
    Write(pack);
  }
  bool failed() const { return failed_; }

 private:
  void Flush() {
    if (holding_) Write(held_);
    holding_ = false;
  }
  void Write(const uint8_t* pack) {
    if (!failed_ && std::fwrite(pack, 1, kPackSize, file_) != kPackSize) {
      failed_ = true;
      error_ = errno;
    }
  }
  std::FILE* file_;
  uint8_t held_[kPackSize];
  bool holding_ = false, heldPadding_ = false, failed_ = false;
  int error_ = 0;
};

struct VideoPacketPlan {
  int stream;  // 0: E1, 1: E2
  size_t offset, length;
  bool first;
};

struct PlannedPicture {
  std::vector<uint8_t> data[2];  // per stream (E1, E2); E2 empty for single stills
  uint32_t displayMs = 0;
  std::vector<VideoPacketPlan> packets;
  size_t next = 0;
  bool started = false;
  int64_t dts = 0, pts = 0;
};

// Sets the vbv_buffer_size field of the picture's sequence header to the
// picture's own size in units of 2048 bytes.
void PatchVbvBufferSize(std::vector<uint8_t>& pic) {
  if (pic.size() < 12) return;
  const uint32_t units = static_cast<uint32_t>((pic.size() + 2047) / 2048);
  pic[10] = static_cast<uint8_t>((pic[10] & 0xE0) | ((units >> 5) & 0x1F));
  pic[11] = static_cast<uint8_t>((pic[11] & 0x07) | ((units & 0x1F) << 3));
}

class Multiplexer {
 public:
  explicit Multiplexer(MultiplexJob* job)
      : job_(job), sink_(job->output), coded_(job->encodeJob->codedStream), audio_(job->audio) {}

  bool Run();

 private:
  int64_t Scr() const { return job_->systemClockBase + packs_ * kTicksPerPack; }
  void Emit(const uint8_t* pack, bool padding) {
    sink_.Put(pack, padding);
    ++packs_;
  }
  void EmitSystemHeader(int kind);
  void EmitPadding();
  bool FetchPicture();
  bool VideoRoom(int64_t t);
  int AudioPacketsWithin(int64_t span) const;
  bool FetchAudio();
  bool AudioRoom(int64_t t) const;
  void EmitAudio(int64_t t);
  void EmitVideoPacket(int64_t t);

  MultiplexJob* job_;
  PackSink sink_;
  CodedStreamBuffer* coded_;
  AudioInputQueue* audio_;
  bool pair_ = false;
  int64_t packs_ = 0;
  int64_t targetPacks_ = 0;

  // Video.
  bool videoEnded_ = false;
  bool videoHeaderDue_ = true;
  std::unique_ptr<PlannedPicture> current_;
  std::deque<std::pair<int64_t, size_t>> inBuffer_[2];  // (decoding time, bytes)
  int64_t lastDts_ = std::numeric_limits<int64_t>::min();
  int64_t lastDisplayTicks_ = 0;
  int64_t lastPts_ = 0;
  int64_t presentationEnd_ = 0;

  // Audio.
  bool audioEnded_ = true;
  int64_t audioBase_ = 0;
  double ticksPerFrame_ = 0;
  double audioBytesPerTick_ = 0;
  std::vector<uint8_t> audioPacket_;
  int64_t audioFirstFrame_ = -1;
  std::vector<AudioInputQueue::FrameInfo> audioFrames_;
  std::deque<std::pair<int64_t, uint64_t>> audioInBuffer_;  // (frame time, end offset)
  uint64_t audioSent_ = 0, audioRemoved_ = 0;
};

void Multiplexer::EmitSystemHeader(int kind) {
  uint8_t pack[kPackSize];
  WriteSystemHeaderPack(pack, Scr(), kind);
  Emit(pack, false);
}

void Multiplexer::EmitPadding() {
  uint8_t pack[kPackSize];
  WritePaddingPack(pack, Scr());
  Emit(pack, true);
}

bool Multiplexer::FetchPicture() {
  auto pic = std::make_unique<PlannedPicture>();
  // A pair comes as its 704-wide picture (stream 1) and then its companion.
  const int order[2] = {pair_ ? 1 : 0, 0};
  for (int i = 0; i < (pair_ ? 2 : 1); ++i) {
    const int s = order[i];
    uint32_t ms = 0;
    const size_t size = coded_->ReadPicture(nullptr, 0, s, &ms);
    if (size == 0) return false;
    auto& buf = pic->data[s == 1 ? 1 : 0];
    buf.resize(size);
    if (coded_->ReadPicture(buf.data(), size, s, &ms) != size) return false;
    PatchVbvBufferSize(buf);
    if (i == 0) pic->displayMs = ms;
  }
  // Packet order: the companion's packets but its last, then the 704-wide
  // picture, then the companion's last packet.
  auto split = [&](int s, size_t from, size_t to) {
    for (size_t o = from; o < to; o += kVideoPayload)
      pic->packets.push_back({s, o, std::min(kVideoPayload, to - o), o == 0});
  };
  const size_t lowSize = pic->data[0].size();
  const size_t lastLow = lowSize == 0 ? 0 : (lowSize - 1) / kVideoPayload * kVideoPayload;
  split(0, 0, lastLow);
  if (pair_) split(1, 0, pic->data[1].size());
  split(0, lastLow, lowSize);
  targetPacks_ += static_cast<int64_t>(pic->displayMs) * 75 / 1000;
  current_ = std::move(pic);
  return true;
}

bool Multiplexer::VideoRoom(int64_t t) {
  const size_t bound[2] = {kE1BufferBound * 1024u, kE2BufferBound * 1024u};
  for (int s = 0; s < 2; ++s) {
    size_t used = 0;
    while (!inBuffer_[s].empty() && inBuffer_[s].front().first <= t) inBuffer_[s].pop_front();
    for (auto& e : inBuffer_[s]) used += e.second;
    if (used + current_->data[s].size() > bound[s]) return false;
  }
  return true;
}

// The most audio packets that can be sent in a span of ticks: the audio
// buffer can take 4096 bytes plus what is decoded meanwhile.
int Multiplexer::AudioPacketsWithin(int64_t span) const {
  if (audioEnded_) return 0;
  const double bytes = kAudioBufferBound * 128.0 + audioBytesPerTick_ * static_cast<double>(span) + 2 * 1728.0;
  return static_cast<int>(bytes / kAudioPayload) + 1;
}

bool Multiplexer::FetchAudio() {
  audioPacket_.resize(kAudioPayload);
  const size_t n = audio_->TakePacket(audioPacket_.data(), &audioFirstFrame_, &audioFrames_);
  audioPacket_.resize(n);
  if (n == 0) return false;
  if (ticksPerFrame_ == 0) {
    const MpegAudioHeader& h = audio_->firstHeader();
    ticksPerFrame_ = h.SamplesPerFrame() * 90000.0 / h.SamplingRate();
    audioBytesPerTick_ = h.BitRate() / 8.0 / 90000.0;
  }
  return true;
}

bool Multiplexer::AudioRoom(int64_t t) const {
  uint64_t removed = audioRemoved_;
  for (auto& f : audioInBuffer_) {
    if (f.first > t) break;
    removed = f.second;
  }
  return audioSent_ - removed + audioPacket_.size() <= kAudioBufferBound * 128u;
}

void Multiplexer::EmitAudio(int64_t t) {
  while (!audioInBuffer_.empty() && audioInBuffer_.front().first <= t) {
    audioRemoved_ = audioInBuffer_.front().second;
    audioInBuffer_.pop_front();
  }
  const int64_t pts =
      audioBase_ + static_cast<int64_t>(std::trunc(static_cast<double>(audioFirstFrame_) * ticksPerFrame_));
  uint8_t pack[kPackSize];
  WritePackHeader(pack, Scr());
  // The time stamp belongs to the first frame that starts in the packet; a
  // packet that only finishes a frame carries none.
  WriteAudioPacket(pack, audioPacket_.data(), audioPacket_.size(), !audioFrames_.empty(), pts);
  Emit(pack, false);
  for (auto& f : audioFrames_)
    audioInBuffer_.push_back(
        {audioBase_ + static_cast<int64_t>(std::trunc(static_cast<double>(f.number) * ticksPerFrame_)),
         f.start + f.length});
  audioSent_ += audioPacket_.size();
  const bool shortPacket = audioPacket_.size() < kAudioPayload;
  audioPacket_.clear();
  if (shortPacket || !FetchAudio()) audioEnded_ = true;
}

void Multiplexer::EmitVideoPacket(int64_t t) {
  PlannedPicture& pic = *current_;
  if (!pic.started) {
    // Every packet of the picture goes out in the next slots that audio
    // does not take; the picture is decoded one pack after the last of them.
    const int64_t n = static_cast<int64_t>(pic.packets.size());
    int64_t na = 0;
    for (int i = 0; i < 8; ++i) na = AudioPacketsWithin((n + na) * kTicksPerPack);
    int64_t dts = t + (n + na) * kTicksPerPack;
    if (lastDts_ != std::numeric_limits<int64_t>::min()) dts = std::max(dts, lastDts_ + lastDisplayTicks_);
    pic.dts = dts;
    pic.pts = dts + 2816;
    pic.started = true;
  }
  const VideoPacketPlan& pk = pic.packets[pic.next++];
  const int id = pk.stream == 1 ? 0xE2 : 0xE1;
  const int bound = pk.stream == 1 ? kE2BufferBound : kE1BufferBound;
  uint8_t pack[kPackSize];
  WritePackHeader(pack, Scr());
  WriteVideoPacket(pack, pic.data[pk.stream].data() + pk.offset, pk.length, id, pk.first, pic.pts,
                   pic.dts, bound);
  Emit(pack, false);
  if (pic.next == pic.packets.size()) {
    for (int s = 0; s < 2; ++s)
      if (!pic.data[s].empty()) inBuffer_[s].push_back({pic.dts, pic.data[s].size()});
    lastDts_ = pic.dts;
    lastPts_ = pic.pts;
    lastDisplayTicks_ = static_cast<int64_t>(pic.displayMs) * 90;
    presentationEnd_ = pic.pts + lastDisplayTicks_;
    current_.reset();
  }
}

bool Multiplexer::Run() {
  const uint32_t kind = job_->encodeJob->kind;
  pair_ = kind == kStillPair;
  if (audio_) {
    audioEnded_ = false;
    audioBase_ = job_->presentationBase + 5632;
    EmitSystemHeader(4);
    if (!FetchAudio()) audioEnded_ = true;
  }
  while (!sink_.failed()) {
    const int64_t t = Scr();
    if (!audioEnded_ && AudioRoom(t)) {
      EmitAudio(t);
      continue;
    }
    if (!videoEnded_ && !current_ && !FetchPicture()) videoEnded_ = true;
    if (current_) {
      if (videoHeaderDue_) {
        EmitSystemHeader(pair_ ? 2 : 1);
        videoHeaderDue_ = false;
        continue;
      }
      if (current_->started || VideoRoom(t)) {
        EmitVideoPacket(t);
        continue;
      }
    }
    if (videoEnded_ && packs_ >= targetPacks_ && t >= lastPts_) break;
    EmitPadding();
  }
  // Audio cut off by the end of the stream still ends on a frame boundary:
  // the rest of the frame that the last audio packet began goes out alone.
  if (!audioEnded_ && !audioPacket_.empty() && !sink_.failed()) {
    const size_t tail = audioFrames_.empty()
                            ? audioPacket_.size()
                            : static_cast<size_t>(audioFrames_.front().start - audioSent_);
    audioPacket_.resize(tail);
    audioFrames_.clear();
    if (tail > 0) {
      while (!AudioRoom(Scr())) EmitPadding();
      EmitAudio(Scr());
    }
  }
  if (audio_) audio_->Abort();
  sink_.Finish(Scr());
  if (sink_.failed()) {
    job_->writeError = sink_.error();
    return false;
  }
  job_->presentationBase = std::max(presentationEnd_, job_->presentationBase);
  job_->systemClockBase = Scr() + kTicksPerPack;
  return true;
}

}  // namespace

bool MultiplexStills(MultiplexJob* job) { return Multiplexer(job).Run(); }

}  // namespace vidlathe
