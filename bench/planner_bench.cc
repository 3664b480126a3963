// planner_bench: times the real planner executable on generated workloads,
// with its trace going to /dev/null, and compares it with what bounds it from
// below: cat copying the same trace bytes, and the walk's own file queries
// replayed alone. Prints figures and which targets they meet; it never fails
// on a figure, since timing depends on the machine.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "child.h"
#include "in_process.h"
#include "workloads.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  bool quick = false;
  std::string planner = PLANNER_EXE;
  std::string keep_in;  // a directory to lay the workloads out in and keep, for profiling
};

constexpr double kMiB = 1024.0 * 1024.0;

// Small sizes judge nothing: the targets are for the full run.
bool judged = true;
const char* verdict(bool met) { return !judged ? "not judged (quick)" : met ? "met" : "MISSED"; }

// The profile is taken in the workload's directory, where the queries resolve.
bench::Profile profile_in(const fs::path& dir, const std::string& makefile) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  bench::Profile profile = bench::profile(makefile);
  fs::current_path(back);
  return profile;
}

double best_replay(const fs::path& dir, const std::vector<std::string>& names, int times) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  double best = 0;
  for (int i = 0; i < times; ++i) {
    const double seconds = bench::replay_queries(names);
    if (i == 0 || seconds < best) best = seconds;
  }
  fs::current_path(back);
  return best;
}

struct ReadingResult {
  double seconds = 0;
  double cat_seconds = 0;
  std::size_t trace_bytes = 0;
};

ReadingResult reading(const Options& options, const fs::path& root, std::size_t rules, int times) {
  const fs::path dir = root / ("read" + std::to_string(rules));
  fs::create_directory(dir);
  const std::string makefile = bench::reading_makefile(rules);
  bench::write_file(dir / "read.mk", makefile);
  const bench::Profile profile = profile_in(dir, makefile);
  const std::vector<std::string> argv{options.planner, "read.mk"};

  const bench::ChildRun run = bench::best_of(times, argv, dir, "/dev/null");
  // The same trace bytes, kept once in the page cache for cat to copy.
  const fs::path trace = dir / "trace.out";
  bench::run_child(argv, dir, trace.string());
  const std::size_t trace_bytes = fs::file_size(trace);
  if (trace_bytes != profile.reading_trace_bytes + profile.planning_trace_bytes)
    throw std::runtime_error("the executable's trace differs in size from the library's");
  const bench::ChildRun cat = bench::best_of(times, {"cat", trace.string()}, dir, "/dev/null");
  fs::remove(trace);

  const double input = static_cast<double>(makefile.size());
  const double read_share = static_cast<double>(profile.reading_trace_bytes) / trace_bytes;
  std::printf("reading, %zu rules (%.2f MB makefile):\n", rules, input / 1e6);
  std::printf("  wall time              %9.1f ms (best of %d)\n", run.seconds * 1e3, times);
  std::printf("  trace                  %9.1f MB, %.1f%% of it A0's\n", trace_bytes / 1e6,
              100 * read_share);
  std::printf("  trace bytes per second %9.2f GB/s\n", trace_bytes / run.seconds / 1e9);
  std::printf("  input bytes per second %9.1f MB/s\n", input / run.seconds / 1e6);
  std::printf("  stat calls per second  %9.0f (%zu calls)\n",
              static_cast<double>(profile.queries.size()) / run.seconds, profile.queries.size());
  std::printf("  peak memory            %9.1f MiB (%.1fx the makefile)\n",
              run.max_rss_kib * 1024.0 / kMiB, run.max_rss_kib * 1024.0 / input);
  std::printf("  cat of the trace       %9.1f ms (%.2f GB/s); planner / cat %.2fx\n",
              cat.seconds * 1e3, trace_bytes / cat.seconds / 1e9, run.seconds / cat.seconds);
  std::printf("  target >= 5 GB/s: %s; within 1.6x of cat: %s; memory <= 5x + 8 MB: %s\n",
              verdict(trace_bytes / run.seconds >= 5e9), verdict(run.seconds <= 1.6 * cat.seconds),
              verdict(run.max_rss_kib * 1024.0 <= 5 * input + 8e6));
  return {run.seconds, cat.seconds, trace_bytes};
}

void planning(const Options& options, const fs::path& root, bench::PlanShape shape, int times) {
  const fs::path dir = root / "plan";
  fs::create_directory(dir);
  const std::string makefile = bench::planning_makefile(shape);
  bench::write_file(dir / "plan.mk", makefile);
  bench::lay_out_planning_files(dir, shape);
  const bench::Profile profile = profile_in(dir, makefile);
  const bench::ChildRun run = bench::best_of(times, {options.planner, "plan.mk"}, dir, "/dev/null");
  const double replay = best_replay(dir, profile.queries, times);
  const auto todo = fs::file_size(dir / "todo.bat");

  const std::size_t trace_bytes = profile.reading_trace_bytes + profile.planning_trace_bytes;
  const double queries = static_cast<double>(profile.queries.size());
  std::printf("planning, %zu blocks of %zu mids (%.2f MB makefile):\n", shape.blocks,
              shape.per_block, makefile.size() / 1e6);
  std::printf("  A1 steps               %9ju; %zu stat calls; todo.bat %ju bytes\n",
              static_cast<std::uintmax_t>(profile.a1_steps), profile.queries.size(),
              static_cast<std::uintmax_t>(todo));
  std::printf("  wall time              %9.1f ms (best of %d)\n", run.seconds * 1e3, times);
  std::printf("  trace bytes per second %9.2f GB/s (%.1f MB)\n", trace_bytes / run.seconds / 1e9,
              trace_bytes / 1e6);
  std::printf("  input bytes per second %9.1f MB/s\n", makefile.size() / run.seconds / 1e6);
  std::printf("  stat calls per second  %9.0f\n", queries / run.seconds);
  std::printf("  peak memory            %9.1f MiB\n", run.max_rss_kib * 1024.0 / kMiB);
  std::printf("  the stat calls alone   %9.1f ms (%.0f per second); planner / stat loop %.2fx\n",
              replay * 1e3, queries / replay, run.seconds / replay);
  std::printf("  walk in-process        %9.1f ms, trace discarded\n",
              profile.planning_seconds * 1e3);
  std::printf("  target >= 1M steps: %s; within 1.2x of the stat loop: %s\n",
              verdict(profile.a1_steps >= 1'000'000), verdict(run.seconds <= 1.2 * replay));
}

// Peak memory on inputs whose walk once grew with everything waiting on its
// stacks; one run each, as the peak hardly varies.
void memory(const Options& options, const fs::path& root, std::size_t scale) {
  std::printf("memory, one run each:\n");
  int n = 0;
  for (const bench::MemoryCase& c : bench::memory_makefiles(scale)) {
    const fs::path dir = root / ("memory" + std::to_string(n++));
    fs::create_directory(dir);
    bench::write_file(dir / "m.mk", c.makefile);
    bench::lay_out_memory_files(dir);
    const bench::ChildRun run = bench::run_child({options.planner, "m.mk"}, dir, "/dev/null");
    if (run.status != 0) throw std::runtime_error(c.name + ": the planner failed");
    const double input = static_cast<double>(c.makefile.size());
    const double peak = run.max_rss_kib * 1024.0;
    std::printf("  %-52s %6.2f MB: peak %6.1f MiB, %.1fs; <= 10x + 16 MB: %s\n", c.name.c_str(),
                input / 1e6, peak / kMiB, run.seconds, verdict(peak <= 10 * input + 16e6));
  }
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--keep" && i + 1 < argc) {
      options.keep_in = argv[++i];
    } else if (arg == "--planner" && i + 1 < argc) {
      options.planner = fs::absolute(argv[++i]).string();
    } else {
      std::fprintf(stderr, "usage: %s [--quick] [--planner PATH] [--keep DIR]\n", argv[0]);
      std::exit(2);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--measure-child") return bench::measure_main(argc, argv);
  const Options options = parse(argc, argv);
  std::string pattern = (fs::temp_directory_path() / "planner_bench.XXXXXX").string();
  if (!options.keep_in.empty()) {
    fs::create_directories(options.keep_in);
    pattern = options.keep_in;
  } else if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  int status = 0;
  try {
    const std::size_t rules = options.quick ? 10'000 : 100'000;
    const int times = options.quick ? 3 : 9;
    std::printf("planner: %s\n", options.planner.c_str());
    judged = !options.quick;
    if (options.quick) std::printf("quick run: small sizes; the targets are for the full run\n");
    const ReadingResult single = reading(options, root, rules, times);
    const ReadingResult twice = reading(options, root, 2 * rules, times);
    const double ratio = twice.seconds / single.seconds;
    const double per_byte = ratio * single.trace_bytes / twice.trace_bytes;
    std::printf("doubling the rules: x%.2f the time (x%.2f per trace byte); target <= x2.1: %s\n",
                ratio, per_byte, verdict(ratio <= 2.1));
    planning(options, root, options.quick ? bench::PlanShape{100, 64} : bench::PlanShape{1300, 64},
             times);
    memory(options, root, options.quick ? 10 : 1);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "planner_bench: %s\n", e.what());
    status = 1;
  }
  if (options.keep_in.empty()) fs::remove_all(root);
  return status;
}
