// Runs a program as a child process and measures it from outside, as a user
// who runs it from a shell would see it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  double seconds = 0;    // wall time from fork to reaping
  long max_rss_kib = 0;  // peak resident set of the child
  int status = -1;       // exit status; -1 when it did not exit
};

// Runs `argv` (argv[0] is looked up in PATH unless it holds a slash) in `dir` with standard output
// to `stdout_path` and standard error to /dev/null.
ChildRun run_child(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                   const std::string& stdout_path);

// The entry point of the copy of the benchmark that run_child starts:
// argv is "--measure-child DIR STDOUT PROGRAM ARGS...".
int measure_main(int argc, char** argv);

}  // namespace bench
