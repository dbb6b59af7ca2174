// The edge-node table of the higher-order conversion: for every unordered node pair met
// during one call, the orientation in which it was first stored and the ID of the first
// of its edge nodes (the edge's other nodes carry the IDs that follow it).
//
// Open addressing with linear probing over one block allocated up front for the most
// entries the call can store, so the table never rehashes. The key is the normalised
// (min, max) pair packed into one 64-bit value and run through a full mixing hash: a
// hash symmetric in the two IDs such as i ^ j sends the edges (k, k + 1) of a structured
// mesh into a handful of buckets and turns the table quadratic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvo::surfkit::detail {

class edge_table {
 public:
  // Room for `max_entries` distinct pairs (0: an empty table that must not be used).
  // Throws std::bad_alloc when the block cannot be had.
  explicit edge_table(std::size_t max_entries);

  // What a lookup tells an element about one of its edges.
  struct edge {
    unsigned first;  // ID of the edge's first node, counted from its stored first end
    bool along;      // the element's (a, b) runs in the stored orientation
    bool inserted;   // the pair was absent and has just been stored
  };

  // Looks (a, b) up; an absent pair is stored in orientation (a, b) with first ID
  // `first_if_new`. At most max_entries distinct pairs may be stored.
  edge find_or_insert(unsigned a, unsigned b, unsigned first_if_new);

  // Stores (a, b) if absent, then sets its first ID to `first`, keeping the stored
  // orientation: the given edges of a caller, a later one overwriting an earlier ID.
  void assign(unsigned a, unsigned b, unsigned first);

  // Hints the memory of the pair's home slot into cache ahead of its lookup.
  void prefetch(unsigned a, unsigned b) const noexcept {
    __builtin_prefetch(&slots_[home(key(a, b))]);
  }

  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }

 private:
  struct slot {
    std::uint64_t key;  // normalised pair + 1; 0 marks a free slot
    unsigned first;     // ID of the first edge node
    unsigned reversed;  // 1 when stored as (max, min)
  };
  struct free_block {
    void operator()(slot* p) const noexcept;
  };

  // (min, max) + 1: IDs are below UINT_MAX, so the sum never wraps to the free mark 0.
  static std::uint64_t key(unsigned a, unsigned b) noexcept {
    const std::uint64_t lo = a < b ? a : b, hi = a < b ? b : a;
    return ((lo << 32) | hi) + 1;
  }
  std::size_t home(std::uint64_t k) const noexcept;
  slot& locate(unsigned a, unsigned b, bool& inserted);

  std::unique_ptr<slot[], free_block> slots_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

}  // namespace orvo::surfkit::detail
