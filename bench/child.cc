#include "child.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace bench {

namespace {

// The measured run itself, made from a process that is still small.
ChildRun spawn_and_wait(const std::vector<std::string>& argv, const std::filesystem::path& dir,
                        const std::string& stdout_path) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("/dev/null", O_WRONLY);
    if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
  const auto end = std::chrono::steady_clock::now();

  ChildRun run;
  run.seconds = std::chrono::duration<double>(end - start).count();
  run.max_rss_kib = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

int measure_main(int argc, char** argv) {
  if (argc < 5) return 2;
  const std::vector<std::string> child(argv + 4, argv + argc);
  const ChildRun run = spawn_and_wait(child, argv[2], argv[3]);
  std::printf("%.9f %ld %d\n", run.seconds, run.max_rss_kib, run.status);
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

ChildRun best_of(int times, const std::vector<std::string>& argv, const std::filesystem::path& dir,
                 const std::string& stdout_path) {
  ChildRun best;
  for (int i = 0; i < times; ++i) {
    const ChildRun run = run_child(argv, dir, stdout_path);
    if (run.status != 0) throw std::runtime_error(argv[0] + " exited with a failure");
    if (i == 0 || run.seconds < best.seconds) {
      const long rss = std::max(best.max_rss_kib, run.max_rss_kib);
      best = run;
      best.max_rss_kib = rss;
    } else {
      best.max_rss_kib = std::max(best.max_rss_kib, run.max_rss_kib);
    }
  }
  return best;
}

}  // namespace bench
