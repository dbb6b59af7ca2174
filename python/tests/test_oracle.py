"""The bindings give the C++ results bit for bit: oracle.cpp runs the same exports on the
same mesh."""

import os
import subprocess

import numpy as np
import pytest

import surfkit
from meshes import icosphere, triangle_neighbours

ORACLE = os.environ.get("SURFKIT_ORACLE")
pytestmark = pytest.mark.skipif(not ORACLE, reason="SURFKIT_ORACLE names the C++ program")


def write_array(path, array):
    """The library's rows x cols array of a C-order (cols, rows) NumPy array."""
    array = np.ascontiguousarray(array)
    with open(path, "wb") as f:
        np.array([array.shape[1], array.shape[0]], dtype="<u8").tofile(f)
        array.tofile(f)


def read_array(path, dtype):
    with open(path, "rb") as f:
        rows, cols = np.fromfile(f, dtype="<u8", count=2)
        data = np.fromfile(f, dtype=dtype)
    return data.reshape(int(cols), int(rows))


def same_bits(a, b):
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def same_output(folder, name, got):
    want = read_array(folder / (name + ".out"), "<u4" if got.dtype == np.uint32 else "<f8")
    return same_bits(got, want)


def same_curvatures(named, raw, fitted):
    """The named fields against the C++ (n, 8) rows: k1, k2 are columns 6, 7 largest first;
    columns 0-2 are column 6's direction (fitted) or the other one's (normal cycle)."""
    for i, row in enumerate(raw):
        dirs = (row[0:3], row[3:6]) if fitted else (row[3:6], row[0:3])
        # Largest first; equal values keep their columns' order (sorted is stable).
        (k1, a), (k2, b) = sorted([(row[6], 0), (row[7], 1)], key=lambda p: -p[0])
        if not (named.k1[i] == k1 and named.k2[i] == k2 and same_bits(named.dir_k1[i], dirs[a])
                and same_bits(named.dir_k2[i], dirs[b]) and named.mean[i] == 0.5 * (k1 + k2)
                and named.gaussian[i] == k1 * k2):
            return False
    return True


def test_bindings_match_cpp(tmp_path):
    # A bumpy sphere: curvatures and normals vary from node to node.
    points, cells = icosphere(3)
    points *= (1 + 0.1 * np.sin(5 * points[:, :1]) * np.cos(3 * points[:, 1:2]))
    neighbours = triangle_neighbours(cells)
    for name, array in (("points", points), ("cells", cells), ("neighbours", neighbours)):
        write_array(tmp_path / (name + ".bin"), array)
    subprocess.run([ORACLE, str(tmp_path)], check=True)

    assert same_output(tmp_path, "normals", surfkit.normals(points, cells))
    smallest, largest = surfkit.angles(points, cells, normalised=True)
    assert same_output(tmp_path, "smallest", smallest[None, :])
    assert same_output(tmp_path, "largest", largest[None, :])
    total, reversed_count = read_array(tmp_path / "area.out", "<f8")[0]
    assert surfkit.area(points, cells) == total
    curv = surfkit.principal_curvatures(points, cells, neighbours=neighbours, radius=0.3,
                                        max_angle=1.2, max_elements=40)
    assert same_curvatures(curv, read_array(tmp_path / "curvatures.out", "<f8"), fitted=False)
    fitted = surfkit.fitted_curvatures(points, cells, neighbours=neighbours, rings=3)
    assert same_curvatures(fitted, read_array(tmp_path / "fitted.out", "<f8"), fitted=True)
    assert same_output(tmp_path, "aniso", surfkit.metrics_gen_aniso3d(points, cells, -0.1))

    for kind, (new_points, new_cells) in (("t6", surfkit.convert_T3(points, cells)),
                                          ("q4", surfkit.split_into_Q4(points, None, cells))):
        assert same_output(tmp_path, kind + "_points", new_points), kind
        assert same_output(tmp_path, kind + "_cells", new_cells), kind

    # Every other triangle reversed, then made consistent again from element 0.
    mixed, mixed_neighbours = cells.copy(), neighbours.copy()
    mixed[1::2, [0, 2]] = mixed[1::2, [2, 0]]
    mixed_neighbours[1::2, [0, 2]] = mixed_neighbours[1::2, [2, 0]]
    out, out_neighbours, count = surfkit.mesh_reorient(
        mixed, neighbours=mixed_neighbours, start_element=0, all_components=True)
    assert same_output(tmp_path, "reoriented", out)
    assert same_output(tmp_path, "reoriented_neighbours", out_neighbours)
    assert count == reversed_count
