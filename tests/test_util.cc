#include "test_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
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

RunResult run(const std::string& exe, const std::vector<std::string>& args,
              const std::filesystem::path& dir, const std::string& stdout_path) {
  ScratchDir capture;
  const std::string out_path =
      stdout_path.empty() ? (capture.path() / "out").string() : stdout_path;
  const std::string err_path = (capture.path() / "err").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  RunResult result;
  // Linux starts a spawned child's peak at the spawning process's own peak,
  // so that one is the floor of the measurement.
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  result.floor = std::int64_t{self.ru_maxrss} * 1024;
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.peak = std::int64_t{usage.ru_maxrss} * 1024;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdout_path.empty()) result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

}  // namespace planner::test
