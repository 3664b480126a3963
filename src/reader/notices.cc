// The notices, as the reader tells them: a dropped byte is kept with the
// line it was dropped on until the line ends, when the line's drops become
// one record per kind; a record about a token waits until the token ends,
// which for a goal name can be lines later.
#include "reader/notices.h"

#include <algorithm>
#include <array>

#include "platform/error_line.h"

namespace planner {

namespace {

// Drops of one line told one by one; the rest only by their bytes.
constexpr std::size_t kDrops = 32;
// Refusal facts kept, and the longest text kept whole for them.
constexpr std::size_t kFacts = 256;
constexpr std::size_t kWhole = 4096;

// Longer texts are kept one byte past kWhole, so that they are not taken for
// the graph's shorter names.
std::string whole(std::string_view text) {
  return std::string(text.substr(0, std::min(text.size(), kWhole + 1)));
}

// Make's special targets, as the reader keeps them: without the '_' it drops.
bool special_target(std::string_view name) {
  constexpr std::array<std::string_view, 16> kSpecial = {".PHONY",
                                                         ".SUFFIXES",
                                                         ".DEFAULT",
                                                         ".PRECIOUS",
                                                         ".INTERMEDIATE",
                                                         ".NOTINTERMEDIATE",
                                                         ".SECONDARY",
                                                         ".SECONDEXPANSION",
                                                         ".DELETEONERROR",
                                                         ".IGNORE",
                                                         ".LOWRESOLUTIONTIME",
                                                         ".SILENT",
                                                         ".EXPORTALLVARIABLES",
                                                         ".NOTPARALLEL",
                                                         ".ONESHELL",
                                                         ".POSIX"};
  return std::find(kSpecial.begin(), kSpecial.end(), name) != kSpecial.end();
}

}  // namespace

Notices::Record Notices::at(Kind kind, std::uint64_t offset) const {
  Record record;
  record.kind = kind;
  record.line = record.last_line = line_;
  record.column = offset - line_start_ + 1;
  record.offset = offset;
  return record;
}

void Notices::dropped(std::uint64_t offset, char byte, Where where, std::size_t token,
                      std::string_view goal) {
  using Token = Drop::Token;
  // Tabs around a header's names only lay it out, and on the line after a
  // header that gains its words they are the gained record's to tell.
  if (byte == '\t' && (where == Where::kColon || where == Where::kSpace)) return;
  if (where == Where::kLine && byte == ':') {
    if (colons_++ == 0) {
      colon_line_ = line_;
      colon_column_ = offset - line_start_ + 1;
    }
  }
  const bool adjacent = drops_open_ && last_offset_ + 1 == offset;
  const bool after_dollar = adjacent && last_byte_ == '$';
  Kind kind = Kind::kDropped;
  const bool in_command = where == Where::kCommand;
  switch (byte) {
    case '#': kind = Kind::kComment; break;
    case '=': kind = in_command ? Kind::kOption : Kind::kDefinition; break;
    case '$': kind = Kind::kReference; break;
    case '(':
    case '{':
      if (after_dollar) {
        kind = Kind::kReference;
        closer_ = byte == '(' ? ')' : '}';
      }
      break;
    case ')':
    case '}':
      if (closer_ == byte) {
        kind = Kind::kReference;
        closer_ = 0;
      }
      break;
    case '/':
    case '\\': kind = Kind::kPath; break;
    case '%':
      kind = after_dollar ? Kind::kReference : in_command ? Kind::kDropped : Kind::kPattern;
      break;
    case '*': kind = after_dollar ? Kind::kReference : Kind::kWildcard; break;
    case '@':
    case '<':
    case '^':
    case '?':
      if (after_dollar) kind = Kind::kReference;
      break;
    default: break;
  }
  // A comment or a definition takes the rest of its line with it.
  if (line_kind_ != Kind::kDropped) {
    kind = line_kind_;
  } else if (kind == Kind::kComment || kind == Kind::kDefinition) {
    line_kind_ = kind;
    // '?=', '!=', ':=' and '::=' are one definition with their '='.
    if (kind == Kind::kDefinition) {
      std::uint64_t next = offset;
      for (auto d = drops_.rbegin(); d != drops_.rend() && d->offset + 1 == next; ++d, --next) {
        if (d->byte != '?' && d->byte != '!' && d->byte != ':') break;
        d->kind = Kind::kDefinition;
      }
    }
  }
  Token in = Token::kNone;
  if (where == Where::kGoal) {
    in = Token::kGoal;
    goal_watch_ = true;
  } else if (where == Where::kDependency || in_command || where == Where::kColon ||
             where == Where::kSpace) {
    // After a colon or a space the byte stands before the next name.
    in = Token::kItem;
    if (where == Where::kColon || where == Where::kSpace) token = 0;
    item_watch_ = true;
    ++unresolved_items_;
  }
  if (drops_.size() < kDrops) {
    Drop drop;
    drop.offset = offset;
    drop.byte = byte;
    drop.kind = kind;
    drop.where = where;
    drop.pos = token;
    drop.token = in;
    drops_.push_back(drop);
  } else {
    if (overflow_.empty()) overflow_offset_ = offset;
    add_byte(overflow_, byte);
  }
  // ':=' reads as a rule: say for which goal.
  if (where == Where::kColon && kind == Kind::kDefinition && rule_goal_.empty())
    rule_goal_ = clipped(goal);
  drops_open_ = true;
  last_offset_ = offset;
  last_byte_ = byte;
}

void Notices::goal_start(std::uint64_t offset, bool first) {
  // What was dropped before it on its line goes into the name's record.
  for (Drop& d : drops_) {
    if (d.token == Drop::Token::kNone) {
      d.token = Drop::Token::kGoal;
      d.pos = 0;
      goal_watch_ = true;
    }
  }
  if (continued_line_ != 0 && line_ == continued_line_ + 1) {
    owner_ = Owner::kContinuation;
    owner_record_ = continued_;
    continued_ = kNoIndex;
    continued_line_ = 0;
    goal_watch_ = true;
  } else if (!first && offset > line_start_ && !drops_open_) {
    // Only spaces come before a name without a word in DETERMINE.
    owner_ = Owner::kIndented;
    goal_watch_ = true;
  }
}

void Notices::goal_done(std::string_view name, bool lost) {
  if (!goal_open_) return;
  const bool one_line = line_ == goal_line_ && !lost;
  const Fate fate = goal_fate(name, lost);
  if (first_ && one_line) planned_line_ = true;
  resolve(Drop::Token::kGoal, name, fate, one_line);
  for (const std::size_t index : goal_waiting_) {
    if (index < records_.size()) fill(records_[index], fate);
  }
  goal_waiting_.clear();
  Kind kind = Kind::kDropped;  // none
  if (first_ && !lost && (!one_line || special_target(name))) {
    kind = Kind::kFirstGoal;
  } else if (owner_ == Owner::kContinuation) {
    if (owner_record_ < records_.size()) {
      Record& record = records_[owner_record_];
      record.next = one_line ? Next::kRule : Next::kGoalName;
      record.after = fate.reads;
      record.lost = lost;
      record.last_line = fate.to_line;
    }
  } else if (owner_ == Owner::kIndented && (!one_line || lost)) {
    kind = Kind::kIndented;
  } else if (lost) {
    kind = Kind::kNoColon;
  } else if (!one_line) {
    kind = Kind::kLongName;
  }
  if (kind != Kind::kDropped && kind != Kind::kFirstGoal && counted(goal_offset_)) {
    ++more_;
  } else if (kind != Kind::kDropped) {
    Record record;
    record.kind = kind;
    record.line = goal_line_;
    record.column = goal_offset_ - goal_line_start_ + 1;
    record.offset = goal_offset_;
    fill(record, fate);
    record.last_line = fate.to_line;
    record.special = kind == Kind::kFirstGoal && special_target(name);
    record.planned = kind == Kind::kFirstGoal;
    planned_told_ = planned_told_ || record.planned;
    add(std::move(record));
  }
  owner_ = Owner::kNone;
  goal_watch_ = false;
}

void Notices::item_done(std::string_view text) {
  resolve_item(text);
  if (gaining_) gain(text);
  if (continued_line_ != 0 && line_ == continued_line_ + 1) continued_command_ = text;
  item_watch_ = gaining_ || continued_line_ != 0;
}

void Notices::resolve_item(std::string_view text) {
  if (unresolved_items_ == 0) return;
  unresolved_items_ = 0;
  Fate fate;
  if (keeps_line()) fate.reads = clipped(text);
  for (const Drop& d : drops_) {
    if (d.token == Drop::Token::kItem && !d.resolved) fate.command = d.where == Where::kCommand;
  }
  resolve(Drop::Token::kItem, text, std::move(fate), true);
}

void Notices::gain(std::string_view name) {
  if (gained_count_++ == 0) {
    gained_from_ = line_;
    if (gained_fact_) gained_.back().from_line = line_;
  }
  gained_to_ = line_;
  if (gained_record_ && gained_record_->names.size() < kNames) {
    gained_record_->names.push_back(clipped(name));
  }
  if (gained_fact_ && gained_.back().names.size() < kFacts)
    gained_.back().names.push_back(whole(name));
}

void Notices::line_done(std::uint64_t offset, Where where, std::string_view goal,
                        std::string_view last) {
  const bool backslash = drops_open_ && last_byte_ == '\\' && last_offset_ + 1 == offset;
  const bool header = where == Where::kColon || where == Where::kSpace;
  if (backslash && !drops_.empty() && drops_.back().offset + 1 == offset) {
    Drop& d = drops_.back();
    if (header) {
      d.harmless = true;  // a continued header reads as meant
    } else if (d.kind == Kind::kPath) {
      d.kind = Kind::kContinuation;
    }
  }
  // The line after one that ends in '\' has ended: what became of it.
  if (continued_line_ != 0 && line_ == continued_line_ + 1) {
    if (continued_ < records_.size()) {
      Record& record = records_[continued_];
      record.next = where == Where::kCommand ? Next::kCommand : Next::kNothing;
      if (where == Where::kCommand) record.after = clipped(continued_command_);
      record.last_line = line_;
    }
    continued_ = kNoIndex;
    continued_line_ = 0;
  }
  if (drops_open_) close_line();
  if (header && !backslash && !gaining_) {
    gaining_ = true;
    item_watch_ = true;
    gained_count_ = 0;
    gained_record_.reset();
    if (!counted(offset)) {
      gained_record_ = at(Kind::kGained, offset);
      gained_record_->goal = clipped(goal);
      gained_record_->after = clipped(last);
    }
    gained_fact_ = gained_.size() < kFacts;
    if (gained_fact_) gained_.push_back({line_, 0, 0, whole(goal), whole(last), {}});
  } else if (where == Where::kDependency && gaining_) {
    close_gained();
  }
  line_watch_ = gaining_ || continued_line_ != 0;
  item_watch_ = line_watch_;
}

void Notices::close_gained() {
  gaining_ = false;
  item_watch_ = continued_line_ != 0;
  if (gained_count_ == 0) {
    if (gained_fact_) gained_.pop_back();
    return;
  }
  if (gained_fact_) gained_.back().last_line = gained_to_;
  if (!gained_record_) {
    ++more_;
    return;
  }
  Record record = std::move(*gained_record_);
  gained_record_.reset();
  record.count = gained_count_;
  record.from_line = gained_from_;
  record.to_line = record.last_line = gained_to_;
  add(std::move(record));
}

void Notices::finish(std::uint64_t offset, Where where, std::string_view goal,
                     std::string_view item) {
  end_offset_ = offset;
  end_where_ = where;
  if (continued_line_ != 0 && continued_ < records_.size())
    records_[continued_].next = Next::kNothing;
  if (where == Where::kGoal) goal_done(goal, true);
  const bool lost_item = (where == Where::kDependency || where == Where::kCommand) && !item.empty();
  if (lost_item) {
    resolve_item(item);  // not gained: it never went into the graph
    lost_ = Lost{where, line_, whole(goal), whole(item)};
  }
  if (drops_open_) close_line();
  if (gaining_) close_gained();
  if (lost_item) {
    Record record = at(Kind::kLostAtEnd, offset);
    record.goal = clipped(goal);
    record.reads = clipped(item);
    record.command = where == Where::kCommand;
    add(std::move(record));
  }
}

// Records are kept in makefile order, the first kept_ of them: one that
// tells a whole goal name comes when the name ends, after the records of the
// lines it spans.
std::size_t Notices::add(Record record) {
  const auto later =
      std::upper_bound(records_.begin(), records_.end(), record.offset,
                       [](std::uint64_t offset, const Record& r) { return offset < r.offset; });
  const auto slot = static_cast<std::size_t>(later - records_.begin());
  if (slot >= kept_) {
    ++more_;
    if (record.planned && !first_extra_) first_extra_ = std::move(record);
    return kNoIndex;
  }
  records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(slot), std::move(record));
  // The records waiting for something moved with the insertion.
  const auto shift = [&](std::size_t& index) {
    if (index == kNoIndex || index < slot) return;
    if (++index >= kept_) index = kNoIndex;
  };
  shift(continued_);
  shift(owner_record_);
  for (std::size_t& index : goal_waiting_) shift(index);
  if (records_.size() > kept_) {
    if (records_.back().planned && !first_extra_) first_extra_ = std::move(records_.back());
    records_.pop_back();
    ++more_;
  }
  return slot;
}

}  // namespace planner
