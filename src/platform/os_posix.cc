#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace planner::os
