"""The command line on small mesh files: expected files and exit code 0; a missing file or
a bad option gives one line on stderr and a non-zero exit code."""

import os
import subprocess
import sys

import meshio
import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere

PYTHON = "/usr/bin/python3"


def run(*args):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return subprocess.run([PYTHON, "-m", "surfkit", *map(str, args)], capture_output=True,
                          text=True, env=env)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("cli")
    points, cells = icosphere(2)
    meshio.write(folder / "sphere.vtu", meshio.Mesh(points, [("triangle", cells)]))
    p2, quads = grid(3, 2, triangles=False)
    p2 = np.column_stack([p2, np.zeros(len(p2))])
    mixed = [("triangle", np.array([[1, 2, 5]])), ("quad", quads[[0, 2, 3]])]
    meshio.write(folder / "mixed.vtu", meshio.Mesh(p2, mixed))
    meshio.write(folder / "line.msh",
                 meshio.Mesh(p2[:4], [("line", np.array([[0, 1], [1, 2], [2, 3]]))]),
                 file_format="gmsh22")
    return folder


def test_normals_writes_point_data(files):
    out = files / "normals.vtu"
    r = run("normals", files / "sphere.vtu", out)
    assert (r.returncode, r.stderr) == (0, "")
    mesh = meshio.read(out)
    expected = surfkit.normals(mesh.points, mesh.cells[0].data)
    assert np.array_equal(mesh.point_data["normals"], expected)
    # On a sphere the node normal points outwards along the position.
    assert np.allclose(np.sum(expected * mesh.points, axis=1), 1.0, atol=1e-2)


def test_quadratic_gives_t6_and_q9(files):
    out = files / "quadratic.vtu"
    r = run("quadratic", files / "mixed.vtu", out, "--quad", "Q9")
    assert r.returncode == 0, r.stderr
    mesh = meshio.read(out)
    kinds = {b.type: b.data for b in mesh.cells}
    assert set(kinds) == {"triangle6", "quad9"}
    t6 = kinds["triangle6"][0]
    # meshio's order: node 3 is the midpoint of the edge (0, 1).
    assert np.allclose(mesh.points[t6[3]], (mesh.points[t6[0]] + mesh.points[t6[1]]) / 2)


def test_split_into_quads_keeps_area(files):
    out = files / "quads.msh"
    r = run("split", files / "mixed.vtu", out, "--into", "quads")
    assert r.returncode == 0, r.stderr
    mesh = meshio.read(out)
    assert [b.type for b in mesh.cells] == ["quad"]
    assert len(mesh.cells[0].data) == 3 * 4 + 3
    assert surfkit.area(mesh.points, mesh.cells[0].data) == pytest.approx(3 / 6 + 1 / 12)


def test_split_into_triangles(files):
    out = files / "triangles.vtu"
    r = run("split", files / "mixed.vtu", out, "--into", "triangles")
    assert r.returncode == 0, r.stderr
    mesh = meshio.read(out)
    assert [(b.type, len(b.data)) for b in mesh.cells] == [("triangle", 7)]


def test_reorient_and_info(files):
    points, cells = icosphere(2)
    cells = cells.copy()
    cells[::3, [0, 2]] = cells[::3, [2, 0]]
    meshio.write(files / "messy.vtu", meshio.Mesh(points, [("triangle", cells)]))
    out = files / "tidy.vtu"
    r = run("reorient", files / "messy.vtu", out)
    assert r.returncode == 0, r.stderr
    assert "reversed" in r.stdout
    tidy = meshio.read(out).cells[0].data
    normals = surfkit.normals(points, tidy)
    assert np.all(np.sum(normals * points, axis=1) > 0) or np.all(
        np.sum(normals * points, axis=1) < 0)
    r = run("info", out)
    assert r.returncode == 0, r.stderr
    assert "triangle %d" % len(cells) in r.stdout
    assert "0 loops" in r.stdout


def test_curvature_normal_cycle(files):
    out = files / "curvature.vtu"
    r = run("curvature", files / "sphere.vtu", out, "--method", "normal-cycle")
    assert r.returncode == 0, r.stderr
    data = meshio.read(out).point_data
    assert {"k_largest", "k_middle", "dir_least_bending", "dir_most_bending"} <= set(data)
    assert np.all(data["k_largest"] < 0)  # convex outward: negative


def test_curvature_fitted_is_the_default(files):
    out = files / "fitted.vtu"
    r = run("curvature", files / "sphere.vtu", out)
    assert r.returncode == 0, r.stderr
    mesh = meshio.read(out)
    expected, _ = surfkit._surfkit.fitted_curvatures(mesh.points, mesh.cells[0].data, None, 2)
    assert np.array_equal(mesh.point_data["k_max"], expected[:, 6])
    assert np.array_equal(mesh.point_data["dir_k_min"], expected[:, 3:6])
    assert {"k_min", "dir_k_max"} <= set(mesh.point_data)


def test_extrude_line(files):
    out = files / "band.vtu"
    r = run("extrude", files / "line.msh", out, "--translate", "0", "1", "--layers", "4")
    assert r.returncode == 0, r.stderr
    mesh = meshio.read(out)
    assert len(mesh.cells[0].data) == 3 * 4
    assert surfkit.area(mesh.points[:, :2], mesh.cells[0].data) == pytest.approx(1.0)
    r = run("extrude", files / "line.msh", out, "--angle", "90", "--triangles", "--pattern", "2")
    assert r.returncode == 0, r.stderr


@pytest.mark.parametrize("operation", ["info", "quadratic", "split", "reorient", "normals",
                                       "curvature", "extrude"])
def test_help(operation):
    r = run(operation, "--help")
    assert r.returncode == 0
    assert "usage: surfkit " + operation in r.stdout


@pytest.mark.parametrize("args", [
    ("normals", "no-such-file.vtu", "out.vtu"),
    ("split", "{sphere}", "out.vtu"),
    ("normals", "{sphere}", "out.vtu", "--exponent", "x"),
    ("frobnicate", "{sphere}", "out.vtu"),
    ("extrude", "{sphere}", "out.vtu", "--translate", "1", "0"),
    ("normals", "{notamesh}", "out.vtu"),
])
def test_errors_are_one_line(files, args, tmp_path):
    (files / "notamesh.vtu").write_text("not a mesh")
    args = [a.format(sphere=files / "sphere.vtu", notamesh=files / "notamesh.vtu")
            for a in args]
    r = subprocess.run([PYTHON, "-m", "surfkit", *args], capture_output=True, text=True,
                       cwd=tmp_path, env=dict(os.environ,
                                              PYTHONPATH=os.pathsep.join(p for p in sys.path if p)))
    assert r.returncode != 0
    lines = r.stderr.strip().splitlines()
    assert len(lines) == 1, r.stderr
    assert lines[0].startswith("surfkit: error: ")
    assert not (tmp_path / "out.vtu").exists()


@pytest.mark.parametrize("bad", [-1, 4294967295, 2 ** 40, 12])
def test_cell_ids_outside_the_points_are_refused(files, tmp_path, bad):
    # A cast to uint32 would turn -1 or 4294967295 into "none", which makes a FACE_MIX
    # quadrangle a triangle; 12 is one past the last point.
    points = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]] * 3, dtype=float)
    quads = np.array([[0, 1, 2, 3], [4, 5, 6, bad]], dtype=np.int64)
    meshio.write(tmp_path / "bad.vtu", meshio.Mesh(points, [("quad", quads)]))
    for op in (["normals"], ["split", "--into", "triangles"], ["quadratic"]):
        r = run(op[0], tmp_path / "bad.vtu", tmp_path / "out.vtu", *op[1:])
        assert r.returncode == 1, (op, r.stderr)
        message = r.stderr.strip()
        assert len(message.splitlines()) == 1
        assert "bad.vtu" in message and "cell block 0" in message and "row 1" in message
        assert str(bad) in message
        assert not (tmp_path / "out.vtu").exists()
