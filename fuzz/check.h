// What the pipeline's and the session's checks share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace planner {

// A broken invariant aborts, so that libFuzzer keeps the input and the
// replay of the corpus fails loudly.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "planner fuzz: invariant broken: %s\n", what);
  std::abort();
}

// Modification times from the name alone: small values, so that equal times
// and missing files (0) come up often.
inline std::int64_t invented_time(std::string_view name, std::uint32_t seed) {
  std::uint32_t h = 2166136261u ^ seed;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<std::int64_t>(h % 4);
}

inline std::size_t count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// The session, stepped from the first step to the last, against the straight
// run that printed `printed`, wrote `todo` and refused with `refusal` (empty:
// it did not), its times invented with `seed` (session_check.cc).
void check_session(std::string_view bytes, const std::string& printed, const std::string& todo,
                   const std::string& refusal, std::uint32_t seed);

}  // namespace planner
