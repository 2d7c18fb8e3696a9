// The files of photos a caller is about to add, made ahead on a few
// workers while the caller adds them one at a time.
//
// The caller names its photos (file, rotation, picture type) in the order
// it will add them. Workers (WorkPool.h) make each photo's files
// (MakeStillFiles) in that order under names of their own, at most `window`
// photos past the one the caller waits for, so the made photos held at once
// stay few however many are named. Before it begins a photo, a worker takes
// the memory the photo needs from the process's budget for pictures
// (MemoryBudget.h), so the large pictures decoded at once fit the machine
// however many workers there are. The caller takes each photo's outcome in
// turn (Take): the files, renamed to the disc name the caller gives, or the
// failure exactly as making it on the caller's thread would have reported
// it. The caller's thread keeps everything else: names, entries, order and
// reports.
//
// Stop (and destruction) ends the work: no photo begins after it, those
// under way are waited for, and what was made and not taken is removed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/StillFiles.h"
#include "platform/base/WorkRun.h"

namespace vexa::engine {

class StillsAhead {
 public:
  struct Photo {
    std::string file;
    LONG rotateDegrees = 0;
    LONG type = 0;  // the image utility's type of the file
    std::uint64_t memory = 0;  // what making it takes at most (PhotoMemory)
  };

  // Starts the workers. tools must make files from any thread
  // (WritesRecordsWithFiles) and outlive this.
  StillsAhead(std::vector<Photo> photos, const WorkFolders& folders, StillTools& tools, unsigned workers,
              std::size_t window);
  ~StillsAhead();
  StillsAhead(const StillsAhead&) = delete;
  StillsAhead& operator=(const StillsAhead&) = delete;

  // The outcome of the next named photo that is `file` turned by
  // rotateDegrees and of the given type, its files named discName: waits
  // until it is made. Named photos before it are passed over (the caller
  // did not add them) and their files removed. False when no such photo is
  // named or it was not made (stopped, or the wrong type): the caller makes
  // the photo itself then. *made is the outcome of MakeStillFiles.
  bool Take(const std::string& file, LONG rotateDegrees, LONG type, const std::string& discName, Result* made,
            StillFiles* files);

  // No photo begins from now on; returns at once.
  void Cancel();
  // Cancel, then waits for the photos under way and removes every file
  // made and not taken.
  void Stop();

  // How many photos have begun being made (for tests).
  std::size_t Begun() const;

 private:
  enum class State { kWaiting, kMaking, kMade, kFault, kPassed };
  struct Slot {
    Photo photo;
    State state = State::kWaiting;
    Result result = Result::Ok();
    StillFiles files;
  };
  bool MakeOne(std::size_t index);

  const WorkFolders folders_;
  StillTools& tools_;
  const std::size_t window_;
  const unsigned batch_;  // in the work files' names: batches never share one

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;  // the first photo not taken or passed over
  std::size_t begun_ = 0;
  bool stopped_ = false;
  std::stop_source stop_;  // ends the workers' waits for memory
  bool ended_ = false;  // the workers are all gone
  base::WorkRun driver_;
};

}  // namespace vexa::engine
