"""meshio meshes as the library's arrays and back: from_meshio and to_meshio.

meshio is imported only when a mesh is made (to_meshio); from_meshio reads any object with
meshio's attributes (points, cells with .type and .data, point_data, cell_data).
"""

import numpy as np

from ._errors import ArgumentError
from ._kinds import NONE, ElementType, element_type
from ._results import MeshioMesh

#: The face kinds the library takes, by meshio's name.
LINEAR_FACES = ("triangle", "quad")
QUADRATIC_FACES = ("triangle6", "quad8", "quad9")
FACES = LINEAR_FACES + QUADRATIC_FACES
LINES = ("line", "line3")
#: meshio follows VTK: a six-node triangle lists its edge nodes (0,1), (1,2), (2,0); the
#: library's T6 lists (1,2), (2,0), (0,1). Q8 and Q9 agree.
T6_FROM_VTK = np.array([0, 1, 2, 4, 5, 3])
T6_TO_VTK = np.argsort(T6_FROM_VTK)


def cell_id_problem(mesh):
    """The first cell ID of any block that names no point of the mesh, as text ("cell
    block 0 (quad), row 1: ID -1 is not a point of the mesh (0 to 11)"), or None.

    The library's arrays hold IDs as uint32 with 0xFFFFFFFF meaning "none" (a FACE_MIX
    triangle, a boundary edge), so a cast without this check would turn a negative or
    oversized ID into "none" or another node and change the mesh silently.
    """
    count = len(mesh.points)
    for b, block in enumerate(mesh.cells):
        data = np.asarray(block.data)
        if data.size == 0:
            continue
        if not np.issubdtype(data.dtype, np.integer):
            return "cell block %d (%s) holds %s values, not integer IDs" % (b, block.type,
                                                                            data.dtype)
        bad = (data < 0) | (data >= min(count, NONE))
        if bad.any():
            where = np.argwhere(bad)[0]
            row = int(where[0])
            return ("cell block %d (%s), row %d: ID %d is not a point of the mesh (0 to %d)"
                    % (b, block.type, row, int(data[tuple(where)]), count - 1))
    return None


def _face_kind(types):
    """(kind, width) of one connectivity holding faces of the given meshio types."""
    present = set(types)
    if not present:
        return ElementType.NO_ELEMENT, 3
    linear, quadratic = present & set(LINEAR_FACES), present & set(QUADRATIC_FACES)
    if linear and quadratic:
        raise ArgumentError("from_meshio: mesh mixes linear and quadratic faces (%s); the "
                            "library's arrays hold one order" % ", ".join(sorted(present)),
                            None, "mesh")
    if present == {"triangle"}:
        return ElementType.T3, 3
    if present == {"quad"}:
        return ElementType.Q4, 4
    if linear:
        return ElementType.FACE_MIX, 4
    if present == {"quad8", "quad9"} or present == {"triangle6", "quad8", "quad9"}:
        raise ArgumentError("from_meshio: mesh mixes quad8 and quad9 faces; the library's "
                            "arrays hold one of them", None, "mesh")
    if present == {"triangle6"}:
        return ElementType.T6, 6
    if present == {"quad8"}:
        return ElementType.Q8, 8
    if present == {"quad9"}:
        return ElementType.Q9, 9
    return ElementType.FACE_MIX, 9 if "quad9" in present else 8


def _face_rows(kind_name, data, width):
    """One block's rows in the library's node order, `width` columns (NONE padding)."""
    data = np.asarray(data, dtype=np.int64)
    out = np.full((len(data), width), NONE, dtype=np.uint32)
    if kind_name == "triangle6":
        out[:, :6] = data[:, T6_FROM_VTK]
    else:
        out[:, :data.shape[1]] = data
    return out


def from_meshio(mesh):
    """The faces, lines and data of a meshio mesh as the library's arrays.

    Every face block (meshio's triangle, quad, triangle6, quad8, quad9) goes into one
    connectivity, block after block, in the library's node order:

    ==========================  =========  ===============================================
    face blocks                 kind       connectivity
    ==========================  =========  ===============================================
    triangle                    T3         (m, 3)
    quad                        Q4         (m, 4)
    triangle and quad           FACE_MIX   (m, 4), NONE in column 3 for a triangle
    triangle6                   T6         (m, 6), edge nodes (1,2), (2,0), (0,1)
    quad8 / quad9               Q8 / Q9    (m, 8) / (m, 9)
    triangle6 and quad8/quad9   FACE_MIX   (m, 8) / (m, 9), a T6 in columns 0-5, NONE in
                                           the others
    ==========================  =========  ===============================================

    Line blocks (line, line3) give edge_nodes (their end nodes); other blocks (vertices,
    volumes) are counted in `ignored`. Point data is kept as it is; the cell data of the
    face blocks is joined into one (m, ...) array per name, row for row with
    connectivity (a name whose face blocks' arrays do not join is left out).

    mesh : a meshio.Mesh (or an object with its attributes).

    Returns MeshioMesh(coordinates, connectivity, kind, point_data, cell_data, edge_nodes,
    ignored); coordinates are meshio's points as float64, (n, 2) or (n, 3).
    Raises ArgumentError naming `mesh`: a cell ID that names no point, faces mixing linear
    and quadratic kinds (or quad8 and quad9).
    """
    if not all(hasattr(mesh, name) for name in ("points", "cells", "point_data", "cell_data")):
        raise TypeError("from_meshio: mesh must be a meshio.Mesh, got %s" % type(mesh).__name__)
    problem = cell_id_problem(mesh)
    if problem:
        raise ArgumentError("from_meshio: mesh rejected: " + problem, None, "mesh")
    coordinates = np.ascontiguousarray(mesh.points, dtype=np.float64)
    blocks = [i for i, block in enumerate(mesh.cells) if block.type in FACES]
    kind, width = _face_kind(mesh.cells[i].type for i in blocks)
    parts = [_face_rows(mesh.cells[i].type, mesh.cells[i].data, width) for i in blocks]
    connectivity = (np.concatenate(parts) if parts
                    else np.zeros((0, width), dtype=np.uint32))
    cell_data = {}
    for name, arrays in mesh.cell_data.items():
        try:
            joined = np.concatenate([np.asarray(arrays[i]) for i in blocks]) if blocks else None
        except (ValueError, IndexError):
            joined = None
        if joined is not None and len(joined) == len(connectivity):
            cell_data[name] = joined
    lines = [np.asarray(b.data)[:, :2] for b in mesh.cells if b.type in LINES]
    edge_nodes = (np.concatenate(lines).astype(np.uint32) if lines
                  else np.zeros((0, 2), dtype=np.uint32))
    ignored = {}
    for block in mesh.cells:
        if block.type not in FACES and block.type not in LINES:
            ignored[block.type] = ignored.get(block.type, 0) + len(block.data)
    point_data = {name: np.asarray(values) for name, values in mesh.point_data.items()}
    return MeshioMesh(coordinates, connectivity, kind, point_data, cell_data, edge_nodes,
                      ignored)


def _row_kinds(connectivity, kind):
    """meshio's type of every row of a connectivity of the given kind."""
    m, width = connectivity.shape
    if kind == ElementType.FACE_MIX:
        if width == 3:
            return np.full(m, "triangle", dtype=object)
        if width == 4:
            return np.where(connectivity[:, 3] == NONE, "triangle", "quad").astype(object)
        if width == 6:
            return np.full(m, "triangle6", dtype=object)
        quad = "quad9" if width == 9 else "quad8"
        return np.where(connectivity[:, 6] == NONE, "triangle6", quad).astype(object)
    return np.full(m, kind.meshio_name, dtype=object)


_WIDTHS = {ElementType.T3: (3,), ElementType.Q4: (4,), ElementType.T6: (6,),
           ElementType.Q8: (8,), ElementType.Q9: (9,), ElementType.FACE_MIX: (3, 4, 6, 8, 9)}
_BY_WIDTH = {3: ElementType.T3, 4: ElementType.FACE_MIX, 6: ElementType.T6,
             8: ElementType.FACE_MIX, 9: ElementType.FACE_MIX}


def to_meshio(coordinates, connectivity, kind=None, *, point_data=None, cell_data=None,
              edge_nodes=None):
    """A meshio.Mesh of the library's arrays (the inverse of from_meshio).

    coordinates : (n, 2) or (n, 3) real coordinates (plane ones get z = 0).
    connectivity : (m, k) node IDs of faces in the library's node order.
    kind : the faces' kind (an ElementType, its name or meshio's): T3, Q4, T6, Q8, Q9 or
        FACE_MIX (3, 4, 6, 8 or 9 columns: NONE in column 3 of a 4-column row or column 6
        of an 8- or 9-column row marks a triangle). None: from the column count, 3 -> T3,
        6 -> T6, 4, 8 or 9 -> FACE_MIX.
    point_data : name -> (n, ...) array, one row per node.
    cell_data : name -> (m, ...) array, one row per row of connectivity.
    edge_nodes : None or (k, 2) node pairs written as a line block before the faces (its
        cell data is NaN, or 0 for integer data).

    The faces become one meshio block per kind (triangle, quad, triangle6, quad8, quad9)
    in the order the kinds first appear, each keeping its rows' order; cell data follows
    its rows.

    Returns the meshio.Mesh (cells int64).
    Raises ArgumentError: connectivity (a width the kind does not have), kind, point_data
    or cell_data (an array of another length); TypeError.
    """
    import meshio

    f = "to_meshio"
    points = np.asarray(coordinates, dtype=np.float64)
    if points.ndim != 2 or points.shape[1] not in (2, 3):
        raise ArgumentError("%s: coordinates has shape %s; expected (n, 2) or (n, 3)"
                            % (f, points.shape), None, "coordinates")
    if points.shape[1] == 2:
        points = np.hstack([points, np.zeros((len(points), 1))])
    cells = np.asarray(connectivity)
    if cells.size == 0:
        cells = cells.reshape(0, cells.shape[1] if cells.ndim == 2 else 3)
    if cells.ndim != 2 or not np.issubdtype(cells.dtype, np.integer):
        raise ArgumentError("%s: connectivity must be an (m, k) array of integer IDs, got %s "
                            "of shape %s" % (f, cells.dtype, cells.shape), None, "connectivity")
    width = cells.shape[1]
    if kind is None:
        if width not in _BY_WIDTH:
            raise ArgumentError("%s: connectivity has %d columns, which fit no face kind "
                                "(3, 4, 6, 8 or 9)" % (f, width), None, "connectivity")
        the_kind = _BY_WIDTH[width]
    else:
        the_kind = element_type(kind, "kind", f)
        if the_kind not in _WIDTHS:
            raise ArgumentError("%s: kind %s is not a face kind (T3, Q4, T6, Q8, Q9, FACE_MIX)"
                                % (f, the_kind.name), None, "kind")
        if width not in _WIDTHS[the_kind]:
            raise ArgumentError("%s: kind %s does not fit connectivity's %d columns"
                                % (f, the_kind.name, width), None, "kind")
    cells = cells.astype(np.int64)
    row_kinds = _row_kinds(cells, the_kind)
    order_of_kinds = list(dict.fromkeys(row_kinds.tolist()))
    blocks, rows_of = [], []
    for name in order_of_kinds:
        rows = np.flatnonzero(row_kinds == name)
        nodes = {"triangle": 3, "quad": 4, "triangle6": 6, "quad8": 8, "quad9": 9}[name]
        data = cells[rows, :nodes]
        if name == "triangle6":
            data = data[:, T6_TO_VTK]
        blocks.append((name, data))
        rows_of.append(rows)
    lines = None
    if edge_nodes is not None:
        lines = np.asarray(edge_nodes)
        if lines.size == 0:
            lines = lines.reshape(0, 2)
        if lines.ndim != 2 or lines.shape[1] != 2:
            raise ArgumentError("%s: edge_nodes has shape %s; expected (k, 2)"
                                % (f, lines.shape), None, "edge_nodes")
        if len(lines):
            blocks.insert(0, ("line", lines.astype(np.int64)))
    points_out = {}
    for name, values in (point_data or {}).items():
        values = np.asarray(values)
        if len(values) != len(points):
            raise ArgumentError("%s: point_data %r has %d rows for %d points"
                                % (f, name, len(values), len(points)), None, "point_data")
        points_out[name] = values
    cells_out = {}
    for name, values in (cell_data or {}).items():
        values = np.asarray(values)
        if len(values) != len(cells):
            raise ArgumentError("%s: cell_data %r has %d rows for %d cells"
                                % (f, name, len(values), len(cells)), None, "cell_data")
        per_block = [values[rows] for rows in rows_of]
        if lines is not None and len(lines):
            fill = np.zeros((len(lines),) + values.shape[1:], dtype=values.dtype)
            if np.issubdtype(values.dtype, np.floating):
                fill[...] = np.nan
            per_block.insert(0, fill)
        cells_out[name] = per_block
    return meshio.Mesh(points, blocks, point_data=points_out, cell_data=cells_out)
