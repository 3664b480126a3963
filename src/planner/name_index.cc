#include "planner/name_index.h"

#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace planner {

namespace {

using Key = NameIndex::Key;

Key random_key() {
  try {
    std::random_device device;
    const auto word = [&device] { return std::uint64_t{device()} << 32 | device(); };
    return {word(), word()};
  } catch (const std::exception&) {
    // No source of randomness: the clock still keeps the key unknown in
    // advance.
    const auto now = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    return {now, now * 0x9E3779B97F4A7C15u};
  }
}

struct Sip {
  std::uint64_t v0, v1, v2, v3;

  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13) ^ v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = std::rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = std::rotl(v1, 17) ^ v2;
    v2 = std::rotl(v2, 32);
  }
  void absorb(std::uint64_t word) {
    v3 ^= word;
    round();
    v0 ^= word;
  }
};

}  // namespace

std::uint32_t NameIndex::hash(std::string_view name) {
  static const Key key = random_key();
  return hash(name, key);
}

std::uint32_t NameIndex::hash(std::string_view name, const Key& key) {
  Sip s{key[0] ^ 0x736f6d6570736575u, key[1] ^ 0x646f72616e646f6du,
        key[0] ^ 0x6c7967656e657261u, key[1] ^ 0x7465646279746573u};
  const char* p = name.data();
  const std::size_t whole = name.size() & ~std::size_t{7};
  for (std::size_t i = 0; i < whole; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, p + i, 8);  // the byte order need only be the same within a run
    s.absorb(word);
  }
  std::uint64_t last = std::uint64_t{name.size()} << 56;
  for (std::size_t i = whole; i < name.size(); ++i) {
    last |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * (i - whole));
  }
  s.absorb(last);
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return static_cast<std::uint32_t>(s.v0 ^ s.v1 ^ s.v2 ^ s.v3);
}

}  // namespace planner
