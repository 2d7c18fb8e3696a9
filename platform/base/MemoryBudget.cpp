#include "platform/base/MemoryBudget.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <utility>

namespace vexa::base {

MemoryBudget::MemoryBudget(std::uint64_t capacity) : capacity_(capacity) {}

MemoryBudget::Lease::Lease(Lease&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

MemoryBudget::Lease& MemoryBudget::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

void MemoryBudget::Lease::Release() {
  if (budget_) std::exchange(budget_, nullptr)->Give(std::exchange(bytes_, 0));
}

// Nothing held: anything fits, even a request beyond the whole budget.
bool MemoryBudget::Fits(std::uint64_t bytes) const {
  return bytes == 0 || held_ == 0 || (held_ <= capacity_ && bytes <= capacity_ - held_);
}

MemoryBudget::Lease MemoryBudget::Acquire(std::uint64_t bytes, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  const std::uint64_t ticket = nextTicket_++;
  queue_.push_back(ticket);
  const bool granted = changed_.wait(lock, stop, [&] { return queue_.front() == ticket && Fits(bytes); });
  queue_.erase(std::find(queue_.begin(), queue_.end(), ticket));
  if (granted) {
    held_ += bytes;
    peakLeases_ = std::max(peakLeases_, ++leases_);
  }
  lock.unlock();
  // The next in line may fit too (or may now be first, after a stop).
  changed_.notify_all();
  return granted ? Lease(this, bytes) : Lease();
}

void MemoryBudget::Give(std::uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    held_ -= bytes;
    --leases_;
  }
  changed_.notify_all();
}

std::uint64_t MemoryBudget::capacity() const {
  std::lock_guard lock(mutex_);
  return capacity_;
}

void MemoryBudget::SetCapacity(std::uint64_t capacity) {
  {
    std::lock_guard lock(mutex_);
    capacity_ = capacity;
  }
  changed_.notify_all();
}

std::uint64_t MemoryBudget::held() const {
  std::lock_guard lock(mutex_);
  return held_;
}

std::size_t MemoryBudget::waiting() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::size_t MemoryBudget::peakLeases() const {
  std::lock_guard lock(mutex_);
  return peakLeases_;
}

void MemoryBudget::ResetPeak() {
  std::lock_guard lock(mutex_);
  peakLeases_ = leases_;
}

namespace {

// A "Key:   1234 kB" line of /proc/meminfo, in bytes; 0 when absent.
std::uint64_t MemInfoBytes(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name, unit;
  std::uint64_t value = 0;
  while (in >> name >> value) {
    std::getline(in, unit);
    if (name == key + ":") return value * 1024;
  }
  return 0;
}

// A control-group file holding one number; false for "max" or none.
bool ReadNumber(const std::string& path, std::uint64_t* value) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text)) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// What the process's control group and those above it still allow (limit
// less use), the least of them; 0 when none has a limit. The unified
// hierarchy (memory.max, "max" for none) or the older memory controller
// (memory.limit_in_bytes, a huge number for none).
std::uint64_t ControlGroupRoom() {
  std::ifstream in("/proc/self/cgroup");
  std::string line, path, root, limitFile, usageFile;
  while (std::getline(in, line)) {
    if (line.rfind("0::", 0) == 0 && root.empty()) {
      path = line.substr(3);
      root = "/sys/fs/cgroup";
      limitFile = "/memory.max";
      usageFile = "/memory.current";
    } else if (const auto at = line.find(":memory:"); at != std::string::npos) {
      path = line.substr(at + 8);
      root = "/sys/fs/cgroup/memory";
      limitFile = "/memory.limit_in_bytes";
      usageFile = "/memory.usage_in_bytes";
    }
  }
  if (path.empty() || path.front() != '/' || path.find("..") != std::string::npos) return 0;
  constexpr std::uint64_t kNoLimit = std::uint64_t{1} << 62;
  std::uint64_t room = 0;
  while (true) {
    const std::string folder = root + (path == "/" ? std::string() : path);
    std::uint64_t limit = 0, used = 0;
    if (ReadNumber(folder + limitFile, &limit) && limit < kNoLimit && ReadNumber(folder + usageFile, &used)) {
      const std::uint64_t left = limit > used ? limit - used : 1;
      room = room == 0 ? left : std::min(room, left);
    }
    if (path == "/") break;
    const auto slash = path.rfind('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  return room;
}

}  // namespace

std::uint64_t AvailableMemory() {
  const std::uint64_t machine = MemInfoBytes("MemAvailable");
  const std::uint64_t group = ControlGroupRoom();
  if (machine == 0) return group;
  return group == 0 ? machine : std::min(machine, group);
}

MemoryBudget& PictureMemory() {
  static MemoryBudget budget(std::max(AvailableMemory() / 4 * 3, kPictureMemoryFloor));
  return budget;
}

}  // namespace vexa::base
