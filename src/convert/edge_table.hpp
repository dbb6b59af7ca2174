// The edge-node table of the higher-order conversion: for every unordered node pair met
// during one call, the orientation in which it was first stored and the ID of the first
// of its edge nodes (the edge's other nodes carry the IDs that follow it).
//
// Entries are kept in the order they were stored, so that the new edges can be walked
// in order of first meeting. The lookup is open addressing with linear probing over
// 32-bit entry numbers, one block allocated up front for the most entries the call can
// store, so the table never rehashes and its random accesses touch as little memory as
// possible. The key is the normalised (min, max) pair packed into one 64-bit value and
// run through a full mixing hash: a hash symmetric in the two IDs such as i ^ j sends
// the edges (k, k + 1) of a structured mesh into a handful of buckets and turns the
// table quadratic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvo::surfkit::detail {

class edge_table {
 public:
  // Room for `max_entries` distinct pairs, below UINT_MAX. Throws std::bad_alloc when
  // the memory cannot be had or the bound is out of reach.
  explicit edge_table(std::size_t max_entries);

  // What a lookup tells an element about one of its edges.
  struct edge {
    unsigned first;  // ID of the edge's first node, counted from its stored first end
    bool along;      // the element's (a, b) runs in the stored orientation
    bool inserted;   // the pair was absent and has just been stored
  };

  // Looks (a, b) up; an absent pair is stored in orientation (a, b) with first ID
  // `first_if_new`. At most max_entries distinct pairs may be stored.
  edge find_or_insert(unsigned a, unsigned b, unsigned first_if_new) {
    const std::uint64_t ab = pack(a, b), ba = pack(b, a);
    const std::size_t i = probe(ab, ba);
    if (const unsigned number = slots_[i])
      return {firsts_[number - 1], pairs_[number - 1] == ab, false};
    slots_[i] = static_cast<unsigned>(pairs_.size() + 1);
    pairs_.push_back(ab);  // within the reserved room: never reallocates
    firsts_.push_back(first_if_new);
    return {first_if_new, true, true};
  }

  // Stores (a, b) if absent, then sets its first ID to `first`, keeping the stored
  // orientation: the given edges of a caller, a later one overwriting an earlier ID.
  void assign(unsigned a, unsigned b, unsigned first);

  // Hints the memory of the pair's home slot into cache ahead of its lookup.
  void prefetch(unsigned a, unsigned b) const noexcept {
    __builtin_prefetch(&slots_[home(a < b ? pack(a, b) : pack(b, a))]);
  }

  // Entries in the order they were stored: pair(i) >> 32 and pair(i) & 0xffffffff are
  // the stored ends.
  std::size_t size() const noexcept { return pairs_.size(); }
  std::uint64_t pair(std::size_t i) const noexcept { return pairs_[i]; }
  unsigned first(std::size_t i) const noexcept { return firsts_[i]; }
  std::size_t capacity() const noexcept { return capacity_; }

 private:
  struct free_block {
    void operator()(unsigned* p) const noexcept;
  };

  static std::uint64_t pack(unsigned a, unsigned b) noexcept {
    return (static_cast<std::uint64_t>(a) << 32) | b;
  }
  // Slot where the search for the normalised pair starts: the 64-bit finaliser of
  // MurmurHash3 (every input bit reaches every output bit), mapped onto [0, capacity)
  // by a 64 x 64 -> 128-bit product instead of a modulo.
  std::size_t home(std::uint64_t k) const noexcept {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    __extension__ using u128 = unsigned __int128;
    return static_cast<std::size_t>((static_cast<u128>(k) * capacity_) >> 64);
  }

  // The slot holding pair ab (ba reversed), or the free slot where it would go.
  std::size_t probe(std::uint64_t ab, std::uint64_t ba) const noexcept {
    std::size_t i = home(ab < ba ? ab : ba);
    for (;;) {
      const unsigned number = slots_[i];
      if (number == 0 || pairs_[number - 1] == ab || pairs_[number - 1] == ba) return i;
      if (++i == capacity_) i = 0;
    }
  }

  std::unique_ptr<unsigned[], free_block> slots_;  // entry number + 1; 0 is free
  std::size_t capacity_ = 0;
  std::vector<std::uint64_t> pairs_;  // stored orientation, (first end << 32) | second
  std::vector<unsigned> firsts_;
};

}  // namespace orvo::surfkit::detail
