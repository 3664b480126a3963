// The records of a line's dropped bytes: when a token ends, its drops learn
// what it became and the words they stood in; when the line ends, they
// become one record per kind, or, past the records kept, a count.
#include <algorithm>
#include <bit>

#include "platform/error_line.h"
#include "reader/notices.h"

namespace planner {

// The word a dropped byte stood in, as written: the token's text around it
// with every byte the token lost there put back. A command's words end at
// spaces; a name is one word.
std::pair<std::size_t, std::size_t> Notices::word_at(std::string_view text, std::size_t pos,
                                                     bool command) {
  pos = std::min(pos, text.size());
  if (!command) return {0, text.size()};
  std::size_t begin = pos;
  if (pos > 0 && text[pos - 1] != ' ') {
    const std::size_t space = text.rfind(' ', pos - 1);
    begin = space == std::string_view::npos ? 0 : space + 1;
  }
  return {begin, std::min(text.find(' ', pos), text.size())};
}

std::string Notices::written_word(std::string_view text, std::pair<std::size_t, std::size_t> range,
                                  Drop::Token token) const {
  const auto [begin, end] = range;
  std::string word;
  std::size_t at = begin;
  for (const Drop& d : drops_) {
    if (d.token != token || d.resolved || d.pos < begin || d.pos > end) continue;
    word.append(text.substr(at, d.pos - at));
    at = d.pos;
    word += d.byte;
  }
  return clipped(word.append(text.substr(at, end - at)));
}

char Notices::word_start(std::string_view text, std::pair<std::size_t, std::size_t> range,
                         Drop::Token token) const {
  for (const Drop& d : drops_) {
    if (d.token == token && !d.resolved && d.pos == range.first) return d.byte;
  }
  return range.first < text.size() ? text[range.first] : '\0';
}

Notices::Fate Notices::goal_fate(std::string_view name, bool lost) const {
  Fate fate;
  fate.reads = clipped(name);
  fate.lost = lost;
  fate.first_goal = first_ && !lost;
  fate.from_line = goal_line_;
  // A name the end of input lost ends on the last line that has a character.
  fate.to_line = lost && end_offset_ == line_start_ && line_ > goal_line_ ? line_ - 1 : line_;
  return fate;
}

void Notices::fill(Record& record, const Fate& fate) {
  record.reads = fate.reads;
  record.command = fate.command;
  record.lost = fate.lost;
  record.first_goal = fate.first_goal;
  record.from_line = fate.from_line;
  record.to_line = fate.to_line;
}

// Only the kinds whose records quote words make them.
void Notices::resolve(Drop::Token token, std::string_view text, Fate fate, bool one_line) {
  const bool words = one_line && (keeps_line() || fate.first_goal);
  const auto index = static_cast<std::uint16_t>(fates_.size());
  std::pair<std::size_t, std::size_t> last_range{text.size() + 1, 0};
  bool any = false;
  for (Drop& d : drops_) {
    if (d.token != token || d.resolved) continue;
    any = true;
    const bool command = d.where == Where::kCommand;
    const std::size_t p = std::min(d.pos, text.size());
    if (d.byte == '\t') {
      d.harmless = !one_line || p == 0 || p == text.size() ||
                   (command && (text[p - 1] == ' ' || text[p] == ' '));
    }
    const bool quoted = d.kind == Kind::kReference || d.kind == Kind::kOption ||
                        d.kind == Kind::kPath || d.kind == Kind::kPattern ||
                        d.kind == Kind::kWildcard;
    if (!quoted || (!words && d.kind != Kind::kOption)) continue;
    const auto range = word_at(text, p, command);
    // '=' in a command is an option's only when the word is one.
    if (d.kind == Kind::kOption && word_start(text, range, token) != '-') {
      d.kind = Kind::kDropped;
      continue;
    }
    if (words && range != last_range) {
      d.word = static_cast<std::uint16_t>(words_.size());
      words_.push_back(written_word(text, range, token));
      last_range = range;
    }
  }
  for (Drop& d : drops_) {
    if (d.token == token && !d.resolved) {
      d.resolved = true;
      d.fate = index;
    }
  }
  if (any) fates_.push_back(std::move(fate));
}

// The line's drops, one record per kind, in the order of their first byte.
void Notices::close_line() {
  if (!keeps_line() && !planned_line_) return count_line();
  std::vector<Record> made;
  std::vector<bool> waiting;  // for the goal name, which goes on
  for (Drop& d : drops_) {
    if (d.harmless) continue;
    if (d.token == Drop::Token::kGoal && !d.resolved) {
      if (d.byte == '\t') continue;  // the long name's record tells the join
    }
    auto it =
        std::find_if(made.begin(), made.end(), [&](const Record& r) { return r.kind == d.kind; });
    if (it == made.end()) {
      made.push_back(at(d.kind, d.offset));
      waiting.push_back(false);
      it = made.end() - 1;
      Record& r = *it;
      if (d.token == Drop::Token::kGoal && !d.resolved) {
        waiting.back() = true;
      } else if (d.fate != kNoFate) {
        fill(r, fates_[d.fate]);
      }
      if (d.kind == Kind::kDefinition) r.goal = rule_goal_;
      if (d.kind == Kind::kContinuation) {
        r.last_line = line_ + 1;
        // A line a header gained was meant as a command.
        r.command = r.command || gaining_;
      }
    }
    add_byte(it->bytes, d.byte);
    if (d.word != kNoFate && it->written.size() < kWritten &&
        std::find(it->written.begin(), it->written.end(), words_[d.word]) == it->written.end()) {
      it->written.push_back(words_[d.word]);
    }
  }
  if (!overflow_.empty()) {
    if (made.empty()) {
      made.push_back(at(line_kind_, overflow_offset_));
      waiting.push_back(goal_open_);
    }
    for (const char byte : overflow_) add_byte(made.back().bytes, byte);
  }
  for (std::size_t i = 0; i < made.size(); ++i) {
    Record& r = made[i];
    // The first goal's name on one line: this record says it is the one planned.
    if (r.first_goal && r.from_line == r.to_line && !planned_told_) {
      r.planned = true;
      planned_told_ = true;
    }
    const Kind kind = r.kind;
    const std::size_t index = add(std::move(r));
    // The next line tells what became of it, kept or only counted.
    if (kind == Kind::kContinuation && !waiting[i]) {
      continued_ = index;
      continued_line_ = line_;
      continued_command_.clear();
    }
    if (index != kNoIndex && waiting[i]) goal_waiting_.push_back(index);
  }
  next_line();
}

// Past the records kept, a line's records are only counted.
void Notices::count_line() {
  unsigned kinds = 0;
  bool continued = false;
  for (const Drop& d : drops_) {
    const bool waits = d.token == Drop::Token::kGoal && !d.resolved;
    if (d.harmless || (waits && d.byte == '\t')) continue;
    const unsigned bit = 1u << static_cast<unsigned>(d.kind);
    if (d.kind == Kind::kContinuation && (kinds & bit) == 0) continued = !waits;
    kinds |= bit;
  }
  if (kinds == 0 && !overflow_.empty()) kinds = 1;
  more_ += static_cast<std::uint64_t>(std::popcount(kinds));
  if (continued) {
    continued_ = kNoIndex;
    continued_line_ = line_;
    continued_command_.clear();
  }
  next_line();
}

void Notices::next_line() {
  drops_.clear();
  fates_.clear();
  words_.clear();
  unresolved_items_ = 0;
  rule_goal_.clear();
  overflow_.clear();
  drops_open_ = false;
  planned_line_ = false;
  line_kind_ = Kind::kDropped;
  closer_ = 0;
}

}  // namespace planner
