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
    # Element 0 was reversed, and its orientation wins: every odd element turns over.
    # (With neighbours given: the oracle's reorientation.)
    assert reversed_count == len(cells) // 2 and np.array_equal(tidy, cells[:, ::-1])


def test_home_elements_and_targets():
    points, cells = grid(2, 2)
    home = surfkit.home_elements(cells, node_count=len(points) + 3)
    assert home[len(points):].tolist() == [NONE] * 3
    for node, element in enumerate(home[:len(points)]):
        assert node in cells[element]
        assert not np.any(cells[:element] == node)


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
