"""Where C++ has several forms, Python picks one by keyword or by the shape of a point,
never by the Python type of a number: each row of the table gives the same mesh as its
reference call."""

import math

import numpy as np
import pytest

import surfkit
from meshes import grid

s = surfkit
LINE = np.array([[0, 1], [1, 2]], dtype=np.uint32)
P2 = np.array([[1.0, 0.0], [2.0, 0.0], [3.0, 0.5]])
P3 = np.column_stack([P2, np.zeros(3)])
Z = [0, 0, 1]
# The extrusions, short: Translate, Rotate or Spiral into Q4 or T3.
TQ4, TT3, RQ4 = s.extrude_translate_Q4, s.extrude_translate_T3, s.extrude_rotate_Q4
RT3, SQ4, ST3 = s.extrude_rotate_T3, s.extrude_spiral_Q4, s.extrude_spiral_T3

# (name, call, reference call, compare): compare "same" (equal arrays), "xy" (the plane
# result against the x, y of the space one, z = 0).
FORMS = [
    # Layer counts of any integer type, angles of any real type.
    ("layers int64", lambda: TQ4(P2, LINE, [0, 1], np.int64(4)),
     lambda: TQ4(P2, LINE, [0, 1], 4), "same"),
    ("layers uint32 keyword", lambda: TQ4(P2, LINE, [0, 1], layers=np.uint32(4)),
     lambda: TQ4(P2, LINE, [0, 1], 4), "same"),
    ("angle float32", lambda: RQ4(P2, LINE, [0, 0], np.float32(1.0), 4),
     lambda: RQ4(P2, LINE, [0, 0], 1.0, 4), "same"),
    ("angle int", lambda: RQ4(P2, LINE, [0, 0], 1, 4),
     lambda: RQ4(P2, LINE, [0, 0], 1.0, 4), "same"),
    ("angle int64", lambda: RT3(P2, LINE, [0, 0], np.int64(1), 4),
     lambda: RT3(P2, LINE, [0, 0], 1.0, 4), "same"),
    ("centre int list", lambda: RQ4(P2, LINE, [0, 0], 1.0, 4),
     lambda: RQ4(P2, LINE, np.zeros(2, np.float32), 1.0, 4), "same"),
    # Plane and space forms by the number of values of the point or vector.
    ("translate 2 or 3 values", lambda: TQ4(P2, LINE, [0, 1], 4),
     lambda: TQ4(P3, LINE, [0, 1, 0], 4), "xy"),
    ("translate T3 2 or 3 values", lambda: TT3(P2, LINE, [0, 1], 4, pattern="alternate"),
     lambda: TT3(P3, LINE, [0, 1, 0], 4, pattern="alternate"), "xy"),
    ("rotate plane or space", lambda: RQ4(P2, LINE, [0.5, -0.5], 1.0, 6),
     lambda: RQ4(P3, LINE, [0.5, -0.5, 0.0], 1.0, 6, axis=Z), "xy"),
    ("rotate T3 plane or space, float32 angle", lambda: RT3(P2, LINE, [0, 0], np.float32(0.5), 3),
     lambda: RT3(P3, LINE, [0, 0, 0], 0.5, 3, axis=Z), "xy"),
    ("axis of any length", lambda: RQ4(P3, LINE, [0, 0, 0], 1.0, 4, axis=[0, 0, 7]),
     lambda: RQ4(P3, LINE, [0, 0, 0], 1.0, 4, axis=Z), "close"),
    ("spiral axis from the translation", lambda: SQ4(P3, LINE, [0, 0, 0], 2.0, [0, 0, 3], 5),
     lambda: SQ4(P3, LINE, [0, 0, 0], 2.0, [0, 0, 3], 5, axis=Z), "same"),
    # Layer count or sizes by keyword.
    ("sizes equal to the count's layers", lambda: TQ4(P2, LINE, [0, 1], sizes=(0.25, 0.25)),
     lambda: TQ4(P2, LINE, [0, 1], 4), "close"),
    ("sizes of int type", lambda: TQ4(P2, LINE, [0, 4], sizes=(1, 1)),
     lambda: TQ4(P2, LINE, [0, 4], 4), "close"),
    ("rotate sizes float32",
     lambda: RQ4(P2, LINE, [0, 0], math.pi / 2, sizes=np.array([0.1, 0.1], np.float32)),
     lambda: RQ4(P2, LINE, [0, 0], math.pi / 2, 16), "layers"),
    ("spiral sizes", lambda: ST3(P3, LINE, [0, 0, 0], 1.0, [0, 0, 2], sizes=(0.5, 0.5)),
     lambda: ST3(P3, LINE, [0, 0, 0], 1.0, [0, 0, 2], 4), "close"),
    # Patterns and kinds by name, enum or number.
    ("pattern enum", lambda: TT3(P2, LINE, [0, 1], 2, pattern=s.Pattern.ALTERNATE),
     lambda: TT3(P2, LINE, [0, 1], 2, pattern="alternate"), "same"),
    ("pattern number", lambda: TT3(P2, LINE, [0, 1], 2, pattern=1),
     lambda: TT3(P2, LINE, [0, 1], 2, pattern="C0_C2"), "same"),
    ("flip by meshio name", lambda: s.flip([[0, 1, 2, 3, 4, 5]], "triangle6"),
     lambda: s.flip([[0, 1, 2, 3, 4, 5]], s.ElementType.T6), "same"),
    ("flip by kind name", lambda: s.flip([[0, 1, 2, 3, 4, 5, 6, 7, 8]], "q9"),
     lambda: s.flip([[0, 1, 2, 3, 4, 5, 6, 7, 8]], 10), "same"),
    ("flip by width", lambda: s.flip([[0, 1, 2, 3, 4, 5, 6, 7]]),
     lambda: s.flip([[0, 1, 2, 3, 4, 5, 6, 7]], "quad8"), "same"),
    ("criterion by enum",
     lambda: s.split_Q4_into_T3(*grid(2, 2, False), criterion=s.SplitCriterion.ANGLE),
     lambda: s.split_Q4_into_T3(*grid(2, 2, False), criterion="angle"), "same"),
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
    points, quads = grid(2, 2, False)
    forms = [s.split_Q4_into_T3(None, quads), s.split_Q4_into_T3(points, quads),
             s.split_Q4_into_T3(points, quads, shape_threshold=0.5)]
    assert {type(f) for f in forms} == {s.QuadSplit}
    for result in forms:
        assert sorted(np.concatenate([result.kept, result.split]).tolist()) == list(range(4))
    assert len(forms[0].connectivity) == len(forms[1].connectivity) == 8
    bands = [TQ4(P2, LINE, [0, 1], 2), TQ4(P2, LINE, [0, 1], sizes=(0.5, 0.5)),
             RQ4(P2, LINE, [0, 0], 1.0, 2), RQ4(P3, LINE, [0, 0, 0], 1.0, 2, axis=Z),
             SQ4(P3, LINE, [0, 0, 0], 1.0, Z, 2)]
    assert {type(b) for b in bands} == {s.Mesh}
