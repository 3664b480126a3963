#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "platform/os.h"

namespace planner::os {

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

std::int64_t modification_time(const char* path) {
  struct stat st {};
  if (stat(path, &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtime);
}

void use_binary_stdio() {}

bool is_directory(std::FILE* file) {
  struct stat st {};
  return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_directory(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool same_file(int fd, const char* path) {
  struct stat held {}, named {};
  return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// Read by the signal handler: the path is set before the flag is raised.
const char* interrupt_path = nullptr;
volatile std::sig_atomic_t remove_armed = 0;

extern "C" void on_interrupt(int signal_number) {
  if (remove_armed != 0) unlink(interrupt_path);
  // SA_RESETHAND has restored the default action; the signal, blocked while
  // this runs, ends the process as soon as the handler returns.
  raise(signal_number);
}

}  // namespace

bool same_file(std::FILE* file, const char* path) { return same_file(fileno(file), path); }

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }

void handle_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  const int interruptions[] = {SIGINT, SIGTERM, SIGHUP};
  for (const int s : interruptions) sigaddset(&action.sa_mask, s);
  for (const int s : interruptions) {
    struct sigaction before {};
    // A signal ignored from the start (nohup, a background job) stays so.
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
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

std::FILE* create_locked(const char* path, std::string* err) {
  // A run that failed removes its file: when that happens between our open
  // and our lock, the lock holds a file without a name, and we open again.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      *err = std::strerror(errno);
      return nullptr;
    }
    // Only a lock held elsewhere refuses; a file system without locks
    // (ENOLCK, EINVAL) is written unlocked, as before.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      close(fd);
      *err = "another planner run is writing it";
      return nullptr;
    }
    if (!same_file(fd, path)) {
      close(fd);
      continue;
    }
    struct stat st {};
    // A device such as /dev/null or /dev/full cannot be truncated, nor needs to be.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
      *err = std::strerror(errno);
      close(fd);
      return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
      *err = std::strerror(errno);
      close(fd);
    }
    return file;
  }
  *err = "it keeps being replaced";
  return nullptr;
}

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

}  // namespace planner::os
