#include "convert/convert_core.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "common/checks.hpp"
#include "common/id_locality.hpp"
#include "convert/edge_table.hpp"

namespace orvo::surfkit::detail {
namespace {

using u64 = std::uint64_t;

// Node and row counts stay below this: IDs are 32-bit and UINT_MAX means "none", so a
// mesh reaching it could not be addressed, and a wrapped row count would make every
// later read and write land outside its column.
constexpr u64 count_limit = UINT_MAX;

unsigned square_root(unsigned q) {
  u64 m = static_cast<u64>(std::sqrt(static_cast<double>(q)));
  while (m * m > q) --m;
  while ((m + 1) * (m + 1) <= q) ++m;
  return static_cast<unsigned>(m);
}

// Numbers the edges of every element, writing their node IDs into the element rows, with
// the lookups of an edge_table's cursor (either form). The fill loops work on a copy,
// which stays in registers.
template <class Lookups>
class edge_filler {
 public:
  edge_filler(Lookups lookups, unsigned e, u64 first_new)
      : lookups_(lookups), e_(e), counter_(first_new) {}

  // Edge (a, b) of an element whose e rows start at `rows`. False when its new nodes
  // would reach the count limit. Inlined, so that the copy's state stays in registers.
  __attribute__((always_inline)) bool fill(unsigned a, unsigned b, unsigned* rows) {
    const edge_table::edge f = lookups_.find_or_insert(a, b, static_cast<unsigned>(counter_));
    if (f.inserted) {
      if (counter_ + e_ >= count_limit) return false;
      counter_ += e_;
    }
    // The stored orientation lists the nodes from its first end; an element running the
    // other way lists the same IDs backwards.
    if (f.along) {
      for (unsigned k = 0; k < e_; ++k) rows[k] = f.first + k;
    } else {
      for (unsigned k = 0; k < e_; ++k) rows[k] = f.first + (e_ - 1 - k);
    }
    return true;
  }

  u64 counter() const noexcept { return counter_; }
  const Lookups& lookups() const noexcept { return lookups_; }

 private:
  Lookups lookups_;
  unsigned e_;
  u64 counter_;
};

// Declares every element edge to the table, which sizes its runs from the counts.
void count_edges(const dense2D<unsigned int>& quads, const dense2D<unsigned int>& tris,
                 edge_table& table) {
  for (std::size_t c = 0; c < quads.cols(); ++c) {
    const unsigned* col = quads.data() + c * quads.ld();
    for (int j = 0; j < 4; ++j) table.count(col[j], col[(j + 1) & 3]);
  }
  for (std::size_t c = 0; c < tris.cols(); ++c) {
    const unsigned* col = tris.data() + c * tris.ld();
    table.count(col[0], col[1]);
    table.count(col[1], col[2]);
    table.count(col[2], col[0]);
  }
}

// The converted rows of one element array. An array whose columns are too short for the
// new rows (a packed input, the usual case) is rebuilt in fresh storage when edges are
// numbered, and the numbering pass copies the vertex rows on its way: the array is
// written once, instead of being grown by a full copy and then read and written again.
// Otherwise it grows in place (room in its columns already, or nothing to number). The
// caller's array changes only at commit().
class grown_elements {
 public:
  explicit grown_elements(dense2D<unsigned int>& array) : array_(array) {}
  bool grow(std::size_t rows, bool numbering) {
    rebuild_ = numbering && array_.cols() != 0 && array_.ld() < rows;
    return rebuild_ ? fresh_.resize_for_overwrite(rows, array_.cols())
                    : array_.resize(rows, array_.cols());
  }
  const dense2D<unsigned int>& in() const noexcept { return array_; }
  dense2D<unsigned int>& out() noexcept { return rebuild_ ? fresh_ : array_; }
  void commit() noexcept {
    if (rebuild_) array_ = std::move(fresh_);
  }

 private:
  dense2D<unsigned int>& array_;
  dense2D<unsigned int> fresh_;
  bool rebuild_ = false;
};

// Vertex rows copied from `in` (a no-op when in and out are one array) and edge rows
// numbered, element by element.
template <class Filler>
bool fill_quadrangles(grown_elements& quads, unsigned e, Filler& filler_state) {
  Filler filler = filler_state;  // a local copy: its state stays in registers
  const dense2D<unsigned int>& in = quads.in();
  dense2D<unsigned int>& out = quads.out();
  const std::size_t nq = in.cols(), in_ld = in.ld(), out_ld = out.ld();
  for (std::size_t c = 0; c < nq; ++c) {
    const unsigned* v = in.data() + c * in_ld;
    unsigned* col = out.data() + c * out_ld;
    const unsigned v0 = v[0], v1 = v[1], v2 = v[2], v3 = v[3];
    col[0] = v0, col[1] = v1, col[2] = v2, col[3] = v3;
    if (!filler.fill(v0, v1, col + 4) || !filler.fill(v1, v2, col + 4 + e) ||
        !filler.fill(v2, v3, col + 4 + 2 * static_cast<std::size_t>(e)) ||
        !filler.fill(v3, v0, col + 4 + 3 * static_cast<std::size_t>(e)))
      return false;
  }
  filler_state = filler;
  return true;
}

template <class Filler>
bool fill_triangles(grown_elements& tris, unsigned e, Filler& filler_state) {
  Filler filler = filler_state;  // a local copy: its state stays in registers
  const dense2D<unsigned int>& in = tris.in();
  dense2D<unsigned int>& out = tris.out();
  const std::size_t nt = in.cols(), in_ld = in.ld(), out_ld = out.ld();
  for (std::size_t c = 0; c < nt; ++c) {
    const unsigned* v = in.data() + c * in_ld;
    unsigned* col = out.data() + c * out_ld;
    const unsigned v0 = v[0], v1 = v[1], v2 = v[2];
    col[0] = v0, col[1] = v1, col[2] = v2;
    // Met in the order (0, 1), (1, 2), (2, 0), which fixes the numbering of new nodes,
    // but stored as local edges 2, 0, 1: the rows of edge j face vertex j.
    if (!filler.fill(v0, v1, col + 3 + 2 * static_cast<std::size_t>(e)) ||
        !filler.fill(v1, v2, col + 3) || !filler.fill(v2, v0, col + 3 + e))
      return false;
  }
  filler_state = filler;
  return true;
}

// Node n + i e + k, k < e, of the i-th new edge (stored as (p0, p1)), at
// X(p0) + (k + 1) / (e + 1) (X(p1) - X(p0)), in D dimensions. Nodes of given edges exist
// already and stay where they are. One pass per k, so that its fraction is computed once
// and not once per edge. `scattered`: the edges were met in no order of their nodes
// (a shuffled mesh), so that every end is a cache miss; the ends of the edges a few
// places on are then asked for early, which overlaps the misses (a quarter of this
// pass in a shuffled mesh of 2 M triangles). In node order they are in cache already.
template <std::size_t D>
void place_edge_nodes(dense2D<double>& coords, const edge_table& table, unsigned e, u64 n,
                      bool scattered) {
  const std::size_t ld = coords.ld(), edges = table.new_count();
  const std::size_t ahead = scattered ? 16 : edges;
  double* x = coords.data();
  const double steps = static_cast<double>(e) + 1.0;
  for (unsigned k = 0; k < e; ++k) {
    const double s = (static_cast<double>(k) + 1.0) / steps;
    double* out = x + (n + k) * ld;
    for (std::size_t i = 0; i < edges; ++i, out += e * ld) {
      if (i + ahead < edges) {
        const u64 later = table.new_pair(i + ahead);
        __builtin_prefetch(x + (later >> 32) * ld);
        __builtin_prefetch(x + (later & 0xffffffffu) * ld);
      }
      const u64 pair = table.new_pair(i);
      const double* p0 = x + (pair >> 32) * ld;
      const double* p1 = x + (pair & 0xffffffffu) * ld;
      for (std::size_t r = 0; r < D; ++r) out[r] = p0[r] + s * (p1[r] - p0[r]);
    }
  }
}

// The m by m interior grid of every quadrangle, row by row, bilinear in its vertices.
void place_quadrangle_interiors(dense2D<double>& coords, dense2D<unsigned int>& quads, unsigned e,
                                unsigned m, u64 id) {
  const std::size_t d = coords.rows(), ld = coords.ld();
  double* x = coords.data();
  const double steps = static_cast<double>(m) + 1.0;
  for (std::size_t c = 0; c < quads.cols(); ++c) {
    unsigned* col = quads.data() + c * quads.ld();
    unsigned* rows = col + 4 + 4 * static_cast<std::size_t>(e);
    const double *x0 = x + col[0] * ld, *x1 = x + col[1] * ld, *x2 = x + col[2] * ld,
                 *x3 = x + col[3] * ld;
    for (unsigned i = 0; i < m; ++i) {
      const double v = (static_cast<double>(i) + 1.0) / steps;
      for (unsigned k = 0; k < m; ++k, ++id) {
        const double u = (static_cast<double>(k) + 1.0) / steps;
        const double w0 = (1 - u) * (1 - v), w1 = u * (1 - v), w2 = u * v, w3 = (1 - u) * v;
        double* out = x + id * ld;
        for (std::size_t r = 0; r < d; ++r)
          out[r] = w0 * x0[r] + w1 * x1[r] + w2 * x2[r] + w3 * x3[r];
        *rows++ = static_cast<unsigned>(id);
      }
    }
  }
}

// One node at the centroid (t = 1), or three at barycentric weights (1/6, 1/6, 2/3),
// (1/3, 1/6, 1/2), (1/6, 1/3, 1/2) (t = 3), written as X2 + l0 (X0 - X2) + l1 (X1 - X2).
void place_triangle_interiors(dense2D<double>& coords, dense2D<unsigned int>& tris, unsigned e,
                              unsigned t, u64 id) {
  static const double one[][2] = {{1.0 / 3, 1.0 / 3}};
  static const double three[][2] = {{1.0 / 6, 1.0 / 6}, {1.0 / 3, 1.0 / 6}, {1.0 / 6, 1.0 / 3}};
  const double(*weights)[2] = t == 1 ? one : three;
  const std::size_t d = coords.rows(), ld = coords.ld();
  double* x = coords.data();
  for (std::size_t c = 0; c < tris.cols(); ++c) {
    unsigned* col = tris.data() + c * tris.ld();
    unsigned* rows = col + 3 + 3 * static_cast<std::size_t>(e);
    const double *x0 = x + col[0] * ld, *x1 = x + col[1] * ld, *x2 = x + col[2] * ld;
    for (unsigned k = 0; k < t; ++k, ++id) {
      const double l0 = weights[k][0], l1 = weights[k][1];
      double* out = x + id * ld;
      for (std::size_t r = 0; r < d; ++r)
        out[r] = x2[r] + l0 * (x0[r] - x2[r]) + l1 * (x1[r] - x2[r]);
      *rows++ = static_cast<unsigned>(id);
    }
  }
}

// count + per * elements, or count_limit when that reaches it.
u64 add_interiors(u64 count, unsigned per, std::size_t elements) {
  if (per == 0 || elements == 0 || count >= count_limit) return count;
  if (elements > (count_limit - count) / per) return count_limit;
  return count + static_cast<u64>(per) * elements;
}

}  // namespace

bool given_edges_ok(const dense2D<unsigned int>& given, unsigned e, std::size_t node_count) {
  if (given.empty()) return true;
  if (given.rows() != static_cast<u64>(e) + 2) return false;
  if (!basekit::check_IDs(given, id_limit(node_count))) return false;
  // check_IDs lets UINT_MAX ("none") through, but rows 0 to 2 name real nodes: an end
  // node of UINT_MAX would be numbered as a new node, and inner nodes running past the
  // last existing one would collide with the nodes this call creates.
  const std::size_t read = given.rows() < 3 ? given.rows() : 3;
  for (std::size_t c = 0; c < given.cols(); ++c) {
    const unsigned* col = given.data() + c * given.ld();
    for (std::size_t r = 0; r < read; ++r)
      if (col[r] == UINT_MAX) return false;
    if (e > 0 && static_cast<u64>(col[2]) + e - 1 >= node_count) return false;
  }
  return true;
}

int convert(dense2D<double>& coords, dense2D<unsigned int>& quads, dense2D<unsigned int>& tris,
            unsigned e, unsigned q, unsigned t, const dense2D<unsigned int>& given) {
  // The coordinates are tested even when there is nothing to convert.
  if (!coordinates_ok(coords)) return -1;
  if (quads.cols() == 0 && tris.cols() == 0) return 0;
  if (e == 0 && q == 0 && t == 0) return 0;
  const std::size_t n = coords.cols();
  if (!input_connectivity_ok(quads, Q4, n)) return -2;
  if (!input_connectivity_ok(tris, T3, n)) return -3;
  const unsigned m = square_root(q);
  if (static_cast<u64>(m) * m != q) return -5;
  if (t != 0 && t != 1 && t != 3) return -6;
  if (!given_edges_ok(given, e, n)) return -7;

  const std::size_t nq = quads.cols(), nt = tris.cols();
  const u64 quad_rows = 4 + 4 * static_cast<u64>(e) + q;
  const u64 tri_rows = 3 + 3 * static_cast<u64>(e) + t;
  if ((nq && quad_rows >= count_limit) || (nt && tri_rows >= count_limit)) return storage_refused;

  // Scratch before any argument changes: running out here leaves them all untouched.
  // Room for every new pair the call can list: the elements' edges as far as their nodes
  // can be numbered below the count limit.
  const std::size_t given_count = given.empty() ? 0 : given.cols();
  u64 new_pairs = 4 * static_cast<u64>(nq) + 3 * static_cast<u64>(nt);
  const u64 occurrences = new_pairs + given_count;
  if (e && n < count_limit) new_pairs = std::min<u64>(new_pairs, (count_limit - n) / e + 1);
  edge_table table(e ? n : 0, e ? occurrences : 0, e ? new_pairs : 0, e > 1);
  // Elements that do not follow their nodes' order (shuffled IDs) are sorted first, so
  // that the lookups do not jump through the table; keys then hold a node ID and a bit.
  const bool sort_first = e && n < (u64{1} << 31) &&
                          !(elements_follow_nodes(quads, 14) && elements_follow_nodes(tris, 14));
  if (sort_first) {
    if (!table.prepare_sorted(given, quads, tris, static_cast<unsigned>(n), e))
      return storage_refused;
  } else if (e) {
    for (std::size_t c = 0; c < given_count; ++c) {
      const unsigned* col = given.data() + c * given.ld();
      table.count(col[0], col[1]);
    }
    count_edges(quads, tris, table);
    table.reserve();
    for (std::size_t c = 0; c < given_count; ++c) {
      const unsigned* col = given.data() + c * given.ld();
      table.assign(col[0], col[1], col[2]);
    }
  }

  // From here every way out but success puts the arguments back at their entry extents;
  // the entries inside them are never written.
  extent_guard<dense2D<unsigned int>> keep_quads(quads), keep_tris(tris);
  extent_guard<dense2D<double>> keep_coords(coords);
  grown_elements new_quads(quads), new_tris(tris);
  if (!new_quads.grow(quad_rows, e > 0) || !new_tris.grow(tri_rows, e > 0)) return storage_refused;
  // Both element kinds, one after the other, through either form's cursor.
  u64 edge_end = n;
  const auto fill_all = [&](auto filler) {
    if (!fill_quadrangles(new_quads, e, filler) || !fill_triangles(new_tris, e, filler))
      return false;
    table.done(filler.lookups());
    edge_end = filler.counter();
    return true;
  };
  if (e && !(sort_first ? fill_all(edge_filler<edge_table::cursor>(table.sorted_lookups(), e, n))
                        : fill_all(edge_filler<edge_table::table_cursor>(table.lookups(), e, n))))
    return storage_refused;
  const u64 quad_end = add_interiors(edge_end, q, nq);
  const u64 count = add_interiors(quad_end, t, nt);
  if (count >= count_limit) return storage_refused;
  // Every new column is written below (edge nodes of new edges, then the interiors), so
  // the coordinates grow without a first fill.
  if (!coords.resize_for_overwrite(coords.rows(), count)) return storage_refused;

  if (e)
    (coords.rows() == 2 ? place_edge_nodes<2> : place_edge_nodes<3>)(coords, table, e, n,
                                                                     sort_first);
  if (q) place_quadrangle_interiors(coords, new_quads.out(), e, m, edge_end);
  if (t) place_triangle_interiors(coords, new_tris.out(), e, t, quad_end);
  new_quads.commit();
  new_tris.commit();
  keep_quads.dismiss();
  keep_tris.dismiss();
  keep_coords.dismiss();
  return 0;
}

}  // namespace orvo::surfkit::detail
