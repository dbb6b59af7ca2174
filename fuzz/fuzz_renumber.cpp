// renumber and permute over arbitrary bytes. The first byte chooses the mode:
//  - even: hostile arrays (any shape, any IDs, any orders, non-finite coordinates): no
//    crash, no read out of bounds, a rejected call leaves its outputs as they came;
//  - odd: a valid mesh built from the bytes (a few nodes, T3, FACE_MIX, T6 or Q9 rows,
//    unused nodes, coordinates of any value), on which the round-trip properties must
//    hold; a broken one aborts with a message naming it.
// Self-contained: reads the bytes itself.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orvo/basekit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;
using orvo::id_list;
namespace bk = orvo::basekit;

class bytes {
 public:
  bytes(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
  std::uint8_t byte() { return i_ < n_ ? p_[i_++] : 0; }
  unsigned word() {
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | byte();
    return v;
  }
  double real() {
    std::uint64_t b = 0;
    for (int k = 0; k < 8; ++k) b = b << 8 | byte();
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
  }
  // An ID below `limit` mostly, now and then UINT_MAX or a value past the limit.
  unsigned id(unsigned limit) {
    const std::uint8_t b = byte();
    if (b == 255) return UINT_MAX;
    if (b == 254) return limit + byte();
    return limit ? b % limit : b;
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_, i_ = 0;
};

[[noreturn]] void broken(const char* property) {
  std::fprintf(stderr, "fuzz_renumber: property broken: %s\n", property);
  std::abort();
}

template <class T>
bool same_bits(const dense2D<T>& a, const dense2D<T>& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  for (std::size_t c = 0; c < a.cols(); ++c)
    if (a.rows() && std::memcmp(&a(0, c), &b(0, c), a.rows() * sizeof(T)) != 0) return false;
  return true;
}

template <class T>
bool same_bits(const dense1D<T, 8>& a, const dense1D<T, 8>& b) {
  return a.size() == b.size() &&
         (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool is_permutation(const id_list& o, std::size_t n) {
  if (o.size() != n) return false;
  std::vector<bool> seen(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    if (o[i] >= n || seen[o[i]]) return false;
    seen[o[i]] = true;
  }
  return true;
}

void hostile(bytes& in) {
  const std::uint8_t head = in.byte();
  const std::size_t drows = head & 3, rows = in.byte() % 11, nodes = in.byte() % 24,
                    cols = in.byte() % 24;
  dense2D<double> x(drows, nodes);
  for (std::size_t c = 0; c < nodes; ++c)
    for (std::size_t r = 0; r < drows; ++r) x(r, c) = in.real();
  dense2D<unsigned> conn(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) conn(r, c) = in.id(static_cast<unsigned>(nodes));
  const dense2D<double> x0 = dense2D<double>(1, 1, 3.0);
  dense2D<double> nx = dense2D<double>(1, 1, 3.0);
  dense2D<unsigned> nc(1, 1, 3u);
  id_list no(1, 3u), eo(1, 3u);
  const int code = bk::renumber(x, conn, nx, nc, no, eo);
  if (code != 0 && code != -1 && code != -2) broken("renumber returns a documented code");
  if (code != 0 && (!same_bits(nx, x0) || nc(0, 0) != 3u || no[0] != 3u || eo[0] != 3u))
    broken("a rejected renumber leaves its outputs");
  // Orders of any content, applied to the same arrays.
  id_list order(in.byte() % 26), id_order(in.byte() % 26);
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = in.id(static_cast<unsigned>(cols));
  for (std::size_t i = 0; i < id_order.size(); ++i)
    id_order[i] = in.id(static_cast<unsigned>(id_order.size()));
  const bool inverse = head & 4;
  dense2D<unsigned> out(1, 1, 5u);
  const int p = bk::permute(conn, order, id_order, inverse, out);
  if (p != 0 && p != -1 && p != -2 && p != -3) broken("permute returns a documented code");
  if (p != 0 && out(0, 0) != 5u) broken("a rejected permute leaves its output");
  dense2D<double> f(1, 1, 5.0);
  const int q = bk::permute(x, order, inverse, f);
  if (q != 0 && (q != -2 || f(0, 0) != 5.0)) broken("a rejected field permute leaves its output");
  id_list l(1, 5u);
  id_list list(conn.rows() * conn.cols());
  for (std::size_t i = 0; i < list.size(); ++i) list[i] = conn.data()[i];
  const int s = bk::permute(list, order, id_order, inverse, l);
  if (s != 0 && l[0] != 5u) broken("a rejected list permute leaves its output");
}

void valid(bytes& in) {
  const std::uint8_t head = in.byte();
  static const unsigned kinds[] = {3, 4, 6, 9};
  const unsigned rows = kinds[head & 3], d = 2 + ((head >> 2) & 1);
  const unsigned nodes = 3 + in.byte() % 40, cols = in.byte() % 30;
  dense2D<double> x(d, nodes);
  for (unsigned c = 0; c < nodes; ++c)
    for (unsigned r = 0; r < d; ++r) x(r, c) = (head & 16) ? in.real() : in.byte() / 7.0;
  dense2D<unsigned> conn(rows, cols);
  for (unsigned c = 0; c < cols; ++c)
    for (unsigned r = 0; r < rows; ++r) {
      conn(r, c) = in.byte() % nodes;
      // FACE_MIX triangles and the mixed kinds' marks.
      if (r >= 3 && rows != 3 && (in.byte() & 3) == 0) conn(r, c) = UINT_MAX;
    }
  dense2D<double> nx;
  dense2D<unsigned> nc;
  id_list no, eo;
  if (bk::renumber(x, conn, nx, nc, no, eo) != 0) broken("renumber accepts a valid mesh");
  if (!is_permutation(no, nodes)) broken("node_order is a permutation of the nodes");
  if (!is_permutation(eo, cols)) broken("element_order is a permutation of the elements");
  dense2D<double> fx, bx;
  dense2D<unsigned> fc, bc;
  if (bk::permute(x, no, false, fx) != 0 || !same_bits(fx, nx))
    broken("permute forward of the coordinates gives renumber's");
  if (bk::permute(conn, eo, no, false, fc) != 0 || !same_bits(fc, nc))
    broken("permute forward of the connectivity gives renumber's");
  if (bk::permute(nx, no, true, bx) != 0 || !same_bits(bx, x))
    broken("permute back restores the coordinates");
  if (bk::permute(nc, eo, no, true, bc) != 0 || !same_bits(bc, conn))
    broken("permute back restores the connectivity");
  // Element IDs held per node (a home-like list) and a node list, there and back.
  id_list home(nodes, UINT_MAX), loop(cols);
  for (unsigned c = 0; c < cols; ++c) home[conn(0, c)] = c, loop[c] = conn(1, c);
  id_list h1, h2, l1, l2;
  if (bk::permute(home, no, eo, false, h1) != 0 || bk::permute(h1, no, eo, true, h2) != 0 ||
      !same_bits(h2, home))
    broken("an element list per node comes back");
  if (bk::permute(loop, id_list(), no, false, l1) != 0 ||
      bk::permute(l1, id_list(), no, true, l2) != 0 || !same_bits(l2, loop))
    broken("a node list comes back");
  for (unsigned c = 0; c < cols; ++c)
    if (h1[nc(0, c)] == UINT_MAX) broken("a moved home names an element");
  // The renumbered mesh is a valid mesh too.
  dense2D<double> x2;
  dense2D<unsigned> c2;
  id_list n2, e2;
  if (bk::renumber(nx, nc, x2, c2, n2, e2) != 0 || !is_permutation(n2, nodes))
    broken("renumber of a renumbered mesh succeeds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes in(data, size);
  if (in.byte() & 1)
    valid(in);
  else
    hostile(in);
  return 0;
}
