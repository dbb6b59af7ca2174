"""The named results: one type per function, whatever form of it is called. Each is a
tuple, so ``xyz, cells = surfkit.convert_T3(...)`` unpacks as before."""

from typing import NamedTuple

import numpy as np


class Mesh(NamedTuple):
    """A mesh a function made or extended."""

    #: (n', 2) or (n', 3) float64: the input coordinates with the new nodes appended.
    coordinates: np.ndarray
    #: (m, k) uint32 node IDs, one row per element.
    connectivity: np.ndarray


class MixedMesh(NamedTuple):
    """convert_mixed's result."""

    #: (n', 2) or (n', 3) float64: the input coordinates with the new nodes appended.
    coordinates: np.ndarray
    #: (m4, 4 + 4 nodes_per_edge + nodes_per_quad) uint32.
    Q4_connectivity: np.ndarray
    #: (m3, 3 + 3 nodes_per_edge + nodes_per_triangle) uint32.
    T3_connectivity: np.ndarray


class CurvedMesh(NamedTuple):
    """curve_quadratic's result."""

    #: (n, 2) or (n, 3) float64: the coordinates with edge and face nodes moved.
    coordinates: np.ndarray
    #: The number of edges put back on their straight midpoints to keep elements valid.
    straightened: int


class Renumbered(NamedTuple):
    """renumber's result: the mesh in spatial order and the orders that map to it."""

    #: (n, 2) or (n, 3) float64: row i holds the coordinates of old node node_order[i].
    coordinates: np.ndarray
    #: (m, k) uint32: row i is old element element_order[i], its IDs renamed.
    connectivity: np.ndarray
    #: (n,) uint32: new position -> old node ID.
    node_order: np.ndarray
    #: (m,) uint32: new position -> old element ID.
    element_order: np.ndarray


class DegeneratedQ4(NamedTuple):
    """convert_degenerated_Q4's result."""

    #: (m, 4) uint32 FACE_MIX rows.
    connectivity: np.ndarray
    #: The number of rows changed.
    changed: int


class QuadSplit(NamedTuple):
    """split_Q4_into_T3's result."""

    #: (m', 3) uint32 triangles; (m', 4) FACE_MIX rows when thresholds were given.
    connectivity: np.ndarray
    #: uint32 row indices of the input elements kept whole (triangles, good quadrangles).
    kept: np.ndarray
    #: uint32 row indices of the input quadrangles cut.
    split: np.ndarray


class Reoriented(NamedTuple):
    """mesh_reorient's result."""

    #: (m, 3) or (m, 4) uint32: the reoriented connectivity.
    connectivity: np.ndarray
    #: Its neighbour matrix, kept in step with the reversals.
    neighbours: np.ndarray
    #: The number of elements reversed.
    reversed: int


class Angles(NamedTuple):
    """angles' result."""

    #: (m,) float64: the smallest corner angle of each element.
    smallest: np.ndarray
    #: (m,) float64: the largest corner angle of each element.
    largest: np.ndarray


class Curvatures(NamedTuple):
    """principal_curvatures' result. Sign: a surface that bends away from its normal
    (a sphere or a cylinder whose elements turn counter-clockwise seen from outside, so
    that the normal points outwards) has negative curvatures."""

    #: (n,) float64: the larger principal curvature (signed, k1 >= k2).
    k1: np.ndarray
    #: (n,) float64: the smaller principal curvature.
    k2: np.ndarray
    #: (n, 3) float64: the unit tangent direction in which the normal curvature is k1.
    dir_k1: np.ndarray
    #: (n, 3) float64: the unit tangent direction in which the normal curvature is k2.
    dir_k2: np.ndarray
    #: (n,) float64: (k1 + k2) / 2.
    mean: np.ndarray
    #: (n,) float64: k1 k2.
    gaussian: np.ndarray


class FittedCurvatures(NamedTuple):
    """fitted_curvatures' result: as Curvatures, with the count of nodes not fitted."""

    #: (n,) float64: the larger principal curvature (signed, k1 >= k2).
    k1: np.ndarray
    #: (n,) float64: the smaller principal curvature.
    k2: np.ndarray
    #: (n, 3) float64: the unit tangent direction in which the normal curvature is k1.
    dir_k1: np.ndarray
    #: (n, 3) float64: the unit tangent direction in which the normal curvature is k2.
    dir_k2: np.ndarray
    #: (n,) float64: (k1 + k2) / 2.
    mean: np.ndarray
    #: (n,) float64: k1 k2.
    gaussian: np.ndarray
    #: The number of nodes that could not be fitted (all their values are 0).
    unfitted: int


class Neighbours(NamedTuple):
    """neighbours' result."""

    #: (m, 3) or (m, 4) uint32: entry (e, j) the element across local edge j of e.
    neighbours: np.ndarray
    #: The number of edges held by three elements or more.
    non_manifold: int


class BoundaryLoops(NamedTuple):
    """boundary_loops' result: loop i is nodes[starts[i]:starts[i + 1]]."""

    #: uint32 node IDs of the loops, one after the other.
    nodes: np.ndarray
    #: uint32 offsets of the loops in nodes, then len(nodes) (loop count + 1 entries).
    starts: np.ndarray


class MeshioMesh(NamedTuple):
    """from_meshio's result: a meshio mesh's faces as the library's arrays."""

    #: (n, 3) or (n, 2) float64: meshio's points.
    coordinates: np.ndarray
    #: (m, k) uint32: every face cell, block after block (see from_meshio for k).
    connectivity: np.ndarray
    #: The ElementType of connectivity's rows (T3, Q4, T6, Q8, Q9 or FACE_MIX;
    #: NO_ELEMENT when the mesh has no faces).
    kind: object
    #: name -> (n, ...) array: meshio's point data.
    point_data: dict
    #: name -> (m, ...) array: meshio's cell data of the face blocks, row for row.
    cell_data: dict
    #: (k, 2) uint32: the end nodes of the line cells (line, line3), block after block.
    edge_nodes: np.ndarray
    #: meshio cell type -> count of the cells taken in neither connectivity nor
    #: edge_nodes (vertices, volumes).
    ignored: dict
