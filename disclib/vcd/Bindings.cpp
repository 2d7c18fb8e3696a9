#include "disclib/vcd/Bindings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include "disclib/recorder/ComsLog.h"
#include "disclib/vcd/CaptionLayout.h"
#include "platform/base/Module.h"
#include "platform/imaging/Text.h"

namespace vexa::vcd {

namespace {

template <typename F>
struct Entry {
  std::atomic<F> fn{nullptr};
  F get() const { return fn.load(std::memory_order_acquire); }
  void set(F f) { fn.store(f, std::memory_order_release); }
};

struct BindState {
  std::mutex mutex;
  base::Module vidlathe, toolame, discpaka, discpakb;
  bool ownAudioFactory = false;

  Entry<decltype(&::Vidlathe1)> vidlathe1;
  Entry<decltype(&::MulVidlathe_MP2)> mulVidlatheMp2;
  Entry<decltype(&::MultipleVidlathe2)> multipleVidlathe2;
  Entry<decltype(&::Multi_I_Enc_Still)> multiStill;
  Entry<decltype(&::Multi_I_Enc_Still_MP2)> multiStillMp2;
  Entry<decltype(&::Motion_VCD_Component)> motionComponent;
  Entry<decltype(&::Concatenate_VCD_Stills)> concatenateStills;
  Entry<decltype(&::Concatenate_VCD_motion)> concatenateMotion;
  Entry<decltype(&::Get_Mpeg_Stream_Prop)> streamProp;
  Entry<decltype(&::Get_MP2_Prop)> mp2Prop;
  Entry<Mp2InitEncoderFn> mp2Init;
  Entry<Mp2EncodeBufferFn> mp2Encode;
  Entry<Mp2CloseEncoderFn> mp2Close;
  Entry<NewBasicBitmapFn> newBitmap;
  Entry<DeleteBasicBitmapFn> deleteBitmap;
  Entry<GetNewARASFn> getNewAras;
  Entry<DeleteARASFn> deleteAras;

  void ClearRequired() {
    vidlathe1.set(nullptr);
    mulVidlatheMp2.set(nullptr);
    multipleVidlathe2.set(nullptr);
    multiStill.set(nullptr);
    multiStillMp2.set(nullptr);
    motionComponent.set(nullptr);
    concatenateStills.set(nullptr);
    concatenateMotion.set(nullptr);
    streamProp.set(nullptr);
    mp2Prop.set(nullptr);
    mp2Init.set(nullptr);
    mp2Encode.set(nullptr);
    mp2Close.set(nullptr);
  }
};

// Lives for the process: the libraries are never unloaded behind a caller
// that still holds one of their entry points.
BindState& State() {
  static BindState* state = new BindState;
  return *state;
}

}  // namespace

int VCDBindHelperLibraries() {
  BindState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.vidlathe && s.toolame) return 1;
  // A partial earlier binding: nothing may point into a library that is
  // about to be freed.
  s.ClearRequired();
  s.vidlathe = base::Module();
  s.toolame = base::Module();
  base::Module vidlathe = base::Module::Load("vidlathe.dll");
  if (!vidlathe) return 0;
  base::Module toolame = base::Module::Load("toolame.dll");
  if (!toolame) {
    s.vidlathe = std::move(vidlathe);  // loaded, but nothing bound into it
    return 0;
  }
  s.vidlathe1.set(vidlathe.Function<decltype(&::Vidlathe1)>("Vidlathe1"));
  s.mulVidlatheMp2.set(vidlathe.Function<decltype(&::MulVidlathe_MP2)>("MulVidlathe_MP2"));
  s.multipleVidlathe2.set(vidlathe.Function<decltype(&::MultipleVidlathe2)>("MultipleVidlathe2"));
  s.multiStill.set(vidlathe.Function<decltype(&::Multi_I_Enc_Still)>("Multi_I_Enc_Still"));
  s.multiStillMp2.set(vidlathe.Function<decltype(&::Multi_I_Enc_Still_MP2)>("Multi_I_Enc_Still_MP2"));
  s.motionComponent.set(vidlathe.Function<decltype(&::Motion_VCD_Component)>("Motion_VCD_Component"));
  s.concatenateStills.set(vidlathe.Function<decltype(&::Concatenate_VCD_Stills)>("Concatenate_VCD_Stills"));
  s.concatenateMotion.set(vidlathe.Function<decltype(&::Concatenate_VCD_motion)>("Concatenate_VCD_motion"));
  s.streamProp.set(vidlathe.Function<decltype(&::Get_Mpeg_Stream_Prop)>("Get_Mpeg_Stream_Prop"));
  s.mp2Prop.set(vidlathe.Function<decltype(&::Get_MP2_Prop)>("Get_MP2_Prop"));
  s.mp2Init.set(toolame.Function<Mp2InitEncoderFn>("mp2_init_encoder"));
  s.mp2Encode.set(toolame.Function<Mp2EncodeBufferFn>("mp2_encode_buffer"));
  s.mp2Close.set(toolame.Function<Mp2CloseEncoderFn>("mp2_close_encoder"));
  s.vidlathe = std::move(vidlathe);
  s.toolame = std::move(toolame);

  // The optional plug-ins. The bitmap plug-in's pair replaces any the caller
  // set; the caller's own audio factory is kept.
  if (!s.discpaka) s.discpaka = base::Module::Load("discpaka.dll");
  if (s.discpaka) {
    s.newBitmap.set(s.discpaka.Function<NewBasicBitmapFn>("NewBasicBitmap"));
    s.deleteBitmap.set(s.discpaka.Function<DeleteBasicBitmapFn>("DeleteBasicBitmap"));
  }
  if (s.discpakb || s.ownAudioFactory) return 1;
  s.discpakb = base::Module::Load("discpakb.dll");
  if (s.discpakb) {
    s.getNewAras.set(s.discpakb.Function<GetNewARASFn>("GetNewARAS"));
    s.deleteAras.set(s.discpakb.Function<DeleteARASFn>("DeleteARAS"));
  }
  return 1;
}

void UnbindHelperLibrariesForTesting() {
  BindState& s = State();
  std::lock_guard lock(s.mutex);
  s.ClearRequired();
  s.newBitmap.set(nullptr);
  s.deleteBitmap.set(nullptr);
  s.getNewAras.set(nullptr);
  s.deleteAras.set(nullptr);
  s.ownAudioFactory = false;
  // The modules stay loaded (their code may still be on a stack somewhere);
  // only the handles are forgotten, so the next bind finds them again.
  s.vidlathe.Release();
  s.toolame.Release();
  s.discpaka.Release();
  s.discpakb.Release();
}

bool AudioSourceBound() { return State().getNewAras.get() != nullptr; }

int VCDVidlathe1(void* bits, BITMAPINFOHEADER* header, const char* outputPath, int quantiser, int mode) {
  auto f = State().vidlathe1.get();
  return f ? f(bits, header, outputPath, quantiser, mode) : 0;
}
int VCDMultipleVidlathe2(int count, PictureSource source, const char* outputPath, int mode) {
  auto f = State().multipleVidlathe2.get();
  return f ? f(count, source, outputPath, mode) : 0;
}
int VCDMulVidlathe_MP2(int count, PictureSource source, const char* outputPath, int mode, const char* mp2Path,
                       int mix) {
  auto f = State().mulVidlatheMp2.get();
  return f ? f(count, source, outputPath, mode, mp2Path, mix) : 0;
}
int VCDMulti_I_Enc_Still(int count, PictureSource source, const char* outputPath, int quality, int mode) {
  auto f = State().multiStill.get();
  return f ? f(count, source, outputPath, quality, mode) : 0;
}
int VCDMulti_I_Enc_Still_MP2(int count, PictureSource source, const char* outputPath, int quality, int mode,
                             const char* mp2Path, int mix) {
  auto f = State().multiStillMp2.get();
  return f ? f(count, source, outputPath, quality, mode, mp2Path, mix) : 0;
}
int VCDMotion_VCD_Component(const MotionComponentList* list, int mode, const char* outputPath,
                            ProgressCallback progress) {
  auto f = State().motionComponent.get();
  return f ? f(list, mode, outputPath, progress) : 0;
}
int VCDConcatenate_VCD_Stills(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress) {
  auto f = State().concatenateStills.get();
  return f ? f(list, mode, outputPath, progress) : 0;
}
int VCDConcatenate_VCD_motion(const MpegFileList* list, int mode, const char* outputPath, ProgressCallback progress) {
  auto f = State().concatenateMotion.get();
  return f ? f(list, mode, outputPath, progress) : 0;
}
void VCDGet_Mpeg_Stream_Prop(const char* path, StreamProperties* record) {
  auto f = State().streamProp.get();
  if (f) {
    f(path, record);
  } else if (record) {
    *record = StreamProperties{};
  }
}
void VCDGet_MP2_Prop(const char* path, StreamProperties* record) {
  auto f = State().mp2Prop.get();
  if (f) {
    f(path, record);
  } else if (record) {
    *record = StreamProperties{};
  }
}
Mp2Encoder* VCDmp2_init_encoder(const char* outputPath, int framesPerWrite) {
  auto f = State().mp2Init.get();
  return f ? f(outputPath, framesPerWrite) : nullptr;
}
int VCDmp2_encode_buffer(Mp2Encoder* encoder, const std::int16_t* pcm, int byteCount) {
  auto f = State().mp2Encode.get();
  return f ? f(encoder, pcm, byteCount) : 0;
}
int VCDmp2_close_encoder(Mp2Encoder* encoder) {
  auto f = State().mp2Close.get();
  return f ? f(encoder) : 0;
}
ARAS* VCDGetNewARAS(const char* path) {
  auto f = State().getNewAras.get();
  return f ? f(path) : nullptr;
}
void VCDDeleteARAS(ARAS* stream) {
  auto f = State().deleteAras.get();
  if (f && stream) f(stream);
}
void VCDSetARASFactory(GetNewARASFn newFn, DeleteARASFn deleteFn) {
  BindState& s = State();
  std::lock_guard lock(s.mutex);
  s.getNewAras.set(newFn);
  s.deleteAras.set(deleteFn);
  s.ownAudioFactory = newFn != nullptr;
}
I_BasicBitmap* VCDNewBasicBitmap(std::int32_t width, std::int32_t height, std::int32_t backColour) {
  auto f = State().newBitmap.get();
  return f ? f(width, height, backColour) : nullptr;
}
void VCDDeleteBasicBitmap(I_BasicBitmap* bitmap) {
  auto f = State().deleteBitmap.get();
  if (f && bitmap) f(bitmap);
}
void VCDSetNewBasicBitmap(NewBasicBitmapFn fn) { State().newBitmap.set(fn); }
void VCDSetDeleteBasicBitmap(DeleteBasicBitmapFn fn) { State().deleteBitmap.set(fn); }

std::int32_t VCDGetPicture(const char* file, std::int32_t width, std::int32_t height, std::int32_t captionX,
                           std::int32_t captionY, const char* caption, void* bitsOut, std::size_t bitsCapacity,
                           BITMAPINFOHEADER* headerOut, const char* font, std::int32_t fontSize,
                           std::int32_t charset, std::int32_t flag) {
  I_BasicBitmap* bitmap = VCDNewBasicBitmap(width, height, 0);
  if (!bitmap) return 0;
  // Deleted through the plug-in's own pair, which also balances its
  // component-core initialisation.
  struct Deleter {
    I_BasicBitmap* b;
    ~Deleter() { VCDDeleteBasicBitmap(b); }
  } deleter{bitmap};
  // A television frame's pixels are not square: the picture keeps its own
  // shape on the screen, not in the frame's pixels.
  const VCDPixelShape shape = VCDFramePixelShape(width, height);
  if (!bitmap->SetPixelAspect(shape.width, shape.height)) return 0;
  bool ok = flag ? bitmap->FitImageFile(0, 0, width, height, file, 0)
                 : bitmap->FitImageFileWithBorder(0, 0, width, height, file, 0);
  if (caption && *caption) {
    // Measured as the image utility draws text: the face by name, the
    // points at the screen's resolution.
    imaging::TextStyle style;
    style.family = font ? font : "";
    style.pixelHeight = imaging::PointsToPixels(fontSize);
    auto measure = [&style](std::string_view text, std::int32_t* w, std::int32_t* h) {
      imaging::TextExtent extent;
      if (!imaging::MeasureText(text, style, &extent).ok()) return false;
      *w = extent.width;
      *h = extent.height;
      return true;
    };
    for (const VCDCaptionLine& line : VCDLayOutCaption(caption, captionX, captionY, width, height, measure)) {
      bitmap->Text(line.x, line.y, font ? font : "", fontSize, charset, 0xFFFFFF, -1, line.text.c_str());
    }
  }
  const std::uint8_t* header = nullptr;
  const std::uint8_t* bits = nullptr;
  const std::int32_t bytes = bitmap->CreateDIB(&header, &bits);
  if (bytes <= 0 || !header || !bits) return 0;
  // The caller's buffer must hold the bits: a picture that does not fit
  // fails instead of writing past it.
  if (!bitsOut || static_cast<std::size_t>(bytes) > bitsCapacity || !headerOut) return 0;
  std::memcpy(bitsOut, bits, static_cast<std::size_t>(bytes));
  std::uint32_t headerSize = 0;
  std::memcpy(&headerSize, header, 4);
  std::memcpy(headerOut, header, std::min<std::size_t>(headerSize, sizeof(BITMAPINFOHEADER)));
  return ok ? 1 : 0;
}

float VCDCPUScale() {
  static float factor = [] {
    using Clock = std::chrono::steady_clock;
    // A fixed workload of floating-point and integer arithmetic. It took
    // about 0.18 s on the machine the estimates were made on (factor 1.0);
    // on a current processor it takes well under a millisecond, too short
    // to time once (the timer and any interruption decide). It is run again
    // until kCalibrationTime has passed, and one pass is the mean.
    constexpr auto kCalibrationTime = std::chrono::milliseconds(20);
    static double doubles[4096];
    static std::int32_t ints[4096];
    volatile double sinkD = 0;
    volatile std::int32_t sinkI = 0;
    const auto start = Clock::now();
    std::int64_t passes = 0;
    do {
      for (int round = 0; round < 256; ++round) {
        for (int i = 0; i < 4096; ++i) doubles[i] = i * 5;
        for (int i = 0; i < 4096; ++i) doubles[i] = doubles[i] * 1.1 * 1.1111111111111112 * 2;
        for (int i = 0; i < 4096; ++i) ints[i] = i * 5;
        for (int i = 0; i < 4096; ++i) ints[i] = ints[i] * 10 / 10 * 2;
        sinkD = sinkD + doubles[round * 16];
        sinkI = sinkI + ints[round * 16];
      }
      ++passes;
    } while (Clock::now() - start < kCalibrationTime);
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count() / passes;
    const double seconds = static_cast<double>(ticks) / 1e9;
    discpak::ComsLogF("VCDCPUScale freq %lld ticks %lld time %1.4f", 1000000000LL, static_cast<long long>(ticks),
                      seconds);
    const double measured = seconds > 0 ? seconds * 5.691519635742743 : 1.0;
    // The encoders have not become faster in the measure of this arithmetic
    // (a few hundred times): below the floor the factor would make minutes
    // of encoding an estimate of 0 s. A machine faster than that is
    // estimated at the floor; slower machines keep their larger factor.
    return static_cast<float>(std::max(measured, static_cast<double>(kVCDMinCPUScale)));
  }();
  return factor;
}

}  // namespace vexa::vcd
