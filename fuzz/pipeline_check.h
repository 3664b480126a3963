// The whole program on one input, without files: text mode, reader, the
// refusals, and the walk with invented modification times. Aborts on the
// first broken invariant.
#pragma once

#include <cstddef>
#include <string_view>

namespace planner::fuzz {

// Walks visiting more vertex copies than this are skipped: a ladder of
// diamonds walks exponentially many paths by design, and a fuzzer stuck in
// one learns nothing.
inline constexpr std::size_t kMaxWalkVisits = 20000;

// What the run came to, so that the replay can tell what its corpus covers.
enum class Outcome { kRefused, kTooBigToWalk, kWalked };

Outcome check_pipeline(std::string_view bytes);

}  // namespace planner::fuzz
