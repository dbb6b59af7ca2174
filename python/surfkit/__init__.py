"""surfkit: tools for plane and surface meshes of linear and quadratic triangles and
quadrangles, over NumPy arrays.

Layout: coordinates are (n, 2) or (n, 3) float64 arrays, connectivities (m, k) integer
arrays of node IDs, one row per element (uint32 inside; other integer dtypes are converted
once when every value fits). Per-node results are (n, c) arrays, per-element results (m,)
or (m, c). ``NONE`` (0xFFFFFFFF) is "no ID". Every function returns new arrays and leaves
its inputs unchanged; results with several parts are named tuples (``mesh.coordinates``,
``curvatures.k1``).

Every function keeps its C++ name, and its required parameters come in the C++ order;
inputs the package can derive (``neighbours``, ``home``, ``node_count``), flags and
options are keyword-only with defaults. Element kinds are taken as :class:`ElementType`,
its name (``"T6"``) or meshio's cell type (``"triangle6"``); patterns and criteria by
name (``pattern="alternate"``, ``criterion="shape"``).

Errors: a rejected argument raises :class:`ArgumentError` (a ``ValueError``) naming the
parameter and the reason (``.parameter``; ``.code`` is the C++ code when the library
rejected it), a value of the wrong Python type ``TypeError``; refused storage raises
``MemoryError``.

``from_meshio`` and ``to_meshio`` convert meshio meshes; ``probe`` gives a field's values
at arbitrary points. The calls release the GIL, so threads run them in parallel.
"""

from . import _surfkit
from ._api import (angles, area, boundary_loops, convert_degenerated_Q4, convert_mixed,
                   convert_Q4, convert_T3, curve_quadratic, extrude_rotate_Q4,
                   extrude_rotate_T3, extrude_spiral_Q4, extrude_spiral_T3,
                   extrude_translate_Q4, extrude_translate_T3, feature_edges,
                   fitted_curvatures, flip, home_elements, interpolate, interpolate_metrics,
                   mesh_reorient, mesh_struct_Q4, mesh_struct_T3, metrics_gen_aniso3d,
                   metrics_struct, neighbours, normals, parametric_curvatures, permute,
                   principal_curvatures, probe, renumber, split_into_Q4, split_Q4_into_T3,
                   version)
from ._errors import ArgumentError
from ._kinds import NONE, ElementType, Pattern, SplitCriterion, element_type
from ._meshio import from_meshio, to_meshio
from ._surfkit import BackgroundLocator, build_locator
from ._results import (Angles, BoundaryLoops, Curvatures, CurvedMesh, DegeneratedQ4,
                       FittedCurvatures, Mesh, MeshioMesh, MixedMesh, Neighbours, QuadSplit,
                       Renumbered, Reoriented)

storage_testing = _surfkit.storage_testing

__version__ = version()

__all__ = [
    "ArgumentError", "BackgroundLocator", "ElementType", "NONE", "Pattern", "SplitCriterion",
    "element_type",
    "Angles", "BoundaryLoops", "Curvatures", "CurvedMesh", "DegeneratedQ4", "FittedCurvatures",
    "Mesh", "MeshioMesh", "MixedMesh", "Neighbours", "QuadSplit", "Renumbered", "Reoriented",
    "angles", "area", "boundary_loops", "build_locator", "convert_degenerated_Q4",
    "convert_mixed", "convert_Q4", "convert_T3", "curve_quadratic", "extrude_rotate_Q4",
    "extrude_rotate_T3", "extrude_spiral_Q4", "extrude_spiral_T3", "extrude_translate_Q4",
    "extrude_translate_T3", "feature_edges", "fitted_curvatures", "flip", "from_meshio",
    "home_elements", "interpolate", "interpolate_metrics", "mesh_reorient", "mesh_struct_Q4",
    "mesh_struct_T3", "metrics_gen_aniso3d", "metrics_struct", "neighbours", "normals",
    "parametric_curvatures", "permute", "principal_curvatures", "probe", "renumber",
    "split_into_Q4", "split_Q4_into_T3", "to_meshio", "version",
]
