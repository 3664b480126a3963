// Every directory under tests/cases/ is one run of the real executable in a
// scratch directory, checked byte for byte. A directory holds:
//   case      how to lay out and run it, one line each, in order:
//               args A B ...       the command line (none: no argument);
//                                  \n, \t and \e stand for control bytes
//               example NAME       lay out examples/NAME
//               dir NAME           make a directory
//               link NAME TARGET   make a symbolic link
//               hardlink NAME TARGET  make a hard link
//               fifo NAME          make a FIFO
//               time NAME SECONDS  set a file's time, creating it empty; seconds
//                                  since 1970, e.g. -0.5; NAME ".", last, sets
//                                  the directory's own
//               mode NAME OCTAL    set a file's permissions, and run without
//                                  root's power to pass over them; NAME "."
//                                  sets the directory's own
//               user               run as the user nobody (when root runs the
//                                  tests; skipped otherwise)
//               redirect 1>> NAME  standard output (1) or error (2) goes into
//                                  NAME, opened as the shell's >, >> or <>
//                                  opens it; nothing is captured from it
//               gone NAME          the run removes NAME, a file of in/
//               status N           the exit status expected (default 0)
//               merged             standard error goes into standard output,
//                                  as with 2>&1, and `stdout` holds both
//               posix              the run needs a POSIX system
//               native             ... and a native build: Node.js passes the
//                                  command line as UTF-8 text, and has no
//                                  unnamed files
//   in/       files to start with
//   stdout    what the run prints, decoded to UTF-8; @EXE@ stands for the
//             executable's full path
//   stderr    what it prints there (absent: nothing)
//   todo.bat  what the run leaves in todo.bat (absent: no such file); every
//             other file of in/ must be left as it was
// PLANNER_TEST_LAUNCHER runs every case under another program against the
// same expectations: valgrind, wine with PLANNER_TEST_EXE naming planner.exe,
// or node with it naming planner.js.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <tuple>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "harness.h"

namespace planner {
namespace {

namespace fs = std::filesystem;
const fs::path kCases = PLANNER_TEST_CASES;

std::vector<std::string> words(std::istream&& in) {
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// \n, \t and \e in an argument stand for a line feed, a tab and an escape.
std::string unescape(std::string word) {
  for (const auto& [code, byte] : {std::pair{"\\n", "\n"}, {"\\t", "\t"}, {"\\e", "\x1b"}}) {
    for (auto at = word.find(code); at != std::string::npos; at = word.find(code, at)) {
      word.replace(at, 2, byte);
    }
  }
  return word;
}

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, Run) {
  const fs::path dir = kCases / GetParam();
  const char* exe_override = std::getenv("PLANNER_TEST_EXE");
  const fs::path exe = fs::canonical(exe_override != nullptr ? exe_override : PLANNER_EXE);
  const char* launcher = std::getenv("PLANNER_TEST_LAUNCHER");
  test::Child child{words(std::istringstream(launcher != nullptr ? launcher : ""))};
  const bool wine = !child.argv.empty() && child.argv[0].find("wine") != std::string::npos;
  const bool node = !child.argv.empty() && child.argv[0].find("node") != std::string::npos;
  child.argv.push_back(exe.string());
  test::ScratchDir work;
  if (fs::exists(dir / "in")) fs::copy(dir / "in", work.path(), fs::copy_options::recursive);
  int status = 0;
  std::vector<std::string> gone;
  std::ifstream file(dir / "case");
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> w = words(std::istringstream(line));
    const std::string key = w.empty() ? "#" : w[0];
    if (key == "args") {
      std::transform(w.begin() + 1, w.end(), std::back_inserter(child.argv), unescape);
    } else if (key == "merged") {
      child.merged = true;
    } else if (key == "user") {
      child.user = 65534;
    } else if (key == "redirect") {
      const std::string how = w.at(1).substr(1);
      const int flags = how == ">>" ? O_WRONLY | O_CREAT | O_APPEND
                        : how == "<>" ? O_RDWR | O_CREAT
                                      : O_WRONLY | O_CREAT | O_TRUNC;
      const std::string path = (work.path() / w.at(2)).string();
      if (w[1][0] == '1') {
        std::tie(child.stdout_path, child.stdout_flags) = std::pair(path, flags);
      } else {
        std::tie(child.stderr_path, child.stderr_flags) = std::pair(path, flags);
      }
    } else if (key == "gone") {
      gone.push_back(w.at(1));
    } else if (key == "status") {
      status = std::stoi(w.at(1));
    } else if ((key == "posix" && wine) || (key == "native" && (wine || node))) {
      GTEST_SKIP() << "needs a POSIX system";
    } else if (key == "dir") {
      fs::create_directory(work.path() / w.at(1));
    } else if (key == "link") {
      fs::create_symlink(w.at(2), work.path() / w.at(1));
    } else if (key == "hardlink") {
      fs::create_hard_link(work.path() / w.at(2), work.path() / w.at(1));
    } else if (key == "fifo") {
      ASSERT_EQ(mkfifo((work.path() / w.at(1)).c_str(), 0666), 0);
    } else if (key == "mode") {
      fs::permissions(work.path() / w.at(1), fs::perms(std::stoi(w.at(2), nullptr, 8)));
      child.unprivileged = true;
    } else if (key == "time") {
      work.write(w.at(1), "", std::stod(w.at(2)));
    } else if (key == "example") {
      const fs::path examples = kCases.parent_path().parent_path() / "examples";
      test::run({{"bash", (examples / "lay_out.sh").string(), (examples / w.at(1)).string(), "."},
                 work.path()});
    } else if (key[0] != '#' && key != "posix" && key != "native") {
      ADD_FAILURE() << "unknown line: " << line;
    }
  }
  child.dir = work.path();
  const auto r = test::run(child);
  if ((child.unprivileged || child.user >= 0) && r.status == 126) {
    GTEST_SKIP() << "cannot run without root's override, or as another user";
  }
  EXPECT_EQ(r.status, status);
  std::string shown = exe.string();  // as the usage lines name it
  if (wine) {
    shown.insert(0, "Z:");
    std::replace(shown.begin(), shown.end(), '/', '\\');
  }
  std::string expected = test::read_file(dir / "stdout");
  for (auto at = expected.find("@EXE@"); at != std::string::npos; at = expected.find("@EXE@", at))
    expected.replace(at, 5, shown);
  EXPECT_EQ(test::decode(r.out), expected);
  EXPECT_EQ(r.err, test::read_file(dir / "stderr"));  // a missing file reads as empty
  if (fs::exists(dir / "todo.bat")) {
    EXPECT_EQ(test::read_file(work.path() / "todo.bat"), test::read_file(dir / "todo.bat"));
  } else {
    EXPECT_FALSE(fs::is_regular_file(work.path() / "todo.bat"));
  }
  std::error_code none;  // no in/ at all
  for (const auto& entry : fs::directory_iterator(dir / "in", none)) {
    const fs::path name = entry.path().filename();
    if (std::find(gone.begin(), gone.end(), name) != gone.end()) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(work.path() / name))) << name << " was left";
    } else {
      EXPECT_TRUE(name == "todo.bat" || (fs::exists(work.path() / name) &&
                                         test::read_file(work.path() / name) == test::read_file(entry)))
          << name << " was changed";
    }
  }
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, Cases, testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace planner
