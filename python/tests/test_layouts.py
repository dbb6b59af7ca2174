"""Inputs in every layout NumPy offers give the same result as the plain C-order
float64 / uint32 arrays, or a clear ArgumentError; inputs are never changed."""

import numpy as np
import pytest

import surfkit
from meshes import icosphere


@pytest.fixture(scope="module")
def sphere():
    return icosphere(2)


def test_layouts_give_the_reference_result(sphere):
    points, cells = sphere
    reference = surfkit.normals(points, cells)
    variants = {
        "fortran points": (np.asfortranarray(points), cells),
        "strided points": (np.repeat(points, 2, axis=1)[:, ::2], cells),
        "read-only": (points.copy(), cells.copy()),
        "int64 cells": (points, cells.astype(np.int64)),
        "int32 fortran cells": (points, np.asfortranarray(cells.astype(np.int32))),
        "uint16 cells": (points, cells.astype(np.uint16)),
        "strided cells": (points, np.repeat(cells, 2, axis=0)[::2]),
        "lists": (points.tolist(), cells.tolist()),
        "big-endian": (points.astype(">f8"), cells.astype(">u4")),
    }
    variants["read-only"][0].flags.writeable = False
    variants["read-only"][1].flags.writeable = False
    for name, (p, c) in variants.items():
        assert np.array_equal(surfkit.normals(p, c), reference), name


def test_float32_points_are_converted_once(sphere):
    points, cells = sphere
    p32 = points.astype(np.float32)
    assert np.array_equal(surfkit.normals(p32, cells), surfkit.normals(p32.astype(float), cells))


@pytest.mark.parametrize("bad, detail", [
    (lambda c: c.astype(np.float64), "integer"),
    (lambda c: c.astype(np.int64) - 1, "fit"),
    (lambda c: c.astype(np.int64) + 2 ** 32, "fit"),
    (lambda c: c.ravel(), "2-D"),
    (lambda c: c.astype(str), "integer"),
])
def test_cells_the_binding_rejects(sphere, bad, detail):
    points, cells = sphere
    with pytest.raises(surfkit.ArgumentError, match=detail) as info:
        surfkit.normals(points, bad(cells))
    assert info.value.code == -2
    assert info.value.parameter == "connectivity"


def test_points_the_binding_rejects(sphere):
    points, cells = sphere
    for bad in (points[:, :2], points.ravel(), points.astype(complex), [["a", "b", "c"]]):
        with pytest.raises(surfkit.ArgumentError) as info:
            surfkit.normals(bad, cells)
        assert info.value.code == -1
        assert info.value.parameter == "coordinates"


def test_results_are_new_writable_arrays(sphere):
    points, cells = sphere
    before_p, before_c = points.copy(), cells.copy()
    flipped = surfkit.flip(cells)
    new_points, t6 = surfkit.convert_T3(points, cells)
    assert np.array_equal(points, before_p) and np.array_equal(cells, before_c)
    assert flipped.flags.writeable and t6.flags.writeable
    assert flipped.dtype == np.uint32 and new_points.dtype == np.float64
    assert not np.shares_memory(flipped, cells)
    assert np.array_equal(flipped[:, [2, 1, 0]], cells)
    assert t6.shape == (len(cells), 6)


def test_results_outlive_everything_else(sphere):
    # The NumPy result holds the library's storage; it stays valid on its own.
    points, cells = sphere
    n = surfkit.normals(points.copy(), cells.copy())
    import gc

    gc.collect()
    assert np.allclose(np.linalg.norm(n, axis=1), 1.0)
