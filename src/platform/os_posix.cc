#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace planner::os {

// os_node.cc answers these under Node.js.
#ifndef __EMSCRIPTEN__
std::string executable_path(const char* argv0) {
  std::vector<char> path(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return argv0;
    if (static_cast<std::size_t>(n) < path.size())
      return {path.data(), static_cast<std::size_t>(n)};
    path.resize(path.size() * 2);
  }
}

std::int64_t modification_time(const char* path, FileId* id) {
  struct stat st {};
  if (stat(path, &st) != 0) return 0;
  if (id != nullptr) {
    *id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }
  return static_cast<std::int64_t>(st.st_mtime);
}
#endif

void use_binary_stdio() {}

bool is_directory(std::FILE* file) {
  struct stat st {};
  return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_directory(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

void keep_standard_streams() {
  // open() takes the lowest free descriptor, which is the closed stream's.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDONLY) != fd) return;
  }
}

#ifdef __EMSCRIPTEN__
// In os_node.cc: emscripten's poll knows nothing of Node's descriptors.
bool wait_writable(int fd);
#else
// Until `fd` can take a byte again; false when that cannot be told.
bool wait_writable(int fd) {
  pollfd ready{fd, POLLOUT, 0};
  int n = 0;
  while ((n = poll(&ready, 1, -1)) < 0 && errno == EINTR) {
  }
  return n > 0;  // an error or a hang-up shows in the next write
}
#endif

// Straight to the descriptor: the standard streams have no buffer here, so
// nothing waits in one, and stdio would drop bytes that a full non-blocking
// stream refused.
bool write_stream(std::FILE* stream, std::string_view bytes) {
  const int fd = fileno(stream);
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_writable(fd)) continue;
    if (n == 0) errno = 0;
    return false;
  }
  return true;
}

namespace {

// Read by the signal handler: the path is set before the flag is raised.
const char* interrupt_path = nullptr;
volatile std::sig_atomic_t remove_armed = 0;
volatile std::sig_atomic_t blank_width = 0;

// What an interruption and exit_at_once do before the end: only
// async-signal-safe calls (unlink, memset, write, poll), and no memory.
void clean_up() {
  if (remove_armed != 0) unlink(interrupt_path);
  if (blank_width > 0) {
    char blank[2 + 256];  // wider than any progress line
    const auto width = static_cast<std::size_t>(blank_width < 256 ? blank_width : 256);
    std::memset(blank, ' ', width + 2);
    blank[0] = blank[width + 1] = '\r';
    write_stream(stderr, {blank, width + 2});
  }
}

extern "C" void on_interrupt(int signal_number) {
  clean_up();
  // SA_RESETHAND has restored the default action; the signal, blocked while
  // this runs, ends the process as soon as the handler returns.
  raise(signal_number);
}

// Signals whose default action does not end the process, or that cannot be
// caught; a vanished reader and a file-size limit are ignored instead.
bool leaves_process_alive(int s) {
  switch (s) {
    case SIGKILL: case SIGSTOP: case SIGPIPE: case SIGXFSZ: case SIGCHLD: case SIGCONT:
    case SIGTSTP: case SIGTTIN: case SIGTTOU: case SIGURG: case SIGWINCH: return true;
    default: return false;
  }
}

#ifdef NSIG
constexpr int kSignals = NSIG;
#else
constexpr int kSignals = 65;
#endif

}  // namespace

void exit_at_once(std::string_view line) {
  clean_up();
  write_stream(stderr, line);
  _exit(1);
}

#ifndef __EMSCRIPTEN__  // os_node.cc asks Node
namespace {

// `stream`'s status when it is a regular file.
bool regular_stream(std::FILE* stream, struct stat* st) {
  return fstat(fileno(stream), st) == 0 && S_ISREG(st->st_mode);
}

bool same_identity(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool same_file(std::FILE* file, const char* path) {
  struct stat held {}, named {};
  return fstat(fileno(file), &held) == 0 && stat(path, &named) == 0 && same_identity(held, named);
}

bool stream_is_file(std::FILE* stream, std::FILE* file) {
  struct stat out {}, held {};
  return regular_stream(stream, &out) && fstat(fileno(file), &held) == 0 &&
         same_identity(out, held);
}

bool stream_is_named(std::FILE* stream, const char* path) {
  struct stat out {}, named {};
  return regular_stream(stream, &out) && lstat(path, &named) == 0 && same_identity(out, named);
}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }

long process_id() { return static_cast<long>(getpid()); }
unsigned effective_user() { return static_cast<unsigned>(geteuid()); }
bool process_may_run(long id) { return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH; }
#endif

void handle_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;
  sigfillset(&action.sa_mask);
  for (int s = 1; s < kSignals; ++s) {
    struct sigaction before {};
    // A signal ignored from the start (nohup, a background job) stays so, and
    // so does one that a sanitizer's runtime catches; numbers the system
    // keeps for itself fail here harmlessly.
    if (leaves_process_alive(s) || sigaction(s, nullptr, &before) != 0 ||
        (before.sa_flags & SA_SIGINFO) != 0 || before.sa_handler != SIG_DFL) {
      continue;
    }
    sigaction(s, &action, nullptr);
  }
}

void remove_on_interrupt(const char* path) {
  if (path == nullptr) {
    remove_armed = 0;
    return;
  }
  interrupt_path = path;
  remove_armed = 1;
}

void blank_on_interrupt(std::size_t width) {
  blank_width = static_cast<std::sig_atomic_t>(width);
}

#ifndef __EMSCRIPTEN__  // emscripten's mmap is malloc's, and cannot be cut
namespace {

// Whole large pages, so that the mapping ends on a boundary too.
std::size_t large_pages_for(std::size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

void* allocate_large(std::size_t size) {
  const std::size_t length = large_pages_for(size);
  if (length < size || length + kLargePage < length) return nullptr;
  // One large page more than needed, to cut a boundary out of.
  void* mapped = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  char* const start = static_cast<char*>(mapped);
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
  char* const at = start + (large_pages_for(address) - address);
  if (at != start) munmap(start, static_cast<std::size_t>(at - start));
  if (at + length != start + length + kLargePage) {
    munmap(at + length, static_cast<std::size_t>(start + length + kLargePage - (at + length)));
  }
#ifdef MADV_HUGEPAGE
  madvise(at, length, MADV_HUGEPAGE);  // refused or not, the memory works the same
#endif
  return at;
}

void free_large(void* at, std::size_t size) { munmap(at, large_pages_for(size)); }
#endif

}  // namespace planner::os
