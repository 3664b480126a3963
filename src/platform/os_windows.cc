#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <vector>

#include "platform/os.h"

namespace planner::os {

// The path comes from the wide call, so that no ANSI code page decides what
// it becomes; it is written in code page 866 like every other byte the
// program prints.
std::string executable_path(const char* argv0) {
  std::vector<wchar_t> wide(MAX_PATH);
  DWORD n = 0;
  for (;;) {
    n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n == 0) return argv0;
    if (n < wide.size()) break;  // n == size means the path was cut short
    wide.resize(wide.size() * 2);
  }
  const int wide_len = static_cast<int>(n);
  const int size = WideCharToMultiByte(866, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return argv0;
  std::string path(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(866, 0, wide.data(), wide_len, path.data(), size, nullptr, nullptr);
  return path;
}

std::int64_t modification_time(const char* path) {
  struct _stat64 st {};
  if (_stat64(path, &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtime);
}

// The program writes CR LF itself; a text-mode stream would turn each of its
// LF bytes into a second CR LF.
void use_binary_stdio() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool is_directory(std::FILE* file) {
  struct _stat64 st {};
  return _fstat64(_fileno(file), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

bool is_directory(const char* path) {
  struct _stat64 st {};
  return _stat64(path, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

}  // namespace planner::os
