// A0's table: its steps read off the step table, which step() made for every
// state and byte, and its words in English for the viewers.
#include <algorithm>

#include "reader/a0_messages.h"
#include "reader/parser.h"

namespace planner {

namespace {

AutomatonTable words() {
  const auto& n = Parser::kStateNames;
  const auto& l = a0::kStateLines;
  return {
      "A0",
      a0::kClosing.view(),
      "A0 has read the whole makefile",
      {
          {n[0], "the start, before the first name character", l[0]},
          {n[1], "collecting a goal name", l[1]},
          {n[2], "the goal's colon is read; waiting for the first dependency", l[2]},
          {n[3], "collecting a dependency name", l[3]},
          {n[4], "a space ended a dependency name; waiting for the next", l[4]},
          {n[5],
           "a line end ended a header or a command: a tab starts a command, a name character "
           "the next rule",
           l[5]},
          {n[6], "collecting a command line", l[6]},
      },
      {
          {1, "x1", "the character is a name character (A-Z a-z 0-9 . - +)",
           "the character is not a name character", a0::kX1.view(), "", "name char"},
          {2, "x2", "the character is a colon", "the character is not a colon", a0::kX2.view(), "",
           "colon"},
          {3, "x3", "the character is a space", "the character is not a space", a0::kX3.view(), "",
           "space"},
          {4, "x4", "the character is a line end", "the character is not a line end",
           a0::kX4.view(), "", "line end"},
          {5, "x5", "the character is a tab", "the character is not a tab", a0::kX5.view(), "",
           "tab"},
      },
      {
          {1, "z1", "appends the character to the goal name"},
          {2, "z2", "appends the character to the item"},
          {3, "z3", "registers the goal"},
          {4, "z4", "adds the edge goal → item"},
          {5, "z5", "adds the item as a command of the goal"},
          {6, "z6", "starts a new rule"},
      },
      {},
      {},
  };
}

}  // namespace

// A state's bytes that its step treats alike are one outcome.
const AutomatonTable& Parser::table() {
  static const AutomatonTable table = [] {
    AutomatonTable t = words();
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(kStates); ++s) {
      for (int b = 0; b < 256; ++b) {
        const StepView v = step_view(s, static_cast<char>(b));
        const std::vector<Evaluation> evaluated(v.evaluated.begin(), v.evaluated.end());
        const auto action = static_cast<std::uint8_t>(v.action);
        const bool known = std::any_of(t.outcomes.begin(), t.outcomes.end(), [&](const auto& o) {
          return o.from == s && o.evaluated == evaluated && o.action == action && o.to == v.next;
        });
        if (!known) t.outcomes.push_back({s, evaluated, action, v.next, true});
      }
    }
    t.transitions = transitions_of(t, true);
    return t;
  }();
  return table;
}

}  // namespace planner
