"""Calls release the GIL (the main thread runs on during a long call in another), and
threads get the results of one thread."""

import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import surfkit
from meshes import icosphere, torus


def count_until(done, end=float("inf")):
    """Turns of an empty loop until `done` is set or perf_counter() passes `end`."""
    count = 0
    while not done.is_set() and (count % 1024 or time.perf_counter() < end):
        count += 1
    return count


def share_of_time_during(call):
    """Turns of the main thread's loop while `call` runs in another thread, over the turns
    it makes alone in that time: near 0 for a call that holds the GIL; and the call's time."""
    rate = count_until(threading.Event(), time.perf_counter() + 0.2) / 0.2
    left = threading.Event()
    interval = sys.getswitchinterval()
    sys.setswitchinterval(0.001)
    try:
        start = time.perf_counter()
        thread = threading.Thread(target=lambda: (call(), left.set()))
        thread.start()
        count = count_until(left)
        span = time.perf_counter() - start
        thread.join()
    finally:
        sys.setswitchinterval(interval)
    return count / (rate * span), span


def test_the_main_thread_runs_during_one_long_call():
    points, cells = torus(600, 300)  # 360 000 triangles: about half a second at least
    share, seconds = share_of_time_during(
        lambda: surfkit.principal_curvatures(points, cells, radius=0.15))
    # The same measure on a C call known to keep the GIL (sorting a list of ints never lets
    # go of it): the main thread gets (almost) nothing done meanwhile.
    values = np.random.default_rng(0).integers(0, 2 ** 62, 1_000_000).tolist()
    held, held_seconds = share_of_time_during(lambda: sorted(values))
    assert seconds > 0.2 and held_seconds > 0.2 and held < 0.15 < share, (share, held)


def test_threads_give_the_sequential_results():
    meshes = [icosphere(3, radius=r) for r in (1.0, 2.0, 3.0, 4.0)] * 5
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda mesh: surfkit.normals(*mesh), meshes))
    for (points, cells), got in zip(meshes, results):
        assert np.array_equal(got, surfkit.normals(points, cells))
