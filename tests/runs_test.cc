// Runs of the real executable that a case directory cannot hold: makefiles
// made at test time (gigabytes of trace, streamed to /dev/null), and runs cut
// short from outside. Each must end in a plan, or in one error line and exit
// status 1, or in death by the signal that interrupted it; promptly, with its
// peak memory proportional to the makefile, with todo.bat either as it was or
// the whole plan, and no other file left behind (but the new file that kill -9
// leaves when there was no plan).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "harness.h"

namespace planner {
namespace {

namespace fs = std::filesystem;

std::ostream& repeat(std::ostream& out, std::string_view text, std::size_t times) {
  for (std::size_t i = 0; i < times; ++i) out << text;
  return out;
}

// Both goals of every level depend on both goals of the next, every goal
// with a command: 2^levels paths, all rebuilt when no file exists.
void ladder(std::ostream& out, int levels) {
  out << "g: a0 b0\n\tbuild g\n";
  for (int i = 0; i < levels; ++i) {
    for (const char side : {'a', 'b'}) {
      out << side << i << ": ";
      if (i + 1 < levels) out << 'a' << i + 1 << " b" << i + 1;
      if (i + 1 == levels) out << "leaf";
      out << "\n\tbuild " << side << i << "\n";
    }
  }
}
void ladder32(std::ostream& out) { ladder(out, 32); }  // days of walking

// v0: v1 ... v<n-1>: v<n>, each with a command; v<n-1> names v0 when `cycle`.
void chain(std::ostream& out, bool cycle) {
  for (int i = 0; i < 100'000; ++i) {
    out << 'v' << i << ": v" << (cycle && i == 99'999 ? 0 : i + 1) << "\n\tmake v" << i << "\n";
  }
}

enum class Setup {
  kNone,
  kUpToDate,         // files c, b and a, each newer than the one before
  kFullStdout,       // standard output is /dev/full
  kNoPlan,           // no todo.bat to start with
  kStdoutToPlan,     // planner m.mk > todo.bat
  kStdoutToMakefile, // planner m.mk > m.mk
  kLockHeld,         // another process holds the directory's lock
  kNoStderr,         // planner m.mk 2>&-
};

struct Row {
  const char* what;
  void (*makefile)(std::ostream&);
  Setup setup = Setup::kNone;
  std::string error;                // the error line; a prefix when it ends in '*'
  const char* todo = nullptr;       // todo.bat afterwards ("keep" at start); nullptr: no such file
  std::string (*plan)() = nullptr;  // or, when given, this
  std::int64_t per_byte = 0;        // peak memory per makefile byte; 0: not measured
  std::size_t close_after = 0;      // the trace's reader goes away after this many bytes
  std::uint64_t file_limit = 0;     // ulimit -f, in bytes
  std::uint64_t memory_limit = 0;   // ulimit -v, in bytes
  int signal = 0;                   // sent after `signal_after` ms
  int signal_after = 0;
  bool terminal = false;  // standard error is a terminal
  bool stray = false;     // leaves its new file, todo.bat~N, behind
};

const Row kRows[] = {
    {"50 MB without a colon",
     [](std::ostream& o) { repeat(o, std::string(80, 'n') + "\n", 655'360); }, Setup::kNone,
     "makefile has no rule*", "keep", nullptr, 4},
    {"a 10 MB command", [](std::ostream& o) { repeat(o << "g: x\n\t", "c", 10u << 20) << "\n"; },
     Setup::kNone, "", nullptr, [] { return std::string(10u << 20, 'c') + "\r\n"; }, 8},
    {"a chain of 100,000 rules", [](std::ostream& o) { chain(o, false); }, Setup::kNone, "",
     nullptr,
     [] {
       std::string todo;
       for (int i = 99'999; i >= 0; --i) todo.append("make v").append(std::to_string(i)) += "\r\n";
       return todo;
     },
     10},
    {"a cycle of 100,000 rules", [](std::ostream& o) { chain(o, true); }, Setup::kNone,
     "dependency cycle: v0 -> v1 -> v2 -> v3 -> v4 -> v5 -> v6 -> v7 -> ... (99985 more) -> *",
     "keep", nullptr, 200},
    {"100,000 dependencies of one rule",
     [](std::ostream& o) { repeat(o << "g:", " d", 100'000) << "\n\tlink\n"; }, Setup::kNone, "",
     "link\r\n", nullptr, 16},
    // A copy waiting on the walk's stacks costs a few words, whatever its
    // vertex holds and however many copies wait.
    {"10,000 copies of a vertex with a 100 KB command",
     [](std::ostream& o) {
       repeat(o << "a:", " b", 10'000) << "\nb: c\n\t" << std::string(100'000, 'x') << "\n";
     },
     Setup::kUpToDate, "", "", nullptr, 10},
    {"700 copies of a vertex with 700 children",
     [](std::ostream& o) { repeat(repeat(o << "a:", " d", 700) << "\nd:", " e", 700) << "\n"; },
     Setup::kUpToDate, "", "", nullptr, 10},
    {"standard output full", ladder32, Setup::kFullStdout,
     "cannot write standard output: No space left on device", "keep"},
    {"reader of the trace goes away", ladder32, Setup::kNone,
     "cannot write standard output: Broken pipe", "keep", nullptr, 0, 1u << 20},
    {"file-size limit", ladder32, Setup::kNone, "cannot write 'todo.bat': File too large", "keep",
     nullptr, 0, 0, 1u << 16},
    {"out of memory",
     [](std::ostream& o) {
       for (int i = 0; i < 4'000'000; ++i) o << " n" << 10'000'000 + i;
     },
     Setup::kNone, "out of memory", "keep", nullptr, 0, 0, 0, 64u << 20},
    // Past a second of walking: no progress line without a terminal.
    {"Ctrl-C", ladder32, Setup::kNone, "", "keep", nullptr, 0, 0, 0, 0, SIGINT, 2500},
    {"hang-up", ladder32, Setup::kNone, "", "keep", nullptr, 0, 0, 0, 0, SIGHUP, 300},
    {"kill -9", ladder32, Setup::kNone, "", "keep", nullptr, 0, 0, 0, 0, SIGKILL, 300},
    {"kill -9 without a plan", ladder32, Setup::kNoPlan, "", nullptr, nullptr, 0, 0, 0, 0, SIGKILL,
     300, false, true},
    // Without a plan to start with the new file has a name, which must go.
    {"kill", ladder32, Setup::kNoPlan, "", nullptr, nullptr, 0, 0, 0, 0, SIGTERM, 300},
    {"quit", ladder32, Setup::kNoPlan, "", nullptr, nullptr, 0, 0, 0, 0, SIGQUIT, 300},
    {"another run holds the lock", ladder32, Setup::kLockHeld,
     "cannot create 'todo.bat': another planner run is writing it", "keep"},
    // Refused before anything is read; the shell has emptied the file.
    {"standard output into todo.bat", ladder32, Setup::kStdoutToPlan,
     "standard output is the plan file todo.bat: the plan would replace the trace", ""},
    {"standard output into the makefile", ladder32, Setup::kStdoutToMakefile,
     "standard output is the makefile 'm.mk': the trace would overwrite it", "keep"},
    // No file the run opens may take the closed stream's place: the warning
    // for x would go into it.
    {"standard error closed", [](std::ostream& o) { o << "g: x\n\tlink\n"; }, Setup::kNoStderr, "",
     "link\r\n"},
    // A long walk shows how far it is, of the exact total, on a terminal.
    {"progress on a terminal", [](std::ostream& o) { ladder(o, 21); }, Setup::kNone,
     "\rplanner: step *", "keep", nullptr, 0, 0, 0, 0, SIGINT, 2500, true},
};

// What the planner needs for a makefile of one rule, in this build; a
// sanitizer's runtime takes a few MiB more over a long walk.
std::int64_t baseline() {
  static const std::int64_t peak = [] {
    test::ScratchDir dir;
    dir.write("m.mk", "g: x\n");
    return test::run({{PLANNER_EXE, "m.mk"}, dir.path(), "/dev/null"}).peak;
  }();
#ifdef PLANNER_SANITIZED
  return peak + (std::int64_t{4} << 20);
#else
  return peak;
#endif
}

TEST(Runs, EndInAPlanOrFailCleanly) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
#ifdef PLANNER_SANITIZED
    if (row.memory_limit > 0) continue;  // a sanitizer reserves all address space
#endif
    test::ScratchDir scratch;
    const fs::path dir = scratch.path();
    std::ofstream makefile(dir / "m.mk", std::ios::binary);
    row.makefile(makefile);
    const auto size = static_cast<std::int64_t>(makefile.tellp());
    makefile.close();
    scratch.write("todo.bat", "keep");
    test::Child child{{PLANNER_EXE, "m.mk"}};
    child.stdout_path = row.close_after > 0 ? "" : "/dev/null";
    child.close_after = row.close_after;
    if (row.file_limit > 0) child.file_limit = row.file_limit;
    child.memory_limit = row.memory_limit;
    child.signal = row.signal;
    child.signal_after = row.signal_after;
    child.terminal = row.terminal;
    child.seconds = 20;  // a walk that went on after a failure would take days
    int lock = -1;
    switch (row.setup) {
      case Setup::kNone: break;
      case Setup::kUpToDate:
        scratch.write("c", "", 1'700'000'000);
        scratch.write("b", "", 1'700'000'001);
        scratch.write("a", "", 1'700'000'002);
        break;
      case Setup::kFullStdout: child.stdout_path = "/dev/full"; break;
      case Setup::kNoPlan: fs::remove(dir / "todo.bat"); break;
      case Setup::kStdoutToPlan: child.stdout_path = (dir / "todo.bat").string(); break;
      case Setup::kStdoutToMakefile: child.stdout_path = (dir / "m.mk").string(); break;
      case Setup::kNoStderr: child.no_stderr = true; break;
      case Setup::kLockHeld:
        lock = open(dir.c_str(), O_RDONLY);
        ASSERT_EQ(flock(lock, LOCK_EX), 0);
        break;
    }
    child.dir = dir;
    const auto names = [&dir] {
      std::set<fs::path> names;
      for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path());
      return names;
    };
    const auto before = names();
    const auto r = test::run(child);
    std::vector<fs::path> added;
    const auto after = names();
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    EXPECT_EQ(added.size(), row.stray ? 1u : 0u);  // no other file left behind
    if (row.stray && added.size() == 1) {
      EXPECT_TRUE(std::regex_match(added[0].filename().string(), std::regex(R"(todo\.bat~\d+)")));
    }
    if (lock >= 0) close(lock);
    const bool left = fs::exists(fs::symlink_status(dir / "todo.bat"));
    const std::string todo = left ? test::read_file(dir / "todo.bat") : "";

    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, row.signal);
    if (row.signal == 0) {
      EXPECT_EQ(r.status, row.error.empty() ? 0 : 1);
    }
    // Warnings (of the leaves no file stands for) may come first; then one
    // line, the error.
    std::string err = r.err;
    while (err.starts_with("planner: warning: ")) err.erase(0, err.find('\n') + 1);
    const std::string error = (row.terminal ? "" : "planner: error: ") + row.error;
    if (row.error.ends_with('*')) {
      EXPECT_EQ(err.substr(0, error.size() - 1), error.substr(0, error.size() - 1)) << r.err;
    } else {
      EXPECT_EQ(err, row.error.empty() ? "" : error + "\n");
    }
    if (row.terminal) {
      // Drawn on the system's clock, of the walk's exact total, a few times a
      // second, not at every check of the clock; blanked by the interruption.
      // Its forms are the progress test's.
      const std::string drawn = r.err.substr(0, r.err.find_last_not_of("\r ") + 1);
      const std::string last = drawn.substr(drawn.rfind('\r') + 1);
      EXPECT_TRUE(r.err.ends_with("\r" + std::string(last.size(), ' ') + "\r"));
      EXPECT_TRUE(std::regex_match(
          last, std::regex(R"(planner: step [\d,]+ of 27,262,972 \(.*, 0:0[12] elapsed, .* left *)")))
          << last;
      EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\r'), 10);
    }
    if (row.plan != nullptr) {
      EXPECT_EQ(todo, row.plan());
    } else if (row.todo == nullptr) {
      EXPECT_FALSE(left) << todo.size() << " bytes of todo.bat left";
    } else {
      EXPECT_EQ(todo, row.todo);
    }
    if (row.per_byte > 0) {
      EXPECT_LE(r.peak, std::max(baseline(), r.floor) + row.per_byte * size) << (r.peak >> 20);
    }
  }
}

// The usage lines name the executable by its full path, however long.
TEST(Runs, UsageNamesALongExecutablePathWhole) {
  test::ScratchDir dir;
  const fs::path exe = dir.path() / std::string(120, 'd') / std::string(120, 'e') / "planner";
  fs::create_directories(exe.parent_path());
  fs::copy_file(PLANNER_EXE, exe);
  EXPECT_EQ(test::run({{exe.string()}, dir.path()}).out,
            "usage:\r\n\t" + exe.string() + " <makefile>\r\n");
}

}  // namespace
}  // namespace planner
