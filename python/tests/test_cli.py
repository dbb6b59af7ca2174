"""The command line on small mesh files: results, data carried through, quadratic input, and
errors (exit 2 naming the option, 1 for a failing input; one stderr line, nothing written);
batches refused before anything runs, the folder lock, and the package without Dask.
(Batches that run are in tests_cluster/, on a real cluster.)"""

import contextlib
import io
import json
import math
import os
import re
import subprocess
import sys

import meshio
import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere
from surfkit import _batch, cli


def run(*args):
    """The command line in this process: (exit code, stdout, stderr)."""
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        code = cli.main([str(a) for a in args])
    return code, out.getvalue(), err.getvalue()


def run_ok(*args):
    """A run that must succeed without a word on stderr: the mesh it wrote (args[2])."""
    code, _, err = run(*args)
    assert (code, err) == (0, ""), err
    return meshio.read(args[2])


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("cli")
    points, cells = icosphere(2)
    p2, quads = grid(3, 2, triangles=False)
    p2 = np.column_stack([p2, np.zeros(len(p2))])
    for name, mesh in [
        ("sphere", meshio.Mesh(points, [("triangle", cells)], point_data={"t": points[:, 0]},
                               cell_data={"id": [np.arange(len(cells))]})),
        ("mixed", meshio.Mesh(p2, [("triangle", [[1, 2, 5]]), ("quad", quads[[0, 2, 3]])],
                              point_data={"x": p2[:, 0]},
                              cell_data={"material": [np.array([7]), np.array([1, 2, 3])]})),
        ("line", meshio.Mesh(p2[:4], [("line", [[0, 1], [1, 2], [2, 3]])],
                             point_data={"x": p2[:4, 0]})),
        ("t6", surfkit.to_meshio(*surfkit.convert_T3(points, cells))),
        ("q8", surfkit.to_meshio(*surfkit.convert_Q4(p2, quads))),
        ("fan", meshio.Mesh(np.random.default_rng(0).uniform(size=(5, 3)),
                            [("triangle", [[0, 1, 2], [1, 0, 3], [0, 1, 4]])])),
        ("line3", meshio.Mesh(p2[:3], [("line3", [[0, 2, 1]])]))]:
        meshio.write(folder / (name + ".vtu"), mesh)
    (folder / "notamesh.vtu").write_text("not a mesh")
    (folder / "empty.stl").write_text("solid \nendsolid\n")
    return folder


def test_quadratic_interpolates_point_data_and_curves_as_the_library(files, tmp_path):
    mesh = run_ok("quadratic", files / "mixed.vtu", tmp_path / "q.vtu", "--quad", "Q9")
    assert [(b.type, len(b.data)) for b in mesh.cells] == [("triangle6", 1), ("quad9", 3)]
    # x was the x coordinate: linear, so the interpolated values are the new nodes' x.
    assert np.allclose(mesh.point_data["x"], mesh.points[:, 0])
    assert [a.tolist() for a in mesh.cell_data["material"]] == [[7], [1, 2, 3]]
    mesh = run_ok("quadratic", files / "sphere.vtu", tmp_path / "c.vtu", "--curved",
                  "--feature-angle", "5")  # degrees; 5 makes features of the sphere's edges
    sphere = meshio.read(files / "sphere.vtu")
    want = surfkit.convert_T3(sphere.points, sphere.cells[0].data, curved=True,
                              feature_angle=math.radians(5))
    assert np.allclose(mesh.points, want.coordinates, rtol=0, atol=1e-12)


@pytest.mark.parametrize("options", [[], ["--renumber"]], ids=["kept", "renumbered"])
def test_normals_carry_the_data_with_the_nodes_and_elements(files, tmp_path, options):
    after = run_ok("normals", files / "sphere.vtu", tmp_path / "n.vtu", *options)
    before = meshio.read(files / "sphere.vtu")
    # Point data and cell data ("id") move with their nodes and cells.
    assert np.array_equal(after.point_data["t"], after.points[:, 0])
    ids = after.cell_data["id"][0]
    assert sorted(ids) == list(range(len(before.cells[0].data)))
    old_cells = before.points[before.cells[0].data[ids]]
    assert np.array_equal(after.points[after.cells[0].data], old_cells)
    normals = surfkit.normals(after.points, after.cells[0].data)
    assert np.allclose(after.point_data["normals"], normals, atol=1e-12)


@pytest.mark.parametrize("into, kinds", [("quads", [("quad", 15)]),
                                         ("triangles", [("triangle", 7)])])
def test_split_gives_each_part_its_element_data(files, tmp_path, into, kinds):
    mesh = run_ok("split", files / "mixed.vtu", tmp_path / "s.vtu", "--into", into)
    assert [(b.type, len(b.data)) for b in mesh.cells] == kinds
    assert np.allclose(mesh.point_data["x"], mesh.points[:, 0])
    # Each part lies inside its element: the material of the part's centre's element.
    materials = mesh.cell_data["material"][0]
    centres = mesh.points[mesh.cells[0].data].mean(axis=1)
    triangle = (centres[:, 0] > 1 / 3) & (centres[:, 0] < 2 / 3) & (centres[:, 1] < 0.5)
    assert np.all(materials[triangle] == 7) and np.all(materials[~triangle] != 7)


def test_reorient_then_info_and_info_of_a_fan(files, tmp_path):
    points, cells = icosphere(2)
    messy = cells.copy()
    messy[::3, [0, 2]] = messy[::3, [2, 0]]
    meshio.write(tmp_path / "messy.vtu", meshio.Mesh(points, [("triangle", messy)]))
    code, out, err = run("reorient", tmp_path / "messy.vtu", tmp_path / "tidy.vtu")
    assert (code, err) == (0, "") and "reversed" in out
    tidy = meshio.read(tmp_path / "tidy.vtu").cells[0].data
    side = np.sum(surfkit.normals(points, tidy) * points, axis=1)
    assert np.all(side > 0) or np.all(side < 0)
    # The fan: three triangles on one edge, which is non-manifold; the six others boundary.
    for path, words in [(tmp_path / "tidy.vtu", ["triangle %d" % len(cells), "0 loops"]),
                        (files / "fan.vtu", ["6 edges", "non-manifold 1 edge"]),
                        (files / "q8.vtu", ["quad8"])]:
        code, out, _ = run("info", path)
        assert code == 0 and all(w in out for w in words), out


@pytest.mark.parametrize("options, call", [
    (["--rings", "1"], lambda p, c: surfkit.fitted_curvatures(p, c, rings=1)),
    (["--method", "normal-cycle", "--radius", "0.3", "--max-angle", "90"],
     lambda p, c: surfkit.principal_curvatures(p, c, radius=0.3, max_angle=math.pi / 2)),
], ids=["fitted", "normal-cycle"])
def test_curvature_writes_the_named_fields_of_its_method(files, tmp_path, options, call):
    mesh = run_ok("curvature", files / "sphere.vtu", tmp_path / "k.vtu", *options)
    k = call(mesh.points, mesh.cells[0].data)
    for name, want in [("k1", k.k1), ("k2", k.k2), ("dir_k1", k.dir_k1), ("dir_k2", k.dir_k2),
                       ("mean_curvature", k.mean), ("gaussian_curvature", k.gaussian)]:
        assert np.allclose(mesh.point_data[name], want, rtol=0, atol=1e-12), name


def test_extrude_carries_point_data_to_the_copies(files, tmp_path):
    mesh = run_ok("extrude", files / "line.vtu", tmp_path / "band.vtu", "--translate", "0", "1",
                  "--layers", "4")
    assert len(mesh.cells[0].data) == 3 * 4
    assert surfkit.area(mesh.points[:, :2], mesh.cells[0].data) == pytest.approx(1.0)
    assert np.allclose(mesh.point_data["x"], mesh.points[:, 0])
    # --axis is a direction only: 90 degrees about (0, 0, 5) is a quarter turn.
    turned = run_ok("extrude", files / "line.vtu", tmp_path / "turn.vtu", "--angle", "90",
                    "--axis", "0", "0", "5", "--layers", "6").points[-4:]
    assert np.allclose(turned[:, :2], [[0, 0], [0, 1 / 3], [0, 2 / 3], [0, 1]], atol=1e-12)


# (command line, exit code, pattern of the one stderr line); {f} is the files folder, {o}
# the output file without its suffix: nothing may be written. Every operation writes
# through one format check (_write) over one table of formats, so its rows need not repeat
# per operation or per format.
ERRORS = [
    ("reorient {f}/sphere.vtu {o}.vtu --start 320", 2, "--start 320: the mesh has 320"),
    ("reorient {f}/sphere.vtu {o}.vtu --start -1", 2, "--start -1"),
    ("curvature {f}/sphere.vtu {o}.vtu --rings 4", 2, "--rings 4"),
    ("curvature {f}/sphere.vtu {o}.vtu --radius -1", 2, "--radius -1"),
    ("normals {f}/sphere.vtu {o}.vtu --exponent nan", 2, "--exponent nan"),
    ("split {f}/mixed.vtu {o}.vtu --into triangles --criterion best", 2, "--criterion best"),
    ("split {f}/mixed.vtu {o}.vtu", 2, "--into"),
    ("quadratic {f}/sphere.vtu {o}.vtu --feature-angle 10", 2, "--curved"),
    ("quadratic {f}/sphere.vtu {o}.vtu --curved --feature-angle nan", 2, "--feature-angle nan"),
    ("extrude {f}/line.vtu {o}.vtu --axis 0 0 90", 2, "--axis 0 0 90"),
    ("extrude {f}/line.vtu {o}.vtu --angle 30 --axis 0 0 0", 2, "--axis 0 0 0"),
    ("extrude {f}/line.vtu {o}.vtu --translate 1 0 --sizes 0 1", 2, "--sizes 0 1"),
    ("extrude {f}/line.vtu {o}.vtu --translate 1 0 --layers -1", 2, "--layers -1"),
    ("extrude {f}/line.vtu {o}.vtu --translate 1 0 1 1", 2, "--translate"),
    ("extrude {f}/line.vtu {o}.vtu --translate 1 0 --triangles --pattern zigzag",
     2, "--pattern zigzag"),
    ("extrude {f}/line.vtu {o}.vtu --translate 1 0 --even", 2, "--even"),
    ("extrude {f}/line.vtu {o}.vtu --angle 30 --screw 0 0 0 --axis 0 0 1", 2, "--screw 0 0 0"),
    ("extrude {f}/line.vtu {o}.vtu", 2, "--translate"),
    ("frobnicate {f}/sphere.vtu {o}.vtu", 2, "frobnicate"),
    ("normals {f}/no-such-file.vtu {o}.vtu", 1, "no-such-file.vtu: no such file"),
    ("normals {f}/notamesh.vtu {o}.vtu", 1, "notamesh.vtu: cannot read"),
    ("normals {f}/line.vtu {o}.vtu", 1, "line.vtu: normals needs triangles"),
    ("info {f}/empty.stl", 1, "empty.stl: the mesh has no points"),
    ("extrude {f}/sphere.vtu {o}.vtu --translate 1 0", 1, "needs a line mesh"),
    ("extrude {f}/line3.vtu {o}.vtu --translate 1 0", 1, "line3"),
    ("quadratic {f}/t6.vtu {o}.vtu", 1, "triangle6"),
    ("split {f}/q8.vtu {o}.vtu --into quads", 1, "quad8"),
    ("curvature {f}/q8.vtu {o}.vtu", 1, "quad8"),
    ("quadratic {f}/mixed.vtu {o}.obj", 1, "out.obj: .*triangle6.*nothing written"),
    ("quadratic {f}/sphere.vtu {o}.stl", 1, "triangle6.*nothing written"),  # was 0 points, exit 0
    ("normals {f}/mixed.vtu {o}.off", 1, "out.off: .*quad.*nothing written"),
    ("batch quadratic {f}/sphere.vtu", 2, "--output-dir"),
    ("batch quadratic {f}/sphere.vtu --output-dir {o} --quad Q7", 2, "invalid choice"),
    ("batch quadratic {f}/nothing-*.vtu --output-dir {o}", 2, "matches no file"),
    ("batch quadratic {f}/sphere.vtu --output-dir {o} --workers 0", 2, "--workers 0"),
    ("batch quadratic {f}/sphere.vtu --output-dir {o} --scheduler-file {f}/no.json", 2,
     "no.json: no such file"),
]


@pytest.mark.parametrize("args, code, words", ERRORS,
                         ids=[e[0].replace("{f}/", "").replace("{o}", "out") for e in ERRORS])
def test_errors(files, tmp_path, args, code, words):
    got, _, err = run(*[a.format(f=files, o=tmp_path / "out") for a in args.split()])
    assert got == code, err
    lines = err.strip().splitlines()
    assert len(lines) == 1 and lines[0].startswith("surfkit: error: "), err
    assert re.search(words, lines[0]), lines[0]
    for leak in ("code -", "rejected (", "Traceback", "mesh_reorient", "neighbours"):
        assert leak not in lines[0], lines[0]
    assert not any(tmp_path.iterdir())


@pytest.mark.parametrize("op, source", [("normals", "t6.vtu"), ("reorient", "t6.vtu"),
                                        ("curvature", "t6.vtu"), ("normals", "q8.vtu"),
                                        ("reorient", "q8.vtu")])
def test_quadratic_input_is_handled(files, tmp_path, op, source):
    mesh = run_ok(op, files / source, tmp_path / "out.vtu")
    assert [b.type for b in mesh.cells] == [b.type for b in meshio.read(files / source).cells]
    # Every node of the sphere, mid-edge ones too, gets an outward normal; the surface
    # bends away from it.
    if (op, source) == ("normals", "t6.vtu"):
        assert np.all(np.sum(mesh.point_data["normals"] * mesh.points, axis=1) > 0.9)
    if op == "curvature":
        assert np.all(mesh.point_data["mean_curvature"] < 0)


def test_data_a_format_cannot_hold_is_named_in_one_warning(files, tmp_path):
    code, _, err = run("normals", files / "sphere.vtu", tmp_path / "n.stl")
    assert code == 0
    assert err.count("\n") == 1 and "warning" in err and "normals" in err and "'id'" in err


@pytest.mark.parametrize("bad", [-1, 4294967295, 2 ** 40, 12])
def test_cell_ids_outside_the_points_are_refused(tmp_path, bad):
    # A cast to uint32 would turn -1 or 4294967295 into "none", which makes a FACE_MIX
    # quadrangle a triangle; 12 is one past the last point. (Every operation reads its
    # input through from_meshio, which refuses them.)
    points = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]] * 3, dtype=float)
    quads = np.array([[0, 1, 2, 3], [4, 5, 6, bad]], dtype=np.int64)
    meshio.write(tmp_path / "bad.vtu", meshio.Mesh(points, [("quad", quads)]))
    code, _, err = run("split", tmp_path / "bad.vtu", tmp_path / "out.vtu", "--into", "quads")
    assert code == 1 and len(err.strip().splitlines()) == 1, err
    for words in ("bad.vtu", "cell block 0", "row 1", str(bad)):
        assert words in err, err
    assert not (tmp_path / "out.vtu").exists()


@pytest.mark.parametrize("operation, inputs, options, said", [
    ("quadratic", ["a/x.vtu", "b/x.obj"], {}, "would both write x.vtu"),
    ("quadratic", ["out/x.vtu"], {}, "replaced by its own output"),
    ("quadratic", ["x.vtu"], {"quads": "Q9"}, "takes no option quads"),
    ("quadratic", ["x.vtu"], {"quad": "Q7"}, "invalid choice: 'Q7'"),
    ("split", ["x.vtu"], {}, "--into"),
    ("transmogrify", ["x.vtu"], {}, "unknown operation 'transmogrify'"),
    ("batch", ["x.vtu"], {}, "unknown operation 'batch'"),
] + [("normals", ["x.vtu"], {"suffix": suffix}, "suffix") for suffix in ("", "vtu", ".", "./x")])
def test_batches_refused_before_anything_runs(tmp_path, operation, inputs, options, said):
    distributed, out = pytest.importorskip("surfkit.distributed"), tmp_path / "out"
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
