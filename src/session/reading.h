// The reading phase of a session: the characters A0 reads, where each stands
// in the file, and A0 replayed to any of them. A0's steps come from its step
// table, so the reading keeps a mark of A0's state every `every` characters
// and a summary of what the steps between two marks did, never a trace.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output.h"
#include "reader/parser.h"
#include "session/summary.h"

namespace planner {

// A position in the makefile.
struct Position {
  std::uint64_t offset;  // in the file's bytes, from 0, CR bytes counted
  std::uint64_t line;    // from 1
  std::uint64_t column;  // in bytes from 1; a tab counts one, a CR none
};

class Reading {
 public:
  // A0 after a number of characters: its state, and the trace lines printed.
  struct Mark {
    std::int32_t state;
    std::uint64_t lines;
  };

  // `makefile` is the file's bytes, as they would be read from disk.
  Reading(std::string_view makefile, std::uint64_t every);

  // The characters the text-mode read delivers (CR removed, nothing from
  // 0x1A on).
  std::string_view text() const { return text_; }
  std::uint64_t chars() const { return text_.size(); }
  Position position(std::uint64_t index) const;
  // Lines of A0's whole trace, its closing line included.
  std::uint64_t lines() const { return lines_; }
  // A byte for each of the file's first `bytes` bytes, up to a 0x1A or the
  // end: 1 where A0 read the byte there and dropped it (no condition its
  // state evaluated held), else 0, as for a CR, which A0 never reads.
  std::string dropped(std::uint64_t bytes) const;

  // A0 after `read` characters.
  Mark after(std::uint64_t read) const;
  // The character that printed line `line` of A0's trace, counted from 1;
  // chars() + 1 for the closing line.
  std::uint64_t step_of_line(std::uint64_t line) const;
  // Appends what A0 prints for characters [first, last), and its closing
  // line when `last` is past the end, to *bytes.
  void trace(std::uint64_t first, std::uint64_t last, std::string* bytes) const;
  // Lines [first, end) of A0's trace, the closing line included.
  std::string lines(std::uint64_t first, std::uint64_t end) const;
  // The nearest reading step after step `at` (`forward`) or before it where
  // `event` (of A0) happens.
  std::optional<std::uint64_t> find(const Event& event, std::uint64_t at, bool forward) const;

  // A0 stepped to `read` characters, for its buffers and its graph so far;
  // returns its state before the last of them.
  std::int32_t go(std::uint64_t read);
  const Parser& parser() const { return *parser_; }

 private:
  // The last mark at or before the line.
  std::size_t mark_of_line(std::uint64_t line) const;

  std::uint64_t every_;
  std::string text_;
  std::vector<std::uint64_t> cr_before_;    // for each CR: the delivered index it precedes
  std::vector<std::uint64_t> line_starts_;  // delivered index of each line's first character
  std::vector<Mark> marks_;                 // after every every_ characters, from none
  std::vector<Summary> summaries_;          // of the characters from each mark
  std::uint64_t lines_ = 0;

  // A0 stepped, printing into a sink that keeps nothing.
  struct Discard final : Sink {
    bool write(std::string_view, std::string*) override { return true; }
  };
  Discard discard_;
  Output out_{discard_};
  std::unique_ptr<Parser> parser_;
  std::uint64_t read_ = 0;        // characters parser_ has read
  std::int32_t from_ = Parser::LINE;  // its state before the last of them
};

// Line feeds in `bytes`.
std::uint64_t line_feeds(std::string_view bytes);

}  // namespace planner
