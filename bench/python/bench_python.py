#!/usr/bin/python3
"""Python bindings against the C++ calls, on a geodesic sphere of 1 003 520 triangles.

    cmake --preset release && cmake --build --preset release -j2
    /usr/bin/python3 bench/python/bench_python.py [--build build/release] [--repeats 15]

Measures, in one run on one mesh:
  * surfkit.normals and surfkit.neighbours from Python (uint32 cells, float64 points, so
    nothing is converted) against the same calls timed in C++ by surfkit_time_calls,
    built with the benchmarks; target: Python within 1.2x of C++;
  * two threads each running surfkit.normals on its own 1 M-triangle sphere against one
    call alone; target: within 1.3x (the calls release the GIL). The C++ timer runs the
    same two calls on two C++ threads, to show what the machine allows at that moment.
Times are medians over the repeats.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np


def geodesic_sphere(frequency):
    """Unit sphere of 20 f^2 triangles: each icosahedron face cut into an f by f
    triangular grid, nodes shared along edges, pushed onto the sphere."""
    t = (1 + 5 ** 0.5) / 2
    corners = np.array([(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
                        (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1),
                        (-t, 0, 1)], float)
    faces = np.array([(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9),
                      (5, 11, 4), (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2),
                      (3, 2, 6), (3, 6, 8), (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10),
                      (8, 6, 7), (9, 8, 1)])
    f = frequency
    i, j = np.meshgrid(np.arange(f + 1), np.arange(f + 1), indexing="ij")
    keep = i + j <= f
    i, j = i[keep], j[keep]
    local = -np.ones((f + 1, f + 1), dtype=np.int64)
    local[i, j] = np.arange(len(i))
    # Local triangles of the grid: (i, j), (i+1, j), (i, j+1) and (i+1, j), (i+1, j+1), (i, j+1).
    a_i, a_j = np.meshgrid(np.arange(f), np.arange(f), indexing="ij")
    up = a_i + a_j <= f - 1
    down = a_i + a_j <= f - 2
    tri_up = np.column_stack([local[a_i[up], a_j[up]], local[a_i[up] + 1, a_j[up]],
                              local[a_i[up], a_j[up] + 1]])
    tri_down = np.column_stack([local[a_i[down] + 1, a_j[down]],
                                local[a_i[down] + 1, a_j[down] + 1],
                                local[a_i[down], a_j[down] + 1]])
    local_tris = np.concatenate([tri_up, tri_down])
    per_face = len(i)
    points = []
    cells = []
    for k, (a, b, c) in enumerate(faces):
        p = (corners[a] + (corners[b] - corners[a]) * (i / f)[:, None]
             + (corners[c] - corners[a]) * (j / f)[:, None])
        points.append(p)
        cells.append(local_tris + k * per_face)
    points = np.concatenate(points)
    points /= np.linalg.norm(points, axis=1)[:, None]
    cells = np.concatenate(cells)
    # Merge the nodes the faces share along their edges.
    _, first, inverse = np.unique(np.round(points, 9), axis=0, return_index=True,
                                  return_inverse=True)
    order = np.argsort(first)
    renumber = np.empty_like(order)
    renumber[order] = np.arange(len(order))
    points = np.ascontiguousarray(points[first[order]])
    cells = np.ascontiguousarray(renumber[inverse.ravel()][cells].astype(np.uint32))
    return points, cells


def median_time(call, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def write_raw(path, array):
    with open(path, "wb") as f:
        np.array([array.shape[1], array.shape[0]], dtype="<u8").tofile(f)
        np.ascontiguousarray(array).tofile(f)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--build", default=os.path.join(here, "..", "..", "build", "release"))
    parser.add_argument("--repeats", type=int, default=15)
    parser.add_argument("--frequency", type=int, default=224)
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import surfkit

    timer = os.path.join(args.build, "bench", "surfkit_time_calls")
    points, cells = geodesic_sphere(args.frequency)
    print("sphere: %d triangles, %d nodes" % (len(cells), len(points)))

    with tempfile.TemporaryDirectory() as folder:
        write_raw(os.path.join(folder, "points.bin"), points)
        write_raw(os.path.join(folder, "cells.bin"), cells)
        out = subprocess.run([timer, folder, str(args.repeats)], check=True,
                             capture_output=True, text=True).stdout
    cpp = {name: float(value) for name, value in (line.split() for line in out.splitlines())}

    rows = []
    py = median_time(lambda: surfkit.normals(points, cells), args.repeats)
    rows.append(("normals", py, cpp["normals"]))
    if hasattr(surfkit, "neighbours") and "neighbours" in cpp:
        py = median_time(lambda: surfkit.neighbours(cells, node_count=len(points)), args.repeats)
        rows.append(("neighbours", py, cpp["neighbours"]))
    print("%-12s %10s %10s %7s  target" % ("call", "python ms", "c++ ms", "ratio"))
    for name, p, c in rows:
        print("%-12s %10.2f %10.2f %7.3f  <= 1.2" % (name, 1e3 * p, 1e3 * c, p / c))

    other = (points * 2.0, cells.copy())
    one = median_time(lambda: surfkit.normals(points, cells), args.repeats)

    def two_threads():
        threads = [threading.Thread(target=surfkit.normals, args=mesh)
                   for mesh in ((points, cells), other)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    two = median_time(two_threads, args.repeats)
    print("threads      one call %.2f ms, two threads on two meshes %.2f ms, ratio %.3f"
          "  <= 1.3" % (1e3 * one, 1e3 * two, two / one))
    # The same two calls on two C++ threads: what this machine gives two threads right now
    # (on a busy machine neither ratio can reach 1).
    print("             C++: one call %.2f ms, two threads %.2f ms, ratio %.3f"
          % (1e3 * cpp["normals"], 1e3 * cpp["normals_two_threads"],
             cpp["normals_two_threads"] / cpp["normals"]))


if __name__ == "__main__":
    main()
