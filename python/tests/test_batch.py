"""Batches refused before anything runs, the folder lock, and the package without Dask.
(Batches that run are in tests_cluster/, on a real cluster.)"""

import json
import os
import subprocess
import sys

import pytest

from surfkit import _batch, cli

distributed = pytest.importorskip("surfkit.distributed")


@pytest.mark.parametrize("operation, inputs, options, said", [
    ("quadratic", ["a/x.vtu", "b/x.obj"], {}, "would both write x.vtu"),
    ("quadratic", ["out/x.vtu"], {}, "replaced by its own output"),
    ("quadratic", ["x.vtu"], {"quads": "Q9"}, "takes no option quads"),
    ("quadratic", ["x.vtu"], {"quad": "Q7"}, "invalid choice: 'Q7'"),
    ("split", ["x.vtu"], {}, "--into"),
    ("reorient", ["x.vtu"], {"start": "first"}, "invalid int value"),
    ("transmogrify", ["x.vtu"], {}, "unknown operation 'transmogrify'"),
    ("batch", ["x.vtu"], {}, "unknown operation 'batch'"),
] + [("normals", ["x.vtu"], {"suffix": suffix}, "suffix") for suffix in ("", "vtu", ".", "./x")])
def test_refused_before_anything_runs(tmp_path, operation, inputs, options, said):
    out = tmp_path / "out"
    with pytest.raises(distributed.BatchError, match=said):
        distributed.map_files(operation, [tmp_path / p for p in inputs], out, **options)
    assert not out.exists(), "a refused batch created its output folder"


def test_options_are_canonical():
    # Given, given differently or left at the default: the same options (a rerun compares them).
    given, argv = _batch.canonical_options("split", {"into": "triangles",
                                                     "shape_threshold": "0.5"})
    assert argv == ["--into", "triangles", "--shape-threshold", "0.5"]
    assert given == {"into": "triangles", "shape_threshold": 0.5, "angle_threshold": 0.0,
                     "criterion": "shape", "renumber": False}
    assert _batch.canonical_options("split", {"into": "triangles", "criterion": "shape",
                                              "shape_threshold": 0.5})[0] == given
    flags, argv = _batch.canonical_options("normals", {"no_unit": True, "exponent": 0})
    assert argv == ["--exponent", "0", "--no-unit"] and flags["no_unit"] is True


def test_folder_lock(tmp_path):
    mine = _batch.FolderLock(str(tmp_path))
    mine.acquire()
    with pytest.raises(_batch.BatchError, match="held by another batch \\(process %d"
                       % os.getpid()):
        _batch.FolderLock(str(tmp_path)).acquire()
    # A batch refused by the lock leaves the holder's lock alone.
    assert json.load(open(mine.path))["pid"] == os.getpid()
    mine.release()
    assert not os.path.exists(mine.path)
    # A lock left by a process that is gone is taken over.
    gone = subprocess.Popen([sys.executable, "-c", "pass"])
    gone.wait()
    with open(mine.path, "w") as f:
        json.dump({"pid": gone.pid, "host": __import__("socket").gethostname()}, f)
    taker = _batch.FolderLock(str(tmp_path))
    taker.acquire()
    assert json.load(open(taker.path))["pid"] == os.getpid()
    taker.release()


@pytest.mark.parametrize("args, said", [
    (["quadratic", "x.vtu"], "--output-dir"),
    (["quadratic", "x.vtu", "--output-dir", "o", "--quad", "Q7"], "invalid choice"),
    (["quadratic", "nothing-*.vtu", "--output-dir", "o"], "matches no file"),
    (["quadratic", "x.vtu", "--output-dir", "o", "--workers", "0"], "--workers 0"),
    (["quadratic", "x.vtu", "--output-dir", "o", "--scheduler-file", "no.json"],
     "no.json: no such file"),
])
def test_command_line_refusals(tmp_path, capsys, monkeypatch, args, said):
    monkeypatch.chdir(tmp_path)
    assert cli.main(["batch"] + args) == 2
    err = capsys.readouterr().err
    assert said in err and err.count("\n") == 1, err
    assert not (tmp_path / "o").exists()


def test_package_works_without_dask():
    # Only surfkit.distributed needs Dask; without it `python3 -m surfkit batch` says what
    # is missing.
    code = ("import runpy, sys; sys.modules['dask'] = sys.modules['distributed'] = None\n"
            "import surfkit\n"
            "assert surfkit.area([[0, 0], [1, 0], [0, 1]], [[0, 1, 2]]) == 0.5\n"
            "sys.argv = ['surfkit', 'batch', 'quadratic', 'x.vtu', '--output-dir', 'o']\n"
            "runpy.run_module('surfkit', run_name='__main__')")
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.returncode == 2, run.stderr
    assert "python3-dask" in run.stderr, run.stderr
