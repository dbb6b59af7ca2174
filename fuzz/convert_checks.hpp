// Properties of a higher-order conversion (convert_mixed, convert_Q4, convert_T3) on a
// valid mesh, shared by the conversion targets: vertex rows and old coordinates kept, edge
// nodes where the declaration puts them (given ones reused, not moved), one set of nodes
// per edge, interior nodes at their grid or barycentric points, and the node count.
#pragma once

#include <climits>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/dense.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace fuzz {

class conversion_check {
 public:
  conversion_check(const orvo::dense2D<double>& x0, const orvo::dense2D<double>& x, unsigned e,
                   const orvo::dense2D<unsigned>& given, double extent)
      : x0_(x0), x_(x), e_(e), tol_(1e-12 * extent) {
    for (std::size_t c = 0; c < given.cols(); ++c) {
      std::vector<unsigned> ids(e);
      for (unsigned k = 0; k < e; ++k) ids[k] = given(2 + k, c);
      given_[{given(0, c), given(1, c)}] = ids;
    }
    require(x.rows() == x0.rows() && x.cols() >= x0.cols(),
            "convert: coordinates keep their rows and grow");
    for (std::size_t c = 0; c < x0.cols(); ++c)
      for (std::size_t r = 0; r < x0.rows(); ++r)
        require(x(r, c) == x0(r, c), "convert: old coordinates (given edge nodes among them) stay");
    require(all_finite(x), "convert: finite coordinates");
  }

  // One block: quadrangles (4 vertices, q interior) or triangles (3, t interior).
  void block(const orvo::dense2D<unsigned>& before, const orvo::dense2D<unsigned>& after, bool quad,
             unsigned inner) {
    const unsigned nv = quad ? 4 : 3;
    if (before.cols() == 0) return;
    require(after.rows() == nv + nv * e_ + inner && after.cols() == before.cols(),
            "convert: vertices, e nodes per edge, interior rows");
    require(ids_below(after, x_.cols()), "convert: IDs below the node count");
    for (std::size_t c = 0; c < before.cols(); ++c) {
      for (unsigned r = 0; r < nv; ++r)
        require(after(r, c) == before(r, c), "convert: vertex rows kept");
      for (unsigned i = 0; i < nv; ++i) {
        // Quadrangle edge i: (i, i + 1); triangle edge i: (i + 1, i + 2).
        const unsigned a = quad ? before(i, c) : before((i + 1) % 3, c);
        const unsigned b = quad ? before((i + 1) % 4, c) : before((i + 2) % 3, c);
        std::vector<unsigned> ids(e_);
        for (unsigned k = 0; k < e_; ++k) ids[k] = after(nv + i * e_ + k, c);
        edge(a, b, ids);
      }
      interior(after, c, nv, inner, quad);
      quad ? ++quads_ : ++tris_;
      inner_ += inner;
    }
  }

  // After every block: one set of new nodes per edge not given, and the interiors.
  void count() const {
    std::size_t fresh = 0;
    for (const auto& kv : seen_)
      if (!given_.count(kv.first) && !given_.count({kv.first.second, kv.first.first})) ++fresh;
    require(x_.cols() == x0_.cols() + fresh * e_ + inner_,
            "convert: one set of nodes per edge, shared edges once");
  }

 private:
  void edge(unsigned a, unsigned b, const std::vector<unsigned>& ids) {
    const vec3 A = node(x_, a), B = node(x_, b);
    auto g = given_.find({a, b});
    auto gr = given_.find({b, a});
    for (unsigned k = 0; k < e_; ++k) {
      if (g != given_.end()) {
        require(ids[k] == g->second[k], "convert: given edge nodes reused in their order");
      } else if (gr != given_.end()) {
        require(ids[k] == gr->second[e_ - 1 - k],
                "convert: given edge nodes reused in their order");
      } else {
        require(ids[k] >= x0_.cols(), "convert: computed edge nodes are new");
        const double f = (k + 1.0) / (e_ + 1.0);
        const vec3 P = node(x_, ids[k]);
        for (int d = 0; d < 3; ++d)
          require(std::abs(P[d] - (A[d] + f * (B[d] - A[d]))) <= tol_,
                  "convert: computed edge nodes on their edges");
      }
    }
    // The same edge met again (either way) has the same nodes.
    const auto key = a < b ? std::make_pair(a, b) : std::make_pair(b, a);
    std::vector<unsigned> forward = ids;
    if (a > b) forward.assign(ids.rbegin(), ids.rend());
    auto it = seen_.find(key);
    if (it == seen_.end())
      seen_[key] = forward;
    else
      require(it->second == forward, "convert: a shared edge's nodes made once");
  }

  void interior(const orvo::dense2D<unsigned>& after, std::size_t c, unsigned nv, unsigned inner,
                bool quad) {
    const unsigned first = nv + nv * e_;
    vec3 V[4];
    for (unsigned r = 0; r < nv; ++r) V[r] = node(x_, after(r, c));
    for (unsigned k = 0; k < inner; ++k) {
      const unsigned id = after(first + k, c);
      require(id >= x0_.cols(), "convert: interior nodes are new");
      const vec3 P = node(x_, id);
      bool found = false;
      if (quad) {  // on the bilinear grid of (i + 1) / (m + 1)
        const unsigned m = static_cast<unsigned>(std::lround(std::sqrt(inner)));
        for (unsigned i = 0; i < m && !found; ++i)
          for (unsigned j = 0; j < m && !found; ++j) {
            const double u = (i + 1.0) / (m + 1), v = (j + 1.0) / (m + 1);
            vec3 Q;
            for (int d = 0; d < 3; ++d)
              Q[d] = (1 - u) * (1 - v) * V[0][d] + u * (1 - v) * V[1][d] + u * v * V[2][d] +
                     (1 - u) * v * V[3][d];
            found = norm(sub(P, Q)) <= 4 * tol_;
          }
      } else {
        static const double w1[1][3] = {{1.0 / 3, 1.0 / 3, 1.0 / 3}};
        static const double w3[3][3] = {
            {1.0 / 6, 1.0 / 6, 2.0 / 3}, {1.0 / 3, 1.0 / 6, 0.5}, {1.0 / 6, 1.0 / 3, 0.5}};
        const double(*w)[3] = inner == 1 ? w1 : w3;
        vec3 Q;
        for (int d = 0; d < 3; ++d)
          Q[d] = w[k][0] * V[0][d] + w[k][1] * V[1][d] + w[k][2] * V[2][d];
        found = norm(sub(P, Q)) <= 4 * tol_;
      }
      require(found, "convert: interior nodes at their grid or barycentric points");
    }
  }

  const orvo::dense2D<double>& x0_;
  const orvo::dense2D<double>& x_;
  unsigned e_;
  double tol_;
  std::map<std::pair<unsigned, unsigned>, std::vector<unsigned>> given_, seen_;
  std::size_t quads_ = 0, tris_ = 0, inner_ = 0;
};

// Given edges for a valid mesh: up to a few of its edges, each with e new nodes appended
// to x off the computed positions (so that a moved node shows) or, with on_edge, at them;
// as e + 2 rows.
inline orvo::dense2D<unsigned> given_edges(reader& in, orvo::dense2D<double>& x,
                                           const orvo::dense2D<unsigned>& conn, unsigned e,
                                           bool on_edge = false) {
  orvo::dense2D<unsigned> g;
  const unsigned want = in.byte() % 4;
  if (!want || !e || conn.cols() == 0) return g;
  std::map<std::pair<unsigned, unsigned>, bool> used;
  std::vector<std::pair<unsigned, unsigned>> chosen;
  for (unsigned k = 0; k < want; ++k) {
    const std::size_t c = in.byte() * 131u % conn.cols();
    const unsigned n = corners(conn, c), i = in.byte() % n;
    const unsigned a = conn(i, c), b = conn((i + 1) % n, c);
    if (used.count({std::min(a, b), std::max(a, b)})) continue;
    used[{std::min(a, b), std::max(a, b)}] = true;
    chosen.push_back({a, b});
  }
  g = orvo::dense2D<unsigned>(e + 2, chosen.size());
  const std::size_t n0 = x.cols();
  x.resize(x.rows(), n0 + chosen.size() * e);
  for (std::size_t c = 0; c < chosen.size(); ++c) {
    g(0, c) = chosen[c].first;
    g(1, c) = chosen[c].second;
    for (unsigned k = 0; k < e; ++k) {
      const std::size_t id = n0 + c * e + k;
      g(2 + k, c) = static_cast<unsigned>(id);
      for (std::size_t r = 0; r < x.rows(); ++r)
        x(r, id) =
            on_edge ? x(r, chosen[c].first) +
                          (k + 1.0) / (e + 1) * (x(r, chosen[c].second) - x(r, chosen[c].first))
                    : x(r, chosen[c].first) * 0.3 + x(r, chosen[c].second) * 0.6 + 0.01 * (k + 1);
    }
  }
  return g;
}

}  // namespace fuzz
