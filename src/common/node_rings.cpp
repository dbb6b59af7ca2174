#include "common/node_rings.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/mesh_access.hpp"

namespace orvo::surfkit::detail {

bool node_adjacency::build(const dense2D<unsigned int>& conn, std::size_t node_count) {
  // Every element names each of its nodes' two element neighbours: count, place, then
  // sort and squeeze each node's run in place (runs only shrink, so the write position
  // never passes the read position).
  const std::size_t rows = conn.rows();
  if (conn.cols() > SIZE_MAX / 8) return false;
  if (!start_.resize(node_count + 1, 0) || !list_.resize(2 * rows * conn.cols())) return false;
  std::uint64_t* start = start_.data();
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = element(conn, e);
    const unsigned n = corners(ids, rows);
    for (unsigned k = 0; k < n; ++k) start[ids[k] + 1] += 2;
  }
  for (std::size_t v = 0; v < node_count; ++v) start[v + 1] += start[v];
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = element(conn, e);
    const unsigned n = corners(ids, rows);
    for (unsigned k = 0; k < n; ++k) {
      unsigned* at = list_.data() + start[ids[k]];
      at[0] = ids[(k + 1) % n];
      at[1] = ids[(k + n - 1) % n];
      start[ids[k]] += 2;
    }
  }
  // start[v] now holds the end of v's run, which is where v + 1's run begins.
  std::uint64_t read = 0, write = 0;
  for (std::size_t v = 0; v < node_count; ++v) {
    unsigned* first = list_.data() + read;
    unsigned* last = list_.data() + start[v];
    read = start[v];
    std::sort(first, last);
    last = std::unique(first, last);
    const std::uint64_t begin = write;
    for (const unsigned* w = first; w != last; ++w)
      if (*w != v) list_[write++] = *w;
    start[v] = begin;
  }
  start[node_count] = write;
  return list_.resize(write);  // shrinking: never refused
}

bool node_rings::init(std::size_t node_count) {
  stamp_ = 0;
  rings_ = 0;
  last_ = 0;
  return stamps_.resize(node_count, 0) && list_.reserve(64) && list_.resize(0);
}

void node_rings::start(unsigned v) {
  if (stamp_ == std::numeric_limits<std::uint32_t>::max()) {
    std::fill(stamps_.begin(), stamps_.end(), 0);
    stamp_ = 0;
  }
  ++stamp_;
  stamps_[v] = stamp_;
  centre_ = v;
  rings_ = 0;
  last_ = 0;
  list_.resize(0);
}

bool node_rings::take(unsigned w) {
  if (stamps_[w] == stamp_) return true;
  stamps_[w] = stamp_;
  return list_.push_back(w);
}

bool node_rings::grow(const node_adjacency& adjacency, const unsigned char* barrier) {
  const std::size_t first = last_, end = list_.size();
  last_ = end;
  ++rings_;
  if (rings_ == 1) {
    for (const unsigned* w = adjacency.begin(centre_); w != adjacency.end(centre_); ++w)
      if (!take(*w)) return false;
    return true;
  }
  for (std::size_t i = first; i < end; ++i) {
    const unsigned u = list_[i];
    if (barrier && barrier[u]) continue;
    for (const unsigned* w = adjacency.begin(u); w != adjacency.end(u); ++w)
      if (!take(*w)) return false;
  }
  return true;
}

}  // namespace orvo::surfkit::detail
