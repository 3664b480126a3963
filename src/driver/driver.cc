#include "driver/driver.h"

#include <cstdio>
#include <memory>
#include <string>

#include "platform/cp866.h"
#include "platform/files.h"
#include "platform/os.h"
#include "platform/output.h"
#include "platform/text_input.h"
#include "reader/parser.h"

namespace planner {

namespace {

constexpr char kTodoFile[] = "todo.bat";
constexpr std::size_t kReadBlock = std::size_t{1} << 16;

constexpr Cp866 kUsageHead{"usage:\n\t"};
constexpr Cp866 kUsageTail{" <makefile>\n"};

// The one place that reports errors; always exits with 1.
int fail(const std::string& message) {
  std::fputs(("planner: error: " + message + "\n").c_str(), stderr);
  return 1;
}

// Sends the rest of the trace; false with the reason when any of it was lost.
bool flush_stdout(Output& trace, FileSink& sink, std::string* err) {
  if (!trace.flush()) {
    *err = trace.error();
    return false;
  }
  return sink.close(err);
}

int fail_stdout(const std::string& err) { return fail("cannot write standard output: " + err); }

// Reads the makefile through A0. On a read error part-way, the trace read so
// far and the closing line are still printed, then the error is returned.
bool read_makefile(const char* path, Parser& parser, std::string* err) {
  InputFile file;
  if (!file.open(path, err)) return false;
  const auto block = std::make_unique<char[]>(kReadBlock);
  bool ended = false;
  while (!ended) {
    const std::size_t n = file.read(block.get(), kReadBlock, err);
    if (n == 0) break;
    parser.feed(deliver_text(block.get(), n, &ended));
  }
  parser.finish();
  return err->empty();
}

// The planning phase: "todo.bat" is opened only now, after the makefile was
// read and closed, and only for a graph that the walk can take.
int plan(DependencyGraph& a1, Output& trace) {
  std::string err;
  if (!a1.plannable(&err)) return fail(err);
  FileSink todo_sink;
  if (!todo_sink.create(kTodoFile, &err)) {
    return fail(std::string("cannot create '") + kTodoFile + "': " + err);
  }
  Output todo(todo_sink);
  a1.out = &todo;
  a1.e1 = true;
  a1.run();
  trace.flush();  // the trace goes out before any message about the run
  if (!todo.flush() || !todo_sink.close(&err)) {
    return fail(std::string("cannot write '") + kTodoFile +
                "': " + (todo.ok() ? err : todo.error()));
  }
  return 0;
}

}  // namespace

int run_program(int argc, char** argv) {
  os::use_binary_stdio();
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // Output gathers the blocks itself
  FileSink stdout_sink(stdout);
  Output trace(stdout_sink);
  int status = 0;

  if (argc != 2) {
    trace.put(kUsageHead);
    trace.put_text(os::executable_path(argc > 0 ? argv[0] : "planner"));
    trace.put(kUsageTail);
  } else {
    const std::string makefile = argv[1];
    const auto parser = std::make_unique<Parser>(trace);
    std::string err;
    const bool read = read_makefile(makefile.c_str(), *parser, &err);
    // The trace so far goes out before any message about it; when it was
    // lost, planning on would only hide that.
    const bool printed = trace.flush();
    if (!read) {
      status = fail("cannot read makefile '" + makefile + "': " + err);
    } else if (printed) {
      status = plan(parser->a1, trace);
    }
  }
  // Whatever happened, the trace goes out whole, and a lost byte of it is an
  // error of its own.
  std::string err;
  if (!flush_stdout(trace, stdout_sink, &err) && status == 0) status = fail_stdout(err);
  return status;
}

}  // namespace planner
