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

FileSink::~FileSink() {
  if (owned_) std::fclose(file_);
}

bool FileSink::create(const char* path, std::string* err) {
  errno = 0;
  file_ = std::fopen(path, "wb");
  if (file_ == nullptr) {
    *err = open_failure(path);
    return false;
  }
  owned_ = true;
  // Output already gathers big blocks; a second buffer would only copy them.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return true;
}

bool FileSink::write(std::string_view bytes, std::string* err) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size()) return true;
  *err = errno != 0 ? errno_reason() : "write error";
  return false;
}

bool FileSink::close(std::string* err) {
  errno = 0;
  bool ok = std::fflush(file_) == 0;
  if (owned_) {
    ok = std::fclose(file_) == 0 && ok;
    owned_ = false;
    file_ = nullptr;
  }
  if (!ok) *err = errno != 0 ? errno_reason() : "write error";
  return ok;
}

}  // namespace planner
