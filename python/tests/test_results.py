"""One smoke check per binding the C++ oracle (test_oracle.py) does not run: the library's
result comes back (the values themselves are the C++ suite's), and the package's own parts;
the plumbing helpers against brute force and the shapes they are made for."""

import math

import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere, torus, triangle_neighbours

NONE = surfkit.NONE


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
    # Neighbours and home given here; probe (test_meshio.py) has the package build them.
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
    points = points[nodes]
    cells = np.argsort(nodes).astype(np.uint32)[cells[elements]]
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
    assert count == non_manifold
    assert np.array_equal(nb, triangle_neighbours(cells))
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
