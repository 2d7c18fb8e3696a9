#include "platform/imaging/tests/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/base/Path.h"

namespace vexa::imaging::testing {

bool HaveTool(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }


std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

double RmseOf(const std::string& a, const std::string& b) {
  std::string out;
  RunCommand(std::string(kCompare) + " -metric RMSE " + Quote(a) + " " + Quote(b) + " null:", &out);
  auto open = out.find('(');
  if (open == std::string::npos) return -1;
  return std::atof(out.c_str() + open + 1);
}

namespace {

// A value of /proc/self/status in bytes ("VmRSS:  1234 kB"); -1 when absent.
std::int64_t StatusBytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atoll(line.c_str() + prefix.size()) * 1024;
  }
  return -1;
}

}  // namespace

ChildRun RunInChild(const std::function<int()>& work, int limitSeconds) {
  ChildRun run;
  int fds[2];
  if (::pipe(fds) != 0) {
    run.why = "no pipe";
    return run;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    run.why = "no child";
    ::close(fds[0]);
    ::close(fds[1]);
    return run;
  }
  if (pid == 0) {
    ::close(fds[0]);
    // The peak starts again from here (writing 5 resets it); where that is
    // not allowed, the peak so far is the base.
    std::int64_t base = -1;
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      if (std::fputs("5", f) >= 0 && std::fclose(f) == 0) base = StatusBytes("VmRSS");
    }
    if (base < 0) base = StatusBytes("VmHWM");
    const std::int64_t report[2] = {work(), StatusBytes("VmHWM") - base};
    const bool written = ::write(fds[1], report, sizeof report) == static_cast<ssize_t>(sizeof report);
    ::_exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  // The report, or the end of the pipe when the child ends without one.
  pollfd ready{fds[0], POLLIN, 0};
  if (::poll(&ready, 1, limitSeconds * 1000) <= 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(fds[0]);
    run.why = "the child did not report within " + std::to_string(limitSeconds) + " s";
    return run;
  }
  std::int64_t report[2] = {0, 0};
  const bool read = ::read(fds[0], report, sizeof report) == static_cast<ssize_t>(sizeof report);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !read) {
    run.why = "the child ended without a report (status " + std::to_string(status) + ")";
    return run;
  }
  run.ran = true;
  run.result = static_cast<int>(report[0]);
  run.peakGrowth = report[1];
  return run;
}

TempDir::TempDir() { dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-imaging-test-"); }
TempDir::~TempDir() {
  if (!dir_.empty()) base::RemoveAll(dir_);
}

Bitmap MakeTestPicture(int width, int height, int bitsPerPixel) {
  Bitmap b;
  EXPECT_TRUE(b.Create(width, height, bitsPerPixel).ok());
  const int n = bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = b.row(y);
    for (int x = 0; x < width; ++x, p += n) {
      bool grid = (x / 16 + y / 16) % 2 == 0;
      if (n == 1) {
        *p = static_cast<std::uint8_t>((x * 7 + y * 3) & 255);
        continue;
      }
      p[0] = static_cast<std::uint8_t>(255 * x / std::max(1, width - 1));
      p[1] = static_cast<std::uint8_t>(255 * y / std::max(1, height - 1));
      p[2] = grid ? 200 : 40;
      if (n == 4) p[3] = 255;
    }
  }
  return b;
}

bool WritePpm(const Bitmap& bitmap, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << bitmap.width() << " " << bitmap.height() << "\n255\n";
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      std::uint8_t r, g, b;
      bitmap.GetRgb(x, y, &r, &g, &b);
      f.put(static_cast<char>(r)).put(static_cast<char>(g)).put(static_cast<char>(b));
    }
  }
  return static_cast<bool>(f);
}

}  // namespace vexa::imaging::testing
