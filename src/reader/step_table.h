// A0 step by step, worked out in advance: for every state and byte value,
// the bytes the step prints (its condition line, if one holds, and the state
// line), the state it leads to and the action it takes. The table is built
// from the plain path, one condition at a time, so the two cannot disagree;
// a step of the reader is then one copy and at most one action.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace planner::a0 {

// The actions of A0; every step takes at most one, as the five character
// classes are disjoint.
enum class Action : std::uint8_t { kNone, kZ1, kZ2, kZ3, kZ4, kZ5, kZ6 };

struct Step {
  std::uint32_t offset = 0;  // of the printed bytes in StepTable::bytes
  std::uint8_t size = 0;     // how many bytes the step prints
  std::uint8_t next = 0;     // the state after the step
  Action action = Action::kNone;
};

struct StepTable {
  static constexpr std::size_t kStates = 7;
  // No step prints more; building the table checks it. Copying this much
  // every time is cheaper than a copy of the exact size.
  static constexpr std::size_t kSpan = 96;

  std::array<std::array<Step, 256>, kStates> steps{};
  // Every step's bytes one after the other, then kSpan bytes of padding, so
  // that a span copied from any step stays inside.
  std::vector<char> bytes;
};

}  // namespace planner::a0
