#include "encoder/coder/EncodeStream.h"

#include <memory>
#include <thread>
#include <vector>

#include "encoder/coder/EncoderThread.h"
#include "platform/base/Executor.h"
#include "encoder/common/CodedStreamBuffer.h"
#include "encoder/common/Failure.h"
#include "encoder/common/OutputFile.h"
#include "encoder/mux/AudioInputQueue.h"
#include "encoder/mux/Multiplexer.h"
#include "encoder/reader/StreamProperties.h"

namespace vidlathe {

namespace {

bool AudioUsable(const std::string& path) {
  StreamProperties props{};
  if (!ReadMp2Properties(path, &props)) return false;
  if (!props.audioValid || !props.audioLayer2At44k)
    return Fail(FileReason(path, "not MPEG-1 Layer II audio at 44.1 kHz"));
  return true;
}

// The planes a picture of the mode must have.
bool PlanesFit(const StillPlanes& p, const Mode& m) {
  const bool pair = m.kind == kStillPair;
  const size_t w = static_cast<size_t>(pair ? m.width / 2 : m.width);
  const size_t h = static_cast<size_t>(pair ? m.height / 2 : m.height);
  if (p.y.size() != w * h || p.u.size() != (w / 2) * (h / 2) || p.v.size() != p.u.size()) return false;
  if (!pair) return true;
  const size_t W = static_cast<size_t>(m.width), H = static_cast<size_t>(m.height);
  return p.y2.size() == W * H && p.u2.size() == (W / 2) * (H / 2) && p.v2.size() == p.u2.size();
}

}  // namespace

int EncodeStream(const StreamRequest& request, const PictureFeed& feed) {
  const Mode& mode = *request.mode;
  const bool withAudio = !request.audioPath.empty();
  if (withAudio && !AudioUsable(request.audioPath)) return 0;

  OutputFile output;
  if (!output.Open(request.outputPath)) return 0;

  CodedStreamBuffer coded;
  PictureQueue pictures(kPictureQueueSize);
  std::unique_ptr<AudioInputQueue> audio;
  if (withAudio) audio = std::make_unique<AudioInputQueue>();

  EncodeJob job;
  job.SetUp(mode.kind, mode.width, mode.height, mode.aspectCode, mode.rateCode,
            static_cast<uint32_t>(request.quantiser), &coded);

  MultiplexJob mux;
  mux.audio = audio.get();
  mux.outputPath = request.outputPath;
  mux.output = output.file();
  mux.encodeJob = &job;

  // Every thread of the call records its failures in the call's log.
  FailureLog* log = CurrentFailureLog();
  bool fed = true, audioRead = true;
  {
    // Every queue exists before any thread starts.
    // The stages run beside this feed on threads of the side reserve
    // (platform/base/Executor.h), which are kept from call to call.
    vexa::base::SideThread reader;
    if (audio)
      reader = vexa::base::SideThread([&] {
        FailureScope scope(log);
        audioRead = RunAudioFileReader(request.audioPath, request.loopAudio, audio.get());
      });
    vexa::base::SideThread encoder([&] {
      FailureScope scope(log);
      RunEncoderThread(&job, &pictures);
    });
    vexa::base::SideThread multiplexer([&] {
      FailureScope scope(log);
      RunMultiplexer(&mux);
    });

    for (;;) {
      auto planes = std::make_unique<StillPlanes>();
      uint32_t ms = 0;
      const Feed f = feed(planes.get(), &ms);
      if (f == Feed::kEnd) break;
      if (f == Feed::kFailed) {
        fed = false;
        break;
      }
      if (!PlanesFit(*planes, mode)) {
        fed = Fail("a picture does not have the planes of the stream's size");
        break;
      }
      // A refused put means the encoder has stopped; it says why.
      if (!pictures.Push(QueuedPicture{std::move(planes), ms})) {
        fed = false;
        break;
      }
    }
    pictures.Push(QueuedPicture{nullptr, 0});
    pictures.Close();
    encoder.Join();
    multiplexer.Join();
    if (audio) {
      audio->Abort();  // releases a reader blocked on a full queue
      reader.Join();
    }
  }
  if (job.success != 1 && mux.result == 1) Fail("the encoder stopped before the end of the pictures");
  const bool ok = fed && audioRead && mux.result == 1 && job.success == 1;
  return output.Commit(ok) ? 1 : 0;
}

PictureFeed PictureSourceFeed(PictureSource source, int count, uint32_t kind, int width, int height) {
  struct State {
    std::vector<uint8_t> pixels;
    int given = 0;
  };
  auto state = std::make_shared<State>();
  // The library's picture buffer, handed to the source each time.
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  state->pixels.resize(bytes);
  return [=](StillPlanes* planes, uint32_t* ms) {
    if (state->given >= count) return Feed::kEnd;
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biSizeImage = static_cast<DWORD>(bytes);
    const int index = ++state->given;
    const int shown = source(state->pixels.data(), &h);
    if (shown <= 0) {
      Fail("the picture source gave no picture " + std::to_string(index) + " of " + std::to_string(count));
      return Feed::kFailed;
    }
    BitmapSource src;
    src.header = h;
    src.pixels = state->pixels.data();
    src.pixelBytes = bytes;
    if (!MakeStillPlanes(src, kind, width, height, planes)) {
      Fail("picture " + std::to_string(index) + " of the picture source is not a " + std::to_string(width) +
           " x " + std::to_string(height) + " picture of 32 bits per pixel");
      return Feed::kFailed;
    }
    *ms = static_cast<uint32_t>(shown);
    return Feed::kPicture;
  };
}

}  // namespace vidlathe
