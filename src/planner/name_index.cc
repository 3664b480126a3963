#include "planner/name_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <utility>

#include "platform/os.h"

namespace planner {

namespace {

using Key = std::array<std::uint64_t, 2>;

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

NameIndex::Slots NameIndex::allocate(std::size_t count) {
  const std::size_t bytes = count * sizeof(Slot);
  const std::size_t align = std::min(bytes, os::kLargePage);
  auto* slots = static_cast<Slot*>(::operator new[](bytes, std::align_val_t{align}));
  if (bytes >= os::kLargePage) os::prefer_large_pages(slots, bytes);
  std::uninitialized_fill_n(slots, count, Slot{});
  return Slots(slots, FreeSlots{align});
}

void NameIndex::grow() {
  const std::size_t old_size = size_;
  const Slots old = std::exchange(slots_, allocate(size_ == 0 ? kFirstSize : 2 * size_));
  size_ = old_size == 0 ? kFirstSize : 2 * old_size;
  for (std::size_t i = 0; i < old_size; ++i) {
    if (old[i].vertex != kEmpty) place(old[i]);
  }
}

}  // namespace planner
