// The conversion's edge table: its sorted form against its probing form, answer by answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "convert/edge_table.hpp"
#include "orvo/dense.hpp"

using orvo::dense2D;
using orvo::surfkit::detail::edge_table;

namespace {

struct occurrences {
  std::size_t nodes;
  dense2D<unsigned> given, quads, tris;
};

// Random elements (degenerate, fans, non-manifold); given edges repeated or met reversed.
occurrences random_case(unsigned seed, std::size_t nodes, std::size_t nq, std::size_t nt,
                        std::size_t ng, unsigned e) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<unsigned> id(0, static_cast<unsigned>(nodes - 1));
  occurrences o{nodes, dense2D<unsigned>(ng ? e + 2 : 0, ng), dense2D<unsigned>(4, nq),
                dense2D<unsigned>(3, nt)};
  for (std::size_t c = 0; c < nq; ++c)
    for (unsigned r = 0; r < 4; ++r) o.quads(r, c) = id(rng);
  for (std::size_t c = 0; c < nt; ++c)
    for (unsigned r = 0; r < 3; ++r) o.tris(r, c) = id(rng);
  for (std::size_t c = 0; c < ng; ++c) {
    unsigned a = id(rng), b = id(rng);
    if (c % 3 == 1 && nt) a = o.tris(2, c % nt), b = o.tris(0, c % nt);     // met the other way
    if (c % 3 == 2 && c > 1) a = o.given(0, c - 2), b = o.given(1, c - 2);  // a repeat
    o.given(0, c) = a, o.given(1, c) = b;
    for (unsigned r = 2; r < e + 2; ++r) o.given(r, c) = id(rng);
  }
  return o;
}

using answer = std::tuple<unsigned, bool, bool>;

// Every answer in the conversion's order and the new pairs; `sorted`: prepare_sorted.
std::pair<std::vector<answer>, std::vector<std::uint64_t>> run(const occurrences& o, unsigned e,
                                                               bool sorted) {
  const std::size_t g = o.given.cols();
  const std::uint64_t count = 4 * o.quads.cols() + 3 * o.tris.cols();
  edge_table t(o.nodes, count + g, count, e > 1);
  const auto nodes = static_cast<unsigned>(o.nodes);
  if (sorted) {
    EXPECT_TRUE(t.prepare_sorted(o.given, o.quads, o.tris, nodes, e));
  } else {
    for (std::size_t c = 0; c < g; ++c) t.count(o.given(0, c), o.given(1, c));
    for (std::size_t c = 0; c < o.quads.cols(); ++c)
      for (unsigned j = 0; j < 4; ++j) t.count(o.quads(j, c), o.quads((j + 1) % 4, c));
    for (std::size_t c = 0; c < o.tris.cols(); ++c)
      for (unsigned j = 0; j < 3; ++j) t.count(o.tris(j, c), o.tris((j + 1) % 3, c));
    t.reserve();
    for (std::size_t c = 0; c < g; ++c) t.assign(o.given(0, c), o.given(1, c), o.given(2, c));
  }
  std::vector<answer> answers;
  unsigned counter = nodes;
  const auto meet = [&](unsigned a, unsigned b) {
    const edge_table::edge f = t.find_or_insert(a, b, counter);
    if (f.inserted) counter += e;
    answers.emplace_back(f.first, f.along, f.inserted);
  };
  for (std::size_t c = 0; c < o.quads.cols(); ++c)
    for (unsigned j = 0; j < 4; ++j) meet(o.quads(j, c), o.quads((j + 1) % 4, c));
  for (std::size_t c = 0; c < o.tris.cols(); ++c)
    for (unsigned j = 0; j < 3; ++j) meet(o.tris(j, c), o.tris((j + 1) % 3, c));
  std::vector<std::uint64_t> pairs;
  for (std::size_t i = 0; i < t.new_count(); ++i) pairs.push_back(t.new_pair(i));
  return {answers, pairs};
}

}  // namespace

TEST(EdgeTable, SortedFormAnswersAsTheProbingForm) {
  // {nodes, quads, tris, given}; few nodes: long (hashed) runs; many: several blocks.
  const std::size_t sizes[][4] = {{6, 5, 9, 4}, {40, 60, 200, 30}, {20000, 3000, 30000, 500}};
  unsigned seed = 1;
  for (const auto& s : sizes)
    for (unsigned e : {1u, 2u, 3u})
      for (bool with_given : {false, true}) {
        const occurrences o = random_case(seed++, s[0], s[1], s[2], with_given ? s[3] : 0, e);
        const auto probing = run(o, e, false), sorted = run(o, e, true);
        ASSERT_EQ(sorted.first.size(), probing.first.size());
        for (std::size_t i = 0; i < probing.first.size(); ++i)
          ASSERT_EQ(sorted.first[i], probing.first[i])
              << "occurrence " << i << " (first ID, along, new) of " << s[0] << " nodes, e = " << e
              << (with_given ? ", given edges" : "");
        EXPECT_EQ(sorted.second, probing.second) << s[0] << " nodes, e = " << e;
      }
}
