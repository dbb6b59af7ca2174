// Records grouped by an integer key without jumping through memory in the order of the
// keys: the first step of a most-significant-digit radix sort.
//
// Filing each record straight under its key (a counting sort over every key) writes to
// as many places as there are keys; when the records come in an order unrelated to
// their keys (shuffled IDs) nearly every write misses the cache. Here the records are
// filed by key block (key >> shift) instead, a few hundred places written in turn, and
// each block, small enough to stay in cache, is then sorted by its key's low bits on its
// own. Both steps keep the records of one key in the order they were produced, so what
// a caller computes from each key's records does not depend on how the work was split.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "common/small_groups.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// A record: its key and what the caller files with it.
template <class Key, class Payload>
struct keyed {
  Key key;
  Payload payload;
};
// A record that is all key (the caller packs what it files into the key's low bits).
struct no_payload {};
template <class Key>
struct keyed<Key, no_payload> {
  Key key;
};

// Bits to hold every value below n (at least 1): the width of a field of a packed key.
inline unsigned bits_below(std::uint64_t n) noexcept {
  unsigned b = 1;
  while (b < 64 && (n - 1) >> b) ++b;
  return b;
}

// The shift putting about 2^bits keys in a block, for keys below key_count (at most
// 4096 blocks: a filing pass writes to that many places at once).
inline unsigned block_shift(std::uint64_t key_count, unsigned bits) noexcept {
  unsigned shift = bits;
  while ((key_count >> shift) > 4096) ++shift;
  return shift;
}

template <class Key, class Payload>
class key_buckets {
 public:
  using record = keyed<Key, Payload>;

  // Files every record that `produce` gives, by key block, in production order.
  // produce(emit) calls emit(key, payload) for every record, keys below key_count, the
  // same records in the same order each time: it runs twice, to count and to file.
  // False when storage is refused.
  // With `low_shift`, the records are sorted by key >> low_shift (below key_count) and
  // the low bits carry what the caller packs there.
  template <class Produce>
  bool fill(std::uint64_t key_count, unsigned shift, Produce&& produce, unsigned low_shift = 0) {
    if (!begin(key_count, shift, low_shift)) return false;
    produce([&](Key key, const Payload&) { count(key); });
    if (!reserve()) return false;
    produce([&](Key key, const Payload& p) { file(key, p); });
    finish();
    return true;
  }

  // fill() for records filed under the smaller end of a pair of node IDs (an edge),
  // keys below key_count with that node at bit low_shift. each(visit) calls visit(a, b,
  // extra...) for every record, the same records in the same order each time (it runs
  // twice); file(*this, smaller end, larger end, a is the smaller end, extra...) files
  // one. Counting needs only each record's block, the smaller of a >> shift and
  // b >> shift: the two ends of an edge nearly always share a block, so that minimum,
  // unlike the ends' own, branches the same way whatever the numbering. False when
  // storage is refused.
  template <class Each, class File>
  bool fill_by_smaller_end(std::uint64_t key_count, unsigned shift, unsigned low_shift, Each&& each,
                           File&& file) {
    if (!begin(key_count, shift, low_shift)) return false;
    each([&](unsigned a, unsigned b, auto&&...) { count_block(std::min(a >> shift, b >> shift)); });
    if (!reserve()) return false;
    each([&](unsigned a, unsigned b, auto&&... extra) {
      const unsigned lo = smaller_end(a, b);
      file(*this, lo, a ^ b ^ lo, a == lo, extra...);
    });
    finish();
    return true;
  }

  // fill() in steps, for a caller that counts without making the payloads: begin, count
  // every key, reserve, file every record in the same order, finish.
  bool begin(std::uint64_t key_count, unsigned shift, unsigned low_shift = 0) {
    shift_ = shift;
    low_shift_ = low_shift;
    const std::size_t blocks = static_cast<std::size_t>((key_count >> shift) + 1);
    return start_.resize(0) && start_.resize(blocks + 1, 0);
  }
  void count(Key key) noexcept { ++start_[block_of(key) + 1]; }
  // count() for a record of block b (key >> low_shift >> shift), for a caller that
  // finds the block more cheaply than the key.
  void count_block(std::size_t b) noexcept { ++start_[b + 1]; }
  bool reserve() {
    // Block b was counted at start_[b + 1]: the running sums make that its start. The
    // records are reserved, not filled: every slot is written by file() (the array's size
    // stays 0; the block offsets say where the records are).
    const std::size_t blocks = start_.size() - 1;
    for (std::size_t b = 1; b <= blocks; ++b) start_[b] += start_[b - 1];
    return records_.reserve(start_[blocks]);
  }
  // start_[b] serves as block b's next slot while filing.
  void file(Key key, const Payload& p) noexcept {
    if constexpr (std::is_same_v<Payload, no_payload>) {
      (void)p;
      records_.data()[start_[block_of(key)]++] = record{key};
    } else {
      records_.data()[start_[block_of(key)]++] = record{key, p};
    }
  }
  void finish() noexcept {
    // Each block's next slot is now its end, the start of the next one: shift back.
    for (std::size_t b = start_.size() - 1; b > 0; --b) start_[b] = start_[b - 1];
    start_[0] = 0;
  }

  std::size_t blocks() const noexcept { return start_.size() - 1; }
  // The records of block b, in production order.
  const record* block_begin(std::size_t b) const noexcept { return records_.data() + start_[b]; }
  std::size_t block_size(std::size_t b) const noexcept { return start_[b + 1] - start_[b]; }
  std::size_t size() const noexcept { return start_[start_.size() - 1]; }

  // Calls f(records, count) for every block that has records, sorted by key, the
  // records of one key in production order; the sort runs in `scratch`, one block at a
  // time. False when storage is refused.
  template <class F>
  bool for_each_block(F&& f) const {
    std::size_t largest = 0;
    for (std::size_t b = 0; b < blocks(); ++b) largest = std::max(largest, block_size(b));
    dense1D<record, 8> sorted;
    dense1D<std::size_t, 8> count;
    if (!sorted.reserve(largest) || !count.resize((std::size_t{1} << shift_) + 1, 0)) return false;
    const Key mask = static_cast<Key>((Key{1} << shift_) - 1);
    const unsigned low = low_shift_;
    for (std::size_t b = 0; b < blocks(); ++b) {
      const record* r = block_begin(b);
      const std::size_t n = block_size(b);
      if (n == 0) continue;
      std::size_t* c = count.data();
      std::fill(c, c + count.size(), std::size_t{0});
      for (std::size_t i = 0; i < n; ++i) ++c[((r[i].key >> low) & mask) + 1];
      for (std::size_t k = 1; k < count.size(); ++k) c[k] += c[k - 1];
      record* s = sorted.data();
      for (std::size_t i = 0; i < n; ++i) s[c[(r[i].key >> low) & mask]++] = r[i];
      f(s, n);
    }
    return true;
  }

  // Calls f(key, records, count) for every key that has records, in key order, with its
  // records in production order. False when storage is refused.
  template <class F>
  bool for_each_key(F&& f) const {
    return for_each_block([&](record* s, std::size_t n) {
      for (std::size_t i = 0; i < n;) {
        std::size_t j = i + 1;
        while (j < n && s[j].key == s[i].key) ++j;
        f(s[i].key, s + i, j - i);
        i = j;
      }
    });
  }

 private:
  std::size_t block_of(Key key) const noexcept {
    return static_cast<std::size_t>((key >> low_shift_) >> shift_);
  }

  unsigned shift_ = 0, low_shift_ = 0;
  dense1D<std::size_t, 8> start_;  // block b's records at records_[start_[b] .. start_[b + 1])
  dense1D<record, 8> records_;
};

// Values bound for distinct slots of a large array, gathered by slot block before they
// are written, so that the writes land one cache-sized block at a time whatever order
// the values come in. Each block has room for every slot it covers: no counting pass. A
// value is filed with its slot's offset in the block and a 2-bit tag: 8 bytes for a
// 32-bit value.
template <class Value>
class block_writes {
 public:
  // For slots below slot_count, 2^shift per block (shift at most 30). False when storage
  // is refused.
  bool init(std::uint64_t slot_count, unsigned shift) {
    shift_ = shift;
    const std::size_t blocks = static_cast<std::size_t>((slot_count >> shift) + 1);
    return next_.resize(blocks, 0) && records_.reserve(blocks, std::size_t{1} << shift);
  }
  // Files value v (and tag, below 4) for slot s, when `keep`; each slot at most once
  // (kept or not). Without a branch on keep: the record is written either way, where
  // the block's next one goes (room that the slot's own record would take).
  template <class Slot>
  void add(Slot s, Value v, unsigned tag = 0, bool keep = true) noexcept {
    const std::size_t b = static_cast<std::size_t>(s >> shift_);
    const auto offset = static_cast<std::uint32_t>(s - (static_cast<Slot>(b) << shift_));
    records_.data()[(b << shift_) + next_[b]] = record{offset << 2 | tag, v};
    next_[b] += keep;
  }
  // Calls write(slot, value, tag) for every value filed, block after block.
  template <class Write>
  void apply(Write&& write) const {
    for (std::size_t b = 0; b < next_.size(); ++b)
      apply_block(b, [&](std::size_t offset, Value v, unsigned tag) {
        write((b << shift_) + offset, v, tag);
      });
  }
  // Calls write(offset in the block, value, tag) for every value filed for block b (the
  // slots from b << shift()), for a reader that takes the values one block at a time.
  template <class Write>
  void apply_block(std::size_t b, Write&& write) const {
    const record* r = records_.data() + (b << shift_);
    for (std::size_t i = 0; i < next_[b]; ++i) write(r[i].key >> 2, r[i].payload, r[i].key & 3u);
  }
  unsigned shift() const noexcept { return shift_; }

 private:
  using record = keyed<std::uint32_t, Value>;
  unsigned shift_ = 0;
  dense1D<std::size_t, 8> next_;  // values filed per block
  dense1D<record, 8> records_;    // block b's at records_[b << shift_ ...], reserved only
};

}  // namespace orvo::surfkit::detail
