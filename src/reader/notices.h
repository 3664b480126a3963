// What the reader did that its author may not have meant, noticed as it
// reads so that the user can be told: bytes that no condition of A0 held for,
// names and commands as they finally went into the graph, lines that became
// something else than they look like, and what the end of input lost. A0
// itself keeps none of it; the trace and the graph do not change.
//
// The notices see only what A0's actions and its dropped bytes show them
// (never the file again), and only those steps, so a makefile that drops
// nothing pays for a few tests per line and per rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace planner {

class Notices {
 public:
  // Records kept unless the reader is asked for more; the rest are counted.
  static constexpr std::size_t kKept = 10;

  // A0's state at a notice, numbered as Parser::State.
  enum class Where : std::uint8_t {
    kLine,
    kGoal,
    kColon,
    kDependency,
    kSpace,
    kDetermine,
    kCommand
  };

  // What a record says. The first group are dropped bytes by what a make
  // user meant by them; one record per makefile line and kind.
  enum class Kind : std::uint8_t {
    kDropped,       // bytes of no habit: bytes, and the token that lost them
    kComment,       // '#', and the rest of its line with it
    kDefinition,    // '=' of a variable definition, and the rest of its line
    kReference,     // '$(NAME)', '${NAME}', '$@' and the like
    kOption,        // '=' inside a command word that starts with '-'
    kPath,          // '/' or '\' inside a word
    kPattern,       // '%' in a name
    kWildcard,      // '*'
    kContinuation,  // '\' right before a line end; `next` says what that line became
    kGained,        // a header's line ended after its colon or a space: `goal`, `after`, `names`
    kIndented,   // a line indented with spaces began a goal name: `reads`, `from_line`, `to_line`
    kLongName,   // a goal name read over several lines
    kFirstGoal,  // the first goal, the one planned, is a surprise: `special` or several lines
    kNoColon,    // words that never meet a colon, lost at the end of input
    kLostAtEnd,  // the last line had no line end: `goal` lost its dependency or command `reads`
  };

  // What the next line made of a line that ends in '\' (kContinuation).
  enum class Next : std::uint8_t { kNothing, kCommand, kRule, kGoalName };

  struct Record {
    Kind kind = Kind::kDropped;
    std::uint64_t line = 0;            // from 1
    std::uint64_t column = 0;          // from 1; a tab counts one, a CR none
    std::uint64_t offset = 0;          // the delivered offset of that character
    std::uint64_t last_line = 0;       // the last line the record speaks of
    std::string bytes;                 // dropped bytes, distinct, in the order first dropped
    std::vector<std::string> written;  // words as written, dropped bytes put back; up to kWritten
    // The token the record is about, as it went into the graph; shortened.
    // Empty `reads` and zero `from_line`: no token.
    std::string reads;
    bool command = false;                      // `reads` is a command text, not a name
    bool lost = false;                         // the token never ended: the end of input lost it
    bool first_goal = false;                   // the token is the first goal's name
    std::uint64_t from_line = 0, to_line = 0;  // the lines a goal name was read from
    bool special = false;                      // kFirstGoal: a special target of make
    // The record that tells which goal is planned: kFirstGoal, or the record
    // of dropped bytes of a first goal's name read from one line.
    bool planned = false;
    Next next = Next::kNothing;  // kContinuation
    // kGained, kLostAtEnd: the rule's goal; kDefinition: the goal of a rule
    // that ':=' made; shortened.
    std::string goal;
    // kGained: the name before the space, empty for the colon. kContinuation:
    // the next line's command (kCommand) or the goal name it began (kRule,
    // kGoalName: read from the next line to last_line; lost: never ended).
    std::string after;
    std::vector<std::string> names;  // kGained: the dependencies gained, up to kNames, shortened
    std::uint64_t count = 0;         // kGained: how many were gained
  };

  // A header line that handed the next line's words to its goal, for the
  // refusals: the first 256 such headers, with up to 256 names each, kept
  // whole.
  struct Gained {
    std::uint64_t line = 0;       // the header line
    std::uint64_t from_line = 0;  // the lines whose words it gained
    std::uint64_t last_line = 0;
    std::string goal, after;  // after: empty for a colon
    std::vector<std::string> names;
  };
  // What the end of input lost from the rule being read.
  struct Lost {
    Where where = Where::kLine;  // kDependency: a dependency; kCommand: a command
    std::uint64_t line = 0;
    std::string goal, text;  // whole
  };

  static constexpr std::size_t kWritten = 4;
  static constexpr std::size_t kNames = 8;

  explicit Notices(std::size_t kept = kKept) : kept_(kept) {}

  // --- Told by the reader. ---

  // The delivered character `byte` at `offset` was dropped in `where`;
  // `token` is the length of the token being collected (the goal name in
  // kGoal, the item in kDependency and kCommand) and `goal` the goal buffer.
  void dropped(std::uint64_t offset, char byte, Where where, std::size_t token,
               std::string_view goal);
  // A goal name began at `offset`: the first one, or one after a rule.
  void goal_started(std::uint64_t offset, bool first) {
    goal_open_ = true;
    first_ = goal_watch_ = first;
    goal_line_ = line_;
    goal_line_start_ = line_start_;
    goal_offset_ = offset;
    owner_ = Owner::kNone;
    // Bytes dropped before it on its line, a continued line, an indented one.
    if (drops_open_ || continued_line_ != 0 || (!first && offset > line_start_))
      goal_start(offset, first);
  }
  // A goal name ended at its colon.
  void goal_ended(std::string_view name) {
    if (goal_open_ && (line_ != goal_line_ || goal_watch_)) goal_done(name, false);
    goal_open_ = false;
    first_ = false;
  }
  // A dependency name or command text ended.
  void item_ended(std::string_view text) {
    if (item_watch_) item_done(text);
  }
  // The line feed at `offset` ended a line read in `where`; `goal` is the
  // goal buffer and `last` the goal's last dependency (read in kSpace only).
  void line_end(std::uint64_t offset, Where where, std::string_view goal, std::string_view last) {
    if (drops_open_ || line_watch_ || where == Where::kColon || where == Where::kSpace) {
      line_done(offset, where, goal, last);
    }
    ++line_;
    line_start_ = offset + 1;
  }
  // The input ended after `offset` characters, in `where`, with these buffers.
  void finish(std::uint64_t offset, Where where, std::string_view goal, std::string_view item);

  // --- Read once reading has ended. ---

  // The first records in makefile order, as many as were kept.
  const std::vector<Record>& records() const { return records_; }
  // The first goal's record when it came past those kept; shown all the same.
  const std::optional<Record>& first_goal_record() const { return first_extra_; }
  // Records not in records(), first_goal_record() among them.
  std::uint64_t more() const { return more_; }

  // Facts for the refusals.
  const std::vector<Gained>& gained() const { return gained_; }
  const std::optional<Lost>& lost() const { return lost_; }
  // The first colon dropped before any goal name; line 0: none.
  std::uint64_t colon_line() const { return colon_line_; }
  std::uint64_t colon_column() const { return colon_column_; }
  std::uint64_t colons() const { return colons_; }
  // The state the input ended in.
  Where end_where() const { return end_where_; }

  // The line being read, from 1; where it starts; once finished, where the
  // input ended.
  std::uint64_t line() const { return line_; }
  std::uint64_t line_start() const { return line_start_; }
  std::uint64_t end_offset() const { return end_offset_; }

 private:
  // What a token of the line became, for the records of its drops.
  struct Fate {
    std::string reads;  // shortened
    bool command = false, lost = false, first_goal = false;
    std::uint64_t from_line = 0, to_line = 0;  // a goal name's lines; 0: an item
  };
  static constexpr std::uint16_t kNoFate = 0xFFFF;
  static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
  static void add_byte(std::string& bytes, char byte) {
    if (bytes.find(byte) == std::string::npos) bytes += byte;
  }
  // A dropped byte of the line being read, kept for the line's records.
  struct Drop {
    enum class Token : std::uint8_t { kNone, kGoal, kItem };
    std::uint64_t offset = 0;
    char byte = 0;
    Kind kind = Kind::kDropped;  // as dropped; '\\' and '=' in a command are settled later
    Where where = Where::kLine;
    Token token = Token::kNone;    // the token it is told with: a goal name or the item
    bool resolved = false;         // its token ended on this line
    bool harmless = false;         // a tab that joined nothing, or a continued header's '\\'
    std::uint16_t fate = kNoFate;  // in fates_, once resolved
    std::uint16_t word = kNoFate;  // in words_: the word it stood in, as written
    std::size_t pos = 0;           // where it stood in its token: the token's length then
  };
  enum class Owner : std::uint8_t { kNone, kIndented, kContinuation };

  void goal_start(std::uint64_t offset, bool first);
  void goal_done(std::string_view name, bool lost);
  void item_done(std::string_view text);
  void resolve_item(std::string_view text);
  // The drops of the token that ends now with `text`: they get `fate`, and
  // their words when a record of them can still be kept.
  void resolve(Drop::Token token, std::string_view text, Fate fate, bool one_line);
  void count_line();
  void next_line();
  // Whether a record at `offset` would only be counted.
  bool counted(std::uint64_t offset) const {
    return records_.size() >= kept_ && (records_.empty() || offset > records_.back().offset);
  }
  // Whether a record of the line being read may still be kept: there is
  // room, or a kept one (a goal name's, which comes at its colon) lies on it.
  bool keeps_line() const {
    return records_.size() < kept_ || (!records_.empty() && records_.back().offset >= line_start_);
  }
  void line_done(std::uint64_t offset, Where where, std::string_view goal, std::string_view last);
  void close_line();
  void gain(std::string_view name);
  void close_gained();
  // The range [begin, end) of `text` that the word at `pos` covers.
  static std::pair<std::size_t, std::size_t> word_at(std::string_view text, std::size_t pos,
                                                     bool command);
  std::string written_word(std::string_view text, std::pair<std::size_t, std::size_t> range,
                           Drop::Token token) const;
  char word_start(std::string_view text, std::pair<std::size_t, std::size_t> range,
                  Drop::Token token) const;
  // Keeps `record` in its place and returns its index, or counts it: npos.
  std::size_t add(Record record);
  Record at(Kind kind, std::uint64_t offset) const;
  Fate goal_fate(std::string_view name, bool lost) const;
  static void fill(Record& record, const Fate& fate);

  // Wide members first and the one-byte ones last, so that they pack.
  std::size_t kept_;
  std::uint64_t line_ = 1;
  std::uint64_t line_start_ = 0;  // delivered offset of the line's first character
  std::vector<Record> records_;
  std::optional<Record> first_extra_;
  std::uint64_t more_ = 0;

  // The line being read.
  std::vector<Drop> drops_;
  std::vector<Fate> fates_;
  std::vector<std::string> words_;
  std::size_t unresolved_items_ = 0;   // drops waiting for the item being read
  std::string rule_goal_;              // the goal of a rule that ':=' made
  std::string overflow_;               // bytes dropped past kDrops, distinct
  std::uint64_t overflow_offset_ = 0;  // the first of them
  std::uint64_t last_offset_ = 0;      // of the last dropped byte

  // The goal name being read.
  std::uint64_t goal_line_ = 0, goal_offset_ = 0;
  std::uint64_t goal_line_start_ = 0;      // where its first line starts
  std::vector<std::size_t> goal_waiting_;  // records of earlier lines waiting for it
  std::size_t owner_record_ = kNoIndex;    // kContinuation: that record

  // A line ending in '\' waits for the next line's end.
  std::uint64_t continued_line_ = 0;  // that line; 0: none
  std::size_t continued_ = kNoIndex;  // its record; kNoIndex: only counted
  std::string continued_command_;     // the next line's command, when it is one

  // A header handing the next line's words to its goal.
  std::optional<Record> gained_record_;  // none: it can only be counted
  std::uint64_t gained_count_ = 0, gained_from_ = 0, gained_to_ = 0;

  std::vector<Gained> gained_;
  std::optional<Lost> lost_;
  std::uint64_t colon_line_ = 0, colon_column_ = 0, colons_ = 0;
  std::uint64_t end_offset_ = 0;

  Where end_where_ = Where::kLine;
  Kind line_kind_ = Kind::kDropped;  // kComment or kDefinition once one began on the line
  Owner owner_ = Owner::kNone;       // of the goal name being read
  char closer_ = 0;                  // the ')' or '}' an open reference waits for
  char last_byte_ = 0;               // the last dropped byte
  bool drops_open_ = false;          // the line has dropped bytes
  bool line_watch_ = false;          // a record waits for this line's end
  bool goal_open_ = false;           // a goal name is being read
  bool goal_watch_ = false;          // its colon has more to do than end it
  bool first_ = false;               // it is the first goal's
  bool item_watch_ = false;          // the line's drops or a header wait for items
  bool gaining_ = false;             // a header is handing on the next line's words
  bool gained_fact_ = false;         // gained_.back() is its fact
  bool planned_told_ = false;        // a record says which goal is planned
  bool planned_line_ = false;        // this line's drops may be the record that says it
};

}  // namespace planner
