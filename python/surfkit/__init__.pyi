# Type stubs of the surfkit package. Arrays: points (n, dim) float64, cells (m, k) uint32
# (any integer dtype accepted on input); results are new arrays.
from typing import Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

from . import storage_testing as storage_testing
from ._kinds import ElementType as ElementType

Points = npt.ArrayLike
Cells = npt.ArrayLike
IDs = npt.ArrayLike
Vector = Union[Sequence[float], npt.NDArray[np.float64]]
F64 = npt.NDArray[np.float64]
U32 = npt.NDArray[np.uint32]

NONE: int
__version__: str

class ArgumentError(ValueError):
    code: int
    parameter: str
    def __init__(self, message: str, code: int, parameter: str) -> None: ...

def version() -> str: ...
def flip(connectivity: Cells, type: Optional[int] = ...) -> U32:
    """Reversed elements; without a type, 3 columns are T3, 6 are T6, 4, 8, 9 FACE_MIX."""
    ...

# Element conversion
def convert_mixed(coordinates: Points, Q4_connectivity: Optional[Cells],
                  T3_connectivity: Optional[Cells], e: int, q: int, t: int,
                  given_edges: Optional[Cells] = ...) -> Tuple[F64, U32, U32]: ...
def convert_Q4(coordinates: Points, connectivity: Cells, e: int, q: int,
               given_edges: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
def convert_T3(coordinates: Points, connectivity: Cells, e: int, t: int,
               given_edges: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
def split_into_Q4(coordinates: Points, Q4_connectivity: Optional[Cells] = ...,
                  T3_connectivity: Optional[Cells] = ...,
                  given_edges: Optional[Cells] = ...) -> Tuple[F64, U32]: ...

# Topology
def convert_degenerated_Q4(connectivity: Cells) -> Tuple[U32, int]: ...
@overload
def split_Q4_into_T3(connectivity: Cells) -> Tuple[U32, int]: ...
@overload
def split_Q4_into_T3(coordinates: Points, connectivity: Cells) -> Tuple[U32, int]: ...
@overload
def split_Q4_into_T3(coordinates: Points, connectivity: Cells, shape_threshold: float,
                     angle_threshold: float,
                     split_criterion: int) -> Tuple[U32, U32, U32, int]: ...
def mesh_reorient(connectivity: Cells, neighbours: Cells, start_element: int = ...,
                  all_components: int = ...) -> Tuple[U32, U32, int]: ...

# Extrusion: count forms (n layers) and sizing forms (h0, h1, force_even)
@overload
def extrude_translate_Q4(coordinates: Points, line: Cells, d: Vector, n: int,
                         surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_translate_Q4(coordinates: Points, line: Cells, d: Vector, h0: float, h1: float,
                         force_even: bool, surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_translate_T3(coordinates: Points, line: Cells, d: Vector, n: int, pattern: int,
                         surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_translate_T3(coordinates: Points, line: Cells, d: Vector, h0: float, h1: float,
                         pattern: int, force_even: bool,
                         surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_Q4(coordinates: Points, line: Cells, c: Vector, a: float, n: int,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_Q4(coordinates: Points, line: Cells, c: Vector, a: float, h0: float,
                      h1: float, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_Q4(coordinates: Points, line: Cells, p: Vector, v: Vector, n: int,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_Q4(coordinates: Points, line: Cells, p: Vector, v: Vector, h0: float,
                      h1: float, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_T3(coordinates: Points, line: Cells, c: Vector, a: float, n: int,
                      pattern: int, surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_T3(coordinates: Points, line: Cells, c: Vector, a: float, h0: float,
                      h1: float, pattern: int, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_T3(coordinates: Points, line: Cells, p: Vector, v: Vector, n: int,
                      pattern: int, surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_rotate_T3(coordinates: Points, line: Cells, p: Vector, v: Vector, h0: float,
                      h1: float, pattern: int, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_spiral_Q4(coordinates: Points, line: Cells, p: Vector, v: Vector, t: Vector,
                      n: int, surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_spiral_Q4(coordinates: Points, line: Cells, p: Vector, v: Vector, t: Vector,
                      h0: float, h1: float, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_spiral_T3(coordinates: Points, line: Cells, p: Vector, v: Vector, t: Vector,
                      n: int, pattern: int,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
@overload
def extrude_spiral_T3(coordinates: Points, line: Cells, p: Vector, v: Vector, t: Vector,
                      h0: float, h1: float, pattern: int, force_even: bool,
                      surface: Optional[Cells] = ...) -> Tuple[F64, U32]: ...

# Structured meshes and metrics
def mesh_struct_Q4(coords: Points, boundary: IDs, n: int,
                   connectivity: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
def mesh_struct_T3(coords: Points, boundary: IDs, n: int, pattern: int,
                   connectivity: Optional[Cells] = ...) -> Tuple[F64, U32]: ...
def metrics_struct(boundary: IDs, n: int, metrics: npt.ArrayLike) -> F64: ...

# Interpolation
def interpolate(coordinates: Points, connectivity: Cells, neighbours: Cells, home: IDs,
                field: npt.ArrayLike, targets: IDs) -> F64: ...
def interpolate_metrics(coordinates: Points, connectivity: Cells, neighbours: Cells,
                        home: IDs, metrics: npt.ArrayLike, targets: Optional[IDs] = ...,
                        keep_valid: bool = ...) -> F64: ...

# Geometry and curvature
def area(coordinates: Points, connectivity: Cells) -> float: ...
def angles(coordinates: Points, connectivity: Cells, normalised: bool = ...) -> Tuple[F64, F64]: ...
def normals(coordinates: Points, connectivity: Cells, exponent: float = ...,
            unit: bool = ...) -> F64: ...
def principal_curvatures(coordinates: Points, connectivity: Cells, neighbours: Optional[Cells] = ...,
                         radius: float = ..., max_angle: float = ..., max_elements: int = ...,
                         feature_edges: Optional[Cells] = ...) -> F64: ...
def fitted_curvatures(coordinates: Points, connectivity: Cells,
                      neighbours: Optional[Cells] = ..., rings: int = ...) -> Tuple[F64, int]: ...
def parametric_curvatures(parameters: Points, connectivity: Cells, tangents: Points) -> F64: ...
def metrics_gen_aniso3d(coordinates: Points, connectivity: Cells, normal_size: float,
                        metrics: Optional[Points] = ...) -> F64: ...

# Mesh plumbing (orvo::basekit)
def neighbours(connectivity: Cells, node_count: Optional[int] = ...) -> Tuple[U32, int]: ...
def home_elements(connectivity: Cells, node_count: Optional[int] = ...) -> U32: ...
def boundary_loops(connectivity: Cells,
                   neighbours: Optional[Cells] = ...) -> Tuple[U32, U32, int]: ...
def feature_edges(coordinates: Points, connectivity: Cells, neighbours: Cells,
                  angle: float) -> Tuple[U32, int]: ...
