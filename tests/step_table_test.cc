// The reader takes its steps from a table built in advance; these tests hold
// it to the plain path, which evaluates one condition after the other.
#include <gtest/gtest.h>

#include <string>

#include "reader/parser.h"
#include "test_util.h"

namespace planner {
namespace {

// One parser and what it printed, fed through either path.
struct Reader {
  explicit Reader(std::size_t capacity = Output::kDefaultCapacity) : trace(sink, capacity) {}
  StringSink sink;
  Output trace;
  Parser parser{trace};

  // Everything observable after the feed: trace, state, buffers, graph.
  std::string seen() {
    trace.flush();
    return sink.data + "|" + std::to_string(parser.state) + "|" +
           std::string(parser.buffers.copy_goal()) + "|" + std::string(parser.buffers.copy_item()) +
           "|" + test::describe(parser.a1);
  }
};

// Every state, every byte value, from the same start: a registered goal and
// half-collected tokens, so that every action has something to work on. The
// states past A0's own take the plain path in both.
TEST(StepTable, EveryStateAndByteMatchesThePlainPath) {
  for (std::int32_t state = 0; state < 9; ++state) {
    for (int b = 0; b < 256; ++b) {
      Reader table;
      Reader plain;
      for (Reader* run : {&table, &plain}) {
        run->parser.run("go:\n");  // registers "go", leaves A0 in COLON
        run->parser.buffers.append_item('i');
        run->parser.state = state;
      }
      const std::string byte(1, static_cast<char>(b));
      table.parser.feed(byte);
      plain.parser.feed_plain(byte);
      ASSERT_EQ(table.seen(), plain.seen()) << "state " << state << ", byte " << b;
    }
  }
}

// A long input with every kind of rule, through output buffers smaller and
// not much larger than the span a table step copies, in pieces of odd sizes:
// bytes must neither be lost nor doubled where a step meets a full buffer.
TEST(StepTable, LongInputThroughSmallBuffersMatchesThePlainPath) {
  std::string input;
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    input += "g" + n + " : a" + n + "  b_" + n + " c:" + n + "\n\tcc -c a" + n + " > log\t\n";
    input += (i % 7 == 0) ? "# note " + n + "\n  \n" : "\n";
    input += static_cast<char>(0x80 + i % 128);
  }
  Reader plain;
  plain.parser.feed_plain(input);
  plain.parser.finish();
  const std::string expected = plain.seen();
  for (const std::size_t capacity : {1, 60, 127, 128, 129, 300, 4096}) {
    Reader table(capacity);
    for (std::size_t at = 0; at < input.size(); at += 97) table.parser.feed(input.substr(at, 97));
    table.parser.finish();
    EXPECT_EQ(table.seen(), expected) << "capacity " << capacity;
  }
}

}  // namespace
}  // namespace planner
