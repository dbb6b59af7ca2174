/// @file
/// Interpolation: nodal fields and size fields carried from a background mesh of linear
/// triangles onto target nodes of the same coordinate set.
///
/// Shared by every function here:
///  - coordinates: 2 by \#nodes: background nodes and targets together.
///  - connectivity: 3 by \#triangles, counter-clockwise background triangles (T3).
///  - neighbours: 3 by \#triangles: row i of column e is the triangle across the edge
///    opposite local node i, UINT_MAX on the boundary.
///  - home: \#nodes entries: a triangle holding the node, UINT_MAX for a target.
///  - targets: node IDs to compute, in processing order (repeats are processed again).
///  - Deterministic: the walk's random source is made per call, seeded with 1, and draws in
///    the order the targets are located.
///  - Throws nothing: all scratch is taken before the first target is written, from
///    storage whose refusal gives -199.
#pragma once

#include <cstddef>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// Carries a nodal field onto target nodes. Each target whose home entry is UINT_MAX gets
/// the barycentric blend of the values at the corners of a background triangle holding
/// it (1e-6 relative tolerance; when the walks leave the mesh, every triangle holding the
/// nearest node is tested too, so that parts of the mesh touching only at a node do not
/// hide a triangle from it); a target in no triangle gets an exact copy of the values of
/// the nearest node that has a home triangle, and keeps its value when there is none.
/// Targets are located in a spatial order (the Z-order of a grid of about one cell per four
/// targets over their bounding box; list order within a cell), each walk starting from the
/// triangle found for the target located before when that one lies within eight of its
/// sizes, else from the home triangle of a node near the target; the walk's random draws
/// follow that order. A target on an edge or node shared by several triangles may thus
/// take any of them: the values agree up to rounding. Values are written in place; in
/// list order when some target is also a corner of the background mesh (it is then read
/// with the value it has at that point of the list), else as they are found, which gives
/// the same values.
/// @param coordinates,connectivity,neighbours,home,targets  see the file description.
/// @param field  \#components by \#nodes (any number of rows), read and written.
/// @return
///  - 0: success (at once for an empty target list, nothing looked at);
///  - -1: coordinates not 2 rows;
///  - -2: connectivity not 3 rows or a node ID not below \#nodes;
///  - -3: neighbours not 3 by \#triangles or an entry neither below \#triangles nor UINT_MAX;
///  - -4: home size not \#nodes;
///  - -5: field column count not \#nodes;
///  - -6: a target ID not below \#nodes;
///  - -199: storage refused (the field unchanged).
///
/// Cost: O(\#triangles) for the node quadtree (about 24 bytes per background node) and
/// the room for the triangles around each node (24 bytes per triangle and 8 per node,
/// written only when a target lies off the walks' reach); O(\#targets) for the spatial
/// order (28 bytes per target, 28 more per target of the most crowded 4096-cell block of
/// the grid (all of them at worst), and 24 more per target when values are written in list
/// order); then per target a walk of a few steps (the exact nearest-node search and the
/// triangles around that node only off the mesh).
SURFKIT_API int interpolate(const dense2D<double>& coordinates,
                            const dense2D<unsigned int>& connectivity,
                            const dense2D<unsigned int>& neighbours, const id_list& home,
                            dense2D<double>& field, const id_list& targets);

/// The same for a scalar field of \#nodes entries.
/// @return as above; -5: field size not \#nodes.
SURFKIT_API int interpolate(const dense2D<double>& coordinates,
                            const dense2D<unsigned int>& connectivity,
                            const dense2D<unsigned int>& neighbours, const id_list& home,
                            dense1D<double, 8>& field, const id_list& targets);

/// Carries a size field onto target nodes like interpolate, but keeping sizes valid.
/// Inside a triangle a target's metric is built by two successive interpolations of two
/// metrics (sizes linear along their common basis): along edge i-j to the foot of the line
/// from k, then from k to that foot; a result that is not positive definite is rejected
/// and the target keeps its value. Isotropic sizes are blended linearly and kept only when
/// in (0, DBL_MAX). Weights found within the location tolerance outside the triangle are
/// used as they are; only a metric blend that fails with them is retried with the weights
/// clamped to [0, 1] and renormalised (near a vertex the edge ratio can be far outside
/// [0, 1]). Triangles are found by interpolate's walks, but in list order, each
/// starting from the home triangle of a node near the target (also those around the
/// nearest node that the walks cannot reach across edges). A target in no triangle gets an exact
/// copy of the nearest node with a home triangle (no validity test); without one it keeps its
/// value.
/// @param coordinates,connectivity,neighbours,home,targets  see the file description.
/// @param metrics     3 by \#nodes (plane metrics m00, m01, m11) or 6 by \#nodes (space
///                    metrics m00, m01, m11, m02, m12, m22), read and written.
/// @param keep_valid  true: targets already holding a valid value (positive definite
///                    metric, size in (0, DBL_MAX)) are left alone.
/// @return
///  - 0: success (at once for an empty target list);
///  - -1: coordinates not 2 rows;
///  - -2: a node ID of the connectivity not below \#nodes (or columns of a row count other
///    than 3);
///  - -3: neighbours not 3 by \#triangles or an entry neither below \#triangles nor UINT_MAX;
///  - -4: home size not \#nodes;
///  - -5: metrics not 3 or 6 by \#nodes;
///  - -6: a target ID not below \#nodes;
///  - -199: storage refused (the field unchanged).
///
/// Cost: O(\#triangles) for the node quadtree and the triangles around each node (as
/// interpolate); with keep_valid, one validity test per target without a home, so that a
/// field valid everywhere costs little more than the quadtree; O(\#targets) for a coarse
/// spatial order of the targets left (28 bytes each, at most 16384 cells), in which each
/// one's start is looked up and, on a background of 2^19 triangles or more, a trial walk
/// made to learn what to read ahead (17 bytes per listed target); then per target a walk
/// of a few steps (after a second validity test with keep_valid) and at most two metric
/// reductions (a 3 x 3 eigenproblem each in space).
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours, const id_list& home,
                                    dense2D<double>& metrics, const id_list& targets,
                                    bool keep_valid);

/// The same with every node a target (those with a home are left alone), through a list
/// of every node (4 bytes per node).
/// @return as above; 0 at once when there is no node.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours, const id_list& home,
                                    dense2D<double>& metrics, bool keep_valid);

/// Isotropic sizes, one per node.
/// @return as above; -5: size not \#nodes.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours, const id_list& home,
                                    dense1D<double, 8>& sizes, const id_list& targets,
                                    bool keep_valid);

/// Isotropic sizes with every node a target.
/// @return as above; -5: size not \#nodes.
SURFKIT_API int interpolate_metrics(const dense2D<double>& coordinates,
                                    const dense2D<unsigned int>& connectivity,
                                    const dense2D<unsigned int>& neighbours, const id_list& home,
                                    dense1D<double, 8>& sizes, bool keep_valid);

class background_locator;

/// Prepares `locator` for probe over a background mesh of counter-clockwise linear
/// triangles. A node's home is the first triangle naming it; nodes that no triangle names
/// are never an answer.
/// @param coordinates   2 by \#nodes background coordinates (copied).
/// @param connectivity  3 by \#triangles, at least one triangle (copied).
/// @param neighbours    3 by \#triangles: row i of column e is the triangle across the edge
///                      opposite local node i, UINT_MAX on the boundary (basekit::neighbours;
///                      copied).
/// @param locator       replaced on success; unchanged otherwise.
/// @return
///  - 0: success;
///  - -1: coordinates not 2 rows;
///  - -2: connectivity not 3 rows, no triangle, or a node ID not below \#nodes;
///  - -3: neighbours not 3 by \#triangles or an entry neither below \#triangles nor UINT_MAX;
///  - -199: storage refused (locator unchanged).
///
/// Cost: O(\#nodes + \#triangles): copies of the three arrays (16 bytes per node, 24 per
/// triangle), the home array (4 bytes per node), the node quadtree (about 24 bytes per node)
/// and room for the triangles around each node and the walks' marks (28 bytes per triangle
/// and 8 per node, filled only when a query lies off the walks' reach).
SURFKIT_API int build_locator(const dense2D<double>& coordinates,
                              const dense2D<unsigned int>& connectivity,
                              const dense2D<unsigned int>& neighbours, background_locator& locator);

/// A background mesh of plane triangles prepared once for locating many sets of query
/// points: copies of its coordinates, triangles and neighbour matrix, the home triangle of
/// each node, the node quadtree and the triangles around each node (what interpolate
/// builds on every call). Made by build_locator, read by probe; it belongs to the caller,
/// who keeps it as long as it answers queries (the library keeps nothing between calls).
/// Move-only; a default-made or moved-from locator is empty, and probe rejects it.
/// Concurrent probe calls on one locator are safe: they take turns on a lock held for the
/// whole call (the walks share scratch marks); build one locator per thread to run query
/// sets side by side.
class SURFKIT_API background_locator {
 public:
  background_locator() noexcept;
  ~background_locator();
  background_locator(background_locator&& other) noexcept;
  background_locator& operator=(background_locator&& other) noexcept;
  background_locator(const background_locator&) = delete;
  background_locator& operator=(const background_locator&) = delete;
  /// False for an empty locator.
  bool ready() const noexcept { return state_ != nullptr; }
  /// Background node count (0 when empty).
  std::size_t node_count() const noexcept;

  /// What build_locator prepared: opaque outside the library; null when empty.
  struct state;
  const state* prepared() const noexcept { return state_; }

 private:
  state* state_;
  /// @cond
  // build_locator fills an empty locator's state (declared and documented above).
  friend int build_locator(const dense2D<double>& coordinates,
                           const dense2D<unsigned int>& connectivity,
                           const dense2D<unsigned int>& neighbours, background_locator& locator);
  /// @endcond
};

/// A node field's values at query points: at a point inside a background triangle (1e-6
/// relative tolerance) the barycentric blend of the values at its corners, elsewhere an
/// exact copy of the values of the nearest node that a triangle names. The same values as
/// interpolate with the points appended to the background's nodes as targets (points are
/// visited in the same spatial order, and the walk's random source is made per call, seeded
/// with 1): identical for a point strictly inside a triangle, equal up to rounding for one
/// on an edge shared by two.
/// @param locator  made by build_locator.
/// @param field    \#components by \#nodes values at the background nodes.
/// @param points   2 by \#points query coordinates, finite.
/// @param values   resized to \#components by \#points and written (unchanged on error).
/// @return
///  - 0: success (an empty point set gives an empty result);
///  - -1: locator empty;
///  - -2: field column count not the locator's \#nodes;
///  - -3: points not 2 rows, or a coordinate not finite;
///  - -199: storage refused (values unchanged).
///
/// Cost: O(\#points) for the spatial order (28 bytes per point) and the result, then per
/// point a walk of a few steps (the exact nearest-node search and the triangles around that
/// node only off the mesh); nothing proportional to the background.
SURFKIT_API int probe(const background_locator& locator, const dense2D<double>& field,
                      const dense2D<double>& points, dense2D<double>& values);

/// The same for a scalar field of \#nodes entries; values get \#points entries.
/// @return as above; -2: field size not \#nodes.
SURFKIT_API int probe(const background_locator& locator, const dense1D<double, 8>& field,
                      const dense2D<double>& points, dense1D<double, 8>& values);

}  // namespace orvo::surfkit
