// The six conversion exports: one procedure, run with the connectivity in the right slot
// and empty stand-ins for what an overload does not take. Codes keep convert_mixed's
// argument positions in every overload.
#include "convert/convert_core.hpp"
#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity, unsigned int e,
               unsigned int q) {
  return convert_Q4(coordinates, connectivity, e, q, dense2D<unsigned int>());
}

int convert_Q4(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity, unsigned int e,
               unsigned int q, const dense2D<unsigned int>& given_edges) {
  dense2D<unsigned int> no_triangles;
  return detail::convert(coordinates, connectivity, no_triangles, e, q, 0, given_edges);
}

int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity, unsigned int e,
               unsigned int t) {
  return convert_T3(coordinates, connectivity, e, t, dense2D<unsigned int>());
}

int convert_T3(dense2D<double>& coordinates, dense2D<unsigned int>& connectivity, unsigned int e,
               unsigned int t, const dense2D<unsigned int>& given_edges) {
  dense2D<unsigned int> no_quadrangles;
  return detail::convert(coordinates, no_quadrangles, connectivity, e, 0, t, given_edges);
}

int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                  dense2D<unsigned int>& T3_connectivity, unsigned int e, unsigned int q,
                  unsigned int t) {
  return detail::convert(coordinates, Q4_connectivity, T3_connectivity, e, q, t,
                         dense2D<unsigned int>());
}

int convert_mixed(dense2D<double>& coordinates, dense2D<unsigned int>& Q4_connectivity,
                  dense2D<unsigned int>& T3_connectivity, unsigned int e, unsigned int q,
                  unsigned int t, const dense2D<unsigned int>& given_edges) {
  return detail::convert(coordinates, Q4_connectivity, T3_connectivity, e, q, t, given_edges);
}

}  // namespace orvo::surfkit
