"""Where C++ has several forms, Python picks one by keyword or by the shape of a point, never
by the Python type of a number: each row gives the same mesh as its reference call."""

import math

import numpy as np
import pytest

import surfkit
from meshes import grid

s = surfkit
L = np.array([[0, 1], [1, 2]], dtype=np.uint32)  # the line extruded
P2 = np.array([[1.0, 0.0], [2.0, 0.0], [3.0, 0.5]])
P3 = np.column_stack([P2, np.zeros(3)])
O, Z = [0, 0, 0], [0, 0, 1]
# The extrusions, short: Translate, Rotate or Spiral into Q4 or T3.
TQ4, TT3, RQ4 = s.extrude_translate_Q4, s.extrude_translate_T3, s.extrude_rotate_Q4
RT3, SQ4, ST3 = s.extrude_rotate_T3, s.extrude_spiral_Q4, s.extrude_spiral_T3
Q, QUADS = grid(2, 2, False)

# (name, call, reference call, compare): "same" (equal arrays), "close" (float arrays to
# rounding), "xy" (the plane result against the x, y of the space one, z = 0), "layers"
# (the same shape).
FORMS = [
    # Layer counts of any integer type, angles of any real type.
    ("layers uint32 keyword", lambda: TQ4(P2, L, [0, 1], layers=np.uint32(4)),
     lambda: TQ4(P2, L, [0, 1], 4), "same"),
    ("angle int64", lambda: RT3(P2, L, [0, 0], np.int64(1), 4),
     lambda: RT3(P2, L, [0, 0], 1.0, 4), "same"),
    ("centre int list", lambda: RQ4(P2, L, [0, 0], 1.0, 4),
     lambda: RQ4(P2, L, np.zeros(2, np.float32), 1.0, 4), "same"),
    # Plane and space forms by the number of values of the point or vector.
    ("translate 2 or 3 values", lambda: TQ4(P2, L, [0, 1], 4), lambda: TQ4(P3, L, [0, 1, 0], 4),
     "xy"),
    ("translate T3 2 or 3 values", lambda: TT3(P2, L, [0, 1], 4, pattern="alternate"),
     lambda: TT3(P3, L, [0, 1, 0], 4, pattern="alternate"), "xy"),
    ("rotate plane or space", lambda: RQ4(P2, L, [0.5, -0.5], 1.0, 6),
     lambda: RQ4(P3, L, [0.5, -0.5, 0.0], 1.0, 6, axis=Z), "xy"),
    ("rotate T3 plane or space, float32 angle", lambda: RT3(P2, L, [0, 0], np.float32(0.5), 3),
     lambda: RT3(P3, L, O, 0.5, 3, axis=Z), "xy"),
    ("axis of any length", lambda: RQ4(P3, L, O, 1.0, 4, axis=[0, 0, 7]),
     lambda: RQ4(P3, L, O, 1.0, 4, axis=Z), "close"),
    ("spiral axis from the translation", lambda: SQ4(P3, L, O, 2.0, [0, 0, 3], 5),
     lambda: SQ4(P3, L, O, 2.0, [0, 0, 3], 5, axis=Z), "same"),
    # Layer count or sizes by keyword.
    ("sizes equal to the count's layers", lambda: TQ4(P2, L, [0, 1], sizes=(0.25, 0.25)),
     lambda: TQ4(P2, L, [0, 1], 4), "close"),
    ("rotate sizes float32",
     lambda: RQ4(P2, L, [0, 0], math.pi / 2, sizes=np.array([0.1, 0.1], np.float32)),
     lambda: RQ4(P2, L, [0, 0], math.pi / 2, 16), "layers"),
    ("spiral sizes", lambda: ST3(P3, L, O, 1.0, [0, 0, 2], sizes=(0.5, 0.5)),
     lambda: ST3(P3, L, O, 1.0, [0, 0, 2], 4), "close"),
    # Patterns and kinds by name, enum or number.
    ("pattern enum", lambda: TT3(P2, L, [0, 1], 2, pattern=s.Pattern.ALTERNATE),
     lambda: TT3(P2, L, [0, 1], 2, pattern="alternate"), "same"),
    ("pattern number", lambda: TT3(P2, L, [0, 1], 2, pattern=1),
     lambda: TT3(P2, L, [0, 1], 2, pattern="C0_C2"), "same"),
    ("flip by meshio name", lambda: s.flip([range(6)], "triangle6"),
     lambda: s.flip([range(6)], s.ElementType.T6), "same"),
    ("flip by kind name", lambda: s.flip([range(9)], "q9"), lambda: s.flip([range(9)], 10), "same"),
    ("criterion by enum", lambda: s.split_Q4_into_T3(Q, QUADS, criterion=s.SplitCriterion.ANGLE),
     lambda: s.split_Q4_into_T3(Q, QUADS, criterion="angle"), "same"),
]


def _equal(a, b, compare):
    if compare == "layers":
        return a.connectivity.shape == b.connectivity.shape
    for x, y in zip(a, b):
        x, y = np.asarray(x), np.asarray(y)
        if compare == "xy" and x.dtype == np.float64 and x.shape[1:] == (2,):
            if not (np.allclose(x, y[:, :2], atol=1e-12) and not np.any(y[:, 2])):
                return False
        elif compare in ("close", "xy") and x.dtype == np.float64:
            if not (x.shape == y.shape and np.allclose(x, y, atol=1e-12)):
                return False
        elif not np.array_equal(x, y):
            return False
    return True


@pytest.mark.parametrize("name, call, reference, compare", FORMS, ids=[f[0] for f in FORMS])
def test_forms(name, call, reference, compare):
    got, want = call(), reference()
    assert type(got) is type(want) and _equal(got, want, compare)


def test_one_result_type_per_function():
    # Without thresholds the package, not the library, lists the rows kept and split.
    for result in [s.split_Q4_into_T3(None, QUADS), s.split_Q4_into_T3(Q, QUADS),
                   s.split_Q4_into_T3(Q, QUADS, shape_threshold=0.5)]:
        assert type(result) is s.QuadSplit
        assert sorted(np.concatenate([result.kept, result.split]).tolist()) == list(range(4))
    for band in [TQ4(P2, L, [0, 1], sizes=(0.5, 0.5)), RQ4(P3, L, O, 1.0, 2, axis=Z),
                 SQ4(P3, L, O, 1.0, Z, 2)]:
        assert type(band) is s.Mesh
