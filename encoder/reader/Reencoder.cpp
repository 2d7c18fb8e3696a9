// The entry points that read existing MPEG-1 files: Motion_VCD_Component,
// Concatenate_VCD_Stills and Concatenate_VCD_motion. Each input is either
// copied unchanged (its clocks moved to continue the output's) or decoded,
// converted to the target rate and size, coded again into a stream of its
// own beside the output, and that stream copied in the same way. The output
// is written under a temporary name and renamed over the target only when
// the whole list has been done; a failure or a cancel leaves no output.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "encoder/reader/Demultiplexer.h"
#include "encoder/common/Kernels.h"
#include "encoder/common/OutputFile.h"
#include "encoder/reader/PictureConversion.h"
#include "encoder/coder/ReencodeMotion.h"
#include "encoder/coder/StillEncoder.h"
#include "encoder/reader/StreamReader.h"
#include "encoder/reader/UnchangedCopy.h"
#include "encoder/reader/VideoDecoder.h"
#include "encoder/VidlatheStreams.h"
#include "platform/base/Path.h"
#include "platform/base/Queue.h"

namespace vidlathe {

namespace {

std::mutex gReencodeCall;

struct Target {
  bool still = false;
  uint32_t kind = 0;  // still kinds: 0x101 or 0x110
  int width = 0, height = 0, aspectCode = 0, rateCode = 0;
};

bool MotionTarget(int mode, Target* t) {
  switch (mode) {
    case 1: *t = {false, 0, 352, 240, 12, 4}; return true;
    case 2: *t = {false, 0, 352, 240, 12, 1}; return true;
    case 3: *t = {false, 0, 352, 288, 8, 3}; return true;
    default: return false;
  }
}

bool StillTarget(int mode, Target* t) {
  switch (mode) {
    case 1: *t = {true, 0x101, 352, 240, 12, 4}; return true;
    case 2: *t = {true, 0x101, 352, 240, 12, 1}; return true;
    case 3: *t = {true, 0x101, 352, 288, 8, 3}; return true;
    case 4: *t = {true, 0x110, 704, 480, 12, 4}; return true;
    case 5: *t = {true, 0x110, 704, 480, 12, 1}; return true;
    case 6: *t = {true, 0x110, 704, 576, 8, 3}; return true;
    default: return false;
  }
}

uint64_t FileSize(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fclose(f);
  return n > 0 ? static_cast<uint64_t>(n) : 0;
}

// Progress over the whole list, as a percentage of the input bytes.
class Progress {
 public:
  Progress(ProgressCallback cb, uint64_t total) : cb_(cb), total_(total) {}
  // Reports done + position of the current input; false once cancelled.
  // A value that has not changed is reported again once more than a second
  // has passed since the last report, so that a caller can cancel while a
  // slow stretch of decoding and coding moves no percent (copies, being
  // quick, report changes only).
  bool At(uint64_t position, bool repeatWhenIdle = true) {
    if (cancelled_) return false;
    if (!cb_) return true;
    const uint64_t total = std::max<uint64_t>(total_, 1);
    const int percent = static_cast<int>(std::min<uint64_t>((done_ + position) * 100 / total, 99));
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (percent == last_ && (!repeatWhenIdle || now - lastReport_ <= std::chrono::milliseconds(1000)))
      return true;
    last_ = percent;
    lastReport_ = now;
    if (cb_(percent) == 0) cancelled_ = true;
    return !cancelled_;
  }
  void Finish(uint64_t inputSize) { done_ += inputSize; }
  bool Report(int percent) {
    if (!cb_) return true;
    std::lock_guard lock(mutex_);
    last_ = percent;
    lastReport_ = std::chrono::steady_clock::now();
    if (cb_(percent) == 0) cancelled_ = true;
    return !cancelled_;
  }
  bool cancelled() const { return cancelled_; }

 private:
  ProgressCallback cb_;
  uint64_t total_;
  std::atomic<uint64_t> done_{0};
  int last_ = -1;
  std::chrono::steady_clock::time_point lastReport_;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
};

// The output file of a joining call; the last input's end code is put back
// at the end before the file takes the target's place.
class Output {
 public:
  bool Create(const std::string& path) { return out_.Open(path); }
  std::FILE* file() const { return out_.file(); }
  bool Commit(long endCodeOffset) {
    bool ok = true;
    if (endCodeOffset >= 0 && !out_.direct()) {
      static const uint8_t kEnd[4] = {0, 0, 1, 0xB9};
      ok = std::fseek(out_.file(), endCodeOffset, SEEK_SET) == 0 &&
           std::fwrite(kEnd, 1, 4, out_.file()) == 4;
    }
    return out_.Commit(ok);
  }

 private:
  OutputFile out_;
};

// A scratch file in the temporary folder for one input's re-encoded stream
// or extracted audio; removed when it goes out of scope.
class ScratchFile {
 public:
  ScratchFile(const std::string& /*output*/, const char* suffix)
      : path_(vexa::base::MakeTempFile("", std::string("vidlathe") + suffix + ".")) {}
  ~ScratchFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

enum class Step { kDone, kSkipped, kFailed, kCancelled };

Step FromCopy(CopyResult r) {
  switch (r) {
    case CopyResult::kOk: return Step::kDone;
    case CopyResult::kCancelled: return Step::kCancelled;
    default: return Step::kFailed;
  }
}

// The planes of a decoded picture at the target size (luma w x h, chroma
// half of each).
void ToTargetSize(const DecodedPicture& p, int w, int h, std::vector<uint8_t>* y,
                  std::vector<uint8_t>* u, std::vector<uint8_t>* v) {
  const int cw = (p.width + 1) / 2, ch = (p.height + 1) / 2;
  if (p.width == w && p.height == h) {
    *y = p.y;
    *u = p.u;
    *v = p.v;
    return;
  }
  *y = ScalePlane(Plane{p.width, p.height, p.y}, w, h).samples;
  *u = ScalePlane(Plane{cw, ch, p.u}, w / 2, h / 2).samples;
  *v = ScalePlane(Plane{cw, ch, p.v}, w / 2, h / 2).samples;
}

// A still pair's planes: the 704-wide picture and its 352-wide companion
// (luminance through the half-band filters, chrominance every second sample
// of every second row).
void MakePair(StillPlanes* s, int W, int H) {
  const int w = W / 2, h = H / 2;
  s->y.assign(static_cast<size_t>(w) * h, 0);
  s->u.assign(static_cast<size_t>(w / 2) * (h / 2), 0);
  s->v.assign(s->u.size(), 0);
  const Kernels& k = ActiveKernels();
  std::vector<uint8_t> halfRows(static_cast<size_t>(W / 2) * H);
  k.decimate_h(s->y2.data(), halfRows.data(), W, H);
  k.decimate_v(halfRows.data(), s->y.data(), W, H);
  for (int r = 0; r < h / 2; ++r)
    for (int c = 0; c < w / 2; ++c) {
      s->u[static_cast<size_t>(r) * (w / 2) + c] = s->u2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
      s->v[static_cast<size_t>(r) * (w / 2) + c] = s->v2[static_cast<size_t>(2 * r) * (W / 2) + 2 * c];
    }
}

// The decoder takes the fast transform where the CPU mask allows SSE2.
bool UseFastIdct() { return (vexa::base::CpuMask() & vexa::base::kCpuSse2) != 0; }

// Appends data to a file; false on a write error.
class AudioFileSink {
 public:
  explicit AudioFileSink(const std::string& path) : f_(path.empty() ? nullptr : std::fopen(path.c_str(), "wb")) {}
  ~AudioFileSink() { Close(); }
  bool ok() const { return f_ != nullptr && !failed_; }
  bool Put(const uint8_t* d, size_t n) {
    if (!f_ || std::fwrite(d, 1, n, f_) != n) failed_ = true;
    return !failed_;
  }
  bool Close() {
    if (f_ && std::fclose(f_) != 0) failed_ = true;
    f_ = nullptr;
    return !failed_;
  }

 private:
  std::FILE* f_;
  bool failed_ = false;
};

// Extracts the audio of a system stream into path; false on an error.
bool ExtractAudio(const std::string& input, const std::string& path) {
  SystemStreamReader r;
  if (!r.Open(input)) return false;
  AudioFileSink sink(path);
  if (!sink.ok()) return false;
  Demultiplexer demux(&r, [&](const uint8_t* d, size_t n) { return sink.Put(d, n); });
  return demux.DrainAudio() && !r.readError() && sink.Close();
}

// Copies the listed audio files one after the other into path.
bool JoinAudioFiles(const MotionComponent& entry, const std::string& path) {
  AudioFileSink sink(path);
  if (!sink.ok()) return false;
  std::vector<uint8_t> buf(65536);
  for (int i = 0; i < entry.audioCount; ++i) {
    if (!entry.audioPaths || !entry.audioPaths[i]) continue;
    std::FILE* f = std::fopen(entry.audioPaths[i], "rb");
    if (!f) continue;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
      if (!sink.Put(buf.data(), n)) break;
    std::fclose(f);
  }
  return sink.Close();
}

// Decoded pictures from a decoder thread, through a small queue.
class DecoderThread {
 public:
  DecoderThread(VideoDecoder::Source source)
      : thread_([this, source = std::move(source)] {
          VideoDecoder dec(source, UseFastIdct());
          dec.Run([this](DecodedPicture& p) { return queue_.Push(std::move(p)); });
          queue_.Close();
        }) {}
  ~DecoderThread() {
    queue_.Abort();  // a decoder blocked on a full queue stops
  }
  std::optional<DecodedPicture> Next() { return queue_.Pop(); }

 private:
  vexa::base::ClosableQueue<DecodedPicture> queue_{3};
  std::jthread thread_;  // declared last: joined before the queue goes
};

// ---- stills ----

Step ReencodeStill(const std::string& input, const StreamProperties& props, const Target& t,
                   Progress& progress, std::FILE* out, CarriedClocks* clocks,
                   const std::string& outputPath) {
  // Pass one: the presentation times and the audio.
  ScratchFile audio(outputPath, ".audio");
  const bool keepAudio = props.audioValid && props.audioLayer2At44k;
  std::vector<int64_t> times;
  {
    SystemStreamReader r;
    if (!r.Open(input)) return Step::kFailed;
    AudioFileSink sink(keepAudio ? audio.path() : std::string());
    Demultiplexer demux(&r, keepAudio ? Demultiplexer::AudioSink([&](const uint8_t* d, size_t n) {
                                          return sink.Put(d, n);
                                        })
                                      : Demultiplexer::AudioSink());
    uint8_t buf[65536];
    while (demux.ReadVideo(buf, sizeof buf) > 0) {
    }
    if (r.readError() || (keepAudio && !sink.Close())) return Step::kFailed;
    times = demux.videoTimes();
  }
  // Pass two: the pictures, all of them (a still file holds few).
  std::vector<StillPlanes> stills;
  {
    SystemStreamReader r;
    if (!r.Open(input)) return Step::kFailed;
    Demultiplexer demux(&r, {});
    bool cancelled = false;
    VideoDecoder dec(
        [&](uint8_t* d, size_t n) {
          if (!progress.At(r.Position())) {
            cancelled = true;
            return size_t{0};
          }
          return demux.ReadVideo(d, n);
        },
        UseFastIdct());
    const bool pair = t.kind == 0x110;
    const int W = t.width, H = t.height;
    dec.Run([&](DecodedPicture& p) {
      StillPlanes s;
      if (pair) {
        ToTargetSize(p, W, H, &s.y2, &s.u2, &s.v2);
        MakePair(&s, W, H);
      } else {
        ToTargetSize(p, W, H, &s.y, &s.u, &s.v);
      }
      stills.push_back(std::move(s));
      return true;
    });
    if (cancelled) return Step::kCancelled;
  }
  if (stills.empty()) return Step::kSkipped;
  // Display times from the presentation times; the last one extrapolated.
  if (times.empty()) times.push_back(0);
  if (times.size() < 2) times.push_back(times[0] + 360000);
  else times.push_back(2 * times.back() - times[times.size() - 2]);
  std::vector<uint32_t> displayMs(stills.size(), 4000);
  for (size_t k = 0; k + 1 < times.size() && k < stills.size(); ++k) {
    const int64_t ms = (times[k + 1] - times[k]) / 90;
    displayMs[k] = ms > 0 && ms < 3600000 ? static_cast<uint32_t>(ms) : 4000;
  }

  StillMode mode{t.kind, t.width, t.height, t.aspectCode, t.rateCode};
  ScratchFile segment(outputPath, ".segment");
  size_t next = 0;
  auto feed = [&](StillPlanes* planes, uint32_t* ms) {
    if (next >= stills.size()) return false;
    *ms = displayMs[next];
    *planes = std::move(stills[next++]);
    return true;
  };
  if (segment.path().empty() ||
      EncodeStillStream(mode, 2, static_cast<int>(stills.size()), feed, segment.path(),
                        keepAudio ? audio.path() : std::string(), false) != 1)
    return Step::kFailed;
  return FromCopy(CopyUnchanged(segment.path(), out, clocks, {}));
}

// ---- motion ----

// Decodes source, converts rate and size, and codes the pictures again.
Step ReencodeMotion(VideoDecoder::Source source, const Target& t, int sourceRateCode,
                    const std::string& audioPath, Progress& progress, std::FILE* out,
                    CarriedClocks* clocks, const std::string& outputPath) {
  ScratchFile segment(outputPath, ".segment");
  if (segment.path().empty()) return Step::kFailed;
  int result = 0;
  {
    DecoderThread decoder(std::move(source));
    FrameRateConverter rate = FrameRateConverter::FromRateCodes(sourceRateCode, t.rateCode);
    std::optional<DecodedPicture> current;
    int repeats = 0;
    auto feed = [&](StillPlanes* planes) {
      while (repeats == 0) {
        current = decoder.Next();
        if (!current || progress.cancelled()) return false;
        repeats = rate.Next();
      }
      --repeats;
      ToTargetSize(*current, t.width, t.height, &planes->y, &planes->u, &planes->v);
      return true;
    };
    ReencodeMode mode{t.width, t.height, t.aspectCode, t.rateCode};
    result = EncodeReencodedStream(mode, feed, segment.path(), audioPath);
  }
  if (progress.cancelled()) return Step::kCancelled;
  if (result != 1) return Step::kFailed;
  return FromCopy(CopyUnchanged(segment.path(), out, clocks, {}));
}

// A system stream into the output: copied when allowed, else re-encoded
// with its own audio (keepAudio), the audio file given, or none.
Step MotionFromSystemStream(const std::string& input, const StreamProperties& props,
                            const Target& t, bool copyAllowed, bool keepAudio, Progress& progress,
                            std::FILE* out, CarriedClocks* clocks, const std::string& outputPath,
                            const std::string& otherAudio = std::string()) {
  if (copyAllowed)
    return FromCopy(CopyUnchanged(input, out, clocks, [&](uint64_t pos, uint64_t) {
      return progress.At(pos, false);
    }));
  ScratchFile audio(outputPath, ".audio");
  if (keepAudio && (audio.path().empty() || !ExtractAudio(input, audio.path()))) return Step::kFailed;
  const std::string audioPath = keepAudio ? audio.path() : otherAudio;
  auto reader = std::make_shared<SystemStreamReader>();
  if (!reader->Open(input)) return Step::kFailed;
  auto demux = std::make_shared<Demultiplexer>(reader.get(), Demultiplexer::AudioSink());
  VideoDecoder::Source source = [reader, demux, &progress](uint8_t* d, size_t n) -> size_t {
    if (!progress.At(reader->Position())) return 0;
    return demux->ReadVideo(d, n);
  };
  return ReencodeMotion(std::move(source), t, props.pictureRateCode, audioPath, progress, out,
                        clocks, outputPath);
}

bool SameSize(const StreamProperties& p, int w, int h) {
  return p.horizontalSize == w && p.verticalSize == h;
}

}  // namespace

}  // namespace vidlathe

using namespace vidlathe;

extern "C" int Concatenate_VCD_Stills(const MpegFileList* list, int mode, const char* outputPath,
                                      ProgressCallback progressCb) {
  Target t;
  if (!StillTarget(mode, &t) || !outputPath) return 0;
  std::lock_guard call(gReencodeCall);
  Output output;
  if (!output.Create(outputPath)) return 0;
  const int count = list && list->paths ? std::max(list->count, 0) : 0;
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) total += list->paths[i] ? FileSize(list->paths[i]) : 0;
  Progress progress(progressCb, total);
  if (!progress.Report(0)) return 0;
  CarriedClocks clocks;
  for (int i = 0; i < count; ++i) {
    if (!list->paths[i]) continue;
    const std::string input = list->paths[i];
    StreamProperties props;
    Get_Mpeg_Stream_Prop(input.c_str(), &props);
    const int wantKind = t.kind == 0x110 ? 3 : 2;
    Step step = Step::kSkipped;
    if (props.systemStream && props.videoKind == wantKind) {
      const bool sizeMatches = SameSize(props, t.width, t.height) ||
                               (wantKind == 3 && SameSize(props, t.width / 2, t.height / 2));
      if (sizeMatches && props.pictureRateCode == t.rateCode)
        step = FromCopy(CopyUnchanged(input, output.file(), &clocks,
                                      [&](uint64_t pos, uint64_t) { return progress.At(pos, false); }));
      else
        step = ReencodeStill(input, props, t, progress, output.file(), &clocks, outputPath);
    }
    if (step == Step::kCancelled || progress.cancelled()) return 0;
    if (step == Step::kFailed) return 0;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  return output.Commit(clocks.endCodeOffset) ? 1 : 0;
}

extern "C" int Concatenate_VCD_motion(const MpegFileList* list, int mode, const char* outputPath,
                                      ProgressCallback progressCb) {
  Target t;
  if (!MotionTarget(mode, &t) || !outputPath) return 0;
  std::lock_guard call(gReencodeCall);
  Output output;
  if (!output.Create(outputPath)) return 0;
  const int count = list && list->paths ? std::max(list->count, 0) : 0;
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) total += list->paths[i] ? FileSize(list->paths[i]) : 0;
  Progress progress(progressCb, total);
  if (!progress.Report(0)) return 0;
  CarriedClocks clocks;
  for (int i = 0; i < count; ++i) {
    if (!list->paths[i]) continue;
    const std::string input = list->paths[i];
    StreamProperties props;
    Get_Mpeg_Stream_Prop(input.c_str(), &props);
    Step step = Step::kSkipped;
    if (props.systemStream && props.videoKind == 1) {
      const bool copy = SameSize(props, t.width, t.height) && props.pictureRateCode == t.rateCode &&
                        props.bitRate < 2880;
      step = MotionFromSystemStream(input, props, t, copy,
                                    props.audioValid && props.audioLayer2At44k && props.audio224k,
                                    progress, output.file(), &clocks, outputPath);
    }
    if (step == Step::kCancelled || progress.cancelled()) return 0;
    if (step == Step::kFailed) return 0;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  if (!output.Commit(clocks.endCodeOffset)) return 0;
  progress.Report(100);
  return 1;
}

extern "C" int Motion_VCD_Component(const MotionComponentList* list, int mode,
                                    const char* outputPath, ProgressCallback progressCb) {
  Target t;
  if (!MotionTarget(mode, &t) || !outputPath) return 0;
  std::lock_guard call(gReencodeCall);
  Output output;
  if (!output.Create(outputPath)) return 0;
  const int count = list && list->entries ? std::max(list->count, 0) : 0;
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) total += list->entries[i].path ? FileSize(list->entries[i].path) : 0;
  Progress progress(progressCb, total);
  CarriedClocks clocks;
  for (int i = 0; i < count; ++i) {
    const MotionComponent& entry = list->entries[i];
    if (!entry.path) continue;
    const std::string input = entry.path;
    StreamProperties props;
    Get_Mpeg_Stream_Prop(input.c_str(), &props);
    Step step = Step::kSkipped;
    const bool usable = props.videoKind == 1 && (props.systemStream || props.videoPresent);
    if (usable && entry.useOwnAudio && props.systemStream) {
      const bool copy = SameSize(props, t.width, t.height) && props.pictureRateCode == t.rateCode;
      step = MotionFromSystemStream(input, props, t, copy,
                                    props.audioValid && props.audioLayer2At44k && props.audio224k,
                                    progress, output.file(), &clocks, outputPath);
    } else if (usable) {
      // The video alone, with the audio of the entry's own list.
      ScratchFile audio(outputPath, ".audio");
      const bool withAudio = entry.audioCount > 0 && entry.audioPaths;
      if (withAudio && (audio.path().empty() || !JoinAudioFiles(entry, audio.path()))) return 0;
      if (props.systemStream) {
        step = MotionFromSystemStream(input, props, t, false, false, progress, output.file(),
                                      &clocks, outputPath, withAudio ? audio.path() : std::string());
        if (step == Step::kCancelled || progress.cancelled() || step == Step::kFailed) return 0;
        progress.Finish(static_cast<uint64_t>(props.fileSize));
        continue;
      }
      auto file = std::make_shared<FileByteSource>(input);
      if (!file->ok()) return 0;
      VideoDecoder::Source source = [file, &progress](uint8_t* d, size_t n) -> size_t {
        if (!progress.At(file->position())) return 0;
        return file->Read(d, n);
      };
      step = ReencodeMotion(std::move(source), t, props.pictureRateCode,
                            withAudio ? audio.path() : std::string(), progress, output.file(),
                            &clocks, outputPath);
    }
    if (step == Step::kCancelled || progress.cancelled()) return 0;
    if (step == Step::kFailed) return 0;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  return output.Commit(clocks.endCodeOffset) ? 1 : 0;
}
