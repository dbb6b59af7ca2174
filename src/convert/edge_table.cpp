#include "convert/edge_table.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "common/key_buckets.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

void edge_table::free_block::operator()(void* p) const noexcept {
  std::free(p);
}

edge_table::edge_table(std::size_t node_count, std::uint64_t occurrences, std::size_t max_new,
                       bool oriented)
    : oriented_(oriented), max_new_(max_new) {
  if (occurrences >= UINT_MAX) throw std::bad_alloc();
  start_.assign(node_count + 1, 0u);
}

void edge_table::reserve() {
  // Node lo counted its occurrences in start_[lo + 1]. Its run gets as many slots, twice
  // as many when the run is long and hashed, and the running sums give every start_[lo]
  // the slots of the nodes before lo: where lo's run begins. They stay 32-bit.
  std::uint64_t total = 0;
  for (unsigned& s : start_) {
    total += s <= short_run ? s : 2 * static_cast<std::uint64_t>(s);
    if (total >= UINT_MAX) throw std::bad_alloc();
    s = static_cast<unsigned>(total);
  }
  const std::size_t slots = static_cast<std::size_t>(total);
  // calloc: a free slot is all zero bits, and fresh pages come zeroed already.
  slots_.reset(static_cast<slot*>(std::calloc(slots ? slots : 1, sizeof(slot))));
  if (!slots_) throw std::bad_alloc();
  orvo::detail::offer_large_pages(slots_.get(), slots);
  if (oriented_) {
    lo_first_.reset(static_cast<unsigned char*>(std::calloc(slots ? slots : 1, 1)));
    if (!lo_first_) throw std::bad_alloc();
    orvo::detail::offer_large_pages(lo_first_.get(), slots);
  }
  // Reserved, not touched: the pages are used only as pairs are listed.
  new_pairs_.reserve(max_new_);
  orvo::detail::offer_large_pages(new_pairs_.data(), max_new_);
}

void edge_table::assign(unsigned a, unsigned b, unsigned first) noexcept {
  const unsigned lo = a < b ? a : b, key = (a ^ b ^ lo) + 1;
  slot* s = find(lo, key);
  if (s->key != 0)
    s->first = first;
  else
    store(s, key, first, a == lo);
}

namespace {

// An edge occurrence filed under its smaller node (key: that node << 1, plus 1 when the
// occurrence runs from it): its larger node and its index, given edges first.
struct occurrence {
  unsigned hi, index;
};
using occurrence_record = keyed<unsigned, occurrence>;

// Nodes per block of the sort (a triangle mesh's block, some 50 k occurrences of 12
// bytes, sorts in the L2 cache) and occurrences per block of written answers.
constexpr unsigned node_bits = 12, answer_bits = 14;

}  // namespace

bool edge_table::prepare_sorted(const dense2D<unsigned int>& given,
                                const dense2D<unsigned int>& quads,
                                const dense2D<unsigned int>& tris, unsigned first_new,
                                unsigned step) {
  sorted_ = true;
  first_new_ = first_new;
  step_ = step;
  const std::size_t g = given.empty() ? 0 : given.cols();
  const std::size_t count = 4 * quads.cols() + 3 * tris.cols();  // element occurrences
  const std::uint64_t keys = 2 * static_cast<std::uint64_t>(start_.size() - 1);
  key_buckets<unsigned, occurrence> filed;
  const bool ok = filed.fill(keys, block_shift(keys, node_bits + 1), [&](auto&& emit) {
    unsigned index = 0;
    const auto put = [&](unsigned a, unsigned b) {
      const unsigned lo = a < b ? a : b;
      emit(lo << 1 | static_cast<unsigned>(a == lo), occurrence{a ^ b ^ lo, index++});
    };
    for (std::size_t c = 0; c < g; ++c) {
      const unsigned* col = given.data() + c * given.ld();
      put(col[0], col[1]);
    }
    for (std::size_t c = 0; c < quads.cols(); ++c) {
      const unsigned* col = quads.data() + c * quads.ld();
      for (int j = 0; j < 4; ++j) put(col[j], col[(j + 1) & 3]);
    }
    for (std::size_t c = 0; c < tris.cols(); ++c) {
      const unsigned* col = tris.data() + c * tris.ld();
      put(col[0], col[1]);
      put(col[1], col[2]);
      put(col[2], col[0]);
    }
  });
  block_writes<unsigned> answers;
  if (!ok || !answers.init(count, block_shift(count, answer_bits))) return false;
  // One edge's occurrences, by index: the first fixes the stored orientation; the given
  // ones (indices below g) the first ID, the last of them winning.
  const auto settle = [&](const occurrence_record* r, std::size_t k) {
    const unsigned stored = r[0].key & 1u;
    const bool given_edge = r[0].payload.index < g;
    std::size_t p = 0;
    unsigned value = r[0].payload.index - static_cast<unsigned>(g);
    if (given_edge) {
      while (p + 1 < k && r[p + 1].payload.index < g) ++p;
      value = given.data()[r[p].payload.index * given.ld() + 2];
      ++p;
    }
    for (; p < k; ++p) {
      const bool along = !oriented_ || (r[p].key & 1u) == stored;
      answers.add(r[p].payload.index - g, value,
                  (along ? along_tag : 0u) | (given_edge ? given_tag : 0u));
    }
  };
  const bool sorted = filed.for_each_block([&](occurrence_record* s, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
      std::size_t j = i + 1;
      while (j < n && (s[j].key >> 1) == (s[i].key >> 1)) ++j;
      // One node's occurrences, both ways along, by larger node and then index.
      std::sort(s + i, s + j, [](const occurrence_record& x, const occurrence_record& y) {
        return x.payload.hi != y.payload.hi ? x.payload.hi < y.payload.hi
                                            : x.payload.index < y.payload.index;
      });
      for (std::size_t p = i; p < j;) {
        std::size_t q = p + 1;
        while (q < j && s[q].payload.hi == s[p].payload.hi) ++q;
        settle(s + p, q - p);
        p = q;
      }
      i = j;
    }
  });
  const std::size_t words = count / 64 + 1;
  if (!sorted || !value_.resize(count) || !tag_.resize(count) || !first_met_.resize(words, 0) ||
      !new_before_.resize(words, 0))
    return false;
  unsigned* value = value_.data();
  unsigned char* tag = tag_.data();
  answers.apply([&](std::size_t i, unsigned v, unsigned t) {
    value[i] = v;
    tag[i] = static_cast<unsigned char>(t);
  });
  // Reserved, not touched, as in reserve().
  new_pairs_.reserve(max_new_);
  orvo::detail::offer_large_pages(new_pairs_.data(), max_new_);
  return true;
}

}  // namespace orvo::surfkit::detail
