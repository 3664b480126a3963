// How the fuzz checks stop: a broken invariant aborts at once, so that
// libFuzzer keeps the input that broke it and the replay test fails loudly.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace planner::fuzz {

[[noreturn]] inline void violated(const char* what) {
  std::fprintf(stderr, "planner fuzz: invariant broken: %s\n", what);
  std::abort();
}

inline void require(bool holds, const char* what) {
  if (!holds) violated(what);
}

// The 65 bytes that make up names: ASCII letters, digits, '.', '-' and '+'.
inline bool is_name_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '+';
}

}  // namespace planner::fuzz
