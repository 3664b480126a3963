// What differs by operating system. Everything else reaches the system only
// through the C library's portable calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace planner::os {

// The full path of the running executable as the system reports it (on Linux
// the target of /proc/self/exe); `argv0` when the system cannot tell.
std::string executable_path(const char* argv0);

// Which file a name leads to, links followed: the same for every name of one
// file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The file's last-modification time in whole seconds since 1970, signed and
// rounded toward minus infinity; 0 whenever the query fails, above all for a
// file that does not exist. With `id`, the same query tells which file it is
// (on POSIX; *id is left as it is when the query fails, and on Windows).
std::int64_t modification_time(const char* path, FileId* id = nullptr);

// Switches the standard streams to binary, so that no C library translates
// line ends behind the program's back.
void use_binary_stdio();

// A standard stream closed at start keeps its descriptor, now open on nothing
// writable: no file the program opens later can take its place, so a trace
// can never land in the makefile or the plan.
void keep_standard_streams();

// True when the open stream is a directory, which some C libraries open
// without complaint.
bool is_directory(std::FILE* file);
// True when `path` names a directory.
bool is_directory(const char* path);

// Writes all of `bytes` to `stream`, a standard stream without a buffer of
// its own. One left non-blocking by the parent (a setting the program shares
// with it, so not the program's to change) is waited on while it is full, as
// a blocking one would be. False on a real error, errno telling it (0 when
// the system gave no reason).
bool write_stream(std::FILE* stream, std::string_view bytes);

// True when standard error is a terminal (a console on Windows), where a
// progress line can be rewritten in place.
bool stderr_is_terminal();

// True when `path` names the very file that `file` has open (after links).
bool same_file(std::FILE* file, const char* path);
// True when the standard stream `stream` is a regular file, and the one that
// `file` has open.
bool stream_is_file(std::FILE* stream, std::FILE* file);
// True when the standard stream `stream` is a regular file, and the one that
// `path` names itself, not through a symbolic link (which would be replaced,
// not written).
bool stream_is_named(std::FILE* stream, const char* path);

// A vanished reader of standard output and a file-size limit become failed
// writes rather than deaths. Every other signal that would end the process
// (Ctrl-C, SIGTERM, SIGHUP, SIGQUIT, a timer, a CPU limit, a crash; a closed
// console on Windows) first removes the file named by remove_on_interrupt,
// if any, and blanks the progress line, then ends the process as it would
// have.
void handle_signals();
// From now on an interruption removes `path`, which must stay valid until
// this is called again; nullptr stops that.
void remove_on_interrupt(const char* path);
// Ends the process with status 1 at once: removes the file named by
// remove_on_interrupt, blanks the progress line, writes `line` on standard
// error. It needs no memory, so it serves when memory has run out.
[[noreturn]] void exit_at_once(std::string_view line);
// From now on an interruption first blanks `width` characters of standard
// error's line and returns to its start; 0: the line is clear.
void blank_on_interrupt(std::size_t width);

// This process's number, as the names of its new files carry it.
long process_id();
// The user the process acts as, in the numbers that files' owners have
// (POSIX).
unsigned effective_user();
// Whether process `id` may still be running: false only when the system says
// that none has that number (POSIX).
bool process_may_run(long id);

// `size` bytes straight from the system, zeroed, on a kLargePage boundary
// and backed by large pages where the system gives them (see
// LargePageAllocator); nullptr when there is no memory. free_large(at, size)
// gives them back to the system at once, so that a process that builds
// many graphs, as a session does, does not keep what the last one held.
constexpr std::size_t kLargePage = std::size_t{1} << 21;
void* allocate_large(std::size_t size);
void free_large(void* at, std::size_t size);

}  // namespace planner::os
