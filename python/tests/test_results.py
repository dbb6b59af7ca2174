"""What the functions return. The bindings give the C++ results bit for bit: oracle.cpp runs
the same exports on the same mesh. One smoke check per binding the oracle does not run: the
library's result comes back (the values themselves are the C++ suite's), and the package's
own parts; the plumbing helpers against brute force and the shapes they are made for.
from_meshio and to_meshio: every face kind and back, data row for row; probe and the
BackgroundLocator: linear fields, and one locator giving the one-call probe's values."""

import math
import os
import subprocess

import meshio
import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere, torus, triangle_neighbours

NONE = surfkit.NONE
ORACLE = os.environ.get("SURFKIT_ORACLE")


def write_array(path, array):
    """The library's rows x cols array of a C-order (cols, rows) NumPy array."""
    array = np.ascontiguousarray(array)
    path.write_bytes(np.array(array.shape[::-1], dtype="<u8").tobytes() + array.tobytes())


def read_array(path, dtype):
    raw = path.read_bytes()
    rows, cols = np.frombuffer(raw[:16], dtype="<u8")
    return np.frombuffer(raw[16:], dtype=dtype).reshape(int(cols), int(rows))


def same_bits(a, b):
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def same_output(folder, name, got):
    want = read_array(folder / (name + ".out"), "<u4" if got.dtype == np.uint32 else "<f8")
    return same_bits(got, want)


def same_curvatures(named, raw, fitted):
    """The named fields against the C++ (n, 8) rows: k1, k2 are columns 6, 7 largest first;
    columns 0-2 are column 6's direction (fitted) or the other one's (normal cycle)."""
    for i, row in enumerate(raw):
        dirs = (row[0:3], row[3:6]) if fitted else (row[3:6], row[0:3])
        # Largest first; equal values keep their columns' order (sorted is stable).
        (k1, a), (k2, b) = sorted([(row[6], 0), (row[7], 1)], key=lambda p: -p[0])
        if not (named.k1[i] == k1 and named.k2[i] == k2 and same_bits(named.dir_k1[i], dirs[a])
                and same_bits(named.dir_k2[i], dirs[b]) and named.mean[i] == 0.5 * (k1 + k2)
                and named.gaussian[i] == k1 * k2):
            return False
    return True


@pytest.mark.skipif(not ORACLE, reason="SURFKIT_ORACLE names the C++ program")
def test_bindings_match_cpp(tmp_path):
    # A bumpy sphere: curvatures and normals vary from node to node.
    points, cells = icosphere(3)
    points *= (1 + 0.1 * np.sin(5 * points[:, :1]) * np.cos(3 * points[:, 1:2]))
    neighbours = triangle_neighbours(cells)
    for name, array in (("points", points), ("cells", cells), ("neighbours", neighbours)):
        write_array(tmp_path / (name + ".bin"), array)
    subprocess.run([ORACLE, str(tmp_path)], check=True)

    assert same_output(tmp_path, "normals", surfkit.normals(points, cells))
    for name, got in zip(("smallest", "largest"), surfkit.angles(points, cells, normalised=True)):
        assert same_output(tmp_path, name, got[None, :]), name
    total, reversed_count = read_array(tmp_path / "area.out", "<f8")[0]
    assert surfkit.area(points, cells) == total
    curv = surfkit.principal_curvatures(points, cells, neighbours=neighbours, radius=0.3,
                                        max_angle=1.2, max_elements=40)
    assert same_curvatures(curv, read_array(tmp_path / "curvatures.out", "<f8"), fitted=False)
    fitted = surfkit.fitted_curvatures(points, cells, neighbours=neighbours, rings=3)
    assert same_curvatures(fitted, read_array(tmp_path / "fitted.out", "<f8"), fitted=True)
    assert same_output(tmp_path, "aniso", surfkit.metrics_gen_aniso3d(points, cells, -0.1))

    for kind, (new_points, new_cells) in (("t6", surfkit.convert_T3(points, cells)),
                                          ("q4", surfkit.split_into_Q4(points, None, cells))):
        assert same_output(tmp_path, kind + "_points", new_points), kind
        assert same_output(tmp_path, kind + "_cells", new_cells), kind

    # Every other triangle reversed, then made consistent again from element 0.
    mixed, mixed_neighbours = cells.copy(), neighbours.copy()
    mixed[1::2, [0, 2]] = mixed[1::2, [2, 0]]
    mixed_neighbours[1::2, [0, 2]] = mixed_neighbours[1::2, [2, 0]]
    out, out_neighbours, count = surfkit.mesh_reorient(
        mixed, neighbours=mixed_neighbours, start_element=0, all_components=True)
    assert same_output(tmp_path, "reoriented", out)
    assert same_output(tmp_path, "reoriented_neighbours", out_neighbours)
    assert count == reversed_count


@pytest.mark.parametrize("kind, flipped", [
    ("T3", [2, 1, 0]), ("Q4", [2, 1, 0, 3]), ("T6", [2, 1, 0, 5, 4, 3]),
    ("Q8", [2, 1, 0, 3, 5, 4, 7, 6]), ("Q9", [2, 1, 0, 3, 5, 4, 7, 6, 8]),
])
def test_flip_with_or_without_a_kind_keeps_mid_nodes_on_their_edges(kind, flipped):
    assert surfkit.ElementType.T6 == 8 and surfkit.ElementType.HEXA27 == 22
    # Without a kind, flip once left T6 mid-edge nodes on the wrong edges: it takes the width's.
    cells = np.arange(len(flipped), dtype=np.uint32)[None, :]
    assert surfkit.flip(cells, surfkit.ElementType[kind]).tolist() == [flipped]
    assert surfkit.flip(cells).tolist() == [flipped]
    # A FACE_MIX array keeps a triangle (NONE in its fourth or seventh column) whole.
    if len(flipped) in (4, 8, 9):
        tri = [0, 1, 2] if kind == "Q4" else [0, 1, 2, 3, 4, 5]  # a T3 or a T6, padded
        pad = [NONE] * (len(flipped) - len(tri))
        mixed = surfkit.flip(np.array([cells[0], tri + pad], dtype=np.uint32))
        assert mixed.tolist() == [flipped, tri[2::-1] + tri[:2:-1] + pad]


def test_interpolation_reproduces_a_linear_field():
    # Neighbours and home given here; probe (below) has the package build them.
    points, cells = grid(6, 6)
    n, linear = len(points), lambda p: np.column_stack([2 * p[:, 0] - p[:, 1], p[:, 1]])
    xy = np.concatenate([points, np.random.default_rng(0).uniform(0.01, 0.99, (50, 2))])
    field = np.concatenate([linear(points), np.zeros((50, 2))])
    # home_elements: each node's first triangle, NONE for the targets behind the nodes.
    home = surfkit.home_elements(cells, node_count=len(xy))
    assert np.all(home[n:] == NONE) and all(node in cells[e] and node not in cells[:e]
                                            for node, e in enumerate(home[:n]))
    out = surfkit.interpolate(xy, cells, field, np.arange(n, len(xy)),
                              neighbours=triangle_neighbours(cells), home=home)
    assert np.allclose(out, linear(xy), rtol=0, atol=1e-12)
    assert np.array_equal(out[:n], field[:n])  # the nodes keep their values
    sizes = surfkit.interpolate_metrics(xy, cells, np.where(np.arange(len(xy)) < n, 0.1, 0.0))
    assert np.allclose(sizes[n:], 0.1)


def test_structured_grid_in_a_square_from_its_boundary_loop():
    points, cells = grid(4, 3, triangles=False)
    boundary = np.array([0, 1, 2, 3, 4, 9, 14, 19, 18, 17, 16, 15, 10, 5, 0], dtype=np.uint32)
    nodes, starts = surfkit.boundary_loops(cells)
    assert np.array_equal(nodes, boundary) and len(starts) == 2  # one loop, from a corner
    corners = points[np.unique(boundary)]
    loop = np.searchsorted(np.unique(boundary), boundary).astype(np.uint32)
    xy, quads = surfkit.mesh_struct_Q4(corners, loop, 3)
    assert len(quads) == 12 and len(xy) == len(corners) + 3 * 2
    assert surfkit.area(xy, quads) == pytest.approx(1.0)
    # Square cells; angles in radians by default (the oracle runs normalised=True).
    assert np.allclose(surfkit.angles(xy, quads), math.pi / 2)
    assert np.allclose(surfkit.metrics_struct(loop, 3, np.full(len(corners), 0.25)), [0.25] * 20)


def test_extrusions_conversions_and_splits_keep_the_area():
    line, points = np.array([[0, 1], [1, 2]], np.uint32), np.array([[0.0, 0], [1, 0], [3, 0]])
    xy, band = surfkit.extrude_translate_T3(points, line, [0, 2], 4, pattern="alternate")
    assert len(band) == 2 * 4 * 2 and len(xy) == 3 + 4 * 3
    assert surfkit.area(xy, band) == pytest.approx(6.0)  # the line runs +x, the band +y: ccw
    points, quads = grid(3, 2, triangles=False)
    p9, q9 = surfkit.convert_Q4(points, quads, nodes_per_quad=1)
    assert np.allclose(p9[q9[:, 8]], points[quads].mean(axis=1))
    out, kept, split = surfkit.split_Q4_into_T3(points, quads, shape_threshold=0.9,
                                                angle_threshold=0.9, criterion="shape")
    assert np.array_equal(out, quads) and len(kept) == 6 and len(split) == 0
    fixed, changed = surfkit.convert_degenerated_Q4(np.array([[0, 0, 1, 5], [0, 1, 5, 4]]))
    assert changed == 1 and fixed[0].tolist() == [0, 1, 5, NONE]


def test_curved_conversion_is_the_straight_one_then_curve_quadratic():
    points, cells = icosphere(3)
    straight = surfkit.convert_T3(points, cells)
    curved = surfkit.convert_T3(points, cells, curved=True)
    assert type(curved) is type(straight)
    assert np.array_equal(curved.connectivity, straight.connectivity)
    assert np.array_equal(curved.coordinates[:len(points)], points)  # vertices stay
    gaps = [np.abs(np.linalg.norm(m.coordinates[len(points):], axis=1) - 1).max()
            for m in (curved, straight)]
    assert gaps[0] < gaps[1] / 50, gaps
    again = surfkit.curve_quadratic(*straight)
    assert again.straightened == 0 and np.array_equal(again.coordinates, curved.coordinates)
    assert np.array_equal(surfkit.convert_mixed(points, None, cells, curved=True).coordinates,
                          curved.coordinates)
    # Quadrangles and triangles together are curved as one mixed array.
    quads = np.column_stack([cells[0:8:4, :2], cells[3:8:4, 1:]])  # a child + the middle one
    for q in (0, 1):
        xyz, q8, t6 = surfkit.convert_mixed(points, quads, cells[8:], 1, q, 0)
        rows = np.full((len(q8) + len(t6), q8.shape[1]), NONE, dtype=np.uint32)
        rows[:len(q8)], rows[len(q8):, :6] = q8, t6
        want = surfkit.curve_quadratic(xyz, rows).coordinates
        got = surfkit.convert_mixed(points, quads, cells[8:], 1, q, 0, curved=True)
        assert np.array_equal(got.coordinates, want), q


def test_renumber_and_permute_map_results_between_numberings():
    # A torus numbered at random: results on its renumbered copy come back through permute.
    points, cells = torus()
    rng = np.random.default_rng(5)
    nodes, elements = rng.permutation(len(points)), rng.permutation(len(cells))
    points, cells = points[nodes], np.argsort(nodes).astype(np.uint32)[cells[elements]]
    new = surfkit.renumber(points, cells)
    assert np.array_equal(surfkit.permute(new.coordinates, new.node_order, inverse=True), points)
    assert np.array_equal(surfkit.permute(points, new.node_order), new.coordinates)
    back = surfkit.permute(new.connectivity, new.element_order, id_order=new.node_order,
                           inverse=True)
    assert np.array_equal(back, cells)
    # Element IDs inside a neighbour matrix are renamed with element_order.
    moved = surfkit.neighbours(new.connectivity).neighbours
    assert np.array_equal(surfkit.permute(moved, new.element_order, id_order=new.element_order,
                                          inverse=True), surfkit.neighbours(cells).neighbours)
    x = points[:, 0].copy()
    assert np.array_equal(surfkit.permute(surfkit.permute(x, new.node_order), new.node_order,
                                          inverse=True), x)
    # A loop of node IDs has no order for its places; NONE stays NONE.
    loop = np.array([3, 1, 4, NONE], np.uint32)
    there = surfkit.permute(loop, id_order=new.node_order)
    assert there[3] == NONE and np.array_equal(new.node_order[there[:3]], loop[:3])


@pytest.mark.parametrize("cells, non_manifold", [
    (icosphere(3)[1], 0), (grid(7, 4)[1], 0),
    # Three triangles on one edge: that edge is non-manifold, so no one's neighbour there.
    (np.array([[0, 1, 2], [1, 0, 3], [0, 1, 4]], dtype=np.uint32), 1)],
    ids=["sphere", "grid", "fan"])
def test_neighbours_match_a_brute_force_matcher(cells, non_manifold):
    nb, count = surfkit.neighbours(cells, node_count=int(cells.max()) + 1)
    assert count == non_manifold and np.array_equal(nb, triangle_neighbours(cells))
    # The node count defaults to the largest ID + 1, and meshio's int64 cells work.
    assert np.array_equal(surfkit.neighbours(cells.astype(np.int64))[0], nb)


def test_neighbours_feed_the_exports():
    points, cells = icosphere(2)
    # Built here when not given: the same results.
    for call in (surfkit.principal_curvatures, surfkit.fitted_curvatures):
        assert all(np.array_equal(a, b) for a, b in zip(
            call(points, cells), call(points, cells, neighbours=triangle_neighbours(cells))))
    messy = cells.copy()
    messy[::2, [0, 2]] = messy[::2, [2, 0]]
    tidy, _, reversed_count = surfkit.mesh_reorient(messy)
    # Element 0 was reversed, and its orientation wins: every odd element turns over.
    # (With neighbours given: the oracle's reorientation.)
    assert reversed_count == len(cells) // 2 and np.array_equal(tidy, cells[:, ::-1])


def test_feature_edges_of_a_cube():
    corners = np.array([[x, y, z] for z in (0, 1) for y in (0, 1) for x in (0, 1)], float)
    quads = np.array([[0, 2, 3, 1], [4, 5, 7, 6], [0, 1, 5, 4], [2, 6, 7, 3], [0, 4, 6, 2],
                      [1, 3, 7, 5]], dtype=np.uint32)
    tris = surfkit.split_Q4_into_T3(corners, quads).connectivity
    edges = surfkit.feature_edges(corners, tris, math.radians(45))
    # The cube's twelve edges (length 1), not the faces' diagonals; neighbours built if omitted.
    assert len(edges) == 12 and np.allclose(np.ptp(corners[edges], axis=1).sum(axis=1), 1)
    nb = surfkit.neighbours(tris).neighbours
    assert np.array_equal(surfkit.feature_edges(corners, tris, math.radians(45), neighbours=nb),
                          edges)


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
