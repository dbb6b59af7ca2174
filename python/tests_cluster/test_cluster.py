"""surfkit.distributed on a real Dask cluster: a scheduler and two workers started with
`dask scheduler` and `dask worker` on 127.0.0.1, shared by every test here."""

import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

meshio = pytest.importorskip("meshio")
pytest.importorskip("distributed")

import surfkit  # noqa: E402
from surfkit import cli, distributed  # noqa: E402
from distributed import Client  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))
from meshes import grid  # noqa: E402


def _wait(condition, what, timeout=60.0):
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            raise TimeoutError("gave up waiting for " + what)
        time.sleep(0.05)


def _gone(process):
    try:
        os.killpg(process.pid, 0)
    except ProcessLookupError:
        return True
    return False


def _stop(process, timeout=30):
    """SIGTERM, then SIGKILL to the process group it leads (a worker's nanny and its
    worker) once it does not stop in time."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            pass
        if process.poll() is None:
            process.kill()
            process.wait()
    # A worker's nanny ends its worker process on the way out: give it the time.
    try:
        _wait(lambda: _gone(process), "process group %d to end" % process.pid, timeout)
    except TimeoutError:
        os.killpg(process.pid, signal.SIGKILL)


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """(client, scheduler file) of a scheduler and two single-thread workers."""
    dask = shutil.which("dask")
    if dask is None:
        pytest.skip("the dask command is missing")
    folder = tmp_path_factory.mktemp("cluster")
    scheduler_file = str(folder / "scheduler.json")
    # The workers import this surfkit, wherever they start.
    package = os.path.dirname(os.path.dirname(os.path.abspath(surfkit.__file__)))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [package] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]))
    common = dict(cwd=folder, env=env, start_new_session=True, stdout=subprocess.DEVNULL,
                  stderr=open(folder / "cluster.log", "w"))
    scheduler = subprocess.Popen([dask, "scheduler", "--host", "127.0.0.1", "--port", "0",
                                  "--no-dashboard", "--scheduler-file", scheduler_file],
                                 **common)
    workers, client = [], None
    try:
        _wait(lambda: os.path.exists(scheduler_file) and os.path.getsize(scheduler_file),
              "the scheduler file")
        for i in range(2):
            workers.append(subprocess.Popen(
                [dask, "worker", "--scheduler-file", scheduler_file, "--host", "127.0.0.1",
                 "--nthreads", "1", "--no-dashboard", "--local-directory",
                 str(folder / ("w%d" % i))], **common))
        client = Client(scheduler_file=scheduler_file, timeout=60)
        client.wait_for_workers(2, timeout=60)
        yield client, scheduler_file
    finally:
        # Client, workers, scheduler: each stops with its peers still there to say
        # goodbye to.
        if client is not None:
            client.close()
        for worker in workers:
            _stop(worker)
        _stop(scheduler)
        left = [p.pid for p in workers + [scheduler] if not _gone(p)]
        assert not left, "cluster processes still running: %s" % left


def _mesh(kind, size, seed):
    """A plane mesh of triangles, quadrangles or both, nodes moved a little."""
    rng = np.random.default_rng(seed)
    points, cells = grid(size, size + 1, triangles=kind == "triangle")
    points = points + rng.uniform(-0.2, 0.2, points.shape) / size
    xyz = np.column_stack([points, np.zeros(len(points))])
    if kind == "mixed":
        half = len(cells) // 2
        tri = np.concatenate([cells[:half, [0, 1, 2]], cells[:half, [0, 2, 3]]])
        return meshio.Mesh(xyz, [("triangle", tri), ("quad", cells[half:])])
    return meshio.Mesh(xyz, [(kind, cells)])


FORMATS = [(".vtu", None), (".vtk", None), (".msh", "gmsh22"), (".obj", None),
           (".stl", None), (".ply", None)]


def _write_inputs(folder, count, size=6):
    """`count` meshes cycling through formats and kinds (STL holds triangles only)."""
    folder.mkdir()
    paths = []
    for i in range(count):
        suffix, fmt = FORMATS[i % len(FORMATS)]
        kind = "triangle" if suffix == ".stl" else ("triangle", "quad", "mixed")[i % 3]
        path = str(folder / ("m%02d%s" % (i, suffix)))
        meshio.write(path, _mesh(kind, size + i % 4, i), file_format=fmt)
        paths.append(path)
    return paths


def _same_mesh(a, b):
    assert np.array_equal(a.points, b.points), "points differ"
    assert [c.type for c in a.cells] == [c.type for c in b.cells], "cell kinds differ"
    for x, y in zip(a.cells, b.cells):
        assert np.array_equal(x.data, y.data), "cells of kind %s differ" % x.type


def _no_temporary(folder):
    left = [f for f in os.listdir(folder) if ".part-" in f or f.endswith(".lock")]
    assert not left, "temporary files left in %s: %s" % (folder, left)


def _last_lines(manifest):
    last = {}
    with open(manifest) as f:
        for line in f:
            record = json.loads(line)
            last[record["input"]] = record
    return last


def test_forty_files_three_bad(cluster, tmp_path):
    client, _ = cluster
    inputs = _write_inputs(tmp_path / "in", 37)
    bad = {str(tmp_path / "in" / "garbage.vtu"): "cannot read the mesh",
           str(tmp_path / "in" / "lines.vtu"): "needs triangles or quadrangles",
           str(tmp_path / "in" / "outside.obj"): "is not a point of the mesh"}
    with open(tmp_path / "in" / "garbage.vtu", "wb") as f:
        f.write(b"\x00not a mesh\xff" * 10)
    meshio.write(str(tmp_path / "in" / "lines.vtu"),
                 meshio.Mesh(np.eye(3), [("line", np.array([[0, 1], [1, 2]]))]))
    with open(tmp_path / "in" / "outside.obj", "w") as f:
        f.write("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n")
    out = tmp_path / "out"
    records = distributed.map_files("quadratic", inputs + sorted(bad), out, client=client,
                                    quad="Q9")
    assert [r["input"] for r in records] == inputs + sorted(bad), "records out of order"
    failed = {r["input"]: r["error"] for r in records if r["status"] == "error"}
    assert sorted(failed) == sorted(bad), failed
    for path, cause in bad.items():
        assert cause in failed[path], "%s: %s" % (path, failed[path])
    assert [r["status"] for r in records].count("ok") == 37
    for record in records[:37]:
        reference = str(tmp_path / ("ref-" + os.path.basename(record["output"])))
        assert cli.main(["quadratic", record["input"], reference, "--quad", "Q9"]) == 0
        written, alone = meshio.read(record["output"]), meshio.read(reference)
        _same_mesh(written, alone)
        source = meshio.read(record["input"])
        assert record["nodes_in"] == len(source.points)
        assert record["nodes_out"] == len(written.points)
        assert record["elements_out"] == sum(len(c.data) for c in written.cells)
        assert record["options"]["quad"] == "Q9"
    # The manifest holds the same records, one line each.
    assert _last_lines(out / "manifest.jsonl") == {r["input"]: r for r in records}
    _no_temporary(out)
    # info carries its report instead of an output.
    [report] = distributed.map_files("info", inputs[:1], tmp_path / "info", client=client)
    assert report["output"] is None and report["status"] == "ok"
    assert "area" in report["report"], report["report"]


def _kill_a_worker_running(client, prefix="", ready=None):
    """A started thread that, once ready() holds (when given), SIGKILLs the first worker
    seen running a task whose key starts with `prefix` (its nanny starts another), and the
    list it puts that worker in."""
    killed = []

    def kill():
        if ready is not None:
            _wait(ready, "the moment to kill a worker")
        pids = client.run(os.getpid)
        deadline = time.monotonic() + 60
        while not killed and time.monotonic() < deadline:
            for worker, keys in client.processing().items():
                if any(str(key).startswith(prefix) for key in keys):
                    os.kill(pids[worker], signal.SIGKILL)
                    killed.append(worker)
                    break
            time.sleep(0.005)

    thread = threading.Thread(target=kill)
    thread.start()
    return thread, killed


def test_worker_killed_while_holding_tasks(cluster, tmp_path):
    client, _ = cluster
    inputs = _write_inputs(tmp_path / "in", 12, size=150)
    out = tmp_path / "out"
    # Once the first file is done, a worker running another one is killed: the scheduler
    # hands its tasks on.
    killer, killed = _kill_a_worker_running(
        client, ready=lambda: os.path.exists(out / "manifest.jsonl")
        and os.path.getsize(out / "manifest.jsonl"))
    records = distributed.map_files("quadratic", inputs, out, client=client)
    killer.join()
    assert killed, "no worker held a task when the first file was done"
    assert [r["status"] for r in records] == ["ok"] * len(inputs), \
        [(r["input"], r["error"]) for r in records if r["status"] != "ok"]
    for record in records:
        meshio.read(record["output"])
    _no_temporary(out)
    client.wait_for_workers(2, timeout=60)


def test_client_interrupted_then_rerun(cluster, tmp_path):
    client, scheduler_file = cluster
    inputs = _write_inputs(tmp_path / "in", 16, size=120)
    out = tmp_path / "out"
    command = [sys.executable, "-m", "surfkit", "batch", "quadratic",
               str(tmp_path / "in" / "*"), "--output-dir", str(out), "--scheduler-file",
               scheduler_file]
    first = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    manifest = out / "manifest.jsonl"

    def three_records():
        assert first.poll() is None, "the batch ended early: %s" % (first.communicate(),)
        return os.path.exists(manifest) and len(open(manifest).readlines()) >= 3

    _wait(three_records, "three records")
    first.send_signal(signal.SIGINT)
    _, said = first.communicate(timeout=60)
    assert first.returncode == 130, said
    done = {i for i, r in _last_lines(manifest).items() if r["status"] == "ok"}
    assert 3 <= len(done) < len(inputs), "interrupted too late to show anything"
    # The tasks in flight when the client left run to their end (the scheduler forgets
    # them at once, their threads do not): wait for the workers' threads.
    # (A lambda: cloudpickle sends it by value, the workers cannot import this module.)
    _wait(lambda: not any(client.run(lambda dask_worker: len(dask_worker.active_threads))
                          .values()), "the workers to be idle")
    _no_temporary(out)
    for path in glob.glob(str(out / "*.vtu")):
        meshio.read(path)  # whatever carries an output's name is complete
    second = subprocess.run(command, capture_output=True, text=True, timeout=120)
    assert second.returncode == 0, second.stderr
    last = _last_lines(manifest)
    for path in map(os.path.abspath, inputs):
        assert last[path]["status"] == ("skipped" if path in done else "ok"), path
        meshio.read(last[path]["output"])
    _no_temporary(out)


def _background():
    rng = np.random.default_rng(7)
    points, cells = grid(30, 20)
    points = points + rng.uniform(-0.01, 0.01, points.shape)
    field = np.column_stack([2 * points[:, 0] - 3 * points[:, 1] + 1, np.sin(points[:, 0])])
    queries = rng.uniform(-0.2, 1.2, (4000, 2))  # some outside the unit square
    return points, cells, field, queries


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
@pytest.mark.parametrize("where", ["threads", "cluster", "cluster dask array"])
def test_probe_in_four_chunks_equals_one_call(cluster, where):
    import dask.array as da

    points, cells, field, queries = _background()
    whole = surfkit.probe(points, cells, field, queries)
    chunk = len(queries) // 4
    if where == "threads":
        got = distributed.probe(points, cells, field, queries, chunk=chunk)
    elif where == "cluster":
        got = distributed.probe(points, cells, field[:, 0], queries, client=cluster[0],
                                chunk=chunk)
        whole = whole[:, 0]
    else:
        lazy = distributed.probe(points, cells, field, da.from_array(queries, chunks=chunk),
                                 client=cluster[0])
        assert lazy.numblocks[0] == 4
        got = cluster[0].compute(lazy).result()
    assert got.shape == whole.shape
    np.testing.assert_allclose(got, whole, rtol=1e-12, atol=1e-12)
    # Inside the square the first component is the linear field itself; outside, the
    # nearest node's value.
    inside = np.all((queries > 0.02) & (queries < 0.98), axis=1)
    first = got if got.ndim == 1 else got[:, 0]
    exact = 2 * queries[:, 0] - 3 * queries[:, 1] + 1
    np.testing.assert_allclose(first[inside], exact[inside], rtol=0, atol=1e-12)
    outside = ~np.all((queries > -0.02) & (queries < 1.02), axis=1)
    nearest = np.argmin(((queries[outside, None, :] - points[None]) ** 2).sum(-1), axis=1)
    assert np.array_equal(first[outside], field[nearest, 0])


def test_probe_goes_on_when_a_worker_dies(cluster):
    # SIGKILL the worker running a chunk: the chunk, lost with it, is sent again, and the
    # values are the one call's.
    client = cluster[0]
    points, cells = grid(200, 200)
    field = np.sin(3 * points[:, 0]) + points[:, 1]
    queries = np.random.default_rng(3).uniform(-0.1, 1.1, (3_000_000, 2))
    killer, killed = _kill_a_worker_running(client, "_probe_points")
    got = distributed.probe(points, cells, field, queries, client=client, chunk=50_000)
    killer.join()
    assert killed, "no chunk was running to kill its worker"
    whole = surfkit.probe(points, cells, field, queries)
    np.testing.assert_allclose(got, whole, rtol=1e-12, atol=1e-9)
    client.wait_for_workers(2, timeout=60)


def test_a_chunk_finds_a_background_its_worker_never_received(cluster):
    # Dask may drop a worker's copy of the broadcast background before its first chunk
    # (or a worker may join later): the chunk's reference then gathers it.
    client = cluster[0]
    points, cells, field, _ = _background()
    background = distributed._Background(points, cells, field)
    first, second = sorted(client.scheduler_info()["workers"])
    [future] = client.scatter([background], workers=[first], hash=False)

    def sums(reference):  # nested, so that it travels by value
        found = reference.resolve()
        return [found.coordinates.sum(), found.connectivity.sum(), found.field.sum()]

    reference = distributed._BackgroundRef(background.token, future.key)
    got = client.submit(sums, reference, workers=[second], pure=False).result()
    assert got == [points.sum(), cells.sum(), field.sum()]
    assert future.key not in client.has_what()[second]  # gathered by the task itself


def test_local_default(tmp_path):
    # No scheduler given: `surfkit batch` starts local worker processes and closes them.
    # Those workers keep glibc's adaptive allocation (no MALLOC_TRIM_THRESHOLD_) and the
    # rest of Dask's worker environment.
    inputs = _write_inputs(tmp_path / "in", 3)
    out = tmp_path / "out"
    assert cli.main(["batch", "normals", *inputs, "--output-dir", str(out), "--workers", "1"]) == 0
    assert sorted(os.listdir(out)) == sorted(
        ["manifest.jsonl"] + [os.path.splitext(os.path.basename(p))[0] + ".vtu" for p in inputs])
    cluster = distributed.local_cluster(1)
    try:
        with Client(cluster) as client:
            client.wait_for_workers(1, timeout=60)
            [environ] = client.run(lambda: dict(os.environ)).values()
            [settings] = client.run(_local_settings).values()
    finally:
        cluster.close()
    assert "MALLOC_TRIM_THRESHOLD_" not in environ
    assert environ.get("OMP_NUM_THREADS") == "1"
    # No compression on loopback, no profiler for a dashboard that is not there.
    assert settings == [None, False]


def _local_settings():
    import dask

    return [dask.config.get("distributed.comm.compression"),
            dask.config.get("distributed.worker.profile.enabled")]
