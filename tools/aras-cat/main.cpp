// aras-cat: decodes a WAV, MP3 or WMA file through the audio plug-in to
// 44100 Hz 16-bit stereo PCM, as raw samples or a WAV file, and prints what
// the reader says about the file.
//
//   aras-cat [-q] INPUT [OUTPUT]
//
// OUTPUT ending in ".wav" gets a WAV header; "-" writes raw samples to
// standard output; without OUTPUT the samples are only counted. The report
// (AudioFormatRecord, duration, size, bytes delivered) goes to standard
// output, or to standard error when the samples do. An output that is the
// input itself, by any name, is refused before anything is written; so is
// one the system's output rules refuse (a symbolic link, another user's
// file), and a WAV or PCM file appears whole or not at all.
#include <unistd.h>

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/File.h"
#include "platform/base/Module.h"
#include "platform/base/Overlap.h"
#include "plugins/ARAS.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: aras-cat [-q] INPUT [OUTPUT.wav | OUTPUT.pcm | -]\n");
  return 2;
}

void Put16(std::string& s, unsigned v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string WavHeader(std::uint32_t dataBytes) {
  std::string h = "RIFF";
  Put32(h, 36 + dataBytes);
  h += "WAVEfmt ";
  Put32(h, 16);
  Put16(h, 1);
  Put16(h, 2);
  Put32(h, 44100);
  Put32(h, 176400);
  Put16(h, 4);
  Put16(h, 16);
  h += "data";
  Put32(h, dataBytes);
  return h;
}

std::string OutputName(const std::string& output) { return output == "-" ? "(standard output)" : output; }

}  // namespace

int main(int argc, char** argv) {
  bool quiet = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-q") == 0) {
      quiet = true;
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      return Usage();
    } else {
      args.emplace_back(argv[i]);
    }
  }
  if (args.empty() || args.size() > 2) return Usage();
  const std::string input = args[0];
  const std::string output = args.size() > 1 ? args[1] : "";
  if (output == "-" ? vexa::base::DescriptorIsInput(STDOUT_FILENO, input)
                    : vexa::base::OutputOverlapsInput(output, input)) {
    std::fprintf(stderr, "aras-cat: the output %s is the input %s; give another output\n",
                 output == "-" ? "(standard output)" : output.c_str(), input.c_str());
    return 2;
  }
  if (!output.empty() && output != "-") {
    if (const std::string why = vexa::base::OutputRefusal(output); !why.empty()) {
      std::fprintf(stderr, "aras-cat: %s\n", why.c_str());
      return 2;
    }
  }

  vexa::base::Module plugin = vexa::base::Module::Load("discpakb.dll");
  if (!plugin) {
    std::fprintf(stderr, "aras-cat: cannot load discpakb: %s\n", plugin.Error().c_str());
    return 1;
  }
  auto getNew = plugin.Function<GetNewARASFn>("GetNewARAS");
  auto del = plugin.Function<DeleteARASFn>("DeleteARAS");
  if (!getNew || !del) {
    std::fprintf(stderr, "aras-cat: discpakb lacks its entry points\n");
    return 1;
  }
  // Like the disc library, keep the plug-in (and the decoders it brought in)
  // loaded until the process ends.
  plugin.Release();
  std::unique_ptr<ARAS, DeleteARASFn> stream(getNew(input.c_str()), del);
  if (!stream) {
    std::fprintf(stderr, "aras-cat: %s: not a readable WAV, MP3 or WMA file\n", input.c_str());
    return 1;
  }
  if (stream->Open() != 1) {
    std::fprintf(stderr, "aras-cat: %s: the reader cannot open it\n", input.c_str());
    return 1;
  }

  std::FILE* report = output == "-" ? stderr : stdout;
  const bool wav = output.size() >= 4 && output.compare(output.size() - 4, 4, ".wav") == 0;
  // Standard output is written as it is; a named output through the
  // system's output file, put in place once complete.
  vexa::base::OutputFile file;
  std::FILE* out = nullptr;
  if (output == "-") {
    out = stdout;
  } else if (!output.empty()) {
    if (!file.Open(output)) {
      std::fprintf(stderr, "aras-cat: %s\n", file.Error().c_str());
      return 1;
    }
    out = file.Stream();
    if (wav) std::fwrite(WavHeader(0).data(), 1, 44, out);  // completed at the end
  }

  std::vector<std::uint32_t> buffer(2048);
  std::uint64_t total = 0;
  for (;;) {
    const std::int32_t n = stream->Read(buffer.data(), 8192);
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
    if (out && std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out) != static_cast<std::size_t>(n)) {
      std::fprintf(stderr, "aras-cat: writing %s failed: %s\n", OutputName(output).c_str(), std::strerror(errno));
      return 1;
    }
  }
  // A pipe or device cannot go back for the header's sizes.
  if (out && wav && !file.Direct()) {
    const std::uint32_t bytes = total > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<std::uint32_t>(total);
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(WavHeader(bytes).data(), 1, 44, out);
  }
  if (out == stdout && std::fflush(out) != 0) {
    std::fprintf(stderr, "aras-cat: writing %s failed: %s\n", OutputName(output).c_str(), std::strerror(errno));
    return 1;
  }
  if (out && out != stdout && !file.Commit()) {
    std::fprintf(stderr, "aras-cat: %s\n", file.Error().c_str());
    return 1;
  }

  if (!quiet) {
    const AudioFormatRecord* f = stream->GetFormat();
    if (f) {
      std::fprintf(report, "bitRate=%d peakBitRate=%d sampleRate=%d channels=%d bitsPerSample=%d formatCode=%d\n",
                   f->bitRate, f->peakBitRate, f->sampleRate, f->channels, f->bitsPerSample, f->formatCode);
    } else {
      std::fprintf(report, "format: none\n");
    }
    std::uint32_t sizeBytes = 0;
    const std::int32_t seconds = stream->GetSize(&sizeBytes);
    std::fprintf(report, "durationMs=%u\n", stream->GetDurationMs());
    std::fprintf(report, "size=%u seconds=%d\n", sizeBytes, seconds);
    std::fprintf(report, "delivered=%llu frames=%llu\n", static_cast<unsigned long long>(total),
                 static_cast<unsigned long long>(total / 4));
  }
  return 0;
}
