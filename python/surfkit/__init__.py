"""surfkit: tools for plane and surface meshes of linear and quadratic triangles and
quadrangles, over NumPy arrays.

Layout: points are (n, 2) or (n, 3) float64 arrays, cells (m, k) integer arrays of node IDs
(uint32 inside; other integer dtypes are converted once when every value fits). Per-node
results are (n, c) arrays, per-element results (m,) or (m, c). ``NONE`` (0xFFFFFFFF) is
"no ID". Every function returns new arrays and leaves its inputs unchanged; several
outputs come as a tuple in the C++ argument order, followed by the count where the C++
call returns one.

Errors: a rejected argument raises :class:`ArgumentError` (a ``ValueError``) naming the
parameter, with the C++ code in ``.code``; refused storage raises ``MemoryError``.

The calls release the GIL, so threads run them in parallel.
"""

from ._errors import ArgumentError
from ._kinds import NONE, ElementType
from ._surfkit import (  # noqa: F401
    BackgroundLocator,
    angles,
    area,
    boundary_loops,
    build_locator,
    convert_degenerated_Q4,
    convert_mixed,
    convert_Q4,
    convert_T3,
    extrude_rotate_Q4,
    extrude_rotate_T3,
    extrude_spiral_Q4,
    extrude_spiral_T3,
    extrude_translate_Q4,
    extrude_translate_T3,
    feature_edges,
    fitted_curvatures,
    flip,
    home_elements,
    interpolate,
    interpolate_metrics,
    mesh_reorient,
    mesh_struct_Q4,
    mesh_struct_T3,
    metrics_gen_aniso3d,
    metrics_struct,
    neighbours,
    normals,
    parametric_curvatures,
    principal_curvatures,
    split_into_Q4,
    split_Q4_into_T3,
    storage_testing,
    version,
)

__version__ = version()
