#include "convert/edge_table.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "common/key_buckets.hpp"
#include "common/small_groups.hpp"
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
  reserve_list();
}

void edge_table::reserve_list() {
  // Allocated, not touched: the pages are used only as pairs are listed.
  new_pairs_.reset(
      static_cast<std::uint64_t*>(std::malloc((max_new_ + 1) * sizeof(std::uint64_t))));
  if (!new_pairs_) throw std::bad_alloc();
  orvo::detail::offer_large_pages(new_pairs_.get(), max_new_ + 1);
}

void edge_table::read_answers(std::size_t b) const noexcept {
  unsigned* value = value_.data();
  unsigned char* tag = tag_.data();
  // An occurrence with no answer filed is its edge's first, of an edge not given.
  const auto first = static_cast<unsigned>(b << answers_.shift());
  for (std::size_t j = 0; j < value_.size(); ++j) {
    value[j] = first + static_cast<unsigned>(j);
    tag[j] = static_cast<unsigned char>(along_tag);
  }
  answers_.apply_block(b, [&](std::size_t j, unsigned v, unsigned t) {
    value[j] = v;
    tag[j] = static_cast<unsigned char>(t);
  });
}

namespace {

// An edge occurrence filed under its smaller node: its larger node shifted left once,
// plus 1 when the occurrence runs from the smaller node ("from_lo"), and its index in
// the order met, given edges first. Filed as one 64-bit word (smaller node, that, index,
// from the top) when they fit, which saves a third of the scratch and of the traffic.
struct occurrence {
  unsigned hi_from_lo, index;
};

// Nodes per block of the sort (a triangle mesh's block, some 25 k occurrences, sorts in
// the L2 cache) and occurrences per block of written answers.
constexpr unsigned node_bits = 12, answer_bits = 14;

}  // namespace

bool edge_table::prepare_sorted(const dense2D<unsigned int>& given,
                                const dense2D<unsigned int>& quads,
                                const dense2D<unsigned int>& tris, unsigned first_new,
                                unsigned step, bool packed) {
  first_new_ = first_new;
  step_ = step;
  const std::size_t g = given.empty() ? 0 : given.cols();
  const std::size_t count = 4 * quads.cols() + 3 * tris.cols();  // element occurrences
  const std::uint64_t nodes = start_.size() - 1;
  // Calls edge(a, b) for every occurrence (a, b), in the order the conversion meets them.
  const auto for_each_occurrence = [&](auto&& edge) {
    for (std::size_t c = 0; c < g; ++c) {
      const unsigned* col = given.data() + c * given.ld();
      edge(col[0], col[1]);
    }
    for (std::size_t c = 0; c < quads.cols(); ++c) {
      const unsigned* col = quads.data() + c * quads.ld();
      for (int j = 0; j < 4; ++j) edge(col[j], col[(j + 1) & 3]);
    }
    for (std::size_t c = 0; c < tris.cols(); ++c) {
      const unsigned* col = tris.data() + c * tris.ld();
      edge(col[0], col[1]);
      edge(col[1], col[2]);
      edge(col[2], col[0]);
    }
  };

  block_writes<unsigned>& answers = answers_;
  const unsigned answer_shift = block_shift(count, answer_bits);
  if (!answers.init(count, answer_shift)) return false;
  // What every element occurrence of one edge is told: the first occurrence (lowest
  // index) fixes the stored orientation and, for a new edge, is where its nodes are
  // numbered; given occurrences (indices below g, which come first) fix the first ID,
  // the last of them winning. `first` and `last_given` index the edge's occurrences in
  // `o`; last_given is meaningful when the first occurrence is given.
  const auto answer = [&](const occurrence& x, const occurrence& first,
                          const occurrence& last_given) {
    const bool along = !oriented_ || ((x.hi_from_lo ^ first.hi_from_lo) & 1u) == 0;
    if (first.index < g) {
      answers.add(x.index - g, given.data()[last_given.index * given.ld() + 2],
                  (along ? along_tag : 0u) | given_tag);
    } else {
      // An edge's first occurrence is told so by having no answer (see read_answers),
      // which spares filing half of them.
      answers.add(x.index - g, first.index - static_cast<unsigned>(g), along ? along_tag : 0u,
                  x.index != first.index);
    }
  };
  // One smaller node's occurrences, in index order. A small group is matched by
  // comparing each occurrence's larger node with the whole group's at once and reading
  // its edge's first and last given occurrence off the bit mask: sorting each group by
  // larger node, as larger ones are, branches on the order of its entries, which follows
  // the numbering.
  alignas(16) unsigned hi[small_group];
  const auto settle = [&](occurrence* o, std::size_t k) {
    std::size_t given_here = 0;
    while (given_here < k && o[given_here].index < g) ++given_here;
    if (k <= small_group) {
      std::fill(hi, hi + small_group, UINT_MAX);  // no node ID reaches it
      for (std::size_t j = 0; j < k; ++j) hi[j] = o[j].hi_from_lo >> 1;
      const std::uint32_t given_bits = (std::uint32_t{1} << given_here) - 1;
      for (std::size_t i = given_here; i < k; ++i) {
        const std::uint32_t same =
            k <= small_group / 2 ? equal_mask<2>(hi, hi[i]) : equal_mask<4>(hi, hi[i]);
        const std::uint32_t same_given = same & given_bits;
        answer(o[i], o[__builtin_ctz(same)], o[same_given ? 31 - __builtin_clz(same_given) : 0]);
      }
      return;
    }
    std::sort(o, o + k, [](const occurrence& x, const occurrence& y) {
      const unsigned hx = x.hi_from_lo >> 1, hy = y.hi_from_lo >> 1;
      return hx != hy ? hx < hy : x.index < y.index;
    });
    for (std::size_t p = 0; p < k;) {
      std::size_t q = p + 1, last_given = p;
      while (q < k && (o[q].hi_from_lo >> 1) == (o[p].hi_from_lo >> 1)) {
        if (o[q].index < g) last_given = q;
        ++q;
      }
      for (std::size_t i = p; i < q; ++i)
        if (o[i].index >= g) answer(o[i], o[p], o[last_given]);
      p = q;
    }
  };
  // The groups of a sorted block, decoded one at a time (at most a block of them).
  dense1D<occurrence, 8> group;
  bool decoded = true;  // every group had room
  const auto settle_block = [&](const auto* r, std::size_t n, auto node_of, auto decode) {
    if (group.capacity() < n && !group.reserve(n)) {
      decoded = false;
      return;
    }
    occurrence* o = group.data();
    for (std::size_t i = 0; i < n;) {
      const auto node = node_of(r[i]);
      std::size_t j = i;
      for (; j < n && node_of(r[j]) == node; ++j) o[j - i] = decode(r[j]);
      settle(o, j - i);
      i = j;
    }
  };

  // Files every occurrence through file(filed, smaller node, larger node, index).
  const unsigned shift = block_shift(nodes, node_bits);
  const auto file_all = [&](auto& filed, unsigned low, auto&& file) {
    return filed.fill_by_smaller_end(
        nodes, shift, low,
        [&](auto&& visit) {
          unsigned index = 0;
          for_each_occurrence([&](unsigned a, unsigned b) { visit(a, b, index++); });
        },
        [&](auto& f, unsigned lo, unsigned hi, bool from_lo, unsigned index) {
          file(f, lo, hi << 1 | static_cast<unsigned>(from_lo), index);
        });
  };

  const unsigned node_bits_used = bits_below(nodes);
  const unsigned index_bits = bits_below(g + count);
  bool sorted = false;
  if (packed && 2 * node_bits_used + 1 + index_bits <= 64) {
    const unsigned low = node_bits_used + 1 + index_bits;
    const std::uint64_t index_mask = (std::uint64_t{1} << index_bits) - 1;
    const std::uint64_t hi_mask = (std::uint64_t{1} << (node_bits_used + 1)) - 1;
    key_buckets<std::uint64_t, no_payload> filed;
    sorted = file_all(filed, low,
                      [&](auto& f, unsigned lo, unsigned hi_from_lo, unsigned index) {
                        f.file(std::uint64_t{lo} << low | std::uint64_t{hi_from_lo} << index_bits |
                                   index,
                               no_payload{});
                      }) &&
             filed.for_each_block([&](const auto* r, std::size_t n) {
               settle_block(
                   r, n, [&](const auto& x) { return x.key >> low; },
                   [&](const auto& x) {
                     return occurrence{static_cast<unsigned>((x.key >> index_bits) & hi_mask),
                                       static_cast<unsigned>(x.key & index_mask)};
                   });
             });
  } else {
    key_buckets<unsigned, occurrence> filed;
    sorted =
        file_all(filed, 0,
                 [&](auto& f, unsigned lo, unsigned hi_from_lo, unsigned index) {
                   f.file(lo, occurrence{hi_from_lo, index});
                 }) &&
        filed.for_each_block([&](const auto* r, std::size_t n) {
          settle_block(
              r, n, [](const auto& x) { return x.key; }, [](const auto& x) { return x.payload; });
        });
  }
  const std::size_t words = count / 64 + 1, block = std::size_t{1} << answer_shift;
  if (!sorted || !decoded || !value_.resize(block) || !tag_.resize(block) ||
      !first_met_.resize(words, 0) || !new_before_.resize(words, 0))
    return false;
  reserve_list();
  return true;
}

}  // namespace orvo::surfkit::detail
