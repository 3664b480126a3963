// Automaton A0, as its state table reads: one switch over the state, the
// conditions of each state evaluated in table order on the same character.
// A condition prints only when it holds; every character ends with the state
// line.
#include "reader/parser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "reader/a0_messages.h"

namespace planner {

namespace {

enum class Kind : unsigned char { kOther, kName, kColon, kSpace, kLineEnd, kTab };

// The class of every byte value, built once: it depends on neither the
// signedness of char nor a locale. Exactly the 65 name bytes are kName.
constexpr std::array<Kind, 256> kKinds = [] {
  std::array<Kind, 256> kinds{};
  for (int c = 'A'; c <= 'Z'; ++c) kinds[c] = Kind::kName;
  for (int c = 'a'; c <= 'z'; ++c) kinds[c] = Kind::kName;
  for (int c = '0'; c <= '9'; ++c) kinds[c] = Kind::kName;
  kinds['.'] = kinds['-'] = kinds['+'] = Kind::kName;
  kinds[':'] = Kind::kColon;
  kinds[' '] = Kind::kSpace;
  kinds['\n'] = kinds['\r'] = Kind::kLineEnd;
  kinds['\t'] = Kind::kTab;
  return kinds;
}();

Kind kind_of(char c) { return kKinds[static_cast<unsigned char>(c)]; }

}  // namespace

// A0 step by step, worked out in advance from the plain path, so that the
// two cannot disagree: for every state and byte value, the bytes the step
// prints (its condition line, if one holds, and the state line), the state it
// leads to, the action it takes and the conditions it evaluates. A step of
// the reader is then one copy and at most one action.
struct Parser::StepTable {
  // No step prints more; building the table checks it. Copying a whole slot
  // every time is cheaper than a copy of the exact size.
  static constexpr std::size_t kSlot = 96;

  // What feed() reads: 128 bytes, so that finding a step is two shifts.
  struct alignas(32) Step {
    std::array<char, kSlot> bytes{};     // what the step prints, then unused bytes
    std::uint8_t size = 0;               // how many of `bytes` the step prints
    std::uint8_t next = 0;               // the state after the step
    Dispatch dispatch = Dispatch::kNone;  // what feed() does
    Rare rare = Rare::kZ3;                // what, when it is something rare
  };
  static_assert(sizeof(Step) == 128);
  // What only viewers read, kept apart so that it does not widen a Step.
  struct Explained {
    Action action = Action::kNone;
    StepRecord record;  // the conditions it evaluated
  };
  StepTable();
  static void dispatch(Step* step, std::size_t state, char c, Action action,
                       std::span<const Evaluation> evaluated);
  static const StepTable& get() {
    static const StepTable table;
    return table;
  }
  std::array<std::array<Step, 256>, kStates> steps;
  std::array<std::array<Explained, 256>, kStates> explained;
};

Parser::Parser(Output& trace, std::size_t notices_kept)
    : a1(trace), trace_(trace), notices_(notices_kept) {}

// The state and the output position stay in registers, as no action prints.
void Parser::feed(std::string_view chars) {
  if (chars.empty()) return;
  const StepTable& table = StepTable::get();
  constexpr std::size_t kSlot = StepTable::kSlot;
  auto at = static_cast<std::size_t>(state);
  char* out = trace_.cursor();
  const char* const end = trace_.end();
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char c = chars[i];
    const StepTable::Step& s = table.steps[at][static_cast<unsigned char>(c)];
    if (s.dispatch == Dispatch::kZ1) {
      z1_on(c);
    } else if (s.dispatch == Dispatch::kZ2) {
      z2_on(c);
    } else if (s.dispatch == Dispatch::kRare) {
      act(s.rare, c, at, fed_ + i);
    }
    at = s.next;
    if (static_cast<std::size_t>(end - out) >= kSlot) {
      std::memcpy(out, s.bytes.data(), kSlot);
      out += s.size;
    } else {
      // The buffer is full, or smaller than a slot: put() flushes it.
      trace_.commit(out);
      trace_.put(std::string_view(s.bytes.data(), s.size));
      out = trace_.cursor();
    }
  }
  trace_.commit(out);
  state = static_cast<std::int32_t>(at);
  ch = chars.back();
  fed_ += chars.size();
}

// A line end, for the notices: a header line that ends after a space also
// names its last dependency. `in` is the state the line feed was read in.
inline void Parser::line_end(std::uint64_t offset, std::int32_t in) {
  notices_.line_end(offset, static_cast<Notices::Where>(in), buffers.copy_goal(),
                    in == SPACE ? last_dependency() : std::string_view());
}

// Out of the way of feed(), as most characters take z1, z2 or nothing.
void Parser::act(Rare rare, char c, std::size_t at, std::uint64_t offset) {
  const auto in = static_cast<std::int32_t>(at);
  switch (rare) {
    case Rare::kZ3: z3(); break;
    case Rare::kZ4: z4(); break;
    case Rare::kZ5: z5(); break;
    case Rare::kZ6:
      ch = c;
      z6();
      goal_started(offset, false);
      break;
    case Rare::kZ1First:
      z1_on(c);
      goal_started(offset, true);
      break;
    case Rare::kDropped: dropped(offset, c, in); break;
    case Rare::kZ5LineEnd:
      z5();
      line_end(offset, in);
      break;
    case Rare::kZ4LineEnd: z4(); [[fallthrough]];
    case Rare::kLineEnd: line_end(offset, in); break;
  }
}

// Most makefiles drop nothing.
void Parser::dropped(std::uint64_t offset, char c, std::int32_t in) {
  const std::size_t token = in == GOAL ? buffers.copy_goal().size() : buffers.copy_item().size();
  notices_.dropped(offset, c, static_cast<Notices::Where>(in), token, buffers.copy_goal());
}

std::string_view Parser::last_dependency() const {
  const Graph& graph = a1.view();
  const auto children = graph[goal_].children;
  return children.empty() ? std::string_view() : graph.name(children.back());
}

Parser::StepView Parser::step_view(std::int32_t state, char c) {
  const auto row = static_cast<std::size_t>(state);
  const auto column = static_cast<unsigned char>(c);
  const StepTable::Step& s = StepTable::get().steps[row][column];
  const StepTable::Explained& e = StepTable::get().explained[row][column];
  return {{s.bytes.data(), s.size}, s.next, e.action, e.record.evaluated()};
}

// A line feed ends a line whatever the state does with it; a byte for which
// no condition held is dropped, and noticed unless it is a blank; the first
// goal's first character is noticed too.
void Parser::StepTable::dispatch(Step* step, std::size_t state, char c, Action action,
                                 std::span<const Evaluation> evaluated) {
  const auto rare = [step](Rare r) {
    step->dispatch = Dispatch::kRare;
    step->rare = r;
  };
  if (c == '\n') {
    if (action == Action::kNone) return rare(Rare::kLineEnd);
    if (action == Action::kZ4) return rare(Rare::kZ4LineEnd);
    if (action == Action::kZ5) return rare(Rare::kZ5LineEnd);
    throw std::logic_error("A0 step on a line feed with another action");
  }
  const bool held =
      std::any_of(evaluated.begin(), evaluated.end(), [](const Evaluation& e) { return e.value; });
  if (!held && c != ' ') return rare(Rare::kDropped);
  switch (action) {
    case Action::kNone: step->dispatch = Dispatch::kNone; break;
    case Action::kZ1:
      if (state == LINE) return rare(Rare::kZ1First);
      step->dispatch = Dispatch::kZ1;
      break;
    case Action::kZ2: step->dispatch = Dispatch::kZ2; break;
    case Action::kZ3: return rare(Rare::kZ3);
    case Action::kZ4: return rare(Rare::kZ4);
    case Action::kZ5: return rare(Rare::kZ5);
    case Action::kZ6: return rare(Rare::kZ6);
  }
}

// Runs one plain step for every state and byte on a scratch parser, whose
// graph already has a goal for the actions to work on, and keeps what each
// printed and did.
Parser::StepTable::StepTable() {
  StringSink sink;
  Output out(sink);
  Parser scratch(out);
  scratch.a1.add_vertex("g");
  for (std::size_t s = 0; s < kStates; ++s) {
    for (std::size_t b = 0; b < 256; ++b) {
      scratch.state = static_cast<std::int32_t>(s);
      scratch.ch = static_cast<char>(b);
      scratch.performed_ = 0;
      scratch.record_.clear();
      scratch.step();
      scratch.trace_state();
      out.flush();
      if (sink.data.size() > kSlot) throw std::logic_error("A0 step too long");
      if (std::popcount(scratch.performed_) > 1) throw std::logic_error("A0 step with two actions");
      const Action action = scratch.performed_ == 0
                                ? Action::kNone
                                : static_cast<Action>(std::countr_zero(scratch.performed_));
      Step& step = steps[s][b];
      std::copy(sink.data.begin(), sink.data.end(), step.bytes.begin());
      step.size = static_cast<std::uint8_t>(sink.data.size());
      step.next = static_cast<std::uint8_t>(scratch.state);
      dispatch(&step, s, static_cast<char>(b), action, scratch.record_.evaluated());
      explained[s][b] = {action, scratch.record_};
      sink.data.clear();
    }
  }
}

void Parser::finish() {
  notices_.finish(fed_, static_cast<Notices::Where>(state), buffers.copy_goal(),
                  buffers.copy_item());
  trace_.put(a0::kClosing);
}

void Parser::step() {
  switch (state) {
    case LINE:
      if (x1()) {
        state = GOAL;
        z1();
      }
      x3();  // trace only
      break;
    case GOAL:
      if (x1()) z1();
      if (x2()) {
        state = COLON;
        z3();
      }
      x3();  // trace only
      break;
    case COLON:
      if (x1()) {
        state = DEPENDENCY;
        z2();
      }
      x3();  // trace only
      break;
    case DEPENDENCY:
      if (x1()) z2();
      if (x3()) {
        state = SPACE;
        z4();
      }
      if (x4()) {
        state = DETERMINE;
        z4();
      }
      break;
    case SPACE:
      if (x1()) {
        state = DEPENDENCY;
        z2();
      }
      x3();  // trace only
      break;
    case DETERMINE:
      if (x1()) {
        state = GOAL;
        z6();
      }
      if (x5()) state = COMMAND;
      x4();  // trace only
      break;
    case COMMAND:
      if (x1() || x2() || x3()) z2();
      if (x4()) {
        state = DETERMINE;
        z5();
      }
      break;
  }
}

void Parser::trace_state() { trace_.put(a0::kStateLines[static_cast<std::size_t>(state)]); }

// A true condition prints its line with the character; a false one nothing.
bool Parser::report(std::uint8_t condition, bool value, std::string_view message) {
  if (record_.evaluations() == StepRecord::kMost) throw std::logic_error("A0 step with too many conditions");
  record_.add(condition, value);
  if (value) {
    trace_.put(message);
    trace_.put_text(ch);
    trace_.put_text('\n');
  }
  return value;
}

bool Parser::x1() { return report(1, kind_of(ch) == Kind::kName, a0::kX1.view()); }
bool Parser::x2() { return report(2, kind_of(ch) == Kind::kColon, a0::kX2.view()); }
bool Parser::x3() { return report(3, kind_of(ch) == Kind::kSpace, a0::kX3.view()); }
bool Parser::x4() { return report(4, kind_of(ch) == Kind::kLineEnd, a0::kX4.view()); }
bool Parser::x5() { return report(5, kind_of(ch) == Kind::kTab, a0::kX5.view()); }

void Parser::z1() {
  took(Action::kZ1);
  z1_on(ch);
}

void Parser::z2() {
  took(Action::kZ2);
  z2_on(ch);
}

void Parser::z3() {
  took(Action::kZ3);
  goal_ = a1.add_vertex(buffers.copy_goal());
  notices_.goal_ended(buffers.copy_goal());
}

void Parser::z4() {
  took(Action::kZ4);
  a1.add_dependency(goal_, buffers.copy_item());
  notices_.item_ended(buffers.copy_item());
  buffers.reset_item();
}

void Parser::z5() {
  took(Action::kZ5);
  a1.add_command(goal_, buffers.copy_item());
  notices_.item_ended(buffers.copy_item());
  buffers.reset_item();
}

void Parser::z6() {
  took(Action::kZ6);
  buffers.reset_goal();
  buffers.reset_item();
  buffers.append_goal(ch);
}

}  // namespace planner
