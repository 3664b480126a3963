#include "child.h"

#include <cstdio>
#include <limits>
#include <stdexcept>

#include "harness.h"

namespace bench {

// The measured run itself, made from a process that is still small.
int measure_main(int argc, char** argv) {
  if (argc < 5) return 2;
  planner::test::Child child{{argv + 4, argv + argc}, argv[2], argv[3]};
  child.file_limit = std::numeric_limits<std::uint64_t>::max();
  child.seconds = 3600;
  const planner::test::RunResult r = planner::test::run(child);
  std::printf("%.9f %lld %d\n", r.seconds, static_cast<long long>(r.peak / 1024), r.status);
  return 0;
}

// A child's peak memory, as wait4 reports it, starts from what the forked
// copy of this process held, and the benchmark holds its workloads; so a
// fresh copy of the benchmark, small after exec, starts the measured child.
ChildRun run_child(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                   const std::string& stdout_path) {
  // popen's shell is not this program: name it by its own path.
  static const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string command =
      "'" + self + "' --measure-child '" + dir.string() + "' '" + stdout_path + "'";
  for (const auto& arg : argv) command += " '" + arg + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed");
  ChildRun run;
  const int fields = std::fscanf(pipe, "%lf %ld %d", &run.seconds, &run.max_rss_kib, &run.status);
  if (pclose(pipe) != 0 || fields != 3)
    throw std::runtime_error("measuring " + argv[0] + " failed");
  return run;
}

}  // namespace bench
