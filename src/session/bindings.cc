// The session for JavaScript (emscripten's embind), built into
// planner_session.js. Bytes cross as JavaScript strings whose character codes
// are the bytes (the module is linked with EMBIND_STD_STRING_IS_UTF8=0);
// steps, lines and times cross as numbers, exact up to 2^53.
//
// web/model.js wraps this class; the page and the tests use that wrapper.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "planner/automaton.h"
#include "platform/error_line.h"
#include "reader/parser.h"
#include "session/session.h"

namespace planner {
namespace {

using emscripten::val;

double number(std::uint64_t n) { return static_cast<double>(n); }
// A count from JavaScript, which may be anything a page or a link passes:
// NaN and negatives are 0, and beyond 2^64 the largest count, as converting
// them as they are would be undefined.
std::uint64_t count(double n) {
  if (!(n > 0)) return 0;
  return n >= 18446744073709551616.0 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(n);
}

// Text for people crosses as text, the module's strings being bytes
// otherwise: its UTF-8 read into code points, which a wide string carries.
// The trace's lines cross as their CP866 bytes.
val text(std::string_view s) {
  std::wstring wide;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n && i + k < s.size(); ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    wide += static_cast<wchar_t>(c);
    i += n;
  }
  return val(wide);
}
val bytes(std::string_view s) { return val(std::string(s)); }

template <class T, class F>
val list_of(const std::vector<T>& items, F&& make) {
  val list = val::array();
  for (const T& item : items) list.call<void>("push", make(item));
  return list;
}

// [[n, value], ...]: n for xn, 0 for e1.
val evaluations(std::span<const Evaluation> evaluated) {
  val list = val::array();
  for (const Evaluation e : evaluated) {
    val pair = val::array();
    pair.call<void>("push", e.condition);
    pair.call<void>("push", e.value);
    list.call<void>("push", pair);
  }
  return list;
}

// An automaton's table, as AutomatonTable has it: names and glosses as text,
// trace lines as bytes.
val table(const AutomatonTable& t) {
  val out = val::object();
  out.set("name", text(t.name));
  out.set("closing", bytes(t.closing));
  out.set("finished", text(t.finished));
  out.set("states", list_of(t.states, [](const AutomatonTable::State& s) {
    val state = val::object();
    state.set("name", text(s.name));
    state.set("gloss", text(s.gloss));
    state.set("line", bytes(s.line));
    return state;
  }));
  out.set("conditions", list_of(t.conditions, [](const AutomatonTable::Condition& c) {
    val condition = val::object();
    condition.set("number", c.number);
    condition.set("name", text(c.name));
    condition.set("holds", text(c.holds));
    condition.set("fails", text(c.fails));
    condition.set("said", bytes(c.said));
    condition.set("denied", bytes(c.denied));
    condition.set("label", text(c.label));
    condition.set("toldHolds", text(c.told_holds));
    condition.set("toldFails", text(c.told_fails));
    return condition;
  }));
  out.set("actions", list_of(t.actions, [](const AutomatonTable::Action& a) {
    val action = val::object();
    action.set("number", a.number);
    action.set("name", text(a.name));
    action.set("gloss", text(a.gloss));
    action.set("told", text(a.told));
    return action;
  }));
  out.set("outcomes", list_of(t.outcomes, [](const AutomatonTable::Outcome& o) {
    val outcome = val::object();
    outcome.set("from", o.from);
    outcome.set("evaluated", evaluations(o.evaluated));
    outcome.set("action", o.action);
    outcome.set("to", o.to);
    outcome.set("consistent", o.consistent);
    return outcome;
  }));
  out.set("transitions", list_of(t.transitions, [](const AutomatonTable::Transition& tr) {
    val transition = val::object();
    transition.set("from", tr.from);
    transition.set("to", tr.to);
    transition.set("action", tr.action);
    transition.set("guard", list_of(tr.guard, [](const std::vector<Evaluation>& term) {
      return evaluations(term);
    }));
    transition.set("label", text(tr.label));
    transition.set("gloss", text(tr.gloss));
    return transition;
  }));
  return out;
}

class WebSession {
 public:
  // `times(name)` gives a name's modification time in whole seconds; 0, or
  // anything but a number (NaN included), for a missing file. `every`: steps between two
  // checkpoints (Session::kEvery when 0).
  WebSession(const std::string& makefile, val times, double every)
      : session_(makefile,
                 [times](std::string_view name) -> std::int64_t {
                   const val t = times(std::string(name));
                   const double seconds = t.isNumber() ? t.as<double>() : 0;
                   if (std::isnan(seconds)) return 0;
                   // Held within 64 bits, as converting beyond them would be undefined.
                   return static_cast<std::int64_t>(std::clamp(seconds, -9.2e18, 9.2e18));
                 },
                 every >= 1 ? count(every) : Session::kEvery) {}

  double total() const { return number(session_.total()); }
  double at() const { return number(session_.at()); }
  bool step() { return session_.step(); }
  void seek(double n) { session_.seek(count(n)); }
  bool prepare(double steps) { return session_.prepare(count(steps)); }
  double all_lines() const { return number(session_.all_lines()); }

  int phase() const { return static_cast<int>(session_.phase()); }
  int from_state() const { return session_.from_state(); }
  int state() const { return session_.state(); }
  int action() const { return session_.action(); }
  std::string printed() const { return session_.printed(); }
  std::string refusal() const { return session_.refusal(); }
  val evaluated() const { return evaluations(session_.evaluated()); }
  // A1's top of stack 1 or 2 before the step, or -1.
  double top_before(int which) const {
    const VertexIndex v = session_.top_before(which == 1 ? 1 : 2);
    return v == kNoVertex ? -1.0 : static_cast<double>(v);
  }
  // A vertex's modification time as the walk reads it; NaN for no vertex.
  double time_of(double vertex) {
    if (!has_vertex(true, vertex)) return std::nan("");
    return static_cast<double>(session_.time_of(static_cast<VertexIndex>(vertex)));
  }

  double chars() const { return number(session_.chars()); }
  double chars_read() const { return number(session_.chars_read()); }
  val position(double index) const {
    const Position p = session_.position(count(index));
    val at = val::object();
    at.set("offset", number(p.offset));
    at.set("line", number(p.line));
    at.set("column", number(p.column));
    return at;
  }
  // A byte for each of the file's first `bytes`: 1 where A0 dropped it.
  std::string dropped(double bytes) const { return session_.dropped(count(bytes)); }
  // The last `most` bytes of a token buffer (a token can be a whole file),
  // and the buffer's length.
  std::string goal_text(double most) const { return tail(session_.goal_text(), most); }
  std::string item_text(double most) const { return tail(session_.item_text(), most); }
  double goal_length() const { return number(session_.goal_text().size()); }
  double item_length() const { return number(session_.item_text().size()); }

  // The graph as read so far, or (`whole`) as reading ends.
  double vertices(bool whole) const { return number(graph(whole).size()); }
  // {name, children: [index...], commands: [bytes...]}; undefined for no vertex.
  val vertex(bool whole, double index) const {
    if (!has_vertex(whole, index)) return val::undefined();
    const Graph::View v = graph(whole)[static_cast<VertexIndex>(index)];
    val children = val::array();
    for (const VertexIndex c : v.children) children.call<void>("push", c);
    val commands = val::array();
    for (const std::string_view c : v.commands) commands.call<void>("push", std::string(c));
    val out = val::object();
    out.set("name", std::string(v.name));
    out.set("children", children);
    out.set("commands", commands);
    return out;
  }
  // Children and commands a vertex has so far, for a graph drawn whole once.
  val read_so_far(double index) const {
    const Graph& g = session_.graph();
    val out = val::array();
    if (has_vertex(false, index)) {
      const Graph::View v = g[static_cast<VertexIndex>(index)];
      out.call<void>("push", number(v.children.size()));
      out.call<void>("push", number(v.commands.size()));
    }
    return out;
  }

  double stack_size(int which) const {
    return which == 1 || which == 2 ? number(session_.stack_size(which)) : 0;
  }
  // Up to `n` entries of stack `which` (1 or 2) from `first`, bottom first:
  // {vertex, walked, marked, markedAt, marks, markedBy}.
  val stack(int which, double first, double n) const {
    val list = val::array();
    const std::size_t size = which == 1 || which == 2 ? session_.stack_size(which) : 0;
    for (std::size_t i = count(first); i < size && i < count(first) + count(n); ++i) {
      const StackEntry e = session_.stack_entry(which, i);
      val entry = val::object();
      entry.set("vertex", e.vertex);
      entry.set("walked", e.walked);
      entry.set("marked", e.marked);
      entry.set("markedAt", number(e.marked_at));
      entry.set("marks", number(e.marks));
      entry.set("markedBy", e.marked_by);
      list.call<void>("push", entry);
    }
    return list;
  }

  double trace_lines() const { return number(session_.trace_lines()); }
  double lines_before(double step) { return number(session_.lines_before(count(step))); }
  double step_of_line(double line) { return number(session_.step_of_line(count(line))); }
  std::string trace(double first, double last) { return session_.trace(count(first), count(last)); }
  std::string lines(double first, double n) { return session_.lines(count(first), count(n)); }
  // The nearest step after (`forward`) or before the current one where the
  // event happens, or -1: `kind` is Event::Kind's number (0 a state entered,
  // 1 a condition's value, 2 a line of todo.bat written, 3 a mark set, 4 a
  // vertex made active), `automaton` 0 for A0 and 1 for A1.
  double find(int kind, int automaton, double which, bool value, bool forward) {
    const Event event{static_cast<Event::Kind>(std::clamp(kind, 0, Event::kKinds - 1)), automaton,
                      static_cast<std::uint32_t>(std::min(count(which), std::uint64_t{~std::uint32_t{0}})), value};
    const std::optional<std::uint64_t> step = session_.find(event, forward);
    return step ? number(*step) : -1;
  }
  // [commands, marks, commands, marks, ...]: A1's steps in buckets of `width`.
  val tally(double width) {
    val list = val::array();
    for (const Tally& t : session_.tally(count(width))) {
      list.call<void>("push", number(t.commands));
      list.call<void>("push", number(t.marks));
    }
    return list;
  }
  double every() const { return number(session_.every()); }
  // {list: [{text, line, column, offset, lastLine, vertex}], more}: the program's
  // warnings for the makefile named `makefile`, at most `cap`, each as the
  // line it prints, and the line that counts the rest ('' for none). The
  // lines are bytes, as names are. `vertex`: the name a warning of the walk
  // is about; -1 for the reader's.
  val warnings(const std::string& makefile, double cap) const {
    const Session::Told told = session_.warnings(
        makefile, static_cast<std::size_t>(std::min<std::uint64_t>(count(cap), Session::kWarnings)));
    val out = val::object();
    out.set("list", list_of(told.warnings, [](const Warning& w) {
      val warning = val::object();
      warning.set("text", warning_line(w.text));
      warning.set("line", number(w.line));
      warning.set("column", number(w.column));
      warning.set("offset", number(w.offset));
      warning.set("lastLine", number(w.last_line));
      const bool walk = w.kind == Warning::Kind::kMissing;
      warning.set("vertex", walk ? static_cast<double>(w.vertex) : -1.0);
      return warning;
    }));
    out.set("more", told.more.empty() ? std::string() : warning_line(told.more));
    return out;
  }
  double todo_lines() const { return number(session_.todo_lines()); }
  // {text, step, vertex, missing, markedAt, marks, markedBy} per line.
  val todo(double first, double n) {
    val list = val::array();
    for (const TodoLine& line : session_.todo(count(first), count(n))) {
      val entry = val::object();
      entry.set("text", line.text);
      entry.set("step", number(line.step));
      entry.set("vertex", line.vertex);
      entry.set("missing", line.missing);
      entry.set("markedAt", number(line.marked_at));
      entry.set("marks", number(line.marks));
      entry.set("markedBy", line.marked_by);
      list.call<void>("push", entry);
    }
    return list;
  }

 private:
  const Graph& graph(bool whole) const { return whole ? session_.whole_graph() : session_.graph(); }
  // A vertex index from JavaScript: a whole number below the graph's size.
  bool has_vertex(bool whole, double index) const {
    return index >= 0 && index < number(graph(whole).size()) && std::floor(index) == index;
  }
  static std::string tail(std::string_view text, double most) {
    return std::string(text.substr(text.size() - std::min<std::size_t>(text.size(), count(most))));
  }

  Session session_;
};

// Both automata's tables, from the automata themselves.
val automata() {
  val out = val::object();
  out.set("A0", table(Parser::table()));
  out.set("A1", table(DependencyGraph::table()));
  return out;
}

// The numbers the session gives its phases and the kinds of event find()
// takes.
val constants() {
  static constexpr auto kPhaseNames = std::to_array({"START", "READING", "READ_END", "REFUSED", "PLANNING"});
  static_assert(kPhaseNames.size() == static_cast<std::size_t>(Phase::kPlanning) + 1);
  static constexpr std::array<const char*, Event::kKinds> kEventNames{"state", "condition",
                                                                      "command", "mark", "active"};
  val phases = val::object();
  for (std::size_t i = 0; i < kPhaseNames.size(); ++i) phases.set(kPhaseNames[i], static_cast<int>(i));
  val events = val::object();
  for (std::size_t i = 0; i < kEventNames.size(); ++i) events.set(kEventNames[i], static_cast<int>(i));
  val out = val::object();
  out.set("phases", phases);
  out.set("events", events);
  return out;
}

}  // namespace
}  // namespace planner

EMSCRIPTEN_BINDINGS(planner_session) {
  using planner::WebSession;
  emscripten::function("automata", &planner::automata);
  emscripten::function("constants", &planner::constants);
  emscripten::class_<WebSession>("Session")
      .constructor<const std::string&, emscripten::val, double>()
      .function("total", &WebSession::total)
      .function("at", &WebSession::at)
      .function("step", &WebSession::step)
      .function("seek", &WebSession::seek)
      .function("prepare", &WebSession::prepare)
      .function("allLines", &WebSession::all_lines)
      .function("phase", &WebSession::phase)
      .function("fromState", &WebSession::from_state)
      .function("state", &WebSession::state)
      .function("action", &WebSession::action)
      .function("printed", &WebSession::printed)
      .function("refusal", &WebSession::refusal)
      .function("evaluated", &WebSession::evaluated)
      .function("topBefore", &WebSession::top_before)
      .function("timeOf", &WebSession::time_of)
      .function("chars", &WebSession::chars)
      .function("charsRead", &WebSession::chars_read)
      .function("position", &WebSession::position)
      .function("dropped", &WebSession::dropped)
      .function("goalText", &WebSession::goal_text)
      .function("itemText", &WebSession::item_text)
      .function("goalLength", &WebSession::goal_length)
      .function("itemLength", &WebSession::item_length)
      .function("vertices", &WebSession::vertices)
      .function("vertex", &WebSession::vertex)
      .function("readSoFar", &WebSession::read_so_far)
      .function("stackSize", &WebSession::stack_size)
      .function("stack", &WebSession::stack)
      .function("traceLines", &WebSession::trace_lines)
      .function("linesBefore", &WebSession::lines_before)
      .function("stepOfLine", &WebSession::step_of_line)
      .function("trace", &WebSession::trace)
      .function("lines", &WebSession::lines)
      .function("find", &WebSession::find)
      .function("tally", &WebSession::tally)
      .function("every", &WebSession::every)
      .function("warnings", &WebSession::warnings)
      .function("todoLines", &WebSession::todo_lines)
      .function("todo", &WebSession::todo);
}
