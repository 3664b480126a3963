// Runs of the real executable that a case directory cannot hold: makefiles
// made at test time (gigabytes of trace, streamed to /dev/null), runs cut
// short or disturbed from outside, and directories that only root can make.
// Each must end in a plan, or in one error line and exit status 1, or in
// death by the signal that interrupted it; promptly, with its peak memory
// proportional to the makefile, with todo.bat either as it was or the whole
// plan, and no other file left behind but the one new file todo.bat~N that
// kill -9 may leave, which the next run removes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>

#include "harness.h"
#include "makefiles.h"

namespace planner {
namespace {

namespace fs = std::filesystem;
using test::chain, test::ladder, test::ladder10, test::ladder10_plan, test::ladder32, test::repeat,
    test::small;

enum class Setup {
  kNone,
  kUpToDate,         // files c, b and a, each newer than the one before
  kFullStdout,       // standard output is /dev/full
  kNoPlan,           // no todo.bat to start with
  kLockHeld,         // another process holds the directory's lock
  kNoStderr,         // planner m.mk 2>&-
  kSlowPipe,         // standard output a non-blocking pipe, read slowly
  // A second run starts while the first waits to write its trace, in a
  // directory that may be entered but not read (mode 0111 or 0333), with
  // or without a plan; it must refuse.
  kSecondIn0111,
  kSecondIn0333,
  kSecondIn0333NoPlan,
  kSecondIn0333Unreadable,  // ... with a plan the user may write but not read
  kKillIn0333NoPlan,        // the plan created in place goes with the run
  kStrayHeld,               // a live run holds its new file, todo.bat~1, locked
  kPlanBecomesDirectory,  // todo.bat replaced by a directory during the walk
  kNamesTaken,            // every name todo.bat~PID, ~PID-1, ... ~PID-99 taken
  kNamesTakenNoPlan,
  kNamesTakenButOne,  // ... all but ~PID-1
  // chattr +a or +i on the directory or on the plan:
  kAppendOnly, kAppendOnlyNoPlan, kImmutable, kImmutableNoPlan, kAppendOnlyPlan, kImmutablePlan,
  // strace kills the run at a system call or makes the call fail: the
  // rename, fsync (EIO, or EINVAL as where files cannot be synced), the
  // naming of the unnamed new file (EIO, or SIGTERM), emptying the plan in
  // place or the one just created there, closing the new file, opening the
  // plan to lock it.
  kKillAtRename, kRenameFails, kSyncFails, kNoSync, kLinkFails, kTermAtLink,
  kTruncateFailsAppendOnly, kTruncateFailsIn0333NoPlan, kCloseFails, kPlanUnopenable,
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
  bool in_place = false;  // todo.bat is still the file it was
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
    // The new file has a name, which goes with the failed run.
    {"file-size limit without a plan", ladder32, Setup::kNoPlan,
     "cannot write 'todo.bat': File too large", nullptr, nullptr, 0, 0, 1u << 16},
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
    // kill -9 between naming the new file and the rename.
    {"kill -9 at the rename", small, Setup::kKillAtRename, "", "keep", nullptr, 0, 0, 0, 0, SIGKILL,
     0, false, true},
    {"the rename fails", small, Setup::kRenameFails, "cannot write 'todo.bat': Input/output error",
     "keep"},
    {"fsync fails", small, Setup::kSyncFails, "cannot write 'todo.bat': Input/output error", "keep"},
    {"a file system that cannot sync", small, Setup::kNoSync, "", "link\r\n"},
    {"the new file cannot be named", small, Setup::kLinkFails,
     "cannot write 'todo.bat': Input/output error", "keep"},
    {"closing the new file fails", small, Setup::kCloseFails,
     "cannot write 'todo.bat': Input/output error", "keep"},
    // Locked only where it can be opened; no other run holds it.
    {"the plan cannot be opened to be locked", small, Setup::kPlanUnopenable, "", "link\r\n"},
    // Held until its removal is armed.
    {"a signal as the new file is named", small, Setup::kTermAtLink, "", "keep", nullptr, 0, 0, 0,
     0, SIGTERM},
    {"the plan cannot be emptied in place", small, Setup::kTruncateFailsAppendOnly,
     "cannot create 'todo.bat': Input/output error", "keep", nullptr, 0, 0, 0, 0, 0, 0, false, false,
     true},
    // The plan it created goes again: nothing is left where there was nothing.
    {"the created plan cannot be emptied", small, Setup::kTruncateFailsIn0333NoPlan,
     "cannot create 'todo.bat': Input/output error", nullptr},
    // Without a plan to start with the new file has a name, which must go.
    {"kill", ladder32, Setup::kNoPlan, "", nullptr, nullptr, 0, 0, 0, 0, SIGTERM, 300},
    {"quit", ladder32, Setup::kNoPlan, "", nullptr, nullptr, 0, 0, 0, 0, SIGQUIT, 300},
    {"another run holds the lock", ladder32, Setup::kLockHeld,
     "cannot create 'todo.bat': another planner run is writing it", "keep"},
    // No file the run opens may take the closed stream's place: the warning
    // for x would go into it.
    {"standard error closed", [](std::ostream& o) { o << "g: x\n\tlink\n"; }, Setup::kNoStderr, "",
     "link\r\n"},
    // A slow reader is waited for, even where the parent left the pipe
    // non-blocking.
    {"a slow reader of a non-blocking pipe", ladder10, Setup::kSlowPipe, "", nullptr, ladder10_plan},
    {"a second run in a directory of mode 0111", ladder10, Setup::kSecondIn0111, "", nullptr,
     ladder10_plan, 0, 0, 0, 0, 0, 0, false, false, true},
    {"a second run in a directory of mode 0333", ladder10, Setup::kSecondIn0333, "", nullptr,
     ladder10_plan},
    {"a second run in a directory of mode 0333 without a plan", ladder10,
     Setup::kSecondIn0333NoPlan, "", nullptr, ladder10_plan},
    {"a second run in a directory of mode 0333, the plan unreadable", ladder10,
     Setup::kSecondIn0333Unreadable, "", nullptr, ladder10_plan},
    {"kill in a directory of mode 0333 without a plan", ladder32, Setup::kKillIn0333NoPlan, "",
     nullptr, nullptr, 0, 0, 0, 0, SIGTERM, 300},
    {"the new file of a live run", small, Setup::kStrayHeld, "", "link\r\n"},
    {"a directory in the plan's place", ladder10, Setup::kPlanBecomesDirectory,
     "cannot write 'todo.bat': Is a directory", ""},
    {"every name for the new file taken", small, Setup::kNamesTaken,
     "cannot write 'todo.bat': every name from 'todo.bat~*", "keep"},
    {"every name for the new file taken but one", small, Setup::kNamesTakenButOne, "", "link\r\n"},
    {"every name for the new file taken, no plan", small, Setup::kNamesTakenNoPlan,
     "cannot create 'todo.bat': every name from 'todo.bat~*", nullptr},
    // Nothing can be removed there, so the plan is written in place.
    {"an append-only directory", small, Setup::kAppendOnly, "", "link\r\n", nullptr, 0, 0, 0, 0,
     0, 0, false, false, true},
    {"an append-only directory without a plan", small, Setup::kAppendOnlyNoPlan, "", "link\r\n"},
    {"an immutable directory", small, Setup::kImmutable, "", "link\r\n", nullptr, 0, 0, 0, 0, 0, 0,
     false, false, true},
    {"an immutable directory without a plan", small, Setup::kImmutableNoPlan,
     "cannot create 'todo.bat': the directory is immutable (see lsattr)*", nullptr},
    {"an append-only plan", small, Setup::kAppendOnlyPlan,
     "cannot create 'todo.bat': it is append-only (see lsattr): it can be neither*", "keep"},
    {"an immutable plan", small, Setup::kImmutablePlan,
     "cannot create 'todo.bat': it is immutable (see lsattr): it can be neither*", "keep"},
    // A long walk shows how far it is, of the exact total, on a terminal.
    {"progress on a terminal", [](std::ostream& o) { ladder(o, 21); }, Setup::kNone,
     "\rplanner: step *", "keep", nullptr, 0, 0, 0, 0, SIGINT, 2500, true},
};

// What the planner needs for a makefile of one rule, in this build; a
// sanitizer's runtime takes a few MiB more over a long walk (its stacks for
// use after return among them).
std::int64_t baseline() {
  static const std::int64_t peak = [] {
    test::ScratchDir dir;
    dir.write("m.mk", "g: x\n");
    return test::run({{PLANNER_EXE, "m.mk"}, dir.path(), "/dev/null"}).peak;
  }();
#ifdef PLANNER_SANITIZED
  return peak + (std::int64_t{8} << 20);
#else
  return peak;
#endif
}

// Whether `argv` runs and exits with 0: a tool that a row needs.
bool works(std::vector<std::string> argv, const fs::path& dir) {
  test::Child child{std::move(argv), dir};
  child.seconds = 10;
  return test::run(child).status == 0;
}

// Undoes chattr +a or +i however the test ends, so that the directory can go.
struct Attribute {
  std::string flag;
  fs::path path;
  ~Attribute() {
    if (!path.empty()) works({"chattr", "-ai", path.string()}, path.parent_path());
  }
};

// The shell makes every name for the new file a directory, but those before
// ~PID-`first` other than ~PID, then becomes the planner with the same
// process number.
std::string take_names(int first) {
  return "names= i=" + std::to_string(first) +
         "; while [ $i -lt 100 ]; do names=\"$names todo.bat~$$-$i\" i=$((i+1)); done; "
         "mkdir todo.bat~$$ $names && exec \"$0\" m.mk";
}

// strace stops the run at `calls`, with a signal or an error: `injection` is
// "CALLS:WHAT"; only calls on `path`, when given. A leak check cannot run
// under it.
std::vector<std::string> injecting(const std::string& injection, const fs::path& path) {
  std::vector<std::string> argv{"strace", "-f", "-qq", "-o", "/dev/null", "-E",
                                "ASAN_OPTIONS=detect_leaks=0"};
  if (!path.empty()) argv.insert(argv.end(), {"-P", path.string()});
  argv.insert(argv.end(), {"-e", "trace=" + injection.substr(0, injection.find(':')), "-e",
                           "inject=" + injection, PLANNER_EXE, "m.mk"});
  return argv;
}

// Which close, counted from the start, is the new file's: the first after it
// is named, as a run under strace shows. Empty when the run showed no naming
// (no strace, or a new file created with its name).
std::string close_of_new_file(const fs::path& dir) {
  const std::string log = test::run({{"strace", "-qq", "-e", "trace=close,linkat", PLANNER_EXE,
                                      "m.mk"}, dir, "/dev/null"}).err;
  const std::size_t named = log.find("linkat(");
  if (named == std::string::npos) return "";
  const std::string before = log.substr(0, named);
  const std::regex close("close\\(");
  const auto closes = std::distance(std::sregex_iterator(before.begin(), before.end(), close), {});
  return std::to_string(closes + 1);
}

// A row is named by what it does, in test names and messages.
void PrintTo(const Row& row, std::ostream* out) { *out << row.what; }

class Runs : public testing::TestWithParam<Row> {};

TEST_P(Runs, EndInAPlanOrFailCleanly) {
  const Row& row = GetParam();
#ifdef PLANNER_SANITIZED
  if (row.memory_limit > 0) GTEST_SKIP() << "a sanitizer reserves all address space";
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
  child.dir = dir;
  int lock = -1;
  int mode = 0;  // of the directory, for the run, when not 0
  std::optional<test::RunResult> second;
  Attribute attribute;
  std::string injection;
  fs::path injected;  // the one name whose calls are injected; empty: every call
  switch (row.setup) {
    case Setup::kNone: break;
    case Setup::kUpToDate:
      scratch.write("c", "", 1'700'000'000);
      scratch.write("b", "", 1'700'000'001);
      scratch.write("a", "", 1'700'000'002);
      break;
    case Setup::kFullStdout: child.stdout_path = "/dev/full"; break;
    case Setup::kNoPlan: fs::remove(dir / "todo.bat"); break;
    case Setup::kNoStderr: child.no_stderr = true; break;
    case Setup::kLockHeld:
      lock = open(dir.c_str(), O_RDONLY);
      ASSERT_EQ(flock(lock, LOCK_EX), 0);
      break;
    case Setup::kSlowPipe: child.stdout_path = "", child.slow = true; break;
    case Setup::kSecondIn0333NoPlan: fs::remove(dir / "todo.bat"); [[fallthrough]];
    case Setup::kSecondIn0111:
    case Setup::kSecondIn0333:
    case Setup::kSecondIn0333Unreadable:
      if (fs::exists(dir / "todo.bat")) {
        fs::permissions(dir / "todo.bat",
                        fs::perms(row.setup == Setup::kSecondIn0333Unreadable ? 0222 : 0666));
      }
      mode = row.setup == Setup::kSecondIn0111 ? 0111 : 0333;
      child.unprivileged = true;
      child.stdout_path = "";
      child.meanwhile = [&child, &second] {
        test::Child again = child;
        again.meanwhile = nullptr;
        again.stdout_path = "/dev/null";
        second = test::run(again);
      };
      break;
    case Setup::kPlanBecomesDirectory:
      child.stdout_path = "";
      child.meanwhile = [&dir] {
        fs::remove(dir / "todo.bat");
        fs::create_directory(dir / "todo.bat");
      };
      break;
    case Setup::kNamesTakenNoPlan: fs::remove(dir / "todo.bat"); [[fallthrough]];
    case Setup::kNamesTaken: child.argv = {"sh", "-c", take_names(1), PLANNER_EXE}; break;
    case Setup::kNamesTakenButOne: child.argv = {"sh", "-c", take_names(2), PLANNER_EXE}; break;
    case Setup::kTruncateFailsIn0333NoPlan: injection = "ftruncate:error=EIO"; [[fallthrough]];
    case Setup::kKillIn0333NoPlan:
      fs::remove(dir / "todo.bat");
      mode = 0333;
      child.unprivileged = true;
      break;
    case Setup::kStrayHeld:
      scratch.write("todo.bat~1", "");
      lock = open((dir / "todo.bat~1").c_str(), O_RDONLY);
      ASSERT_EQ(flock(lock, LOCK_EX), 0);
      break;
    case Setup::kTruncateFailsAppendOnly: injection = "ftruncate:error=EIO"; [[fallthrough]];
    case Setup::kAppendOnly: attribute = {"+a", dir}; break;
    case Setup::kAppendOnlyNoPlan: fs::remove(dir / "todo.bat"), attribute = {"+a", dir}; break;
    case Setup::kImmutableNoPlan: fs::remove(dir / "todo.bat"); [[fallthrough]];
    case Setup::kImmutable: attribute = {"+i", dir}; break;
    case Setup::kAppendOnlyPlan: attribute = {"+a", dir / "todo.bat"}; break;
    case Setup::kImmutablePlan: attribute = {"+i", dir / "todo.bat"}; break;
    case Setup::kKillAtRename: injection = "rename,renameat,renameat2:signal=KILL"; break;
    case Setup::kRenameFails: injection = "rename,renameat,renameat2:error=EIO"; break;
    case Setup::kSyncFails: injection = "fsync:error=EIO"; break;
    case Setup::kNoSync: injection = "fsync:error=EINVAL"; break;
    case Setup::kLinkFails: injection = "linkat:error=EIO"; break;
    case Setup::kTermAtLink: injection = "linkat:signal=TERM"; break;
    case Setup::kCloseFails: {
      const std::string when = close_of_new_file(dir);
      if (when.empty()) GTEST_SKIP() << "no new file named by strace's run";
      injection = "close:error=EIO:when=" + when;
      scratch.write("todo.bat", "keep");
      break;
    }
    case Setup::kPlanUnopenable:
      injection = "openat:error=EACCES", injected = "todo.bat";
      break;
  }
  if (!attribute.flag.empty() && !works({"chattr", attribute.flag, attribute.path.string()}, dir)) {
    attribute.path.clear();
    GTEST_SKIP() << "chattr " << attribute.flag << " does not work here";
  }
  if (!injection.empty()) {
    if (!works({"strace", "-V"}, dir)) GTEST_SKIP() << "strace is not installed";
    child.argv = injecting(injection, injected);
    child.signal = 0;  // strace sends it
  }
  const auto names = [&dir] {
    std::set<fs::path> names;
    // A directory is no file left behind; todo.bat is checked below.
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (!entry.is_directory() && entry.path().filename() != "todo.bat") names.insert(entry.path());
    }
    return names;
  };
  const auto before = names();
  struct stat old {};
  stat((dir / "todo.bat").c_str(), &old);
  if (mode != 0) fs::permissions(dir, fs::perms(mode));
  const auto r = test::run(child);
  if (mode != 0) fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
  if (r.status == 126 && child.unprivileged) GTEST_SKIP() << "root cannot give up its override";
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
  // Warnings (of the leaves no file stands for, or strace's of the name it
  // was given) may come first; then one line, the error.
  std::string err = r.err;
  while (err.starts_with("planner: warning: ") || err.starts_with("strace: ")) {
    err.erase(0, err.find('\n') + 1);
  }
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
  if (row.in_place) {
    struct stat now {};
    EXPECT_EQ(stat((dir / "todo.bat").c_str(), &now) == 0 ? now.st_ino : 0, old.st_ino);
  }
  if (row.per_byte > 0) {
    EXPECT_LE(r.peak, std::max(baseline(), r.floor) + row.per_byte * size) << (r.peak >> 20);
  }
  if (child.meanwhile && child.unprivileged) {
    ASSERT_TRUE(second.has_value()) << "the first run never waited";
    EXPECT_EQ(second->status, 1);
    EXPECT_EQ(second->err, "planner: error: cannot create 'todo.bat': another planner run is writing it\n");
  }
  // The next run removes what kill -9 left, and plans.
  if (row.stray) {
    std::ofstream(dir / "n.mk") << "g: x\n\tlink\n";
    const auto next = test::run({{PLANNER_EXE, "n.mk"}, dir, "/dev/null"});
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(test::read_file(dir / "todo.bat"), "link\r\n");
    EXPECT_FALSE(fs::exists(added.empty() ? dir / "todo.bat~" : added[0]));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Runs, testing::ValuesIn(kRows), [](const auto& info) {
  std::string name = info.param.what;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
});

}  // namespace
}  // namespace planner
