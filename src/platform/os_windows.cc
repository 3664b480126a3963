#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
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

// From the file system's own FILETIME: the C library's stat converts through
// time functions that start at 1970, so a file from before then compared as
// newer than one from after. The name's bytes go to the ANSI call, as they do
// everywhere else.
std::int64_t modification_time(const char* path, FileId*) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  FILETIME written = data.ftLastWriteTime;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link: its target's time, as POSIX stat gives; none for a broken one.
    const HANDLE target =
        CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE) return 0;
    const bool known = GetFileTime(target, nullptr, nullptr, &written) != 0;
    CloseHandle(target);
    if (!known) return 0;
  }
  // 100-nanosecond ticks since 1601, unsigned. 1970 falls on a whole second
  // of that count, so flooring to seconds before moving the epoch rounds
  // toward minus infinity as st_mtime does: 0.5 s before 1970 is -1.
  constexpr std::int64_t kSeconds1601To1970 = 11'644'473'600;
  const std::uint64_t ticks = (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10'000'000) - kSeconds1601To1970;
}

// The program writes CR LF itself; a text-mode stream would turn each of its
// LF bytes into a second CR LF. The C runtime buffers standard error when it
// is a file: unbuffered, a warning lands between the trace's lines on one
// stream (2>&1), as on POSIX.
void use_binary_stdio() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

bool is_directory(std::FILE* file) {
  struct _stat64 st {};
  return _fstat64(_fileno(file), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

bool is_directory(const char* path) {
  struct _stat64 st {};
  return _stat64(path, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

// The C runtime keeps descriptors 0 to 2 for the standard streams, open or
// not.
void keep_standard_streams() {}

namespace {

// The identity of the file that `held` has open: its volume and its index
// there, in the widest form the file system gives.
bool identity(HANDLE held, FILE_ID_INFO* id) {
  if (held == INVALID_HANDLE_VALUE || held == nullptr) return false;
  if (GetFileInformationByHandleEx(held, FileIdInfo, id, sizeof *id) != 0) return true;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(held, &info) == 0) return false;
  id->VolumeSerialNumber = info.dwVolumeSerialNumber;
  const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  std::memset(&id->FileId, 0, sizeof id->FileId);
  std::memcpy(&id->FileId, &index, sizeof index);
  return true;
}

// Wine gives volume 0 for a handle inherited from a Unix parent, such as a
// redirected standard stream; it is taken to be any volume.
bool same_identity(const FILE_ID_INFO& a, const FILE_ID_INFO& b) {
  return (a.VolumeSerialNumber == b.VolumeSerialNumber || a.VolumeSerialNumber == 0 ||
          b.VolumeSerialNumber == 0) &&
         std::memcmp(&a.FileId, &b.FileId, sizeof a.FileId) == 0;
}

// Whether `held` is a regular file on disk, not a directory, a pipe or a
// console, with its identity.
bool regular_identity(HANDLE held, FILE_ID_INFO* id) {
  FILE_STANDARD_INFO standard{};
  return held != INVALID_HANDLE_VALUE && held != nullptr && GetFileType(held) == FILE_TYPE_DISK &&
         GetFileInformationByHandleEx(held, FileStandardInfo, &standard, sizeof standard) != 0 &&
         !standard.Directory && identity(held, id);
}

// The identity of what `path` names; FILE_FLAG_OPEN_REPARSE_POINT in `flags`
// keeps a link from being followed.
bool named_identity(const char* path, DWORD flags, FILE_ID_INFO* id) {
  const HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool known = identity(named, id);
  CloseHandle(named);
  return known;
}

HANDLE handle_of(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

// The system's handle of a standard stream, valid even when the C runtime
// has no descriptor for it.
HANDLE standard_handle(std::FILE* stream) {
  return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

// Read by the console handler, which runs on a thread of its own: the path
// is set before the flag is raised.
const char* interrupt_path = nullptr;
volatile LONG remove_armed = 0;
volatile LONG blank_width = 0;

// What a console event and exit_at_once do before the end, without memory.
// The file was opened with FILE_SHARE_DELETE, so it can go while open.
void clean_up() {
  if (remove_armed != 0) DeleteFileA(interrupt_path);
  const LONG width = blank_width < 256 ? blank_width : 256;
  if (width > 0) {
    char blank[2 + 256];
    std::memset(blank, ' ', sizeof blank);
    blank[0] = blank[width + 1] = '\r';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), blank, static_cast<DWORD>(width + 2), &written,
              nullptr);
  }
}

// The default handler, which runs next, ends the process.
BOOL WINAPI on_console_event(DWORD) {
  clean_up();
  return FALSE;
}

}  // namespace

bool same_file(std::FILE* file, const char* path) {
  FILE_ID_INFO a{}, b{};
  return identity(handle_of(file), &a) && named_identity(path, 0, &b) && same_identity(a, b);
}

bool stream_is_file(std::FILE* stream, std::FILE* file) {
  FILE_ID_INFO a{}, b{};
  return regular_identity(standard_handle(stream), &a) && identity(handle_of(file), &b) &&
         same_identity(a, b);
}

bool stream_is_named(std::FILE* stream, const char* path) {
  FILE_ID_INFO a{}, b{};
  return regular_identity(standard_handle(stream), &a) &&
         named_identity(path, FILE_FLAG_OPEN_REPARSE_POINT, &b) && same_identity(a, b);
}

// Windows pipes block unless made otherwise, which no parent does for
// another's console program.
bool write_stream(std::FILE* stream, std::string_view bytes) {
  errno = 0;
  return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

void exit_at_once(std::string_view line) {
  clean_up();
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  ExitProcess(1);
}

long process_id() { return static_cast<long>(GetCurrentProcessId()); }

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

void blank_on_interrupt(std::size_t width) {
  InterlockedExchange(&blank_width, static_cast<LONG>(width));
}

// Large pages on Windows need a privilege that ordinary users lack: these
// are plain pages, on the allocation granularity.
void* allocate_large(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void free_large(void* at, std::size_t) { VirtualFree(at, 0, MEM_RELEASE); }

}  // namespace planner::os
