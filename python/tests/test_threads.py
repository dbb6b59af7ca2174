"""Calls release the GIL: threads run them at once, and get the same results as one
thread. (Speed is measured in bench/, not here.)"""

import threading

import numpy as np

import surfkit
from meshes import icosphere, torus, triangle_neighbours


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


def test_python_runs_while_a_call_runs():
    # While one thread is inside a long call, the main thread runs Python code. Were the
    # GIL held, the main thread's loop (longer than the interpreter's switch interval)
    # could only start once the call had returned, and the worker would be gone by the end.
    points, cells = torus(200, 100)
    neighbours = triangle_neighbours(cells)
    entered = threading.Event()

    def worker():
        entered.set()
        for _ in range(4):
            surfkit.principal_curvatures(points, cells, neighbours, 0.2)

    t = threading.Thread(target=worker)
    t.start()
    entered.wait()
    x = 0
    for i in range(200000):
        x += i
    inside = t.is_alive()
    t.join()
    assert inside
