// Runs at the edges of what the system gives: every address space from the
// least the program loads in, and a long path to the executable.
#include <gtest/gtest.h>

#include <fstream>

#include "harness.h"

namespace planner {
namespace {

namespace fs = std::filesystem;

// Every address-space limit under which the program reaches main ends in
// the plan or in the out-of-memory line, never in an abort: scanned from
// where the loader fails, finely from where main is reached, until 16 limits
// in a row have planned.
TEST(Limits, EveryAddressSpaceEndsInAPlanOrOutOfMemory) {
#ifdef PLANNER_SANITIZED
  GTEST_SKIP() << "a sanitizer reserves all address space";
#endif
  test::ScratchDir scratch;
  std::ofstream makefile(scratch.path() / "m.mk");
  for (int i = 0; i < 500; ++i) makefile << 'g' << i << ": g" << i + 1 << "x\n\tcc " << i << "\n";
  makefile.close();
  int planned = 0, failed = 0;
  for (std::uint64_t kib = 1024, step = 64; kib < (std::uint64_t{1} << 16) && planned < 16;
       kib += step) {
    SCOPED_TRACE(kib);
    scratch.write("todo.bat", "keep");
    test::Child child{{PLANNER_EXE, "m.mk"}, scratch.path(), "/dev/null"};
    child.memory_limit = kib << 10;
    const auto r = test::run(child);
    if (r.status == 127 && !r.err.starts_with("planner: ")) continue;  // the loader's failure
    if (step > 16) {
      kib -= step;  // main was reached: from the last limit that did not, finely
      step = 16;
      continue;
    }
    EXPECT_EQ(r.signal, 0);
    std::string err = r.err;
    while (err.starts_with("planner: warning: ")) err.erase(0, err.find('\n') + 1);
    const std::string todo = test::read_file(scratch.path() / "todo.bat");
    if (r.status == 0) {
      ++planned;
      EXPECT_EQ(todo, "cc 0\r\n");
    } else {
      planned = 0;
      ++failed;
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(err, "planner: error: out of memory\n");
      EXPECT_EQ(todo, "keep");
    }
    const auto files = std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator());
    EXPECT_EQ(files, 2) << "a file left beside m.mk and todo.bat";
    if (testing::Test::HasFailure()) break;
  }
  EXPECT_GT(failed, 0) << "no limit ran out of memory";
  EXPECT_EQ(planned, 16);
}

// The usage lines name the executable by its full path, however long.
TEST(Usage, NamesALongExecutablePathWhole) {
  test::ScratchDir dir;
  const fs::path exe = dir.path() / std::string(120, 'd') / std::string(120, 'e') / "planner";
  fs::create_directories(exe.parent_path());
  fs::copy_file(PLANNER_EXE, exe);
  EXPECT_EQ(test::run({{exe.string()}, dir.path()}).out,
            "usage:\r\n\t" + exe.string() + " <makefile>\r\n");
}

}  // namespace
}  // namespace planner
