// Every state of the reader against every byte value, held to the grammar's
// table by character class, written out here independently of the reader.
#include <gtest/gtest.h>

#include <string>

#include "reader/a0_messages.h"
#include "reader/parser.h"
#include "test_util.h"

namespace planner {
namespace {

// One row per state, one cell per class: name character, colon, space, line
// end, tab, any other byte. A cell is the next state ('.': stays), the action
// ('-': none) and '*' when the class's condition line is printed.
constexpr const char* kCells[7][6] = {
    {"1z1*", ".-", ".-*", ".-", ".-", ".-"},       // LINE
    {".z1*", "2z3*", ".-*", ".-", ".-", ".-"},     // GOAL
    {"3z2*", ".-", ".-*", ".-", ".-", ".-"},       // COLON
    {".z2*", ".-", "4z4*", "5z4*", ".-", ".-"},    // DEPENDENCY
    {"3z2*", ".-", ".-*", ".-", ".-", ".-"},       // SPACE
    {"1z6*", ".-", ".-", ".-*", "6-*", ".-"},      // DETERMINE
    {".z2*", ".z2*", ".z2*", "5z5*", ".-", ".-"},  // COMMAND
};
const std::string_view kConditions[6] = {a0::kX1.view(), a0::kX2.view(), a0::kX3.view(),
                                         a0::kX4.view(), a0::kX5.view(), ""};
const std::string_view kStateLines[7] = {
    a0::kStateLine.view(),       a0::kStateGoal.view(),  a0::kStateColon.view(),
    a0::kStateDependency.view(), a0::kStateSpace.view(), a0::kStateDetermine.view(),
    a0::kStateCommand.view()};

int class_of(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
      c == '-' || c == '+')
    return 0;
  switch (c) {
    case ':': return 1;
    case ' ': return 2;
    case '\n':
    case '\r': return 3;
    case '\t': return 4;
    default: return 5;
  }
}

// A parser that has registered "go", then collected "x" more of a goal name
// and "i" of an item, so that every action changes what is seen.
struct Reader {
  StringSink sink;
  Output trace{sink};
  Parser parser{trace};
  explicit Reader(int state) {
    parser.run("go:\n");
    parser.buffers.append_goal('x');
    parser.buffers.append_item('i');
    trace.flush();
    sink.data.clear();
    parser.state = state;
  }
  std::string seen() {
    trace.flush();
    return sink.data + "|" + std::to_string(parser.state) + "|" +
           std::string(parser.buffers.copy_goal()) + "|" + std::string(parser.buffers.copy_item()) +
           "|" + test::describe(parser.a1);
  }
};

TEST(StepTable, EveryStateAndByteFollowsTheGrammar) {
  for (int state = 0; state < 7; ++state) {
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      const int cls = class_of(c);
      const std::string_view cell = kCells[state][cls];
      const int next = cell[0] == '.' ? state : cell[0] - '0';
      std::string goal = "gox", item = "i", graph = "go:\n";
      switch (cell[1] == 'z' ? cell[2] : '-') {
        case '1': goal += c; break;
        case '2': item += c; break;
        case '3': graph += "gox:\n"; break;
        case '4': graph = "go: i\ni:\n", item.clear(); break;
        case '5': graph = "go:\n\ti\n", item.clear(); break;
        case '6': goal = c, item.clear(); break;
      }
      std::string printed;
      if (cell.back() == '*') {
        printed.append(kConditions[cls]).append(c == '\n' ? "\r\n" : std::string(1, c));
        printed.append("\r\n");
      }
      printed.append(kStateLines[next]);
      Reader reader(state);
      reader.parser.feed(std::string(1, c));
      ASSERT_EQ(reader.seen(),
                printed + "|" + std::to_string(next) + "|" + goal + "|" + item + "|" + graph)
          << "state " << state << ", byte " << b;
    }
  }
}

}  // namespace
}  // namespace planner
