"""from_meshio and to_meshio: every face kind and back, data row for row; probe and the
BackgroundLocator: linear fields, and one locator giving the one-call probe's values."""

import meshio
import numpy as np
import pytest

import surfkit
from meshes import grid

NONE = surfkit.NONE

# (name, meshio blocks, expected kind, expected width)
KINDS = [
    ("triangle", [("triangle", [[0, 1, 2], [0, 2, 3]])], "T3", 3),
    ("quad", [("quad", [[0, 1, 2, 3]])], "Q4", 4),
    ("triangle+quad", [("quad", [[0, 1, 4, 3]]), ("triangle", [[1, 2, 4]])], "FACE_MIX", 4),
    ("triangle6", [("triangle6", [[0, 1, 2, 3, 4, 5]])], "T6", 6),
    ("quad8", [("quad8", [[0, 1, 2, 3, 4, 5, 6, 7]])], "Q8", 8),
    ("quad9", [("quad9", [[0, 1, 2, 3, 4, 5, 6, 7, 8]])], "Q9", 9),
    ("triangle6+quad9", [("quad9", [[0, 1, 2, 3, 4, 5, 6, 7, 8]]),
                         ("triangle6", [[0, 1, 2, 3, 4, 5]])], "FACE_MIX", 9),
]


@pytest.mark.parametrize("name, blocks, kind, width", KINDS, ids=[k[0] for k in KINDS])
def test_face_kinds_and_back(name, blocks, kind, width):
    blocks = [(t, np.asarray(d, dtype=np.int64)) for t, d in blocks]
    rows, ids = sum(len(d) for _, d in blocks), [np.arange(len(d)) + 10 * b
                                                 for b, (_, d) in enumerate(blocks)]
    mesh = meshio.Mesh(np.random.default_rng(0).uniform(size=(9, 3)),
                       blocks + [("line", np.array([[0, 1], [1, 2]])), ("vertex", [[5]])],
                       point_data={"t": np.arange(9.0)},
                       cell_data={"id": ids + [np.array([-1, -1]), np.array([-1])]})
    arrays = surfkit.from_meshio(mesh)
    assert arrays.kind == surfkit.ElementType[kind] and arrays.connectivity.dtype == np.uint32
    assert arrays.connectivity.shape == (rows, width) and len(arrays.cell_data["id"]) == rows
    assert np.array_equal(arrays.edge_nodes, [[0, 1], [1, 2]]) and arrays.ignored == {"vertex": 1}
    assert np.array_equal(arrays.point_data["t"], np.arange(9.0))
    # A T6 row is in the library's order: its mid-edge nodes face vertices 0, 1, 2.
    for (block, data), start in zip(blocks, np.cumsum([0] + [len(d) for _, d in blocks])):
        row = arrays.connectivity[start].tolist()
        if block == "triangle6":
            assert row == [0, 1, 2, 4, 5, 3] + [NONE] * (width - 6)
        elif block == "triangle":
            assert row[3:] == [NONE] * (width - 3)
    back = surfkit.to_meshio(arrays.coordinates, arrays.connectivity, arrays.kind,
                             point_data=arrays.point_data, cell_data=arrays.cell_data)
    # Face blocks come back with the same types, rows and data (one block per kind).
    assert [(b.type, b.data.tolist()) for b in back.cells] == [(t, d.tolist()) for t, d in blocks]
    assert [a.tolist() for a in back.cell_data["id"]] == [a.tolist() for a in ids]
    # And flip, which knows every one of these kinds, keeps them whole.
    twice = surfkit.flip(surfkit.flip(arrays.connectivity, arrays.kind), arrays.kind)
    assert np.array_equal(twice, arrays.connectivity)


def test_rows_of_a_mixed_array_keep_their_order_within_each_kind():
    cells = np.array([[0, 1, 2, NONE], [0, 1, 2, 3], [1, 2, 3, NONE], [3, 2, 1, 0]],
                     dtype=np.uint32)
    mesh = surfkit.to_meshio(grid(1, 1)[0], cells, cell_data={"row": np.arange(4)})
    assert [(b.type, len(b.data)) for b in mesh.cells] == [("triangle", 2), ("quad", 2)]
    assert [a.tolist() for a in mesh.cell_data["row"]] == [[0, 2], [1, 3]]
    assert mesh.points.shape == (4, 3)


@pytest.mark.parametrize("blocks, words", [
    ([("triangle", [[0, 1, 2]]), ("triangle6", [[0, 1, 2, 3, 4, 5]])], "linear and quadratic"),
    ([("quad8", [[0, 1, 2, 3, 4, 5, 6, 7]]), ("quad9", [[0, 1, 2, 3, 4, 5, 6, 7, 8]])],
     "quad8 and quad9"),
    ([("quad", [[0, 1, 2, -1]])], "ID -1"),
    ([("quad", [[0, 1, 2, 9]])], "ID 9"),
])
def test_meshes_the_arrays_cannot_hold(blocks, words):
    mesh = meshio.Mesh(np.zeros((9, 3)), [(t, np.array(d)) for t, d in blocks])
    with pytest.raises(surfkit.ArgumentError, match=words) as info:
        surfkit.from_meshio(mesh)
    assert info.value.parameter == "mesh"


def test_a_mesh_without_faces():
    arrays = surfkit.from_meshio(meshio.Mesh(np.zeros((3, 3)), [("line", [[0, 1], [1, 2]])]))
    assert arrays.kind == surfkit.ElementType.NO_ELEMENT
    assert arrays.connectivity.shape == (0, 3) and len(arrays.edge_nodes) == 2
    lines = surfkit.to_meshio(arrays.coordinates, arrays.connectivity,
                              edge_nodes=arrays.edge_nodes)
    assert [b.type for b in lines.cells] == ["line"]


@pytest.mark.parametrize("components", [None, 1, 3])
def test_probe_and_one_locator_reproduce_a_linear_field(components):
    rng = np.random.default_rng(components or 0)
    points, cells = grid(25, 15)
    points = points + rng.uniform(-0.01, 0.01, points.shape)
    linear = lambda p: np.column_stack([2 * p[:, 0] - p[:, 1] + 0.5, p[:, 1], -p[:, 0]])
    pick = (lambda v: v[:, 0]) if components is None else (lambda v: v[:, :components])
    field = pick(linear(points))
    before = field.copy()
    locator = surfkit.build_locator(points, cells)
    assert locator.node_count == len(points)
    inside, outside = rng.uniform(0.02, 0.98, (500, 2)), np.array([[1.5, 0.5], [-1.0, -1.0]])
    nearest = [np.argmin(np.linalg.norm(points - p, axis=1)) for p in outside]
    # Inside the blend, outside the nearest node; no points: an empty result of the field's
    # shape. One locator answers every set as the one-call probe does.
    for queries, want in [(inside, pick(linear(inside))), (outside, field[nearest]),
                          (np.zeros((0, 2)), field[:0])]:
        got = surfkit.probe(points, cells, field, queries)
        assert got.shape == want.shape and np.allclose(got, want, rtol=0, atol=1e-12)
        assert np.array_equal(locator.probe(field, queries), got)
    assert surfkit.probe(points, cells, field, []).shape == field[:0].shape  # a bare list too
    assert np.array_equal(field, before)
