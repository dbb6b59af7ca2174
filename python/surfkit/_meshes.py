"""meshio meshes as the library's arrays and back, for the command line."""

import numpy as np

from ._kinds import NONE

#: meshio's linear face kinds and their vertex counts.
LINEAR_FACES = {"triangle": 3, "quad": 4}
#: meshio's quadratic face kinds, with the library's node order for each (meshio follows
#: VTK: a six-node triangle lists its edge nodes (0,1), (1,2), (2,0); the library's T6
#: lists (1,2), (2,0), (0,1)).
T6_FROM_VTK = np.array([0, 1, 2, 4, 5, 3])
T6_TO_VTK = np.argsort(T6_FROM_VTK)
QUADRATIC_FACES = {"triangle6": 6, "quad8": 8, "quad9": 9}


class MeshError(ValueError):
    """A mesh file that the operation cannot use."""


def check_ids(mesh, path):
    """Raises MeshError unless every cell ID of every block names a point of the mesh.

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
            raise MeshError("%s: cell block %d (%s) holds %s values, not integer IDs"
                            % (path, b, block.type, data.dtype))
        bad = (data < 0) | (data >= min(count, NONE))
        if bad.any():
            row, col = np.argwhere(bad)[0]
            raise MeshError("%s: cell block %d (%s), row %d: ID %d is not a point of the "
                            "mesh (0 to %d)" % (path, b, block.type, row, int(data[row, col]),
                                                count - 1))


def face_blocks(mesh, allow_quadratic=False):
    """Indices of the face blocks of a meshio mesh (linear faces; quadratic ones too when
    allowed, as their vertices)."""
    kinds = dict(LINEAR_FACES)
    if allow_quadratic:
        kinds.update(QUADRATIC_FACES)
    return [i for i, block in enumerate(mesh.cells) if block.type in kinds]


def face_mix(mesh, blocks):
    """The faces of the given blocks as one (m, 4) FACE_MIX array (NONE in column 3 for a
    triangle), vertices only, in block order; (m, 3) when every face is a triangle."""
    parts = []
    all_triangles = all(mesh.cells[i].type in ("triangle", "triangle6") for i in blocks)
    width = 3 if all_triangles else 4
    for i in blocks:
        block = mesh.cells[i]
        data = np.asarray(block.data)
        if block.type.startswith("triangle"):
            part = np.full((len(data), width), NONE, dtype=np.uint32)
            part[:, :3] = data[:, :3]
        else:
            part = np.asarray(data[:, :4], dtype=np.uint32)
        parts.append(part)
    if not parts:
        return np.zeros((0, width), dtype=np.uint32)
    return np.concatenate(parts)


def split_face_mix(cells):
    """(triangles (k, 3), quadrangles (l, 4)) of a FACE_MIX or T3 array."""
    cells = np.asarray(cells)
    if cells.shape[1] == 3:
        return cells, np.zeros((0, 4), dtype=np.uint32)
    is_triangle = cells[:, 3] == NONE
    return cells[is_triangle, :3], cells[~is_triangle]


def block_slices(mesh, blocks):
    """(block index, start, stop) of each block's rows in face_mix's order."""
    out, start = [], 0
    for i in blocks:
        n = len(mesh.cells[i].data)
        out.append((i, start, start + n))
        start += n
    return out


def points_for(mesh, dim=None):
    """float64 points; dim=3 pads plane points with z = 0, dim=2 drops a zero z."""
    points = np.ascontiguousarray(mesh.points, dtype=np.float64)
    if dim == 3 and points.shape[1] == 2:
        points = np.hstack([points, np.zeros((len(points), 1))])
    if dim == 2 and points.shape[1] == 3:
        points = np.ascontiguousarray(points[:, :2])
    return points


def is_planar(mesh):
    """True for points with two coordinates or a third one that is zero everywhere."""
    points = np.asarray(mesh.points)
    return points.shape[1] == 2 or not np.any(points[:, 2])
