"""The surfkit command line: one operation on a mesh file, read and written with meshio.

    python3 -m surfkit OPERATION INPUT OUTPUT [options]
    python3 -m surfkit info INPUT
    python3 -m surfkit batch OPERATION INPUT... --output-dir DIR [options]

Every file format meshio reads and writes works (.vtu, .vtk, .msh, .obj, .stl, .ply, ...);
a format that cannot hold the result's cells is refused before anything is written.
An error ends with one line on stderr: exit code 2 for a bad option or option value
(the line names the option and the value), 1 for an input that cannot be read or an
operation that fails. Point and cell data go through where the operation keeps the nodes
and elements; what cannot is named in one warning line.

In-process use: ``surfkit.cli.main(["normals", "in.vtu", "out.vtu"])`` returns the exit
code and never exits the interpreter.
"""

import argparse
import contextlib
import io
import math
import os
import sys

import numpy as np

from . import _api as sk
from ._errors import ArgumentError
from ._kinds import NONE, ElementType, pattern as _pattern, split_criterion
from ._meshio import cell_id_problem, from_meshio, to_meshio
from ._progress import Progress

QUADRATIC = (ElementType.T6, ElementType.Q8, ElementType.Q9)
LINEAR = (ElementType.T3, ElementType.Q4)

# Sign convention of the curvature fields, stated once for --help and the README.
CURVATURE_SIGN = (
    "Sign: k1 >= k2, signed; a surface bending away from its normal has negative "
    "curvature (a sphere or cylinder whose elements turn counter-clockwise seen from "
    "outside: k = -1/R). dir_k1 and dir_k2 are the unit tangent directions in which the "
    "normal curvature is k1 and k2; mean_curvature = (k1 + k2) / 2, gaussian_curvature = "
    "k1 k2.")


class UsageError(Exception):
    """A bad option or option value (exit code 2)."""


class InputError(Exception):
    """An input that cannot be read, an operation that fails, an output that cannot be
    written (exit code 1)."""


class _Parser(argparse.ArgumentParser):
    # argparse prints the usage and exits; the command line reports one line instead.
    def error(self, message):
        raise UsageError("%s (see %s --help)" % (message, self.prog))


def _meshio():
    import meshio

    return meshio


def _one_line(error):
    text = str(error).strip().replace("\n", " ")
    return text or type(error).__name__


def _reason(error):
    """An ArgumentError's message without the function's name in front."""
    text = _one_line(error)
    head, sep, rest = text.partition(": ")
    return rest if sep and " " not in head else text


# ---- Reading and writing -------------------------------------------------------------------


def _read(path, progress):
    """(meshio mesh, from_meshio arrays) of a file, or InputError."""
    if not os.path.exists(path):
        raise InputError("%s: no such file" % path)
    # meshio prints its reader's complaints and exits on a file no reader takes; keep its
    # output and turn the exit into the command's one-line error.
    chatter = io.StringIO()
    with progress.step("reading " + os.path.basename(path)):
        try:
            with contextlib.redirect_stdout(chatter), contextlib.redirect_stderr(chatter):
                mesh = _meshio().read(path)
        except (Exception, SystemExit) as error:
            said = [line for line in chatter.getvalue().splitlines() if line.strip()]
            reason = said[0] if said else _one_line(error)
            raise InputError("%s: cannot read the mesh (%s)" % (path, reason.strip()))
    if len(mesh.points) == 0:
        raise InputError("%s: the mesh has no points" % path)
    problem = cell_id_problem(mesh)
    if problem:
        raise InputError("%s: %s" % (path, problem))
    try:
        arrays = from_meshio(mesh)
    except ArgumentError as error:
        raise InputError("%s: %s" % (path, _reason(error).replace("mesh ", "the mesh ", 1)))
    return mesh, arrays


# What the formats that cannot hold everything do hold: meshio cell types, and whether
# point and cell data survive (measured by writing each kind and reading it back; OFF and
# WKT turn a quadrangle into a triangle, PLY and medit drop quadratic cells silently).
_LINEAR_CELLS = {"triangle", "quad", "line"}
_FORMATS = {
    ".stl": ("STL", {"triangle"}, False, False),
    ".off": ("OFF", {"triangle"}, False, False),
    ".wkt": ("WKT", {"triangle"}, False, False),
    ".obj": ("OBJ", {"triangle", "quad"}, False, False),
    ".ply": ("PLY", _LINEAR_CELLS, True, False),
    ".mesh": ("medit", _LINEAR_CELLS, False, False),
    ".meshb": ("medit", _LINEAR_CELLS, False, False),
    ".ugrid": ("UGRID", {"triangle", "quad"}, False, False),
    ".avs": ("AVS-UCD", _LINEAR_CELLS, True, True),
    ".tec": ("Tecplot", _LINEAR_CELLS, True, True),
    ".dat": ("Tecplot", _LINEAR_CELLS, True, True),
    ".inp": ("Abaqus", None, False, False),
    ".bdf": ("Nastran", None, False, False),
    ".nas": ("Nastran", None, False, False),
    ".fem": ("Nastran", None, False, False),
    ".vol": ("Netgen", _LINEAR_CELLS | {"triangle6", "quad8"}, False, False),
}


def _file_format(path):
    # meshio would write .msh as ANSYS; Gmsh is the one meant, in its 2.2 format, which
    # (unlike 4.1) takes several cell kinds without Gmsh's entity tags.
    return "gmsh22" if path.lower().endswith(".msh") else None


def _write(path, mesh, progress, dropped):
    """Writes the mesh unless the format cannot hold its cells (InputError, nothing
    written); data the format cannot hold joins `dropped`, and the warning is given."""
    suffix = os.path.splitext(path)[1].lower()
    name, cells, point_data, cell_data = _FORMATS.get(suffix, (None, None, True, True))
    kinds = [b.type for b in mesh.cells if len(b.data)]
    if cells is not None:
        lost = [k for k in dict.fromkeys(kinds) if k not in cells]
        if lost:
            raise InputError("%s: %s files hold %s cells only, and the result has %s cells; "
                             "nothing written (.vtu, .vtk and .msh hold every kind)"
                             % (path, name, ", ".join(sorted(cells)), ", ".join(lost)))
    if mesh.point_data and not point_data:
        dropped.append("point data %s (%s files hold none)" % (_names(mesh.point_data), name))
        mesh.point_data = {}
    if mesh.cell_data and not cell_data:
        dropped.append("cell data %s (%s files hold none)" % (_names(mesh.cell_data), name))
        mesh.cell_data = {}
    _warn(dropped)
    with progress.step("writing " + os.path.basename(path)):
        try:
            with contextlib.redirect_stdout(io.StringIO()):
                _meshio().write(path, mesh, file_format=_file_format(path))
        except Exception as error:
            if os.path.exists(path):
                os.remove(path)  # no half-written file
            raise InputError("%s: cannot write the mesh (%s)" % (path, _one_line(error)))


def _finish(args, mesh, progress, dropped):
    """Writes an operation's result to args.output, renumbered first when asked."""
    if args.renumber:
        with progress.step("renumbering"):
            mesh = _renumbered(mesh, dropped)
    _write(args.output, mesh, progress, dropped)


def _renumbered(mesh, dropped):
    """The mesh with its nodes and faces in spatial order (sk.renumber), point and cell
    data moved with them."""
    arrays = from_meshio(mesh)
    if not len(arrays.connectivity):
        return mesh
    new = sk.renumber(arrays.coordinates, arrays.connectivity)
    lines = arrays.edge_nodes
    if len(lines):
        lines = sk.permute(lines, id_order=new.node_order)
        if any(len(b.data) and b.type.startswith("line") for b in mesh.cells) and \
                mesh.cell_data:
            dropped.append("the line cells' cell data (renumbering)")
    if arrays.ignored:
        dropped.append("cells of kind %s (renumbering keeps faces and lines)"
                       % ", ".join(sorted(arrays.ignored)))
    return to_meshio(new.coordinates, new.connectivity, arrays.kind,
                     point_data={k: np.asarray(v)[new.node_order]
                                 for k, v in arrays.point_data.items()},
                     cell_data={k: np.asarray(v)[new.element_order]
                                for k, v in arrays.cell_data.items()},
                     edge_nodes=lines)


def _names(data):
    return ", ".join("'%s'" % n for n in data)


def _warn(dropped):
    if dropped:
        sys.stderr.write("surfkit: warning: not written: %s\n" % "; ".join(dropped))


def _others(mesh, arrays, dropped, lines_too=True):
    """Notes the cells the result leaves out (lines, vertices, volumes)."""
    counts = dict(arrays.ignored)
    if lines_too:
        for block in mesh.cells:
            if block.type in ("line", "line3"):
                counts[block.type] = counts.get(block.type, 0) + len(block.data)
    if counts:
        dropped.append("%s cells (the result holds faces only)"
                       % ", ".join("%s %d" % kv for kv in counts.items()))


# ---- Quadratic rows ---------------------------------------------------------------------------

# Mid-edge nodes of the library's quadratic rows: column -> the two vertex columns.
_T6_EDGES = {3: (1, 2), 4: (2, 0), 5: (0, 1)}
_Q8_EDGES = {4: (0, 1), 5: (1, 2), 6: (2, 3), 7: (3, 0)}


def _triangle_rows(cells, kind):
    """Row mask of the triangles of a connectivity of the given kind."""
    width = cells.shape[1]
    if kind in (ElementType.T3, ElementType.T6) or width in (3, 6):
        return np.ones(len(cells), dtype=bool)
    if kind == ElementType.FACE_MIX:
        return cells[:, 3 if width == 4 else 6] == NONE
    return np.zeros(len(cells), dtype=bool)


def _vertex_rows(cells, kind):
    """The linear rows under the vertices of any face kind: (m, 3) for triangles only,
    else (m, 4) FACE_MIX."""
    if kind in LINEAR or cells.shape[1] <= 4:
        return cells
    triangles = _triangle_rows(cells, kind)
    if triangles.all():
        return np.ascontiguousarray(cells[:, :3])
    out = np.array(cells[:, :4])
    out[triangles, 3] = NONE
    return out


def _fill_mid_nodes(values, cells, kind):
    """Values at the mid-edge nodes (mean of the edge's ends) and quadrangle centres
    (mean of the four vertices) of quadratic rows, from the values at the vertices."""
    values = np.array(values, dtype=np.float64)
    triangles = _triangle_rows(cells, kind)
    for rows, edges in ((cells[triangles], _T6_EDGES), (cells[~triangles], _Q8_EDGES)):
        if not len(rows) or rows.shape[1] <= 4:
            continue
        for column, (a, b) in edges.items():
            values[rows[:, column]] = 0.5 * (values[rows[:, a]] + values[rows[:, b]])
        if edges is _Q8_EDGES and rows.shape[1] == 9:
            values[rows[:, 8]] = values[rows[:, :4]].mean(axis=1)
    return values


def _kind_name(arrays):
    """The face kinds of the input, as meshio names them."""
    return ", ".join(t for t in dict.fromkeys(b for b in _face_types(arrays)))


def _face_types(arrays):
    cells, kind = arrays.connectivity, arrays.kind
    if kind == ElementType.FACE_MIX:
        triangles = _triangle_rows(cells, kind)
        width = cells.shape[1]
        names = {4: ("triangle", "quad"), 8: ("triangle6", "quad8"), 9: ("triangle6", "quad9")}
        tri, quad = names.get(width, ("triangle", "quad"))
        return [tri if t else quad for t in triangles]
    return [kind.meshio_name] if kind.meshio_name else []


def _faces(arrays, path, operation, allow=None):
    """The input's faces, or InputError naming what the operation needs."""
    if len(arrays.connectivity) == 0:
        raise InputError("%s: %s needs triangles or quadrangles; the mesh has none" % (
            path, operation))
    if allow is not None and not allow(arrays):
        raise InputError("%s: %s takes linear triangles and quadrangles; the mesh has %s "
                         "cells" % (path, operation, _kind_name(arrays)))
    return arrays.connectivity, arrays.kind


def _is_linear(arrays):
    return arrays.kind in LINEAR or arrays.connectivity.shape[1] in (3, 4)


def _planar(arrays):
    points = arrays.coordinates
    return points.shape[1] == 2 or not np.any(points[:, 2])


def _points(arrays, dim):
    """float64 coordinates; dim=3 pads plane points with z = 0, dim=2 drops a zero z."""
    points = arrays.coordinates
    if dim == 3 and points.shape[1] == 2:
        return np.column_stack([points, np.zeros(len(points))])
    if dim == 2 and points.shape[1] == 3:
        return np.ascontiguousarray(points[:, :2])
    return points


def _option_error(option, value, reason):
    return UsageError("%s %s: %s" % (option, value, reason))


# ---- Operations -------------------------------------------------------------------------------


def op_info(args, progress):
    mesh, arrays = _read(args.input, progress)
    points = arrays.coordinates
    lines = ["points      %d (%d-D%s)" % (len(points), points.shape[1],
                                          ", plane" if _planar(arrays) else "")]
    kinds = ", ".join("%s %d" % (b.type, len(b.data)) for b in mesh.cells) or "none"
    lines.append("cells       " + kinds)
    if len(arrays.connectivity):
        cells = _vertex_rows(arrays.connectivity, arrays.kind)
        xyz = _points(arrays, 3)
        with progress.step("matching edges"):
            neighbours, _ = sk.neighbours(cells, node_count=len(xyz))
        with progress.step("measuring"):
            boundary, non_manifold, neighbours = _edges(cells, neighbours)
            loops = len(sk.boundary_loops(cells, neighbours=neighbours).starts) - 1
            total = sk.area(xyz, cells)
            smallest, largest = sk.angles(xyz, cells)
        lines.append("boundary    %d loop%s, %d edge%s" % (loops, "" if loops == 1 else "s",
                                                         boundary, "" if boundary == 1 else "s"))
        lines.append("non-manifold %d edge%s (held by three elements or more)"
                     % (non_manifold, "" if non_manifold == 1 else "s"))
        lines.append("area        %.10g" % total)
        if len(smallest):
            lines.append("angles      %.4g to %.4g degrees"
                         % (math.degrees(smallest.min()), math.degrees(largest.max())))
        if arrays.kind not in LINEAR and not _is_linear(arrays):
            lines.append("note        boundary, area and angles of the vertex nodes")
    for name in mesh.point_data:
        lines.append("point data  " + name)
    for name in mesh.cell_data:
        lines.append("cell data   " + name)
    progress.close()
    print("\n".join(lines))
    return 0


def _edges(cells, neighbours):
    """(boundary edges, non-manifold edges, neighbour matrix in which the non-manifold
    edges read as interior). An edge held by three elements or more has no neighbour in
    the matrix, like a boundary edge; it is counted apart, and marked as its element's own
    neighbour so that the boundary loops leave it out."""
    width = cells.shape[1]
    local = [(1, 2), (2, 0), (0, 1)] if width == 3 else [(0, 1), (1, 2), (2, 3), (3, 0)]
    triangle = cells[:, 3] == NONE if width == 4 else np.ones(len(cells), dtype=bool)
    a = np.empty((len(cells), width), dtype=np.uint32)
    b = np.empty_like(a)
    for j, (p, q) in enumerate(local):
        a[:, j], b[:, j] = cells[:, p], cells[:, q]
    if width == 4:  # a FACE_MIX triangle's edges are (1, 2), (2, 0), (0, 1), none in column 3
        for j, (p, q) in enumerate([(1, 2), (2, 0), (0, 1)]):
            a[triangle, j], b[triangle, j] = cells[triangle, p], cells[triangle, q]
    valid = np.ones(a.shape, dtype=bool)
    if width == 4:
        valid[triangle, 3] = False
    # One integer per edge: IDs are below 2^32, so the pair fits in 64 bits unsigned.
    key = (np.minimum(a, b).astype(np.uint64) << np.uint64(32)) | np.maximum(a, b).astype(np.uint64)
    keys, inverse, counts = np.unique(key[valid], return_inverse=True, return_counts=True)
    multiplicity = np.zeros(a.shape, dtype=np.int64)
    multiplicity[valid] = counts[inverse]
    fan = multiplicity >= 3
    marked = np.array(neighbours)
    rows = np.nonzero(fan)[0]
    marked[fan] = rows.astype(np.uint32)
    return int(np.count_nonzero(counts == 1)), int(np.count_nonzero(counts >= 3)), marked


def op_quadratic(args, progress):
    mesh, arrays = _read(args.input, progress)
    cells, kind = _faces(arrays, args.input, "quadratic", _is_linear)
    planar = _planar(arrays)
    xyz = _points(arrays, 2 if planar else 3)
    triangles = _triangle_rows(cells, kind)
    tri = np.ascontiguousarray(cells[triangles, :3])
    quads = np.ascontiguousarray(cells[~triangles, :4])
    per_quad = 1 if args.quad == "Q9" else 0
    if args.feature_angle is not None and not args.curved:
        raise UsageError("--feature-angle goes with --curved")
    angle = 30.0 if args.feature_angle is None else args.feature_angle
    if not math.isfinite(angle):
        raise _option_error("--feature-angle", args.feature_angle, "must be a finite number")
    with progress.step("adding nodes"):
        xyz, quads, tri = sk.convert_mixed(xyz, quads, tri, 1, per_quad, 0,
                                           curved=args.curved,
                                           feature_angle=math.radians(angle))
    # One array in the input's row order: T6, Q8 or Q9 alone, or a quadratic FACE_MIX.
    width = 6 if triangles.all() else quads.shape[1]
    out = np.full((len(cells), width), NONE, dtype=np.uint32)
    if len(tri):
        out[triangles, :6] = tri
    if len(quads):
        out[~triangles, :quads.shape[1]] = quads
    out_kind = (ElementType.T6 if triangles.all() else
                ElementType.FACE_MIX if triangles.any() else
                ElementType.Q9 if per_quad else ElementType.Q8)
    dropped = []
    _others(mesh, arrays, dropped)
    point_data = {}
    for name, values in arrays.point_data.items():
        grown = np.zeros((len(xyz),) + np.shape(values)[1:])
        grown[:len(values)] = values
        point_data[name] = _fill_mid_nodes(grown, out, out_kind)
    _finish(args, to_meshio(xyz, out, out_kind, point_data=point_data,
                                  cell_data=arrays.cell_data), progress, dropped)
    return 0


def op_split(args, progress):
    mesh, arrays = _read(args.input, progress)
    cells, kind = _faces(arrays, args.input, "split", _is_linear)
    xyz = _points(arrays, 2 if _planar(arrays) else 3)
    dropped = []
    _others(mesh, arrays, dropped)
    triangles = _triangle_rows(cells, kind)
    if args.into == "quads":
        quads, tris = cells[~triangles, :4], cells[triangles, :3]
        with progress.step("splitting into quadrangles"):
            new_xyz, out = sk.split_into_Q4(xyz, quads, tris)
        # Children come parent after parent, quadrangles first: child j of a parent with
        # vertices V is (V[j], mid(V[j], V[j+1]), centre, mid(V[j-1], V[j])).
        parents = np.concatenate([np.repeat(np.flatnonzero(~triangles), 4),
                                  np.repeat(np.flatnonzero(triangles), 3)])
        point_data = {name: _split_point_data(values, len(new_xyz), out, quads, tris)
                      for name, values in arrays.point_data.items()}
        cell_data = {name: values[parents] for name, values in arrays.cell_data.items()}
        result = to_meshio(new_xyz, out, ElementType.Q4, point_data=point_data,
                           cell_data=cell_data)
    else:
        rows = cells if cells.shape[1] == 4 else np.column_stack(
            [cells, np.full(len(cells), NONE, dtype=np.uint32)])
        rule = _choice(split_criterion, "--criterion", args.criterion)
        with progress.step("cutting quadrangles"):
            out, kept, split = sk.split_Q4_into_T3(
                xyz, rows, shape_threshold=args.shape_threshold,
                angle_threshold=args.angle_threshold, criterion=rule)
        parents = np.concatenate([kept, np.repeat(split, 2)])
        cell_data = {name: values[parents] for name, values in arrays.cell_data.items()}
        result = to_meshio(xyz, out, ElementType.FACE_MIX, point_data=arrays.point_data,
                           cell_data=cell_data)
    _finish(args, result, progress, dropped)
    return 0


def _split_point_data(values, count, out, quads, tris):
    grown = np.zeros((count,) + np.shape(values)[1:])
    grown[:len(values)] = values
    at = 0
    for parents, sides in ((quads, 4), (tris, 3)):
        if not len(parents):
            continue
        children = out[at:at + sides * len(parents)].reshape(len(parents), sides, 4)
        at += sides * len(parents)
        corners = grown[parents]                        # (p, sides, ...)
        following = grown[np.roll(parents, -1, axis=1)]
        grown[children[:, :, 1]] = 0.5 * (corners + following)
        grown[children[:, 0, 2]] = corners.mean(axis=1)
    return grown


def op_reorient(args, progress):
    mesh, arrays = _read(args.input, progress)
    cells, kind = _faces(arrays, args.input, "reorient")
    if not 0 <= args.start < len(cells):
        raise _option_error("--start", args.start, "the mesh has %d element%s (0 to %d)" % (
            len(cells), "" if len(cells) == 1 else "s", len(cells) - 1))
    vertices = _vertex_rows(cells, kind)
    with progress.step("matching edges"):
        neighbours = sk.neighbours(vertices, node_count=len(arrays.coordinates)).neighbours
    with progress.step("reorienting"):
        tidy, _, reversed_count = sk.mesh_reorient(vertices, neighbours=neighbours,
                                                   start_element=args.start)
    out = tidy
    if vertices is not cells:
        # Quadratic rows: the rows whose vertices turned are flipped whole, mid-edge nodes
        # following their edges.
        turned = np.any(tidy != vertices, axis=1)
        out = np.array(cells)
        out[turned] = sk.flip(cells[turned], kind)
    dropped = []
    _others(mesh, arrays, dropped)
    _finish(args, to_meshio(arrays.coordinates, out, kind, point_data=arrays.point_data,
                                  cell_data=arrays.cell_data), progress, dropped)
    progress.close()
    print("reversed %d element%s" % (reversed_count, "" if reversed_count == 1 else "s"))
    return 0


def op_normals(args, progress):
    mesh, arrays = _read(args.input, progress)
    cells, kind = _faces(arrays, args.input, "normals")
    if not math.isfinite(args.exponent) and abs(args.exponent) != math.inf:
        raise _option_error("--exponent", args.exponent, "not a number")
    xyz = _points(arrays, 3)
    vertices = _vertex_rows(cells, kind)
    exponent = max(-sys.float_info.max, min(sys.float_info.max, args.exponent))
    with progress.step("computing normals"):
        result = sk.normals(xyz, vertices, exponent=exponent, unit=not args.no_unit)
    if vertices is not cells:
        result = _fill_mid_nodes(result, cells, kind)
        if not args.no_unit:
            length = np.linalg.norm(result, axis=1)
            result[length > 0] /= length[length > 0, None]
    point_data = dict(arrays.point_data)
    point_data[args.name] = result
    dropped = []
    _others(mesh, arrays, dropped)
    _finish(args, to_meshio(xyz, cells, kind, point_data=point_data,
                                  cell_data=arrays.cell_data), progress, dropped)
    return 0


def _curvature_triangles(arrays, path):
    """Triangles over every node of the input: T3 as they are, quadrangles cut along the
    better diagonal, a T6 as its four sub-triangles."""
    cells, kind = arrays.connectivity, arrays.kind
    if kind == ElementType.T3:
        return cells
    if kind == ElementType.T6:
        a, b, c, bc, ca, ab = cells.T
        return np.ascontiguousarray(np.concatenate([np.column_stack(x) for x in (
            (a, ab, ca), (ab, b, bc), (ca, bc, c), (ab, bc, ca))]))
    if _is_linear(arrays):
        return sk.split_Q4_into_T3(_points(arrays, 3), cells).connectivity
    raise InputError("%s: curvature takes triangles (T3, T6) and linear quadrangles; the "
                     "mesh has %s cells" % (path, _kind_name(arrays)))


def op_curvature(args, progress):
    mesh, arrays = _read(args.input, progress)
    _faces(arrays, args.input, "curvature")
    triangles = _curvature_triangles(arrays, args.input)
    if args.rings not in (1, 2, 3):
        raise _option_error("--rings", args.rings, "must be 1, 2 or 3")
    if not args.radius >= 0 or not math.isfinite(args.radius):
        raise _option_error("--radius", args.radius, "must be 0 or a positive length")
    if not args.max_angle > 0:
        raise _option_error("--max-angle", args.max_angle, "must be above 0 degrees")
    xyz = _points(arrays, 3)
    with progress.step("matching edges"):
        neighbours = sk.neighbours(triangles, node_count=len(xyz)).neighbours
    if args.method == "fitted":
        with progress.step("fitting curvatures"):
            k = sk.fitted_curvatures(xyz, triangles, neighbours=neighbours, rings=args.rings)
    else:
        with progress.step("normal-cycle curvatures"):
            k = sk.principal_curvatures(xyz, triangles, neighbours=neighbours,
                                        radius=args.radius,
                                        max_angle=math.radians(args.max_angle))
    point_data = dict(arrays.point_data)
    point_data.update(k1=k.k1, k2=k.k2, dir_k1=k.dir_k1, dir_k2=k.dir_k2,
                      mean_curvature=k.mean, gaussian_curvature=k.gaussian)
    dropped = []
    _others(mesh, arrays, dropped)
    _finish(args, to_meshio(xyz, arrays.connectivity, arrays.kind, point_data=point_data,
                                  cell_data=arrays.cell_data), progress, dropped)
    return 0


def _choice(convert, option, value):
    try:
        return convert(int(value) if str(value).isdigit() else value, option, "surfkit")
    except (ArgumentError, TypeError) as error:
        text = _reason(error)
        at = text.find(" is not one of ")
        raise _option_error(option, value, text[at + 4:] if at >= 0 else text) from None


def op_extrude(args, progress):
    mesh, arrays = _read(args.input, progress)
    kinds = [b.type for b in mesh.cells]
    if "line3" in kinds:
        raise InputError("%s: extrude takes linear line cells; the mesh has line3 cells"
                         % args.input)
    line = arrays.edge_nodes
    if not len(line):
        raise InputError("%s: extrude needs a line mesh (cells of kind 'line'); the mesh has "
                         "%s" % (args.input, ", ".join(dict.fromkeys(kinds)) or "no cells"))
    for option, value in (("--axis", args.axis), ("--screw", args.screw)):
        if value is not None and args.angle is None:
            raise _option_error(option, " ".join("%g" % v for v in value),
                                "goes with --angle (degrees)")
    if (args.translate is None) == (args.angle is None):
        raise UsageError("give one of --translate and --angle (see extrude --help)")
    if args.even and args.sizes is None:
        raise UsageError("--even goes with --sizes")
    options = {}
    if args.sizes is None:
        if args.layers < 0:
            raise _option_error("--layers", args.layers, "must be 0 or more")
        options["layers"] = args.layers
    else:
        h0, h1 = args.sizes
        if not (h0 > 0 and h1 > 0 and math.isfinite(h0) and math.isfinite(h1)):
            raise _option_error("--sizes", "%g %g" % (h0, h1), "sizes must be finite and > 0")
        options.update(sizes=(h0, h1), force_even=args.even)
    if args.triangles:
        options["pattern"] = _choice(_pattern, "--pattern", args.pattern)
    elif args.pattern != "c1-c3":
        raise UsageError("--pattern goes with --triangles")
    planar = _planar(arrays)
    if args.translate is not None:
        d = list(args.translate)
        if len(d) not in (2, 3):
            raise _option_error("--translate", " ".join("%g" % v for v in d),
                                "takes 2 or 3 values")
        if len(d) == 2 and not planar:
            d.append(0.0)
        xyz = _points(arrays, 2 if len(d) == 2 else 3)
        call, head = (sk.extrude_translate_T3 if args.triangles else
                      sk.extrude_translate_Q4), (d,)
    else:
        angle = math.radians(args.angle)
        if args.axis is not None:
            axis = np.asarray(args.axis, dtype=float)
            if not np.any(axis) or not np.all(np.isfinite(axis)):
                raise _option_error("--axis", " ".join("%g" % v for v in args.axis),
                                    "not a direction")
            options["axis"] = axis
        if args.screw is not None:
            if args.axis is None and not np.any(args.screw):
                raise _option_error("--screw", "0 0 0", "the axis defaults to the screw's "
                                    "direction; give --axis")
            xyz = _points(arrays, 3)
            call = sk.extrude_spiral_T3 if args.triangles else sk.extrude_spiral_Q4
            head = (args.point, angle, args.screw)
        elif args.axis is not None:
            xyz = _points(arrays, 3)
            call = sk.extrude_rotate_T3 if args.triangles else sk.extrude_rotate_Q4
            head = (args.point, angle)
        else:
            if not planar:
                raise UsageError("--angle without --axis turns in the (x, y) plane, and the "
                                 "line is not plane: give --axis")
            xyz = _points(arrays, 2)
            call = sk.extrude_rotate_T3 if args.triangles else sk.extrude_rotate_Q4
            head = (args.centre, angle)
    with progress.step("extruding"):
        try:
            new_xyz, surface = call(xyz, line, *head, **options)
        except ArgumentError as error:
            given = {"sizes": ("--sizes", args.sizes), "layers": ("--layers", [args.layers]),
                     "translation": ("--screw", args.screw) if args.screw is not None
                     else ("--translate", args.translate)}
            if error.parameter not in given:
                raise
            option, value = given[error.parameter]
            reason = _reason(error).split("rejected: ", 1)[-1]
            raise _option_error(option, " ".join("%g" % v for v in value), reason) from None
    # The new nodes are copies of the line's distinct nodes, in order of first appearance,
    # layer after layer: each takes its original's point data.
    flat = line.ravel()
    _, first = np.unique(flat, return_index=True)
    distinct = flat[np.sort(first)]
    copies = (len(new_xyz) - len(xyz)) // max(1, len(distinct))
    origin = np.concatenate([np.arange(len(xyz)), np.tile(distinct, copies)])
    point_data = {name: np.asarray(values)[origin] for name, values in arrays.point_data.items()}
    dropped = []
    if mesh.cell_data:
        dropped.append("cell data %s (extrude makes new cells)" % _names(mesh.cell_data))
    face_counts = {}
    for block in mesh.cells:
        if block.type not in ("line", "line3"):
            face_counts[block.type] = face_counts.get(block.type, 0) + len(block.data)
    if face_counts:
        dropped.append("%s cells (the result is the band)"
                       % ", ".join("%s %d" % kv for kv in face_counts.items()))
    kind = ElementType.T3 if args.triangles else ElementType.Q4
    _finish(args, to_meshio(new_xyz, surface, kind, point_data=point_data), progress,
           dropped)
    return 0


# ---- Command line ---------------------------------------------------------------------------


def _parser():
    parser = _Parser(prog="surfkit", description="Mesh tools over meshio files. Exit codes: 0 "
                     "done, 1 an input that cannot be read or an operation that fails, 2 a "
                     "bad option or option value.")
    sub = parser.add_subparsers(dest="operation", metavar="OPERATION", parser_class=_Parser)
    sub.required = True

    def add(name, help_text, func, output=True, steps=3):
        # steps: the long steps the operation shows on the progress bar.
        p = sub.add_parser(name, help=help_text.split(". ")[0], description=help_text)
        p.add_argument("input", metavar="INPUT", help="mesh file meshio reads")
        if output:
            p.add_argument("output", metavar="OUTPUT",
                           help="mesh file to write (format by suffix; one that cannot hold "
                                "the result's cells is refused)")
            p.add_argument("--renumber", action="store_true",
                           help="number the result's nodes and elements in spatial order "
                                "(near nodes get near IDs, which later tools read faster); "
                                "point and cell data move with them")
        p.set_defaults(func=func, steps=steps)
        return p

    add("info", "Counts, kinds, boundary loops, non-manifold edges, area and angle range of a "
        "mesh. Quadratic faces: measured on their vertex nodes.", op_info, output=False)

    p = add("quadratic", "Quadratic elements: triangles become T6, quadrangles Q8 or Q9. "
            "Takes linear faces only (quadratic input is refused). Point data is interpolated "
            "onto the new nodes, cell data kept.", op_quadratic)
    p.add_argument("--quad", choices=("Q8", "Q9"), default="Q8",
                   help="quadrangle kind (default Q8)")
    p.add_argument("--curved", action="store_true",
                   help="place the new nodes on the smooth surface the vertices sample "
                        "(fitted at each vertex), not on straight edges and flat faces; "
                        "feature and boundary edges curve along their lines only, and "
                        "edges that would fold an element stay straight")
    p.add_argument("--feature-angle", type=float, default=None, metavar="DEG",
                   help="with --curved: edges whose faces turn by more than this many "
                        "degrees are feature lines (default 30)")

    p = add("split", "Split into quadrangles, or cut quadrangles into triangles. Takes linear "
            "faces only (quadratic input is refused). Each part takes its element's cell "
            "data; point data is interpolated onto new nodes.", op_split)
    p.add_argument("--into", choices=("quads", "triangles"), required=True)
    p.add_argument("--shape-threshold", type=float, default=2.0,
                   help="triangles: keep quadrangles of at least this shape quality "
                        "(1 = square; default 2 cuts them all)")
    p.add_argument("--angle-threshold", type=float, default=0.0,
                   help="triangles: ... and at least this angle quality (default 0)")
    p.add_argument("--criterion", default="shape",
                   help="triangles: how the diagonal is chosen: shape, angle (largest angle), "
                        "larger_area, area_sum, normal_angle, normal_angle_length (default "
                        "shape)")

    p = add("reorient", "Give every element the orientation of a start element. Quadratic "
            "faces: turned whole, mid-edge nodes with their edges.", op_reorient, steps=4)
    p.add_argument("--start", type=int, default=0, help="element whose orientation wins")

    p = add("normals", "Node normals as point data. Quadratic faces: computed from the vertex "
            "nodes, mid-edge nodes taking the mean of their edge's ends.", op_normals)
    p.add_argument("--exponent", type=float, default=1.0,
                   help="weight of each element: its area to this power (default 1)")
    p.add_argument("--no-unit", action="store_true", help="keep the weighted mean's length")
    p.add_argument("--name", default="normals", help="point-data name (default normals)")

    p = add("curvature", "Principal curvatures as point data: k1, k2, dir_k1, dir_k2, "
            "mean_curvature, gaussian_curvature, under the same names for both methods. "
            + CURVATURE_SIGN + " Takes triangles (a T6 as its four sub-triangles) and linear "
            "quadrangles (cut into triangles for the estimate); Q8 and Q9 are refused.",
            op_curvature, steps=4)
    p.add_argument("--method", choices=("fitted", "normal-cycle"), default="fitted",
                   help="fitted (a quadric fitted over rings of neighbours; converges under "
                        "refinement) or normal-cycle (over a patch); default fitted")
    p.add_argument("--rings", type=int, default=2, help="fitted: rings of neighbours (1-3)")
    p.add_argument("--radius", type=float, default=0.0,
                   help="normal-cycle: patch radius (default 0: one ring)")
    p.add_argument("--max-angle", type=float, default=180.0,
                   help="normal-cycle: patch growth stops at edges sharper than this (degrees)")

    p = add("extrude", "Sweep a line mesh into a band of quadrangles or triangles: along "
            "--translate, or by --angle degrees (in the plane about --centre; in space about "
            "--axis through --point; a screw with --screw). Takes line cells (line3 is "
            "refused). Point data goes to the copies of each node, cell data is dropped.",
            op_extrude)
    p.add_argument("--translate", type=float, nargs="+", metavar="D",
                   help="translation vector (2 or 3 values)")
    p.add_argument("--angle", type=float, help="rotation angle in degrees")
    p.add_argument("--centre", type=float, nargs=2, default=[0.0, 0.0], metavar=("X", "Y"),
                   help="centre of a plane rotation (default 0 0)")
    p.add_argument("--axis", type=float, nargs=3, metavar=("VX", "VY", "VZ"),
                   help="with --angle: the direction of the rotation axis in space (its "
                        "length does not matter)")
    p.add_argument("--point", type=float, nargs=3, default=[0.0, 0.0, 0.0],
                   metavar=("X", "Y", "Z"), help="a point of the axis (default 0 0 0)")
    p.add_argument("--screw", type=float, nargs=3, metavar=("TX", "TY", "TZ"),
                   help="with --angle: translation of a screw motion (the axis defaults to "
                        "its direction)")
    p.add_argument("--layers", type=int, default=10, help="layer count (default 10)")
    p.add_argument("--sizes", type=float, nargs=2, metavar=("H0", "H1"),
                   help="graded layers from size H0 at the line to H1 at the far end")
    p.add_argument("--even", action="store_true", help="with --sizes: an even layer count")
    p.add_argument("--triangles", action="store_true", help="triangles instead of quadrangles")
    p.add_argument("--pattern", default="c1-c3",
                   help="triangle diagonals: c1-c3, c0-c2 or alternate (c0, c1 on the line "
                        "side; default c1-c3)")
    # Listed for --help; main hands `batch` to its own module before parsing.
    sub.add_parser("batch", add_help=False,
                   help="One operation over many files, on this machine's cores or a Dask "
                        "cluster (surfkit batch --help).")
    return parser


def main(argv=None):
    """Runs one command line; returns the exit code (0 done, 1 an input that cannot be read
    or an operation that failed, 2 a bad option or option value). Never exits."""
    argv = sys.argv[1:] if argv is None else list(argv)
    if argv[:1] == ["batch"]:
        from ._batch import main as batch

        return batch(argv[1:])
    try:
        args = _parser().parse_args(argv)
        progress = Progress(total_steps=args.steps)
        try:
            return args.func(args, progress)
        finally:
            progress.close()
    except SystemExit as done:  # --help
        return done.code if isinstance(done.code, int) else 0
    except UsageError as error:
        sys.stderr.write("surfkit: error: %s\n" % error)
        return 2
    except InputError as error:
        sys.stderr.write("surfkit: error: %s\n" % error)
        return 1
    except ArgumentError as error:
        # A failed operation on this input: the library's reason, without its API name.
        where = locals().get("args")
        sys.stderr.write("surfkit: error: %s: %s\n"
                         % (getattr(where, "input", "surfkit"), _reason(error)))
        return 1
    except (OSError, ValueError, MemoryError) as error:
        sys.stderr.write("surfkit: error: %s\n" % _one_line(error))
        return 1
    except KeyboardInterrupt:
        sys.stderr.write("surfkit: interrupted\n")
        return 130
