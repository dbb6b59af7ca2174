"""Results against independent computations: exact areas, linear fields, analytic
surfaces, counts that follow from the construction."""

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
    # Reversing the vertices alone would leave the mid-edge nodes facing other vertices.
    cells = np.arange(len(flipped), dtype=np.uint32)[None, :]
    assert surfkit.flip(cells, surfkit.ElementType[kind]).tolist() == [flipped]
    assert surfkit.flip(cells).tolist() == [flipped]
    # A FACE_MIX array keeps a triangle (NONE in its fourth or seventh column) whole.
    if len(flipped) in (4, 8, 9):
        tri = [0, 1, 2] + ([3, 4, 5] if len(flipped) > 4 else []) + [NONE] * 3
        mixed = surfkit.flip(np.array([cells[0], tri[:len(flipped)]], dtype=np.uint32))
        assert mixed[0].tolist() == flipped
        assert mixed[1].tolist()[:3] == [2, 1, 0]
        if len(flipped) > 4:
            assert mixed[1].tolist()[3:6] == [5, 4, 3]


def test_areas_are_exact_on_a_grid_and_converge_on_a_sphere():
    points, cells = grid(7, 5)
    assert surfkit.area(points, cells) == pytest.approx(1.0, abs=1e-14)
    # Clockwise elements count negative in the plane.
    assert surfkit.area(points, cells[:, ::-1]) == pytest.approx(-1.0, abs=1e-14)
    errors = [abs(surfkit.area(*icosphere(k)) - 4 * math.pi) for k in (2, 3, 4)]
    assert errors[0] > 3.5 * errors[1] > 3.5 ** 2 * errors[2]  # second order


def test_angles_of_a_right_triangle_grid():
    points, cells = grid(3, 3)
    smallest, largest = surfkit.angles(points, cells)
    assert np.allclose(smallest, math.pi / 4) and np.allclose(largest, math.pi / 2)
    smallest, largest = surfkit.angles(points, cells, normalised=True)
    assert np.allclose(largest, 1.5)  # a right angle in a triangle reads 3/pi * pi/2


@pytest.fixture(scope="module")
def fine_torus():
    points, quads = torus(96, 48)
    return points, surfkit.split_Q4_into_T3(points, quads).connectivity


def test_torus_normals_and_curvatures(fine_torus):
    points, triangles = fine_torus
    normals = surfkit.normals(points, triangles)
    # The outward normal of the torus at angle u, v: (cos v cos u, cos v sin u, sin v).
    ring = points.copy()
    ring[:, 2] = 0
    ring *= 3.0 / np.linalg.norm(ring, axis=1)[:, None]
    exact = (points - ring) / np.linalg.norm(points - ring, axis=1)[:, None]
    assert np.max(np.linalg.norm(normals - exact, axis=1)) < 2e-3
    curv = surfkit.principal_curvatures(points, triangles, radius=0.25)
    outer = np.argmax(points[:, 0])  # (4, 0, 0): curvatures -1 across, -1/4 along the ring
    assert curv.k2[outer] == pytest.approx(-1.0, rel=0.15)
    # k2's direction runs across the tube (along z there), k1's along the ring.
    assert abs(curv.dir_k2[outer, 2]) == pytest.approx(1.0, abs=0.05)
    assert abs(curv.dir_k1[outer, 1]) == pytest.approx(1.0, abs=0.05)
    assert np.all(curv.k1 >= curv.k2)
    assert np.allclose(curv.mean, (curv.k1 + curv.k2) / 2)
    assert np.allclose(curv.gaussian, curv.k1 * curv.k2)


def test_interpolation_reproduces_a_linear_field():
    points, cells = grid(6, 6)
    targets = np.random.default_rng(0).uniform(0.01, 0.99, (50, 2))
    xy = np.concatenate([points, targets])
    field = np.zeros((len(xy), 2))
    field[:len(points)] = np.column_stack([2 * points[:, 0] - points[:, 1] + 0.5,
                                           points[:, 1]])
    home = np.full(len(xy), NONE, dtype=np.uint32)
    for corner in range(3):
        home[cells[:, corner]] = np.arange(len(cells))
    ids = np.arange(len(points), len(xy))
    out = surfkit.interpolate(xy, cells, field, ids, neighbours=triangle_neighbours(cells),
                              home=home)
    # Without neighbours and home, the package builds them: the same values.
    assert np.allclose(surfkit.interpolate(xy, cells, field, ids), out, atol=1e-12)
    expected = np.column_stack([2 * targets[:, 0] - targets[:, 1] + 0.5, targets[:, 1]])
    assert np.allclose(out[len(points):], expected, atol=1e-12)
    assert np.array_equal(out[:len(points)], field[:len(points)])
    sizes = surfkit.interpolate_metrics(xy, cells,
                                        np.where(np.arange(len(xy)) < len(points), 0.1, 0.0))
    assert np.allclose(sizes[len(points):], 0.1)


def test_structured_grid_in_a_square_rebuilds_the_grid():
    points, cells = grid(4, 3, triangles=False)
    boundary = np.array([0, 1, 2, 3, 4, 9, 14, 19, 18, 17, 16, 15, 10, 5, 0], dtype=np.uint32)
    nodes, starts = surfkit.boundary_loops(cells)
    assert np.array_equal(nodes, boundary) and len(starts) == 2  # one loop, from a corner
    xy, quads = surfkit.mesh_struct_Q4(points, boundary, 3)
    assert len(xy) == len(points) + 6 and surfkit.area(xy, quads) == pytest.approx(1.0)
    # The boundary's nodes alone, renumbered.
    corners = points[np.unique(boundary)]
    loop = np.searchsorted(np.unique(boundary), boundary).astype(np.uint32)
    xy, quads = surfkit.mesh_struct_Q4(corners, loop, 3)
    assert len(quads) == 12 and len(xy) == len(corners) + 3 * 2
    assert surfkit.area(xy, quads) == pytest.approx(1.0)
    sizes = surfkit.metrics_struct(loop, 3, np.full(len(corners), 0.25))
    assert np.allclose(sizes, 0.25) and len(sizes) == len(xy)


def test_extrusion_counts_and_band_area():
    line = np.array([[0, 1], [1, 2]], dtype=np.uint32)
    points = np.array([[0.0, 0.0], [1.0, 0.0], [3.0, 0.0]])
    xy, band = surfkit.extrude_translate_T3(points, line, [0, 2], 4, pattern="alternate")
    assert len(band) == 2 * 4 * 2 and len(xy) == 3 + 4 * 3
    assert surfkit.area(xy, band) == pytest.approx(6.0)  # the line runs +x, the band +y: ccw
    xyz, ring = surfkit.extrude_rotate_Q4(points[:2], line[:1], [0, 0], 2 * math.pi, 64)
    assert surfkit.area(xyz, ring) == pytest.approx(math.pi, rel=2e-3)


def test_conversion_and_splitting_keep_the_area():
    points, quads = grid(3, 2, triangles=False)
    _, tris = grid(3, 2)
    mixed_points, q4 = surfkit.split_into_Q4(points, quads[:3], tris[3:6])
    assert surfkit.area(mixed_points, q4) == pytest.approx(0.5 + 0.25)
    p9, q9 = surfkit.convert_Q4(points, quads, nodes_per_quad=1)
    assert q9.shape == (6, 9)
    assert np.allclose(p9[q9[:, 8]], points[quads].mean(axis=1))
    out, kept, split = surfkit.split_Q4_into_T3(points, quads, shape_threshold=0.9,
                                                angle_threshold=0.9, criterion="shape")
    assert len(kept) == 6 and len(split) == 0
    assert np.array_equal(out, quads)
    degenerate = np.array([[0, 0, 1, 5], [0, 1, 5, 4]], dtype=np.uint32)
    fixed, changed = surfkit.convert_degenerated_Q4(degenerate)
    assert changed == 1 and fixed[0].tolist() == [0, 1, 5, NONE]


def test_fitted_curvatures_of_a_sphere_and_a_torus(fine_torus):
    points, cells = icosphere(4, radius=2.0)
    k = surfkit.fitted_curvatures(points, cells)
    assert k.unfitted == 0
    # A sphere of radius 2: both curvatures -1/2 (convex outward is negative).
    assert np.median(np.abs(np.column_stack([k.k1, k.k2]) + 0.5)) < 0.01 * 0.5
    points, triangles = fine_torus
    k = surfkit.fitted_curvatures(points, triangles, rings=2)
    outer = np.argmax(points[:, 0])  # (4, 0, 0): -1 across the tube, -1/4 along the ring
    assert k.k2[outer] == pytest.approx(-1.0, rel=0.02)
    assert k.k1[outer] == pytest.approx(-0.25, rel=0.02)
    # The direction of most bending runs across the tube (along z there).
    assert abs(k.dir_k2[outer, 2]) == pytest.approx(1.0, abs=0.02)
    assert abs(k.dir_k1[outer, 1]) == pytest.approx(1.0, abs=0.02)


def _sphere_gap(points, first_new):
    """Largest distance of the added nodes from the unit sphere."""
    return np.abs(np.linalg.norm(points[first_new:], axis=1) - 1).max()


def test_curved_conversion_puts_added_nodes_on_the_sphere():
    points, cells = icosphere(3)
    straight = surfkit.convert_T3(points, cells)
    curved = surfkit.convert_T3(points, cells, curved=True)
    assert type(curved) is type(straight)
    assert np.array_equal(curved.connectivity, straight.connectivity)
    assert np.array_equal(curved.coordinates[:len(points)], points)  # vertices stay
    n = len(points)
    assert _sphere_gap(curved.coordinates, n) < _sphere_gap(straight.coordinates, n) / 50
    # The conversion's keyword and the export on the straight mesh agree.
    again = surfkit.curve_quadratic(*straight)
    assert again.straightened == 0
    assert np.array_equal(again.coordinates, curved.coordinates)
    mixed = surfkit.convert_mixed(points, None, cells, curved=True)
    assert np.array_equal(mixed.coordinates, curved.coordinates)


def test_curved_conversion_of_a_mixed_sphere():
    # A cube's faces split into quadrangles, pushed onto the sphere, with one face's
    # quadrangles cut into triangles.
    points, quads = grid(4, 4, triangles=False)
    faces, xyz = [], []
    for axis in range(3):
        for sign in (-1.0, 1.0):
            p = np.zeros((len(points), 3))
            p[:, (axis + 1) % 3] = 2 * points[:, 0] - 1
            p[:, (axis + 2) % 3] = 2 * points[:, 1] - 1
            p[:, axis] = sign
            q = quads if sign > 0 else quads[:, ::-1]
            faces.append(q + sum(len(x) for x in xyz))
            xyz.append(p)
    xyz = np.concatenate(xyz)
    xyz /= np.linalg.norm(xyz, axis=1)[:, None]
    # Merge the nodes the faces share along the cube's edges.
    _, first, inverse = np.unique(np.round(xyz, 12), axis=0, return_index=True,
                                  return_inverse=True)
    xyz, quads = xyz[first], inverse.ravel()[np.concatenate(faces)].astype(np.uint32)
    triangles, quads = np.concatenate([quads[:8][:, [0, 1, 2]], quads[:8][:, [0, 2, 3]]]), quads[8:]
    for q in (0, 1):
        straight = surfkit.convert_mixed(xyz, quads, triangles, 1, q, 0)
        curved = surfkit.convert_mixed(xyz, quads, triangles, 1, q, 0, curved=True)
        gaps = [_sphere_gap(r.coordinates, len(xyz)) for r in (curved, straight)]
        assert gaps[0] < gaps[1] / 4, (q, gaps)
        assert np.array_equal(curved.coordinates[:len(xyz)], xyz)


def test_renumber_and_permute_map_results_between_numberings():
    # A torus numbered at random: results computed on its renumbered copy come back through
    # permute as the original's (element-wise to rounding), and the round trip is exact.
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
    expect = surfkit.neighbours(cells).neighbours
    assert np.array_equal(surfkit.permute(moved, new.element_order, id_order=new.element_order,
                                          inverse=True), expect)
    normals = surfkit.permute(surfkit.normals(new.coordinates, new.connectivity),
                              new.node_order, inverse=True)
    assert np.allclose(normals, surfkit.normals(points, cells), rtol=0, atol=1e-12)
    # A 1-D field and a loop of node IDs (no order for the loop's places).
    x = points[:, 0].copy()
    assert np.array_equal(surfkit.permute(surfkit.permute(x, new.node_order), new.node_order,
                                          inverse=True), x)
    loop = np.array([3, 1, 4, surfkit.NONE], np.uint32)
    there = surfkit.permute(loop, id_order=new.node_order)
    assert there[3] == surfkit.NONE
    assert np.array_equal(new.node_order[there[:3]], loop[:3])
