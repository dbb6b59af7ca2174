"""Many meshes and many points: surfkit on a Dask cluster, or on every core of this machine.

- :func:`map_files` runs one command-line operation on each of many mesh files, resuming
  an interrupted batch from its manifest.
- :func:`probe` evaluates a field of a background triangle mesh at many points, chunk by
  chunk, the background sent once to every worker.

With no ``client``, both work on this machine alone (worker processes for files, threads
for points: the library's calls release the GIL). On a cluster, every worker must see the
input and output folders under the same paths (a shared file system).

This is the only module of the package that imports dask and distributed (Debian's
``python3-dask`` and ``python3-distributed``).
"""

import os
import threading
import uuid
from concurrent.futures import CancelledError

import numpy as np

import dask
import dask.array as da
from distributed import Client, LocalCluster, as_completed
from distributed.scheduler import KilledWorker

from . import _batch
from ._batch import BatchError

__all__ = ["map_files", "probe", "local_cluster", "BatchError"]


# ---- Files ------------------------------------------------------------------------------


def local_cluster(workers=None):
    """The cluster :func:`map_files` starts when given no client: ``workers`` worker
    processes (default one per core) of one thread each on 127.0.0.1, no dashboard. Start
    it yourself to keep the workers up across several calls (``Client(local_cluster())``);
    close it when done.

    Dask's nannies set ``MALLOC_TRIM_THRESHOLD_`` in their workers, so that freed memory
    goes back to the system at once. Setting it also switches off glibc's adaptive mmap
    threshold, and then every array above 128 KiB is a fresh mapping whose pages fault in
    one by one: a quadratic conversion of a 100 k-triangle file ran 17 % slower that way.
    These workers keep glibc's defaults (unless this process's environment sets the
    variable: a plain ``LocalCluster`` started here earlier puts Dask's value there); the
    rest of Dask's worker environment stays.

    Three more of Dask's defaults serve a dashboard or a network, and this cluster has
    neither. Messages between its processes go uncompressed: on loopback, compressing
    costs CPU at both ends and a second copy of each frame in flight (a client keeps its
    own process's setting). The workers' statistical profiler, which samples the running
    task's stack every 10 ms for the dashboard, is off; and the event loops check their
    own health once a second instead of every 20 ms. With two workers on two cores these
    wakeups took 3-6 % of a batch's time.
    """
    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", default={}))
    environ.pop("MALLOC_TRIM_THRESHOLD_", None)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ,
                          "distributed.comm.compression": None,
                          "distributed.worker.profile.enabled": False,
                          "distributed.admin.tick.interval": "1s"}):
        return LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                            processes=True, host="127.0.0.1", dashboard_address=None)


def _connect(client, workers):
    """(client, cluster we started or None, client we started or None)."""
    if isinstance(client, Client):
        return client, None, None
    if isinstance(client, (str, os.PathLike)):
        target = os.fspath(client)
        if os.path.isfile(target):
            made = Client(scheduler_file=target)
        else:
            made = Client(target)
        return made, None, made
    if client is not None:
        raise TypeError("client: a distributed.Client, a scheduler address or a scheduler "
                        "file, not %s" % type(client).__name__)
    cluster = local_cluster(workers)
    try:
        made = Client(cluster)
    except BaseException:
        cluster.close()
        raise
    return made, cluster, made


def map_files(operation, inputs, output_dir, *, client=None, suffix=".vtu", force=False,
              workers=None, **options):
    """Runs the command-line `operation` (``quadratic``, ``info``, ...) on every input file,
    writing ``output_dir/<input stem><suffix>``; returns one record per input, in input
    order.

    operation : a ``python -m surfkit`` operation.
    inputs : mesh file paths; two inputs with the same stem are refused before anything
        runs.
    output_dir : created if needed; holds the outputs and ``manifest.jsonl``.
    client : None (worker processes on 127.0.0.1, ``workers`` of them, default one per
        core, started and closed here), a ``distributed.Client``, a scheduler address, or
        the scheduler file of ``dask scheduler --scheduler-file``. Workers must see the
        input and output paths (a shared file system).
    suffix : the outputs' suffix, which chooses their format.
    force : redo inputs the manifest shows done.
    options : the operation's options by their command-line names (``quad="Q9"``,
        ``into="quads"``, ``no_unit=True``).

    Each record (a dict, as written to the manifest, one line per finished file) holds
    ``input`` (absolute), ``output`` (None for ``info``, whose record holds its
    ``report``), ``status`` (``ok``, ``error``, ``skipped``), ``nodes_in``,
    ``elements_in``, ``nodes_out``, ``elements_out``, ``seconds``, ``error``,
    ``input_size``, ``input_mtime``, ``operation`` and ``options`` (every option, defaults
    included). An input whose last manifest line is ``ok`` or ``skipped`` for the same
    size, modification time, operation and options, and whose output exists, is skipped.
    A bad file (or one whose worker died under it more often than the scheduler allows)
    gives an ``error`` record; the others go on.

    Raises BatchError for an unknown operation or option, a suffix that is not one,
    inputs sharing a stem, an output that would replace its input, or a folder held by
    another running batch (nothing runs then); TypeError for a bad ``client``.
    """
    options, argv = _batch.canonical_options(operation, options)
    has_output = _batch._has_output(_batch.operation_parser(operation))
    inputs = [os.path.abspath(os.fspath(p)) for p in inputs]
    output_dir = os.path.abspath(os.fspath(output_dir))
    _batch.check_outputs(inputs, output_dir, suffix, has_output)
    os.makedirs(output_dir, exist_ok=True)
    outputs = [_batch.output_path(output_dir, p, suffix) if has_output else None
               for p in inputs]

    lock = _batch.FolderLock(output_dir)
    lock.acquire()
    manifest = None
    made_client = cluster = None
    futures = {}  # future -> (position, the record's fields known here)
    try:
        _batch.remove_parts(outputs)
        manifest_path = os.path.join(output_dir, _batch.MANIFEST)
        previous = {} if force else _batch.last_records(manifest_path)
        manifest = _batch.Manifest(manifest_path)
        records = [None] * len(inputs)
        progress = _batch.FileProgress(len(inputs))
        todo = []
        for i, (path, output) in enumerate(zip(inputs, outputs)):
            size, mtime = _batch.input_state(path)
            common = {"input": path, "output": output, "input_size": size,
                      "input_mtime": mtime, "operation": operation, "options": options}
            last = previous.get(path)
            if _batch.is_done(last, operation, options, size, mtime):
                record = dict(last, status="skipped", seconds=0.0, **common)
                records[i] = record
                manifest.write(record)
                progress.update(record)
            else:
                todo.append((i, common))
        if todo:
            client, cluster, made_client = _connect(client, workers)
            for i, common in todo:
                future = client.submit(_batch.run_file, operation, common["input"],
                                       common["output"], argv, pure=False,
                                       key="surfkit-%s-%s" % (operation, os.urandom(8).hex()))
                futures[future] = (i, common)
            for future in as_completed(list(futures)):
                i, common = futures[future]
                record = dict(common, **_result(future))
                records[i] = record
                manifest.write(record)
                progress.update(record)
        progress.close()
        return records
    finally:
        unfinished = [f for f in futures if not f.done()]
        if unfinished:
            try:
                unfinished[0].client.cancel(unfinished)
            except Exception:
                pass
        if made_client is not None:
            made_client.close()
        if cluster is not None:
            cluster.close()
        _batch.remove_parts(outputs)
        if manifest is not None:
            manifest.close()
        lock.release()


def _result(future):
    """The worker's part of a record, or an error record when the task itself failed."""
    empty = {"nodes_in": None, "elements_in": None, "nodes_out": None, "elements_out": None,
             "seconds": None}
    try:
        return future.result()
    except KilledWorker as error:
        return dict(empty, status="error",
                    error="its worker died running it, more often than the scheduler "
                          "allows (KilledWorker: %s)" % error)
    except Exception as error:
        return dict(empty, status="error", error="%s: %s" % (type(error).__name__, error))


# ---- Points -----------------------------------------------------------------------------


def _check_background(coordinates, connectivity, field):
    coordinates = np.ascontiguousarray(coordinates, dtype=np.float64)
    if coordinates.ndim != 2 or coordinates.shape[1] != 2:
        raise ValueError("coordinates: expected shape (n, 2), got %s" % (coordinates.shape,))
    connectivity = np.asarray(connectivity)
    if connectivity.ndim != 2 or connectivity.shape[1] != 3:
        raise ValueError("connectivity: expected shape (m, 3) triangles, got %s"
                         % (connectivity.shape,))
    if not np.issubdtype(connectivity.dtype, np.integer):
        raise TypeError("connectivity: expected integer node IDs, got %s" % connectivity.dtype)
    if connectivity.size and (connectivity.min() < 0
                              or connectivity.max() >= len(coordinates)):
        raise ValueError("connectivity: node IDs must lie in 0..%d" % (len(coordinates) - 1))
    connectivity = np.ascontiguousarray(connectivity, dtype=np.uint32)
    field = np.ascontiguousarray(field, dtype=np.float64)
    if field.ndim not in (1, 2) or field.shape[0] != len(coordinates):
        raise ValueError("field: expected shape (%d,) or (%d, c), got %s"
                         % (len(coordinates), len(coordinates), field.shape))
    return coordinates, connectivity, field


def probe(coordinates, connectivity, field, points, *, client=None, chunk=1_000_000):
    """A node field's values at many points of a plane triangle mesh, chunk by chunk.

    coordinates : (n, 2) background nodes.
    connectivity : (m, 3) counter-clockwise background triangles.
    field : (n,) or (n, c) values per node.
    points : (k, 2) query points, a NumPy array or a ``dask.array``.
    client : None (threads of this process), or a ``distributed.Client``: the background
        and field are sent once to every worker, the chunks spread over them.
    chunk : points per chunk (for NumPy points; a dask array keeps its own row chunks).

    Returns (k,) or (k, c) values, as the one-call probe gives them (barycentric in the
    triangle holding a point, the nearest node's values outside): NumPy for NumPy points,
    a dask array for a dask array. Each worker thread builds one BackgroundLocator over the
    background on its first chunk (linear in the background) and asks it for every chunk
    after: per chunk, a walk of a few steps per point. NumPy points on a client go one
    chunk per worker at a time: a worker holds the background (16 bytes a node, 12 a
    triangle, 8 a node per field column), its locator (about 52 bytes a node and 52 a
    triangle) and one chunk's points, order and values (about 52 bytes a point). A chunk
    whose worker dies is sent again to a live worker (a chunk tried three times ends the
    probe with its error); the background must survive on some worker (a dask array's
    chunks follow Dask's own rules).

    A point within the location tolerance (1e-6 of a triangle's size) of an edge may be
    blended in either triangle depending on the points located before it, in a chunk or
    in one call: values there agree to about that tolerance times the field's change
    across the edge, not to rounding.
    """
    coordinates, connectivity, field = _check_background(coordinates, connectivity, field)
    if isinstance(chunk, bool) or not isinstance(chunk, (int, np.integer)) or chunk < 1:
        raise ValueError("chunk: expected a positive integer, got %r" % (chunk,))
    lazy = isinstance(points, da.Array)
    if not lazy:
        points = np.ascontiguousarray(points, dtype=np.float64)
    if points.ndim != 2 or points.shape[1] != 2:
        raise ValueError("points: expected shape (k, 2), got %s" % (points.shape,))
    if client is not None and not isinstance(client, Client):
        raise TypeError("client: a distributed.Client, not %s" % type(client).__name__)
    background = _Background(coordinates, connectivity, field)
    token = background.token
    if client is not None:
        [background] = client.scatter([background], broadcast=True, hash=False)
    tail = field.shape[1:]
    if not lazy and client is not None:
        return _probe_streamed(client, background, token, points, chunk, tail)
    if lazy:
        points = points.astype(np.float64).rechunk({1: 2})
    else:
        points = da.from_array(points, chunks=(chunk, 2), name=False)
    values = points.map_blocks(_probe_chunk, background, dtype=np.float64,
                               chunks=(points.chunks[0],) + tuple((c,) for c in tail),
                               drop_axis=1, new_axis=list(range(1, 1 + len(tail))),
                               name="surfkit-probe-" + os.urandom(8).hex())
    return values if lazy else values.compute(scheduler="threads")


def _probe_streamed(client, background, token, points, chunk, tail):
    """NumPy points on a cluster: each chunk sent straight to a worker (not through the
    scheduler's graph) and run there, one chunk per worker at a time, the next sent to a
    worker as soon as its result is back; each result is copied into place and released
    as it arrives.

    A worker thus holds the background, its locator and one chunk with what the chunk's
    call needs (its points, their spatial order, 28 bytes a point, and the values): with
    a second chunk waiting on each worker it held about 25 MB more per million points
    (the waiting points, and the last values until their release reached it) for a few
    per cent of speed. Each chunk is pinned to the worker that is free: sent to whichever
    is next in turn, it could land on one still busy (or be stolen by another) and that
    worker's memory would grow with every chunk it was dealt."""
    values = np.empty((len(points),) + tail)
    starts = iter(range(0, len(points), chunk))
    # `background` (the broadcast future) stays referenced here until the end, so that
    # its data stays on the cluster for the references to find.
    reference = _BackgroundRef(token, background.key)
    # No workers yet: the first chunk goes where the scheduler puts it.
    workers = list(client.scheduler_info().get("workers", ())) or [None]
    where = {}  # future -> (first row of its chunk, worker, attempt)
    running = as_completed()

    def send(start, worker, attempt):
        # A worker that died on the way: the chunk goes to any live worker (the
        # scheduler's choice) instead.
        while True:
            targets = None if worker is None else [worker]
            try:
                [piece] = client.scatter([_Points(points[start:start + chunk])], hash=False,
                                         workers=targets)
                future = client.submit(_probe_points, piece, reference, pure=False,
                                       workers=targets)
                break
            except _LOST:
                attempt += 1
                if attempt >= _CHUNK_ATTEMPTS:
                    raise
                worker = None
        where[future] = (start, worker, attempt)
        running.add(future)

    try:
        for worker, start in zip(workers, starts):
            send(start, worker, 0)
        for future in running:
            start, worker, attempt = where.pop(future)
            try:
                part = future.result()
            except _LOST:
                # Its worker died with the chunk's points (or running it): again, elsewhere.
                future.release()
                if attempt + 1 >= _CHUNK_ATTEMPTS:
                    raise
                send(start, None, attempt + 1)
                continue
            values[start:start + len(part)] = part
            future.release()
            following = next(starts, None)
            if following is not None:
                send(following, worker, 0)
    finally:
        if where:
            client.cancel(list(where))
    return values


# What a chunk meets when its worker dies: its points lost with the worker (the future is
# cancelled), the worker killed while running it, or the connection to it closed. Such a
# chunk is sent again, to a live worker, until it has been tried this many times (a chunk
# that itself brings its workers down then ends the probe with the error).
_LOST = (CancelledError, KilledWorker, OSError)
_CHUNK_ATTEMPTS = 3


class _Background:
    """The background mesh and field as one object, sent once to each worker. What the
    chunks share (a locator) is made there on first use and kept in that process under
    the background's token: a worker may hand a task another copy of the object (one it
    read back from disk, say), and the locator must not be built again for it."""

    def __init__(self, coordinates, connectivity, field, token=None):
        self.coordinates, self.connectivity, self.field = coordinates, connectivity, field
        self.token = token or uuid.uuid4().hex

    def __getstate__(self):
        return (self.coordinates, self.connectivity, self.field, self.token)

    def __setstate__(self, state):
        # Arrays unpickled from a message are views of it at whatever offset their frame
        # had, mostly not a multiple of 8: every call would copy them before reading.
        # Copied once here, and the message's buffer goes with the views.
        coordinates, connectivity, field, token = state
        self.__init__(_aligned(coordinates), _aligned(connectivity), _aligned(field), token)

    def prepared(self):
        """What the chunks share, made once per thread of this process: a locator answers
        one call at a time, so threads running chunks side by side each keep their own.
        The process keeps those of its last two backgrounds, and the backgrounds with
        them (for _BackgroundRef)."""
        from ._probe import prepare

        thread = threading.get_ident()
        with _prepared_lock:
            shared = _prepared.pop(self.token, None) or _Shared(self)
            _prepared[self.token] = shared  # the most recent last
            while len(_prepared) > 2:
                del _prepared[next(iter(_prepared))]
            if thread not in shared.locators:
                shared.locators[thread] = prepare(self.coordinates, self.connectivity)
            return shared.locators[thread]


class _Shared:
    """A background as a worker process keeps it: the object and its locators by thread."""

    def __init__(self, background):
        self.background, self.locators = background, {}


# token -> _Shared, for this worker process's last two backgrounds (the oldest dropped
# first).
_prepared = {}
_prepared_lock = threading.Lock()


class _BackgroundRef:
    """What a chunk sent by _probe_streamed names instead of the background's future.

    A task that depends on a future has Dask deliver its data to the worker first. The
    background was broadcast to every worker, but Dask's memory manager drops copies that
    no waiting task needs (between two chunks of a worker, say), and the worker's next
    chunk then fetched the whole background again: for a moment it held it twice, its
    peak grew by the background's size, and the transfer took time. A worker keeps the
    background it has used with its locator (_Shared); the reference finds it there,
    else in the worker's store (the broadcast copy), else gathers it as a last resort
    (a worker that joined later, or whose copy was dropped before its first chunk)."""

    def __init__(self, token, key):
        self.token, self.key = token, key

    def resolve(self):
        with _prepared_lock:
            shared = _prepared.get(self.token)
        if shared is not None:
            return shared.background
        from distributed import Future, get_client, get_worker

        try:
            return get_worker().data[self.key]
        except (KeyError, ValueError):
            return get_client().gather(Future(self.key))


def _aligned(array):
    """The array in C order with its elements at multiples of their size (itself when so)."""
    return np.require(array, requirements=("C", "A"))


class _Points:
    """A chunk of query points sent to a worker, realigned there as it arrives (see
    _Background.__setstate__), so that the worker keeps one aligned copy of the chunk and
    not the message's view of it beside the copy each call would make."""

    def __init__(self, points):
        self.points = points

    def __getstate__(self):
        return self.points

    def __setstate__(self, points):
        self.points = _aligned(points)


def _probe_points(piece, reference):
    return _probe_chunk(piece.points, reference.resolve())


def _probe_chunk(points, background):
    from ._probe import probe_prepared

    points = _aligned(np.asarray(points, dtype=np.float64))
    return probe_prepared(background.prepared(), background.coordinates,
                          background.connectivity, background.field, points)
