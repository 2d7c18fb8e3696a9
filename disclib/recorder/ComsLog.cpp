#include "disclib/recorder/ComsLog.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "disclib/recorder/CDR4COMS.h"
#include "platform/base/File.h"

namespace discpak {

DebugLog::DebugLog(const vexa::base::Clock* clock) : clock_(clock) {}

DebugLog::~DebugLog() { Stop(); }

std::string DebugLog::FormatLine(double seconds, const char* text) {
  if (!(seconds >= 0)) seconds = 0;
  if (seconds > 9999.999) seconds = 9999.999;
  char head[16];
  std::snprintf(head, sizeof head, "%08.3f  ", seconds);
  std::string line(head, 10);
  const char* t = text ? text : "";
  for (std::size_t i = 0; i < kTextSize && t[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    line.push_back(c < 0x20 ? ' ' : static_cast<char>(c));
  }
  line.resize(kLineSize - 1, ' ');
  line.push_back('\n');
  return line;
}

bool DebugLog::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void DebugLog::Start(const char* path, bool append) {
  std::lock_guard guard(startStop_);
  {
    std::lock_guard lock(mutex_);
    if (running_) return;
  }
  if (!path) return;
  // Written as the drive works, so in place: never through a symbolic link
  // nor into another user's file. It names the files burned: the user's
  // alone.
  const int fd = vexa::base::OpenOwnLogFile(path, !append, 0600);
  if (fd < 0) return;
  std::FILE* f = fdopen(fd, "ab");
  if (!f) {
    close(fd);
    return;
  }
  std::lock_guard lock(mutex_);
  file_ = f;
  store_.assign(kStoreLines * kLineSize, ' ');
  lines_ = 0;
  missed_ = 0;
  flushes_ = 0;
  stopRequested_ = false;
  start_ = lastLine_ = clock_->Monotonic();
  running_ = true;
  flusher_ = std::thread([this] { FlusherMain(); });
}

void DebugLog::Stop() {
  std::lock_guard guard(startStop_);
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    stopRequested_ = true;
    wake_.notify_all();
  }
  flusher_.join();
  std::lock_guard lock(mutex_);
  lines_ = 0;
  running_ = false;
  store_.clear();
  store_.shrink_to_fit();
  std::fclose(file_);
  file_ = nullptr;
}

void DebugLog::Log(const char* text) {
  std::unique_lock lock(mutex_);
  if (!running_) return;
  const auto now = clock_->Monotonic();
  const double seconds = std::chrono::duration<double>(now - start_).count();
  lock.unlock();
  const std::string line = FormatLine(seconds, text);
  lock.lock();
  if (!running_) return;
  if (lines_ >= kStoreLines) {
    ++missed_;
    return;
  }
  std::memcpy(store_.data() + lines_ * kLineSize, line.data(), kLineSize);
  ++lines_;
  lastLine_ = now;
  // The flusher sleeps without a deadline while nothing waits, and needs
  // no call before a block is full otherwise.
  if (lines_ == 1 || lines_ == kFlushLines) wake_.notify_all();
}

std::size_t DebugLog::TakeBlock(std::vector<char>* block, long* missed) {
  const std::size_t n = std::min(lines_, kFlushLines);
  std::memcpy(block->data(), store_.data(), n * kLineSize);
  std::memmove(store_.data(), store_.data() + n * kLineSize, (lines_ - n) * kLineSize);
  lines_ -= n;
  *missed = missed_;
  missed_ = 0;
  return n;
}

void DebugLog::FlusherMain() {
  std::vector<char> block(kFlushLines * kLineSize);
  std::unique_lock lock(mutex_);
  auto deadline = start_ + kTimeout;
  for (;;) {
    const auto now = clock_->Monotonic();
    if (lastLine_ + kTimeout > deadline) deadline = lastLine_ + kTimeout;
    const bool stop = stopRequested_;
    const bool full = lines_ >= kFlushLines;
    const bool timedOut = lines_ > 0 && now >= deadline;
    if (stop || (!hold_ && (full || timedOut))) {
      deadline = now + kTimeout;
      long missed = 0;
      const std::size_t n = TakeBlock(&block, &missed);
      lock.unlock();
      if (missed) {
        char text[64];
        std::snprintf(text, sizeof text, "Flush missed %04ld lines of data", missed);
        Log(text);  // becomes a line of the next block
      }
      if (n) {
        block[(n - 1) * kLineSize] = 'F';
        std::fwrite(block.data(), kLineSize, n, file_);
        std::fflush(file_);
      }
      if (timedOut && !full && !stop) {
        std::fputs("Log flushed by timeout.\n", file_);
        std::fflush(file_);
      }
      lock.lock();
      if (n) ++flushes_;
      flushed_.notify_all();
      if (stop) {
        // Everything still waiting is written before the stop line.
        if (lines_ > 0) continue;
        std::fputs("Debug log stopped.\n", file_);
        std::fflush(file_);
        stopRequested_ = false;
        return;
      }
      continue;
    }
    if (hold_ || lines_ == 0) {
      wake_.wait(lock);
    } else {
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      wait = std::clamp(wait, std::chrono::milliseconds(1), std::chrono::milliseconds(5000));
      wake_.wait_for(lock, wait);
    }
  }
}

void DebugLog::HoldFlusher(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
  wake_.notify_all();
}

void DebugLog::Wake() {
  std::lock_guard lock(mutex_);
  wake_.notify_all();
}

std::size_t DebugLog::Flushes() const {
  std::lock_guard lock(mutex_);
  return flushes_;
}

void DebugLog::WaitForFlushes(std::size_t count) {
  std::unique_lock lock(mutex_);
  flushed_.wait(lock, [&] { return flushes_ >= count || !running_; });
}

DebugLog& ComsDebugLog() {
  static DebugLog log;
  return log;
}

void ComsLogF(const char* format, ...) {
  DebugLog& log = ComsDebugLog();
  if (!log.Running()) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  log.Log(text);
}

void ComsLogBytes(const char* tag, const void* data, std::size_t length) {
  DebugLog& log = ComsDebugLog();
  if (!log.Running()) return;
  std::string line = std::string(tag ? tag : "") + "<";
  const auto* p = static_cast<const unsigned char*>(data);
  char hex[4];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", p[i]);
    line += hex;
    if (line.size() >= 66) {
      log.Log(line.c_str());
      line.clear();
    }
  }
  if (!line.empty()) log.Log(line.c_str());
}

}  // namespace discpak

extern "C" {

void COMS_StartLog(const char* path, LONG append) { discpak::ComsDebugLog().Start(path, append != 0); }
void COMS_StopLog() { discpak::ComsDebugLog().Stop(); }
void COMS_Log(const char* text) { discpak::ComsDebugLog().Log(text); }

}  // extern "C"
