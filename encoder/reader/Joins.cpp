#include "encoder/reader/Joins.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "encoder/coder/EncodeStream.h"
#include "platform/base/Executor.h"
#include "encoder/common/ColourConvert.h"
#include "encoder/common/EncoderRecords.h"
#include "encoder/common/Failure.h"
#include "encoder/common/InputFile.h"
#include "encoder/common/Modes.h"
#include "encoder/common/OutputFile.h"
#include "encoder/reader/Demultiplexer.h"
#include "encoder/reader/PictureConversion.h"
#include "encoder/reader/StreamProperties.h"
#include "encoder/reader/StreamReader.h"
#include "encoder/reader/UnchangedCopy.h"
#include "encoder/reader/VideoDecoder.h"
#include "platform/base/Cpu.h"
#include "platform/base/Path.h"
#include "platform/base/Queue.h"

namespace vidlathe {

namespace {

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
  explicit ScratchFile(const char* suffix)
      : path_(vexa::base::MakeTempFile("", std::string("vidlathe") + suffix + ".")) {
    if (path_.empty()) Fail("cannot create a scratch file in the temporary folder");
  }
  ~ScratchFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  bool ok() const { return !path_.empty(); }

 private:
  std::string path_;
};

enum class Step { kDone, kFailed, kCancelled };

// The result of an unchanged copy, with the reason of a failure recorded.
Step FromCopy(CopyResult r, const std::string& input, const std::string& output) {
  switch (r) {
    case CopyResult::kOk: return Step::kDone;
    case CopyResult::kCancelled: return Step::kCancelled;
    case CopyResult::kWriteError:
      Fail(FileReason(output, "cannot write the stream", errno));
      return Step::kFailed;
    case CopyResult::kReadError:
    default:
      Fail(FileReason(input, "is damaged: a pack or packet is malformed or cut short"));
      return Step::kFailed;
  }
}

Step Cancelled() {
  Fail("cancelled by the progress callback");
  return Step::kCancelled;
}

// A system stream read through to its end must have ended cleanly.
bool ReadWhole(const SystemStreamReader& r, const Demultiplexer& demux) {
  if (r.readError()) return false;  // the reader has recorded why
  if (demux.cutShort()) return Fail(FileReason(r.path(), "is cut short: it ends inside a pack or packet"));
  if (demux.malformedPackets() > 0)
    return Fail(FileReason(r.path(), "is damaged: " + std::to_string(demux.malformedPackets()) +
                                         " of its packets are malformed"));
  return true;
}

bool DecodedCleanly(const std::string& input, int damaged) {
  if (damaged == 0) return true;
  return Fail(FileReason(input, "is damaged: " + std::to_string(damaged) + " of its video slices cannot be decoded"));
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

// The decoder takes the fast transform where the CPU mask allows SSE2.
bool UseFastIdct() { return (vexa::base::CpuMask() & vexa::base::kCpuSse2) != 0; }

// Writes data to a scratch file; every write is checked.
class AudioFileSink {
 public:
  explicit AudioFileSink(const std::string& path) : path_(path) {
    if (!path.empty() && !(f_ = std::fopen(path.c_str(), "wb"))) Fail(FileReason(path, "cannot create", errno));
  }
  ~AudioFileSink() { Close(); }
  bool ok() const { return f_ != nullptr && !failed_; }
  bool Put(const uint8_t* d, size_t n) {
    if (!f_ || failed_) return false;
    if (std::fwrite(d, 1, n, f_) != n) {
      failed_ = true;
      Fail(FileReason(path_, "cannot write", errno));
    }
    return !failed_;
  }
  bool Close() {
    if (f_ && std::fclose(f_) != 0 && !failed_) {
      failed_ = true;
      Fail(FileReason(path_, "cannot write", errno));
    }
    f_ = nullptr;
    return !failed_;
  }

 private:
  std::string path_;
  std::FILE* f_ = nullptr;
  bool failed_ = false;
};

// Extracts the audio of a system stream into path; false on an error.
bool ExtractAudio(const std::string& input, const std::string& path) {
  SystemStreamReader r;
  if (!r.Open(input)) return false;
  AudioFileSink sink(path);
  if (!sink.ok()) return false;
  Demultiplexer demux(&r, [&](const uint8_t* d, size_t n) { return sink.Put(d, n); });
  return demux.DrainAudio() && ReadWhole(r, demux) && sink.Close();
}

// The listed audio files of a component, each checked to be MPEG-1 Layer II
// at 44.1 kHz, one after the other into path.
bool JoinAudioFiles(const MotionComponent& entry, const std::string& path) {
  AudioFileSink sink(path);
  if (!sink.ok()) return false;
  std::vector<uint8_t> buf(65536);
  for (int i = 0; i < entry.audioCount; ++i) {
    if (!entry.audioPaths[i]) return Fail("an audio file of " + std::string(entry.path) + " has no name");
    const std::string audio = entry.audioPaths[i];
    StreamProperties props{};
    if (!ReadMp2Properties(audio, &props)) return false;
    if (!props.audioValid || !props.audioLayer2At44k)
      return Fail(FileReason(audio, "not MPEG-1 Layer II audio at 44.1 kHz"));
    InputFile f;
    if (!f.Open(audio)) return false;
    for (size_t n; (n = f.Read(buf.data(), buf.size())) > 0;)
      if (!sink.Put(buf.data(), n)) return false;
    if (f.failed()) return false;
  }
  return sink.Close();
}

// Decoded pictures from a decoder thread, through a small queue.
class DecoderThread {
 public:
  explicit DecoderThread(VideoDecoder::Source source)
      : thread_([this, source = std::move(source), log = CurrentFailureLog()] {
          FailureScope scope(log);
          VideoDecoder dec(source, UseFastIdct());
          dec.Run([this](DecodedPicture& p) { return queue_.Push(std::move(p)); });
          damaged_ = dec.damaged();
          queue_.Close();
        }) {}
  ~DecoderThread() { Stop(); }
  std::optional<DecodedPicture> Next() { return queue_.Pop(); }
  // Stops the decoder and waits for it; then damaged() is final.
  void Stop() {
    queue_.Abort();  // a decoder blocked on a full queue stops
    thread_.Join();
  }
  int damaged() const { return damaged_; }

 private:
  vexa::base::ClosableQueue<DecodedPicture> queue_{3};
  std::atomic<int> damaged_{0};
  vexa::base::SideThread thread_;  // declared last: started once the queue exists
};

// ---- stills ----

Step ReencodeStill(const std::string& input, const StreamProperties& props, const Mode& t,
                   Progress& progress, std::FILE* out, CarriedClocks* clocks, const std::string& outputPath) {
  // Pass one: the presentation times and the audio.
  ScratchFile audio(".audio");
  const bool keepAudio = props.audioValid && props.audioLayer2At44k;
  if (keepAudio && !audio.ok()) return Step::kFailed;
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
    if (!ReadWhole(r, demux) || (keepAudio && !sink.Close())) return Step::kFailed;
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
    const bool pair = t.kind == kStillPair;
    const int W = t.width, H = t.height;
    dec.Run([&](DecodedPicture& p) {
      StillPlanes s;
      if (pair) {
        ToTargetSize(p, W, H, &s.y2, &s.u2, &s.v2);
        MakeCompanion(&s, W, H);
      } else {
        ToTargetSize(p, W, H, &s.y, &s.u, &s.v);
      }
      stills.push_back(std::move(s));
      return true;
    });
    if (cancelled) return Cancelled();
    if (!ReadWhole(r, demux) || !DecodedCleanly(input, dec.damaged())) return Step::kFailed;
  }
  if (stills.empty()) {
    Fail(FileReason(input, "holds no picture that can be decoded"));
    return Step::kFailed;
  }
  // Display times from the presentation times; the last one extrapolated.
  if (times.empty()) times.push_back(0);
  if (times.size() < 2) times.push_back(times[0] + 360000);
  else times.push_back(2 * times.back() - times[times.size() - 2]);
  std::vector<uint32_t> displayMs(stills.size(), 4000);
  for (size_t k = 0; k + 1 < times.size() && k < stills.size(); ++k) {
    const int64_t ms = (times[k + 1] - times[k]) / 90;
    displayMs[k] = ms > 0 && ms < 3600000 ? static_cast<uint32_t>(ms) : 4000;
  }

  ScratchFile segment(".segment");
  if (!segment.ok()) return Step::kFailed;
  size_t next = 0;
  auto feed = [&](StillPlanes* planes, uint32_t* ms) {
    if (next >= stills.size()) return Feed::kEnd;
    *ms = displayMs[next];
    *planes = std::move(stills[next++]);
    return Feed::kPicture;
  };
  StreamRequest request;
  request.mode = &t;
  request.quantiser = 2;
  request.outputPath = segment.path();
  if (keepAudio) request.audioPath = audio.path();
  if (EncodeStream(request, feed) != 1) return Step::kFailed;
  return FromCopy(CopyUnchanged(segment.path(), out, clocks, {}), segment.path(), outputPath);
}

// ---- motion ----

// Decodes source, converts rate and size, and codes the pictures again.
// checkSource tells, once decoding has ended, whether the source was read
// whole.
Step ReencodeMotion(const std::string& input, VideoDecoder::Source source, const std::function<bool()>& checkSource,
                    const Mode& t, int sourceRateCode, const std::string& audioPath, Progress& progress,
                    std::FILE* out, CarriedClocks* clocks, const std::string& outputPath) {
  ScratchFile segment(".segment");
  if (!segment.ok()) return Step::kFailed;
  int result = 0, damaged = 0;
  {
    DecoderThread decoder(std::move(source));
    FrameRateConverter rate = FrameRateConverter::FromRateCodes(sourceRateCode, t.rateCode);
    std::optional<DecodedPicture> current;
    int repeats = 0;
    auto feed = [&](StillPlanes* planes, uint32_t* ms) {
      *ms = 0;
      while (repeats == 0) {
        current = decoder.Next();
        if (!current || progress.cancelled()) return Feed::kEnd;
        repeats = rate.Next();
      }
      --repeats;
      ToTargetSize(*current, t.width, t.height, &planes->y, &planes->u, &planes->v);
      return Feed::kPicture;
    };
    StreamRequest request;
    request.mode = &t;
    request.quantiser = 2;
    request.outputPath = segment.path();
    request.audioPath = audioPath;
    result = EncodeStream(request, feed);
    decoder.Stop();
    damaged = decoder.damaged();
  }
  if (progress.cancelled()) return Cancelled();
  if (result != 1 || !checkSource() || !DecodedCleanly(input, damaged)) return Step::kFailed;
  return FromCopy(CopyUnchanged(segment.path(), out, clocks, {}), segment.path(), outputPath);
}

// A system stream into the output: copied when allowed, else re-encoded
// with its own audio (keepAudio), the audio file given, or none.
Step MotionFromSystemStream(const std::string& input, const StreamProperties& props, const Mode& t,
                            bool copyAllowed, bool keepAudio, Progress& progress, std::FILE* out,
                            CarriedClocks* clocks, const std::string& outputPath,
                            const std::string& otherAudio = std::string()) {
  if (copyAllowed)
    return FromCopy(CopyUnchanged(input, out, clocks, [&](uint64_t pos, uint64_t) { return progress.At(pos, false); }),
                    input, outputPath);
  ScratchFile audio(".audio");
  if (keepAudio && (!audio.ok() || !ExtractAudio(input, audio.path()))) return Step::kFailed;
  const std::string audioPath = keepAudio ? audio.path() : otherAudio;
  auto reader = std::make_shared<SystemStreamReader>();
  if (!reader->Open(input)) return Step::kFailed;
  auto demux = std::make_shared<Demultiplexer>(reader.get(), Demultiplexer::AudioSink());
  VideoDecoder::Source source = [reader, demux, &progress](uint8_t* d, size_t n) -> size_t {
    if (!progress.At(reader->Position())) return 0;
    return demux->ReadVideo(d, n);
  };
  return ReencodeMotion(input, std::move(source), [&] { return ReadWhole(*reader, *demux); }, t,
                        props.pictureRateCode, audioPath, progress, out, clocks, outputPath);
}

bool SameSize(const StreamProperties& p, int w, int h) {
  return p.horizontalSize == w && p.verticalSize == h;
}

// The checked inputs of a list: every file must be readable and an MPEG
// stream of the form it is given as, before anything is written.
struct Input {
  std::string path;
  StreamProperties props{};
};

bool CheckInput(const char* path, int index, bool systemStream, Input* in) {
  if (!path) return Fail("input " + std::to_string(index + 1) + " of the list has no file name");
  in->path = path;
  if (!ReadStreamProperties(in->path, &in->props)) return false;
  if (systemStream && !in->props.systemStream)
    return Fail(FileReason(in->path, "is not an MPEG-1 system stream (it has no pack header)"));
  if (!in->props.videoPresent) return Fail(FileReason(in->path, "has no video stream"));
  return true;
}

uint64_t TotalSize(const std::vector<Input>& inputs) {
  uint64_t total = 0;
  for (const Input& in : inputs) total += static_cast<uint64_t>(in.props.fileSize);
  return total;
}

const char* KindName(int videoKind) {
  return videoKind == 1 ? "motion video" : videoKind == 2 ? "352-wide still" : "still pair";
}

bool NothingJoined(size_t inputs, int wantKind, int mode) {
  return Fail("none of the " + std::to_string(inputs) + " inputs is a " + KindName(wantKind) +
              " stream, which mode " + std::to_string(mode) + " joins");
}

}  // namespace

int JoinStills(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progressCb) {
  const Mode* t = FindMode(ModeSet::kConcatStills, mode);
  if (!t) return Fail(ModeRangeText(ModeSet::kConcatStills, mode));
  if (!outputPath) return Fail("no output file given");
  const int count = list && list->paths ? std::max(list->count, 0) : 0;
  std::vector<Input> inputs(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    if (!CheckInput(list->paths[i], i, true, &inputs[static_cast<size_t>(i)])) return 0;
  Output output;
  if (!output.Create(outputPath)) return 0;
  Progress progress(progressCb, TotalSize(inputs));
  if (!progress.Report(0)) {
    Cancelled();
    return 0;
  }
  const int wantKind = t->kind == kStillPair ? 3 : 2;
  CarriedClocks clocks;
  int joined = 0;
  for (const Input& in : inputs) {
    const StreamProperties& props = in.props;
    // A stream of the other kind is not this mode's: it is left out.
    if (props.videoKind != wantKind) {
      progress.Finish(static_cast<uint64_t>(props.fileSize));
      continue;
    }
    const bool sizeMatches = SameSize(props, t->width, t->height) ||
                             (wantKind == 3 && SameSize(props, t->width / 2, t->height / 2));
    Step step;
    if (sizeMatches && props.pictureRateCode == t->rateCode)
      step = FromCopy(CopyUnchanged(in.path, output.file(), &clocks,
                                    [&](uint64_t pos, uint64_t) { return progress.At(pos, false); }),
                      in.path, outputPath);
    else
      step = ReencodeStill(in.path, props, *t, progress, output.file(), &clocks, outputPath);
    if (step == Step::kDone && progress.cancelled()) step = Cancelled();
    if (step != Step::kDone) return 0;
    ++joined;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  if (count > 0 && joined == 0) return NothingJoined(inputs.size(), wantKind, mode);
  return output.Commit(clocks.endCodeOffset) ? 1 : 0;
}

int JoinMotion(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progressCb) {
  const Mode* t = FindMode(ModeSet::kReencode, mode);
  if (!t) return Fail(ModeRangeText(ModeSet::kReencode, mode));
  if (!outputPath) return Fail("no output file given");
  const int count = list && list->paths ? std::max(list->count, 0) : 0;
  std::vector<Input> inputs(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    if (!CheckInput(list->paths[i], i, true, &inputs[static_cast<size_t>(i)])) return 0;
  Output output;
  if (!output.Create(outputPath)) return 0;
  Progress progress(progressCb, TotalSize(inputs));
  if (!progress.Report(0)) {
    Cancelled();
    return 0;
  }
  CarriedClocks clocks;
  int joined = 0;
  for (const Input& in : inputs) {
    const StreamProperties& props = in.props;
    if (props.videoKind != 1) {
      progress.Finish(static_cast<uint64_t>(props.fileSize));
      continue;
    }
    const bool copy = SameSize(props, t->width, t->height) && props.pictureRateCode == t->rateCode &&
                      props.bitRate < 2880;
    Step step = MotionFromSystemStream(in.path, props, *t, copy,
                                       props.audioValid && props.audioLayer2At44k && props.audio224k,
                                       progress, output.file(), &clocks, outputPath);
    if (step == Step::kDone && progress.cancelled()) step = Cancelled();
    if (step != Step::kDone) return 0;
    ++joined;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  if (count > 0 && joined == 0) return NothingJoined(inputs.size(), 1, mode);
  if (!output.Commit(clocks.endCodeOffset)) return 0;
  progress.Report(100);
  return 1;
}

int JoinMotionComponents(const MotionComponentList* list, int mode, const char* outputPath,
                         ProgressCallback progressCb) {
  const Mode* t = FindMode(ModeSet::kReencode, mode);
  if (!t) return Fail(ModeRangeText(ModeSet::kReencode, mode));
  if (!outputPath) return Fail("no output file given");
  const int count = list && list->entries ? std::max(list->count, 0) : 0;
  std::vector<Input> inputs(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const MotionComponent& entry = list->entries[i];
    // With its own audio an entry is a system stream; without, a video
    // stream of either form.
    if (!CheckInput(entry.path, i, entry.useOwnAudio != 0, &inputs[static_cast<size_t>(i)])) return 0;
    if (entry.audioCount > 0 && !entry.audioPaths)
      return Fail("the audio list of " + std::string(entry.path) + " is missing");
  }
  Output output;
  if (!output.Create(outputPath)) return 0;
  Progress progress(progressCb, TotalSize(inputs));
  CarriedClocks clocks;
  int joined = 0;
  for (int i = 0; i < count; ++i) {
    const MotionComponent& entry = list->entries[i];
    const Input& in = inputs[static_cast<size_t>(i)];
    const StreamProperties& props = in.props;
    if (props.videoKind != 1) {
      progress.Finish(static_cast<uint64_t>(props.fileSize));
      continue;
    }
    Step step;
    if (entry.useOwnAudio) {
      const bool copy = SameSize(props, t->width, t->height) && props.pictureRateCode == t->rateCode;
      step = MotionFromSystemStream(in.path, props, *t, copy,
                                    props.audioValid && props.audioLayer2At44k && props.audio224k,
                                    progress, output.file(), &clocks, outputPath);
    } else {
      // The video alone, with the audio of the entry's own list.
      ScratchFile audio(".audio");
      const bool withAudio = entry.audioCount > 0;
      if (withAudio && (!audio.ok() || !JoinAudioFiles(entry, audio.path()))) return 0;
      const std::string audioPath = withAudio ? audio.path() : std::string();
      if (props.systemStream) {
        step = MotionFromSystemStream(in.path, props, *t, false, false, progress, output.file(), &clocks,
                                      outputPath, audioPath);
      } else {
        auto file = std::make_shared<FileByteSource>(in.path);
        if (!file->ok()) return 0;
        VideoDecoder::Source source = [file, &progress](uint8_t* d, size_t n) -> size_t {
          if (!progress.At(file->position())) return 0;
          return file->Read(d, n);
        };
        step = ReencodeMotion(in.path, std::move(source), [file] { return file->ok(); }, *t,
                              props.pictureRateCode, audioPath, progress, output.file(), &clocks, outputPath);
      }
    }
    if (step == Step::kDone && progress.cancelled()) step = Cancelled();
    if (step != Step::kDone) return 0;
    ++joined;
    progress.Finish(static_cast<uint64_t>(props.fileSize));
  }
  if (count > 0 && joined == 0) return NothingJoined(inputs.size(), 1, mode);
  return output.Commit(clocks.endCodeOffset) ? 1 : 0;
}

}  // namespace vidlathe
