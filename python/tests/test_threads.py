"""Calls release the GIL: the main thread keeps running Python while another thread is
inside one long call, and threads get the same results as one thread."""

import math
import sys
import threading
import time

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
    """The share of its time the main thread spends looping while `call` runs in another
    thread: turns of the loop counted between the worker's signals just before and just
    after the call, over the turns the same loop makes alone in that time. A call that held
    the GIL would leave the main thread no turn in between (bar a switch interval or two
    around the call), so the share would be near 0."""
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
    meshes = [icosphere(3, radius=r) for r in (1.0, 2.0, 3.0, 4.0)]
    expected = [surfkit.normals(p, c) for p, c in meshes]
    results = [None] * len(meshes)

    def work(i):
        for _ in range(5):
            results[i] = surfkit.normals(*meshes[i])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(meshes))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for got, want in zip(results, expected):
        assert np.array_equal(got, want)
