// The stepping session against the straight run: every step's state, the
// conditions it evaluated and the action it took, as the session reports
// them, against what the straight run printed for that step and what the
// stacks did, read here without the automata's own tables; then seeks in
// random orders, queries by range, prepare() in slices, run until and the
// timeline against a step-through.
#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "planner/a1_messages.h"
#include "reader/a0_messages.h"
#include "session/session.h"

namespace planner {
namespace {

// What a viewer sees after a step, in one string.
std::string seen(Session& session) {
  std::string view = session.printed() + '|' + std::to_string(session.from_state()) + '>' +
                     std::to_string(session.state()) + 'z' + std::to_string(session.action()) +
                     ' ' + std::to_string(session.trace_lines()) + ' ' +
                     std::to_string(session.todo_lines()) + ' ' +
                     std::to_string(session.graph().size()) + '|' +
                     std::string(session.goal_text()) + '|' + std::string(session.item_text());
  for (const Evaluation e : session.evaluated()) view += {'x', char('0' + e.condition), char(e.value)};
  for (int which = 1; which <= 2; ++which) {
    view += '|' + std::to_string(session.top_before(which)) + ':';
    for (std::size_t i = 0; i < session.stack_size(which); ++i) {
      const StackEntry e = session.stack_entry(which, i);
      view += std::to_string(e.vertex) + ',' + std::to_string(e.walked) + ',' +
              std::to_string(e.marked) + ',' + std::to_string(e.marked_at) + ',' +
              std::to_string(e.marks) + ',' + std::to_string(e.marked_by) + ';';
    }
  }
  return view;
}

// What a step did, read off the straight run.
struct Happened {
  int automaton = -1;  // 0 or 1; -1 for the start, A0's closing line and a refusal
  std::int32_t state = 0;
  std::vector<Evaluation> evaluated;
  int action = 0;
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
                         [&e](Evaluation v) { return v.condition == e.number && v.value == e.value; });
    case Event::Kind::kCommand: return h.commands > 0;
    case Event::Kind::kMark: return h.mark;
    case Event::Kind::kActive: return h.active == std::int64_t(e.number);
  }
  return false;
}

// The automata as their description has them: the states by number, A0's
// conditions in the order each state evaluates them, and A0's action by
// state and by the condition that held (0: none).
constexpr std::array<std::string_view, 7> kA0States{"LINE",  "GOAL",      "COLON",  "DEPENDENCY",
                                                    "SPACE", "DETERMINE", "COMMAND"};
constexpr std::array<std::string_view, 6> kA1States{"START", "MAIN", "LEAF", "NOT_LEAF", "TOPS", "STOP"};
constexpr std::array<std::array<int, 4>, 7> kA0Order{
    {{1, 3}, {1, 2, 3}, {1, 3}, {1, 3, 4}, {1, 3}, {1, 5, 4}, {1, 2, 3, 4}}};
constexpr std::array<std::array<int, 6>, 7> kA0Action{{{0, 1},
                                                        {0, 1, 3},
                                                        {0, 2},
                                                        {0, 2, 0, 4, 4},
                                                        {0, 2},
                                                        {0, 6},
                                                        {0, 2, 2, 2, 5}}};

// The state a state line names; -1 when the line is none.
std::int32_t state_named(std::string_view line, std::string_view prefix,
                         std::span<const std::string_view> names) {
  if (!line.starts_with(prefix)) return -1;
  const auto at = std::find(names.begin(), names.end(), line.substr(prefix.size()));
  require(at != names.end(), "a state line names a state");
  return static_cast<std::int32_t>(at - names.begin());
}

// The straight run's trace split into its steps, each ending with its state
// line (A0's closing line a step of its own, A1's in its last step), and
// each step read: its automaton, state and conditions.
std::vector<std::string> steps_of(std::string_view trace) {
  const std::string_view a0 = a0::kStateLine.view().substr(0, a0::kStateLine.view().size() - 6);
  const std::string_view a1 = a1::kStateStart.view().substr(0, a1::kStateStart.view().size() - 7);
  std::vector<std::string> steps{""};
  std::string chunk;
  for (std::size_t end; (end = trace.find('\n')) != std::string_view::npos; trace.remove_prefix(end + 1)) {
    const std::string_view line = trace.substr(0, end + 1);
    chunk += line;
    if (line.starts_with(a0) || line.starts_with(a1) || line == a0::kClosing.view()) {
      steps.push_back(std::move(chunk));
      chunk.clear();
    } else if (line == a1::kClosing.view()) {
      steps.back() += chunk;
      chunk.clear();
    }
  }
  return steps;
}

void read_step(const std::string& printed, std::int32_t from, Happened* h) {
  const std::string_view a0 = a0::kStateLine.view().substr(0, a0::kStateLine.view().size() - 6);
  const std::string_view a1 = a1::kStateStart.view().substr(0, a1::kStateStart.view().size() - 7);
  int held = 0;
  std::string_view text = printed;
  for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos; text.remove_prefix(end + 2)) {
    const std::string_view line = text.substr(0, end);
    const bool no = line.starts_with('!');
    const std::string_view name = line.substr(no);
    if (const std::int32_t s = state_named(line, a0, kA0States); s >= 0) h->automaton = 0, h->state = s;
    if (const std::int32_t s = state_named(line, a1, kA1States); s >= 0) h->automaton = 1, h->state = s;
    if (name.starts_with("e1:")) h->evaluated.push_back({0, true});
    if (name.size() > 2 && name[0] == 'x' && std::isdigit(static_cast<unsigned char>(name[1]))) {
      // A1's lines are "xN :" and "!xN:"; A0's "xN:", printed only when it holds.
      const auto n = static_cast<std::uint8_t>(name[1] - '0');
      if (no || name[2] == ' ') {
        h->evaluated.push_back({n, !no});
      } else {
        held = n;
      }
    }
  }
  if (h->automaton != 0) return;
  // A0's conditions in their order, COMMAND's first three only until one holds.
  for (const int n : kA0Order[static_cast<std::size_t>(from)]) {
    if (n == 0) break;
    h->evaluated.push_back({static_cast<std::uint8_t>(n), n == held});
    if (from == 6 && n < 3 && n == held) {
      h->evaluated.push_back({4, false});
      break;
    }
  }
  h->action = kA0Action[static_cast<std::size_t>(from)][static_cast<std::size_t>(held)];
}

// A1's action from what the stacks and todo.bat did: pushes and pops, marks
// and lines written; at the first goal, whose z5 marks nothing, from x4 or x7.
int walk_action(const Happened& h, std::int32_t from, const std::vector<StackEntry>& before2,
                std::size_t size1, std::size_t size1_after, const std::vector<StackEntry>& after2) {
  const auto marks = [](const std::vector<StackEntry>& s, std::size_t i) { return i < s.size() ? s[i].marks : 0; };
  const bool marked = !after2.empty() && after2.back().marks > marks(before2, after2.size() - 1);
  if (size1_after == size1 + 1) return from == 0 ? 1 : 3;
  if (after2.size() == before2.size() + 1) return 2;
  if (size1_after + 1 == size1 && after2.size() + 1 == before2.size()) {
    const bool rebuilt = std::any_of(h.evaluated.begin(), h.evaluated.end(), [](Evaluation e) {
      return (e.condition == 4 || e.condition == 7) && e.value;
    });
    return h.commands > 0 || marked || rebuilt ? 5 : 4;
  }
  if (size1_after + 1 == size1) return marked ? 7 : 6;
  return 0;
}

std::vector<StackEntry> stack(const Session& s, int which) {
  std::vector<StackEntry> entries;
  for (std::size_t i = 0; i < s.stack_size(which); ++i) entries.push_back(s.stack_entry(which, i));
  return entries;
}

}  // namespace

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
  const std::vector<std::string> straight = steps_of(printed);
  std::vector<std::string> views{seen(session)};
  std::vector<std::size_t> starts{0, 0};  // where each step's bytes begin in `printed`
  std::vector<Happened> happened(1);
  std::int32_t from0 = 0, from1 = 0;  // each automaton's state before the step
  const std::uint64_t chars = session.chars();
  while (true) {
    const std::uint64_t todo_before = session.todo_lines();
    const std::size_t size1 = session.stack_size(1);
    const std::vector<StackEntry> before2 = stack(session, 2);
    const VertexIndex top1 = size1 > 0 ? session.stack_entry(1, size1 - 1).vertex : kNoVertex;
    if (!session.step()) break;
    const std::uint64_t n = session.at();
    require(session.phase() == (n <= chars       ? Phase::kReading
                                : n == chars + 1 ? Phase::kReadEnd
                                : refusal.empty() ? Phase::kPlanning
                                                  : Phase::kRefused),
            "a step knows its phase");
    const std::string step_printed = n < straight.size() ? straight[n] : "";
    require(session.printed() == step_printed, "a step prints what the straight run printed for it");
    starts.push_back(starts.back() + step_printed.size());
    Happened& h = happened.emplace_back();
    const std::int32_t from = n <= chars ? from0 : from1;
    read_step(step_printed, from, &h);
    h.commands = session.todo_lines() - todo_before;
    const std::vector<StackEntry> after2 = stack(session, 2);
    if (h.automaton == 1) h.action = walk_action(h, from, before2, size1, session.stack_size(1), after2);
    h.mark = !after2.empty() && after2.back().marks > (after2.size() <= before2.size() ? before2[after2.size() - 1].marks : 0);
    if (h.automaton >= 0) {
      require(session.from_state() == from && session.state() == h.state,
              "a step's states are those the straight run printed");
      require(std::equal(h.evaluated.begin(), h.evaluated.end(), session.evaluated().begin(),
                         session.evaluated().end()),
              "a step evaluated the conditions the straight run printed, in their order");
      require(session.action() == h.action, "a step took the action its stacks and buffers show");
      require(h.automaton == 0 || (session.top_before(1) == top1 &&
                                   session.top_before(2) == (before2.empty() ? kNoVertex : before2.back().vertex)),
              "a walk step names the tops it began with");
      (h.automaton == 0 ? from0 : from1) = h.state;
    }
    if (session.stack_size(1) != size1 && session.stack_size(1) > 0) {
      h.active = session.stack_entry(1, session.stack_size(1) - 1).vertex;
    }
    views.push_back(seen(session));
    if (!after2.empty()) {
      const StackEntry top = after2.back();
      require(top.marked == (top.marks > 0) && top.marked == (top.marked_at > 0) &&
                  top.marked_at <= n && (!top.marked || happened.at(top.marked_at).mark),
              "a mark on stack 2 names the step that set it");
    }
  }
  require(session.at() == session.total() && views.size() == session.total() + 1,
          "the session takes the steps it counts");
  require(starts.back() == printed.size(), "the session prints the program's trace");
  require(session.refusal() == refusal, "the session refuses as the program does");
  const std::string dropped = session.dropped(bytes.size());
  for (std::uint64_t n = 1; n <= chars; ++n) {
    const std::vector<Evaluation>& e = happened[n].evaluated;
    require((dropped[session.position(n - 1).offset] == 1) ==
                std::none_of(e.begin(), e.end(), [](Evaluation v) { return v.value; }),
            "the bytes dropped are those of the steps where no condition held");
  }
  std::string written;
  const std::vector<TodoLine> all = session.todo(0, session.todo_lines());
  for (const TodoLine& l : all) {
    written += l.text + "\r\n";
    require(happened.at(l.step).commands > 0 && l.missing == (l.marks == 0) &&
                l.missing == (l.marked_at == 0) && (l.missing || happened.at(l.marked_at).mark),
            "a line of todo.bat names the step that wrote it and why");
  }
  require(written == todo, "the session writes the program's todo.bat");
  require(session.trace(0, session.total() + 9) == printed, "a range past the end stops there");

  // Seeks and queries in an order of their own.
  const auto lines = [&](std::uint64_t step) { return count(std::string_view(printed).substr(0, starts[step]), "\n"); };
  std::uint64_t random = seed * 2654435761u + bytes.size();
  const auto pick = [&random, &session] {
    random = random * 6364136223846793005u + 1442695040888963407u;
    return (random >> 33) % (session.total() + 1);
  };
  for (int i = 0; i < 24; ++i) {
    const std::uint64_t a = pick(), b = std::max(a, pick());
    session.seek(b);
    require(seen(session) == views[b], "a seek shows what stepping there showed");
    const std::string_view range = std::string_view(printed).substr(starts[a], starts[b + 1] - starts[a]);
    // Every query leaves the view as it was, whatever the query after it does.
    const auto still = [&] { return seen(session) == views[b]; };
    require(session.trace(a, b) == range && still(), "a range of the trace is what those steps printed");
    require(session.lines_before(a) == lines(a) && still(), "lines before a step are counted");
    require(session.lines(lines(a), lines(b + 1) - lines(a)) == range && still(),
            "a window of lines is what the steps printed");
    const std::string_view rest = std::string_view(printed).substr(starts[a]);
    require(session.lines(lines(a), 1) == rest.substr(0, rest.find('\n') + 1) && still(),
            "a window of one line is that line");
    if (lines(b + 1) > 0) {
      const std::uint64_t at = session.step_of_line(lines(b + 1) - 1);
      require(lines(at) < lines(b + 1) && lines(b + 1) <= lines(at + 1) && still(), "a line leads to its step");
    }
    const std::vector<TodoLine> so_far = session.todo(0, session.todo_lines() + 9);
    require(so_far.size() == session.todo_lines() && std::equal(so_far.begin(), so_far.end(), all.begin(),
                [](const TodoLine& x, const TodoLine& y) { return x.text == y.text && x.step == y.step; }) &&
                still(),
            "todo.bat so far is the lines written up to the step");
  }
  require(session.lines(0, count(printed, "\n") + 9) == printed &&
              session.step_of_line(count(printed, "\n")) == session.total(),
          "a window past the end stops there, and a line past it leads to the last step");

  // Run until, on a session not walked yet, whose searches walk ahead, and
  // on one prepared in slices, whose searches skip by the summaries.
  // Every kind of event is found where stepping through finds it, forward
  // and back, for vertices past what one word and the filter's width tell
  // apart too; and the timeline's tallies are the steps' own.
  const std::uint64_t every = 1 + bytes.size() % 5;
  std::vector<Event> events{{Event::Kind::kCommand, 1, 0, false}, {Event::Kind::kMark, 1, 0, false}};
  for (int automaton = 0; automaton < 2; ++automaton) {
    for (std::uint32_t n = 0; n < 8; ++n) {
      events.push_back({Event::Kind::kState, automaton, n, false});
      events.push_back({Event::Kind::kCondition, automaton, n, true});
      events.push_back({Event::Kind::kCondition, automaton, n, false});
    }
  }
  const auto vertices = static_cast<std::uint32_t>(session.whole_graph().size());
  for (const std::uint32_t v : {0u, 1u, 2u, 3u, 4u, 5u, 64u, 65u, 256u, 257u, 320u, vertices - 1}) {
    if (v < vertices) events.push_back({Event::Kind::kActive, 1, v, false});
  }
  const std::uint64_t total = session.total();
  const auto search = [&](Session& on, const Event& e, std::uint64_t at) {
    std::optional<std::uint64_t> next, previous;
    for (std::uint64_t s = at + 1; s <= total && !next; ++s) {
      if (happens(e, happened[s])) next = s;
    }
    for (std::uint64_t s = at; s > 1 && !previous; --s) {
      if (happens(e, happened[s - 1])) previous = s - 1;
    }
    on.seek(at);
    require(on.find(e, true) == next && on.find(e, false) == previous,
            "run until stops where stepping through finds the event");
    require(seen(on) == views[at], "run until leaves the view as it was");
  };
  Session ahead(bytes, times, every);
  for (const Event& e : events) search(ahead, e, 0);
  Session fresh(bytes, times, every);
  fresh.seek(pick());
  const std::uint64_t here = fresh.at();
  while (!fresh.prepare(1 + seed % 9)) require(fresh.at() == here, "prepare() leaves the view as it was");
  require(fresh.all_lines() == count(printed, "\n"), "a prepared run knows its trace's lines");
  for (const Event& e : events) {
    for (const std::uint64_t at : {total, pick(), std::uint64_t{0}}) search(fresh, e, at);
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

}  // namespace planner
