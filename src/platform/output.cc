#include "platform/output.h"

namespace planner {

Output::Output(Sink& sink, std::size_t capacity)
    : sink_(sink),
      buffer_(new char[capacity]),
      pos_(buffer_.get()),
      end_(buffer_.get() + capacity) {}

void Output::put_text(std::string_view text) {
  for (std::size_t start = 0;;) {
    const std::size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      put(text.substr(start));
      return;
    }
    put(text.substr(start, lf - start));
    put(std::string_view("\r\n", 2));
    start = lf + 1;
  }
}

bool Output::flush() {
  const std::string_view pending(buffer_.get(), static_cast<std::size_t>(pos_ - buffer_.get()));
  pos_ = buffer_.get();
  if (ok() && !pending.empty() && !sink_.write(pending, &error_) && error_.empty()) {
    error_ = "write failed";
  }
  return ok();
}

void Output::put_slow(std::string_view bytes) {
  flush();
  const auto capacity = static_cast<std::size_t>(end_ - buffer_.get());
  if (bytes.size() >= capacity) {
    // Too big to gather: pass it straight through.
    if (ok() && !sink_.write(bytes, &error_) && error_.empty()) error_ = "write failed";
    return;
  }
  std::memcpy(pos_, bytes.data(), bytes.size());
  pos_ += bytes.size();
}

}  // namespace planner
