// What the reader drops without a word, noticed so that the driver can tell
// the user: by makefile line, the bytes for which no condition of A0 held in
// its state. A space or a line end dropped that way only lays the makefile
// out, and is not noticed. The trace and the graph do not change.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace planner {

class Notices {
 public:
  // Lines told in full; the rest are only counted.
  static constexpr std::size_t kKept = 10;

  // Which token a byte was dropped from.
  enum class Token : std::uint8_t { kNone, kGoal, kItem };

  struct Line {
    std::uint64_t line = 0;    // from 1
    std::uint64_t column = 0;  // of the first byte dropped, from 1; a tab counts one, a CR none
    std::string bytes;         // the distinct bytes dropped, in the order first dropped
    bool command = false;      // the token was a command text, not a name
    std::string reads;         // that token as kept when it ended; empty: none
  };

  // The delivered character at `offset` was dropped while A0 collected
  // `token` (kItem with `command` for a command text).
  void dropped(std::uint64_t offset, char byte, Token token, bool command);
  // A token ended: a goal name at its colon, an item at its space or line end.
  void ended(Token token, std::string_view text) {
    if (watch_ == token) keep(text);
  }
  // The line feed at `offset` ended a line; `goal` and `item` are the token
  // buffers then.
  void line_end(std::uint64_t offset, std::string_view goal, std::string_view item) {
    if (open_) close(goal, item);
    ++line_;
    line_start_ = offset + 1;
  }
  // The input ended.
  void finish(std::string_view goal, std::string_view item) {
    if (open_) close(goal, item);
  }

  // The first kKept lines with dropped bytes, and how many more there were.
  const std::vector<Line>& lines() const { return lines_; }
  std::uint64_t more() const { return more_; }
  // The line being read, from 1; and where it starts.
  std::uint64_t line() const { return line_; }
  std::uint64_t line_start() const { return line_start_; }

 private:
  void keep(std::string_view text);
  void close(std::string_view goal, std::string_view item);

  std::uint64_t line_ = 1;
  std::uint64_t line_start_ = 0;  // delivered offset of the line's first character
  bool open_ = false;             // the line has dropped bytes
  Line current_;                  // what the line has dropped so far
  std::bitset<256> seen_;         // current_.bytes, as a set
  bool chosen_ = false;           // the line's token to show is known
  Token watch_ = Token::kNone;    // the token whose text current_.reads waits for
  std::vector<Line> lines_;
  std::uint64_t more_ = 0;
};

}  // namespace planner
