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

// The reader notices, by line, the bytes whose step printed no condition line
// (spaces and line ends aside): read off the trace, step by step.
void check_notices(std::string_view chars, std::string_view trace, const Notices& notices) {
  std::vector<Notices::Line> lines;
  std::uint64_t more = 0, line = 1, column = 1, last = 0;  // last: the line of the last drop
  for (const char c : chars) {
    const std::size_t state_line = trace.find(a0::kStateLine.view().substr(0, 30));
    const bool held = state_line != 0;
    trace.remove_prefix(trace.find('\n', state_line) + 1);
    if (!held && c != ' ' && c != '\n') {
      if (last != line && lines.size() == Notices::kKept) ++more;
      if (last != line && lines.size() < Notices::kKept) lines.push_back({line, column, "", false, ""});
      last = line;
      if (lines.back().line == line && lines.back().bytes.find(c) == std::string::npos) {
        lines.back().bytes += c;
      }
    }
    ++column;
    if (c == '\n') ++line, column = 1;
  }
  require(notices.lines().size() == lines.size() && notices.more() == more,
          "every line with dropped bytes is noticed");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Notices::Line& seen = notices.lines()[i];
    require(seen.line == lines[i].line && seen.column == lines[i].column &&
                seen.bytes == lines[i].bytes,
            "a notice names the first dropped byte's place and every byte once");
  }
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
  check_notices(model, trace_sink.data, parser->notices());

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
