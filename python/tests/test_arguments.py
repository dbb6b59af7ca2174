"""A rejected argument raises ArgumentError (a ValueError), or TypeError for a wrong type,
naming the function and the caller's parameter, with no binding text, inputs unchanged;
the type stubs list every public function's parameters and named result's fields. Where
C++ has several forms, Python picks one by keyword or by the shape of a point, never by
the Python type of a number: each form gives the same mesh as its reference call."""

import ast
import inspect
import math
import os
import pickle

import numpy as np
import pytest

import surfkit as s
from meshes import grid, icosphere, triangle_neighbours

NONE, A, T = s.NONE, s.ArgumentError, TypeError
P2, T3 = grid(2, 2)                      # plane triangles
_, Q4 = grid(2, 2, triangles=False)      # plane quadrangles
P3, S3 = icosphere(1)                    # sphere triangles
NB, NB3 = triangle_neighbours(T3), triangle_neighbours(S3)
HOME = np.array([0] * len(P2), dtype=np.uint32)
LINE = np.array([[0, 1], [1, 2]], dtype=np.uint32)
LOOP = np.array([0, 1, 2, 5, 8, 7, 6, 3, 0], dtype=np.uint32)  # boundary of the 2 x 2 grid
BAD_IDS = np.array([[0, 1, 99]], dtype=np.uint32)
TANGENTS = np.tile([1.0, 0, 0, 0, 1, 0], (len(P2), 1))
Z, O3 = [0, 0, 1], [0, 0, 0]
LOCATE = s.build_locator(P2, T3).probe

# (call, args, kwargs, parameter): rejected by the library, ArgumentError with a C++ code.
# The C++ suite tests each export's codes; here one row per way a code becomes a name
# (a parameter read through a shared path, e.g. sweep's face_nodes, has one row).
LIBRARY = [
    (s.flip, (np.zeros((2, 2), np.uint32),), {}, "kind"),  # no kind has 2 nodes
    (s.flip, (T3, s.ElementType.Q4), {}, "kind"),
    (s.convert_mixed, (P2, [[0, 1, 2, 99]], None), {}, "Q4_connectivity"),
    (s.convert_mixed, (P2, None, BAD_IDS), {}, "T3_connectivity"),
    (s.convert_mixed, (P2, Q4, None, 1, 2, 0), {}, "nodes_per_quad"),
    (s.convert_mixed, (P2, None, T3, 1, 0, 2), {}, "nodes_per_triangle"),
    (s.convert_mixed, (P2, None, T3), {"given_edges": [[0, 1, 99]]}, "given_edges"),
    (s.convert_Q4, (P2, T3), {}, "connectivity"),
    (s.convert_T3, (P2, Q4), {}, "connectivity"),
    (s.split_into_Q4, (P2, Q4), {"given_edges": [[0, 1]]}, "given_edges"),
    (s.convert_degenerated_Q4, (T3,), {}, "connectivity"),
    (s.split_Q4_into_T3, (None, LINE), {}, "connectivity"),
    (s.mesh_reorient, (LINE,), {}, "connectivity"),
    (s.mesh_reorient, (T3,), {"neighbours": NB[:2]}, "neighbours"),
    (s.mesh_reorient, (T3,), {"start_element": len(T3)}, "start_element"),
    (s.extrude_translate_Q4, (P3, LINE, [0, 1], 2), {}, "coordinates"),  # plane form, space points
    (s.extrude_translate_Q4, (P2, [[0, 99]], [0, 1], 2), {}, "edge_nodes"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1], 2), {"face_nodes": T3}, "face_nodes"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1]), {"sizes": (-1.0, 1.0)}, "sizes"),
    (s.extrude_spiral_T3, (P2, LINE, O3, 1.0, Z, 2), {"face_nodes": Q4}, "face_nodes"),
    (s.extrude_spiral_Q4, (P2, LINE, O3, 1.0, O3, 2), {"axis": Z}, "translation"),
    (s.extrude_spiral_T3, (P2, LINE, O3, 1.0, Z), {"sizes": (0.1, -1.0)}, "sizes"),
    (s.mesh_struct_Q4, (P2, LOOP[:-1], 2), {}, "boundary"),
    (s.mesh_struct_Q4, (P2, LOOP, 5), {}, "segments"),
    (s.mesh_struct_Q4, (P2, LOOP, 2), {"face_nodes": T3}, "face_nodes"),
    (s.mesh_struct_T3, (P2, LOOP, 2), {"face_nodes": Q4}, "face_nodes"),
    (s.metrics_struct, (LOOP[:-1], 2, np.ones(9)), {}, "boundary"),
    (s.metrics_struct, (LOOP, 2, np.ones((9, 4))), {}, "metrics"),
    (s.interpolate, (P3, T3, np.ones(9), [0]), {}, "coordinates"),
    (s.interpolate, (P2, Q4, np.ones(9), [0]), {}, "connectivity"),
    (s.interpolate, (P2, T3, np.ones(9), [0]), {"neighbours": NB[:2]}, "neighbours"),
    (s.interpolate, (P2, T3, np.ones(9), [0]), {"home": HOME[:2]}, "home"),
    (s.interpolate, (P2, T3, np.ones(8), [0]), {}, "field"),
    (s.interpolate, (P2, T3, np.ones(9), [99]), {}, "targets"),
    (s.interpolate_metrics, (P2, T3, np.ones((9, 4)), [0]), {}, "metrics"),
    (s.area, (P2[:, :1], T3), {}, "coordinates"),
    (s.area, (P2, LINE), {}, "connectivity"),
    (s.principal_curvatures, (P3, S3), {"neighbours": NB3[:5]}, "neighbours"),
    (s.principal_curvatures, (P3, S3), {"feature_edges": [[0, 1, 2]]}, "feature_edges"),
    (s.fitted_curvatures, (P2, S3), {}, "coordinates"),
    (s.fitted_curvatures, (P3, S3), {"rings": 4}, "rings"),
    (s.parametric_curvatures, (P3, T3, TANGENTS), {}, "parameters"),
    (s.parametric_curvatures, (P2, T3, TANGENTS[:, :3]), {}, "tangents"),
    (s.metrics_gen_aniso3d, (P3, S3, math.nan), {}, "normal_size"),
    (s.metrics_gen_aniso3d, (P3, S3, 0.1), {"metrics": np.zeros((len(P3), 3))}, "metrics"),
    (s.neighbours, ([[0, 1]],), {}, "connectivity"),
    (s.neighbours, ([[0, 1, 5]],), {"node_count": 3}, "node_count"),
    (s.home_elements, ([[0, 1, 5]],), {"node_count": 3}, "node_count"),
    (s.boundary_loops, ([[0, 1, 2]],), {"neighbours": [[0, 0]]}, "neighbours"),
    (s.boundary_loops, ([[0, 1]],), {}, "connectivity"),
    (s.feature_edges, ([O3] * 3, [[0, 1, 2]], math.nan), {}, "angle"),
    (s.feature_edges, ([[0, 0]] * 3, [[0, 1, 2]], 1.0), {}, "coordinates"),
    (s.feature_edges, ([O3] * 3, [[0, 1, 2]], 1.0), {"neighbours": [[7, NONE, NONE]]},
     "neighbours"),
    (s.probe, (P2, Q4, np.ones(9), [[0.5, 0.5]]), {}, "connectivity"),
    (s.probe, (P3, S3, np.ones(len(P3)), [[0.5, 0.5]]), {}, "coordinates"),
    (s.probe, (P2, T3, np.ones(8), [[0.5, 0.5]]), {}, "field"),
    (s.probe, (P2, T3, np.ones(9), [0.5, 0.5, 0.5]), {}, "points"),
    (s.build_locator, (P2, T3), {"neighbours": NB[:1]}, "neighbours"),
    (LOCATE, (np.ones(8), [[0.5, 0.5]]), {}, "field"),
    (LOCATE, (np.ones(9), [[0.5]]), {}, "points"),
    (LOCATE, (np.ones(9), np.full((2, 2), np.nan)), {}, "points"),
    (s.renumber, (P2, BAD_IDS), {}, "connectivity"),
    (s.permute, (P2, np.zeros(len(P2), np.uint32)), {}, "order"),
    (s.permute, (T3, None), {"id_order": [0, 1]}, "values"),
    (s.permute, (T3, None), {"id_order": [0] * len(P2)}, "id_order"),
]

# (call, args, kwargs, exception, parameter): caught before the library: wrong types
# (TypeError), values out of range, unknown names and wrong keyword combinations
# (ArgumentError without a C++ code).
PYTHON = [
    (s.flip, (T3, "T7"), {}, A, "kind"),
    (s.flip, (T3, 6.0), {}, T, "kind"),
    (s.flip, (T3, 99), {}, A, "kind"),
    (s.flip, (T3, True), {}, T, "kind"),
    (s.neighbours, (T3,), {"node_count": 4.5}, T, "node_count"),
    (s.neighbours, (T3,), {"node_count": -1}, A, "node_count"),
    (s.neighbours, (T3,), {"node_count": 2 ** 32}, A, "node_count"),
    (s.convert_mixed, (P2, Q4, None, 1.0), {}, T, "nodes_per_edge"),
    (s.convert_mixed, (P2, Q4, None, 1, -1), {}, A, "nodes_per_quad"),
    (s.convert_T3, (P2, T3, 1, None), {}, T, "nodes_per_triangle"),
    (s.convert_T3, (P2, T3, 2), {"curved": True}, A, "curved"),
    (s.convert_Q4, (P2, Q4, 1, 4), {"curved": True}, A, "curved"),
    (s.convert_mixed, (P2, None, T3, 1, 0, 1), {"curved": True}, A, "curved"),
    (s.convert_T3, (P2, T3), {"curved": 1}, T, "curved"),
    (s.convert_T3, (P2, T3), {"curved": True, "feature_angle": math.nan}, A, "feature_angle"),
    (s.curve_quadratic, (P2, T3), {"feature_angle": "30"}, T, "feature_angle"),
    (s.split_Q4_into_T3, (P2, Q4), {"criterion": "best"}, A, "criterion"),
    (s.split_Q4_into_T3, (P2, Q4), {"criterion": 1.0}, T, "criterion"),
    (s.split_Q4_into_T3, (P2, Q4), {"shape_threshold": "high"}, T, "shape_threshold"),
    (s.split_Q4_into_T3, (None, Q4), {"angle_threshold": 0.5}, A, "angle_threshold"),
    (s.mesh_reorient, (T3,), {"start_element": 1.5}, T, "start_element"),
    (s.mesh_reorient, (T3,), {"all_components": 1}, T, "all_components"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1, 2, 3], 2), {}, A, "translation"),
    (s.extrude_translate_Q4, (P2, LINE, "up", 2), {}, T, "translation"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1], 4.0), {}, T, "layers"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1]), {}, A, "layers"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1], 2), {"sizes": (0.1, 0.1)}, A, "sizes"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1], 2), {"force_even": True}, A, "force_even"),
    (s.extrude_translate_Q4, (P2, LINE, [0, 1]), {"sizes": (0.1, 0.2), "force_even": 1}, T,
     "force_even"),
    (s.extrude_translate_T3, (P2, LINE, [0, 1], 2), {"pattern": "zigzag"}, A, "pattern"),
    (s.extrude_translate_T3, (P2, LINE, [0, 1], 2), {"pattern": 0.0}, T, "pattern"),
    (s.extrude_rotate_Q4, (P2, LINE, [0, 0], Z, 2), {}, T, "angle"),
    (s.extrude_rotate_Q4, (P2, LINE, [0, 0], 1.0, 2), {"axis": Z}, A, "axis"),
    (s.extrude_rotate_Q4, (P2, LINE, O3, 1.0, 2), {}, A, "axis"),
    (s.extrude_rotate_Q4, (P2, LINE, O3, 1.0, 2), {"axis": O3}, A, "axis"),
    (s.extrude_rotate_Q4, (P2, LINE, [0], 1.0, 2), {}, A, "centre"),
    (s.extrude_rotate_T3, (P2, LINE, [0, 0], 1.0, 2), {"pattern": 3}, A, "pattern"),
    (s.extrude_spiral_Q4, (P2, LINE, [0, 0], 1.0, Z, 2), {}, A, "centre"),
    (s.extrude_spiral_Q4, (P2, LINE, O3, 1.0, [0, 0], 2), {}, A, "translation"),
    (s.extrude_spiral_Q4, (P2, LINE, O3, 1.0, O3, 2), {}, A, "axis"),
    (s.mesh_struct_Q4, (P2, LOOP, 2.0), {}, T, "segments"),
    (s.metrics_struct, (LOOP, -2, np.ones(9)), {}, A, "segments"),
    (s.interpolate_metrics, (P2, T3, np.ones(9)), {"keep_valid": "yes"}, T, "keep_valid"),
    (s.angles, (P2, T3), {"normalised": None}, T, "normalised"),
    (s.normals, (P3, S3), {"exponent": "1"}, T, "exponent"),
    (s.normals, (P3, S3), {"unit": 1}, T, "unit"),
    (s.principal_curvatures, (P3, S3), {"radius": [1.0]}, T, "radius"),
    (s.principal_curvatures, (P3, S3), {"max_elements": 10.0}, T, "max_elements"),
    (s.fitted_curvatures, (P3, S3), {"rings": 2.0}, T, "rings"),
    (s.metrics_gen_aniso3d, (P3, S3, "0.1"), {}, T, "normal_size"),
    (s.feature_edges, (P3, S3, None), {}, T, "angle"),
    (s.probe, (P2, T3, "abc", [[0.5, 0.5]]), {}, A, "field"),
    (s.from_meshio, ((P2, T3),), {}, T, "mesh"),
    (s.to_meshio, (P2, np.zeros((1, 5), np.uint32)), {}, A, "connectivity"),
    (s.to_meshio, (P2, T3, "Q4"), {}, A, "kind"),
    (s.to_meshio, (P2, T3, "tetra"), {}, A, "kind"),
    (s.to_meshio, (P2, T3), {"cell_data": {"a": np.ones(3)}}, A, "cell_data"),
    (s.to_meshio, (P2, T3), {"point_data": {"a": np.ones(3)}}, A, "point_data"),
    (s.permute, (P2,), {}, A, "order"),
    (s.permute, (P2, np.arange(len(P2))), {"id_order": np.arange(len(P2))}, A, "id_order"),
    (s.permute, (np.ones(3, bool), [0, 1, 2]), {}, T, "values"),
    (s.permute, (T3, None), {"inverse": 1}, T, "inverse"),
]


CASES = [(c, a, k, A, p, True) for c, a, k, p in LIBRARY] + [c + (False,) for c in PYTHON]


@pytest.mark.parametrize("call, args, kwargs, exception, parameter, library", CASES, ids=[
    "%s-%s" % ("locator.probe" if c[0] == LOCATE else c[0].__name__, c[4]) for c in CASES])
def test_rejections_name_the_parameter(call, args, kwargs, exception, parameter, library):
    # Pickles compare every byte of the arrays, NaN included.
    before = [pickle.dumps(v) for v in args + tuple(kwargs.values())]
    with pytest.raises(exception) as info:
        call(*args, **kwargs)
    error, message = info.value, str(info.value)
    assert message.startswith(call.__name__ + ": ") and parameter in message, message
    for leak in ("pybind11", "incompatible function arguments", "Unable to cast", "code -"):
        assert leak not in message, message
    assert [pickle.dumps(v) for v in args + tuple(kwargs.values())] == before, "input changed"
    assert not isinstance(error, RuntimeError)
    if exception is A:
        assert isinstance(error, ValueError) and error.parameter == parameter
    # A C++ code when the library rejected it (probe checks its arrays first, then passes
    # interpolate's code on).
    code = getattr(error, "code", None)
    assert library and call == s.probe or (code is not None and code < 0) == library, code


def test_every_function_is_covered():
    tested = {case[0].__name__ for case in LIBRARY + PYTHON}
    public = {name for name in s.__all__ if callable(getattr(s, name)) and name[0].islower()}
    assert public - tested == {"version", "element_type"}


def test_a_too_small_node_count_is_named_with_the_largest_id():
    with pytest.raises(A, match="node_count 3 is not above the largest ID 5"):
        s.neighbours([[0, 1, 5]], node_count=3)


def test_old_positional_forms_fail_loudly():
    # First-version calls with neighbours given by position would now mean something else.
    with pytest.raises(T):
        s.mesh_reorient(T3, NB)
    with pytest.raises(T):
        s.interpolate(P2, T3, NB, HOME, np.ones(9), [0])


def test_every_function_and_named_result_as_the_package_has_it():
    with open(os.path.join(os.path.dirname(s.__file__), "__init__.pyi")) as f:
        stubs = {node.name: node for node in ast.parse(f.read()).body
                 if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    for name in s.__all__:
        value = getattr(s, name)
        if isinstance(value, type) and issubclass(value, tuple) and hasattr(value, "_fields"):
            fields = [n.target.id for n in stubs[name].body if isinstance(n, ast.AnnAssign)]
            assert fields == list(value._fields), name
        elif inspect.isfunction(value):
            params = inspect.signature(value).parameters.values()
            for got, kind in ((stubs[name].args.args, inspect.Parameter.POSITIONAL_OR_KEYWORD),
                              (stubs[name].args.kwonlyargs, inspect.Parameter.KEYWORD_ONLY)):
                assert [a.arg for a in got] == [p.name for p in params if p.kind == kind], name


# Accepted forms: a line in the plane and the same line in space (z = 0).
F2 = np.array([[1.0, 0.0], [2.0, 0.0], [3.0, 0.5]])
F3 = np.column_stack([F2, np.zeros(3)])
# The extrusions, short: Translate, Rotate or Spiral into Q4 or T3.
TQ4, TT3, RQ4 = s.extrude_translate_Q4, s.extrude_translate_T3, s.extrude_rotate_Q4
RT3, SQ4, ST3 = s.extrude_rotate_T3, s.extrude_spiral_Q4, s.extrude_spiral_T3

# (name, call, reference call, compare): "same" (equal arrays), "close" (float arrays to
# rounding), "xy" (the plane result against the x, y of the space one, z = 0), "layers"
# (the same shape).
FORMS = [
    # Layer counts of any integer type, angles of any real type.
    ("layers uint32 keyword", lambda: TQ4(F2, LINE, [0, 1], layers=np.uint32(4)),
     lambda: TQ4(F2, LINE, [0, 1], 4), "same"),
    ("angle int64", lambda: RT3(F2, LINE, [0, 0], np.int64(1), 4),
     lambda: RT3(F2, LINE, [0, 0], 1.0, 4), "same"),
    ("centre int list", lambda: RQ4(F2, LINE, [0, 0], 1.0, 4),
     lambda: RQ4(F2, LINE, np.zeros(2, np.float32), 1.0, 4), "same"),
    # Plane and space forms by the number of values of the point or vector.
    ("translate 2 or 3 values", lambda: TQ4(F2, LINE, [0, 1], 4),
     lambda: TQ4(F3, LINE, [0, 1, 0], 4), "xy"),
    ("translate T3 2 or 3 values", lambda: TT3(F2, LINE, [0, 1], 4, pattern="alternate"),
     lambda: TT3(F3, LINE, [0, 1, 0], 4, pattern="alternate"), "xy"),
    ("rotate plane or space", lambda: RQ4(F2, LINE, [0.5, -0.5], 1.0, 6),
     lambda: RQ4(F3, LINE, [0.5, -0.5, 0.0], 1.0, 6, axis=Z), "xy"),
    ("rotate T3 plane or space, float32 angle", lambda: RT3(F2, LINE, [0, 0], np.float32(0.5), 3),
     lambda: RT3(F3, LINE, O3, 0.5, 3, axis=Z), "xy"),
    ("axis of any length", lambda: RQ4(F3, LINE, O3, 1.0, 4, axis=[0, 0, 7]),
     lambda: RQ4(F3, LINE, O3, 1.0, 4, axis=Z), "close"),
    ("spiral axis from the translation", lambda: SQ4(F3, LINE, O3, 2.0, [0, 0, 3], 5),
     lambda: SQ4(F3, LINE, O3, 2.0, [0, 0, 3], 5, axis=Z), "same"),
    # Layer count or sizes by keyword.
    ("sizes equal to the count's layers", lambda: TQ4(F2, LINE, [0, 1], sizes=(0.25, 0.25)),
     lambda: TQ4(F2, LINE, [0, 1], 4), "close"),
    ("rotate sizes float32",
     lambda: RQ4(F2, LINE, [0, 0], math.pi / 2, sizes=np.array([0.1, 0.1], np.float32)),
     lambda: RQ4(F2, LINE, [0, 0], math.pi / 2, 16), "layers"),
    ("spiral sizes", lambda: ST3(F3, LINE, O3, 1.0, [0, 0, 2], sizes=(0.5, 0.5)),
     lambda: ST3(F3, LINE, O3, 1.0, [0, 0, 2], 4), "close"),
    # Patterns and kinds by name, enum or number.
    ("pattern enum", lambda: TT3(F2, LINE, [0, 1], 2, pattern=s.Pattern.ALTERNATE),
     lambda: TT3(F2, LINE, [0, 1], 2, pattern="alternate"), "same"),
    ("pattern number", lambda: TT3(F2, LINE, [0, 1], 2, pattern=1),
     lambda: TT3(F2, LINE, [0, 1], 2, pattern="C0_C2"), "same"),
    ("flip by meshio name", lambda: s.flip([range(6)], "triangle6"),
     lambda: s.flip([range(6)], s.ElementType.T6), "same"),
    ("flip by kind name", lambda: s.flip([range(9)], "q9"), lambda: s.flip([range(9)], 10),
     "same"),
    ("criterion by enum", lambda: s.split_Q4_into_T3(P2, Q4, criterion=s.SplitCriterion.ANGLE),
     lambda: s.split_Q4_into_T3(P2, Q4, criterion="angle"), "same"),
]


def _equal(a, b, compare):
    if compare == "layers":
        return a.connectivity.shape == b.connectivity.shape
    for x, y in zip(map(np.asarray, a), map(np.asarray, b)):
        if compare == "xy" and x.dtype == np.float64 and x.shape[1:] == (2,):
            x = np.column_stack([x, np.zeros(len(x))])  # the plane result at z = 0
        if x.shape != y.shape or not (np.array_equal(x, y) if compare == "same" else
                                      np.allclose(x, y, atol=1e-12)):
            return False
    return True


@pytest.mark.parametrize("name, call, reference, compare", FORMS, ids=[f[0] for f in FORMS])
def test_forms(name, call, reference, compare):
    got, want = call(), reference()
    assert type(got) is type(want) and _equal(got, want, compare)


def test_one_result_type_per_function():
    # Without thresholds the package, not the library, lists the rows kept and split.
    for result in [s.split_Q4_into_T3(None, Q4), s.split_Q4_into_T3(P2, Q4),
                   s.split_Q4_into_T3(P2, Q4, shape_threshold=0.5)]:
        assert type(result) is s.QuadSplit
        assert sorted(np.concatenate([result.kept, result.split]).tolist()) == list(range(4))
    # The bands: one here, the other forms have their reference's type (test_forms).
    assert type(SQ4(F3, LINE, O3, 1.0, Z, 2)) is s.Mesh
