// The multiplexer of motion streams: the coded video of the
// CodedStreamBuffer, taken out in chunks of one packet's payload, becomes E0
// packets, interleaved with Layer II audio packets (C0) when the job names
// an audio queue, in 2324-byte packs 1200 ticks apart. The multiplexer finds
// the pictures by their start codes, with their coding and display numbers
// (from the temporal references), and ends a packet a few bytes early rather
// than let a stamped picture's header run into the next packet.
//
// Time stamps follow the decoder's buffer model: the data from one stamped
// packet up to the next stamped packet (the pictures that start in it) has
// wholly arrived by the decoding time of the first of them, and the video
// buffer never holds more than the system header declares. Decoding times
// keep the frame cadence and move later, all together, only when data would
// otherwise arrive too late; packs are held back until their time stamps
// are final.
#include "encoder/mux/Multiplexer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "encoder/mux/AudioInputQueue.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/coder/MotionEncoder.h"
#include "encoder/mux/PackWriter.h"

namespace vidlathe {

namespace {

struct Pack {
  uint8_t data[kPackSize];
};

// A run of video bytes from one stamped packet to the next: its decoding
// time is final once its last byte has been sent.
struct Unit {
  int64_t pack;         // absolute number of the pack that carries its stamps
  uint64_t start;       // first byte in the video stream
  uint32_t first, second;  // coding and display numbers of its first picture
  int64_t dts = 0;
  bool final = false;
};

class MotionMux {
 public:
  explicit MotionMux(MultiplexJob* job)
      : job_(job), coded_(job->encodeJob->codedStream), audio_(job->audio) {
    const double fps = FrameRateOfCode(static_cast<int>(job->encodeJob->rateCode));
    frameTicks_ = fps > 0 ? 90000.0 / fps : 3003.0;
    // Pictures are shown one frame after they could first be decoded: the
    // delay by which an anchor waits for the B pictures shown before it,
    // kept in streams without B pictures too (as decoders expect).
    reorder_ = 1;
  }
  bool Run();

 private:
  int64_t Scr(int64_t pack) const { return job_->systemClockBase + pack * kTicksPerPack; }
  int64_t Now() const { return Scr(packs_); }
  void Emit(const Pack& p) {
    held_.push_back(p);
    ++packs_;
  }
  void Flush(bool all);
  void EmitSystemHeader(int kind);
  void EmitPadding();
  bool VideoRoom(int64_t t);
  void EmitVideo();
  void Finalise(Unit& u);
  bool FetchAudio();
  bool AudioRoom(int64_t t) const;
  void EmitAudio();
  int64_t AudioPts(int64_t frame) const {
    return audioBase_ + static_cast<int64_t>(std::trunc(static_cast<double>(frame) * ticksPerAudioFrame_));
  }

  MultiplexJob* job_;
  CodedStreamBuffer* coded_;
  AudioInputQueue* audio_;
  double frameTicks_;
  int reorder_;
  std::FILE* file() const { return job_->output; }

  int64_t packs_ = 0;       // packs written or held
  int64_t flushedPacks_ = 0;
  std::deque<Pack> held_;
  bool failed_ = false;

  // Video: coded bytes read ahead of the packets, the pictures found in
  // them, and the next packet planned.
  struct PictureStart {
    uint64_t offset;         // of its start code in the video stream
    uint32_t first, second;  // coding and display numbers
  };
  struct Plan {
    size_t length = 0;
    bool startsPicture = false;
    uint32_t first = 0, second = 0;
  };
  // Makes at least n bytes available unless the coded data ends first.
  void Fill(size_t n);
  Plan PlanPacket();
  std::deque<uint8_t> pending_;  // from offset videoSent_
  std::deque<PictureStart> starts_;
  uint64_t scanned_ = 0;         // start codes looked for up to here
  uint32_t coded_pictures_ = 0;
  uint32_t groupFirst_ = 0;      // display number of the group's I picture
  bool codedEnded_ = false;
  Plan next_;
  uint64_t videoSent_ = 0;
  std::deque<Unit> units_;   // not yet decoded (in the model)
  uint64_t videoRemoved_ = 0;
  int64_t d0_ = -1;          // decoding time of picture 0, before any shift
  int64_t shift_ = 0;
  int64_t lastPts_ = -1, lastDts_ = -1;
  int64_t videoEnd_ = 0;     // presentation end of the last picture

  // Audio.
  bool audioEnded_ = true;
  int64_t audioBase_ = 0;
  double ticksPerAudioFrame_ = 0;
  std::vector<uint8_t> audioPacket_;
  int64_t audioFirstFrame_ = -1;
  std::vector<AudioInputQueue::FrameInfo> audioFrames_;
  std::deque<std::pair<int64_t, uint64_t>> audioInBuffer_;  // (frame time, end offset)
  uint64_t audioSent_ = 0, audioRemoved_ = 0;
};

void MotionMux::Flush(bool all) {
  // Packs before the stamped pack of the oldest unit whose time stamps are
  // still open can go out.
  int64_t limit = packs_;
  if (!all)
    for (const Unit& u : units_)
      if (!u.final) {
        limit = u.pack;
        break;
      }
  while (!held_.empty() && flushedPacks_ < limit) {
    if (!failed_ && std::fwrite(held_.front().data, 1, kPackSize, file()) != kPackSize) {
      failed_ = true;
      job_->writeError = errno;
    }
    held_.pop_front();
    ++flushedPacks_;
  }
}

void MotionMux::EmitSystemHeader(int kind) {
  Pack p;
  WriteSystemHeaderPack(p.data, Now(), kind);
  Emit(p);
}

void MotionMux::EmitPadding() {
  Pack p;
  WritePaddingPack(p.data, Now());
  Emit(p);
}

void MotionMux::Fill(size_t n) {
  while (pending_.size() < n && !codedEnded_) {
    uint8_t chunk[kVideoPayload];
    uint32_t first, second;
    const size_t got = coded_->ReadChunk(chunk, &first, &second);
    if (got < kVideoPayload) codedEnded_ = true;
    pending_.insert(pending_.end(), chunk, chunk + got);
  }
  // Picture start codes (00 00 01 00) with the two bytes after them that
  // hold the temporal reference and the coding type. A group's I picture is
  // also its first in display order, so the display number of a picture is
  // the I picture's coding number plus its temporal reference.
  const uint64_t end = videoSent_ + pending_.size();
  const uint64_t limit = codedEnded_ ? end : (end >= 6 ? end - 6 : 0);
  for (; scanned_ + 6 <= end && scanned_ < limit; ++scanned_) {
    const size_t i = static_cast<size_t>(scanned_ - videoSent_);
    if (pending_[i] || pending_[i + 1] || pending_[i + 2] != 1 || pending_[i + 3] != 0) continue;
    const int reference = (pending_[i + 4] << 2) | (pending_[i + 5] >> 6);
    const int type = (pending_[i + 5] >> 3) & 7;
    if (type == 1) groupFirst_ = coded_pictures_;
    starts_.push_back({scanned_, coded_pictures_, groupFirst_ + static_cast<uint32_t>(reference)});
    ++coded_pictures_;
  }
}

// The next packet: up to a packet's payload, ended early (by at most 16
// bytes: a picture's start code, its header and the start code of its first
// slice) where a picture would start too close to its end. A decoder then
// finds the whole header of a stamped picture in the packet that carries its
// time stamps; some decoders lose the picture otherwise.
MotionMux::Plan MotionMux::PlanPacket() {
  constexpr size_t kHeader = 16;
  Fill(kVideoPayload + kHeader);
  Plan plan;
  plan.length = std::min(pending_.size(), kVideoPayload);
  const uint64_t end = videoSent_ + plan.length;
  const bool more = pending_.size() > plan.length;
  for (const PictureStart& ps : starts_) {
    if (ps.offset >= end) break;
    if (more && ps.offset > videoSent_ && ps.offset + kHeader > end) {
      plan.length = static_cast<size_t>(ps.offset - videoSent_);
      break;
    }
    if (!plan.startsPicture) {
      plan.startsPicture = true;
      plan.first = ps.first;
      plan.second = ps.second;
    }
  }
  return plan;
}

bool MotionMux::VideoRoom(int64_t t) {
  while (!units_.empty() && units_.front().final && units_.front().dts <= t) {
    units_.pop_front();
    videoRemoved_ = units_.empty() ? videoSent_ : units_.front().start;
  }
  const size_t next = next_.length;
  if (videoSent_ - videoRemoved_ + next <= static_cast<uint64_t>(kE1BufferBound) * 1024) return true;
  // Only the unit being sent is in the buffer: it cannot be decoded before
  // it is complete, so waiting would never make room.
  return !units_.empty() && !units_.front().final;
}

void MotionMux::Finalise(Unit& u) {
  const int64_t nominal = d0_ + static_cast<int64_t>(std::trunc(u.first * frameTicks_));
  // Wholly arrived when the pack after the one with its last byte starts.
  const int64_t arrived = Now();
  int64_t dts = nominal + shift_;
  if (dts < arrived) {
    shift_ += arrived - dts;
    dts = arrived;
  }
  if (dts <= lastDts_) dts = lastDts_ + 1;
  const int64_t pts = d0_ + shift_ + static_cast<int64_t>(std::trunc((u.second + reorder_) * frameTicks_));
  u.dts = dts;
  u.final = true;
  lastDts_ = dts;
  lastPts_ = std::max(lastPts_, pts);
  videoEnd_ = std::max(videoEnd_, pts + static_cast<int64_t>(frameTicks_));
  // The stamps sit after the packet header, any stuffing and the STD field.
  Pack& p = held_[static_cast<size_t>(u.pack - flushedPacks_)];
  uint8_t* q = p.data + 12 + 6;
  while (*q == 0xFF) ++q;
  q += 2;
  WriteTimeStamp(q, 0x3, std::max(pts, dts));
  WriteTimeStamp(q + 5, 0x1, dts);
}

void MotionMux::EmitVideo() {
  const Plan c = next_;
  uint8_t data[kVideoPayload];
  std::copy(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(c.length), data);
  if (c.startsPicture) units_.push_back({packs_, videoSent_, c.first, c.second});
  Pack p;
  WritePackHeader(p.data, Now());
  // Provisional stamps; the real ones are written when the unit is complete.
  WriteVideoPacket(p.data, data, c.length, 0xE0, c.startsPicture, 0, 0, kE1BufferBound);
  Emit(p);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(c.length));
  videoSent_ += c.length;
  while (!starts_.empty() && starts_.front().offset < videoSent_) starts_.pop_front();
  next_ = PlanPacket();
  const bool unitEnds = next_.length == 0 || next_.startsPicture;
  if (unitEnds && !units_.empty() && !units_.back().final) {
    Finalise(units_.back());
    Flush(false);
  }
}

bool MotionMux::FetchAudio() {
  audioPacket_.resize(kAudioPayload);
  const size_t n = audio_->TakePacket(audioPacket_.data(), &audioFirstFrame_, &audioFrames_);
  audioPacket_.resize(n);
  if (n == 0) return false;
  if (ticksPerAudioFrame_ == 0) {
    const MpegAudioHeader& h = audio_->firstHeader();
    ticksPerAudioFrame_ = h.SamplesPerFrame() * 90000.0 / h.SamplingRate();
  }
  return true;
}

bool MotionMux::AudioRoom(int64_t t) const {
  uint64_t removed = audioRemoved_;
  for (auto& f : audioInBuffer_) {
    if (f.first > t) break;
    removed = f.second;
  }
  return audioSent_ - removed + audioPacket_.size() <= static_cast<uint64_t>(kAudioBufferBound) * 128;
}

void MotionMux::EmitAudio() {
  const int64_t t = Now();
  while (!audioInBuffer_.empty() && audioInBuffer_.front().first <= t) {
    audioRemoved_ = audioInBuffer_.front().second;
    audioInBuffer_.pop_front();
  }
  Pack p;
  WritePackHeader(p.data, t);
  const int64_t pts = audioFrames_.empty() ? 0 : AudioPts(audioFrames_.front().number);
  WriteAudioPacket(p.data, audioPacket_.data(), audioPacket_.size(), !audioFrames_.empty(), pts);
  Emit(p);
  for (auto& f : audioFrames_) audioInBuffer_.push_back({AudioPts(f.number), f.start + f.length});
  audioSent_ += audioPacket_.size();
  const bool shortPacket = audioPacket_.size() < kAudioPayload;
  audioPacket_.clear();
  if (shortPacket || !FetchAudio()) audioEnded_ = true;
}

bool MotionMux::Run() {
  EmitSystemHeader(3);
  if (audio_) {
    EmitSystemHeader(4);
    audioEnded_ = !FetchAudio();
  }
  d0_ = Now() + kMotionStartDelay;
  // Audio starts with the first picture.
  audioBase_ = d0_ + static_cast<int64_t>(std::trunc(reorder_ * frameTicks_));
  next_ = PlanPacket();
  bool videoEnded = next_.length == 0;
  while (!failed_) {
    const int64_t t = Now();
    if (!audioEnded_ && !audioPacket_.empty() && videoEnded) {
      // Audio after the pictures: only frames shown while the last picture
      // is; the packet is cut at the first frame beyond that.
      size_t keep = audioPacket_.size();
      std::vector<AudioInputQueue::FrameInfo> frames;
      for (const auto& f : audioFrames_) {
        if (AudioPts(f.number) >= videoEnd_) {
          keep = static_cast<size_t>(f.start - audioSent_);
          break;
        }
        frames.push_back(f);
      }
      if (keep < audioPacket_.size()) {
        audioPacket_.resize(keep);
        audioFrames_ = frames;
        if (keep == 0) {
          audioEnded_ = true;
          continue;
        }
      }
    }
    if (!audioEnded_ && AudioRoom(t)) {
      EmitAudio();
      continue;
    }
    if (!videoEnded) {
      if (VideoRoom(t)) {
        EmitVideo();
        if (next_.length == 0) videoEnded = true;
        continue;
      }
    } else if (audioEnded_) {
      break;
    }
    EmitPadding();
  }
  // The end code in a pack of its own.
  Pack p;
  WritePackHeader(p.data, Now());
  WriteEndCode(p.data);
  Emit(p);
  Flush(true);
  if (audio_) audio_->Abort();
  if (failed_) return false;
  job_->presentationBase = std::max(videoEnd_, job_->presentationBase);
  job_->systemClockBase = Now();
  return true;
}

}  // namespace

bool MultiplexMotion(MultiplexJob* job) { return MotionMux(job).Run(); }

}  // namespace vidlathe
