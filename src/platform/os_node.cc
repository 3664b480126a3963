// What differs when the program runs as planner.js under Node.js (emscripten
// with the real file system): the few queries that emscripten's C library
// answers otherwise than Linux does. The rest comes from os_posix.cc.
#include <emscripten.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "platform/os.h"

// Node's own stat: emscripten's time_t has 32 bits and its stat cuts the
// fraction towards zero, so a file dated 2100 would read as negative, and one
// at -0.5 s as 0 (missing). The nanoseconds are floored to whole seconds as
// Linux's st_mtime is; a double holds every second of a 64-bit nanosecond
// count exactly.
EM_JS(double, node_modification_time,
      (const char* path, std::size_t size, double* device, double* inode), {
  // Looked up once: a require for every file costs more than its stat.
  const fs = Module.plannerFs || (Module.plannerFs = require("fs"));
  try {
    // A missing file, the common case, answers without an exception.
    const status = fs.statSync(Buffer.from(HEAPU8.subarray(path, path + size)),
                               {bigint : true, throwIfNoEntry : false});
    if (status === undefined) return 0;
    // Identities as doubles: exact up to 2^53, which no device or inode
    // number reaches.
    HEAPF64[device >> 3] = Number(status.dev);
    HEAPF64[inode >> 3] = Number(status.ino);
    // No BigInt literals: emscripten's minifier cannot print them.
    const second = BigInt(1000000000);
    let seconds = status.mtimeNs / second;
    if (status.mtimeNs % second < 0) seconds -= BigInt(1);
    return Number(seconds);
  } catch (e) {
    return 0;
  }
});

// Node's status of a descriptor (`path` null) or of a name, links followed
// when `follow`: emscripten's fstat answers from the name the file was opened
// by, and for the standard streams from no name at all. The device and inode
// go into id[0] and id[1]. Returns 0 when the query fails, 1 for a regular
// file, 2 for anything else.
EM_JS(int, node_identity,
      (int descriptor, const char* path, std::size_t size, int follow, double* id), {
  const fs = Module.plannerFs || (Module.plannerFs = require("fs"));
  try {
    const options = {bigint : true};
    let status;
    if (path === 0) {
      status = fs.fstatSync(descriptor, options);
    } else {
      const name = Buffer.from(HEAPU8.subarray(path, path + size));
      status = follow ? fs.statSync(name, options) : fs.lstatSync(name, options);
    }
    HEAPF64[id >> 3] = Number(status.dev);
    HEAPF64[(id >> 3) + 1] = Number(status.ino);
    return status.isFile() ? 1 : 2;
  } catch (e) {
    return 0;
  }
});

// The system's descriptor behind one of emscripten's; -1 for none.
EM_JS(int, node_descriptor, (int fd), {
  const stream = FS.getStream(fd);
  return stream && typeof stream.nfd === "number" ? stream.nfd : -1;
});

// A millisecond's pause, for a stream that is full: Node offers no wait on a
// descriptor that a program could use while it runs.
EM_JS(void, node_pause, (), { Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 1); });

// emscripten gives every process the number 42 and the user 0.
EM_JS(double, node_process_id, (), { return process.pid; });
EM_JS(double, node_effective_user, (), { return process.geteuid ? process.geteuid() : 0; });
EM_JS(int, node_process_may_run, (double id), {
  try {
    process.kill(id, 0);
    return 1;
  } catch (e) {
    return e.code === "ESRCH" ? 0 : 1;
  }
});

// emscripten's isatty says yes for every descriptor.
EM_JS(int, node_stderr_is_terminal, (), { return require("tty").isatty(2) ? 1 : 0; });

// The script's own path, symbolic links resolved as Node loaded it; the
// system would name node itself. Returns the length in bytes and copies the
// path into `out` when it fits in `size`.
EM_JS(std::size_t, node_script_path, (char* out, std::size_t size), {
  const path = Buffer.from(__filename);
  if (path.length <= size) HEAPU8.set(path, out);
  return path.length;
});

// The C library's texts for errno are musl's; the program gives the reasons
// the Linux build gives. The link wraps strerror (see cmake/wasm.cmake), so
// that every strerror call in the program comes here. The table holds the
// errors a file operation can give whose texts differ.
extern "C" char* __real_strerror(int error);

extern "C" char* __wrap_strerror(int error) {
  struct Text {
    int error;
    const char* text;
  };
  static constexpr Text kGlibc[] = {
      {EIO, "Input/output error"},
      {ENOMEM, "Cannot allocate memory"},
      {EBUSY, "Device or resource busy"},
      {EXDEV, "Invalid cross-device link"},
      {EMFILE, "Too many open files"},
      {ESPIPE, "Illegal seek"},
      {EDEADLK, "Resource deadlock avoided"},
      {ENAMETOOLONG, "File name too long"},
      {ELOOP, "Too many levels of symbolic links"},
      {EOVERFLOW, "Value too large for defined data type"},
      {EOPNOTSUPP, "Operation not supported"},
      {ETIMEDOUT, "Connection timed out"},
      {EDQUOT, "Disk quota exceeded"},
  };
  for (const Text& t : kGlibc) {
    if (t.error == error) return const_cast<char*>(t.text);
  }
  return __real_strerror(error);
}

namespace planner::os {

std::string executable_path(const char* argv0) {
  std::vector<char> path(256);
  for (;;) {
    const std::size_t n = node_script_path(path.data(), path.size());
    if (n == 0) return argv0;
    if (n <= path.size()) return {path.data(), n};
    path.resize(n);
  }
}

std::int64_t modification_time(const char* path, FileId* id) {
  double device = 0, inode = 0;
  const double time = node_modification_time(path, std::strlen(path), &device, &inode);
  if (id != nullptr && (device != 0 || inode != 0)) {
    *id = {static_cast<std::uint64_t>(device), static_cast<std::uint64_t>(inode)};
  }
  return static_cast<std::int64_t>(time);
}

bool stderr_is_terminal() { return node_stderr_is_terminal() != 0; }

namespace {

struct Identity {
  int kind = 0;  // as node_identity returns it
  FileId id;
};

Identity identity(std::FILE* file) {
  double id[2] = {0, 0};
  const int descriptor = node_descriptor(fileno(file));
  const int kind = descriptor < 0 ? 0 : node_identity(descriptor, nullptr, 0, 0, id);
  return {kind, {static_cast<std::uint64_t>(id[0]), static_cast<std::uint64_t>(id[1])}};
}

Identity identity(const char* path, bool follow) {
  double id[2] = {0, 0};
  const int kind = node_identity(-1, path, std::strlen(path), follow ? 1 : 0, id);
  return {kind, {static_cast<std::uint64_t>(id[0]), static_cast<std::uint64_t>(id[1])}};
}

bool same(const Identity& a, const Identity& b) { return a.kind != 0 && b.kind != 0 && a.id == b.id; }

}  // namespace

bool same_file(std::FILE* file, const char* path) { return same(identity(file), identity(path, true)); }

bool stream_is_file(std::FILE* stream, std::FILE* file) {
  const Identity out = identity(stream);
  return out.kind == 1 && same(out, identity(file));
}

bool stream_is_named(std::FILE* stream, const char* path) {
  const Identity out = identity(stream);
  return out.kind == 1 && same(out, identity(path, false));
}

bool wait_writable(int) {
  node_pause();
  return true;
}

long process_id() { return static_cast<long>(node_process_id()); }
unsigned effective_user() { return static_cast<unsigned>(node_effective_user()); }
bool process_may_run(long id) { return node_process_may_run(static_cast<double>(id)) != 0; }

// WebAssembly's memory has no large pages: plain allocations.
void* allocate_large(std::size_t size) { return ::operator new(size, std::nothrow); }
void free_large(void* at, std::size_t) { ::operator delete(at); }

}  // namespace planner::os
