"""Every function rejects each bad argument with ArgumentError naming the parameter and
carrying the C++ code, and leaves every input as it was."""

import copy
import math

import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere, triangle_neighbours

NONE = surfkit.NONE

P2, T3 = grid(2, 2)                      # plane triangles
_, Q4 = grid(2, 2, triangles=False)      # plane quadrangles
P3, S3 = icosphere(1)                    # sphere triangles
NB = triangle_neighbours(T3)
HOME = np.array([0] * len(P2), dtype=np.uint32)
LINE = np.array([[0, 1], [1, 2]], dtype=np.uint32)
LOOP = np.array([0, 1, 2, 5, 8, 7, 6, 3, 0], dtype=np.uint32)  # boundary of the 2 x 2 grid
BAD_IDS = np.array([[0, 1, 99]], dtype=np.uint32)
TANGENTS = np.tile([1.0, 0, 0, 0, 1, 0], (len(P2), 1))

# (call, args, code, parameter)
CASES = [
    (surfkit.flip, (np.zeros((2, 2), np.uint32),), -2, "type"),  # no kind has 2 nodes
    (surfkit.flip, (np.zeros((2, 7), np.uint32),), -2, "type"),
    (surfkit.flip, (T3, surfkit.ElementType.Q4), -2, "type"),
    (surfkit.flip, (T3, 99), -2, "type"),
    (surfkit.convert_mixed, (P2[:, :1], Q4, None, 1, 0, 0), -1, "coordinates"),
    (surfkit.convert_mixed, (P2, [[0, 1, 2, 99]], None, 1, 0, 0), -2, "Q4_connectivity"),
    (surfkit.convert_mixed, (P2, None, BAD_IDS, 1, 0, 0), -3, "T3_connectivity"),
    (surfkit.convert_mixed, (P2, Q4, None, 1, 2, 0), -5, "q"),
    (surfkit.convert_mixed, (P2, None, T3, 1, 0, 2), -6, "t"),
    (surfkit.convert_mixed, (P2, None, T3, 1, 0, 0, [[0, 1, 99]]), -7, "given_edges"),
    (surfkit.convert_Q4, (P2, T3, 1, 0), -2, "connectivity"),
    (surfkit.convert_Q4, (P2, Q4, 1, 3), -5, "q"),
    (surfkit.convert_T3, (P2, Q4, 1, 0), -3, "connectivity"),
    (surfkit.convert_T3, (P2, T3, 1, 2), -6, "t"),
    (surfkit.convert_T3, (P2, T3, 1, 0, [[0, 1]]), -7, "given_edges"),
    (surfkit.split_into_Q4, (P2[:, :1], Q4), -1, "coordinates"),
    (surfkit.split_into_Q4, (P2, T3), -2, "Q4_connectivity"),
    (surfkit.split_into_Q4, (P2, None, BAD_IDS), -3, "T3_connectivity"),
    (surfkit.split_into_Q4, (P2, Q4, None, [[0, 1]]), -4, "given_edges"),
    (surfkit.convert_degenerated_Q4, (T3,), -1, "connectivity"),
    (surfkit.split_Q4_into_T3, (LINE,), -1, "connectivity"),
    (surfkit.split_Q4_into_T3, (P2[:, :1], Q4), -1, "coordinates"),
    (surfkit.split_Q4_into_T3, (P2, BAD_IDS), -2, "connectivity"),
    (surfkit.split_Q4_into_T3, (P2, T3, 0.5, 0.5, 1), -2, "connectivity"),
    (surfkit.mesh_reorient, (LINE, NB), -1, "connectivity"),
    (surfkit.mesh_reorient, (T3, NB[:2]), -2, "neighbours"),
    (surfkit.mesh_reorient, (T3, NB, len(T3)), -3, "start_element"),
    (surfkit.extrude_translate_Q4, (P2[:, :1], LINE, [0, 1], 2), -1, "coordinates"),
    (surfkit.extrude_translate_Q4, (P2, [[0, 99]], [0, 1], 2), -2, "line"),
    (surfkit.extrude_translate_Q4, (P2, LINE, [0, 1, 2, 3], 2), -3, "d"),
    (surfkit.extrude_translate_Q4, (P2, LINE, [0, 1], 2, T3), -5, "surface"),
    (surfkit.extrude_translate_Q4, (P2, LINE, [0, 1], -1.0, 1.0, False), -4, "h0"),
    (surfkit.extrude_translate_Q4, (P2, LINE, [0, 1], 1.0, math.nan, False), -5, "h1"),
    (surfkit.extrude_translate_T3, (P2, LINE, [0, 1], 2, 7), -5, "pattern"),
    (surfkit.extrude_translate_T3, (P2, LINE, [0, 1], 2, 0, Q4), -6, "surface"),
    (surfkit.extrude_translate_T3, (P2, LINE, [0, 1], 0.1, 0.1, 9, False), -6, "pattern"),
    (surfkit.extrude_rotate_Q4, (P2, LINE, [0, 0], 1.0, 2, T3), -6, "surface"),
    (surfkit.extrude_rotate_Q4, (P2, LINE, [0, 0], 1.0, -1.0, 1.0, False), -5, "h0"),
    (surfkit.extrude_rotate_Q4, (P2, LINE, [0, 0, 0], [0, 0, 1], 2, T3), -6, "surface"),
    (surfkit.extrude_rotate_Q4, (P2, LINE, [0, 0, 0], [0, 0, 1], 1.0, 0.0, False), -6, "h1"),
    (surfkit.extrude_rotate_T3, (P2, LINE, [0, 0], 1.0, 2, 0, Q4), -7, "surface"),
    (surfkit.extrude_rotate_T3, (P2, LINE, [0, 0], 1.0, 0.1, 0.1, 5, False), -7, "pattern"),
    (surfkit.extrude_spiral_Q4, (P2, LINE, [0, 0, 0], [0, 0, 1], [0, 0, 1], 2, T3), -9,
     "surface"),
    (surfkit.extrude_spiral_T3, (P2, LINE, [0, 0, 0], [0, 0, 1], [0, 0, 1], 2, 0, Q4), -10,
     "surface"),
    (surfkit.extrude_spiral_Q4, (P2, LINE, [0, 0, 0], [0, 0, 1], [0, 0, 0], 2), -6, "n"),
    (surfkit.extrude_spiral_T3,
     (P2, LINE, [0, 0, 0], [0, 0, 1], [0, 0, 1], 0.1, -1.0, 0, False), -7, "h1"),
    (surfkit.mesh_struct_Q4, (P2[:, :1], LOOP, 2), -1, "coords"),
    (surfkit.mesh_struct_Q4, (P2, LOOP[:-1], 2), -2, "boundary"),
    (surfkit.mesh_struct_Q4, (P2, LOOP, 5), -3, "n"),
    (surfkit.mesh_struct_Q4, (P2, LOOP, 2, T3), -4, "connectivity"),
    (surfkit.mesh_struct_T3, (P2, LOOP, 2, 3), -4, "pattern"),
    (surfkit.mesh_struct_T3, (P2, LOOP, 2, 0, Q4), -5, "connectivity"),
    (surfkit.metrics_struct, (LOOP[:-1], 2, np.ones(9)), -1, "boundary"),
    (surfkit.metrics_struct, (LOOP, 5, np.ones(9)), -2, "n"),
    (surfkit.metrics_struct, (LOOP, 2, np.ones((9, 4))), -3, "metrics"),
    (surfkit.interpolate, (P3, T3, NB, HOME, np.ones(9), [0]), -1, "coordinates"),
    (surfkit.interpolate, (P2, Q4, NB, HOME, np.ones(9), [0]), -2, "connectivity"),
    (surfkit.interpolate, (P2, T3, NB[:2], HOME, np.ones(9), [0]), -3, "neighbours"),
    (surfkit.interpolate, (P2, T3, NB, HOME[:2], np.ones(9), [0]), -4, "home"),
    (surfkit.interpolate, (P2, T3, NB, HOME, np.ones(8), [0]), -5, "field"),
    (surfkit.interpolate, (P2, T3, NB, HOME, np.ones((8, 2)), [0]), -5, "field"),
    (surfkit.interpolate, (P2, T3, NB, HOME, np.ones(9), [99]), -6, "targets"),
    (surfkit.interpolate_metrics, (P2, T3, NB, HOME, np.ones((9, 4)), [0]), -5, "metrics"),
    (surfkit.interpolate_metrics, (P2, T3, NB, HOME, np.ones(9), [99]), -6, "targets"),
    (surfkit.interpolate_metrics, (P2, T3, NB, HOME[:3], np.ones(9), True), -4, "home"),
    (surfkit.area, (P2[:, :1], T3), -1, "coordinates"),
    (surfkit.area, (P2, LINE), -2, "connectivity"),
    (surfkit.angles, (P2, BAD_IDS), -2, "connectivity"),
    (surfkit.normals, (P2, T3), -1, "coordinates"),
    (surfkit.normals, (P3, LINE), -2, "connectivity"),
    (surfkit.principal_curvatures, (P3, LINE, triangle_neighbours(S3)), -2, "connectivity"),
    (surfkit.principal_curvatures, (P3, S3, triangle_neighbours(S3)[:5]), -3, "neighbours"),
    (surfkit.principal_curvatures, (P3, S3, triangle_neighbours(S3), 0, math.pi, 10,
                                    [[0, 1, 2]]), -7, "feature_edges"),
    (surfkit.fitted_curvatures, (P2, S3), -1, "coordinates"),
    (surfkit.fitted_curvatures, (P3, LINE), -2, "connectivity"),
    (surfkit.fitted_curvatures, (P3, S3, triangle_neighbours(S3)[:5]), -3, "neighbours"),
    (surfkit.fitted_curvatures, (P3, S3, None, 4), -4, "rings"),
    (surfkit.parametric_curvatures, (P3, T3, TANGENTS), -1, "parameters"),
    (surfkit.parametric_curvatures, (P2, Q4, TANGENTS), -2, "connectivity"),
    (surfkit.parametric_curvatures, (P2, T3, TANGENTS[:, :3]), -3, "tangents"),
    (surfkit.metrics_gen_aniso3d, (P2, S3, 0.1), -1, "coordinates"),
    (surfkit.metrics_gen_aniso3d, (P3, Q4, 0.1), -2, "connectivity"),
    (surfkit.metrics_gen_aniso3d, (P3, S3, math.nan), -3, "normal_size"),
    (surfkit.metrics_gen_aniso3d, (P3, S3, 0.1, np.zeros((len(P3), 3))), -4, "metrics"),
]


def _ident(case):
    call, args, code, parameter = case
    return "%s-%s" % (call.__name__, parameter)


@pytest.mark.parametrize("case", CASES, ids=[_ident(c) for c in CASES])
def test_rejected_argument_is_named_and_inputs_stay(case):
    call, args, code, parameter = case
    before = copy.deepcopy(args)
    with pytest.raises(surfkit.ArgumentError) as info:
        call(*args)
    assert isinstance(info.value, ValueError)
    assert (info.value.code, info.value.parameter) == (code, parameter), str(info.value)
    assert parameter in str(info.value)
    for old, new in zip(before, args):
        if isinstance(old, np.ndarray):
            assert np.array_equal(old, new)
        else:
            assert old == new or (old != old)  # NaN stays NaN


def test_every_function_is_covered():
    tested = {case[0].__name__ for case in CASES}
    bound = {name for name in dir(surfkit._surfkit)
             if callable(getattr(surfkit._surfkit, name)) and not name.startswith("_")}
    assert bound - tested <= {"version", "storage_testing"} | PLUMBING_WITH_OWN_TESTS


PLUMBING_WITH_OWN_TESTS = {"neighbours", "home_elements", "boundary_loops", "feature_edges",
                           "build_locator", "BackgroundLocator"}  # test_locator.py
