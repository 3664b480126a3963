// What differs by operating system. Everything else reaches the system only
// through the C library's portable calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace planner::os {

// The full path of the running executable as the system reports it (on Linux
// the target of /proc/self/exe); `argv0` when the system cannot tell.
std::string executable_path(const char* argv0);

// The file's last-modification time in whole seconds; 0 whenever the query
// fails, above all for a file that does not exist.
std::int64_t modification_time(const char* path);

// Switches the standard streams to binary, so that no C library translates
// line ends behind the program's back.
void use_binary_stdio();

// True when the open stream is a directory, which some C libraries open
// without complaint.
bool is_directory(std::FILE* file);
// True when `path` names a directory.
bool is_directory(const char* path);

// True when standard error is a terminal (a console on Windows), where a
// progress line can be rewritten in place.
bool stderr_is_terminal();

// True when `path` names the very file that `file` has open (after links).
bool same_file(std::FILE* file, const char* path);

// A vanished reader of standard output and a file-size limit become failed
// writes rather than deaths; an interruption (Ctrl-C, SIGTERM, SIGHUP, a
// closed console) removes the file named by remove_on_interrupt, if any, and
// then ends the process as the interruption would have.
void handle_signals();
// From now on an interruption removes `path`, a string that outlives the
// process; nullptr stops that.
void remove_on_interrupt(const char* path);

// Opens `path` for writing, created if absent, under an exclusive lock that
// other runs of the program respect, and only then truncates it, so that two
// runs never mix their writes. On failure returns nullptr and sets *err.
std::FILE* create_locked(const char* path, std::string* err);

// `size` bytes straight from the system, zeroed, on a kLargePage boundary
// and backed by large pages where the system gives them (see
// LargePageAllocator); nullptr when there is no memory. free_large(at, size)
// gives them back to the system at once, so that a process that builds
// many graphs, as a session does, does not keep what the last one held.
constexpr std::size_t kLargePage = std::size_t{1} << 21;
void* allocate_large(std::size_t size);
void free_large(void* at, std::size_t size);

}  // namespace planner::os
