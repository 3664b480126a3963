#include "test_util.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "planner/dependency_graph.h"

namespace planner::test {

std::string describe(const DependencyGraph& graph) {
  std::string text;
  const auto& vertices = graph.vertices();
  for (VertexIndex i = 0; i < vertices.size(); ++i) {
    const auto v = vertices[i];
    text.append(v.name) += ":";
    for (const VertexIndex child : v.children) text.append(" ").append(vertices.name(child));
    text += "\n";
    for (const auto command : v.commands) text.append("\t").append(command) += "\n";
  }
  return text;
}

std::string decode(std::string_view cp866) {
  std::string text;
  for (std::size_t i = 0; i < cp866.size(); ++i) {
    const auto c = static_cast<unsigned char>(cp866[i]);
    unsigned cp = c;
    if (c == '\r') {
      EXPECT_TRUE(i + 1 < cp866.size() && cp866[i + 1] == '\n') << "lone CR at byte " << i;
      continue;
    }
    if (c == '\n') {
      EXPECT_TRUE(i > 0 && cp866[i - 1] == '\r') << "line feed without CR at byte " << i;
    }
    if (c >= 0x80 && c <= 0xAF)
      cp = 0x410 + (c - 0x80);
    else if (c >= 0xE0 && c <= 0xEF)
      cp = 0x440 + (c - 0xE0);
    else if (c == 0xF0)
      cp = 0x401;
    else if (c == 0xF1)
      cp = 0x451;
    else if (c >= 0x80)
      ADD_FAILURE() << "byte outside the messages' letters: " << int{c};
    if (cp < 0x80) {
      text += static_cast<char>(cp);
    } else {
      text += static_cast<char>(0xC0 | (cp >> 6));
      text += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return text;
}

ScratchDir::ScratchDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "planner-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, std::string_view content,
                       std::int64_t mtime) const {
  const auto file = path_ / name;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  if (mtime >= 0) {
    const auto when =
        std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(mtime)));
    std::filesystem::last_write_time(file, when);
  }
}

std::string ScratchDir::read(const std::string& name) const { return read_file(path_ / name); }

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::size_t lines_starting(std::string_view text, std::string_view prefix) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(prefix, at)) != std::string_view::npos; ++at) {
    if (at == 0 || text[at - 1] == '\n') ++count;
  }
  return count;
}

RunResult run(const Child& child) {
  ScratchDir capture;
  const std::string out_path =
      child.stdout_path.empty() ? (capture.path() / "out").string() : child.stdout_path;
  const std::string err_path = (capture.path() / "err").string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(child.exe.c_str()));
  for (const auto& a : child.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipe_ends[2] = {-1, -1};
  if (child.close_after > 0 && pipe(pipe_ends) != 0) throw std::runtime_error("pipe failed");
  int terminal[2] = {-1, -1};  // the pseudo-terminal's master and slave
  if (child.terminal && openpty(&terminal[0], &terminal[1], nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");

  RunResult result;
  // Linux starts a child's peak at the forking process's own peak, so that
  // one is the floor of the measurement.
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  result.floor = std::int64_t{self.ru_maxrss} * 1024;
  // A limit this process is under already can only be lowered.
  rlimit files{};
  getrlimit(RLIMIT_FSIZE, &files);
  files.rlim_cur = files.rlim_max = std::min<rlim_t>(files.rlim_max, child.file_limit);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(child.seconds);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = child.close_after > 0 ? pipe_ends[1]
                                          : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err =
        child.terminal ? terminal[1] : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const rlimit memory{child.memory_limit, child.memory_limit};
    if (in < 0 || out < 0 || err < 0 || chdir(child.dir.c_str()) != 0 ||
        setrlimit(RLIMIT_FSIZE, &files) != 0 ||
        (child.memory_limit > 0 && setrlimit(RLIMIT_AS, &memory) != 0))
      _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (pipe_ends[0] >= 0) close(pipe_ends[0]);
    if (terminal[0] >= 0) close(terminal[0]);
    execv(child.exe.c_str(), argv.data());
    _exit(127);
  }
  if (child.close_after > 0) {
    close(pipe_ends[1]);
    std::vector<char> block(1u << 16);
    for (std::size_t got = 0; got < child.close_after;) {
      const ssize_t n = read(pipe_ends[0], block.data(), std::min(block.size(), child.close_after - got));
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    close(pipe_ends[0]);
  }
  if (child.terminal) {
    close(terminal[1]);
    fcntl(terminal[0], F_SETFL, O_NONBLOCK);
  }
  // What the terminal shows; read as it comes, so that the child never waits.
  const auto read_terminal = [&] {
    char block[4096];
    for (ssize_t n; child.terminal && (n = read(terminal[0], block, sizeof block)) > 0;)
      result.err.append(block, static_cast<std::size_t>(n));
  };
  int status = 0;
  rusage usage{};
  bool signalled = child.signal == 0;
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    read_terminal();
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << child.exe << " killed after " << child.seconds << " s";
      kill(pid, SIGKILL);
    } else if (!signalled && child.signal_when(result.err)) {
      kill(pid, child.signal);
      signalled = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.peak = std::int64_t{usage.ru_maxrss} * 1024;
  if (child.stdout_path.empty() && child.close_after == 0) result.out = read_file(out_path);
  if (child.terminal) {
    read_terminal();
    close(terminal[0]);
  } else {
    result.err = read_file(err_path);
  }
  return result;
}

}  // namespace planner::test
