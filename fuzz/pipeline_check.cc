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
#include "driver/warnings.h"
#include "planner/a1_messages.h"
#include "platform/error_line.h"
#include "platform/text_input.h"
#include "reader/a0_messages.h"
#include "reader/parser.h"
#include "session/session.h"
#include "check.h"
#include "start_walk.h"

namespace planner {
namespace {

// Walks longer than this are not taken: a ladder of diamonds walks
// exponentially many paths by design, and a fuzzer stuck in one learns
// nothing.
constexpr std::uint64_t kMaxSteps = 100'000;

// Odd, small capacities, so that messages straddle the blocks of output.
constexpr std::size_t kTraceCapacity = 61;
constexpr std::size_t kTodoCapacity = 37;

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

// Walks the session takes through, step by step and by seeks; the longest
// are left to the straight run.
constexpr std::uint64_t kMaxSessionSteps = 5'000;

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
  if (!plannable) {
    return check_session(bytes, read_trace, "", error_line(refusal(a1.view(), parser->notices())), seed);
  }
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
