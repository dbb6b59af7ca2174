// Quality-driven split: good quadrangles of a mixed mesh are kept, bad ones are cut into
// two triangles along the diagonal a caller-chosen criterion prefers.
#include <climits>
#include <cstdint>

#include "common/checks.hpp"
#include "common/mesh_access.hpp"
#include "orvo/surfkit.hpp"
#include "topology/quality_split_measures.hpp"
#include "topology/split_q4_diagonal.hpp"

namespace orvo::surfkit {
namespace {

// True when the quadrangle k is good enough to be kept.
bool keep_quad(const dense2D<double>& coords, const unsigned* k, double shape_threshold,
               double angle_threshold) {
  const std::size_t dim = coords.rows();
  const double* x[4];
  for (int i = 0; i < 4; ++i) x[i] = detail::point(coords, k[i]);
  if (!(detail::quad_shape_quality(x, dim) >= shape_threshold)) return false;
  double angle = detail::quad_angle_quality(x, dim);
  if (dim == 3) angle *= detail::warp_factor(x);
  return angle >= angle_threshold;
}

// Writes the two triangles of quadrangle k into columns t and t + ld of the output.
void cut_quad(const dense2D<double>& coords, const unsigned* k, int criterion, unsigned* t,
              std::size_t ld) {
  const std::size_t dim = coords.rows();
  const auto q = detail::smallest_first(k);
  const double* x[4];
  for (int i = 0; i < 4; ++i) x[i] = detail::point(coords, q[i]);
  // A criterion that rates nothing leaves the A-C diagonal, from the smallest ID.
  const double ac = detail::pair_rating(criterion, x[0], x[1], x[2], x[3], dim, 1.0);
  const double bd = detail::pair_rating(criterion, x[1], x[2], x[3], x[0], dim, 0.0);
  const int s = detail::cut_along_AC(ac, bd) ? 0 : 1;
  unsigned* u = t + ld;
  t[0] = q[s], t[1] = q[s + 1], t[2] = q[s + 2], t[3] = UINT_MAX;
  u[0] = q[s + 2], u[1] = q[(s + 3) % 4], u[2] = q[s], u[3] = UINT_MAX;
}

}  // namespace

int split_Q4_into_T3(const dense2D<double>& coordinates, const dense2D<unsigned int>& connectivity,
                     double shape_threshold, double angle_threshold, int split_criterion,
                     id_list& kept, id_list& split, dense2D<unsigned int>& output) {
  if (connectivity.cols() == 0) return 0;
  if (!detail::coordinates_ok(coordinates)) return -1;
  // Element indices are unsigned ints: a connectivity must be able to name all of them.
  if (connectivity.cols() >= UINT_MAX ||
      !detail::input_connectivity_ok(connectivity, 4, FACE_MIX, coordinates.cols()))
    return -2;
  // One list cannot tell kept elements from split ones. Copies that share storage are two
  // lists (the first to grow moves to storage of its own), but two wraps of overlapping
  // memory would both append in place over each other.
  if (&kept == &split) return -7;
  if (kept.storage_ptr().get() != split.storage_ptr().get() && detail::share_memory(kept, split))
    return -7;
  if (!detail::output_rows_ok(output, 4)) return -8;

  // A shared view of the input survives the output's growth should both be one array.
  const dense2D<unsigned int> in = connectivity;
  const std::size_t n = in.cols(), kept0 = kept.size(), split0 = split.size();
  // Room for every element in either list up front, so no element can be dropped from
  // both lists half-way through; on any refusal the lists go back to their entry sizes.
  detail::extent_guard<id_list> kept_guard(kept), split_guard(split);
  if (!kept.reserve(kept0 + n) || !split.reserve(split0 + n)) return detail::storage_refused;

  for (std::size_t e = 0; e < n; ++e) {
    const unsigned* k = in.data() + e * in.ld();
    const bool keep =
        k[3] == UINT_MAX || keep_quad(coordinates, k, shape_threshold, angle_threshold);
    if (!(keep ? kept : split).push_back(static_cast<unsigned>(e))) return detail::storage_refused;
  }
  // Only the entries appended above are read back: entries the lists held on entry may
  // name elements of another mesh and are left alone.
  const std::size_t n_kept = kept.size() - kept0, n_split = split.size() - split0;
  std::size_t c = detail::existing_columns(output);
  if (!detail::append_columns(output, 4, n_kept + 2 * std::uint64_t{n_split}))
    return detail::storage_refused;
  const std::size_t ld = output.ld();
  for (std::size_t i = kept0; i < kept0 + n_kept; ++i, ++c) {
    const unsigned* k = in.data() + std::size_t{kept[i]} * in.ld();
    unsigned* t = output.data() + c * ld;
    for (int r = 0; r < 4; ++r) t[r] = k[r];
  }
  for (std::size_t i = split0; i < split0 + n_split; ++i, c += 2) {
    const unsigned* k = in.data() + std::size_t{split[i]} * in.ld();
    cut_quad(coordinates, k, split_criterion, output.data() + c * ld, ld);
  }
  kept_guard.dismiss();
  split_guard.dismiss();
  return n_split > INT_MAX ? INT_MAX : static_cast<int>(n_split);
}

}  // namespace orvo::surfkit
