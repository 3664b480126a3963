// The plan file, replaced whole or not at all: at every moment, and after
// anything that ends the process (a signal, a crash, a power cut), it holds
// either what it held before the run or the whole new plan.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/output.h"

namespace planner {

// The plan goes into a new file beside the old one, which is renamed over it
// once the plan is complete and on disk, as editors save. All of it happens
// under a lock on the directory that other runs respect, so no run can
// remove or replace a plan it did not write. A run that fails in any way
// (out of memory and interrupted included) removes its new file and nothing
// else. Where the directory forbids that (the new file cannot be created
// there, or could not replace the old one), the plan is written in place, as
// before, and removed on failure where it can be.
class PlanFile final : public Sink {
 public:
  PlanFile();
  PlanFile(const PlanFile&) = delete;
  PlanFile& operator=(const PlanFile&) = delete;
  // Removes the new file unless it was committed, then releases the lock.
  ~PlanFile() override;

  // Takes the lock and creates the new file for `path`, a name in the current
  // directory that must outlive the object. Refuses a `path` that is a
  // directory, or a FIFO, socket or device, at once.
  bool create(const char* path, std::string* err);
  bool write(std::string_view bytes, std::string* err) override;
  // The walk's time query, which sees the plan being written under its name,
  // as if it were written in place: for `path` (and, on POSIX, for any name
  // of the file it named, such as a link to it) the new file's time, which
  // moves as blocks are written; for any other name the file's own.
  std::int64_t modification_time(const char* name) const;
  // Puts the whole plan on disk and then in place of the old file; nothing
  // after that can fail. False, with the new file removed and the old one as
  // it was, when any step before fails.
  bool commit(std::string* err);

 private:
  struct Native;  // the system's handles, per platform
  std::unique_ptr<Native> native_;
};

}  // namespace planner
