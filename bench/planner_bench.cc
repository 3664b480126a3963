// planner_bench: times the real planner executable on generated workloads,
// with its trace going to /dev/null, and compares it with what bounds it from
// below: cat copying the same trace bytes, and the walk's own file queries
// replayed alone. Prints figures and which targets they meet; it never fails
// on a figure, since timing depends on the machine.
#include <unistd.h>

#include <algorithm>
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

// The runs of one command, in the order they were taken.
struct Series {
  std::vector<double> seconds;
  long max_rss_kib = 0;  // the largest peak seen

  void add(const bench::ChildRun& run) {
    if (run.status != 0) throw std::runtime_error("a measured command exited with a failure");
    seconds.push_back(run.seconds);
    max_rss_kib = std::max(max_rss_kib, run.max_rss_kib);
  }
  // The least disturbed by the rest of the machine.
  double best() const { return *std::min_element(seconds.begin(), seconds.end()); }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median of the ratios of runs taken in turn, a[i] / b[i]: a drift of
// the machine's speed moves both runs of a pair.
double paired(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < a.size(); ++i) ratios.push_back(a[i] / b[i]);
  return median(ratios);
}

// A target holds for the best runs and for the median of the pairs alike.
void judge(const std::string& what, double best, double median_of_pairs, double target,
           int times) {
  std::printf("  %-30s x%.2f best of %d, x%.2f median of %d pairs; target <= x%.1f: %s\n",
              what.c_str(), best, times, median_of_pairs, times, target,
              verdict(best <= target && median_of_pairs <= target));
}

// One reading workload at one size, with its trace written once to a file,
// so that cat copies the same bytes out of the page cache.
struct ReadingSize {
  std::size_t rules = 0;
  fs::path dir;
  std::size_t makefile_bytes = 0;
  std::size_t trace_bytes = 0;
  Series planner;
  Series cat;
};

ReadingSize lay_out_reading(const Options& options, const fs::path& dir, const std::string& makefile,
                            std::size_t rules) {
  fs::create_directory(dir);
  bench::write_file(dir / "read.mk", makefile);
  const bench::Profile profile = profile_in(dir, makefile);
  bench::run_child({options.planner, "read.mk"}, dir, (dir / "trace.out").string());
  ReadingSize size{rules, dir, makefile.size(), fs::file_size(dir / "trace.out"), {}, {}};
  if (size.trace_bytes != profile.reading_trace_bytes + profile.planning_trace_bytes)
    throw std::runtime_error("the executable's trace differs in size from the library's");
  return size;
}

// A reading workload at `rules` and at twice as many: the planner and cat of
// its trace run in turn, `times` rounds.
void reading(const Options& options, const fs::path& root, const char* title, const char* tag,
             std::string (*makefile)(std::size_t), std::size_t rules, int times) {
  std::vector<ReadingSize> sizes;
  for (const std::size_t n : {rules, 2 * rules}) {
    sizes.push_back(lay_out_reading(options, root / (tag + std::to_string(n)), makefile(n), n));
  }
  for (int round = 0; round < times; ++round) {
    for (ReadingSize& size : sizes) {
      size.planner.add(bench::run_child({options.planner, "read.mk"}, size.dir, "/dev/null"));
      const std::string trace = (size.dir / "trace.out").string();
      size.cat.add(bench::run_child({"cat", trace}, size.dir, "/dev/null"));
    }
  }
  std::printf("reading, %s:\n", title);
  std::printf("  %7s %10s %10s %18s %18s %10s %s\n", "rules", "makefile", "trace",
              "planner best/median", "cat best/median", "trace rate", "peak memory");
  bool fits = true;
  for (const ReadingSize& size : sizes) {
    fs::remove(size.dir / "trace.out");
    const double input = static_cast<double>(size.makefile_bytes);
    const double peak = size.planner.max_rss_kib * 1024.0;
    fits = fits && peak <= 5 * input + 8e6;
    std::printf("  %7zu %7.2f MB %7.1f MB %7.1f / %5.1f ms %7.1f / %5.1f ms %5.2f GB/s %6.1f MiB (%.1fx)\n",
                size.rules, input / 1e6, size.trace_bytes / 1e6, size.planner.best() * 1e3,
                median(size.planner.seconds) * 1e3, size.cat.best() * 1e3,
                median(size.cat.seconds) * 1e3, size.trace_bytes / size.planner.best() / 1e9,
                peak / kMiB, peak / input);
  }
  for (const ReadingSize& size : sizes) {
    judge(std::to_string(size.rules) + " rules, planner / cat", size.planner.best() / size.cat.best(),
          paired(size.planner.seconds, size.cat.seconds), 1.3, times);
  }
  judge("doubling the rules", sizes[1].planner.best() / sizes[0].planner.best(),
        paired(sizes[1].planner.seconds, sizes[0].planner.seconds), 2.1, times);
  std::printf("  peak memory <= 5x the makefile + 8 MB at both sizes: %s\n", verdict(fits));
}

void planning(const Options& options, const fs::path& root, bench::PlanShape shape, int times) {
  const fs::path dir = root / "plan";
  fs::create_directory(dir);
  const std::string makefile = bench::planning_makefile(shape);
  bench::write_file(dir / "plan.mk", makefile);
  bench::lay_out_planning_files(dir, shape);
  const bench::Profile profile = profile_in(dir, makefile);
  // The planner and the same stat calls alone, in turn.
  Series run;
  std::vector<double> replay;
  for (int i = 0; i < times; ++i) {
    run.add(bench::run_child({options.planner, "plan.mk"}, dir, "/dev/null"));
    const fs::path back = fs::current_path();
    fs::current_path(dir);
    replay.push_back(bench::replay_queries(profile.queries));
    fs::current_path(back);
  }
  const double best_replay = *std::min_element(replay.begin(), replay.end());
  const auto todo = fs::file_size(dir / "todo.bat");

  const std::size_t trace_bytes = profile.reading_trace_bytes + profile.planning_trace_bytes;
  const double queries = static_cast<double>(profile.queries.size());
  std::printf("planning, %zu blocks of %zu mids (%.2f MB makefile):\n", shape.blocks,
              shape.per_block, makefile.size() / 1e6);
  std::printf("  A1 steps               %9ju; %zu stat calls; todo.bat %ju bytes\n",
              static_cast<std::uintmax_t>(profile.a1_steps), profile.queries.size(),
              static_cast<std::uintmax_t>(todo));
  std::printf("  wall time              %9.1f ms best of %d, %.1f ms median\n", run.best() * 1e3,
              times, median(run.seconds) * 1e3);
  std::printf("  trace bytes per second %9.2f GB/s (%.1f MB)\n", trace_bytes / run.best() / 1e9,
              trace_bytes / 1e6);
  std::printf("  peak memory            %9.1f MiB\n", run.max_rss_kib * 1024.0 / kMiB);
  std::printf("  the stat calls alone   %9.1f ms best of %d (%.0f per second)\n",
              best_replay * 1e3, times, queries / best_replay);
  std::printf("  walk in-process        %9.1f ms, trace discarded\n",
              profile.planning_seconds * 1e3);
  std::printf("  target >= 1M steps: %s\n", verdict(profile.a1_steps >= 1'000'000));
  judge("planner / its stat calls", run.best() / best_replay, paired(run.seconds, replay), 1.1,
        times);
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
    reading(options, root, "shared names (one name in four known)", "read", bench::reading_makefile,
            rules, times);
    reading(options, root, "every name distinct", "distinct", bench::distinct_makefile, rules,
            times);
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
