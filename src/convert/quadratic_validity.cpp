#include "convert/quadratic_validity.hpp"

#include <array>
#include <cmath>

namespace orvo::surfkit::detail {
namespace {

// Shape-function derivatives (d/dxi, d/deta) of each node at each test point.
template <unsigned Nodes, unsigned Points>
struct derivative_table {
  double dxi[Points][Nodes];
  double deta[Points][Nodes];
};

// T6 over (xi, eta) with l0 = 1 - xi - eta, l1 = xi, l2 = eta: vertex i has
// l_i (2 l_i - 1), row 3 + i the product 4 l_j l_k of the other two.
derivative_table<6, 12> triangle_table() {
  derivative_table<6, 12> t{};
  const double a1 = 0.445948490915965, b1 = 1.0 - 2.0 * a1;
  const double a2 = 0.091576213509771, b2 = 1.0 - 2.0 * a2;
  const double points[12][3] = {{1, 0, 0},     {0, 1, 0},     {0, 0, 1},    {0, 0.5, 0.5},
                                {0.5, 0, 0.5}, {0.5, 0.5, 0}, {a1, a1, b1}, {a1, b1, a1},
                                {b1, a1, a1},  {a2, a2, b2},  {a2, b2, a2}, {b2, a2, a2}};
  const double dl[2][3] = {{-1, 1, 0}, {-1, 0, 1}};  // d l_i / d xi, d l_i / d eta
  for (unsigned p = 0; p < 12; ++p) {
    const double* l = points[p];
    for (unsigned d = 0; d < 2; ++d) {
      double* out = d == 0 ? t.dxi[p] : t.deta[p];
      for (unsigned i = 0; i < 3; ++i) {
        const unsigned j = (i + 1) % 3, k = (i + 2) % 3;
        out[i] = (4.0 * l[i] - 1.0) * dl[d][i];
        out[3 + i] = 4.0 * (l[j] * dl[d][k] + l[k] * dl[d][j]);
      }
    }
  }
  return t;
}

// Reference positions of the Q9 rows on [-1, 1]^2 (Q8 uses the first eight).
constexpr double quad_node[9][2] = {{-1, -1}, {1, -1}, {1, 1},  {-1, 1}, {0, -1},
                                    {1, 0},   {0, 1},  {-1, 0}, {0, 0}};

// Q8 (serendipity) or Q9 (biquadratic Lagrange) at the 8 or 9 nodes and the 3 x 3 Gauss
// points.
template <unsigned Nodes>
derivative_table<Nodes, Nodes + 9> quadrangle_table() {
  derivative_table<Nodes, Nodes + 9> t{};
  const double g = std::sqrt(0.6), gauss[3] = {-g, 0.0, g};
  auto lagrange = [](double s, double at) {  // 1-D quadratic through -1, 0, 1
    return at < 0 ? 0.5 * s * (s - 1) : at > 0 ? 0.5 * s * (s + 1) : 1 - s * s;
  };
  auto lagrange_d = [](double s, double at) {
    return at < 0 ? s - 0.5 : at > 0 ? s + 0.5 : -2 * s;
  };
  for (unsigned p = 0; p < Nodes + 9; ++p) {
    const double x = p < Nodes ? quad_node[p][0] : gauss[(p - Nodes) % 3];
    const double y = p < Nodes ? quad_node[p][1] : gauss[(p - Nodes) / 3];
    for (unsigned i = 0; i < Nodes; ++i) {
      const double xi = quad_node[i][0], yi = quad_node[i][1];
      if (Nodes == 9) {
        t.dxi[p][i] = lagrange_d(x, xi) * lagrange(y, yi);
        t.deta[p][i] = lagrange(x, xi) * lagrange_d(y, yi);
      } else if (i < 4) {
        t.dxi[p][i] = 0.25 * xi * (1 + y * yi) * (2 * x * xi + y * yi);
        t.deta[p][i] = 0.25 * yi * (1 + x * xi) * (x * xi + 2 * y * yi);
      } else if (xi == 0) {
        t.dxi[p][i] = -x * (1 + y * yi);
        t.deta[p][i] = 0.5 * (1 - x * x) * yi;
      } else {
        t.dxi[p][i] = 0.5 * xi * (1 - y * y);
        t.deta[p][i] = -y * (1 + x * xi);
      }
    }
  }
  return t;
}

template <unsigned Nodes, unsigned Points>
bool positive_everywhere(const derivative_table<Nodes, Points>& t, const vec3* x, const vec3& n) {
  for (unsigned p = 0; p < Points; ++p) {
    vec3 u = {0, 0, 0}, v = {0, 0, 0};
    for (unsigned i = 0; i < Nodes; ++i)
      for (unsigned r = 0; r < 3; ++r) {
        u[r] += t.dxi[p][i] * x[i][r];
        v[r] += t.deta[p][i] * x[i][r];
      }
    if (!(dot(cross(u, v), n) > 0.0)) return false;
  }
  return true;
}

}  // namespace

bool quadratic_valid(const vec3* nodes, unsigned count) {
  static const derivative_table<6, 12> t6 = triangle_table();
  static const derivative_table<8, 17> q8 = quadrangle_table<8>();
  static const derivative_table<9, 18> q9 = quadrangle_table<9>();
  if (count == 6) {
    const vec3 e1 = sub3(nodes[1].data(), nodes[0].data()),
               e2 = sub3(nodes[2].data(), nodes[0].data());
    const vec3 n = cross(e1, e2);
    // Most elements of a smooth mesh bend little: their edge nodes sit within D (summed)
    // of the straight midpoints, and since no edge shape function's derivative exceeds 4
    // on the triangle, each Jacobian column is within 4D of the straight one. The
    // Jacobian then stays above |n|^2 - |n| 4D (|e1| + |e2| + 4D), positive (with room
    // for rounding) when 4D (|e1| + |e2| + 4D) < |n| / 2; only the others take the full
    // test.
    double bent = 0.0;
    for (unsigned i = 0; i < 3; ++i) {
      const double* p = nodes[(i + 1) % 3].data();
      const double* q = nodes[(i + 2) % 3].data();
      const double* m = nodes[3 + i].data();
      const vec3 d = {m[0] - 0.5 * (p[0] + q[0]), m[1] - 0.5 * (p[1] + q[1]),
                      m[2] - 0.5 * (p[2] + q[2])};
      bent += norm(d);
    }
    const double area = norm(n);
    if (std::isfinite(area) && 4.0 * bent * (norm(e1) + norm(e2) + 4.0 * bent) < 0.5 * area)
      return true;
    return positive_everywhere(t6, nodes, n);
  }
  const vec3 n =
      cross(sub3(nodes[2].data(), nodes[0].data()), sub3(nodes[3].data(), nodes[1].data()));
  return count == 8 ? positive_everywhere(q8, nodes, n) : positive_everywhere(q9, nodes, n);
}

}  // namespace orvo::surfkit::detail
