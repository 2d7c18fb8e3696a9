// A stand-in for both plug-ins, for the binding tests: an audio factory that
// makes no streams and a bitmap whose picture is a known pattern of a given
// size.
#include <cstring>
#include <vector>

#include "plugins/ARAS.h"
#include "plugins/BasicBitmap.h"

namespace {

class FakeBitmap final : public I_BasicBitmap {
 public:
  bool Init(std::int32_t w, std::int32_t h, std::int32_t) override {
    w_ = w;
    h_ = h;
    return w > 0 && h > 0;
  }
  bool Text(std::int32_t, std::int32_t, const char*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
            const char*) override {
    return true;
  }
  bool StretchImageFile(std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*) override { return true; }
  bool FitImageFile(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, const char* f,
                    std::int32_t c) override {
    return FitImageFileWithBorder(x, y, w, h, f, c);
  }
  bool FitImageFileWithBorder(std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char* f,
                              std::int32_t) override {
    return f && std::strstr(f, "missing") == nullptr;
  }
  std::int32_t CreateDIB(const std::uint8_t** header, const std::uint8_t** bits) override {
    const std::int32_t stride = (w_ * 3 + 3) & ~3;
    const std::int32_t size = stride * h_;
    bits_.assign(static_cast<std::size_t>(size), 0x5A);
    std::memset(header_, 0, sizeof header_);
    const std::int32_t fields[] = {40, w_, h_};
    std::memcpy(header_, fields, sizeof fields);
    header_[12] = 1;
    header_[14] = 24;
    std::memcpy(header_ + 20, &size, 4);
    *header = header_;
    *bits = bits_.data();
    return size;
  }
  bool WriteBMP(const char*) override { return false; }
  bool SetPixelAspect(std::int32_t w, std::int32_t h) override { return w > 0 && h > 0; }

 private:
  std::int32_t w_ = 0, h_ = 0;
  std::uint8_t header_[40];
  std::vector<std::uint8_t> bits_;
};

}  // namespace

extern "C" VEXA_EXPORT ARAS* GetNewARAS(const char*) { return nullptr; }
extern "C" VEXA_EXPORT void DeleteARAS(ARAS* s) { delete s; }
extern "C" VEXA_EXPORT I_BasicBitmap* NewBasicBitmap(std::int32_t w, std::int32_t h, std::int32_t c) {
  auto* b = new FakeBitmap;
  if (w && h && !b->Init(w, h, c)) {
    delete b;
    return nullptr;
  }
  return b;
}
extern "C" VEXA_EXPORT void DeleteBasicBitmap(I_BasicBitmap* b) { delete b; }
