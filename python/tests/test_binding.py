"""Any NumPy layout gives the C-order float64 / uint32 result or a clear ArgumentError;
results are new arrays. Refused storage raises MemoryError at every request of a call and
changes nothing; past the last request the call gives the normal result. (The countdown
being per thread is the C++ suite's test: the module binds the function as it is.) Calls
release the GIL (another thread runs on during a long call), and threads get the results
of one thread."""

import gc
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere, torus

POINTS, CELLS = icosphere(2)
P32 = POINTS.astype(np.float32)


def unaligned(a):
    """The array's values at an odd address, as NumPy makes views of a received message
    (the library reads copies of such arrays, never them)."""
    out = np.frombuffer(np.empty(a.nbytes + 1, np.uint8).data, a.dtype, a.size, 1)
    out = out.reshape(a.shape)
    out[...] = a
    assert not out.flags.aligned
    return out


@pytest.mark.parametrize("points, cells, reference", [
    (np.asfortranarray(POINTS), CELLS, POINTS),
    (np.repeat(POINTS, 2, axis=1)[:, ::2], CELLS, POINTS),
    (np.broadcast_to(POINTS, POINTS.shape), np.broadcast_to(CELLS, CELLS.shape), POINTS),
    (POINTS, CELLS.astype(np.int64), POINTS),
    (POINTS, np.asfortranarray(CELLS.astype(np.int32)), POINTS),
    (POINTS, np.repeat(CELLS, 2, axis=0)[::2], POINTS),
    (POINTS.tolist(), CELLS.tolist(), POINTS),
    (POINTS.astype(">f8"), CELLS.astype(">u4"), POINTS),
    (P32, CELLS, P32.astype(float)),  # float32 points are converted once
    (unaligned(POINTS), unaligned(CELLS), POINTS),
    (POINTS, unaligned(CELLS.astype(np.int64)), POINTS),
], ids=["fortran points", "strided points", "read-only", "int64 cells", "int32 fortran cells",
        "strided cells", "lists", "big-endian", "float32 points", "unaligned",
        "unaligned int64 cells"])
def test_layouts_give_the_reference_result(points, cells, reference):
    assert np.array_equal(surfkit.normals(points, cells), surfkit.normals(reference, CELLS))


@pytest.mark.parametrize("points, cells, detail, code, parameter", [
    (POINTS, CELLS.astype(np.float64), "integer", -2, "connectivity"),
    (POINTS, CELLS.astype(np.int64) - 1, "fit", -2, "connectivity"),
    (POINTS, CELLS.astype(np.int64) + 2 ** 32, "fit", -2, "connectivity"),
    (POINTS, CELLS.ravel(), "2-D", -2, "connectivity"),
    (POINTS[:, :2], CELLS, "", -1, "coordinates"),
    (POINTS.ravel(), CELLS, "", -1, "coordinates"),
    (POINTS.astype(complex), CELLS, "", -1, "coordinates"),
])
def test_inputs_the_binding_rejects(points, cells, detail, code, parameter):
    with pytest.raises(surfkit.ArgumentError, match=detail) as info:
        surfkit.normals(points, cells)
    assert (info.value.code, info.value.parameter) == (code, parameter)


def test_results_are_new_writable_arrays_that_outlive_the_inputs():
    points, cells = POINTS.copy(), CELLS.copy()
    flipped, n = surfkit.flip(cells), surfkit.normals(points, cells)
    assert flipped.flags.writeable and n.flags.writeable and not np.shares_memory(flipped, cells)
    assert flipped.dtype == np.uint32 and n.dtype == np.float64
    # The NumPy result holds the library's storage; it stays valid on its own.
    del points, cells
    gc.collect()
    assert np.allclose(np.linalg.norm(n, axis=1), 1.0)


refuse = surfkit.storage_testing.refuse_nth_request

P3, S3 = icosphere(1)
P2, T3 = grid(3, 3)
LINE = np.array([[0, 1], [1, 2], [2, 3]], dtype=np.uint32)

CALLS = {
    "normals": lambda: surfkit.normals(P3, S3),
    "angles": lambda: surfkit.angles(P3, S3),
    "convert_T3": lambda: surfkit.convert_T3(P2, T3, 2, 1),
    "split_into_Q4": lambda: surfkit.split_into_Q4(P2, None, T3),
    "split_Q4_into_T3": lambda: surfkit.split_Q4_into_T3(P2, grid(3, 3, False)[1],
                                                         shape_threshold=2.0),
    "extrude_translate_T3": lambda: surfkit.extrude_translate_T3(P2, LINE, [0, 0, 1], 3,
                                                                 pattern="alternate"),
    "principal_curvatures": lambda: surfkit.principal_curvatures(P3, S3),
    "probe": lambda: surfkit.probe(P2, T3, P2[:, 0], [[0.3, 0.2], [2.0, 2.0]]),
    "metrics_gen_aniso3d": lambda: surfkit.metrics_gen_aniso3d(P3, S3, -0.5),
}


@pytest.mark.parametrize("name", sorted(CALLS))
def test_refusal_sweep(name):
    call = CALLS[name]
    reference = call()
    inputs = (P3.copy(), S3.copy(), P2.copy(), T3.copy())
    refusals = 0
    while refusals < 200:
        refuse(refusals + 1)  # the first request past those refused so far
        try:
            result = call()
            break
        except MemoryError:
            refusals += 1
        finally:
            refuse(0)
    assert 1 <= refusals < 200, refusals
    np.testing.assert_equal(result, reference)
    assert all(np.array_equal(a, b) for a, b in zip(inputs, (P3, S3, P2, T3))), "input changed"


def turns_during(call):
    """Turns per second of an empty loop in another thread while `call` runs in this one
    (near 0 for a call that holds the GIL), and the call's time."""
    done, turns = threading.Event(), [0]

    def spin():
        while not done.is_set():
            turns[0] += 1

    interval, spinner = sys.getswitchinterval(), threading.Thread(target=spin)
    sys.setswitchinterval(0.001)
    try:
        spinner.start()
        start = time.perf_counter()
        call()
        seconds = time.perf_counter() - start
    finally:
        done.set()
        spinner.join()
        sys.setswitchinterval(interval)
    return turns[0] / seconds, seconds


def test_the_other_thread_runs_during_one_long_call():
    points, cells = torus(600, 300)  # 360 000 triangles: about half a second at least
    alone = turns_during(lambda: time.sleep(0.2))[0]
    rate, seconds = turns_during(lambda: surfkit.principal_curvatures(points, cells, radius=0.15))
    # The same measure on a C call known to keep the GIL (sorting a list of ints never lets
    # go of it): the other thread gets (almost) nothing done meanwhile.
    values = np.random.default_rng(0).integers(0, 2 ** 62, 1_000_000).tolist()
    held, held_seconds = turns_during(lambda: sorted(values))
    assert seconds > 0.2 and held_seconds > 0.2, (seconds, held_seconds)
    assert held < 0.15 * alone < rate, (rate / alone, held / alone)


def test_threads_give_the_sequential_results():
    meshes = [icosphere(3, radius=r) for r in (1.0, 2.0, 3.0, 4.0)] * 5
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda mesh: surfkit.normals(*mesh), meshes))
    assert all(np.array_equal(got, surfkit.normals(*mesh)) for mesh, got in zip(meshes, results))
