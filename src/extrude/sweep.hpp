// The call sequence every extrusion export shares: argument checks in their fixed order,
// the layer count, the layer node table, the element layers, the node layers and the
// roll-back. A family supplies only its transform (see the transform concept below) and
// a sweep_spec stating which rows, codes and layer spacing its overload has.
//
// Transform concept (one object per call):
//   std::size_t width() const             coordinates a copy reads and writes (2 or 3)
//   std::size_t node_rows(std::size_t r)  row count of the coordinates once the node
//                                         layers are added, given the current rows r
//   double path_length(const dense2D<double>& coords, unsigned first_node) const
//                                         length of the path of the line's first node
//                                         (sizing overloads only)
//   void prepare(double* x) const         turns a source position into what place reads
//   void set_fraction(double t)           the layer at fraction t of the sweep is next
//   void place(const double* x, double* out) const
//                                         writes width() coordinates of one copy
//   std::size_t place_leading(const double* x, std::size_t count, double* out) const
//                                         places copies of the first of `count` packed
//                                         sources into packed columns as place would, as
//                                         many as it has a faster form for (0 to count),
//                                         and returns how many
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/cells.hpp"
#include "common/checks.hpp"
#include "extrude/grading.hpp"
#include "extrude/layers.hpp"
#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

enum class cell_kind { quads, triangles };

// What one overload accepts and the codes it reports.
struct sweep_spec {
  cell_kind cells = cell_kind::quads;
  bool plane_only = false;   // coordinates must have 2 rows (else 2 or 3)
  bool space_first = false;  // coordinates go to 3 rows before the work starts
  bool sized = false;        // N follows from h0, h1 and the path length
  bool at_least_one = true;  // a sized sweep makes at least one layer
  unsigned layers = 0;       // layer count (count overloads)
  double h0 = 0, h1 = 0;     // target sizes (sizing overloads; 0: even spacing)
  bool force_even = false;   // sizing overloads: an even layer count
  int pattern = 1;           // triangles: diagonal pattern
  int h0_code = 0, h1_code = 0;
  int pattern_code = 0;  // 0: the pattern is not tested
  int surface_code = 0;
};

// The layer plan of a layer-count overload.
inline sweep_spec by_count(cell_kind cells, unsigned layers, int surface_code) noexcept {
  sweep_spec sp;
  sp.cells = cells;
  sp.layers = layers;
  sp.surface_code = surface_code;
  return sp;
}

// The layer plan of a sizing overload; h1's code follows h0's.
inline sweep_spec by_sizes(cell_kind cells, double h0, double h1, bool force_even, int h0_code,
                           int surface_code) noexcept {
  sweep_spec sp;
  sp.cells = cells;
  sp.sized = true;
  sp.h0 = h0;
  sp.h1 = h1;
  sp.force_even = force_even;
  sp.h0_code = h0_code;
  sp.h1_code = h0_code - 1;
  sp.surface_code = surface_code;
  return sp;
}

// Adds the triangle pattern; pattern_code 0 lets every value through (as pattern 1).
inline sweep_spec with_pattern(sweep_spec sp, int pattern, int pattern_code) noexcept {
  sp.pattern = pattern;
  sp.pattern_code = pattern_code;
  return sp;
}

// A size the caller may pass: finite and above 0.
inline bool size_ok(double h) noexcept {
  return h > 0 && std::isfinite(h);
}

namespace sweep_impl {

// a * b + c when it stays at or below `limit`.
inline bool sum_of_product(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t limit,
                           std::uint64_t& out) noexcept {
  if (a != 0 && b > limit / a) return false;
  const std::uint64_t p = a * b;
  if (p > limit - c || c > limit) return false;
  out = p + c;
  return true;
}

// The checks before anything is changed, in the fixed order; 0 when the sweep may go
// on, 1 when it has nothing to do (success at once), else the code.
inline int sweep_checks(const dense2D<double>& coords, const dense2D<unsigned int>& line,
                        const dense2D<unsigned int>& surface, const sweep_spec& sp) {
  const bool quads = sp.cells == cell_kind::quads;
  if (!sp.sized && sp.layers == 0) return 1;
  if (line.empty()) return 1;
  if (sp.plane_only ? !plane_coordinates_ok(coords) : !coordinates_ok(coords)) return -1;
  if (!basekit::check_IDs(line, EDGE2, id_limit(coords.cols()))) return -2;
  if (sp.sized) {
    if (!size_ok(sp.h0)) return sp.h0_code;
    if (!size_ok(sp.h1)) return sp.h1_code;
  }
  if (!quads && sp.pattern_code != 0 && static_cast<unsigned>(sp.pattern) > 2)
    return sp.pattern_code;
  if (!output_rows_ok(surface, quads ? 4 : 3)) return sp.surface_code;
  return 0;
}

// The cells of one line edge through the layers, each as cell(s, c0, c1, c2, c3) with the
// corners of emit_quad_strip and emit_triangle_strip: cell 0 joins the edge to its first
// copies, and every later cell is the one before it with each corner one layer (stride
// IDs) further, so the cells follow by adding to four IDs held together instead of
// computing each corner.
template <class Cell>
void emit_copied_cells(std::uint64_t layers, const copies_of& low, const copies_of& high,
                       Cell cell) {
  if (layers == 0) return;
  cell(0, low(0), high(0), high(1), low(1));
  if (layers == 1) return;
  const auto step = static_cast<unsigned>(low.stride);
  unsigned c[4] = {low(1), high(1), high(2), low(2)};
  for (std::uint64_t s = 1; s < layers; ++s) {
    cell(s, c[0], c[1], c[2], c[3]);
    for (unsigned& corner : c) corner += step;
  }
}

// The cells of every line edge, from column m_old of a surface already sized for them.
inline void emit_cells(dense2D<unsigned int>& surface, const dense2D<unsigned int>& line,
                       const layer_table& table, std::uint64_t n_old, std::uint64_t m_old,
                       std::uint64_t layers, const sweep_spec& sp) {
  const bool quads = sp.cells == cell_kind::quads;
  const std::uint64_t ne = line.cols(), nd = table.nodes.size();
  const std::size_t ld = surface.ld(), per_edge = quads ? layers : 2 * layers;
  unsigned* out = surface.data() + m_old * ld;
  const unsigned* edge = line.data();
  for (std::uint64_t j = 0; j < ne; ++j, edge += line.ld(), out += per_edge * ld) {
    const copies_of low{edge[0], n_old + table.ranks[j][0], nd};
    const copies_of high{edge[1], n_old + table.ranks[j][1], nd};
    if (quads) {
      emit_copied_cells(layers, low, high,
                        [out, ld](std::uint64_t s, unsigned c0, unsigned c1, unsigned c2,
                                  unsigned c3) { emit_quad(out + s * ld, c0, c1, c2, c3); });
    } else {
      emit_copied_cells(
          layers, low, high,
          [out, ld, &sp, j](std::uint64_t s, unsigned c0, unsigned c1, unsigned c2, unsigned c3) {
            unsigned* first = out + 2 * s * ld;
            emit_triangles(first, first + ld, c0, c1, c2, c3, split_for(sp.pattern, j, s));
          });
    }
  }
}

// The node layers 1 to `layers`, from column n_old of coordinates already sized for them:
// `sources` (nd times the transform's width) receives the prepared line nodes first.
template <class Transform>
void place_layers(dense2D<double>& coords, const layer_table& table, std::size_t n_old,
                  std::uint64_t layers, const sweep_spec& sp, Transform& tf,
                  std::vector<double>& sources) {
  const bool graded = sp.h0 > 0 && sp.h1 > 0;
  const std::size_t nd = table.nodes.size(), width = tf.width();
  const std::size_t ld = coords.ld();
  for (std::size_t r = 0; r < nd; ++r) {
    const double* x = coords.data() + table.nodes[r] * ld;
    double* y = sources.data() + r * width;
    for (std::size_t i = 0; i < width; ++i) y[i] = x[i];
    tf.prepare(y);
  }
  double* out = coords.data() + n_old * ld;
  for (std::uint64_t k = 1; k <= layers; ++k) {
    const double even = static_cast<double>(k) / static_cast<double>(layers);
    tf.set_fraction(k == layers ? 1.0 : graded ? progression_fraction(even, sp.h0, sp.h1) : even);
    // A copy the output cannot alias: the compiler keeps its matrix and shifts in
    // registers instead of reloading them after every store of a coordinate.
    const Transform layer = tf;
    // The leading nodes in one go where the transform has a vector form for them (packed
    // columns only), the rest one by one.
    const std::size_t lead = ld == width ? layer.place_leading(sources.data(), nd, out) : 0;
    const double* y = sources.data() + lead * width;
    out += lead * ld;
    for (std::size_t r = lead; r < nd; ++r, y += width, out += ld) layer.place(y, out);
  }
}

}  // namespace sweep_impl

template <class Transform>
int sweep(dense2D<double>& coords, const dense2D<unsigned int>& line,
          dense2D<unsigned int>& surface, const sweep_spec& sp, Transform& tf) {
  using namespace sweep_impl;
  if (const int code = sweep_checks(coords, line, surface, sp)) return code < 0 ? code : 0;
  const bool quads = sp.cells == cell_kind::quads;
  const std::size_t n_old = coords.cols();
  const std::size_t cell_rows = quads ? 4 : 3;

  // From here every failure puts both arrays back to their entry extents.
  extent_guard<dense2D<double>> coords_back(coords);
  if (sp.space_first && coords.rows() != 3 && !coords.resize(3, n_old, 0.0)) return storage_refused;

  std::uint64_t layers = sp.layers;
  if (sp.sized && !layer_count(tf.path_length(coords, line(0, 0)), sp.h0, sp.h1, sp.force_even,
                               sp.at_least_one, layers))
    return storage_refused;

  const layer_table table = build_layer_table(line);
  const std::uint64_t ne = line.cols(), nd = table.nodes.size();
  // The new node IDs must stay below UINT_MAX (which means "none"), and the element
  // count must fit, before anything is written.
  std::uint64_t node_cols = 0, cell_cols = 0;
  const std::uint64_t m_old = surface.cols();
  if (!sum_of_product(layers, nd, n_old, UINT_MAX, node_cols) ||
      !sum_of_product(layers, ne, 0, UINT64_MAX / 2, cell_cols) ||
      !sum_of_product(quads ? 1 : 2, cell_cols, m_old, SIZE_MAX / cell_rows, cell_cols))
    return storage_refused;
  std::vector<double> sources(static_cast<std::size_t>(nd) * tf.width());

  // The surface goes back to its entry column count, at the row count it has by then.
  // Where every new entry is written below (the row counts stay, and a copy writes every
  // coordinate row), the arrays grow without a first fill: the output is written once.
  extent_guard<dense2D<unsigned int>> surface_back(surface, restore::columns);
  const bool new_columns_only = surface.rows() == cell_rows || surface.cols() == 0;
  if (!(new_columns_only
            ? surface.resize_for_overwrite(cell_rows, static_cast<std::size_t>(cell_cols))
            : surface.resize(cell_rows, static_cast<std::size_t>(cell_cols), UINT_MAX)))
    return storage_refused;
  emit_cells(surface, line, table, n_old, m_old, layers, sp);

  if (layers > 0) {
    const std::size_t node_rows = tf.node_rows(coords.rows());
    const bool whole = node_rows == coords.rows() && node_rows == tf.width();
    if (!(whole ? coords.resize_for_overwrite(node_rows, static_cast<std::size_t>(node_cols))
                : coords.resize(node_rows, static_cast<std::size_t>(node_cols), 0.0)))
      return storage_refused;
    // The enlargement may have moved the storage: read the sources only now.
    place_layers(coords, table, n_old, layers, sp, tf, sources);
  }
  surface_back.dismiss();
  coords_back.dismiss();
  return 0;
}

}  // namespace orvo::surfkit::detail
