"""Inputs in every layout NumPy offers give the same result as the plain C-order
float64 / uint32 arrays, or a clear ArgumentError; inputs are never changed and results
are new arrays of their own."""

import gc

import numpy as np
import pytest

import surfkit
from meshes import icosphere

POINTS, CELLS = icosphere(2)
READ_ONLY = POINTS.copy(), CELLS.copy()
for array in READ_ONLY:
    array.flags.writeable = False
P32 = POINTS.astype(np.float32)

@pytest.mark.parametrize("points, cells, reference", [
    (np.asfortranarray(POINTS), CELLS, POINTS),
    (np.repeat(POINTS, 2, axis=1)[:, ::2], CELLS, POINTS),
    (*READ_ONLY, POINTS),
    (POINTS, CELLS.astype(np.int64), POINTS),
    (POINTS, np.asfortranarray(CELLS.astype(np.int32)), POINTS),
    (POINTS, CELLS.astype(np.uint16), POINTS),
    (POINTS, np.repeat(CELLS, 2, axis=0)[::2], POINTS),
    (POINTS.tolist(), CELLS.tolist(), POINTS),
    (POINTS.astype(">f8"), CELLS.astype(">u4"), POINTS),
    (P32, CELLS, P32.astype(float)),  # float32 points are converted once
], ids=["fortran points", "strided points", "read-only", "int64 cells", "int32 fortran cells",
        "uint16 cells", "strided cells", "lists", "big-endian", "float32 points"])
def test_layouts_give_the_reference_result(points, cells, reference):
    assert np.array_equal(surfkit.normals(points, cells), surfkit.normals(reference, CELLS))

@pytest.mark.parametrize("points, cells, detail, code, parameter", [
    (POINTS, CELLS.astype(np.float64), "integer", -2, "connectivity"),
    (POINTS, CELLS.astype(np.int64) - 1, "fit", -2, "connectivity"),
    (POINTS, CELLS.astype(np.int64) + 2 ** 32, "fit", -2, "connectivity"),
    (POINTS, CELLS.ravel(), "2-D", -2, "connectivity"),
    (POINTS, CELLS.astype(str), "integer", -2, "connectivity"),
    (POINTS[:, :2], CELLS, "", -1, "coordinates"),
    (POINTS.ravel(), CELLS, "", -1, "coordinates"),
    (POINTS.astype(complex), CELLS, "", -1, "coordinates"),
    ([["a", "b", "c"]], CELLS, "", -1, "coordinates"),
])
def test_inputs_the_binding_rejects(points, cells, detail, code, parameter):
    with pytest.raises(surfkit.ArgumentError, match=detail) as info:
        surfkit.normals(points, cells)
    assert (info.value.code, info.value.parameter) == (code, parameter)

def test_results_are_new_writable_arrays_that_outlive_the_inputs():
    points, cells = POINTS.copy(), CELLS.copy()
    flipped = surfkit.flip(cells)
    new_points, t6 = surfkit.convert_T3(points, cells)
    assert np.array_equal(points, POINTS) and np.array_equal(cells, CELLS)
    assert flipped.flags.writeable and t6.flags.writeable
    assert flipped.dtype == np.uint32 and new_points.dtype == np.float64
    assert not np.shares_memory(flipped, cells)
    assert np.array_equal(flipped[:, [2, 1, 0]], cells) and t6.shape == (len(cells), 6)
    # The NumPy result holds the library's storage; it stays valid on its own.
    n = surfkit.normals(points, cells)
    del points, cells
    gc.collect()
    assert np.allclose(np.linalg.norm(n, axis=1), 1.0)
