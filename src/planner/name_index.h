// The index from names to vertices: open addressing with linear probing over
// a power-of-two table kept at most three quarters full. A slot holds the
// name's hash beside the vertex, so a probe seldom has to read a name, and
// growing never does; the names stay in the vertices and are compared there,
// whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "planner/vertex.h"
#include "platform/large_pages.h"

namespace planner {

class NameIndex {
 public:
  using Key = std::array<std::uint64_t, 2>;  // SipHash's k0 and k1

  // SipHash-1-3 under a key drawn once per run: names chosen so that they
  // collide cannot be made without the key, so no makefile can turn lookups
  // into long probes. 32 bits choose the slot and tell names apart; more
  // would only make the slots bigger.
  static std::uint32_t hash(std::string_view name);
  // The same under `key`: SipHash-1-3's 64 bits, cut to the low 32.
  static std::uint32_t hash(std::string_view name, const Key& key);

  // The vertex whose name, as `name_of(vertex)` gives it, equals `name`.
  template <typename NameOf>
  std::optional<VertexIndex> find(std::string_view name, std::uint32_t hash,
                                  const NameOf& name_of) const {
    if (slots_.empty()) return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.vertex == kEmpty) return std::nullopt;
      if (slot.hash == hash && name_of(slot.vertex) == name) return slot.vertex;
    }
  }

  // Records `vertex` under `hash`; its name must not be in the index yet.
  void insert(std::uint32_t hash, VertexIndex vertex) {
    if (4 * (used_ + 1) > 3 * slots_.size()) grow();
    place({hash, vertex});
    ++used_;
  }

 private:
  static constexpr VertexIndex kEmpty = ~VertexIndex{0};
  static constexpr std::size_t kFirstSize = 1024;
  struct Slot {
    std::uint32_t hash = 0;
    VertexIndex vertex = kEmpty;
  };

  void place(Slot slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = slot.hash & mask;
    while (slots_[at].vertex != kEmpty) at = (at + 1) & mask;
    slots_[at] = slot;
  }

  void grow() {
    std::vector<Slot, LargePageAllocator<Slot>> old(slots_.empty() ? kFirstSize
                                                                   : 2 * slots_.size());
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.vertex != kEmpty) place(slot);
    }
  }

  // Read at random, one probe per new name: in large pages once it is big.
  std::vector<Slot, LargePageAllocator<Slot>> slots_;
  std::size_t used_ = 0;  // slots holding a vertex
};

}  // namespace planner
