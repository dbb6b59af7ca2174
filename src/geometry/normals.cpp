// Node normals of surface meshes: weighted means of unit element normals, or the normal
// of the largest or smallest incident element.
#include <cfloat>
#include <cmath>

#include "common/checks.hpp"
#include "common/forms.hpp"
#include "common/mesh_access.hpp"
#include "common/vectors.hpp"
#include "geometry/normal_sums.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {
namespace {

using detail::vec3;

// Calls f(ids, corner count, N, A = |N|) for every element in column order, N the
// element normal, not normalised (A = 0 when the caller does not need it). Triangle-only
// meshes take a loop of their own, without the per-column kind test.
template <class F>
void for_each_element(const dense2D<double>& coords, const dense2D<unsigned int>& conn, F&& f,
                      bool with_area = true) {
  using detail::point;
  const std::size_t rows = conn.rows();
  for (std::size_t e = 0; e < conn.cols(); ++e) {
    const unsigned* ids = detail::element(conn, e);
    const unsigned n = rows == 3 ? 3 : detail::corners(ids, rows);
    const vec3 N = n == 3 ? detail::element_normal_T3(point(coords, ids[0]), point(coords, ids[1]),
                                                      point(coords, ids[2]))
                          : detail::element_normal_Q4(point(coords, ids[0]), point(coords, ids[1]),
                                                      point(coords, ids[2]), point(coords, ids[3]));
    f(ids, n, N, with_area ? detail::norm(N) : 0.0);
  }
}

void set_column(double* out, const vec3& v) {
  out[0] = v[0];
  out[1] = v[1];
  out[2] = v[2];
}

// Largest (keep_larger) or smallest incident element of non-zero area. Zero-area (and
// NaN-area) elements never compete, so a degenerate element is never mistaken for an
// unset node and the result does not depend on the element order, exact ties aside.
void extreme_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn,
                     bool keep_larger, double* chosen, dense2D<double>& out) {
  for_each_element(coords, conn, [&](const unsigned* ids, unsigned n, const vec3& N, double A) {
    if (!(A > 0.0)) return;
    for (unsigned i = 0; i < n; ++i) {
      const unsigned k = ids[i];
      const bool take = keep_larger ? A > chosen[k] : (chosen[k] == 0.0 || A < chosen[k]);
      if (!take) continue;
      chosen[k] = A;
      set_column(out.data() + std::size_t{k} * out.ld(), detail::divided_or_zero(N, A));
    }
  });
}

// Sums w n(e) and w per node with w = (A / ref_k)^p, or w = 1 when uniform (see
// weighted_normals).
void accumulate(const dense2D<double>& coords, const dense2D<unsigned int>& conn, double p,
                bool uniform, double* scratch, dense2D<double>& out) {
  if (!uniform) {
    for_each_element(coords, conn, [&](const unsigned* ids, unsigned n, const vec3&, double A) {
      if (!(A > 0.0)) return;
      for (unsigned i = 0; i < n; ++i) {
        double& ref = scratch[2 * std::size_t{ids[i]}];
        if (ref == 0.0 || (p > 0.0 ? A > ref : A < ref)) ref = A;
      }
    });
  }
  for_each_element(coords, conn, [&](const unsigned* ids, unsigned n, const vec3& N, double A) {
    const vec3 u = detail::divided_or_zero(N, A);
    for (unsigned i = 0; i < n; ++i) {
      const std::size_t k = ids[i];
      double w = 1.0;
      if (!uniform) {
        w = A > 0.0 ? std::pow(A / scratch[2 * k], p) : 0.0;
      }
      scratch[2 * k + 1] += w;
      double* col = out.data() + k * out.ld();
      col[0] += w * u[0];
      col[1] += w * u[1];
      col[2] += w * u[2];
    }
  });
}

// Divides every node's sum by its weight sum W_k (unit false) or by its length (unit
// true). A node no element holds has a zero sum and W = 0 and stays (0, 0, 0).
void finish(bool unit, const double* scratch, dense2D<double>& out) {
  if (unit) return detail::scale_to_unit(out);
  for (std::size_t k = 0; k < out.cols(); ++k) {
    double* col = out.data() + k * out.ld();
    const double d = scratch[2 * k + 1];
    if (d == 0.0) continue;
    col[0] /= d;
    col[1] /= d;
    col[2] /= d;
  }
}

// Weighted mean of unit element normals with weights A^p. pow(A, p) alone overflows or
// underflows for large |p| (and for large or tiny areas), so every node's weights are
// taken relative to a reference area of its own: the largest incident A for p > 0, the
// smallest positive one for p < 0. Then A / ref lies in (0, 1] or [1, inf) so that the
// weights (A / ref)^p all lie in (0, 1] with the reference element weighing 1. A node's
// weights all scale alike, so its mean is unchanged in exact arithmetic. A zero-area
// element weighs 0 for p != 0 (A^p would be 0 or infinite) and 1 for p = 0.
// p = 1 needs neither pow nor references: w n(e) = A (N / A) = N, and a finite area
// cannot overflow. scratch holds (ref_k, W_k) per node.
void weighted_normals(const dense2D<double>& coords, const dense2D<unsigned int>& conn, double p,
                      bool unit, double* scratch, dense2D<double>& out) {
  const bool uniform = !(p > -DBL_MAX && p < DBL_MAX) || p == 0.0;  // w = 1 everywhere
  if (p == 1.0) {
    // With the unit flag the weight sums are not needed: only the direction counts.
    const bool sums = !unit;
    for_each_element(
        coords, conn,
        [&](const unsigned* ids, unsigned n, const vec3& N, double A) {
          for (unsigned i = 0; i < n; ++i) {
            const std::size_t k = ids[i];
            if (sums) scratch[2 * k + 1] += A;
            double* col = out.data() + k * out.ld();
            col[0] += N[0];
            col[1] += N[1];
            col[2] += N[2];
          }
        },
        sums);
  } else {
    accumulate(coords, conn, p, uniform, scratch, out);
  }
  finish(unit, scratch, out);
}

}  // namespace

int normals(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
            double exponent, bool unit, dense2D<double>& node_normals) {
  node_normals.resize(0, 0);  // shrinking keeps the storage and never fails
  if (coordinates.empty() || connectivity.empty()) return 0;
  if (!detail::space_coordinates_ok(coordinates)) return -1;
  const std::size_t rows = connectivity.rows();
  if (rows != 3 && rows != 4) return -2;
  const std::size_t nodes = coordinates.cols();
  if (rows == 3 && exponent == 1.0) {
    // Area-weighted normals of triangles, the common case, check their IDs while summing.
    dense1D<double, 8> sums;
    if (!node_normals.resize(3, nodes, 0.0) || (!unit && !sums.resize(2 * nodes, 0.0))) {
      node_normals.resize(0, 0);
      // A bad ID is the earlier argument's fault, so it outranks the refused storage.
      return detail::input_connectivity_ok(connectivity, T3, nodes) ? detail::storage_refused : -2;
    }
    // Each triangle's IDs are checked just before it is used: the connectivity is read
    // once instead of once for a check and once for the sums.
    if (!detail::add_triangle_normals(coordinates, connectivity, unit ? nullptr : sums.data(),
                                      node_normals)) {
      node_normals.resize(0, 0);
      return -2;
    }
    finish(unit, sums.data(), node_normals);
    return 0;
  }
  // Every ID is read as a column of both the coordinates and the output.
  if (!detail::input_connectivity_ok(connectivity, rows == 3 ? T3 : FACE_MIX, coordinates.cols()))
    return -2;
  // Area-weighted unit normals need no per-node scratch (see weighted_normals).
  const bool scratch_needed = !(exponent == 1.0 && unit);
  dense1D<double, 8> scratch;
  if (!node_normals.resize(3, nodes, 0.0) || (scratch_needed && !scratch.resize(2 * nodes, 0.0))) {
    node_normals.resize(0, 0);
    return detail::storage_refused;
  }
  if (exponent == DBL_MAX || exponent == -DBL_MAX) {
    extreme_normals(coordinates, connectivity, exponent == DBL_MAX, scratch.data(), node_normals);
  } else {
    weighted_normals(coordinates, connectivity, exponent, unit, scratch.data(), node_normals);
  }
  return 0;
}

}  // namespace orvo::surfkit
