// Runs cut short from outside: each must fail at once with one error line,
// or die of the signal that interrupted it, and never leave a partial
// todo.bat behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_util.h"

namespace planner {
namespace {

namespace fs = std::filesystem;

// Both goals of every level depend on both goals of the next: a walk of
// 2^levels paths, every goal rebuilt as none of the files exists.
std::string ladder(int levels) {
  std::string text = "g: a0 b0\n\tbuild g\n";
  for (int i = 0; i < levels; ++i) {
    const std::string n = std::to_string(i);
    const std::string next = std::to_string(i + 1);
    for (const char side : {'a', 'b'}) {
      text.append(1, side).append(n).append(": ");
      if (i + 1 < levels) {
        text.append("a").append(next).append(" b").append(next);
      } else {
        text.append("leaf");
      }
      text.append("\n\tbuild ").append(1, side).append(n).append("\n");
    }
  }
  return text;
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
  return __has_feature(address_sanitizer);
#else
  return false;
#endif
}

enum class Setup { kNone, kFullDevice, kSmallFileSystem, kLockHeld, kHugeGraph };

struct Row {
  const char* what;
  Setup setup = Setup::kNone;
  std::size_t close_after = 0;      // the reader of standard output goes away
  std::uint64_t file_limit = 0;     // ulimit -f, in bytes
  std::uint64_t memory_limit = 0;   // ulimit -v, in bytes
  int signal = 0;                   // sent once todo.bat has grown
  const char* error = "";           // the one error line; empty when killed by `signal`
  const char* todo = nullptr;       // what todo.bat holds afterwards; nullptr: no such file
};

const Row kRows[] = {
    {"reader of the trace goes away", Setup::kNone, 1u << 20, 0, 0, 0,
     "cannot write standard output: Broken pipe"},
    {"file-size limit", Setup::kNone, 0, 1u << 16, 0, 0, "cannot write 'todo.bat': File too large"},
    {"full device", Setup::kFullDevice, 0, 0, 0, 0,
     "cannot write 'todo.bat': No space left on device"},
    {"full file system", Setup::kSmallFileSystem, 0, 0, 0, 0,
     "cannot write 'todo.bat': No space left on device"},
    {"Ctrl-C", Setup::kNone, 0, 0, 0, SIGINT},
    {"kill", Setup::kNone, 0, 0, 0, SIGTERM},
    {"hang-up", Setup::kNone, 0, 0, 0, SIGHUP},
    {"another run holds the lock", Setup::kLockHeld, 0, 0, 0, 0,
     "cannot create 'todo.bat': another planner run is writing it", "keep"},
    {"out of memory", Setup::kHugeGraph, 0, 0, 64u << 20, 0, "out of memory", "keep"},
};

TEST(FailClean, EveryInterruptedRunFailsAtOnceAndLeavesNoPartialPlan) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    test::ScratchDir scratch;
    fs::path dir = scratch.path();
    scratch.write("m.mk", ladder(24));
    scratch.write("todo.bat", "keep");
    test::Child child;
    child.exe = test::planner_exe();
    child.args = {(dir / "m.mk").string()};
    child.stdout_path = row.close_after > 0 ? "" : "/dev/null";
    child.close_after = row.close_after;
    if (row.file_limit > 0) child.file_limit = row.file_limit;
    child.memory_limit = row.memory_limit;
    child.seconds = 10;  // a walk that goes on after a failure takes minutes
    int lock = -1;
    switch (row.setup) {
      case Setup::kNone: break;
      case Setup::kFullDevice:
        fs::remove(dir / "todo.bat");
        fs::create_symlink("/dev/full", dir / "todo.bat");
        break;
      case Setup::kSmallFileSystem:
        dir /= "fs";
        fs::create_directory(dir);
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
          std::cout << "SKIPPED row '" << row.what << "': cannot mount a tmpfs (needs root)\n";
          continue;
        }
        break;
      case Setup::kLockHeld:
        lock = open((dir / "todo.bat").c_str(), O_RDONLY);
        ASSERT_EQ(flock(lock, LOCK_EX), 0);
        break;
      case Setup::kHugeGraph: {
        if (sanitized()) {
          std::cout << "SKIPPED row '" << row.what << "': a sanitizer needs all address space\n";
          continue;
        }
        // Four million names of 8 bytes each: their graph needs far more
        // than the limit.
        std::ofstream mk(dir / "m.mk", std::ios::binary | std::ios::trunc);
        mk << "g:";
        for (int i = 0; i < 4'000'000; ++i) mk << " n" << (10'000'000 + i);
        mk << "\n";
        break;
      }
    }
    child.dir = dir;
    if (row.signal != 0) {
      child.signal = row.signal;
      child.signal_when = [&dir](std::string_view) {
        std::error_code ec;
        return fs::file_size(dir / "todo.bat", ec) > 4 && !ec;
      };
    }
    const auto r = test::run(child);
    if (lock >= 0) close(lock);
    const bool left = fs::exists(fs::symlink_status(dir / "todo.bat"));
    const std::string todo = left ? test::read_file(dir / "todo.bat") : "";
    if (row.setup == Setup::kSmallFileSystem) umount(dir.c_str());

    if (row.signal != 0) {
      EXPECT_EQ(r.signal, row.signal);
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, std::string("planner: error: ") + row.error + "\n");
    }
    if (row.todo == nullptr) {
      EXPECT_FALSE(left) << todo.size() << " bytes of todo.bat left";
    } else {
      EXPECT_EQ(todo, row.todo);
    }
  }
}


// A long walk shows how far it is on a terminal, with the exact total, and
// nothing when standard error is not a terminal.
TEST(LongWalk, ProgressLineOnATerminalOnly) {
  test::ScratchDir dir;
  dir.write("m.mk", ladder(21));
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "file");
    test::Child child;
    child.exe = test::planner_exe();
    child.args = {"m.mk"};
    child.dir = dir.path();
    child.stdout_path = "/dev/null";
    child.terminal = terminal;
    child.signal = SIGINT;
    const auto start = std::chrono::steady_clock::now();
    child.signal_when = [&start](std::string_view err) {
      return err.find(" left") != std::string_view::npos ||
             std::chrono::steady_clock::now() - start > std::chrono::seconds(2);
    };
    const auto r = test::run(child);
    EXPECT_EQ(r.signal, SIGINT);
    if (terminal) {
      EXPECT_EQ(r.err.rfind("\rplanner: step ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(" of 27,262,972 ("), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

}  // namespace
}  // namespace planner
