"""A node field's values at query points of a plane triangle mesh, in pieces.

`prepare` computes once what every piece of points needs from the background mesh, and
`probe_prepared` answers one piece with it: a compiled BackgroundLocator, built once and
asked for every piece, which gives the values of the one-call ``surfkit.probe`` (both
are interpolate with the points appended as targets) without rebuilding the point
locator for each piece. A compiled module without it falls back to ``surfkit.probe``.
"""


def prepare(coordinates, connectivity):
    """What every piece needs: a BackgroundLocator, or None for the one-call probe."""
    from . import _surfkit

    if hasattr(_surfkit, "build_locator"):
        return _surfkit.build_locator(coordinates, connectivity)
    return None


def probe_prepared(prepared, coordinates, connectivity, field, points):
    """(k,) or (k, c) values of `field` ((n,) or (n, c)) at `points` (k, 2)."""
    if prepared is not None:
        return prepared.probe(field, points)
    import surfkit

    return surfkit.probe(coordinates, connectivity, field, points)
