// The edge-node table of the higher-order conversion: for every unordered node pair met
// during one call, the orientation in which it was first stored and the ID of the first
// of its edge nodes (the edge's other nodes carry the IDs that follow it).
//
// Entries are kept in the order they were stored, so that the new edges can be walked
// in order of first meeting. The lookup is open addressing with linear probing over
// 32-bit entry numbers. The key is the normalised (min, max) pair packed into one 64-bit
// value and run through a multiplicative hash: a hash symmetric in the two IDs such as
// i ^ j sends the edges (k, k + 1) of a structured mesh into a handful of buckets and
// turns the table quadratic.
//
// The slots are cut into partitions by blocks of consecutive smaller IDs, each partition
// sized from an exact count of the pairs that may land in it, so the table is reserved
// once and never rehashes, whatever the distribution of IDs. Elements that are near in
// the element order usually have near node IDs, so the lookups of a pass over the
// elements stay within a few partitions that fit in cache, where a single table would
// send every lookup to a random place in a block far larger than the cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvo::surfkit::detail {

class edge_table {
 public:
  // A table for pairs of IDs below `node_count`, of which at most `max_entries` (below
  // UINT_MAX) will be counted. Throws std::bad_alloc when the memory cannot be had or
  // the bound is out of reach.
  edge_table(std::size_t node_count, std::size_t max_entries);

  // Sizing, before any lookup: count every pair that may be stored, then reserve.
  void count(unsigned a, unsigned b) noexcept { ++offsets_[partition(a < b ? a : b) + 1]; }
  void reserve();

  // What a lookup tells an element about one of its edges.
  struct edge {
    unsigned first;  // ID of the edge's first node, counted from its stored first end
    bool along;      // the element's (a, b) runs in the stored orientation
    bool inserted;   // the pair was absent and has just been stored
  };

  // Looks (a, b) up; an absent pair is stored in orientation (a, b) with first ID
  // `first_if_new`. Only counted pairs may be stored.
  edge find_or_insert(unsigned a, unsigned b, unsigned first_if_new) {
    const std::uint64_t ab = pack(a, b), ba = pack(b, a);
    const std::size_t i = probe(a < b ? a : b, ab, ba);
    if (const unsigned number = slots_[i])
      return {first(number - 1), pairs_[number - 1] == ab, false};
    slots_[i] = static_cast<unsigned>(pairs_.size() + 1);
    pairs_.push_back(ab);  // within the reserved room: never reallocates
    if (!numbered_) firsts_.push_back(first_if_new);
    return {first_if_new, true, true};
  }

  // From here on, entry given + k (given the entries stored so far) is stored with the
  // first ID first_new + k step, and only the pair is kept: the caller numbers new edges
  // consecutively, so their first IDs need no memory of their own.
  void number_from(unsigned first_new, unsigned step) noexcept {
    numbered_ = true;
    first_new_ = first_new;
    step_ = step;
  }

  // Stores (a, b) if absent, then sets its first ID to `first`, keeping the stored
  // orientation: the given edges of a caller, a later one overwriting an earlier ID.
  void assign(unsigned a, unsigned b, unsigned first);

  // Entries in the order they were stored: pair(i) >> 32 and pair(i) & 0xffffffff are
  // the stored ends.
  std::size_t size() const noexcept { return pairs_.size(); }
  std::uint64_t pair(std::size_t i) const noexcept { return pairs_[i]; }
  unsigned first(std::size_t i) const noexcept {
    const std::size_t given = firsts_.size();
    return i < given ? firsts_[i] : first_new_ + static_cast<unsigned>(i - given) * step_;
  }

 private:
  struct free_block {
    void operator()(unsigned* p) const noexcept;
  };

  static std::uint64_t pack(unsigned a, unsigned b) noexcept {
    return (static_cast<std::uint64_t>(a) << 32) | b;
  }
  std::size_t partition(unsigned lo) const noexcept {
    const std::size_t p = lo >> shift_;
    return p < last_partition_ ? p : last_partition_;
  }
  // Slot where the search for the normalised pair k in partition p starts: Fibonacci
  // hashing, the product with 2^64 / golden ratio, whose high bits every key bit reaches
  // (the low bits of the smaller ID too, which alone would not separate the pairs of a
  // partition), mapped onto the partition by a 64 x 64 -> 128-bit product instead of a
  // modulo. One multiplication: the lookups of a conversion are bound by this arithmetic
  // once the partition is in cache.
  std::size_t home(std::size_t p, std::uint64_t k) const noexcept {
    k *= 0x9e3779b97f4a7c15ULL;
    __extension__ using u128 = unsigned __int128;
    const std::size_t begin = offsets_[p], size = offsets_[p + 1] - begin;
    return begin + static_cast<std::size_t>((static_cast<u128>(k) * size) >> 64);
  }
  // The slot holding pair ab (ba reversed, lo the smaller ID), or the free slot where it
  // would go. A partition always keeps a free slot.
  std::size_t probe(unsigned lo, std::uint64_t ab, std::uint64_t ba) const noexcept {
    const std::size_t p = partition(lo);
    std::size_t i = home(p, ab < ba ? ab : ba);
    for (;;) {
      const unsigned number = slots_[i];
      if (number == 0 || pairs_[number - 1] == ab || pairs_[number - 1] == ba) return i;
      if (++i == offsets_[p + 1]) i = offsets_[p];
    }
  }

  unsigned shift_ = 0;                // partition p holds pairs whose smaller ID >> shift_ is p
  std::size_t last_partition_ = 0;    // larger values go to the last partition
  std::vector<std::size_t> offsets_;  // first slot of each partition, then the total
  std::unique_ptr<unsigned[], free_block> slots_;  // entry number + 1; 0 is free
  std::size_t max_entries_ = 0;
  std::vector<std::uint64_t> pairs_;  // stored orientation, (first end << 32) | second
  std::vector<unsigned> firsts_;      // of the entries stored before number_from
  bool numbered_ = false;
  unsigned first_new_ = 0, step_ = 0;
};

}  // namespace orvo::surfkit::detail
