// The drive-command debug log behind COMS_StartLog, COMS_Log and
// COMS_StopLog. A caller's line is formatted outside any lock and copied
// into a fixed store of 2048 lines under a short lock; a flusher thread
// writes the store to the file in blocks of up to 512 lines, so logging
// never waits for the disk.
//
// A line is 80 bytes: the seconds since the start as "%08.3f" and two
// spaces (10 bytes; times past 9999.999 s show 9999.999), 69 characters of
// text (longer texts are cut, shorter ones padded with spaces) and a line
// feed. The last line of every block written starts with "F".
//
// The flusher writes a block when 512 lines wait, when lines wait and the
// deadline has passed (5 s after the last flush, moved on to 5 s after the
// last line while lines keep coming; such a block is followed by "Log flushed
// by timeout."), and at the stop, when it writes everything still waiting and
// then "Debug log stopped.". It waits on a condition variable, never in a
// sleep loop; the clock it reads is injectable for tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Time.h"

namespace discpak {

class DebugLog {
 public:
  static constexpr std::size_t kLineSize = 80;
  static constexpr std::size_t kTextSize = 69;
  static constexpr std::size_t kStoreLines = 2048;
  static constexpr std::size_t kFlushLines = 512;
  static constexpr std::chrono::seconds kTimeout{5};

  explicit DebugLog(const vexa::base::Clock* clock = &vexa::base::Clock::Real());
  ~DebugLog();
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  // Does nothing when running; stays stopped when the file cannot be opened.
  void Start(const char* path, bool append);
  void Stop();
  void Log(const char* text);
  bool Running() const;

  // The 80-byte line for a time and a text.
  static std::string FormatLine(double seconds, const char* text);

  // For tests: while held, the flusher writes nothing (the stop still
  // flushes); Wake makes it look at the clock again after a test moved it.
  void HoldFlusher(bool hold);
  void Wake();
  // Blocks written so far, and a wait for a number of them.
  std::size_t Flushes() const;
  void WaitForFlushes(std::size_t count);

 private:
  void FlusherMain();
  // Takes up to kFlushLines lines out of the store (lock held).
  std::size_t TakeBlock(std::vector<char>* block, long* missed);

  const vexa::base::Clock* clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable flushed_;
  std::vector<char> store_;
  std::size_t lines_ = 0;
  long missed_ = 0;
  bool running_ = false;
  bool stopRequested_ = false;
  bool hold_ = false;
  std::size_t flushes_ = 0;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastLine_{};
  std::FILE* file_ = nullptr;
  std::thread flusher_;
  std::mutex startStop_;  // one start or stop at a time
};

// The log of the transport object (COMS_StartLog, COMS_Log, COMS_StopLog).
DebugLog& ComsDebugLog();

// printf-style COMS_Log; formats nothing while the log is stopped.
void ComsLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs "<tag><" and the bytes in hexadecimal, breaking lines after 66
// characters.
void ComsLogBytes(const char* tag, const void* data, std::size_t length);

}  // namespace discpak
