// What the tests and the benchmark share: scratch directories, and running a
// program as a child process that can neither hang them nor fill the disk.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace planner::test {

// A fresh directory, removed with everything in it when the object goes,
// also when a test fails.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // Writes `content` to `name` and, when `mtime` is given, sets its time:
  // seconds since 1970, negative and fractional ones too.
  void write(const std::string& name, std::string_view content,
             std::optional<double> mtime = std::nullopt) const;

 private:
  std::filesystem::path path_;
};

// How to run a child. It is killed after `seconds`, and no file it writes,
// its captured output included, can grow past `file_limit`.
struct Child {
  std::vector<std::string> argv;  // argv[0] is the program, looked up in PATH without a '/'
  std::filesystem::path dir{};    // the working directory
  std::string stdout_path{};      // where standard output goes; empty: captured
  int stdout_flags = O_WRONLY | O_CREAT | O_TRUNC;  // how: O_APPEND for >>, O_RDWR for <>
  std::string stderr_path{};      // where standard error goes; empty: captured
  int stderr_flags = O_WRONLY | O_CREAT | O_TRUNC;
  // Standard output a pipe (these three), read as it comes unless said:
  std::size_t close_after = 0;  // >0: closed after reading this many bytes
  bool slow = false;            // non-blocking for the child, read slower than it writes
  // Run once the child has filled the pipe, which is read only afterwards:
  // the child waits in a write, holding whatever it holds.
  std::function<void()> meanwhile{};
  std::uint64_t file_limit = std::uint64_t{256} << 20;
  std::uint64_t memory_limit = 0;  // address space in bytes; 0: no limit
  int seconds = 60;
  bool terminal = false;  // standard error is a pseudo-terminal, its text captured
  bool merged = false;    // standard error goes where standard output goes, as 2>&1
  bool no_stderr = false;  // standard error closed, as 2>&-
  // Run by root, the child has no power to pass over files' permissions, so
  // that it meets them as a user does; it exits with 126 when it cannot drop
  // that power.
  bool unprivileged = false;
  int user = -1;  // run by root, the child runs as this user (and group); 126 when it cannot
  int signal = 0;         // sent after `signal_after` milliseconds, when not 0
  int signal_after = 0;
};

struct RunResult {
  int status = -1;         // exit status; -1 when the process did not exit
  int signal = 0;          // the signal that ended it; 0 when it exited
  bool timed_out = false;  // killed after Child::seconds
  std::string out;         // standard output when captured, raw bytes
  std::size_t piped = 0;   // bytes read from a standard output pipe
  std::string err;         // standard error
  double seconds = 0;      // wall time
  std::int64_t peak = 0;   // the child's peak resident memory, in bytes
  std::int64_t floor = 0;  // `peak` starts at this process's own, at most this
};

RunResult run(const Child& child);

std::string read_file(const std::filesystem::path& path);

// Code page 866 with CR LF, as the program writes, back to UTF-8 with LF, so
// that expectations read as text; a CR outside a CR LF pair stays.
std::string decode(std::string_view cp866);

}  // namespace planner::test
