// Audio-CD tracks: ripping a track to a WAV file on a worker thread while the
// caller's user interface stays alive, and the two interface methods that
// rip and describe a track.
#include <system_error>
#include <thread>

#include "core/VEXACore1.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/WorkRun.h"

namespace vexa::core {

using namespace vexa::com;

namespace {

// What the worker needs: it reads only these and writes only result.
struct RipRequest {
  EngineFactory engine;
  std::function<HRESULT(IVexaLogger**)> logger;
  std::u16string track;
  std::u16string wavPath;
  int result = 1;
};

// The worker's body. The engine objects live in the caller's apartment and
// are used on its thread only, so the worker reads the track through an
// engine of its own, made, used and released on the worker's thread.
int RipAudio(RipRequest& request) {
  std::this_thread::yield();
  const bool apartment = SUCCEEDED(CoInitialize(nullptr));
  int exitCode = 1;
  {
    CVexaCoreUtil quiet;
    CVexaODBase driver(quiet, request.engine, FlowClock::Real());
    Bstr track(request.track), wav(request.wavPath);
    if (driver.InitializeVEXASDK() && driver.CDDAToWav(track.Get(), wav.Get())) exitCode = 0;
  }
  if (exitCode != 0) {
    ComPtr<IVexaLogger> logger;
    if (request.logger && SUCCEEDED(request.logger(logger.Put())) && logger) {
      Bstr component(kLogComponent), type(u"ERROR"), text(u"CVEXACore1::RipAudio - Cannot rip audio file from CD.");
      logger->WriteMessage(component.Get(), type.Get(), text.Get());
    }
  }
  if (apartment) CoUninitialize();
  return exitCode;
}

}  // namespace

bool CVEXACore1::RipAudioTrackFromCD(const std::string& track, std::string* outPath, const std::string& extension) {
  const std::string generating =
      util_.LoadString(4547, "Generating audio track from CD - This may take a few minutes.");
  if (flow_.StatusShown()) {
    flow_.SetStatusText(generating);
    flow_.AdvanceProgress(4, true);
  }
  std::string temp;
  if (!GetTempFilePath(&temp)) {
    return util_.ReportFailure("CVEXACore1::RipAudioTrackFromCD - Cannot create temporary path for title image.",
                               false);
  }
  // The empty file made under the bare name stays in the work directory.
  const std::string wav = temp + extension;
  auto cursor = [&](bool on) {
    if (flow_.StatusShown()) Status().SetWaitCursor(on);
  };
  cursor(true);

  RipRequest request{services_.engine, services_.logger, base::Utf8ToUtf16(track), base::Utf8ToUtf16(wav), 1};
  // The rip runs on the shared work run; its end notice ends the wait.
  Completion done;
  base::WorkRun worker;
  worker.SetOnDone([&] { done.Set(); });
  if (!worker.Start([&] {
        request.result = RipAudio(request);
        return static_cast<std::int32_t>(base::kWorkSuccess);
      })) {
    cursor(false);
    return util_.ReportFailure("CVEXACore1::RipAudioTrackFromCD - Could not create thread to rip audio.", false);
  }
  util_.WaitWithMessagePump(flow_.StatusShown() ? &Status() : nullptr, 1, done);
  worker.Join();

  if (request.result != 0) {
    cursor(false);
    return util_.ReportFailure("CVEXACore1::RipAudioTrackFromCD - CDDAToWav call failed.", false);
  }
  cursor(false);
  if (!base::FileExists(wav)) {
    return util_.ReportFailure("CVEXACore1::RipAudioTrackFromCD - Ripped .wav file does not exist.", false);
  }
  *outPath = wav;
  return true;
}

bool CVEXACore1::DoCDDAToWav(const std::string& track, const std::string& outWAVFile) {
  flow_.SetCode(VEXACoreSuccess);
  if (track.empty()) {
    flow_.SetCode(VEXACoreInvalidFile);
    return flow_.FailCall("CVEXACore1::CDDAToWav - Empty CDDA track argument.");
  }
  if (outWAVFile.empty()) {
    flow_.SetCode(VEXACoreInvalidFile);
    return flow_.FailCall("CVEXACore1::CDDAToWav - Empty Out Wav file argument.");
  }
  if (!driver_ || !driver_->CDDAToWav(track, outWAVFile)) {
    flow_.SetCode(VEXACoreFailure);
    return flow_.FailCall("CVEXACore1::CDDAToWav - ODBase CDDAToWav call failed.");
  }
  return true;
}

HRESULT CVEXACore1::DoGetTrackInfo(BSTR track, LONG* trackSize, double* playTime, LONG* timeToRip) {
  flow_.SetCode(VEXACoreSuccess);
  if (!trackSize || !playTime || !timeToRip) return E_POINTER;
  if (!track || SysStringLen(track) == 0) {
    flow_.SetCode(VEXACoreInvalidFile);
    return Fail("CVEXACore1::GetTrackInfo - Empty CDDA track argument.");
  }
  if (!driver_ || !driver_->GetTrackInfo(track, trackSize, playTime, timeToRip)) {
    flow_.SetCode(VEXACoreInvalidFile);
    return Fail("CVEXACore1::GetTrackInfo - ODBase GetTrackInfo call failed.");
  }
  return S_OK;
}

}  // namespace vexa::core
