// Owner of one file descriptor: closed when the owner goes, handed on by
// move, never copied. Code that opens a file, a socket or a lock keeps it in
// one of these, so no path of return can leak it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vexa::base {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes over fd (a negative value holds nothing).
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.Release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  explicit operator bool() const { return Valid(); }

  // Gives up ownership without closing.
  int Release() { return std::exchange(fd_, -1); }
  // Closes what is held and holds fd instead.
  void Reset(int fd = -1) {
    const int old = std::exchange(fd_, fd);
    if (old >= 0) ::close(old);
  }
  // Closes now and reports whether the close worked: for files whose last
  // writes a failing close would lose. An interrupted close has still
  // released the descriptor.
  bool Close() {
    const int old = std::exchange(fd_, -1);
    if (old < 0) return true;
    return ::close(old) == 0 || errno == EINTR;
  }

 private:
  int fd_ = -1;
};

}  // namespace vexa::base
