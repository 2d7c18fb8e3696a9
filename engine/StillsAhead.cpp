#include "engine/StillsAhead.h"

#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/base/MemoryBudget.h"
#include "platform/base/Path.h"
#include "platform/base/WorkPool.h"

namespace vexa::engine {

namespace {

std::atomic<unsigned> batches{0};

// The name a photo's files have until they are taken: of the batch and the
// photo's place in it, never a disc name.
std::string WorkName(unsigned batch, std::size_t index) {
  char name[48];
  std::snprintf(name, sizeof name, "AHEAD%u_%zu.JPG", batch, index);
  return name;
}

// The file beside `file` named `name`.
std::string Renamed(const std::string& file, const std::string& name) {
  return base::JoinPath(base::DirName(file), name);
}

}  // namespace

StillsAhead::StillsAhead(std::vector<Photo> photos, const WorkFolders& folders, StillTools& tools, unsigned workers,
                         std::size_t window)
    : folders_(folders), tools_(tools), window_(window < 1 ? 1 : window), batch_(++batches) {
  slots_.resize(photos.size());
  for (std::size_t i = 0; i < photos.size(); ++i) slots_[i].photo = std::move(photos[i]);
  const std::size_t count = slots_.size();
  const bool started = driver_.Start([this, count, workers] {
    base::MakeItems(driver_, count, workers, [this](std::size_t i) { return MakeOne(i); });
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
    return static_cast<std::int32_t>(base::kWorkSuccess);
  });
  if (!started) {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
}

StillsAhead::~StillsAhead() { Stop(); }

bool StillsAhead::MakeOne(std::size_t index) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || index < next_ + window_; });
  Slot& slot = slots_[index];
  if (stopped_ || slot.state != State::kWaiting) return true;
  // The photo's memory, from the budget for pictures: the worker waits
  // while other photos hold it (or until the work is stopped).
  const std::uint64_t memory = slot.photo.memory;
  lock.unlock();
  base::MemoryBudget::Lease lease = base::PictureMemory().Acquire(memory, stop_.get_token());
  lock.lock();
  if (!lease || stopped_ || slot.state != State::kWaiting) return true;
  slot.state = State::kMaking;
  ++begun_;
  StillJob job;
  job.file = slot.photo.file;
  job.type = slot.photo.type;
  job.rotateDegrees = slot.photo.rotateDegrees;
  job.discName = WorkName(batch_, index);
  job.folders = folders_;
  job.memory = memory;
  lock.unlock();

  StillFiles files;
  Result made;
  bool fault = false;
  try {
    made = MakeStillFiles(job, tools_, &files);
  } catch (...) {
    fault = true;  // the caller makes the photo again and meets it itself
  }
  lease.Release();  // the pictures are gone: given back before the photo is published
  StillFiles dropped;
  lock.lock();
  if (slot.state == State::kPassed || fault) {
    dropped = std::move(files);  // removed below, outside the lock
    if (slot.state != State::kPassed) slot.state = State::kFault;
  } else {
    slot.result = std::move(made);
    slot.files = std::move(files);
    slot.state = State::kMade;
  }
  changed_.notify_all();
  lock.unlock();
  return true;
}

bool StillsAhead::Take(const std::string& file, LONG rotateDegrees, LONG type, const std::string& discName,
                       Result* made, StillFiles* files) {
  std::vector<StillFiles> dropped;  // removed when this returns, outside the lock
  std::unique_lock lock(mutex_);
  std::size_t at = next_;
  while (at < slots_.size() && !(slots_[at].photo.file == file && slots_[at].photo.rotateDegrees == rotateDegrees)) {
    ++at;
  }
  if (at == slots_.size()) return false;
  for (std::size_t i = next_; i < at; ++i) {
    if (slots_[i].state == State::kMade) dropped.push_back(std::move(slots_[i].files));
    slots_[i].state = State::kPassed;
  }
  next_ = at + 1;
  changed_.notify_all();
  Slot& slot = slots_[at];
  changed_.wait(lock, [&] {
    return slot.state != State::kMaking && (slot.state != State::kWaiting || stopped_ || ended_);
  });
  const bool usable = slot.state == State::kMade && slot.photo.type == type;
  if (slot.state == State::kMade) dropped.push_back(std::move(slot.files));
  slot.state = State::kPassed;
  if (!usable) return false;
  Result result = std::move(slot.result);
  StillFiles taken = std::move(dropped.back());
  dropped.pop_back();
  lock.unlock();

  if (!result.ok()) {  // nothing of it is left
    *made = std::move(result);
    return true;
  }
  // The files under the disc name, as the caller would have made them.
  MadeFiles renamed;
  for (std::string* path : {&taken.original, &taken.albumFile, &taken.thumbFile, &taken.webFile}) {
    if (path == &taken.original && *path == file) continue;  // the picture as given
    const std::string target = Renamed(*path, discName);
    if (std::rename(path->c_str(), target.c_str()) != 0) return false;  // both lists remove what there is
    renamed.Add(target);
    *path = target;
  }
  taken.made = std::move(renamed);
  *made = Result::Ok();
  *files = std::move(taken);
  return true;
}

void StillsAhead::Cancel() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  stop_.request_stop();
  driver_.Cancel();
}

void StillsAhead::Stop() {
  Cancel();
  driver_.Join();
  std::vector<StillFiles> dropped;
  std::lock_guard lock(mutex_);
  ended_ = true;
  for (Slot& slot : slots_) {
    if (slot.state == State::kMade) dropped.push_back(std::move(slot.files));
    slot.state = State::kPassed;
  }
}

std::size_t StillsAhead::Begun() const {
  std::lock_guard lock(mutex_);
  return begun_;
}

}  // namespace vexa::engine
