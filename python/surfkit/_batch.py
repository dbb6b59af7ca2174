"""One command-line operation over many files: the parts that need no Dask.

The client side of a batch (the cluster, the futures) is in :mod:`surfkit.distributed`,
the only module that imports dask. Here: the options of an operation as a canonical
dict, the task a worker runs for one file, the manifest, the lock on an output folder,
and ``surfkit batch`` itself.

A worker runs the operation by calling the command line in-process, so every operation
of ``python -m surfkit`` works in a batch exactly as it does alone. Its output goes to
``.<name>.part-<unique><suffix>`` in the output folder and is renamed over the output's
name only once it is complete: a killed worker or client never leaves a partial file
under an output's name.
"""

import argparse
import contextlib
import glob
import io
import json
import os
import socket
import sys
import threading
import time
import uuid

MANIFEST = "manifest.jsonl"
LOCK = ".surfkit-batch.lock"
#: The statuses under which a rerun leaves a file alone.
DONE = ("ok", "skipped")


class BatchError(Exception):
    """A batch refused before anything ran (bad operation, options or inputs, a held
    folder)."""


# ---- Operations and their options -------------------------------------------------------


def _command_line():
    from . import cli

    return cli


def operation_parser(operation):
    """The argparse parser of one command-line operation (BatchError for an unknown one)."""
    parser = _command_line()._parser()
    commands = next(a for a in parser._actions if isinstance(a, argparse._SubParsersAction))
    names = sorted(n for n in commands.choices if n != "batch")
    if operation not in names:
        raise BatchError("unknown operation %r (one of %s)" % (operation, ", ".join(names)))
    return commands.choices[operation]


def option_actions(parser):
    """The operation's options (not its files, not --help)."""
    return [a for a in parser._actions
            if a.option_strings and not isinstance(a, argparse._HelpAction)]


def _has_output(parser):
    return any(a.dest == "output" for a in parser._actions if not a.option_strings)


def options_to_argv(parser, options):
    """The command-line words of `options` (dest -> value); None and False leave the
    option out."""
    argv = []
    for action in option_actions(parser):
        value = options.get(action.dest)
        if value is None or value is False:
            continue
        flag = action.option_strings[-1]
        if action.nargs == 0:
            argv.append(flag)
        elif isinstance(value, (list, tuple)):
            argv += [flag] + [str(v) for v in value]
        else:
            argv += [flag, str(value)]
    return argv


def canonical_options(operation, options):
    """(options with every default filled in and every value parsed, argv) for `operation`:
    the same dict whether a value was given, given differently ("2" or 2.0) or left at its
    default, so that a rerun recognises the same batch. BatchError for an unknown option
    or a bad value."""
    parser = operation_parser(operation)
    known = {a.dest for a in option_actions(parser)}
    unknown = sorted(set(options) - known)
    if unknown:
        raise BatchError("%s takes no option %s (its options: %s)"
                         % (operation, ", ".join(unknown), ", ".join(sorted(known))))
    argv = options_to_argv(parser, options)
    files = ["INPUT", "OUTPUT"] if _has_output(parser) else ["INPUT"]
    try:
        parsed = parser.parse_args(files + argv)
    except Exception as error:  # the command line's UsageError
        raise BatchError("%s: %s" % (operation, error))
    return {a.dest: getattr(parsed, a.dest) for a in option_actions(parser)}, argv


# ---- Paths ------------------------------------------------------------------------------


def output_path(output_dir, input_path, suffix):
    stem = os.path.splitext(os.path.basename(input_path))[0]
    return os.path.join(output_dir, stem + suffix)


def check_outputs(inputs, output_dir, suffix, has_output=True):
    """Raises BatchError for a suffix that names no format, two inputs that would write
    the same output name, or an output that would replace an input."""
    if not suffix.startswith(".") or len(suffix) < 2 or os.sep in suffix:
        raise BatchError("suffix %r: expected a file suffix such as .vtu" % suffix)
    sources = {os.path.normcase(os.path.abspath(p)) for p in inputs} if has_output else ()
    for path in inputs:
        out = os.path.normcase(os.path.abspath(output_path(output_dir, path, suffix)))
        if out in sources:  # the rename would put the output over the input
            raise BatchError("%s would be replaced by its own output; choose another "
                             "--output-dir or suffix" % path)
    seen = {}
    for path in inputs:
        name = os.path.basename(output_path("", path, suffix))
        if name in seen:
            raise BatchError("%s and %s would both write %s" % (seen[name], path, name))
        seen[name] = path


def part_path(output):
    """A temporary name beside `output`, unique to this attempt, hidden, and ending with
    the output's suffix so that the writer picks the same format."""
    folder, name = os.path.split(output)
    return os.path.join(folder, ".%s.part-%s%s" % (name, uuid.uuid4().hex[:12],
                                                   os.path.splitext(name)[1]))


def remove_parts(outputs):
    """Removes the temporary files left by earlier attempts at these outputs."""
    for output in outputs:
        if output is None:
            continue
        folder, name = os.path.split(output)
        for leftover in glob.glob(os.path.join(glob.escape(folder),
                                               ".%s.part-*" % glob.escape(name))):
            with contextlib.suppress(FileNotFoundError):
                os.remove(leftover)


def input_state(path):
    """(size, modification time) of an input, (None, None) when it cannot be read."""
    try:
        st = os.stat(path)
    except OSError:
        return None, None
    return st.st_size, st.st_mtime


# ---- The task a worker runs ---------------------------------------------------------------


class _PerThread(io.TextIOBase):
    """sys.stdout/sys.stderr of a worker: each thread writes to the buffer it set, else
    to the stream that was there before, so that tasks running side by side in one worker
    keep their outputs apart."""

    def __init__(self, original):
        self.original = original
        self.local = threading.local()

    def write(self, text):
        target = getattr(self.local, "buffer", None)
        return (target if target is not None else self.original).write(text)

    def flush(self):
        target = getattr(self.local, "buffer", None)
        (target if target is not None else self.original).flush()

    def isatty(self):
        return False


_seen = threading.local()
_install_lock = threading.Lock()


def _install():
    # Once per process: the per-thread streams, and meshio's read and write wrapped so
    # that the task learns the counts of the meshes the command line read and wrote
    # without reading them a second time. Outside a task both behave as before.
    with _install_lock:
        if not isinstance(sys.stdout, _PerThread):
            sys.stdout = _PerThread(sys.stdout)
        if not isinstance(sys.stderr, _PerThread):
            sys.stderr = _PerThread(sys.stderr)
        import meshio

        if getattr(meshio.read, "_surfkit_batch", False):
            return
        read, write = meshio.read, meshio.write

        def counted_read(*args, **kwargs):
            mesh = read(*args, **kwargs)
            if getattr(_seen, "active", False):
                _seen.read = _counts(mesh)
            return mesh

        def counted_write(*args, **kwargs):
            result = write(*args, **kwargs)
            if getattr(_seen, "active", False):
                mesh = args[1] if len(args) > 1 else kwargs.get("mesh")
                _seen.written = _counts(mesh)
            return result

        counted_read._surfkit_batch = counted_write._surfkit_batch = True
        meshio.read, meshio.write = counted_read, counted_write


def _counts(mesh):
    return len(mesh.points), sum(len(block.data) for block in mesh.cells)


def _read_counts(path):
    import meshio

    return _counts(meshio.read(path))


def run_file(operation, input_path, output, argv):
    """Runs one operation on one file in this process; returns its record's worker part:
    status, error, report (info), node and element counts, seconds.

    The output is written to a temporary name in the output folder and renamed over
    `output` once complete, so the output's name holds a complete file or none at all.
    """
    _install()
    start = time.perf_counter()
    part = part_path(output) if output is not None else None
    files = [input_path] + ([part] if part is not None else [])
    out, err = io.StringIO(), io.StringIO()
    _seen.active, _seen.read, _seen.written = True, None, None
    sys.stdout.local.buffer, sys.stderr.local.buffer = out, err
    try:
        code = _command_line().main([operation] + files + list(argv))
    except BaseException as error:  # a fault of the operation is this file's error
        code = 1
        err.write("%s: %s\n" % (type(error).__name__, error))
    finally:
        sys.stdout.local.buffer = sys.stderr.local.buffer = None
        _seen.active = False
    record = {"status": "ok", "error": None, "nodes_in": None, "elements_in": None,
              "nodes_out": None, "elements_out": None}
    try:
        if code != 0:
            record["status"] = "error"
            record["error"] = _error_text(err.getvalue(), code)
            return record
        if part is not None and not os.path.exists(part):
            record["status"] = "error"
            record["error"] = "the operation wrote no output"
            return record
        read, written = _seen.read, _seen.written
        if read is None:
            read = _read_counts(input_path)
        if part is not None and written is None:
            written = _read_counts(part)
        record["nodes_in"], record["elements_in"] = read
        if part is not None:
            record["nodes_out"], record["elements_out"] = written
            os.replace(part, output)
            part = None
        else:
            record["report"] = out.getvalue()
        return record
    finally:
        if part is not None:
            with contextlib.suppress(FileNotFoundError):
                os.remove(part)
        record["seconds"] = time.perf_counter() - start


def _error_text(stderr, code):
    lines = [line for line in stderr.splitlines() if line.strip()]
    if not lines:
        return "the operation failed (exit code %d)" % code
    text = lines[-1].strip()
    prefix = "surfkit: error: "
    return text[len(prefix):] if text.startswith(prefix) else text


# ---- Manifest and lock ------------------------------------------------------------------


def last_records(manifest):
    """Each input's last record in a manifest (an empty dict when there is none). A line
    cut short by a crash is ignored: its file is simply done again."""
    last = {}
    try:
        with open(manifest, encoding="utf-8") as f:
            for line in f:
                try:
                    record = json.loads(line)
                    last[record["input"]] = record
                except (ValueError, KeyError, TypeError):
                    continue
    except FileNotFoundError:
        pass
    return last


def is_done(previous, operation, options, size, mtime):
    """True when `previous` (an input's last record) shows the same work finished."""
    if not previous or previous.get("status") not in DONE:
        return False
    if (previous.get("operation"), previous.get("options")) != (operation, options):
        return False
    if (previous.get("input_size"), previous.get("input_mtime")) != (size, mtime):
        return False
    out = previous.get("output")
    return out is None or os.path.exists(out)


class Manifest:
    """The append-only manifest, written by the client alone, one flushed line per file."""

    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8")

    def write(self, record):
        self.file.write(json.dumps(record, sort_keys=True) + "\n")
        self.file.flush()

    def close(self):
        self.file.close()


def _alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


class FolderLock:
    """The output folder held by one batch: a lock file naming the process. A lock left by
    a process of this host that no longer runs is taken over."""

    def __init__(self, folder):
        self.path = os.path.join(folder, LOCK)
        self.held = False

    def acquire(self):
        me = {"pid": os.getpid(), "host": socket.gethostname()}
        for _ in range(2):
            try:
                fd = os.open(self.path, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o644)
            except FileExistsError:
                holder = self._holder()
                if (holder and holder.get("host") == me["host"]
                        and isinstance(holder.get("pid"), int) and not _alive(holder["pid"])):
                    with contextlib.suppress(FileNotFoundError):
                        os.remove(self.path)  # left by a batch that was killed
                    continue
                raise BatchError("%s is held by another batch (process %s on %s); remove "
                                 "%s if that batch is gone"
                                 % (os.path.dirname(self.path), holder.get("pid", "?"),
                                    holder.get("host", "?"), self.path))
            with os.fdopen(fd, "w") as f:
                json.dump(me, f)
            self.held = True
            return
        raise BatchError("cannot take the lock %s" % self.path)

    def _holder(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def release(self):
        if self.held:
            with contextlib.suppress(FileNotFoundError):
                os.remove(self.path)
            self.held = False


class FileProgress:
    """``[#####.....] 12/40 files, 1 failed`` on stderr, on a terminal only."""

    def __init__(self, total, stream=None):
        self.total, self.done, self.failed = total, 0, 0
        self.stream = stream if stream is not None else sys.stderr
        self.enabled = hasattr(self.stream, "isatty") and self.stream.isatty() and total > 0

    def update(self, record):
        self.done += 1
        self.failed += record["status"] == "error"
        if self.enabled:
            width = 24
            filled = width * self.done // self.total
            self.stream.write("\r[%s%s] %d/%d files, %d failed"
                              % ("#" * filled, "." * (width - filled), self.done, self.total,
                                 self.failed))
            self.stream.flush()

    def close(self):
        if self.enabled and self.done:
            self.stream.write("\n")
            self.stream.flush()


# ---- surfkit batch ----------------------------------------------------------------------


def _batch_parser(operation):
    parser = argparse.ArgumentParser(
        prog="surfkit batch %s" % operation, add_help=True,
        description="Runs `surfkit %s` on every input file (globs expanded), writing "
                    "DIR/<input stem><suffix> and DIR/%s; files already done are skipped."
                    % (operation, MANIFEST))
    parser.add_argument("inputs", metavar="INPUT", nargs="+", help="mesh files or globs")
    parser.add_argument("--output-dir", required=True, metavar="DIR")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="a running Dask scheduler (default: worker processes on this "
                            "machine)")
    where.add_argument("--scheduler-file", metavar="FILE",
                       help="the file `dask scheduler --scheduler-file` wrote")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="local worker processes (default: one per core)")
    parser.add_argument("--suffix", default=".vtu", help="output suffix (default .vtu)")
    parser.add_argument("--force", action="store_true", help="redo files already done")
    return parser


def main(argv):
    """``surfkit batch OPERATION INPUT... --output-dir DIR [options]``; returns the exit
    code: 0 when no file failed, 1 when one did, 2 for a bad command line."""
    usage = ("usage: surfkit batch OPERATION INPUT... --output-dir DIR [--scheduler ADDRESS "
             "| --scheduler-file FILE] [--workers N] [--force] [operation options]")
    if not argv or argv[0] in ("-h", "--help"):
        print(usage)
        return 0 if argv else 2
    operation = argv[0]
    try:
        op_parser = operation_parser(operation)
        parser = _batch_parser(operation)
        # The operation's own options, parsed beside the batch's.
        for action in option_actions(op_parser):
            parser._add_action(action)
        with contextlib.redirect_stderr(io.StringIO()) as said:
            try:
                args = parser.parse_args(argv[1:])
            except SystemExit as stop:
                if stop.code == 0:
                    return 0
                raise BatchError(said.getvalue().strip().splitlines()[-1])
        if args.workers is not None and args.workers < 1:
            raise BatchError("--workers %d: give at least 1" % args.workers)
        options = {a.dest: getattr(args, a.dest) for a in option_actions(op_parser)}
        inputs = []
        for pattern in args.inputs:
            found = sorted(glob.glob(pattern)) if glob.has_magic(pattern) else [pattern]
            if not found:
                raise BatchError("%s matches no file" % pattern)
            inputs += found
        try:
            from . import distributed
        except ImportError as error:
            raise BatchError("batch needs Dask (python3-dask, python3-distributed): %s"
                             % error)
        client = args.scheduler
        if args.scheduler_file is not None:
            if not os.path.isfile(args.scheduler_file):
                raise BatchError("--scheduler-file %s: no such file" % args.scheduler_file)
            client = args.scheduler_file
        start = time.perf_counter()
        records = distributed.map_files(operation, inputs, args.output_dir, client=client,
                                        suffix=args.suffix, force=args.force,
                                        workers=args.workers, **options)
    except BatchError as error:
        sys.stderr.write("surfkit: error: %s\n" % error)
        return 2
    except KeyboardInterrupt:
        sys.stderr.write("surfkit: interrupted (rerun the same command to resume)\n")
        return 130
    except (OSError, TimeoutError) as error:  # no scheduler there, a folder not writable
        sys.stderr.write("surfkit: error: %s\n" % error)
        return 1
    count = {s: sum(r["status"] == s for r in records) for s in ("ok", "skipped", "error")}
    for r in records:
        if r["status"] == "error":
            said = r["error"] or "failed"
            if not said.startswith(r["input"]):
                said = "%s: %s" % (r["input"], said)
            sys.stderr.write("surfkit: error: %s\n" % said)
    if operation == "info":
        for r in records:
            if r["status"] != "error":
                print("== %s\n%s" % (r["input"], (r.get("report") or "").rstrip()))
    print("%d ok, %d skipped, %d failed in %.1f s (manifest %s)"
          % (count["ok"], count["skipped"], count["error"], time.perf_counter() - start,
             os.path.join(args.output_dir, MANIFEST)))
    return 1 if count["error"] else 0
