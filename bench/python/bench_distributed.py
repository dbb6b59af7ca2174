#!/usr/bin/python3
"""surfkit.distributed against the same work done in one process, in one run.

    cmake --preset release && cmake --build --preset release -j2
    /usr/bin/python3 bench/python/bench_distributed.py [--build build/release]
        [--meshes 64] [--triangles 100000] [--points 20000000] [--background 2000000]

Measures:
  * `quadratic` on --meshes generated .vtu files of about --triangles triangles each:
    an in-process loop calling the command line one file after another (read, convert,
    write) against map_files on two local worker processes, both with and without the
    cluster's start; target: map_files at least 1.7x the loop's throughput;
  * map_files on one worker process (started beforehand) against the loop: the per-file
    overhead; target: at most 30 ms;
  * distributed.probe of --points random points against a plane background of about
    --background triangles on two local worker processes against the one-call probe;
    target: at least 1.5x; and each worker's peak memory growth against the size of the
    background, its derived arrays and two chunks.
"""

import argparse
import os
import resource
import shutil
import sys
import tempfile
import time


def _paths(build):
    sys.path.insert(0, os.path.join(build, "python"))


def plane_grid(nx, ny, jitter=0.2, seed=0):
    import numpy as np

    rng = np.random.default_rng(seed)
    x, y = np.meshgrid(np.arange(nx + 1, dtype=float), np.arange(ny + 1, dtype=float))
    points = np.column_stack([x.ravel(), y.ravel()])
    inner = (points[:, 0] > 0) & (points[:, 0] < nx) & (points[:, 1] > 0) & (points[:, 1] < ny)
    points[inner] += rng.uniform(-jitter, jitter, (inner.sum(), 2))
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    a = (j * (nx + 1) + i).ravel()
    b, c, d = a + 1, a + nx + 2, a + nx + 1
    cells = np.concatenate([np.column_stack([a, b, c]), np.column_stack([a, c, d])])
    return points, cells.astype(np.uint32)


def write_meshes(folder, count, triangles):
    import meshio
    import numpy as np

    os.makedirs(folder)
    n = max(2, int(round((triangles / 2) ** 0.5)))
    paths = []
    for i in range(count):
        points, cells = plane_grid(n, n, seed=i)
        xyz = np.column_stack([points, np.full(len(points), 0.0)])
        xyz[:, 2] = 0.01 * np.sin(xyz[:, 0]) * (i % 2)  # half of them curved surfaces
        path = os.path.join(folder, "mesh%03d.vtu" % i)
        meshio.write(path, meshio.Mesh(xyz, [("triangle", cells.astype(np.int64))]))
        paths.append(path)
    return paths, 2 * n * n


def local_client(workers):
    # The cluster map_files starts by default, kept up across the measured calls.
    from distributed import Client
    from surfkit.distributed import local_cluster

    cluster = local_cluster(workers)
    return Client(cluster), cluster


def bench_files(args, folder):
    from surfkit import cli, distributed

    inputs, triangles = write_meshes(os.path.join(folder, "in"), args.meshes, args.triangles)
    print("files: %d meshes of %d triangles" % (len(inputs), triangles))

    loop_dir = os.path.join(folder, "loop")
    os.makedirs(loop_dir)
    # One untimed call first, as the workers' first file also pays for their imports.
    assert cli.main(["quadratic", inputs[0], os.path.join(folder, "warm.vtu")]) == 0
    start = time.perf_counter()
    for path in inputs:
        out = os.path.join(loop_dir, os.path.basename(path))
        assert cli.main(["quadratic", path, out]) == 0
    loop = time.perf_counter() - start

    start = time.perf_counter()
    records = distributed.map_files("quadratic", inputs, os.path.join(folder, "default"))
    default = time.perf_counter() - start
    assert all(r["status"] == "ok" for r in records)

    for workers in (2, 1):
        client, cluster = local_client(workers)
        try:
            client.submit(int, 0).result()  # the workers are up
            start = time.perf_counter()
            records = distributed.map_files("quadratic", inputs,
                                            os.path.join(folder, "w%d" % workers),
                                            client=client)
            elapsed = time.perf_counter() - start
        finally:
            client.close()
            cluster.close()
        assert all(r["status"] == "ok" for r in records)
        if workers == 2:
            started = elapsed
        else:
            # With one worker, the time outside the workers' calls is what map_files adds
            # (submitting, the scheduler, results, the manifest), whatever else slows the
            # calls themselves on a busy machine.
            one, inside = elapsed, sum(r["seconds"] for r in records)
    per = 1000.0 / len(inputs)
    print("  in-process loop            %7.2f s  (%.1f ms per file)" % (loop, loop * per))
    print("  map_files, local default   %7.2f s  throughput %.2fx the loop (cluster start "
          "included; target >= 1.7)" % (default, loop / default))
    print("  map_files, 2 workers up    %7.2f s  throughput %.2fx the loop (cluster start "
          "excluded)" % (started, loop / started))
    print("  map_files, 1 worker up     %7.2f s  overhead %.1f ms per file over the bare "
          "call (target <= 30)" % (one, (one - loop) * per))
    print("  ... of which outside the worker's calls %.1f ms per file"
          % ((one - inside) * per))


def _status_bytes(field):
    # /proc/self/status, not getrusage: a worker's ru_maxrss starts from its parent's
    # resident size at the fork before its exec.
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    return 0


def _rss_bytes():
    return _status_bytes("VmRSS")


def _peak_rss_bytes():
    return _status_bytes("VmHWM")


def _ready_for_probe():
    """A worker before its first chunk: the code the chunks run is loaded (modules are
    not data, and the budget counts data), and the peak is reset to the present size
    where Linux allows it, so that the peak measured later is the chunks' own."""
    import surfkit._probe  # noqa: F401
    from surfkit import _surfkit  # noqa: F401

    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass
    return _rss_bytes()


def _query_points(block, rows, side, block_info=None):
    """The points of one chunk, made where it runs: the same for a given chunk index
    wherever it is computed."""
    import numpy as np

    index = block if block_info is None else block_info[None]["chunk-location"][0]
    rng = np.random.default_rng(1000 + index)
    return rng.uniform(-0.01 * side, 1.01 * side, (rows, 2))


def bench_probe(args):
    import numpy as np

    import surfkit
    from surfkit import distributed

    side = max(2, int(round((args.background / 2) ** 0.5)))
    coordinates, connectivity = plane_grid(side, side, seed=1)
    field = np.sin(coordinates[:, 0] / 50.0) + coordinates[:, 1] / side
    # Chunk i's points come from a generator seeded with i, so that the workers can make
    # them for the dask-array form.
    rows = [min(args.chunk, args.points - a) for a in range(0, args.points, args.chunk)]
    points = np.concatenate([_query_points(i, r, side) for i, r in enumerate(rows)])
    print("probe: %d points, background of %d triangles, chunks of %d"
          % (len(points), len(connectivity), args.chunk))

    start = time.perf_counter()
    whole = surfkit.probe(coordinates, connectivity, field, points)
    one_call = time.perf_counter() - start

    import dask.array as da

    client, cluster = local_client(2)
    try:
        client.submit(int, 0).result()
        before = client.run(_ready_for_probe)
        start = time.perf_counter()
        got = distributed.probe(coordinates, connectivity, field, points, client=client,
                                chunk=args.chunk)
        spread = time.perf_counter() - start
        peaks = client.run(_peak_rss_bytes)
        # The points as a dask array made on the workers: no points sent from here.
        def made_there_points(block, block_info=None):
            return _query_points(0, block.shape[0], side, block_info)

        lazy_points = da.empty((args.points, 2), chunks=(args.chunk, 2)).map_blocks(
            made_there_points, dtype=float)
        start = time.perf_counter()
        lazy = distributed.probe(coordinates, connectivity, field, lazy_points, client=client)
        # Chunk by chunk, not through one task that joins them on a worker first.
        parts = client.compute(list(lazy.to_delayed().ravel()))
        from_dask = np.concatenate(client.gather(parts))
        made_there = time.perf_counter() - start
    finally:
        client.close()
        cluster.close()
    assert np.array_equal(from_dask, got) or np.allclose(from_dask, got, rtol=1e-9)
    # Points within the location tolerance of an edge may be blended in either triangle
    # (which one depends on the points located before): count them.
    scale = np.abs(whole).max()
    off = np.abs(got - whole) > 1e-12 * np.maximum(np.abs(whole), scale)
    print("  values beyond 1e-12 of the one call: %d of %d (largest difference %.2g)"
          % (off.sum(), len(whole), np.abs(got - whole).max()))
    print("  one-call probe             %7.2f s" % one_call)
    print("  distributed.probe, 2 procs %7.2f s  %.2fx the one call (target >= 1.5)"
          % (spread, one_call / spread))
    print("  ... points a dask array    %7.2f s  %.2fx the one call (points made on the "
          "workers, values gathered here)" % (made_there, one_call / made_there))
    n, m, c = len(coordinates), len(connectivity), args.chunk
    mb = 1.0 / 2 ** 20
    background = coordinates.nbytes + connectivity.nbytes + field.nbytes
    derived = 12 * m + 4 * n  # neighbours and home
    # The locator's copies of the background (16 per node, 24 per triangle), its tree and
    # the triangles around each node and walk marks (about 32 per node, 28 per triangle).
    locator = 16 * n + 24 * m + 32 * n + 28 * m
    chunks = 2 * c * (16 + 8)  # two chunks of points and their values
    allowed = background + derived + locator + chunks
    print("  budget per worker: background %.0f MB + derived %.0f MB + locator %.0f MB + "
          "two chunks %.0f MB = %.0f MB" % (background * mb, derived * mb, locator * mb,
                                              chunks * mb, allowed * mb))
    for worker in sorted(before):
        grown = peaks[worker] - before[worker]
        print("  worker %s: peak growth %.0f MB (%.2fx the budget)"
              % (worker, grown * mb, grown / allowed))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--meshes", type=int, default=64)
    parser.add_argument("--triangles", type=int, default=100_000)
    parser.add_argument("--points", type=int, default=20_000_000)
    parser.add_argument("--background", type=int, default=2_000_000)
    parser.add_argument("--chunk", type=int, default=1_000_000)
    parser.add_argument("--skip", choices=("files", "probe"), action="append", default=[])
    args = parser.parse_args()
    _paths(args.build)
    folder = tempfile.mkdtemp(prefix="surfkit-bench-")
    try:
        if "files" not in args.skip:
            bench_files(args, folder)
        if "probe" not in args.skip:
            bench_probe(args)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
