"""BackgroundLocator: the one-call probe's values (interpolate with the points appended
as targets), from one locator over many calls; rejected arguments named."""

import numpy as np
import pytest

import surfkit
from meshes import grid


@pytest.mark.parametrize("components", [None, 1, 3])
def test_a_locator_gives_the_one_call_probes_values(components):
    rng = np.random.default_rng(components or 0)
    points, cells = grid(25, 15)
    points = points + rng.uniform(-0.01, 0.01, points.shape)
    shape = (len(points),) if components is None else (len(points), components)
    field = rng.normal(size=shape)
    locator = surfkit.build_locator(points, cells)
    assert locator.node_count == len(points)
    for count in (1, 500, 3000):  # one locator, several query sets
        queries = rng.uniform(-0.3, 1.3, (count, 2))
        got = locator.probe(field, queries)
        assert got.shape == (count,) + shape[1:]
        assert np.array_equal(got, surfkit.probe(points, cells, field, queries))


@pytest.mark.parametrize("call, named", [
    (lambda p, c, f, q: surfkit.build_locator(p, c[:, :2]), "connectivity"),
    (lambda p, c, f, q: surfkit.build_locator(np.hstack([p, p]), c), "coordinates"),
    (lambda p, c, f, q: surfkit.build_locator(p, c, neighbours=c[:3]), "neighbours"),
    (lambda p, c, f, q: surfkit.build_locator(p, c).probe(f[:-1], q), "field"),
    (lambda p, c, f, q: surfkit.build_locator(p, c).probe(f, q[:, :1]), "points"),
    (lambda p, c, f, q: surfkit.build_locator(p, c).probe(f, np.full((2, 2), np.nan)),
     "points"),
])
def test_rejected_arguments_are_named(call, named):
    points, cells = grid(3, 3)
    with pytest.raises(surfkit.ArgumentError, match=named):
        call(points, cells, np.ones(len(points)), np.zeros((4, 2)))
