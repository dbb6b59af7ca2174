// The edge-node table of the higher-order conversion: for every unordered node pair met
// during one call, the orientation in which it was first stored and the ID of the first
// of its edge nodes (the edge's other nodes carry the IDs that follow it).
//
// Pairs are filed under their smaller ID, the way a sparse row stores a matrix: node lo
// owns a run of slots, one for every element edge counted with lo as its smaller end.
// A lookup reads where lo's run starts and probes its few slots (six in a triangle mesh,
// where a node is the smaller end of about three edges met twice each) from a slot
// hashed from the larger ID, like an open-addressing table of its own, with no probing
// into another array: each lookup touches one or two cache lines, and elements that are
// near in the element order, whose node IDs are usually near too, find them already in
// cache. A run has a slot per counted occurrence, so that it is at most half full where
// every edge is met twice, and the first probe mostly answers: a scan from the run's
// first slot stopped wherever the pair had been stored, which follows the numbering (the
// same slot for every node of a grid, any slot after renumbering, where the mispredicted
// stops cost a tenth of the conversion). A node with many edges (the centre of a fan)
// gets a run twice as long as its count.
//
// The new pairs are also listed in the order they were stored, so that the new edge
// nodes are placed in the order they are numbered, one sequential write.
//
// That table serves meshes numbered in the order of their elements (row by row, or
// renumbered): consecutive elements then look up nearby runs. In a mesh whose nodes or
// elements are numbered at random every lookup would miss the cache, so such a mesh is
// first sorted instead (prepare_sorted): every occurrence of every edge, given edges
// first and then the elements' in the order they are met, is filed under its smaller node
// by block of nodes and sorted in cache (common/key_buckets.hpp). Each edge's
// occurrences are then together: the first one fixes the stored orientation and, for a
// new edge, is where its nodes are numbered; given edges keep their first end's
// orientation and their last ID. What each later occurrence will be told is gathered by
// block of occurrences (a first one files nothing), and the sorted cursor reads it back a
// block at a time, in sequence: a new edge's first nodes are numbered at its first
// occurrence, in the order met, and a later occurrence finds them through the count of
// new edges first met before that first occurrence (a bit per occurrence, with a running
// count per 64 bits; about 1 MiB for a mesh of 2 M triangles, so it stays in cache). The
// numbering is the table's, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/key_buckets.hpp"
#include "common/small_groups.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

class edge_table {
 public:
  // A table for pairs of IDs below `node_count`, to be counted `occurrences` times, of
  // which at most `max_new` are new pairs (stored by find_or_insert). `oriented`: keep the
  // orientation in which each pair was stored, which only edges of more than one node need
  // (with one, both orientations list the same node). Throws std::bad_alloc when the
  // occurrences reach UINT_MAX: the 32-bit counts of count() could then wrap.
  edge_table(std::size_t node_count, std::uint64_t occurrences, std::size_t max_new, bool oriented);

  // Sizing, before any lookup: count every pair occurrence that will be looked up or
  // assigned (an edge met by two elements counts twice), then reserve. Throws
  // std::bad_alloc when the memory cannot be had.
  void count(unsigned a, unsigned b) noexcept { ++start_[smaller_end(a, b) + 1]; }
  void reserve();

  // What a lookup tells an element about one of its edges.
  struct edge {
    unsigned first;  // ID of the edge's first node, counted from its stored first end
    bool along;      // the element's (a, b) runs in the stored orientation (always true
                     // when the table keeps no orientation)
    bool inserted;   // the pair was absent and has just been stored
  };

  // Instead of count, reserve and assign: files every occurrence of the given edges
  // (columns of `given`, rows 0-1 the ends, row 2 the first ID) and of the quadrangles'
  // and then the triangles' edges, in the order the conversion meets them, and sorts
  // them (see above). New edges are numbered from `first_new`, `step` IDs apart. Only for
  // fewer than 2^31 nodes. False when storage is refused; throws std::bad_alloc as
  // reserve does.
  // `packed`: file each occurrence as one 64-bit word when its fields fit (false: always
  // the wider records that larger meshes need; the same answers, for tests).
  bool prepare_sorted(const dense2D<unsigned int>& given, const dense2D<unsigned int>& quads,
                      const dense2D<unsigned int>& tris, unsigned first_new, unsigned step,
                      bool packed = true);

  struct slot {
    unsigned key;    // larger ID + 1; 0 is free
    unsigned first;  // first edge node
  };

  // Lookups go through a cursor, a value that the caller's loop keeps in registers: kept
  // in the table, its counts and the bits it sets, written through pointers that the
  // compiler cannot tell apart, were stored and loaded again at every lookup, which cost
  // a fifth of the conversion of a shuffled mesh. Take one with lookups() (after reserve)
  // or sorted_lookups() (after prepare_sorted), look up through it, and give it back to
  // done().
  class table_cursor {
   public:
    // Looks (a, b) up; an absent pair is stored in orientation (a, b) with first ID
    // `first_if_new` and listed as new. Each call must have been counted.
    edge find_or_insert(unsigned a, unsigned b, unsigned first_if_new) {
      const unsigned lo = a < b ? a : b, key = (a ^ b ^ lo) + 1;
      slot* s = find(lo, key);
      if (s->key != 0) return {s->first, along(s, a == lo), false};
      store(s, key, first_if_new, a == lo);
      listed_[new_count_++] = (static_cast<std::uint64_t>(a) << 32) | b;  // within the reserve
      return {first_if_new, true, true};
    }
    // Stores (a, b) if absent (not listed as new), then sets its first ID to `first`,
    // keeping the stored orientation. Each call must have been counted.
    void assign(unsigned a, unsigned b, unsigned first) noexcept {
      const unsigned lo = a < b ? a : b, key = (a ^ b ^ lo) + 1;
      slot* s = find(lo, key);
      if (s->key != 0)
        s->first = first;
      else
        store(s, key, first, a == lo);
    }

   private:
    friend class edge_table;
    // The slot of lo's run that holds `key` (the larger ID + 1), or the free slot where
    // it goes. A run always has a free slot for a counted pair: it holds a slot per
    // counted occurrence (a long one twice that), and a pair takes one when first met.
    slot* find(unsigned lo, unsigned key) const noexcept {
      slot* const run = slots_ + start_[lo];
      const unsigned size = start_[lo + 1] - start_[lo];
      // Fibonacci hashing onto the run: consecutive keys, as around a fan, spread out.
      // The run always has the pair or a free slot, so the probe ends.
      unsigned i = static_cast<unsigned>(
          (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key * 0x9e3779b9u)) * size) >> 32);
      while (run[i].key != 0 && run[i].key != key)
        if (++i == size) i = 0;
      return run + i;
    }
    bool along(const slot* s, bool a_is_lo) const noexcept {
      return !lo_first_ || static_cast<bool>(lo_first_[s - slots_]) == a_is_lo;
    }
    void store(slot* s, unsigned key, unsigned first, bool a_is_lo) noexcept {
      s->key = key;
      s->first = first;
      if (lo_first_) lo_first_[s - slots_] = a_is_lo;
    }

    const unsigned* start_;
    slot* slots_;
    unsigned char* lo_first_;
    std::uint64_t* listed_;
    std::size_t new_count_;
  };
  table_cursor lookups() noexcept {
    table_cursor c;
    c.start_ = start_.data();
    c.slots_ = slots_.get();
    c.lo_first_ = lo_first_.get();
    c.listed_ = new_pairs_.get();
    c.new_count_ = new_count_;
    return c;
  }
  void done(const table_cursor& c) noexcept { new_count_ = c.new_count_; }

  // The sorted form's cursor.
  class cursor {
   public:
    // The next occurrence's answer, as find_or_insert would give it. The calls must come
    // in the order of the occurrences filed by prepare_sorted, and first_if_new must be
    // first_new + step times the new pairs listed so far.
    edge find_or_insert(unsigned a, unsigned b, unsigned first_if_new) {
      const std::size_t i = occurrence_++;
      const std::size_t w = i >> 6;
      if ((i & 63) == 0 && w > 0)
        new_before_[w] = new_before_[w - 1] + bit_count(first_met_[w - 1]);
      const std::size_t j = i & block_mask_;
      if (j == 0) table_->read_answers(i >> block_shift_);
      const unsigned v = value_[j];
      const unsigned char tag = tag_[j];
      if (tag & given_tag) return {v, (tag & along_tag) != 0, false};
      // An edge's first occurrence (a new pair) or a later one, with no branch on which:
      // the order elements meet their edges follows the numbering.
      const bool first = v == i;
      first_met_[w] |= static_cast<std::uint64_t>(first) << (i & 63);
      listed_[new_count_] = (static_cast<std::uint64_t>(a) << 32) | b;  // within the reserve
      new_count_ += first;
      const std::size_t f = v >> 6;
      const unsigned rank =
          new_before_[f] + bit_count(first_met_[f] & ((std::uint64_t{1} << (v & 63)) - 1));
      return {first ? first_if_new : first_new_ + step_ * rank, (tag & along_tag) != 0, first};
    }

   private:
    friend class edge_table;
    const edge_table* table_;
    const unsigned* value_;  // the answers of the block that holds the occurrence
    const unsigned char* tag_;
    std::size_t block_mask_;
    unsigned block_shift_;
    std::uint64_t* first_met_;
    unsigned* new_before_;
    std::uint64_t* listed_;
    std::size_t occurrence_, new_count_;
    unsigned first_new_, step_;
  };
  // The cursor at the first occurrence, and the table's state taken back from it.
  cursor sorted_lookups() noexcept {
    cursor c;
    c.table_ = this;
    c.value_ = value_.data();
    c.tag_ = tag_.data();
    c.block_shift_ = answers_.shift();
    c.block_mask_ = (std::size_t{1} << answers_.shift()) - 1;
    c.first_met_ = first_met_.data();
    c.new_before_ = new_before_.data();
    c.listed_ = new_pairs_.get();
    c.occurrence_ = 0;
    c.new_count_ = new_count_;
    c.first_new_ = first_new_;
    c.step_ = step_;
    return c;
  }
  void done(const cursor& c) noexcept { new_count_ = c.new_count_; }

  // Stores (a, b) if absent (not listed as new), then sets its first ID to `first`,
  // keeping the stored orientation: the given edges of a caller, a later one overwriting
  // an earlier ID. Each call must have been counted.
  void assign(unsigned a, unsigned b, unsigned first) noexcept { lookups().assign(a, b, first); }

  // New pairs in the order they were stored: new_pair(i) >> 32 and new_pair(i) &
  // 0xffffffff are the stored ends.
  std::size_t new_count() const noexcept { return new_count_; }
  std::uint64_t new_pair(std::size_t i) const noexcept { return new_pairs_[i]; }

 private:
  // What the sorted occurrences tell each element occurrence (tag bits).
  static constexpr unsigned along_tag = 1, given_tag = 2;

  struct free_block {
    void operator()(void* p) const noexcept;
  };

  // Room for max_new_ + 1 listed pairs. Throws std::bad_alloc when refused.
  void reserve_list();
  // Puts the answers of occurrence block b in value_ and tag_, by offset in the block.
  void read_answers(std::size_t b) const noexcept;

  // Runs counted longer than this get twice as many slots.
  static constexpr unsigned short_run = 16;

  bool oriented_;
  std::size_t max_new_;
  // Slot where the run of node lo starts, at lo (after reserve; counts before).
  std::vector<unsigned> start_;
  std::unique_ptr<slot[], free_block> slots_;
  // When oriented: whether each slot's pair was stored from its smaller end.
  std::unique_ptr<unsigned char[], free_block> lo_first_;
  // Stored orientation, (first end << 32) | second; reserved for max_new_ + 1 (the slot
  // past the last new pair is written and not counted), new_count_ of them listed.
  std::unique_ptr<std::uint64_t[], free_block> new_pairs_;
  std::size_t new_count_ = 0;

  // The sorted form (prepare_sorted), per element occurrence in the order met: answers_
  // its value (the first ID of a given edge, else the index of the edge's first
  // occurrence) and its tag (along_tag, given_tag), gathered by block of occurrences;
  // value_ and tag_ one block of them at a time, in occurrence order (read_answers; a
  // block is in cache, where the answers of the whole mesh would be twice the size of
  // its connectivity and written out and read back once more); first_met_ bit i for the
  // first occurrences passed so far, new_before_ the first occurrences before each 64 of
  // them.
  unsigned first_new_ = 0, step_ = 0;
  block_writes<unsigned> answers_;
  mutable dense1D<unsigned int, 8> value_;
  mutable dense1D<unsigned char, 8> tag_;
  dense1D<std::uint64_t, 8> first_met_;
  dense1D<unsigned int, 8> new_before_;
};

}  // namespace orvo::surfkit::detail
