#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/new_file_names.h"
#include "platform/os.h"
#include "platform/plan_file.h"

namespace planner {

namespace {

// The reasons the C library would give, so that messages read as on POSIX.
std::string reason(DWORD error, const char* path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED: return std::strerror(os::is_directory(path) ? EISDIR : EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::strerror(ENOSPC);
    default: return "Windows error " + std::to_string(error);
  }
}

// Windows compares names regardless of case and drops trailing dots and
// spaces: "TODO.BAT." names todo.bat. (Names in a makefile hold neither
// slashes nor colons, so no other spelling reaches the same file.)
bool names_plan(std::string_view name, std::string_view path) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(name.begin(), name.end(), path.begin(), path.end(),
                    [&lower](char a, char b) { return lower(a) == lower(b); });
}

// A name of dots only, but "..", names the current directory on Windows.
bool names_directory(std::string_view name) {
  return !name.empty() && name.find_first_not_of('.') == std::string_view::npos && name != "..";
}

// Whether process `id` is still running.
bool process_runs(long id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

// Other runs in this directory are kept out by a mutex named after it, by
// its volume and file index whatever path leads to it, which dies with the
// process that holds it. nullptr, with *busy false, where none can be had.
HANDLE lock_directory(bool* busy) {
  const HANDLE dir = CreateFileA(".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(dir, &info) != 0;
  CloseHandle(dir);
  if (!known) return nullptr;
  char name[64];
  std::snprintf(name, sizeof name, "Global\\planner-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                info.nFileIndexHigh, info.nFileIndexLow);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) {
    *busy = GetLastError() == ERROR_ACCESS_DENIED;  // another user's run holds it
    return nullptr;
  }
  const DWORD got = WaitForSingleObject(mutex, 0);
  if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) return mutex;
  *busy = got == WAIT_TIMEOUT;
  CloseHandle(mutex);
  return nullptr;
}

}  // namespace

struct PlanFile::Native {
  const char* path = nullptr;           // the plan's name; nullptr until create
  std::string new_name;                 // the new file's name until renamed; empty in place
  HANDLE file = INVALID_HANDLE_VALUE;   // the file being written, until closed
  HANDLE lock = nullptr;                // the directory's mutex, owned; nullptr: none
  bool in_place = false;                // `file` is the plan itself, written as before
  // Where a plan existed, the walk sees the directory's time from before the
  // run named its new file there: the old program changed nothing there.
  bool dir_frozen = false;
  std::int64_t dir_time = 0;

  void remove_strays();
  bool open_named();
  bool open_in_place(DWORD attributes, std::string* err);
  void discard();
};

PlanFile::PlanFile() : native_(std::make_unique<Native>()) {}

PlanFile::~PlanFile() {
  native_->discard();
  if (native_->lock != nullptr) {  // released last of all
    ReleaseMutex(native_->lock);
    CloseHandle(native_->lock);
  }
}

bool PlanFile::create(const char* path, std::string* err) {
  Native& n = *native_;
  n.path = path;
  bool busy = false;
  n.lock = lock_directory(&busy);
  if (busy) {
    *err = "another planner run is writing it";
    return false;
  }
  const DWORD attributes = GetFileAttributesA(path);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *err = std::strerror(EISDIR);
    return false;
  }
  // A read-only plan stays refused, as when it was written in place.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    *err = std::strerror(EACCES);
    return false;
  }
  if (exists) n.dir_time = os::modification_time(".");  // before any change
  if (n.lock != nullptr) n.remove_strays();
  // Windows has no unnamed files: the new file is named at once.
  if (n.open_named()) {
    n.dir_frozen = exists;
    return true;
  }
  // Only a directory the user may not write is written in place; any other
  // failure leaves the old plan alone.
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED) return n.open_in_place(exists ? attributes : 0, err);
  *err = reason(error, path);
  return false;
}

bool PlanFile::write(std::string_view bytes, std::string* err) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(native_->file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      *err = reason(GetLastError(), native_->path);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

std::int64_t PlanFile::modification_time(const char* name) const {
  const Native& n = *native_;
  if (n.dir_frozen && names_directory(name)) return n.dir_time;
  if (!names_plan(name, n.path)) return os::modification_time(name);
  FILETIME written{};
  if (!GetFileTime(n.file, nullptr, nullptr, &written)) return 0;
  // Steps of 100 ns since 1601, to whole seconds since 1970.
  const auto ticks = (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10'000'000) - 11'644'473'600;
}

bool PlanFile::commit(std::string* err) {
  Native& n = *native_;
  const auto fail = [&n, err](DWORD error) {
    *err = reason(error, n.path);
    n.discard();
    return false;
  };
  if (n.in_place) {
    if (!CloseHandle(std::exchange(n.file, INVALID_HANDLE_VALUE))) return fail(GetLastError());
    os::remove_on_interrupt(nullptr);
    n.in_place = false;
    return true;
  }
  // On disk before it takes the name, so that a power cut cannot leave an
  // empty or partial plan under it; a file system that cannot flush is left
  // to itself.
  if (!FlushFileBuffers(n.file) && GetLastError() != ERROR_INVALID_FUNCTION) {
    return fail(GetLastError());
  }
  CloseHandle(std::exchange(n.file, INVALID_HANDLE_VALUE));
  // A program that holds the old plan open without sharing its deletion (an
  // editor, a virus scanner) blocks its replacement: tried for two seconds.
  for (int attempt = 0; !MoveFileExA(n.new_name.c_str(), n.path,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
       ++attempt) {
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
        error != ERROR_LOCK_VIOLATION) {
      return fail(error);
    }
    if (attempt == 40) {
      n.discard();
      *err = "another program holds it open";
      return false;
    }
    Sleep(50);
  }
  os::remove_on_interrupt(nullptr);
  n.new_name.clear();
  return true;
}

// Removes the new files that a run ended from outside (TerminateProcess, a
// crash, a power cut) left: under the directory's mutex no other run here
// writes one, and of a process still running none is touched.
void PlanFile::Native::remove_strays() {
  WIN32_FIND_DATAA found{};
  const HANDLE listing = FindFirstFileA((std::string(path) + "~*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    long id = 0;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        names_new_file(found.cFileName, path, &id) && !process_runs(id)) {
      DeleteFileA(found.cFileName);
    }
  } while (FindNextFileA(listing, &found));
  FindClose(listing);
}

bool PlanFile::Native::open_named() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A '~', which no name in a makefile can hold: the walk never asks for it.
    std::string name = std::string(path) + '~' + std::to_string(GetCurrentProcessId());
    if (attempt > 0) name += '-' + std::to_string(attempt);
    // Shared for deletion, so that an interruption can remove it while open.
    file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      new_name = std::move(name);
      os::remove_on_interrupt(new_name.c_str());
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

bool PlanFile::Native::open_in_place(DWORD attributes, std::string* err) {
  // Never through a link: its target is not the plan's to write.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *err = "it is a symbolic link, and the directory cannot be written";
    return false;
  }
  file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *err = reason(GetLastError(), path);
    return false;
  }
  in_place = true;
  os::remove_on_interrupt(path);
  if (SetEndOfFile(file)) return true;
  *err = reason(GetLastError(), path);
  os::remove_on_interrupt(nullptr);  // the old plan is still whole
  in_place = false;
  CloseHandle(std::exchange(file, INVALID_HANDLE_VALUE));
  return false;
}

// Removes the new file, or the plan written in place, and closes it.
void PlanFile::Native::discard() {
  if (file != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(file, INVALID_HANDLE_VALUE));
  if (!new_name.empty()) DeleteFileA(new_name.c_str());
  if (in_place) DeleteFileA(path);
  os::remove_on_interrupt(nullptr);
  new_name.clear();
  in_place = false;
}

}  // namespace planner
