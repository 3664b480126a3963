#include "driver/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/progress.h"
#include "driver/warnings.h"
#include "platform/cp866.h"
#include "platform/error_line.h"
#include "platform/files.h"
#include "platform/os.h"
#include "platform/output.h"
#include "platform/plan_file.h"
#include "platform/text_input.h"
#include "reader/parser.h"

namespace planner {

namespace {

constexpr char kTodoFile[] = "todo.bat";
constexpr std::size_t kReadBlock = std::size_t{1} << 16;
// Characters read between two looks at standard output. No A0 step prints
// more than 96 bytes, so a failed write stops the reading within one output
// buffer.
constexpr std::size_t kFeedSlice = 2048;

constexpr Cp866 kUsageHead{"usage:\n\t"};
constexpr Cp866 kUsageTail{" <makefile>\n"};
// PLANNER_VERSION is the CMake project's version.
constexpr Cp866 kVersion{"planner " PLANNER_VERSION "\n"};

void put_usage(Output& trace, const char* argv0) {
  trace.put(kUsageHead);
  trace.put_text(os::executable_path(argv0));
  trace.put(kUsageTail);
}

// The options a person tries first. They are answered only when no file has
// that name, so a makefile named "--help" is still read.
bool answer_option(std::string_view arg, const char* argv0, Output& trace) {
  if (arg == "--help" || arg == "-h") {
    put_usage(trace, argv0);
  } else if (arg == "--version") {
    trace.put(kVersion);
  } else {
    return false;
  }
  return true;
}

// The one place that reports errors; always exits with 1.
int fail(const std::string& message) {
  os::write_stream(stderr, error_line(message));
  return 1;
}

// And warnings, which change nothing else.
void warn(const std::vector<Warning>& warnings) {
  for (const Warning& warning : warnings) os::write_stream(stderr, warning_line(warning.text));
}

constexpr char kStdoutFailed[] = "cannot write standard output: ";
int fail_stdout(const std::string& err) { return fail(kStdoutFailed + err); }

// Reads the makefile through A0. A read error part-way still prints the trace
// read so far and the closing line. A failed write to standard output stops
// the reading at once, with `err` left empty. Sets *cut_short when a 0x1A
// byte ended the input before the file ended.
bool read_makefile(InputFile& file, Parser& parser, const Output& trace, bool* cut_short,
                   std::string* err) {
  const auto block = std::make_unique<char[]>(kReadBlock);
  bool ended = false;
  while (!ended) {
    const std::size_t n = file.read(block.get(), kReadBlock, err);
    if (n == 0) break;
    const auto* sub = static_cast<const char*>(std::memchr(block.get(), 0x1A, n));
    char next = 0;
    *cut_short = sub != nullptr && (sub + 1 < block.get() + n || file.read(&next, 1, err) == 1);
    const std::string_view chars = deliver_text(block.get(), n, &ended);
    for (std::size_t at = 0; at < chars.size(); at += kFeedSlice) {
      if (!trace.ok()) return false;
      parser.feed(chars.substr(at, kFeedSlice));
    }
  }
  parser.finish();
  return err->empty();
}

// The planning phase: the plan file is created only now, after the makefile
// was read and closed, and only for a graph that the walk can take. It
// replaces "todo.bat" only when the whole run succeeds, and nothing after that
// can fail. Returns the error, or nothing when the plan is in place.
std::string plan(DependencyGraph& a1, const Notices& notices, Output& trace, Warnings& warnings) {
  std::string err = refusal(a1.view(), notices);
  if (!err.empty()) return err;
  PlanFile todo_file;
  if (!todo_file.create(kTodoFile, &err)) return std::string("cannot create '") + kTodoFile + "': " + err;
  Output todo(todo_file);
  a1.out = &todo;
  // The walk sees the plan being written under its name, as it was in place.
  // Its own queries tell which dependencies are neither goals nor files.
  const Graph& graph = a1.view();
  std::vector<bool> asked(graph.size());
  std::vector<VertexIndex> missing;
  a1.set_modification_time([&](VertexIndex vertex, const char* name) {
    const std::int64_t time = todo_file.modification_time(name);
    if (time == 0 && !asked[vertex]) {
      asked[vertex] = true;
      if (!graph.is_goal(vertex)) missing.push_back(vertex);
    }
    return time;
  });
  a1.e1 = true;
  std::optional<Progress> progress;
  if (os::stderr_is_terminal()) {
    progress.emplace(a1.view().step_count());
    a1.on_progress = [&progress](std::uint64_t steps, std::uint64_t commands) {
      progress->update(steps, commands);
    };
  }
  a1.run();  // stops early once either output has failed
  progress.reset();  // clears the line before any message
  trace.flush();  // the trace goes out before any message about the run
  warn(warnings.walk(graph, missing));
  if (!todo.flush()) return std::string("cannot write '") + kTodoFile + "': " + todo.error();
  if (!trace.ok()) return kStdoutFailed + trace.error();
  if (!todo_file.commit(&err)) return std::string("cannot write '") + kTodoFile + "': " + err;
  return {};
}

// Standard output or error going into the makefile would overwrite it, and
// into the plan would be lost when the plan replaces it: refused before
// anything is read or written, silently when standard error is the file.
// Returns 0 when neither stream is.
int refuse_own_files(const InputFile& file, const std::string& name) {
  for (std::FILE* stream : {stderr, stdout}) {
    const bool makefile = file.is_stream(stream);
    if (!makefile && !os::stream_is_named(stream, kTodoFile)) continue;
    if (stream == stderr) return 1;
    return fail(makefile ? "standard output is the makefile '" + name +
                               "': the trace would overwrite it"
                         : std::string("standard output is the plan file ") + kTodoFile +
                               ": the plan would replace the trace");
  }
  return 0;
}

int plan_makefile(const char* makefile, const char* argv0, Output& trace) {
  const std::string name = makefile;
  std::string err;
  InputFile file;
  if (!file.open(makefile, &err)) {
    if (err == std::strerror(ENOENT) && answer_option(name, argv0, trace)) return 0;
    return fail("cannot read makefile '" + name + "': " + err);
  }
  if (file.is(kTodoFile)) {
    return fail("makefile '" + name + "' is the plan file " + kTodoFile +
                " itself: planning would overwrite it");
  }
  if (const int status = refuse_own_files(file, name)) return status;
  const auto parser = std::make_unique<Parser>(trace);
  bool cut_short = false;
  const bool read = read_makefile(file, *parser, trace, &cut_short, &err);
  file.close();
  // The trace so far goes out before any message about it; when it was lost,
  // planning on would only hide that.
  if (!trace.flush()) return fail_stdout(trace.error());
  Warnings warnings(name);
  warn(warnings.reading(parser->notices(), cut_short));
  const std::string error = read ? plan(parser->a1, parser->notices(), trace, warnings)
                                 : "cannot read makefile '" + name + "': " + err;
  // How many more were due; a failed run still ends with its error line.
  if (warnings.more() != 0) os::write_stream(stderr, warning_line(warnings.more_text()));
  return error.empty() ? 0 : fail(error);
}

}  // namespace

int run_program(int argc, char** argv) {
  os::keep_standard_streams();
  os::use_binary_stdio();
  os::handle_signals();
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // Output gathers the blocks itself
  FileSink stdout_sink(stdout);
  Output trace(stdout_sink);
  const char* argv0 = argc > 0 ? argv[0] : "planner";
  int status = 0;
  if (argc == 2) {
    status = plan_makefile(argv[1], argv0, trace);
  } else {
    put_usage(trace, argv0);
  }
  // A lost byte of the trace is an error of its own, unless one was reported.
  std::string err;
  if (!trace.flush()) err = trace.error();
  if ((!err.empty() || !stdout_sink.flush(&err)) && status == 0) status = fail_stdout(err);
  return status;
}

}  // namespace planner
