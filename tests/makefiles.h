// Makefiles made at test time, too large or too many to keep as cases, and
// the plans they lead to.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace planner::test {

inline std::ostream& repeat(std::ostream& out, std::string_view text, std::size_t times) {
  for (std::size_t i = 0; i < times; ++i) out << text;
  return out;
}

// Both goals of every level depend on both goals of the next, every goal
// with a command: 2^levels paths, all rebuilt when no file exists.
inline void ladder(std::ostream& out, int levels) {
  out << "g: a0 b0\n\tbuild g\n";
  for (int i = 0; i < levels; ++i) {
    for (const char side : {'a', 'b'}) {
      out << side << i << ": ";
      if (i + 1 < levels) out << 'a' << i + 1 << " b" << i + 1;
      if (i + 1 == levels) out << "leaf";
      out << "\n\tbuild " << side << i << "\n";
    }
  }
}
inline void ladder32(std::ostream& out) { ladder(out, 32); }  // days of walking
inline void ladder10(std::ostream& out) { ladder(out, 10); }  // 2 MB of trace, at once

// The plan of a ladder: of every goal the later dependency's plan, the
// earlier one's, then its own command.
inline void ladder_plan(std::string* plan, const std::string& goal, int level, int levels) {
  for (const char side : {'b', 'a'}) {
    if (level < levels) ladder_plan(plan, side + std::to_string(level), level + 1, levels);
  }
  plan->append("build " + goal + "\r\n");
}
inline std::string ladder10_plan() {
  std::string plan;
  ladder_plan(&plan, "g", 0, 10);
  return plan;
}

inline void small(std::ostream& out) { out << "g: x\n\tlink\n"; }

// v0: v1 ... v<n-1>: v<n>, each with a command; v<n-1> names v0 when `cycle`.
inline void chain(std::ostream& out, bool cycle) {
  for (int i = 0; i < 100'000; ++i) {
    out << 'v' << i << ": v" << (cycle && i == 99'999 ? 0 : i + 1) << "\n\tmake v" << i << "\n";
  }
}

}  // namespace planner::test
