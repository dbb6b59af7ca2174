"""The public functions: one per C++ function, under its C++ name, over NumPy arrays.

Required parameters come in the C++ order; derived inputs (neighbours, home, node_count),
flags and options are keyword-only and have defaults. Each function checks its scalar
arguments here (so that a wrong one raises TypeError or ArgumentError naming it) and
leaves arrays to the compiled layer, which reads them once and names the one it rejects.
"""

import math

import numpy as np

from . import _checks as ck
from . import _surfkit as _c
from ._errors import ArgumentError
from ._kinds import NONE, element_type, pattern as _pattern, split_criterion
from ._results import (Angles, BoundaryLoops, Curvatures, CurvedMesh, DegeneratedQ4,
                       FittedCurvatures, Mesh, MixedMesh, Neighbours, QuadSplit, Renumbered,
                       Reoriented)

UINT_MAX = ck.UINT_MAX

#: The default feature angle of the curved conversion: 30 degrees, in radians.
FEATURE_ANGLE = math.pi / 6


def version():
    """version() -> str: the library's version text, such as "4.8.0.0"."""
    return _c.version()


# ---- Frame -------------------------------------------------------------------------------


def flip(connectivity, kind=None):
    """Reverses the orientation of elements; returns the flipped (m, k) uint32 copy.

    connectivity : (m, k) node IDs, one row per element.
    kind : the elements' kind: an ElementType, its name ("T6") or meshio's cell type
        ("triangle6"). None: from the column count, 3 -> T3, 6 -> T6, 4, 8 or 9 ->
        FACE_MIX (pure Q4/Q8/Q9 rows flip as their own kinds, a triangle marked by NONE is
        kept whole). T3, Q4: columns 0 <-> 2; T6: also 3 <-> 5; Q8, Q9: also 4 <-> 5 and
        6 <-> 7; FACE_MIX by column count (8 or 9 columns: a row with NONE in column 6 is
        a T6); other kinds: unchanged.

    Raises ArgumentError: kind (no such kind, its node count is not the column count, or
    none given and a width no kind has); TypeError: kind of another type.
    """
    code = -1 if kind is None else int(element_type(kind, "kind", "flip"))
    try:
        return _c.flip(connectivity, code)
    except ArgumentError as error:
        if error.parameter != "kind" or kind is None:
            raise
        width = np.shape(connectivity)[1] if np.ndim(connectivity) == 2 else 0
        raise ArgumentError("flip: kind %s does not fit connectivity's %d columns"
                            % (element_type(kind).name, width), error.code, "kind") from None


# ---- Element conversion ------------------------------------------------------------------


def convert_mixed(coordinates, Q4_connectivity, T3_connectivity, nodes_per_edge=1,
                  nodes_per_quad=0, nodes_per_triangle=0, *, given_edges=None, curved=False,
                  feature_angle=FEATURE_ANGLE):
    """Adds nodes_per_edge nodes on every edge (once per shared edge), nodes_per_quad
    (m * m) nodes inside every quadrangle (an m by m grid) and nodes_per_triangle (0, 1 or
    3) inside every triangle. The defaults give Q8 and T6; nodes_per_quad=1 gives Q9.

    coordinates : (n, 2) or (n, 3) float64; the result has the new nodes appended as rows
        n and up (edge nodes in order of first meeting, quadrangles first, then
        quadrangle interiors, then triangle interiors).
    Q4_connectivity : (m4, 4) node IDs or None; becomes (m4, 4 + 4 e + q): vertices, e
        nodes per edge (0,1) (1,2) (2,3) (3,0), interior.
    T3_connectivity : (m3, 3) node IDs or None; becomes (m3, 3 + 3 e + t): vertices, e
        nodes per edge (1,2) (2,0) (0,1), interior.
    given_edges : (k, e + 2) node IDs or None: edges whose nodes exist already (end, end,
        first inner node, ...); they are reused.

    curved : False: the new nodes lie on straight edges and flat faces. True: they are
        then moved onto the surface the vertices sample, as curve_quadratic does (needs
        quadratic elements: nodes_per_edge 1, nodes_per_quad 0 or 1, nodes_per_triangle 0).
    feature_angle : radians, with curved=True: see curve_quadratic.

    Returns MixedMesh(coordinates, Q4_connectivity, T3_connectivity), new arrays.
    Raises ArgumentError naming the rejected parameter; MemoryError.
    """
    f = "convert_mixed"
    e = ck.integer(f, "nodes_per_edge", nodes_per_edge)
    q = ck.integer(f, "nodes_per_quad", nodes_per_quad)
    t = ck.integer(f, "nodes_per_triangle", nodes_per_triangle)
    angle = _curving(f, curved, feature_angle, e, q, t)
    mesh = MixedMesh(*_c.convert_mixed(coordinates, Q4_connectivity, T3_connectivity, e, q, t,
                                       given_edges))
    if angle is None:
        return mesh
    quads, triangles = mesh.Q4_connectivity, mesh.T3_connectivity
    if len(quads) and len(triangles):
        # One mixed array, so that the edges the two kinds share get one placement.
        rows = np.full((len(quads) + len(triangles), quads.shape[1]), NONE, dtype=np.uint32)
        rows[:len(quads)] = quads
        rows[len(quads):, :6] = triangles
    else:
        rows = quads if len(quads) else triangles
    xyz = _c.curve_quadratic(mesh.coordinates, rows, angle)[0] if len(rows) else mesh.coordinates
    return mesh._replace(coordinates=xyz)


def convert_Q4(coordinates, connectivity, nodes_per_edge=1, nodes_per_quad=0, *,
               given_edges=None, curved=False, feature_angle=FEATURE_ANGLE):
    """convert_mixed with quadrangles only: the defaults give Q8, nodes_per_quad=1 Q9;
    curved=True puts the new nodes on the surface (see convert_mixed).

    Returns Mesh(coordinates, connectivity) with connectivity (m, 4 + 4 e + q).
    Raises ArgumentError: coordinates, connectivity, nodes_per_quad (not a square),
    given_edges; MemoryError.
    """
    f = "convert_Q4"
    e = ck.integer(f, "nodes_per_edge", nodes_per_edge)
    q = ck.integer(f, "nodes_per_quad", nodes_per_quad)
    angle = _curving(f, curved, feature_angle, e, q, 0)
    return _curved_mesh(Mesh(*_c.convert_Q4(coordinates, connectivity, e, q, given_edges)), angle)


def convert_T3(coordinates, connectivity, nodes_per_edge=1, nodes_per_triangle=0, *,
               given_edges=None, curved=False, feature_angle=FEATURE_ANGLE):
    """convert_mixed with triangles only: the defaults give T6; curved=True puts the new
    nodes on the surface (see convert_mixed).

    Returns Mesh(coordinates, connectivity) with connectivity (m, 3 + 3 e + t).
    Raises ArgumentError: coordinates, connectivity, nodes_per_triangle (not 0, 1 or 3),
    given_edges; MemoryError.
    """
    f = "convert_T3"
    e = ck.integer(f, "nodes_per_edge", nodes_per_edge)
    t = ck.integer(f, "nodes_per_triangle", nodes_per_triangle)
    angle = _curving(f, curved, feature_angle, e, 0, t)
    return _curved_mesh(Mesh(*_c.convert_T3(coordinates, connectivity, e, t, given_edges)), angle)


def _curving(function, curved, feature_angle, e, q, t):
    """The feature angle when the conversion is to be curved, else None; ArgumentError
    naming curved when the elements asked for are not quadratic."""
    if not ck.flag(function, "curved", curved):
        return None
    angle = ck.real(function, "feature_angle", feature_angle)
    if math.isnan(angle):
        raise ArgumentError("%s: feature_angle is NaN" % function, None, "feature_angle")
    if e != 1 or q > 1 or t != 0:
        raise ArgumentError("%s: curved=True needs quadratic elements (nodes_per_edge 1, "
                            "nodes_per_quad 0 or 1, nodes_per_triangle 0), got %d, %d, %d"
                            % (function, e, q, t), None, "curved")
    return angle


def _curved_mesh(mesh, angle):
    if angle is None or not len(mesh.connectivity):
        return mesh
    return mesh._replace(coordinates=_c.curve_quadratic(mesh.coordinates, mesh.connectivity,
                                                        angle)[0])


def curve_quadratic(coordinates, connectivity, *, feature_angle=FEATURE_ANGLE):
    """Moves the edge and face nodes of a quadratic mesh onto the smooth surface its
    vertices sample (degree-2 height functions fitted at the vertices); vertices never
    move. An edge whose two elements' normals turn by more than feature_angle, and a
    boundary edge, curves along its feature or boundary line only. Where the curved
    placement would fold an element, its edges are put back on their straight midpoints.

    coordinates : (n, 2) or (n, 3) float64; a plane mesh keeps its interior nodes and
        curves its boundary edges in the plane.
    connectivity : (m, 6) T6, (m, 8) Q8 or (m, 9) Q9 node IDs; 8 or 9 columns may mix in
        T6 rows (NONE in column 6). Each edge's edge node is shared by its elements.
    feature_angle : radians (default pi/6); negative: every interior edge is a feature.

    Returns CurvedMesh(coordinates, straightened): new coordinates and the number of edges
    straightened. Cost: linear in the mesh (one small fit per vertex).
    Raises ArgumentError: coordinates, connectivity, feature_angle (NaN); MemoryError.
    """
    angle = ck.real("curve_quadratic", "feature_angle", feature_angle)
    return CurvedMesh(*_c.curve_quadratic(coordinates, connectivity, angle))


def split_into_Q4(coordinates, Q4_connectivity=None, T3_connectivity=None, *,
                  given_edges=None):
    """Splits every quadrangle into four and every triangle into three quadrangles by
    joining the edge midpoints to the element centre.

    given_edges : (k, 3) node IDs or None: (end, end, existing midpoint), reused.

    Returns Mesh(coordinates, connectivity): the coordinates with the midpoints and
    centres appended, and the (4 m4 + 3 m3, 4) uint32 quadrangles.
    Raises ArgumentError naming the rejected parameter; MemoryError.
    """
    return Mesh(*_c.split_into_Q4(coordinates, Q4_connectivity, T3_connectivity, given_edges))


# ---- Topology ----------------------------------------------------------------------------


def convert_degenerated_Q4(connectivity):
    """Turns quadrangles with a node repeated along an edge into triangles of a mixed
    mesh: in each row without NONE the first adjacent repetition is removed and column 3
    becomes NONE ((a, a, b, c) -> (a, b, c, NONE)).

    connectivity : (m, 4) FACE_MIX node IDs.

    Returns DegeneratedQ4(connectivity, changed): the new rows and how many changed.
    Raises ArgumentError: connectivity without 4 columns.
    """
    return DegeneratedQ4(*_c.convert_degenerated_Q4(connectivity))


def split_Q4_into_T3(coordinates, connectivity, *, shape_threshold=None,
                     angle_threshold=None, criterion=None):
    """Cuts quadrangles into two triangles.

    coordinates : (n, 2) or (n, 3) float64, or None to cut every quadrangle along its
        diagonal 0-2 (node IDs are then not checked).
    connectivity : (m, 3) triangles or (m, 4) FACE_MIX rows.
    shape_threshold, angle_threshold, criterion : give any of them to keep the good
        quadrangles (shape quality >= shape_threshold and angle quality >=
        angle_threshold; 1 is a square; defaults 2.0 and 0.0, which cut every quadrangle)
        and to cut the others along the diagonal rated better by criterion (a
        SplitCriterion or its name: "shape" (default), "angle", "larger_area",
        "area_sum", "normal_angle", "normal_angle_length"). Without them, every
        quadrangle is cut along the diagonal whose worse triangle has the better shape
        quality (ties to the diagonal from the smallest ID).

    Returns QuadSplit(connectivity, kept, split): the (m', 3) triangles in input order
    (with thresholds: (m', 4) FACE_MIX rows, the kept rows first, then two triangles per
    cut quadrangle with NONE in column 3), and the uint32 row indices of the input
    elements kept whole and of the quadrangles cut (every row in exactly one of them).
    Raises ArgumentError: coordinates, connectivity, criterion; TypeError; MemoryError.
    """
    f = "split_Q4_into_T3"
    thresholds = not (shape_threshold is None and angle_threshold is None and criterion is None)
    if thresholds and coordinates is None:
        name = ("shape_threshold" if shape_threshold is not None else
                "angle_threshold" if angle_threshold is not None else "criterion")
        raise ArgumentError("%s: %s needs coordinates (given None)" % (f, name), None, name)
    shape = ck.real(f, "shape_threshold", 2.0 if shape_threshold is None else shape_threshold)
    angle = ck.real(f, "angle_threshold", 0.0 if angle_threshold is None else angle_threshold)
    rule = int(split_criterion("shape" if criterion is None else criterion, "criterion", f))
    output, kept, split = _c.split_Q4_into_T3(coordinates, connectivity, thresholds, shape,
                                              angle, rule)
    if kept is None:
        cells = np.asarray(connectivity)
        if cells.ndim == 2 and cells.shape[1] == 4:
            is_quad = cells[:, 3] != NONE
        else:
            is_quad = np.zeros(len(cells), dtype=bool)
        kept = np.flatnonzero(~is_quad).astype(np.uint32)
        split = np.flatnonzero(is_quad).astype(np.uint32)
    return QuadSplit(output, kept, split)


def mesh_reorient(connectivity, *, neighbours=None, start_element=0, all_components=True):
    """Gives every element reachable from start_element the orientation of that element,
    walking the neighbour matrix breadth first.

    connectivity : (m, 3) triangles or (m, 4) FACE_MIX.
    neighbours : its neighbour matrix (neighbours()), or None to build it here.
    start_element : the element whose orientation wins.
    all_components : also walk from every element above start_element not reached yet.

    Returns Reoriented(connectivity, neighbours, reversed): the reoriented copy, the
    neighbour matrix kept in step, and the number of reversals.
    Raises ArgumentError: connectivity, neighbours, start_element (not below m).
    """
    f = "mesh_reorient"
    start = ck.integer(f, "start_element", start_element)
    every = ck.flag(f, "all_components", all_components)
    return Reoriented(*_c.mesh_reorient(connectivity, neighbours, start, every))


# ---- Extrusion ---------------------------------------------------------------------------

_EXTRUDE_COMMON = """
    coordinates : (n, 2) or (n, 3) float64; the result gains one copy of the line's
        distinct nodes per layer, layer after layer (made 3-D first by the space forms).
    edge_nodes : (k, 2) node IDs: the line's edges.
    layers : the layer count (evenly spaced; 0 adds nothing). Give it, or instead
        sizes=(h0, h1): target sizes (> 0) next to the line and at the far end, from which
        the layer count follows (layers growing geometrically from h0 to h1), rounded to
        an even count with force_even=True.
    face_nodes : None, or existing (m, {width}) {cells} to append the band to.{pattern}

    Returns Mesh(coordinates, connectivity): new arrays, the inputs unchanged.
    Raises ArgumentError naming the rejected parameter (including a missing or extra one
    of layers and sizes); TypeError for a value of the wrong type; MemoryError.
"""
_PATTERN_DOC = """
    pattern : the diagonals of the triangles, a Pattern or its name: "c1-c3" (default),
        "c0-c2" or "alternate" (c0, c1 on the near side, c2, c3 on the far side)."""


def _doc(head, triangles):
    return head + _EXTRUDE_COMMON.format(
        width=3 if triangles else 4, cells="triangles" if triangles else "quadrangles",
        pattern=_PATTERN_DOC if triangles else "")


def _plane_or_space(f, centre):
    return ck.vector(f, "centre", centre, (2, 3))


def _translate(f, triangles, coordinates, edge_nodes, translation, layers, sizes, force_even,
               face_nodes, pattern):
    d = ck.vector(f, "translation", translation, (2, 3))
    form = ck.layers_or_sizes(f, layers, sizes, force_even)
    if triangles:
        return Mesh(*_c.extrude_translate_T3(coordinates, edge_nodes, d, *form,
                                             int(_pattern(pattern, "pattern", f)), face_nodes))
    return Mesh(*_c.extrude_translate_Q4(coordinates, edge_nodes, d, *form, face_nodes))


def extrude_translate_Q4(coordinates, edge_nodes, translation, layers=None, *, sizes=None,
                         force_even=False, face_nodes=None):
    return _translate("extrude_translate_Q4", False, coordinates, edge_nodes, translation,
                      layers, sizes, force_even, face_nodes, None)


def extrude_translate_T3(coordinates, edge_nodes, translation, layers=None, *, sizes=None,
                         force_even=False, face_nodes=None, pattern="c1-c3"):
    return _translate("extrude_translate_T3", True, coordinates, edge_nodes, translation,
                      layers, sizes, force_even, face_nodes, pattern)


_TRANSLATE_HEAD = """Sweeps a line mesh along the vector `translation` into a band of {}.

    translation : 2 values (in the plane: coordinates (n, 2)) or 3 (in space); its length
        is the band's width.
"""
extrude_translate_Q4.__doc__ = _doc(_TRANSLATE_HEAD.format("quadrangles"), False)
extrude_translate_T3.__doc__ = _doc(_TRANSLATE_HEAD.format("triangles, two per cell"), True)


def _rotate(f, triangles, coordinates, edge_nodes, centre, angle, layers, axis, sizes,
            force_even, face_nodes, pattern):
    c = _plane_or_space(f, centre)
    a = ck.real(f, "angle", angle)
    if len(c) == 2:
        if axis is not None:
            raise ArgumentError("%s: axis is for a rotation in space, and centre has 2 values "
                                "(a rotation in the plane); give a centre of 3 values"
                                % f, None, "axis")
        rotation = None
    else:
        if axis is None:
            raise ArgumentError("%s: axis missing: a centre of 3 values (a rotation in space) "
                                "needs axis=(x, y, z)" % f, None, "axis")
        rotation = ck.direction(f, "axis", axis) * a
    form = ck.layers_or_sizes(f, layers, sizes, force_even)
    if triangles:
        return Mesh(*_c.extrude_rotate_T3(coordinates, edge_nodes, c, a, rotation, *form,
                                          int(_pattern(pattern, "pattern", f)), face_nodes))
    return Mesh(*_c.extrude_rotate_Q4(coordinates, edge_nodes, c, a, rotation, *form,
                                      face_nodes))


def extrude_rotate_Q4(coordinates, edge_nodes, centre, angle, layers=None, *, axis=None,
                      sizes=None, force_even=False, face_nodes=None):
    return _rotate("extrude_rotate_Q4", False, coordinates, edge_nodes, centre, angle, layers,
                   axis, sizes, force_even, face_nodes, None)


def extrude_rotate_T3(coordinates, edge_nodes, centre, angle, layers=None, *, axis=None,
                      sizes=None, force_even=False, face_nodes=None, pattern="c1-c3"):
    return _rotate("extrude_rotate_T3", True, coordinates, edge_nodes, centre, angle, layers,
                   axis, sizes, force_even, face_nodes, pattern)


_ROTATE_HEAD = """Sweeps a line mesh by a rotation into a band of {}.

    centre : 2 values: the rotation is in the (x, y) plane about that point,
        counter-clockwise for a positive angle; 3 values: the rotation is in space about
        the axis through that point along `axis` (right-hand rule).
    angle : radians (several turns allowed).
    axis : with a centre of 3 values, the direction of the axis (3 values, any length).
"""
extrude_rotate_Q4.__doc__ = _doc(_ROTATE_HEAD.format("quadrangles"), False)
extrude_rotate_T3.__doc__ = _doc(_ROTATE_HEAD.format("triangles, two per cell"), True)


def _spiral(f, triangles, coordinates, edge_nodes, centre, angle, translation, layers, axis,
            sizes, force_even, face_nodes, pattern):
    c = ck.vector(f, "centre", centre, (3,))
    a = ck.real(f, "angle", angle)
    t = ck.vector(f, "translation", translation, (3,))
    if axis is None:
        if not np.any(t):
            raise ArgumentError("%s: axis missing: it defaults to the translation's direction, "
                                "and the translation is zero" % f, None, "axis")
        axis = t
    rotation = ck.direction(f, "axis", axis) * a
    form = ck.layers_or_sizes(f, layers, sizes, force_even)
    if triangles:
        return Mesh(*_c.extrude_spiral_T3(coordinates, edge_nodes, c, rotation, t, *form,
                                          int(_pattern(pattern, "pattern", f)), face_nodes))
    return Mesh(*_c.extrude_spiral_Q4(coordinates, edge_nodes, c, rotation, t, *form,
                                      face_nodes))


def extrude_spiral_Q4(coordinates, edge_nodes, centre, angle, translation, layers=None, *,
                      axis=None, sizes=None, force_even=False, face_nodes=None):
    return _spiral("extrude_spiral_Q4", False, coordinates, edge_nodes, centre, angle,
                   translation, layers, axis, sizes, force_even, face_nodes, None)


def extrude_spiral_T3(coordinates, edge_nodes, centre, angle, translation, layers=None, *,
                      axis=None, sizes=None, force_even=False, face_nodes=None,
                      pattern="c1-c3"):
    return _spiral("extrude_spiral_T3", True, coordinates, edge_nodes, centre, angle,
                   translation, layers, axis, sizes, force_even, face_nodes, pattern)


_SPIRAL_HEAD = """Sweeps a line mesh by a screw motion into a band of {}: the rotation
    by `angle` about the axis through `centre` along `axis`, combined with `translation`.

    centre : 3 values, a point of the axis.
    angle : radians (right-hand rule about axis).
    translation : 3 values, not zero with `layers` (it sets the path length).
    axis : 3 values, the axis direction; None: the translation's direction.
"""
extrude_spiral_Q4.__doc__ = _doc(_SPIRAL_HEAD.format("quadrangles"), False)
extrude_spiral_T3.__doc__ = _doc(_SPIRAL_HEAD.format("triangles, two per cell"), True)


# ---- Structured meshes and metrics --------------------------------------------------------


def mesh_struct_Q4(coordinates, boundary, segments, *, face_nodes=None):
    """Fills a four-sided domain with a structured grid of quadrangles by transfinite
    interpolation of its boundary.

    coordinates : (n, 2) or (n, 3) float64; gains (m - 1)(segments - 1) interior nodes.
    boundary : closed loop of s = 2 (m + segments) + 1 node IDs (first repeated as last,
        as boundary_loops gives it); sides 1 and 3 have m segments, sides 2 and 4
        `segments`; corners at entries 0, m, m + segments, 2 m + segments.
    segments : segments on sides 2 and 4.
    face_nodes : None, or existing (e, 4) quadrangles the m * segments new ones are
        appended to.

    Returns Mesh(coordinates, connectivity).
    Raises ArgumentError: coordinates, boundary, segments, face_nodes; MemoryError.
    """
    f = "mesh_struct_Q4"
    n = ck.integer(f, "segments", segments)
    return Mesh(*_c.mesh_struct_Q4(coordinates, boundary, n, face_nodes))


def mesh_struct_T3(coordinates, boundary, segments, *, face_nodes=None, pattern="c1-c3"):
    """As mesh_struct_Q4 with each grid cell cut into two triangles (pattern: a Pattern or
    its name, "c1-c3" (default), "c0-c2" or "alternate", as in extrusion).

    Returns Mesh(coordinates, connectivity).
    Raises ArgumentError: coordinates, boundary, segments, pattern, face_nodes;
    MemoryError.
    """
    f = "mesh_struct_T3"
    n = ck.integer(f, "segments", segments)
    p = int(_pattern(pattern, "pattern", f))
    return Mesh(*_c.mesh_struct_T3(coordinates, boundary, n, p, face_nodes))


def metrics_struct(boundary, segments, metrics):
    """Size field at the interior nodes of the structured grid of mesh_struct_Q4/T3 (same
    loop, same segments, same numbering): appends (m - 1)(segments - 1) values.

    metrics : (n,) sizes, one per node, or (n, 3) plane / (n, 6) space metrics
        (m00, m01, m11[, m02, m12, m22]).

    Returns the extended sizes or metrics.
    Raises ArgumentError: boundary, segments, metrics; MemoryError.
    """
    n = ck.integer("metrics_struct", "segments", segments)
    return _c.metrics_struct(boundary, n, metrics)


# ---- Interpolation -----------------------------------------------------------------------


def interpolate(coordinates, connectivity, field, targets, *, neighbours=None, home=None):
    """Carries a nodal field from a background mesh of counter-clockwise linear triangles
    onto target nodes of the same coordinate set: the barycentric blend in the triangle
    holding the target; outside, a copy of the nearest node that has a home triangle.

    coordinates : (n, 2) float64, background nodes and targets together.
    connectivity : (m, 3) background triangles.
    field : (n,) scalars or (n, c) values per node.
    targets : node IDs to compute, in processing order.
    neighbours : the connectivity's neighbour matrix, or None to build it here.
    home : (n,) a triangle holding each node, NONE for a target; None: home_elements()
        (the first triangle holding each node; targets must then be nodes no triangle
        holds, such as points appended behind the mesh's nodes).

    Returns the new field. See probe() for values at arbitrary points.
    Raises ArgumentError naming the rejected parameter; MemoryError.
    """
    return _c.interpolate(coordinates, connectivity, neighbours, home, field, targets)


def interpolate_metrics(coordinates, connectivity, metrics, targets=None, *, neighbours=None,
                        home=None, keep_valid=False):
    """Carries a size field from a background triangle mesh onto target nodes, keeping
    sizes valid (metrics are blended along their common eigenbasis; a result that is not
    positive definite is rejected and the target keeps its value).

    metrics : (n,) isotropic sizes, or (n, 3) plane / (n, 6) space metrics
        (m00, m01, m11[, m02, m12, m22]).
    targets : node IDs in processing order, or None: every node without a home triangle.
    keep_valid : leave targets that already hold a valid value alone.
    Other parameters as for interpolate.

    Returns the new metrics.
    Raises ArgumentError naming the rejected parameter; MemoryError.
    """
    keep = ck.flag("interpolate_metrics", "keep_valid", keep_valid)
    return _c.interpolate_metrics(coordinates, connectivity, neighbours, home, metrics, targets,
                                  keep)


def probe(coordinates, connectivity, field, points):
    """A node field's values at arbitrary points of a plane triangle mesh: the barycentric
    blend inside the triangle holding the point, the value of the nearest node outside the
    mesh. Built on interpolate (the points become targets appended behind the nodes).

    coordinates : (n, 2) float64.
    connectivity : (m, 3) counter-clockwise triangles.
    field : (n,) or (n, c) values, one row per node.
    points : (k, 2) query points.

    Returns (k,) for an (n,) field, (k, c) for an (n, c) field, float64.
    Raises ArgumentError: coordinates, connectivity, field, points; MemoryError.
    """
    f = "probe"
    xy = _real_array(f, "coordinates", coordinates)
    if xy.ndim != 2 or xy.shape[1] != 2:
        raise ArgumentError("%s: coordinates has shape %s; expected (n, 2)" % (f, xy.shape),
                            None, "coordinates")
    at = _real_array(f, "points", points)
    if at.size == 0:
        at = at.reshape(0, 2)
    if at.ndim != 2 or at.shape[1] != 2:
        raise ArgumentError("%s: points has shape %s; expected (k, 2)" % (f, at.shape), None,
                            "points")
    values = _real_array(f, "field", field)
    if values.ndim not in (1, 2) or len(values) != len(xy):
        raise ArgumentError("%s: field has shape %s; expected (%d,) or (%d, c), one row per "
                            "node" % (f, values.shape, len(xy), len(xy)), None, "field")
    n, k = len(xy), len(at)
    if k == 0:
        return np.zeros((0,) + values.shape[1:])
    all_xy = np.concatenate([xy, at])
    all_values = np.concatenate([values, np.zeros((k,) + values.shape[1:])])
    try:
        out = _c.interpolate(all_xy, connectivity, None, None, all_values,
                             np.arange(n, n + k, dtype=np.uint32))
    except ArgumentError as error:
        if error.parameter != "connectivity":
            raise
        raise ArgumentError(str(error).replace("interpolate:", "probe:", 1), error.code,
                            "connectivity") from None
    return out[n:]


def _real_array(function, name, value):
    try:
        array = np.asarray(value, dtype=np.float64)
    except (TypeError, ValueError):
        raise ArgumentError("%s: %s is not an array of real numbers" % (function, name), None,
                            name) from None
    return array


# ---- Geometry and curvature --------------------------------------------------------------


def area(coordinates, connectivity):
    """Total area of a mesh of triangles ((m, 3)) or triangles and quadrangles ((m, 4)
    FACE_MIX, NONE in column 3 for a triangle). In the plane ((n, 2) coordinates) the
    signed sum (clockwise elements count negative); in space the sum of unsigned areas.

    Raises ArgumentError: coordinates, connectivity.
    """
    return _c.area(coordinates, connectivity)


def angles(coordinates, connectivity, *, normalised=False):
    """Smallest and largest corner angle of every element, (m,) float64 each, in radians
    (in the plane signed, negative for a clockwise element), or with normalised=True
    scaled so that the equilateral triangle and the right angle read 1.

    Returns Angles(smallest, largest).
    Raises ArgumentError: coordinates, connectivity; MemoryError.
    """
    flag = ck.flag("angles", "normalised", normalised)
    return Angles(*_c.angles(coordinates, connectivity, flag))


def normals(coordinates, connectivity, *, exponent=1.0, unit=True):
    """One normal per node of a surface mesh in space, from the unit normals of the
    elements holding the node, each weighted by its area to the power `exponent` (0: all
    alike; sys.float_info.max: the largest element's normal; -sys.float_info.max: the
    smallest non-degenerate one's).

    coordinates : (n, 3) float64.  connectivity : (m, 3) or (m, 4) FACE_MIX.
    unit : True for unit normals, False for the weighted mean of the unit element normals.

    Returns (n, 3) float64; a node no element holds gets (0, 0, 0).
    Raises ArgumentError: coordinates, connectivity; MemoryError.
    """
    f = "normals"
    return _c.normals(coordinates, connectivity, ck.real(f, "exponent", exponent),
                      ck.flag(f, "unit", unit))


def _named_curvatures(raw, fitted):
    """k1 >= k2 with the directions in which the normal curvature is each, from the
    library's (n, 8) rows: curvature of largest |k| in column 6, the other in 7. The
    fitted method's columns 0-2 are the direction of column 6's curvature; the
    normal-cycle tensor's eigenvector for it (columns 0-2) lies along the other one."""
    a, b = raw[:, 6], raw[:, 7]
    da, db = (raw[:, 0:3], raw[:, 3:6]) if fitted else (raw[:, 3:6], raw[:, 0:3])
    first = a >= b
    k1 = np.where(first, a, b)
    k2 = np.where(first, b, a)
    d1 = np.where(first[:, None], da, db)
    d2 = np.where(first[:, None], db, da)
    return k1, k2, d1, d2, 0.5 * (k1 + k2), k1 * k2


def principal_curvatures(coordinates, connectivity, *, neighbours=None, radius=0.0,
                         max_angle=math.pi, max_elements=None, feature_edges=None):
    """Principal curvatures and directions at every node of a triangulated surface, by the
    normal-cycle estimate over a patch of elements around each node.

    coordinates : (n, 3) float64.  connectivity : (m, 3) triangles.
    neighbours : the connectivity's neighbour matrix, or None to build it here.
    radius : the patch grows beyond the node's ring only into elements with a node closer
        than |radius| (0: ring only).
    max_angle : ... only across edges whose normals make an angle below it (radians).
    max_elements : ... and stops growing at that many elements (None: no limit).
    feature_edges : None or (k, 2) node pairs left out of the estimate.

    Returns Curvatures(k1, k2, dir_k1, dir_k2, mean, gaussian). Sign: a surface bending
    away from its normal (outward normals of a convex body: elements counter-clockwise
    seen from outside) has negative curvatures.
    Raises ArgumentError: coordinates, connectivity, neighbours, feature_edges;
    TypeError; MemoryError.
    """
    f = "principal_curvatures"
    r = ck.real(f, "radius", radius)
    angle = ck.real(f, "max_angle", max_angle)
    limit = UINT_MAX if max_elements is None else ck.integer(f, "max_elements", max_elements)
    raw = _c.principal_curvatures(coordinates, connectivity, neighbours, r, angle, limit,
                                  feature_edges)
    return Curvatures(*_named_curvatures(raw, fitted=False))


def fitted_curvatures(coordinates, connectivity, *, neighbours=None, rings=2):
    """Principal curvatures and directions at every node of a triangulated surface from a
    degree-2 height function fitted by least squares over the node's `rings`-ring (1 to
    3), in a frame whose z axis is the node's area-weighted normal. Unlike
    principal_curvatures, the estimate converges to the surface's curvatures under
    refinement.

    coordinates : (n, 3) float64.  connectivity : (m, 3) triangles (their orientation
        gives the normal's side).
    neighbours : the connectivity's neighbour matrix, or None to build it here.

    Returns FittedCurvatures(k1, k2, dir_k1, dir_k2, mean, gaussian, unfitted), the sign as
    for principal_curvatures; a node that could not be fitted has zeros everywhere.
    Raises ArgumentError: coordinates, connectivity, neighbours, rings; MemoryError.
    """
    count = ck.integer("fitted_curvatures", "rings", rings)
    raw, unfitted = _c.fitted_curvatures(coordinates, connectivity, neighbours, count)
    return FittedCurvatures(*_named_curvatures(raw, fitted=True), unfitted)


def parametric_curvatures(parameters, connectivity, tangents):
    """Second-fundamental-form coefficients relative to the parameters at the nodes of a
    triangle mesh laid in the parameter plane of a surface known by its first
    derivatives.

    parameters : (n, 2) float64 (u, v).  connectivity : (m, 3) triangles.
    tangents : (n, 6) float64: dS/du then dS/dv at each node.

    Returns (n, 3) float64: -(n.S_uu, n.S_uv, n.S_vv) for the unit normal n.
    Raises ArgumentError: parameters, connectivity, tangents; MemoryError.
    """
    return _c.parametric_curvatures(parameters, connectivity, tangents)


def metrics_gen_aniso3d(coordinates, connectivity, normal_size, *, metrics=None):
    """Anisotropic 3-D size metrics from a triangulated surface: each element adds at its
    nodes the metric of the node's mean edge length in its tangent plane and of the
    normal size along its normal, intersected with what the node holds.

    normal_size : > 0 the size along the normal; < 0: |normal_size| times the mean edge
        length; 0: isotropic; inf: the normal direction unconstrained.
    metrics : None or (n, 6) metrics to refine (m00, m01, m11, m02, m12, m22).

    Returns (n, 6) float64.
    Raises ArgumentError: coordinates, connectivity, normal_size, metrics; MemoryError.
    """
    size = ck.real("metrics_gen_aniso3d", "normal_size", normal_size)
    return _c.metrics_gen_aniso3d(coordinates, connectivity, size, metrics)


# ---- Mesh plumbing -----------------------------------------------------------------------


def _node_count(function, node_count):
    if node_count is None:
        return None
    return ck.integer(function, "node_count", node_count, high=UINT_MAX - 1)


def neighbours(connectivity, *, node_count=None):
    """The neighbour matrix of a mesh of triangles ((m, 3)) or triangles and quadrangles
    ((m, 4) FACE_MIX), in the layout mesh_reorient, interpolate and the curvatures read:
    entry (e, j) is the element across local edge j of e (triangle: the edge facing vertex
    j; quadrangle: vertex j to j + 1), NONE where there is none (boundary, an edge held by
    three or more elements, a triangle's column 3).

    node_count : the number of nodes (above every ID), or None for the largest ID + 1.

    Returns Neighbours(neighbours, non_manifold): the (m, k) uint32 matrix and the number
    of edges held by three elements or more.
    Raises ArgumentError: connectivity, node_count; TypeError; MemoryError.
    """
    count = _node_count("neighbours", node_count)
    return Neighbours(*_c.neighbours(connectivity, count))


def renumber(coordinates, connectivity):
    """The mesh numbered in spatial order: nodes along a Hilbert curve through their
    bounding box, elements by their first node, so that near nodes get near IDs and every
    function runs on it nearly as fast as on a mesh numbered row by row (meshes merged
    from parts, read from triangle soups or numbered by front cost several times more).

    coordinates : (n, 2) or (n, 3) real coordinates.
    connectivity : (m, 3), (m, 4), (m, 6), (m, 8) or (m, 9) node IDs of any face kind
        (NONE kept where a mixed kind marks a triangle).

    Returns Renumbered(coordinates, connectivity, node_order, element_order): the new
    arrays and the orders (new position -> old ID) that permute takes to move anything
    computed in one numbering to the other. Cost: linear (counting sorts).
    Raises ArgumentError: coordinates, connectivity; MemoryError.
    """
    return Renumbered(*_c.renumber(coordinates, connectivity))


def permute(values, order=None, *, id_order=None, inverse=False):
    """Moves an array between two numberings of one mesh, as renumber gives them.

    values : a real field, (n,) or (n, c), one row per node or per element; or an integer
        array of IDs, (n,) or (n, k): a connectivity, neighbour matrix, home array,
        boundary loop.
    order : the rows' order, new position -> old ID: node_order for a node field or a
        home array, element_order for an element field, a connectivity or a neighbour
        matrix. Needed for a real field; None for an ID array whose rows carry no ID (a
        boundary loop).
    id_order : ID arrays only: how their values are renamed: node_order for node IDs
        (a connectivity, a loop), element_order for element IDs (a neighbour matrix, a
        home array); NONE stays NONE. None: the values are kept.
    inverse : False moves from the old numbering to the new; True back. Forward then back
        gives the array exactly as it was.

    Returns a new array of values' shape (uint32 for IDs, float64 for fields).
    Raises ArgumentError: values (an ID the id_order does not cover), order or id_order
    (not a permutation of the right length; missing for a field; id_order for a field);
    TypeError: values neither real nor integer.
    """
    f = "permute"
    back = ck.flag(f, "inverse", inverse)
    dtype = getattr(values, "dtype", None)
    if dtype is None:
        dtype = np.asarray(values).dtype
    if np.issubdtype(dtype, np.floating):
        if id_order is not None:
            raise ArgumentError("%s: id_order renames IDs; values is a real field" % f, None,
                                "id_order")
        if order is None:
            raise ArgumentError("%s: order is needed to move a real field" % f, None, "order")
        return _c.permute_field(values, order, back)
    if np.issubdtype(dtype, np.integer) and dtype != np.bool_:
        return _c.permute_ids(values, order, id_order, back)
    raise TypeError("%s: values must be real values or integer IDs, got %s values"
                    % (f, dtype))


def home_elements(connectivity, *, node_count=None):
    """A home element per node, as interpolate takes it: the first element (row order)
    that holds the node, NONE for a node no element holds (targets appended behind the
    background nodes).

    node_count : the number of nodes (above every ID), or None for the largest ID + 1.

    Returns (node_count,) uint32.
    Raises ArgumentError: connectivity, node_count; TypeError; MemoryError.
    """
    count = _node_count("home_elements", node_count)
    return _c.home_elements(connectivity, count)


def boundary_loops(connectivity, *, neighbours=None):
    """The boundary as node loops, every boundary edge once, keeping the mesh on their left
    (the outer boundary of a counter-clockwise plane mesh counter-clockwise, holes
    clockwise). A closed loop starts at its smallest node and repeats it at its end (the
    form mesh_struct_Q4 reads). An edge held by three elements or more counts once per
    element holding it.

    neighbours : the connectivity's neighbour matrix, or None to build it here.

    Returns BoundaryLoops(nodes, starts): loop i is nodes[starts[i]:starts[i + 1]], so
    there are len(starts) - 1 loops.
    Raises ArgumentError: connectivity, neighbours; MemoryError.
    """
    return BoundaryLoops(*_c.boundary_loops(connectivity, neighbours))


def feature_edges(coordinates, connectivity, angle, *, neighbours=None):
    """Every interior edge whose two element normals make an angle above `angle`
    (radians), once, as (k, 2) uint32 node pairs: the feature_edges argument of
    principal_curvatures.

    neighbours : the connectivity's neighbour matrix, or None to build it here.

    Raises ArgumentError: coordinates, connectivity, neighbours, angle (NaN); TypeError;
    MemoryError.
    """
    a = ck.real("feature_edges", "angle", angle)
    return _c.feature_edges(coordinates, connectivity, neighbours, a)
