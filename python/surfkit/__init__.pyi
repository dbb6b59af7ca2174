# Type stubs of the surfkit package. Arrays: coordinates (n, dim) float64, connectivities
# (m, k) uint32 (any integer dtype accepted on input); results are new arrays. Several
# results come as named tuples, every field listed here.
import enum
from typing import Any, Dict, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import storage_testing as storage_testing

Points = npt.ArrayLike
Cells = npt.ArrayLike
IDs = npt.ArrayLike
Vector = Union[Sequence[float], npt.NDArray[np.floating]]
Real = Union[float, int, np.floating, np.integer]
Count = Union[int, np.integer]
F64 = npt.NDArray[np.float64]
U32 = npt.NDArray[np.uint32]

NONE: int
__version__: str

class ArgumentError(ValueError):
    code: Optional[int]
    parameter: Optional[str]
    def __init__(self, message: str, code: Optional[int] = ...,
                 parameter: Optional[str] = ...) -> None: ...

class ElementType(enum.IntEnum):
    NO_ELEMENT = 0
    NODE = 1
    EDGE_MIX = 2
    EDGE2 = 3
    EDGE3 = 4
    FACE_MIX = 5
    T3 = 6
    Q4 = 7
    T6 = 8
    Q8 = 9
    Q9 = 10
    SOLID_MIX = 11
    TETRA4 = 12
    TETRA10 = 13
    PYRAMID5 = 14
    PYRAMID13 = 15
    PYRAMID14 = 16
    PRISM6 = 17
    PRISM15 = 18
    PRISM18 = 19
    HEXA8 = 20
    HEXA20 = 21
    HEXA27 = 22
    @property
    def meshio_name(self) -> Optional[str]: ...

class Pattern(enum.IntEnum):
    C1_C3 = 0
    C0_C2 = 1
    ALTERNATE = 2

class SplitCriterion(enum.IntEnum):
    SHAPE = 1
    ANGLE = 2
    LARGER_AREA = 3
    AREA_SUM = 4
    NORMAL_ANGLE = 5
    NORMAL_ANGLE_LENGTH = 6

# An element kind: ElementType, its name ("T6") or meshio's cell type ("triangle6").
Kind = Union[ElementType, str, int]
PatternName = Union[Pattern, str, int]
CriterionName = Union[SplitCriterion, str, int]

def element_type(value: Kind, parameter: str = ..., function: str = ...) -> ElementType: ...

# ---- Named results ----------------------------------------------------------------------

class Mesh(NamedTuple):
    coordinates: F64
    connectivity: U32

class MixedMesh(NamedTuple):
    coordinates: F64
    Q4_connectivity: U32
    T3_connectivity: U32

class CurvedMesh(NamedTuple):
    coordinates: F64
    straightened: int

class Renumbered(NamedTuple):
    coordinates: F64
    connectivity: U32
    node_order: U32
    element_order: U32

class DegeneratedQ4(NamedTuple):
    connectivity: U32
    changed: int

class QuadSplit(NamedTuple):
    connectivity: U32
    kept: U32
    split: U32

class Reoriented(NamedTuple):
    connectivity: U32
    neighbours: U32
    reversed: int

class Angles(NamedTuple):
    smallest: F64
    largest: F64

class Curvatures(NamedTuple):
    k1: F64
    k2: F64
    dir_k1: F64
    dir_k2: F64
    mean: F64
    gaussian: F64

class FittedCurvatures(NamedTuple):
    k1: F64
    k2: F64
    dir_k1: F64
    dir_k2: F64
    mean: F64
    gaussian: F64
    unfitted: int

class Neighbours(NamedTuple):
    neighbours: U32
    non_manifold: int

class BoundaryLoops(NamedTuple):
    nodes: U32
    starts: U32

class MeshioMesh(NamedTuple):
    coordinates: F64
    connectivity: U32
    kind: ElementType
    point_data: Dict[str, np.ndarray]
    cell_data: Dict[str, np.ndarray]
    edge_nodes: U32
    ignored: Dict[str, int]

# ---- Functions --------------------------------------------------------------------------

def version() -> str: ...
def flip(connectivity: Cells, kind: Optional[Kind] = ...) -> U32: ...

# Element conversion
def convert_mixed(coordinates: Points, Q4_connectivity: Optional[Cells],
                  T3_connectivity: Optional[Cells], nodes_per_edge: Count = ...,
                  nodes_per_quad: Count = ..., nodes_per_triangle: Count = ..., *,
                  given_edges: Optional[Cells] = ..., curved: bool = ...,
                  feature_angle: Real = ...) -> MixedMesh: ...
def convert_Q4(coordinates: Points, connectivity: Cells, nodes_per_edge: Count = ...,
               nodes_per_quad: Count = ..., *, given_edges: Optional[Cells] = ...,
               curved: bool = ..., feature_angle: Real = ...) -> Mesh: ...
def convert_T3(coordinates: Points, connectivity: Cells, nodes_per_edge: Count = ...,
               nodes_per_triangle: Count = ..., *,
               given_edges: Optional[Cells] = ..., curved: bool = ...,
               feature_angle: Real = ...) -> Mesh: ...
def curve_quadratic(coordinates: Points, connectivity: Cells, *,
                    feature_angle: Real = ...) -> CurvedMesh: ...
def split_into_Q4(coordinates: Points, Q4_connectivity: Optional[Cells] = ...,
                  T3_connectivity: Optional[Cells] = ..., *,
                  given_edges: Optional[Cells] = ...) -> Mesh: ...

# Topology
def convert_degenerated_Q4(connectivity: Cells) -> DegeneratedQ4: ...
def split_Q4_into_T3(coordinates: Optional[Points], connectivity: Cells, *,
                     shape_threshold: Optional[Real] = ..., angle_threshold: Optional[Real] = ...,
                     criterion: Optional[CriterionName] = ...) -> QuadSplit: ...
def mesh_reorient(connectivity: Cells, *, neighbours: Optional[Cells] = ...,
                  start_element: Count = ..., all_components: bool = ...) -> Reoriented: ...

# Extrusion: `layers` (a count) or sizes=(h0, h1) [with force_even]; a centre of 2 values
# rotates in the plane, of 3 values in space about `axis`.
def extrude_translate_Q4(coordinates: Points, edge_nodes: Cells, translation: Vector,
                         layers: Optional[Count] = ..., *,
                         sizes: Optional[Tuple[Real, Real]] = ..., force_even: bool = ...,
                         face_nodes: Optional[Cells] = ...) -> Mesh: ...
def extrude_translate_T3(coordinates: Points, edge_nodes: Cells, translation: Vector,
                         layers: Optional[Count] = ..., *,
                         sizes: Optional[Tuple[Real, Real]] = ..., force_even: bool = ...,
                         face_nodes: Optional[Cells] = ...,
                         pattern: PatternName = ...) -> Mesh: ...
def extrude_rotate_Q4(coordinates: Points, edge_nodes: Cells, centre: Vector, angle: Real,
                      layers: Optional[Count] = ..., *, axis: Optional[Vector] = ...,
                      sizes: Optional[Tuple[Real, Real]] = ..., force_even: bool = ...,
                      face_nodes: Optional[Cells] = ...) -> Mesh: ...
def extrude_rotate_T3(coordinates: Points, edge_nodes: Cells, centre: Vector, angle: Real,
                      layers: Optional[Count] = ..., *, axis: Optional[Vector] = ...,
                      sizes: Optional[Tuple[Real, Real]] = ..., force_even: bool = ...,
                      face_nodes: Optional[Cells] = ...,
                      pattern: PatternName = ...) -> Mesh: ...
def extrude_spiral_Q4(coordinates: Points, edge_nodes: Cells, centre: Vector, angle: Real,
                      translation: Vector, layers: Optional[Count] = ..., *,
                      axis: Optional[Vector] = ..., sizes: Optional[Tuple[Real, Real]] = ...,
                      force_even: bool = ..., face_nodes: Optional[Cells] = ...) -> Mesh: ...
def extrude_spiral_T3(coordinates: Points, edge_nodes: Cells, centre: Vector, angle: Real,
                      translation: Vector, layers: Optional[Count] = ..., *,
                      axis: Optional[Vector] = ..., sizes: Optional[Tuple[Real, Real]] = ...,
                      force_even: bool = ..., face_nodes: Optional[Cells] = ...,
                      pattern: PatternName = ...) -> Mesh: ...

# Structured meshes and metrics
def mesh_struct_Q4(coordinates: Points, boundary: IDs, segments: Count, *,
                   face_nodes: Optional[Cells] = ...) -> Mesh: ...
def mesh_struct_T3(coordinates: Points, boundary: IDs, segments: Count, *,
                   face_nodes: Optional[Cells] = ..., pattern: PatternName = ...) -> Mesh: ...
def metrics_struct(boundary: IDs, segments: Count, metrics: npt.ArrayLike) -> F64: ...

# Interpolation
def interpolate(coordinates: Points, connectivity: Cells, field: npt.ArrayLike, targets: IDs, *,
                neighbours: Optional[Cells] = ..., home: Optional[IDs] = ...) -> F64: ...
def interpolate_metrics(coordinates: Points, connectivity: Cells, metrics: npt.ArrayLike,
                        targets: Optional[IDs] = ..., *, neighbours: Optional[Cells] = ...,
                        home: Optional[IDs] = ..., keep_valid: bool = ...) -> F64: ...
def probe(coordinates: Points, connectivity: Cells, field: npt.ArrayLike,
          points: Points) -> F64: ...

class BackgroundLocator:
    """A background mesh prepared once for many probe calls (see build_locator)."""
    @property
    def node_count(self) -> int: ...
    def probe(self, field: npt.ArrayLike, points: Points) -> F64: ...
def build_locator(coordinates: Points, connectivity: Cells, *,
                  neighbours: Optional[Cells] = ...) -> BackgroundLocator: ...

# Geometry and curvature
def area(coordinates: Points, connectivity: Cells) -> float: ...
def angles(coordinates: Points, connectivity: Cells, *, normalised: bool = ...) -> Angles: ...
def normals(coordinates: Points, connectivity: Cells, *, exponent: Real = ...,
            unit: bool = ...) -> F64: ...
def principal_curvatures(coordinates: Points, connectivity: Cells, *,
                         neighbours: Optional[Cells] = ..., radius: Real = ...,
                         max_angle: Real = ..., max_elements: Optional[Count] = ...,
                         feature_edges: Optional[Cells] = ...) -> Curvatures: ...
def fitted_curvatures(coordinates: Points, connectivity: Cells, *,
                      neighbours: Optional[Cells] = ...,
                      rings: Count = ...) -> FittedCurvatures: ...
def parametric_curvatures(parameters: Points, connectivity: Cells, tangents: Points) -> F64: ...
def metrics_gen_aniso3d(coordinates: Points, connectivity: Cells, normal_size: Real, *,
                        metrics: Optional[Points] = ...) -> F64: ...

# Mesh plumbing
def neighbours(connectivity: Cells, *, node_count: Optional[Count] = ...) -> Neighbours: ...
def renumber(coordinates: Points, connectivity: Cells) -> Renumbered: ...
def permute(values: npt.ArrayLike, order: Optional[Cells] = ..., *,
            id_order: Optional[Cells] = ..., inverse: bool = ...) -> npt.NDArray[Any]: ...
def home_elements(connectivity: Cells, *, node_count: Optional[Count] = ...) -> U32: ...
def boundary_loops(connectivity: Cells, *, neighbours: Optional[Cells] = ...) -> BoundaryLoops: ...
def feature_edges(coordinates: Points, connectivity: Cells, angle: Real, *,
                  neighbours: Optional[Cells] = ...) -> U32: ...

# meshio
def from_meshio(mesh: Any) -> MeshioMesh: ...
def to_meshio(coordinates: Points, connectivity: Cells, kind: Optional[Kind] = ..., *,
              point_data: Optional[Dict[str, npt.ArrayLike]] = ...,
              cell_data: Optional[Dict[str, npt.ArrayLike]] = ...,
              edge_nodes: Optional[Cells] = ...) -> Any: ...
