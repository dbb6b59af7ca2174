// The quality-driven split_Q4_into_T3.
// Hostile mode: arbitrary coordinates (NaN, infinities, huge and tiny values),
// connectivities, thresholds, criteria, pre-filled lists and refused storage: no crash,
// old list entries untouched, and every element in exactly one new list.
// Valid mode: meshes of convex, nearly planar quadrangles and triangles: triangles kept,
// kept columns copied, each cut quadrangle's two triangles along a diagonal, keeping its
// vector area and turning as it does.
#include <algorithm>
#include <cmath>
#include <vector>

#include "fuzz_support.hpp"
#include "orvo/surfkit.hpp"
#include "properties.hpp"
#include "valid_mesh.hpp"

namespace {

void valid(fuzz::reader& in) {
  const fuzz::mesh m = fuzz::valid_mesh(in);
  const auto conn = fuzz::as_face_mix(m.conn);
  const double shape = in.byte() / 200.0, angle = in.byte() / 200.0;
  const int criterion = 1 + in.byte() % 6;
  orvo::id_list kept, split;
  orvo::dense2D<unsigned> out;
  const int code =
      orvo::surfkit::split_Q4_into_T3(m.x, conn, shape, angle, criterion, kept, split, out);
  fuzz::require(code >= 0 && static_cast<std::size_t>(code) == split.size(),
                "split_Q4_into_T3: the number cut");
  fuzz::require(kept.size() + split.size() == conn.cols(),
                "split_Q4_into_T3: every element in one list");
  fuzz::require(out.rows() == 4 && out.cols() == kept.size() + 2 * split.size(),
                "split_Q4_into_T3: kept columns and two triangles per cut");
  for (std::size_t i = 0; i < kept.size(); ++i)
    for (std::size_t r = 0; r < 4; ++r)
      fuzz::require(out(r, i) == conn(r, kept[i]), "split_Q4_into_T3: kept columns unchanged");
  const double tol = 1e-12 * m.extent * m.extent;
  for (std::size_t i = 0; i < split.size(); ++i) {
    const std::size_t e = split[i], k = kept.size() + 2 * i;
    fuzz::require(!fuzz::is_triangle(conn, e), "split_Q4_into_T3: triangles are kept");
    fuzz::require(out(3, k) == UINT_MAX && out(3, k + 1) == UINT_MAX,
                  "split_Q4_into_T3: UINT_MAX in row 3 of a triangle");
    const fuzz::vec3 whole = fuzz::element_area(m.x, conn, e), a = fuzz::element_area(m.x, out, k),
                     b = fuzz::element_area(m.x, out, k + 1);
    for (int d = 0; d < 3; ++d)
      fuzz::require(std::abs(a[d] + b[d] - whole[d]) <= tol,
                    "split_Q4_into_T3: the quadrangle's area kept");
    fuzz::require(fuzz::dot(a, whole) > 0 && fuzz::dot(b, whole) > 0,
                  "split_Q4_into_T3: orientation kept");
    for (std::size_t r = 0; r < 3; ++r)
      fuzz::require(std::count(&conn(0, e), &conn(0, e) + 4, out(r, k)) &&
                        std::count(&conn(0, e), &conn(0, e) + 4, out(r, k + 1)),
                    "split_Q4_into_T3: triangles of the quadrangle's corners");
  }
}

void hostile(fuzz::reader& in) {
  const std::uint8_t head = in.byte();
  const std::size_t dim = 2 + (head & 1);
  const std::size_t nodes = 1 + in.byte() % 16;
  const std::size_t cols = in.byte() % 24;
  auto x = fuzz::reals(in, dim, nodes);
  auto conn = fuzz::ids(in, 4, cols, nodes);
  const double shape = in.real() / 4, angle = in.real() / 4;
  const int criterion = static_cast<int>(in.byte() % 10) - 1;
  orvo::dense1D<unsigned> kept, split;
  for (std::uint8_t k = in.byte() % 4; k > 0; --k) kept.push_back(in.byte() * 0x01010101u);
  for (std::uint8_t k = in.byte() % 4; k > 0; --k) split.push_back(in.byte() * 0x01010101u);
  orvo::dense2D<unsigned> out;
  if (head & 4) out = orvo::dense2D<unsigned>(4, 1, 7u);
  const auto kept0 = fuzz::snapshot(kept), split0 = fuzz::snapshot(split);
  const std::size_t out0 = out.cols();
  orvo::storage_testing::refuse_nth_request(head >> 5);  // 0: nothing refused
  const int code =
      orvo::surfkit::split_Q4_into_T3(x, conn, shape, angle, criterion, kept, split, out);
  orvo::storage_testing::refuse_nth_request(0);
  // Entries already in the lists stay; a refusal adds nothing anywhere.
  auto extends = [](const orvo::dense1D<unsigned>& a, const orvo::dense1D<unsigned>& a0) {
    return a.size() >= a0.size() && std::equal(a0.begin(), a0.end(), a.begin());
  };
  if (!extends(kept, kept0) || !extends(split, split0)) std::abort();
  if (code < 0) {
    if (!fuzz::same(kept, kept0) || !fuzz::same(split, split0) || out.cols() != out0) std::abort();
    return;
  }
  const std::size_t new_kept = kept.size() - kept0.size(), new_split = split.size() - split0.size();
  if (new_kept + new_split != cols || static_cast<std::size_t>(code) != new_split) std::abort();
  if (cols && out.cols() != out0 + new_kept + 2 * new_split) std::abort();
  std::vector<int> seen(cols, 0);
  for (std::size_t i = kept0.size(); i < kept.size(); ++i) ++seen.at(kept[i]);
  for (std::size_t i = split0.size(); i < split.size(); ++i) ++seen.at(split[i]);
  for (int s : seen)
    if (s != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz::two_modes(data, size, valid, hostile);
}
