// The whole program on any bytes, without files: text mode, the reader, the
// refusals, and the walk with modification times invented from the names,
// checked against models written here rather than against the program's own
// code. A broken invariant aborts, so that libFuzzer keeps the input and the
// replay of the corpus fails loudly.
//
// Built as the libFuzzer target with PLANNER_LIBFUZZER; otherwise as a
// program that replays the files it is given.
#if defined(__unix__)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/warning_texts.h"
#include "planner/a1_messages.h"
#include "platform/error_line.h"
#include "platform/text_input.h"
#include "reader/a0_messages.h"
#include "reader/parser.h"
#include "session/session.h"
#include "start_walk.h"

namespace planner {
namespace {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "planner fuzz: invariant broken: %s\n", what);
  std::abort();
}

// Walks longer than this are not taken: a ladder of diamonds walks
// exponentially many paths by design, and a fuzzer stuck in one learns
// nothing.
constexpr std::uint64_t kMaxSteps = 100'000;

// Odd, small capacities, so that messages straddle the blocks of output.
constexpr std::size_t kTraceCapacity = 61;
constexpr std::size_t kTodoCapacity = 37;

// Modification times from the name alone: small values, so that equal times
// and missing files (0) come up often.
std::int64_t invented_time(std::string_view name, std::uint32_t seed) {
  std::uint32_t h = 2166136261u ^ seed;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<std::int64_t>(h % 4);
}

// The walk as a plain depth-first search: dependencies from the last listed to
// the first; a goal is rebuilt when a leaf under it is newer, a goal under it
// was rebuilt, or its own file is missing. Returns "todo.bat".
std::string expected_todo(const Graph& vertices, std::uint32_t seed) {
  struct Frame {
    VertexIndex vertex;
    std::size_t walked = 0;
    bool rebuild = false;
  };
  std::string todo;
  std::vector<Frame> path{{0}};
  while (!path.empty()) {
    Frame& top = path.back();
    const auto goal = vertices[top.vertex];
    if (top.walked < goal.children.size()) {
      const VertexIndex c = goal.children[goal.children.size() - 1 - top.walked++];
      const auto child = vertices[c];
      if (!child.children.empty()) {
        path.push_back({c});
      } else if (invented_time(child.name, seed) > invented_time(goal.name, seed)) {
        top.rebuild = true;
      }
      continue;
    }
    const bool rebuild = top.rebuild || invented_time(goal.name, seed) == 0;
    path.pop_back();
    if (!rebuild) continue;
    for (const std::string_view command : goal.commands) todo.append(command) += "\r\n";
    if (!path.empty()) path.back().rebuild = true;
  }
  return todo;
}

std::size_t count(const std::string& text, std::string_view line) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(line, at)) != std::string::npos; at += line.size()) ++n;
  return n;
}

// Walks the session takes through, step by step and by seeks; the longest
// are left to the straight run.
constexpr std::uint64_t kMaxSessionSteps = 5'000;

// What a viewer sees after a step, in one string.
std::string seen(Session& session) {
  std::string view = session.printed() + '|' + std::to_string(session.from_state()) + '>' +
                     std::to_string(session.state()) + 'z' + std::to_string(session.action()) +
                     ' ' + std::to_string(session.trace_lines()) + ' ' +
                     std::to_string(session.todo_lines()) + ' ' +
                     std::to_string(session.graph().size()) + '|' +
                     std::string(session.goal_text()) + '|' + std::string(session.item_text());
  for (const Evaluation e : session.evaluated()) view += {'x', char('0' + e.number), char(e.value)};
  for (int which = 1; which <= 2; ++which) {
    view += '|';
    for (std::size_t i = 0; i < session.stack_size(which); ++i) {
      const StackEntry e = session.stack_entry(which, i);
      view += std::to_string(e.vertex) + ',' + std::to_string(e.walked) + ',' +
              std::to_string(e.marked) + ',' + std::to_string(e.marked_at) + ',' +
              std::to_string(e.marks) + ',' + std::to_string(e.marked_by) + ';';
    }
  }
  return view;
}

// What a step did, as a viewer stepping through sees it.
struct Happened {
  int automaton = -1;  // 0 or 1; -1 for the start, A0's closing line and a refusal
  std::int32_t state = 0;
  std::vector<Evaluation> evaluated;
  std::uint64_t commands = 0;  // lines of todo.bat written
  bool mark = false;
  std::int64_t active = -1;  // the vertex a push or pop of stack 1 left on top; -1: none
};

bool happens(const Event& e, const Happened& h) {
  switch (e.kind) {
    case Event::Kind::kState: return h.automaton == e.automaton && h.state == std::int32_t(e.number);
    case Event::Kind::kCondition:
      return h.automaton == e.automaton &&
             std::any_of(h.evaluated.begin(), h.evaluated.end(),
                         [&e](Evaluation v) { return v.number == e.number && v.value == e.value; });
    case Event::Kind::kCommand: return h.commands > 0;
    case Event::Kind::kMark: return h.mark;
    case Event::Kind::kActive: return h.active == std::int64_t(e.number);
  }
  return false;
}

// The conditions a step evaluated, against the lines it printed: each line
// of a condition ("x3 :", "!x3:", "e1:"), in order, and between them only
// conditions that did not hold and printed nothing.
void check_evaluated(const Session& session) {
  std::vector<Evaluation> printed;
  std::string_view text = session.printed();
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
    const bool no = text.starts_with('!');
    if (text.substr(no).starts_with("e1")) printed.push_back({0, true});
    if (text.substr(no).starts_with('x') && text.size() > no + 1u && std::isdigit(text[no + 1]))
      printed.push_back({static_cast<std::uint8_t>(text[no + 1] - '0'), !no});
  }
  std::size_t matched = 0;
  for (const Evaluation e : session.evaluated()) {
    if (matched < printed.size() && e.number == printed[matched].number &&
        e.value == printed[matched].value) {
      ++matched;
    } else {
      require(!e.value, "a condition that holds prints its line");
    }
  }
  require(matched == printed.size(), "a condition line printed is a condition evaluated");
}

// The session, stepped from the first step to the last, prints the straight
// run's trace and writes its todo.bat; a seek anywhere, in an order the input
// chooses, shows what stepping there showed, and so do the queries by range.
void check_session(std::string_view bytes, const std::string& printed, const std::string& todo,
                   const std::string& refusal, std::uint32_t seed) {
  const auto times = [seed](std::string_view name) { return invented_time(name, seed); };
  Session session(bytes, times, 1 + bytes.size() % 7);
  // Every delivered character's place in the file: a CR counts in the
  // offset, not in the column.
  std::uint64_t index = 0, line = 1, column = 1;
  for (std::size_t offset = 0; offset < bytes.size() && bytes[offset] != '\x1A'; ++offset) {
    if (bytes[offset] == '\r') continue;
    const Position at = session.position(index++);
    require(at.offset == offset && at.line == line && at.column == column,
            "a character's place in the file is known");
    bytes[offset] == '\n' ? (++line, column = 1) : ++column;
  }
  std::vector<std::string> views{seen(session)};
  std::vector<std::size_t> starts{0, 0};  // where each step's bytes begin in `stepped`
  std::string stepped;
  std::vector<Happened> happened(1);
  std::uint64_t todo_lines = 0;
  std::size_t size1 = 0;
  const std::uint64_t chars = session.chars();
  while (session.step()) {
    const std::uint64_t n = session.at();
    require(session.phase() == (n <= chars       ? Phase::kReading
                                : n == chars + 1 ? Phase::kReadEnd
                                : refusal.empty() ? Phase::kPlanning
                                                  : Phase::kRefused),
            "a step knows its phase");
    check_evaluated(session);
    stepped += session.printed();
    starts.push_back(stepped.size());
    views.push_back(seen(session));
    Happened& h = happened.emplace_back();
    const Phase phase = session.phase();
    if (phase == Phase::kReading || phase == Phase::kPlanning) {
      h.automaton = phase == Phase::kPlanning ? 1 : 0;
      h.state = session.state();
      h.evaluated = session.evaluated();
    }
    h.commands = session.todo_lines() - todo_lines;
    h.mark = session.action() == 7 || (h.automaton == 1 && session.action() == 5 && session.stack_size(2) > 0);
    if (session.stack_size(1) != size1 && session.stack_size(1) > 0) {
      h.active = session.stack_entry(1, session.stack_size(1) - 1).vertex;
    }
    todo_lines = session.todo_lines();
    size1 = session.stack_size(1);
    if (session.stack_size(2) > 0) {
      const StackEntry top = session.stack_entry(2, session.stack_size(2) - 1);
      require(top.marked == (top.marks > 0) && top.marked == (top.marked_at > 0) &&
                  top.marked_at <= n && (!top.marked || happened.at(top.marked_at).mark),
              "a mark on stack 2 names the step that set it");
    }
  }
  require(session.at() == session.total() && views.size() == session.total() + 1,
          "the session takes the steps it counts");
  require(stepped == printed, "the session prints the program's trace");
  require(session.refusal() == refusal, "the session refuses as the program does");
  std::string written;
  for (const TodoLine& line : session.todo(0, session.todo_lines())) {
    written += line.text + "\r\n";
    require(happened.at(line.step).commands > 0 && line.missing == (line.marks == 0) &&
                line.missing == (line.marked_at == 0) && (line.missing || happened.at(line.marked_at).mark),
            "a line of todo.bat names the step that wrote it and why");
  }
  require(written == todo, "the session writes the program's todo.bat");
  require(session.trace(0, session.total() + 9) == stepped, "a range past the end stops there");
  const auto lines = [&](std::uint64_t step) { return count(stepped.substr(0, starts[step]), "\n"); };
  for (std::size_t i = 0; i + 1 < bytes.size() && i < 32; i += 2) {
    const auto pick = [&](std::size_t at) {
      return (static_cast<unsigned char>(bytes[at]) * 131u + at) % (session.total() + 1);
    };
    const std::uint64_t a = std::min(pick(i), pick(i + 1)), b = std::max(pick(i), pick(i + 1));
    session.seek(b);
    require(seen(session) == views[b], "a seek shows what stepping there showed");
    require(session.trace(a, b) == stepped.substr(starts[a], starts[b + 1] - starts[a]),
            "a range of the trace is what those steps printed");
    require(session.lines_before(a) == lines(a), "lines before a step are counted");
    require(session.lines(lines(a), lines(b + 1) - lines(a)) == stepped.substr(starts[a], starts[b + 1] - starts[a]),
            "a window of lines is what the steps printed");
    if (lines(b + 1) > 0) {
      const std::uint64_t at = session.step_of_line(lines(b + 1) - 1);
      require(lines(at) < lines(b + 1) && lines(b + 1) <= lines(at + 1), "a line leads to its step");
    }
    require(seen(session) == views[b], "a query by range leaves the view as it was");
  }

  // Run until, on a session not walked yet, so that the first searches walk
  // ahead and the later ones skip by the summaries: every kind of event is
  // found where stepping through finds it, forward and back; and the
  // timeline's tallies are the steps' own.
  const std::uint64_t every = 1 + bytes.size() % 5;
  Session fresh(bytes, times, every);
  std::vector<Event> events{{Event::Kind::kCommand, 1, 0, false}, {Event::Kind::kMark, 1, 0, false}};
  for (int automaton = 0; automaton < 2; ++automaton) {
    for (std::uint32_t n = 0; n < 8; ++n) {
      events.push_back({Event::Kind::kState, automaton, n, false});
      events.push_back({Event::Kind::kCondition, automaton, n, true});
      events.push_back({Event::Kind::kCondition, automaton, n, false});
    }
  }
  for (std::uint32_t v = 0; v < 6 && v < session.whole_graph().size(); ++v) {
    events.push_back({Event::Kind::kActive, 1, v, false});
  }
  const std::uint64_t total = session.total();
  const std::uint64_t middle = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) * 7919u % (total + 1);
  for (const Event& e : events) {
    for (const std::uint64_t at : {total, middle, std::uint64_t{0}}) {
      std::optional<std::uint64_t> next, previous;
      for (std::uint64_t s = at + 1; s <= total && !next; ++s) {
        if (happens(e, happened[s])) next = s;
      }
      for (std::uint64_t s = at; s > 1 && !previous; --s) {
        if (happens(e, happened[s - 1])) previous = s - 1;
      }
      fresh.seek(at);
      require(fresh.find(e, true) == next && fresh.find(e, false) == previous,
              "run until stops where stepping through finds the event");
      require(seen(fresh) == views[at], "run until leaves the view as it was");
    }
  }
  for (const std::uint64_t width : {every * 2, 1 + bytes.size() % 3}) {
    const std::uint64_t start = session.chars() + 1;
    std::vector<Tally> expected(refusal.empty() ? (total - start + width - 1) / width : 0);
    for (std::uint64_t s = start + 1; s <= total && refusal.empty(); ++s) {
      expected[(s - start - 1) / width].commands += happened[s].commands;
      expected[(s - start - 1) / width].marks += happened[s].mark ? 1 : 0;
    }
    const std::vector<Tally> tallies = fresh.tally(width);
    require(std::equal(tallies.begin(), tallies.end(), expected.begin(), expected.end(),
                       [](const Tally& a, const Tally& b) { return a.commands == b.commands && a.marks == b.marks; }),
            "the timeline's tallies are what the steps did");
  }
}

// The reader's notices against the trace, step by step. Every byte whose step
// printed no condition line is told on its line by a record of dropped bytes
// (spaces and line ends aside, and the tabs and backslashes that may only
// lay a line out), and each such record starts at one; the records come in
// makefile order; and a reader that keeps ten keeps the first ten, told as
// they are told when all are kept, and the planned goal's record beside them.
void check_notices(std::string_view chars, std::string_view trace, const Notices& all,
                   const Notices& ten) {
  std::vector<bool> dropped(chars.size());
  std::vector<std::string> by_line(1);  // from line 1: the bytes told
  std::vector<std::uint64_t> line_of(chars.size() + 1), column_of(chars.size() + 1);
  std::uint64_t line = 1, column = 1;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char c = chars[i];
    const std::size_t state_line = trace.find(a0::kStateLine.view().substr(0, 30));
    dropped[i] = state_line == 0;
    trace.remove_prefix(trace.find('\n', state_line) + 1);
    line_of[i] = line;
    column_of[i] = column;
    if (by_line.size() <= line) by_line.resize(line + 1);
    if (dropped[i] && c != ' ' && c != '\n' && c != '\t' && c != '\\' &&
        by_line[line].find(c) == std::string::npos) {
      by_line[line] += c;
    }
    ++column;
    if (c == '\n') ++line, column = 1;
  }
  line_of[chars.size()] = line;
  column_of[chars.size()] = column;
  by_line.resize(line + 1);
  require(all.more() == 0 && !all.first_goal_record(), "a reader asked to keep all keeps all");
  const auto& records = all.records();
  std::vector<std::string> told(by_line.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Notices::Record& r = records[i];
    require(i == 0 || records[i - 1].offset < r.offset, "records come in makefile order");
    require(r.offset <= chars.size() && r.line == line_of[r.offset] && r.column == column_of[r.offset],
            "a record's line and column are those of its offset");
    if (r.kind > Notices::Kind::kContinuation) continue;
    require(r.offset < chars.size() && dropped[r.offset] && chars[r.offset] == r.bytes[0],
            "a record of dropped bytes starts at its first byte");
    for (const char c : r.bytes) {
      if (c != '\t' && c != '\\' && told[r.line].find(c) == std::string::npos) told[r.line] += c;
    }
  }
  for (std::size_t l = 1; l < by_line.size(); ++l) {
    std::string seen = told[l], expected = by_line[l];
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    require(seen == expected, "every dropped byte of a line is told on it");
  }
  const std::size_t kept = std::min(records.size(), Notices::kKept);
  require(ten.records().size() == kept && ten.more() == records.size() - kept,
          "ten are kept and the rest counted");
  for (std::size_t i = 0; i < kept; ++i) {
    require(ten.records()[i].offset == records[i].offset &&
                notice_text(ten.records()[i]) == notice_text(records[i]),
            "the ten kept are the first ten, told the same");
  }
  const auto planned = std::find_if(records.begin(), records.end(),
                                    [](const Notices::Record& r) { return r.planned; });
  const bool beyond =
      planned != records.end() && static_cast<std::size_t>(planned - records.begin()) >= kept;
  require(beyond == ten.first_goal_record().has_value() &&
                  (!beyond || notice_text(*ten.first_goal_record()) == notice_text(*planned)),
          "the planned goal's record is kept beside the ten");
}

void check_pipeline(std::string_view bytes) {
  // Text mode: every CR dropped, nothing from the first 0x1A on.
  std::string model;
  for (const char c : bytes.substr(0, bytes.find('\x1A'))) {
    if (c != '\r') model += c;
  }
  std::string raw(bytes);
  bool ended = false;
  const std::string_view delivered = deliver_text(raw.data(), raw.size(), &ended);
  require(delivered == model, "text mode delivers its rule's characters");
  StringSink trace_sink;
  Output trace(trace_sink, kTraceCapacity);
  const auto parser = std::make_unique<Parser>(trace);
  parser->run(delivered);
  trace.flush();
  const std::string_view a0_state = a0::kStateLine.view().substr(0, 30);  // up to the state's name
  require(count(trace_sink.data, a0_state) == model.size(), "one A0 state line per character");
  require(trace_sink.data.ends_with(a0::kClosing.view()), "A0's trace ends with its closing line");
  {
    StringSink sink;
    Output out(sink, kTraceCapacity);
    Parser keeps_all(out, model.size() + 1);
    keeps_all.run(delivered);
    check_notices(model, trace_sink.data, keeps_all.notices(), parser->notices());
  }

  DependencyGraph& a1 = parser->a1;
  std::string err;
  const bool plannable = a1.view().plannable(&err);
  require(plannable == err.empty(), "a refusal always gives its reason");
  require(plannable || err.starts_with("makefile has no rule") || err.starts_with("first goal '") ||
              err.starts_with("dependency cycle: "),
          "a refusal is one of the three");
  const std::string read_trace = trace_sink.data;
  const std::uint32_t seed = bytes.empty() ? 0 : static_cast<unsigned char>(bytes.back());
  if (!plannable) return check_session(bytes, read_trace, "", error_line(err), seed);
  const std::uint64_t steps = a1.view().step_count();
  if (steps > kMaxSteps) return;

  a1.set_modification_time([&](VertexIndex, const char* name) { return invented_time(name, seed); });
  trace_sink.data.clear();
  StringSink todo_sink;
  Output todo(todo_sink, kTodoCapacity);
  test::start_walk(a1, todo);
  trace.flush();
  todo.flush();
  require(a1.state == DependencyGraph::STOP, "the walk ends in STOP");
  require(a1.stack1.empty() && a1.stack2.empty(), "the walk ends with both stacks empty");
  const std::string_view a1_state = a1::kStateMain.view().substr(0, 30);
  require(count(trace_sink.data, a1_state) == steps, "the walk takes the steps counted before it");
  require(trace_sink.data.ends_with(a1::kClosing.view()), "A1's trace ends with its closing line");
  require(todo_sink.data == expected_todo(a1.view(), seed), "todo.bat is the depth-first walk's");
  if (steps <= kMaxSessionSteps) check_session(bytes, read_trace + trace_sink.data, todo_sink.data, "", seed);
}

}  // namespace
}  // namespace planner

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Longer inputs only repeat what shorter ones reach, and slow every run.
  if (size > (std::size_t{1} << 16)) return -1;
  planner::check_pipeline(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

#ifndef PLANNER_LIBFUZZER
int main(int argc, char** argv) {
#if defined(__unix__) && !defined(PLANNER_SANITIZED)
  // A broken build that loops while it allocates stops here, not in the
  // machine's memory: no input of the corpus needs a gigabyte.
  const rlimit memory{rlim_t{1} << 30, rlim_t{1} << 30};
  setrlimit(RLIMIT_AS, &memory);
#endif
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %d inputs\n", argc - 1);
  return argc > 1 ? 0 : 1;  // a corpus gone missing must not pass as a clean one
}
#endif
