#include "harness.h"

#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <linux/capability.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace planner::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string name = (fs::temp_directory_path() / "planner-test-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, std::string_view content,
                       std::optional<double> mtime) const {
  std::ofstream(path_ / name, std::ios::binary | std::ios::trunc)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
  if (mtime) {
    using namespace std::chrono;
    const sys_time<nanoseconds> at(round<nanoseconds>(duration<double>(*mtime)));
    fs::last_write_time(path_ / name, file_clock::from_sys(at));
  }
}

std::string read_file(const fs::path& path) {
  std::ostringstream all;
  all << std::ifstream(path, std::ios::binary).rdbuf();
  return all.str();
}

std::string decode(std::string_view cp866) {
  std::string bytes;
  for (std::size_t i = 0; i < cp866.size(); ++i) {
    if (cp866[i] != '\r' || i + 1 == cp866.size() || cp866[i + 1] != '\n') bytes += cp866[i];
  }
  // The C library's table, not the program's: an independent reading.
  const iconv_t cd = iconv_open("UTF-8", "CP866");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no CP866");
  std::string text(bytes.size() * 3, '\0');
  char *from = bytes.data(), *to = text.data();
  std::size_t left = bytes.size(), room = text.size();
  iconv(cd, &from, &left, &to, &room);
  iconv_close(cd);
  text.resize(text.size() - room);
  return text;
}

RunResult run(const Child& child) {
  ScratchDir capture;
  const std::string out_path =
      child.stdout_path.empty() ? (capture.path() / "out").string() : child.stdout_path;
  const std::string err_path =
      child.stderr_path.empty() ? (capture.path() / "err").string() : child.stderr_path;
  std::vector<char*> argv;
  for (const auto& arg : child.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const bool piped = child.close_after > 0 || child.slow || child.meanwhile;
  int pipe_ends[2] = {-1, -1};
  if (piped && pipe(pipe_ends) != 0) throw std::runtime_error("pipe failed");
  // As a parent may leave it; the setting is the child's end's, shared.
  if (child.slow) fcntl(pipe_ends[1], F_SETFL, O_NONBLOCK);
  int terminal[2] = {-1, -1};  // master, slave
  if (child.terminal && openpty(&terminal[0], &terminal[1], nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  int reader = child.terminal ? terminal[0] : pipe_ends[0];  // the parent's end
  // A limit this process is under already can only be lowered.
  rlimit files{};
  getrlimit(RLIMIT_FSIZE, &files);
  files.rlim_cur = files.rlim_max = std::min<rlim_t>(files.rlim_max, child.file_limit);
  const rlimit memory{child.memory_limit, child.memory_limit}, no_core{0, 0};

  RunResult result;
  // Linux starts a child's peak at what this process holds when it forks.
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  result.floor = std::int64_t{resident} * sysconf(_SC_PAGESIZE);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = piped ? pipe_ends[1] : open(out_path.c_str(), child.stdout_flags, 0644);
    const int err = child.terminal ? terminal[1]
                    : child.merged ? out
                                   : open(err_path.c_str(), child.stderr_flags, 0644);
    // The signal sent takes its default action, however this process was
    // started, and leaves no core file.
    if (child.signal != 0) signal(child.signal, SIG_DFL);
    if (in < 0 || out < 0 || err < 0 || chdir(child.dir.c_str()) != 0 ||
        setrlimit(RLIMIT_FSIZE, &files) != 0 || setrlimit(RLIMIT_CORE, &no_core) != 0 ||
        (child.memory_limit > 0 && setrlimit(RLIMIT_AS, &memory) != 0))
      _exit(127);
    const auto user = static_cast<uid_t>(child.user);
    if (child.user >= 0 && (geteuid() != 0 || setgroups(0, nullptr) != 0 || setgid(user) != 0 ||
                            setuid(user) != 0))
      _exit(126);
    // Root keeps its uid, and so its own files, but not the override, which
    // exec would give back unless it leaves the bounding set.
    if (child.unprivileged && geteuid() == 0 &&
        (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 ||
         prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0))
      _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (child.no_stderr) close(2);
    if (reader >= 0) close(reader);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  // What the child writes to a pipe or a terminal is read as it comes, so
  // that it never waits on a full one.
  if (reader >= 0) {
    close(child.terminal ? terminal[1] : pipe_ends[1]);
    fcntl(reader, F_SETFL, O_NONBLOCK);
  }
  bool held = static_cast<bool>(child.meanwhile);
  const int capacity = reader >= 0 ? fcntl(reader, F_GETPIPE_SZ) : 0;
  // Full: more than half of it taken, by pages the writer may not have
  // filled, and no more for 20 ms.
  int queued = 0;
  auto still_since = std::chrono::steady_clock::now();
  const auto read_child = [&] {
    int now = 0;
    if (held && ioctl(reader, FIONREAD, &now) == 0 && now != queued) {
      queued = now;
      still_since = std::chrono::steady_clock::now();
    } else if (held && queued > capacity / 2 &&
               std::chrono::steady_clock::now() - still_since > std::chrono::milliseconds(20)) {
      child.meanwhile();
      held = false;
    }
    char block[1 << 16];
    const std::size_t size = child.slow ? 4096 : sizeof block;  // one read a turn
    for (ssize_t n; !held && reader >= 0 && (n = read(reader, block, size)) > 0;) {
      result.piped += static_cast<std::size_t>(n);
      if (child.terminal) {
        result.err.append(block, static_cast<std::size_t>(n));
      } else if (child.close_after > 0 && result.piped >= child.close_after) {
        close(reader);  // the reader goes away
        reader = -1;
      }
      if (child.slow) break;
    }
  };
  int status = 0;
  rusage usage{};
  bool signalled = child.signal == 0;
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    read_child();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed > std::chrono::seconds(child.seconds)) {
      result.timed_out = true;
      kill(pid, SIGKILL);
    } else if (!signalled && elapsed > std::chrono::milliseconds(child.signal_after)) {
      kill(pid, child.signal);
      signalled = true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.peak = std::int64_t{usage.ru_maxrss} * 1024;
  if (child.stdout_path.empty() && !piped) result.out = read_file(out_path);
  held = false;  // what is left, to its end
  for (std::size_t before = ~std::size_t{0}; reader >= 0 && result.piped != before;) {
    before = result.piped;
    read_child();
  }
  if (reader >= 0) close(reader);
  if (!child.terminal && child.stderr_path.empty()) result.err = read_file(err_path);
  return result;
}

}  // namespace planner::test
