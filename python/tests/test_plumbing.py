"""The plumbing helpers against brute force and the shapes they are made for."""

import math

import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere, triangle_neighbours

NONE = surfkit.NONE
# Three triangles on one edge: that edge is non-manifold, so no one's neighbour there.
FAN = np.array([[0, 1, 2], [1, 0, 3], [0, 1, 4]], dtype=np.uint32)


@pytest.mark.parametrize("cells, non_manifold", [(icosphere(3)[1], 0), (grid(7, 4)[1], 0),
                                                 (FAN, 1)], ids=["sphere", "grid", "fan"])


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
    again = surfkit.mesh_reorient(messy, neighbours=surfkit.neighbours(messy).neighbours)
    assert np.array_equal(again.connectivity, tidy) and again.reversed == reversed_count
    # Element 0 was reversed, and its orientation wins: every odd element turns over.
    assert reversed_count == len(cells) // 2
    assert np.array_equal(tidy, cells[:, ::-1])


def test_home_elements_and_targets():
    points, cells = grid(2, 2)
    home = surfkit.home_elements(cells, node_count=len(points) + 3)
    assert home.shape == (len(points) + 3,)
    assert np.all(home[len(points):] == NONE)
    for node, element in enumerate(home[:len(points)]):
        assert node in cells[element]
        assert not np.any(cells[:element] == node)


def test_boundary_loops_of_an_annulus():
    # A ring of quadrangles: the outer loop counter-clockwise, the inner clockwise.
    n = 12
    angle = np.linspace(0, 2 * np.pi, n, endpoint=False)
    circle = np.column_stack([np.cos(angle), np.sin(angle)])
    points = np.concatenate([circle, 2 * circle])
    i = np.arange(n)
    quads = np.column_stack([i, n + i, n + (i + 1) % n, (i + 1) % n]).astype(np.uint32)
    nodes, starts = surfkit.boundary_loops(quads)
    assert len(starts) - 1 == 2
    for k in range(2):
        loop = nodes[starts[k]:starts[k + 1]]
        assert loop[0] == loop[-1] == loop.min()
        ring = points[loop[:-1]]
        signed = 0.5 * np.sum(ring[:, 0] * np.roll(ring[:, 1], -1)
                              - np.roll(ring[:, 0], -1) * ring[:, 1])
        assert (signed > 0) == (loop[0] >= n)  # outer (nodes n..2n-1) counter-clockwise


def test_feature_edges_of_a_cube():
    corners = np.array([[x, y, z] for z in (0, 1) for y in (0, 1) for x in (0, 1)], float)
    quads = np.array([[0, 2, 3, 1], [4, 5, 7, 6], [0, 1, 5, 4], [2, 6, 7, 3], [0, 4, 6, 2],
                      [1, 3, 7, 5]], dtype=np.uint32)
    tris = surfkit.split_Q4_into_T3(corners, quads).connectivity
    edges = surfkit.feature_edges(corners, tris, math.radians(45))
    assert edges.shape == (12, 2)
    nb = surfkit.neighbours(tris).neighbours
    assert np.array_equal(surfkit.feature_edges(corners, tris, math.radians(45), neighbours=nb),
                          edges)
    lengths = np.linalg.norm(corners[edges[:, 0]] - corners[edges[:, 1]], axis=1)
    assert np.allclose(lengths, 1.0)
