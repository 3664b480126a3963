// The real executable on real files, in a scratch directory with file times
// set explicitly: the runs that only a POSIX system can set up. The runs that
// the Windows build must match byte for byte are case files under
// tests/cases/ (end_to_end_cases_test.cc).
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace planner {
namespace {

using test::decode;
using test::planner_exe;
using test::run;
using test::ScratchDir;

constexpr std::string_view kA0Closing = "Aвтомат A0 закончил работу\n";

TEST(EndToEnd, UsageLineStartedThroughARelativePathIsStillFull) {
  ScratchDir dir;
  dir.write("todo.bat", "keep");
  const std::string full = std::filesystem::canonical(planner_exe()).string();
  const std::string expected = "usage:\r\n\t" + full + " <makefile>\r\n";
  const auto relative = std::filesystem::relative(full, dir.path()).string();
  ASSERT_NE(relative.front(), '/');
  EXPECT_EQ(run(relative, {}, dir.path()).out, expected);
  EXPECT_EQ(dir.read("todo.bat"), "keep");
}

TEST(EndToEnd, UnreadableMakefileIsAnErrorAndTouchesNothing) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads anything";
  ScratchDir dir;
  dir.write("todo.bat", "keep");
  dir.write("secret.mk", "a: b\n");
  chmod((dir.path() / "secret.mk").c_str(), 0);
  const auto r = run(planner_exe(), {"secret.mk"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "planner: error: cannot read makefile 'secret.mk': Permission denied\n");
  EXPECT_EQ(dir.read("todo.bat"), "keep");
}

// Reading /proc/self/mem from offset 0 fails at once with EIO: the reader's
// closing line is printed, then the error.
TEST(EndToEnd, ReadErrorPartWayPrintsTheTraceSoFar) {
  ScratchDir dir;
  const auto r = run(planner_exe(), {"/proc/self/mem"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(decode(r.out), kA0Closing);
  EXPECT_EQ(r.err, "planner: error: cannot read makefile '/proc/self/mem': Input/output error\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "todo.bat"));
}

// Every refusal prints A0's whole trace, no A1 step, and keeps "todo.bat".
TEST(EndToEnd, RefusalsLeaveTodoBatAsItWas) {
  const struct {
    std::string makefile;
    std::string error;
  } cases[] = {
      {"", "makefile has no rule: no goal name is followed by a colon"},
      {"just words\n", "makefile has no rule: no goal name is followed by a colon"},
      {"all:", "first goal 'all' has no dependencies (does its rule header lack a line end?)"},
      {"all: x", "first goal 'all' has no dependencies (does its rule header lack a line end?)"},
      {"all: a\na: b\nb: a\n", "dependency cycle: a -> b -> a"},
      {"all: all\n", "dependency cycle: all -> all"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    dir.write("m.mk", c.makefile);
    dir.write("todo.bat", "keep\r\n");
    const auto r = run(planner_exe(), {"m.mk"}, dir.path());
    EXPECT_EQ(r.status, 1) << c.makefile;
    EXPECT_EQ(r.err, "planner: error: " + c.error + "\n");
    const std::string out = decode(r.out);
    EXPECT_EQ(out.substr(out.size() - kA0Closing.size()), kA0Closing) << c.makefile;
    EXPECT_EQ(out.find("A1"), std::string::npos) << c.makefile;
    EXPECT_EQ(dir.read("todo.bat"), "keep\r\n");
  }
}

TEST(EndToEnd, TodoBatInReadOnlyDirectory) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  ScratchDir dir;
  dir.write("m.mk", "g: l\n\tbuild\n");
  chmod(dir.path().c_str(), 0555);
  const auto r = run(planner_exe(), {"m.mk"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "planner: error: cannot create 'todo.bat': Permission denied\n");
}

TEST(EndToEnd, FailedWriteToTodoBatIsAnError) {
  ScratchDir dir;
  dir.write("m.mk", "g: l\n\tbuild\n");
  std::filesystem::create_symlink("/dev/full", dir.path() / "todo.bat");
  const auto r = run(planner_exe(), {"m.mk"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "planner: error: cannot write 'todo.bat': No space left on device\n");
  EXPECT_NE(decode(r.out).find("Aвтомат A1 закончил работу"), std::string::npos);
}

TEST(EndToEnd, FullStandardOutputIsAnError) {
  ScratchDir dir;
  dir.write("m.mk", "g: l\n\tbuild\n");
  const auto r = run(planner_exe(), {"m.mk"}, dir.path(), "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "planner: error: cannot write standard output: No space left on device\n");
  const auto usage = run(planner_exe(), {}, dir.path(), "/dev/full");
  EXPECT_EQ(usage.status, 1);
}

}  // namespace
}  // namespace planner
