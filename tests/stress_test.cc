// Hostile makefiles, generated here at test time, through the real executable
// in a scratch directory. Each run must end in a plan or a clear refusal, and
// its peak memory must stay proportional to what it keeps: the trace, often
// gigabytes, is streamed to /dev/null and never collected.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/cp866.h"
#include "test_util.h"

namespace planner {
namespace {

using test::planner_exe;
using test::read_file;
using test::ScratchDir;

constexpr std::string_view kError = "planner: error: ";
// The state line's words before the state's name, as the program writes them.
constexpr Cp866 kA0StateLine{"Автомат A0 перешел в состояние "};

// Runs the planner on `makefile` in `dir`, standard output to /dev/null
// unless `keep_output` is set: most traces here are gigabytes.
test::RunResult plan(const ScratchDir& dir, const std::string& makefile, bool keep_output = false) {
  return test::run(planner_exe(), {makefile}, dir.path(), keep_output ? "" : "/dev/null");
}

// What the planner needs for a makefile of one rule, in this build.
std::int64_t baseline() {
  static const std::int64_t peak = [] {
    ScratchDir dir;
    dir.write("m.mk", "g: x\n");
    return plan(dir, "m.mk").peak;
  }();
  return peak;
}

// A sanitizer's runtime takes a few MiB of its own over a long walk (fake
// stack frames), whatever the makefile.
#ifdef PLANNER_SANITIZED
constexpr std::int64_t kRuntime = std::int64_t{4} << 20;
#else
constexpr std::int64_t kRuntime = 0;
#endif

// Peak memory may grow by `per_byte` bytes for each byte of the makefile.
void expect_bounded(const test::RunResult& r, std::size_t makefile_size, std::int64_t per_byte) {
  const std::int64_t bound = std::max(baseline(), r.floor) + kRuntime +
                             per_byte * static_cast<std::int64_t>(makefile_size);
  ASSERT_GT(r.peak, 0) << "no peak memory measured";
  EXPECT_LE(r.peak, bound) << "peak " << (r.peak >> 20) << " MiB, bound " << (bound >> 20)
                           << " MiB";
}

void expect_refusal(const test::RunResult& r, std::string_view reason) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(0, kError.size() + reason.size()),
            std::string(kError) + std::string(reason))
      << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err.substr(0, 200);
}

// Writes a makefile piece by piece, so that this process never holds a
// large one.
class Writer {
 public:
  Writer(const ScratchDir& dir, const std::string& name)
      : out_(dir.path() / name, std::ios::binary | std::ios::trunc) {}
  Writer& add(std::string_view piece, std::size_t times = 1) {
    for (std::size_t i = 0; i < times; ++i) {
      out_.write(piece.data(), static_cast<std::streamsize>(piece.size()));
      size_ += piece.size();
    }
    return *this;
  }
  std::size_t size() const { return size_; }

 private:
  std::ofstream out_;
  std::size_t size_ = 0;
};

// "v0: v1" ... "v<n-1>: v<n>", each with one command; the last names v0
// again when `cycle` is set.
std::string chain(int n, bool cycle) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    const int next = cycle && i == n - 1 ? 0 : i + 1;
    // Appended, not "v" + std::string: g++ 12 warns falsely on that (-Wrestrict).
    text.append("v").append(std::to_string(i)).append(": v").append(std::to_string(next));
    text.append("\n\tmake v").append(std::to_string(i)).append("\n");
  }
  return text;
}

TEST(Stress, FiftyMegabytesWithoutAColonIsOneGoalNameAndNoRule) {
  ScratchDir dir;
  const std::string line = std::string(80, 'n') + "\n";
  const std::size_t size = Writer(dir, "m.mk").add(line, (50u << 20) / line.size()).size();
  const auto r = plan(dir, "m.mk");
  expect_refusal(r, "makefile has no rule");
  // The goal buffer doubles as it grows; a sanitizer keeps the old blocks a while.
  expect_bounded(r, size, 4);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "todo.bat"));
}

TEST(Stress, TenMegabyteCommandLineArrivesWhole) {
  constexpr std::size_t kBlock = 1u << 16;
  constexpr std::size_t kBlocks = 160;
  ScratchDir dir;
  const std::string block(kBlock, 'c');
  const std::size_t size = Writer(dir, "m.mk").add("g: x\n\t").add(block, kBlocks).add("\n").size();
  const auto r = plan(dir, "m.mk");
  EXPECT_EQ(r.status, 0) << r.err;
  // The command lives in the reader's buffer, which doubles as it grows, and
  // in the graph; the walk's copies share the graph's.
  expect_bounded(r, size, 8);
  std::ifstream todo(dir.path() / "todo.bat", std::ios::binary);
  std::string read(kBlock, '\0');
  for (std::size_t i = 0; i < kBlocks; ++i) {
    ASSERT_TRUE(todo.read(read.data(), kBlock)) << "todo.bat ends in block " << i;
    ASSERT_EQ(read, block) << "block " << i;
  }
  std::string rest((std::istreambuf_iterator<char>(todo)), std::istreambuf_iterator<char>());
  EXPECT_EQ(rest, "\r\n");
}

// Every byte value in every state of the reader. "a:b\n" brings it from any
// state to DETERMINE, and a short prefix from there to each other state;
// LINE is only the start of a file, so it gets a file per byte value. Each
// delivered character must give exactly one state line.
TEST(Stress, EveryByteValueInEveryStateEndsInAPlanOrARefusal) {
  const std::string_view to_state[] = {"g", "g:", "g:d", "g:d ", "", "\t"};
  std::vector<std::string> makefiles;
  for (const std::string_view prefix : to_state) {
    std::string text;
    for (int b = 0; b < 256; ++b) {
      if (b != 0x1A) text += "a:b\n" + std::string(prefix) + static_cast<char>(b);
    }
    makefiles.push_back(text + "\x1A" + "after: end\n");
  }
  for (int b = 0; b < 256; ++b) makefiles.push_back(std::string(1, static_cast<char>(b)) + "a:b\n");
  for (const std::string& text : makefiles) {
    ScratchDir dir;
    dir.write("m.mk", text);
    const auto r = plan(dir, "m.mk", true);
    std::size_t delivered = 0;
    for (const char c : text.substr(0, text.find('\x1A'))) delivered += c == '\r' ? 0 : 1;
    EXPECT_EQ(test::lines_starting(r.out, kA0StateLine.view()), delivered)
        << "first byte " << int{static_cast<unsigned char>(text[0])};
    if (r.status != 0) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err.substr(0, kError.size()), kError) << r.err;
    }
  }
}

TEST(Stress, NulBytesAreNeitherNamesNorEndsOfText) {
  ScratchDir dir;
  const std::size_t size = Writer(dir, "m.mk")
                               .add(std::string_view("g\0:\0 a\0b\n\t\0mk\0 x\n", 18))
                               .add(std::string(1u << 16, '\0'), 16)
                               .size();
  const auto r = plan(dir, "m.mk");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.path() / "todo.bat"), "mk x\r\n");
  expect_bounded(r, size, 4);
}

// Walk and cycle check keep their own stacks: a chain as deep as the graph
// must not reach the native stack's limit.
TEST(Stress, ChainOfAHundredThousandRulesIsWalkedToTheBottom) {
  constexpr int kRules = 100000;
  ScratchDir dir;
  const std::string text = chain(kRules, false);
  dir.write("m.mk", text);
  const auto r = plan(dir, "m.mk");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string expected;
  for (int i = kRules - 1; i >= 0; --i) expected += "make v" + std::to_string(i) + "\r\n";
  EXPECT_EQ(read_file(dir.path() / "todo.bat"), expected);
  expect_bounded(r, text.size(), 10);
}

// A copy waiting on the walk's stacks costs a few words, whatever its vertex
// holds and however many copies wait: 10,000 copies of b, which has a 100 KB
// command, all files up to date; and 700 copies of d, which has 700 children,
// d and e missing and without commands.
TEST(Stress, FanOutsWaitOnTheStacksInAFewWordsACopy) {
  const std::string command = "\t" + std::string(100000, 'x') + "\n";
  const std::vector<std::pair<std::string_view, std::size_t>> rows[] = {
      {{"a:", 1}, {" b", 10000}, {"\nb: c\n", 1}, {command, 1}},
      {{"a:", 1}, {" d", 700}, {"\nd:", 1}, {" e", 700}, {"\n", 1}},
  };
  for (const auto& pieces : rows) {
    ScratchDir dir;
    std::size_t size = 0;
    {
      Writer makefile(dir, "m.mk");
      for (const auto& [piece, times] : pieces) size = makefile.add(piece, times).size();
    }
    dir.touch("c", 1'700'000'000);
    dir.touch("b", 1'700'000'001);
    dir.touch("a", 1'700'000'002);
    const auto r = plan(dir, "m.mk");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.path() / "todo.bat"), "");
    expect_bounded(r, size, 10);
  }
}

TEST(Stress, HundredThousandDependenciesOfOneRule) {
  ScratchDir dir;
  std::string text = "g:";
  for (int i = 0; i < 100000; ++i) text += " d" + std::to_string(i);
  text += "\n\tlink\n";
  dir.write("m.mk", text);
  const auto r = plan(dir, "m.mk");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.path() / "todo.bat"), "link\r\n");
  // Short names: a vertex, its index slot and its copy on the stack cost
  // more than its seven makefile bytes.
  expect_bounded(r, text.size(), 16);
}

TEST(Stress, LongCycleIsRefusedOnOneLine) {
  ScratchDir dir;
  const std::string text = chain(100000, true);
  dir.write("m.mk", text);
  dir.write("todo.bat", "keep");
  const auto r = plan(dir, "m.mk");
  expect_refusal(r, "dependency cycle: v0 -> v1 -> ");
  EXPECT_NE(r.err.find(" more) -> "), std::string::npos) << r.err.substr(0, 200);
  EXPECT_EQ(read_file(dir.path() / "todo.bat"), "keep");
  expect_bounded(r, text.size(), 200);
}

// The executable's first 0x1A byte ends its text early, so it is read a
// second time without any, to the last byte.
TEST(Stress, OwnExecutableAsTheMakefile) {
  ScratchDir dir;
  {
    std::ifstream in(planner_exe(), std::ios::binary);
    Writer self(dir, "self.mk");
    std::string block(1u << 16, '\0');
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
      std::string piece = block.substr(0, static_cast<std::size_t>(in.gcount()));
      std::erase(piece, '\x1A');
      self.add(piece);
    }
  }
  for (const std::string& makefile : {planner_exe(), std::string("self.mk")}) {
    const auto r = plan(dir, makefile);
    if (r.status != 0) expect_refusal(r, "");
    expect_bounded(r, std::filesystem::file_size(planner_exe()), 200);
  }
}

}  // namespace
}  // namespace planner
