// A visiting order for target points in the plane that keeps consecutive points close: the
// cells of a grid over their bounding box, about one per four points, taken along the Z-order
// (Morton) curve. Walking from one point's triangle to the next point's then takes a few
// steps through memory that is still in cache, where list order may jump anywhere.
#pragma once

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// A target in the visiting order: its coordinates (copied, so that the visit reads them in
// sequence), its position in the target list and its node ID.
struct visit {
  double x, y;
  unsigned position, node;
};

// The targets `ids` (node IDs, columns of the 2-row `coords`) whose `home` entry is
// UINT_MAX or, when `left_out` is given instead (one entry per list position, which must
// be set for every target with a home), whose entry there is 0, in the Z-order of their cells;
// targets sharing a cell keep their list order, targets with a non-finite coordinate come first.
// The cells: about one per four targets, at most 2^max_bits a side (max_bits up to 11). `order` is
// sized afresh. False when storage is refused (order then empty). Cost: a counting sort, in two
// rounds from 2^16 cells on (blocks of 4096 cells, then the cells of each block): three passes over
// the targets and one or two over the cells; scratch of 4 bytes per target, a copy of the largest
// block's targets with their keys (28 bytes each) and 4 bytes per block. With `ids` and
// `home` empty and no `left_out`, the targets are every column of `coords`, their node
// IDs their column numbers (the query points of a probe: no lists of 8 bytes a point).
bool spatial_order(const dense2D<double>& coords, const dense1D<unsigned int, 8>& ids,
                   const dense1D<unsigned int, 8>& home, dense1D<visit, 8>& order,
                   unsigned max_bits = 11, const unsigned char* left_out = nullptr);

}  // namespace orvo::surfkit::detail
