// libFuzzer target: the WAV head walker and the WAV reader (plain PCM and the
// decoder path) on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "plugins/discpakb/ByteSource.h"
#include "plugins/discpakb/RiffWave.h"
#include "plugins/discpakb/WavAudioStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vexa::discpakb;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  MemorySource source(bytes);
  WaveLayout layout;
  ParseWave(source, &layout, nullptr);
  WavAudioStream stream("fuzz.wav", std::make_unique<MemorySource>(bytes));
  if (stream.Open() == 1) {
    std::uint32_t out = 0;
    stream.GetSize(&out);
    stream.GetDurationMs();
    stream.GetFormat();
    std::vector<std::uint32_t> buffer(2048);
    // Bounded: a stated data size can be far larger than the input.
    for (int i = 0; i < 64 && stream.Read(buffer.data(), 8192) > 0; ++i) {
    }
  }
  return 0;
}
