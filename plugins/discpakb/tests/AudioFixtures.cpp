#include "plugins/discpakb/tests/AudioFixtures.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/base/Path.h"

namespace vexa::discpakb::testing {



bool HaveTool(const std::string& name) { return Shell("command -v " + name + " >/dev/null") == 0; }

void AudioTest::SetUp() {
  dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-aras-");
  ASSERT_FALSE(dir_.empty());
}

void AudioTest::TearDown() { base::RemoveAll(dir_); }

std::string AudioTest::Make(const std::string& name, const std::string& args) {
  const std::string out = Path(name);
  std::string log;
  const int rc = Shell("ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " '" + out + "'", &log);
  EXPECT_EQ(rc, 0) << log;
  return out;
}

std::string StereoTone(double seconds) {
  std::ostringstream s;
  s << "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(660*2*PI*t):s=44100:d=" << seconds << "\"";
  return s.str();
}

std::string MonoTone(double seconds) {
  std::ostringstream s;
  s << "-f lavfi -i \"aevalsrc=0.5*sin(523*2*PI*t):s=44100:d=" << seconds << "\"";
  return s.str();
}

std::vector<std::int16_t> FfmpegDecode(const std::string& path, int rate, int channels, bool asStereo) {
  std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + path + "' -f s16le -acodec pcm_s16le";
  if (channels) cmd += " -ac " + std::to_string(channels);
  if (rate) cmd += " -ar " + std::to_string(rate);
  cmd += " -";
  const std::string bytes = vexa::testsupport::ShellOutput(cmd);
  std::vector<std::int16_t> out(bytes.size() / 2);
  if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 2);
  if (asStereo && channels == 1) {
    std::vector<std::int16_t> stereo;
    stereo.reserve(out.size() * 2);
    for (std::int16_t v : out) stereo.insert(stereo.end(), {v, v});
    return stereo;
  }
  return out;
}

double FfprobeStart(const std::string& path) {
  std::string out;
  if (Shell("ffprobe -v error -select_streams a:0 -show_entries stream=start_time -of default=nw=1:nk=1 '" + path + "'",
            &out) != 0)
    return -1;
  return std::atof(out.c_str());
}

double FfprobeDuration(const std::string& path) {
  std::string out;
  if (Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" + path + "'", &out) != 0)
    return -1;
  return std::atof(out.c_str());
}

std::vector<std::int16_t> ReadAll(ARAS* stream, int chunk, std::vector<int>* reads) {
  std::vector<std::int16_t> out;
  std::vector<std::uint32_t> buf(static_cast<std::size_t>(chunk) / 4);
  for (;;) {
    const int n = stream->Read(buf.data(), chunk);
    if (reads) reads->push_back(n);
    if (n <= 0) break;
    const auto* s = reinterpret_cast<const std::int16_t*>(buf.data());
    out.insert(out.end(), s, s + n / 2);
  }
  return out;
}

Match BestMatch(const std::vector<std::int16_t>& ours, const std::vector<std::int16_t>& theirs, int maxShift) {
  Match best;
  const long a = static_cast<long>(ours.size() / 2), b = static_cast<long>(theirs.size() / 2);
  auto rmsAt = [&](int shift, long from, long to) {
    // ours[i] against theirs[i + shift]
    const long start = std::max({from, -static_cast<long>(shift), 0L});
    const long end = std::min({to, a, b - shift});
    if (end - start < 1000) return std::pair<double, long>(1e9, 0);
    double sum = 0;
    for (long i = start; i < end; ++i) {
      for (int c = 0; c < 2; ++c) {
        const double d = ours[2 * i + c] - theirs[2 * (i + shift) + c];
        sum += d * d;
      }
    }
    return std::pair<double, long>(std::sqrt(sum / (2.0 * static_cast<double>(end - start))), end - start);
  };
  // The shift is found on a window, then measured over the whole overlap.
  const long from = std::min(a / 3, 20000L);
  int bestShift = 0;
  double bestWindow = 1e18;
  for (int shift = -maxShift; shift <= maxShift; ++shift) {
    const double r = rmsAt(shift, from, from + 4096).first;
    if (r < bestWindow) {
      bestWindow = r;
      bestShift = shift;
    }
  }
  const auto [rms, overlap] = rmsAt(bestShift, 0, a);
  best.rms = rms;
  best.shift = bestShift;
  best.overlap = static_cast<std::size_t>(overlap);
  return best;
}

double Rms(const std::vector<std::int16_t>& v) {
  double sum = 0;
  for (std::int16_t s : v) sum += static_cast<double>(s) * s;
  return v.empty() ? 0 : std::sqrt(sum / static_cast<double>(v.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexa::discpakb::testing
