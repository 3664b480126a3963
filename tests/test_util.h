// Helpers shared by the tests: readable traces, scratch directories, and
// running the real executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace planner {
class DependencyGraph;
}

namespace planner::test {

// The graph written back as a makefile, one vertex after the other in graph
// order: "name: child child" then a tab line per command.
std::string describe(const DependencyGraph& graph);

// Code page 866 with CR LF, as the program writes, back to UTF-8 with LF, so
// that expectations read as text. Fails the test on a CR or LF that is not
// part of a CR LF pair.
std::string decode(std::string_view cp866);

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // Writes `content` to `name` and, when `mtime` is given, sets its time.
  void write(const std::string& name, std::string_view content, std::int64_t mtime = -1) const;
  void touch(const std::string& name, std::int64_t mtime) const { write(name, "", mtime); }
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// How to run a child process. Every child is killed after `seconds`, and no
// file it writes, its captured output included, can pass `file_limit`: a
// faulty program cannot hang the tests or fill the disk.
struct Child {
  std::string exe;
  std::vector<std::string> args;
  std::filesystem::path dir;        // the working directory
  std::string stdout_path;          // where standard output goes; empty: captured
  std::size_t close_after = 0;      // >0: a pipe, closed after reading this many bytes
  std::uint64_t file_limit = 1u << 30;
  std::uint64_t memory_limit = 0;   // address space, in bytes; 0: unlimited
  int seconds = 60;
  bool terminal = false;            // standard error is a pseudo-terminal
  int signal = 0;                   // sent once `signal_when` holds, polled with
  std::function<bool(std::string_view err)> signal_when;  // what a terminal showed so far
};

struct RunResult {
  int status = -1;         // exit status, or -1 when the process did not exit
  int signal = 0;          // the signal that ended it, 0 when it exited
  std::string out;         // standard output, raw bytes; empty unless captured
  std::string err;         // standard error
  std::int64_t peak = 0;   // the child's peak resident memory, in bytes
  std::int64_t floor = 0;  // below this, `peak` may be the test process's own
};

RunResult run(const Child& child);
// Runs `exe` with `args` in `dir`, standard output captured or to `stdout_path`.
inline RunResult run(const std::string& exe, const std::vector<std::string>& args,
                     const std::filesystem::path& dir, const std::string& stdout_path = "") {
  Child child;
  child.exe = exe;
  child.args = args;
  child.dir = dir;
  child.stdout_path = stdout_path;
  return run(child);
}

// The planner under test, by absolute path.
inline std::string planner_exe() { return PLANNER_EXE; }

std::string read_file(const std::filesystem::path& path);

// How many lines of `text` begin with `prefix`.
std::size_t lines_starting(std::string_view text, std::string_view prefix);

}  // namespace planner::test
