// A drive layer of the test's own behind the engine's DriveAccess: drives by
// device number with their capabilities, disc, speeds and audio tracks, and
// counters of what the engine asked. Used where a test needs a machine the
// simulated recorder does not play (several devices, a drive refusing a
// command) or wants to see the calls themselves.
#pragma once

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/DriveAccess.h"

namespace vexa::engine::test {

struct FakeDisc {
  std::uint8_t info[32] = {};        // READ DISC INFORMATION reply
  std::vector<std::int32_t> tracks;  // start sectors of audio tracks 1..n, then the lead-out
  std::vector<std::uint8_t> audio;   // 2352 bytes a sector from sector 0
  std::int32_t readErrorAt = -1;     // a READ CD covering this sector fails
  std::int32_t nextWritable = 0;
};

struct FakeDriveSpec {
  std::int32_t caps = 0;
  std::string path;
  std::string inquiry = "VEXASIM CD-RW FAKE      1.00";
  std::int32_t status = 0;
  std::vector<std::int32_t> speeds;  // supported write speeds
  std::int32_t blockingAnswer = 0;
  std::int32_t blankAnswer = 0;
  std::string lastError;
  std::int32_t readSpeed = 1024;     // 2048 answer of the read-speed operation
  FakeDisc disc;
};

// A drive object: its number and description.
struct FakeDrive {
  std::int32_t number;
  std::int32_t currentSpeed = 0;
};

class FakeDriveAccess : public DriveAccess {
 public:
  std::map<std::int32_t, FakeDriveSpec> specs;
  std::atomic<int> live{0};
  std::atomic<int> discInfoReads{0};
  std::vector<std::int32_t> speedQueries;
  std::string logPath;
  bool logAppend = false;
  bool logging = false;
  std::vector<std::string> logLines;
  std::vector<std::int32_t> blockingCalls;
  std::mutex mutex;

  static FakeDrive* F(DriveHandle* d) { return reinterpret_cast<FakeDrive*>(d); }
  FakeDriveSpec& S(DriveHandle* d) { return specs.at(F(d)->number); }

  DriveHandle* CreateDrive(std::int32_t device) override {
    if (!specs.count(device & 0xFF)) return nullptr;
    ++live;
    auto* d = new FakeDrive{device & 0xFF};
    d->currentSpeed = specs[device & 0xFF].speeds.empty() ? 0 : specs[device & 0xFF].speeds.back();
    return reinterpret_cast<DriveHandle*>(d);
  }
  void DeleteDrive(DriveHandle* drive) override {
    if (!drive) return;
    --live;
    delete F(drive);
  }
  std::string GetDrivePath(DriveHandle* d) override { return S(d).path; }
  std::int32_t GetDriveNum(DriveHandle* d) override { return F(d)->number; }
  std::int32_t GetDriveCaps(DriveHandle* d) override { return S(d).caps; }
  std::int32_t GetInquiry(DriveHandle* d, char* text) override {
    std::strncpy(text, S(d).inquiry.c_str(), 28);
    return S(d).inquiry.empty() ? 0 : 1;
  }
  std::int32_t GetDriveStatus(DriveHandle* d) override { return S(d).status; }
  std::int32_t ReadCD(DriveHandle* d, std::int32_t start, std::int32_t count, void* buffer, std::int32_t type,
                      std::int32_t size) override {
    const FakeDisc& disc = S(d).disc;
    if (type != 1 || size != 2352) return 6;
    if (disc.readErrorAt >= start && disc.readErrorAt < start + count) return 1;
    const std::size_t from = static_cast<std::size_t>(start) * 2352;
    const std::size_t bytes = static_cast<std::size_t>(count) * 2352;
    if (from + bytes > disc.audio.size()) return 1;
    std::memcpy(buffer, disc.audio.data() + from, bytes);
    return 0;
  }
  std::int32_t ReadSpeedQuery(DriveHandle* d, std::int32_t code) override {
    return code == 2048 ? S(d).readSpeed : 1024;
  }
  std::int32_t SpeedQuery(DriveHandle* d, std::int32_t code) override {
    std::lock_guard lock(mutex);
    speedQueries.push_back(code);
    FakeDriveSpec& s = S(d);
    if (s.speeds.empty()) return 1024;
    if (code == 2048) return F(d)->currentSpeed;
    if (code & 0x1000) {
      const std::int32_t x = code & 0xFFF;
      for (auto v : s.speeds) {
        if (v == x) return x;
      }
      return 1024;
    }
    // Set: the highest supported speed not above the request.
    std::int32_t taken = s.speeds.front();
    for (auto v : s.speeds) {
      if (v <= code) taken = std::max(taken, v);
    }
    F(d)->currentSpeed = taken;
    return taken;
  }
  std::int32_t SetBlocking(DriveHandle* d, std::int32_t type) override {
    blockingCalls.push_back(type);
    return S(d).blockingAnswer;
  }
  std::int32_t Eject(DriveHandle*) override { return 1; }
  std::int32_t Load(DriveHandle*) override { return 1; }
  std::int32_t LockDrive(DriveHandle*) override { return 1; }
  std::int32_t UnlockDrive(DriveHandle*) override { return 1; }
  std::int32_t ReadDiscInfo(DriveHandle* d, std::uint8_t* buffer) override {
    ++discInfoReads;
    std::memcpy(buffer, S(d).disc.info, 32);
    return S(d).status == 5 ? 1 : 0;
  }
  std::int32_t ReadTOC(DriveHandle* d, std::uint8_t* toc) override {
    const FakeDisc& disc = S(d).disc;
    std::memset(toc, 0, 804);
    if (disc.tracks.size() < 2) return 1;
    const int n = static_cast<int>(disc.tracks.size()) - 1;
    toc[2] = 1;
    toc[3] = static_cast<std::uint8_t>(n);
    for (int i = 0; i <= n; ++i) {
      std::uint8_t* e = toc + 4 + 8 * i;
      e[1] = 0x10;
      e[2] = static_cast<std::uint8_t>(i == n ? 0xAA : i + 1);
      std::memcpy(e + 4, &disc.tracks[static_cast<std::size_t>(i)], 4);
    }
    return 0;
  }
  std::int32_t ReadTrackInfo(DriveHandle* d, std::int32_t, std::uint8_t* info) override {
    std::memset(info, 0, 36);
    std::memcpy(info + 12, &S(d).disc.nextWritable, 4);
    return 0;
  }
  std::int32_t StartTAO(DriveHandle*, std::int32_t, std::int32_t, std::int32_t, const std::uint8_t*,
                        const std::uint8_t*) override {
    return 0;
  }
  std::int32_t WriteTAO(DriveHandle*, std::int32_t, std::int32_t, const std::uint8_t*) override { return 0; }
  std::int32_t FinishTAO(DriveHandle*) override { return 0; }
  std::int32_t CloseSession(DriveHandle*, std::int32_t, std::int32_t) override { return 1; }
  std::string GetLastError(DriveHandle* d) override { return S(d).lastError; }
  std::int32_t BlankDisc(DriveHandle* d, std::int32_t) override { return S(d).blankAnswer; }
  std::int32_t IsIdle(DriveHandle*) override { return 1; }
  void StartLog(const std::string& path, bool append) override {
    logPath = path;
    logAppend = append;
    logging = true;
  }
  void StopLog() override { logging = false; }
  void Log(const std::string& text) override {
    std::lock_guard lock(mutex);
    logLines.push_back(text);
  }
};

// A blank CD-R in a writer at `path`.
inline FakeDriveSpec BlankWriter(const std::string& path, std::vector<std::int32_t> speeds = {1, 2, 4, 8}) {
  FakeDriveSpec s;
  s.caps = 1 | 64 | 128 | 256;
  s.path = path;
  s.speeds = std::move(speeds);
  s.disc.info[2] = 0x00;  // empty
  s.disc.info[4] = 1;     // one (open) session
  return s;
}

inline FakeDriveSpec Reader(const std::string& path) {
  FakeDriveSpec s;
  s.caps = 1;
  s.path = path;
  s.disc.info[2] = 0x0E;  // complete, last session complete
  s.disc.info[4] = 1;
  return s;
}

}  // namespace vexa::engine::test
