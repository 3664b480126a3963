#include "platform/files.h"

#include <cerrno>
#include <cstring>

#include "platform/os.h"

namespace planner {

std::string errno_reason() { return std::strerror(errno); }

namespace {

// Windows C libraries refuse to open a directory with "Permission denied";
// the reason given is the one every build gives.
std::string open_failure(const char* path) {
  const int error = errno;
  if (error == EACCES && os::is_directory(path)) return std::strerror(EISDIR);
  return std::strerror(error);
}

}  // namespace

InputFile::~InputFile() { close(); }

bool InputFile::open(const char* path, std::string* err) {
  close();
  errno = 0;
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) {
    *err = open_failure(path);
    return false;
  }
  if (os::is_directory(file_)) {
    close();
    *err = std::strerror(EISDIR);
    return false;
  }
  return true;
}

std::size_t InputFile::read(char* data, std::size_t size, std::string* err) {
  errno = 0;
  const std::size_t n = std::fread(data, 1, size, file_);
  if (n == 0 && std::ferror(file_)) *err = errno != 0 ? errno_reason() : "read error";
  return n;
}

void InputFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool InputFile::is(const char* path) const { return os::same_file(file_, path); }

bool InputFile::is_stream(std::FILE* stream) const { return os::stream_is_file(stream, file_); }

bool FileSink::write(std::string_view bytes, std::string* err) {
  if (os::write_stream(file_, bytes)) return true;
  *err = errno != 0 ? errno_reason() : "write error";
  return false;
}

bool FileSink::flush(std::string* err) {
  errno = 0;
  if (std::fflush(file_) == 0) return true;
  *err = errno != 0 ? errno_reason() : "write error";
  return false;
}

}  // namespace planner
