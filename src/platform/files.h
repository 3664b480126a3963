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
  void close();

 private:
  std::FILE* file_ = nullptr;
};

// A sink over a C stream: standard output, or a file this object creates.
class FileSink final : public Sink {
 public:
  // Writes to a stream that someone else owns, such as stdout.
  explicit FileSink(std::FILE* file) : file_(file) {}
  FileSink() = default;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  ~FileSink() override;

  // Creates `path`, or truncates it if it exists.
  bool create(const char* path, std::string* err);
  bool write(std::string_view bytes, std::string* err) override;
  // Flushes the C stream and, for a created file, closes it: a write that the
  // system defers can fail only here.
  bool close(std::string* err);

 private:
  std::FILE* file_ = nullptr;
  bool owned_ = false;  // this object opened file_ and must close it
};

// The system's text for the current errno.
std::string errno_reason();

}  // namespace planner
