// Buffered, byte-exact output. The program does its own text-mode
// translation, so what leaves it is the same on every platform.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/cp866.h"

namespace planner {

// Where an Output sends its blocks.
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes all of `bytes`; on failure returns false and sets *err to the
  // reason.
  virtual bool write(std::string_view bytes, std::string* err) = 0;
};

// Collects everything in memory; for tests and small captures.
class StringSink final : public Sink {
 public:
  bool write(std::string_view bytes, std::string*) override {
    data.append(bytes);
    return true;
  }
  std::string data;  // every byte written so far
};

// Gathers bytes in one large buffer and hands it to the sink in big blocks.
// After the first failed write it keeps the reason and drops all later bytes,
// so a caller checks ok() once at the end instead of after every message.
class Output {
 public:
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 18;

  explicit Output(Sink& sink, std::size_t capacity = kDefaultCapacity);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // Does not flush: losing a write error in a destructor would hide it.
  ~Output() = default;

  // Bytes that are already in their final form.
  void put(std::string_view bytes) {
    if (bytes.size() <= static_cast<std::size_t>(end_ - pos_)) {
      std::memcpy(pos_, bytes.data(), bytes.size());
      pos_ += bytes.size();
    } else {
      put_slow(bytes);
    }
  }
  template <std::size_t N>
  void put(const Cp866<N>& message) {
    put(message.view());
  }

  // Direct writing, for a loop that puts many small pieces: it writes at
  // cursor(), never past end(), keeping its position in a register, and
  // hands the new position to commit() before any other call. Through put(),
  // every piece would reload and store the position, since a store through a
  // char pointer may change anything.
  char* cursor() const { return pos_; }
  const char* end() const { return end_; }
  void commit(char* pos) { pos_ = pos; }

  // One character of text: a line feed leaves as CR LF, any other byte as it
  // is.
  void put_text(char c) {
    if (c == '\n') {
      put(std::string_view("\r\n", 2));
    } else {
      put(std::string_view(&c, 1));
    }
  }
  // Text whose line feeds leave as CR LF.
  void put_text(std::string_view text);

  // Hands everything buffered to the sink; false once any write has failed.
  bool flush();
  bool ok() const { return error_.empty(); }
  // Why a write failed; empty while none has.
  const std::string& error() const { return error_; }

 private:
  void put_slow(std::string_view bytes);

  Sink& sink_;
  std::unique_ptr<char[]> buffer_;
  char* pos_;  // next free byte of buffer_
  char* end_;  // one past the last byte of buffer_
  std::string error_;
};

}  // namespace planner
