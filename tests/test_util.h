// Helpers shared by the tests: readable traces, scratch directories, and
// running the real executable.
#pragma once

#include <cstdint>
#include <filesystem>
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

struct RunResult {
  int status = -1;         // exit status, or -1 when the process did not exit
  std::string out;         // standard output, raw bytes; empty when sent to stdout_path
  std::string err;         // standard error
  std::int64_t peak = 0;   // the child's peak resident memory, in bytes
  std::int64_t floor = 0;  // below this, `peak` may be the test process's own
};

// Runs `exe` with `args` in `dir`, standard output to a file or to `stdout_path` if given.
RunResult run(const std::string& exe, const std::vector<std::string>& args,
              const std::filesystem::path& dir, const std::string& stdout_path = "");

// The planner under test, by absolute path.
inline std::string planner_exe() { return PLANNER_EXE; }

std::string read_file(const std::filesystem::path& path);

// How many lines of `text` begin with `prefix`.
std::size_t lines_starting(std::string_view text, std::string_view prefix);

}  // namespace planner::test
