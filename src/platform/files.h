// Byte-exact files: opened in binary mode on every platform, with every
// failure reported as a reason from the system.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/output.h"

namespace planner {

// A file read in raw blocks.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens `path` for reading; a directory counts as a failure.
  bool open(const char* path, std::string* err);
  // Reads up to `size` bytes into `data` and returns how many; 0 at the end
  // of the file or on failure, which also sets *err.
  std::size_t read(char* data, std::size_t size, std::string* err);
  // True when the open file is the one `path` names.
  bool is(const char* path) const;
  // True when the standard stream `stream` is a regular file, and this one.
  bool is_stream(std::FILE* stream) const;
  void close();

 private:
  std::FILE* file_ = nullptr;
};

// A sink over a standard stream, which someone else owns and which has no
// buffer of its own (see os::write_stream).
class FileSink final : public Sink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool write(std::string_view bytes, std::string* err) override;
  // Flushes the C stream: a write that the system defers can fail only here.
  bool flush(std::string* err);

 private:
  std::FILE* file_;
};

// The system's text for the current errno.
std::string errno_reason();

}  // namespace planner
