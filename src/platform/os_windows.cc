#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
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

namespace {

bool same_file(HANDLE held, const char* path) {
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  if (!GetFileInformationByHandle(held, &a)) return false;
  const HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(named, &b) != 0;
  CloseHandle(named);
  return known && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The reasons the C library would give, so that messages read as on POSIX.
std::string reason(DWORD error, const char* path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED: return std::strerror(is_directory(path) ? EISDIR : EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::strerror(ENOSPC);
    default: return "Windows error " + std::to_string(error);
  }
}

// Read by the console handler, which runs on a thread of its own: the path
// is set before the flag is raised.
const char* interrupt_path = nullptr;
volatile LONG remove_armed = 0;

BOOL WINAPI on_console_event(DWORD) {
  // The file was opened with FILE_SHARE_DELETE, so it can go while open; the
  // default handler, which runs next, ends the process.
  if (remove_armed != 0) DeleteFileA(interrupt_path);
  return FALSE;
}

}  // namespace

bool same_file(std::FILE* file, const char* path) {
  const auto held = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return held != INVALID_HANDLE_VALUE && same_file(held, path);
}

bool stderr_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// Windows has neither SIGPIPE nor SIGXFSZ: a failed write already returns.
void handle_signals() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void remove_on_interrupt(const char* path) {
  if (path != nullptr) interrupt_path = path;
  InterlockedExchange(&remove_armed, path != nullptr ? 1 : 0);
}

std::FILE* create_locked(const char* path, std::string* err) {
  // A run that failed removes its file: when that happens between our open
  // and our lock, the lock holds a file on its way out, and we open again.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const HANDLE h = CreateFileA(path, GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *err = reason(GetLastError(), path);
      return nullptr;
    }
    // Windows locks are mandatory, so the lock is on one byte that no plan
    // reaches: it only tells runs of the program apart, and readers of the
    // plan are not held up.
    OVERLAPPED far_byte{};
    far_byte.Offset = 0xFFFFFFFE;
    far_byte.OffsetHigh = 0x7FFFFFFF;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &far_byte) &&
        GetLastError() == ERROR_LOCK_VIOLATION) {
      CloseHandle(h);
      *err = "another planner run is writing it";
      return nullptr;
    }
    if (!same_file(h, path)) {
      CloseHandle(h);
      continue;
    }
    if (GetFileType(h) == FILE_TYPE_DISK && !SetEndOfFile(h)) {
      *err = reason(GetLastError(), path);
      CloseHandle(h);
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(h);
      *err = std::strerror(errno);
      return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
      *err = std::strerror(errno);
      _close(fd);
    }
    return file;
  }
  *err = "it keeps being replaced";
  return nullptr;
}

// Large pages on Windows need a privilege that ordinary users lack: these
// are plain pages, on the allocation granularity.
void* allocate_large(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void free_large(void* at, std::size_t) { VirtualFree(at, 0, MEM_RELEASE); }

}  // namespace planner::os
