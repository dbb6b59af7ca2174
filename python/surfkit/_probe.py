"""A node field's values at query points of a plane triangle mesh, in pieces.

`prepare` computes once what every piece of points needs from the background mesh, and
`probe_prepared` answers one piece with it: a compiled BackgroundLocator, built once and
asked for every piece. Without one (an older compiled module), the one-call
``surfkit.probe`` where the package has it, else `interpolate` with the points appended
to the background's nodes as targets: the same values (barycentric in the triangle
holding a point, the nearest node's values outside), each piece paying again for what the
locator keeps.
"""

import numpy as np

from ._kinds import NONE


def prepare(coordinates, connectivity):
    """What every piece needs: a BackgroundLocator; else None for the one-call probe, else
    (neighbours, home) for interpolate."""
    import surfkit
    from . import _surfkit

    if hasattr(_surfkit, "build_locator"):
        return _surfkit.build_locator(coordinates, connectivity)
    if hasattr(surfkit, "probe"):
        return None
    neighbours = surfkit.neighbours(connectivity, len(coordinates))[0]
    home = surfkit.home_elements(connectivity, len(coordinates))
    return neighbours, home


def probe_prepared(prepared, coordinates, connectivity, field, points):
    """(k,) or (k, c) values of `field` ((n,) or (n, c)) at `points` (k, 2)."""
    import surfkit

    if hasattr(prepared, "probe"):
        return prepared.probe(field, points)
    if prepared is None:
        return surfkit.probe(coordinates, connectivity, field, points)
    neighbours, home = prepared
    n, k = len(coordinates), len(points)
    if k == 0:
        return np.zeros((0,) + field.shape[1:])
    xy = np.concatenate([coordinates, points])
    homes = np.concatenate([home, np.full(k, NONE, dtype=np.uint32)])
    values = np.concatenate([field, np.zeros((k,) + field.shape[1:])])
    targets = np.arange(n, n + k, dtype=np.uint32)
    return surfkit.interpolate(xy, connectivity, neighbours, homes, values, targets)[n:]
