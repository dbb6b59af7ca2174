"""Calls release the GIL (the main thread runs on during a long call in another), and
threads get the results of one thread."""

import math
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import surfkit
from meshes import icosphere, torus


def count_until(event, seconds=math.inf):
    """Turns of an empty loop until `event` is set or `seconds` have passed."""
    count, end = 0, time.perf_counter() + seconds
    while not event.is_set():
        count += 1
        if count % 1024 == 0 and time.perf_counter() > end:
            break
    return count


def share_of_time_during(call):
    """Turns of the main thread's loop while `call` runs in another thread, over the turns
    it makes alone in that time: near 0 for a call that holds the GIL."""
    rate = count_until(threading.Event(), 0.2) / 0.2
    entered, left = threading.Event(), threading.Event()
    span = []

    def worker():
        entered.set()
        start = time.perf_counter()
        call()
        span.append(time.perf_counter() - start)
        left.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(0.001)
    try:
        thread = threading.Thread(target=worker)
        thread.start()
        entered.wait()
        count = count_until(left)
        thread.join()
    finally:
        sys.setswitchinterval(interval)
    return count / (rate * span[0]), span[0]


@pytest.mark.parametrize("releases", [True, False], ids=["surfkit", "sorted holds the GIL"])
def test_the_main_thread_runs_during_one_long_call(releases):
    if releases:
        points, cells = torus(600, 300)  # 360 000 triangles: about half a second at least
        call = lambda: surfkit.principal_curvatures(points, cells, radius=0.15)
    else:
        # The same measure on a C call known to keep the GIL (sorting a list of ints never
        # lets go of it): the main thread gets (almost) nothing done meanwhile.
        values = np.random.default_rng(0).integers(0, 2 ** 62, 1_000_000).tolist()
        call = lambda: sorted(values)
    share, seconds = share_of_time_during(call)
    assert seconds > 0.2 and (share > 0.15) == releases, (share, seconds)


def test_threads_give_the_sequential_results():
    meshes = [icosphere(3, radius=r) for r in (1.0, 2.0, 3.0, 4.0)] * 5
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda mesh: surfkit.normals(*mesh), meshes))
    for (points, cells), got in zip(meshes, results):
        assert np.array_equal(got, surfkit.normals(points, cells))
