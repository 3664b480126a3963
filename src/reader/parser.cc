// Automaton A0, as its state table reads: one switch over the state, the
// conditions of each state evaluated in table order on the same character.
// A condition prints only when it holds; every character ends with the state
// line.
#include "reader/parser.h"

#include <array>
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

Parser::Parser(Output& trace) : a1(trace), trace_(trace) {}

void Parser::feed(std::string_view chars) {
  static const a0::StepTable table = build_step_table();
  constexpr std::size_t kSpan = a0::StepTable::kSpan;
  for (const char c : chars) {
    ch = c;
    if (static_cast<std::uint32_t>(state) >= a0::StepTable::kStates) {
      // A state set from outside that A0 does not have: the plain path
      // copes with it as it always did.
      step();
      trace_state();
      continue;
    }
    const a0::Step& s = table.steps[static_cast<std::size_t>(state)][static_cast<unsigned char>(c)];
    switch (s.action) {
      case a0::Action::kNone: break;
      case a0::Action::kZ1: z1(); break;
      case a0::Action::kZ2: z2(); break;
      case a0::Action::kZ3: z3(); break;
      case a0::Action::kZ4: z4(); break;
      case a0::Action::kZ5: z5(); break;
      case a0::Action::kZ6: z6(); break;
    }
    state = s.next;
    trace_.put_spanned<kSpan>(table.bytes.data() + s.offset, s.size);
  }
}

void Parser::feed_plain(std::string_view chars) {
  for (const char c : chars) {
    ch = c;
    step();
    trace_state();
  }
}

// Runs one plain step for every state and byte on a scratch parser, whose
// graph already has a goal for the actions to work on, and keeps what each
// printed and did.
a0::StepTable Parser::build_step_table() {
  a0::StepTable table;
  StringSink sink;
  Output out(sink);
  Parser scratch(out);
  scratch.a1.add_vertex("g");
  for (std::size_t s = 0; s < a0::StepTable::kStates; ++s) {
    for (std::size_t b = 0; b < 256; ++b) {
      scratch.state = static_cast<std::int32_t>(s);
      scratch.ch = static_cast<char>(b);
      scratch.performed_ = a0::Action::kNone;
      scratch.step();
      scratch.trace_state();
      out.flush();
      if (sink.data.size() > a0::StepTable::kSpan) throw std::logic_error("A0 step too long");
      a0::Step& step = table.steps[s][b];
      step.offset = static_cast<std::uint32_t>(table.bytes.size());
      step.size = static_cast<std::uint8_t>(sink.data.size());
      step.next = static_cast<std::uint8_t>(scratch.state);
      step.action = scratch.performed_;
      table.bytes.insert(table.bytes.end(), sink.data.begin(), sink.data.end());
      sink.data.clear();
    }
  }
  table.bytes.resize(table.bytes.size() + a0::StepTable::kSpan);
  return table;
}

void Parser::finish() { trace_.put(a0::kClosing); }

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
    default: break;
  }
}

void Parser::trace_state() {
  switch (state) {
    case LINE: trace_.put(a0::kStateLine); break;
    case GOAL: trace_.put(a0::kStateGoal); break;
    case COLON: trace_.put(a0::kStateColon); break;
    case DEPENDENCY: trace_.put(a0::kStateDependency); break;
    case SPACE: trace_.put(a0::kStateSpace); break;
    case DETERMINE: trace_.put(a0::kStateDetermine); break;
    default: trace_.put(a0::kStateCommand); break;
  }
}

// A true condition prints its line with the character; a false one nothing.
bool Parser::report(bool value, std::string_view message) {
  if (value) {
    trace_.put(message);
    trace_.put_text(ch);
    trace_.put_text('\n');
  }
  return value;
}

bool Parser::x1() { return report(kind_of(ch) == Kind::kName, a0::kX1.view()); }
bool Parser::x2() { return report(kind_of(ch) == Kind::kColon, a0::kX2.view()); }
bool Parser::x3() { return report(kind_of(ch) == Kind::kSpace, a0::kX3.view()); }
bool Parser::x4() { return report(kind_of(ch) == Kind::kLineEnd, a0::kX4.view()); }
bool Parser::x5() { return report(kind_of(ch) == Kind::kTab, a0::kX5.view()); }

void Parser::z1() {
  performed_ = a0::Action::kZ1;
  buffers.append_goal(ch);
}

void Parser::z2() {
  performed_ = a0::Action::kZ2;
  buffers.append_item(ch);
}

void Parser::z3() {
  performed_ = a0::Action::kZ3;
  goal_ = a1.add_vertex(buffers.copy_goal());
}

void Parser::z4() {
  performed_ = a0::Action::kZ4;
  a1.add_dependency(goal_, buffers.copy_item());
  buffers.reset_item();
}

void Parser::z5() {
  performed_ = a0::Action::kZ5;
  a1.add_command(goal_, buffers.copy_item());
  buffers.reset_item();
}

void Parser::z6() {
  performed_ = a0::Action::kZ6;
  buffers.reset_goal();
  buffers.reset_item();
  buffers.append_goal(ch);
}

}  // namespace planner
