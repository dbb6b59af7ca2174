"""Refused storage raises MemoryError and changes nothing; sweeping the refusal over every
request of a call ends with the call succeeding and giving the normal result."""

import numpy as np
import pytest

import surfkit
from meshes import grid, icosphere

refuse = surfkit.storage_testing.refuse_nth_request
pending = surfkit.storage_testing.refusal_pending

P3, S3 = icosphere(1)
P2, T3 = grid(3, 3)
LINE = np.array([[0, 1], [1, 2], [2, 3]], dtype=np.uint32)

CALLS = {
    "normals": lambda: surfkit.normals(P3, S3),
    "angles": lambda: surfkit.angles(P3, S3),
    "convert_T3": lambda: surfkit.convert_T3(P2, T3, 2, 1),
    "split_into_Q4": lambda: surfkit.split_into_Q4(P2, None, T3),
    "split_Q4_into_T3": lambda: surfkit.split_Q4_into_T3(P2, grid(3, 3, False)[1],
                                                         shape_threshold=2.0),
    "extrude_translate_T3": lambda: surfkit.extrude_translate_T3(P2, LINE, [0, 0, 1], 3,
                                                                 pattern="alternate"),
    "principal_curvatures": lambda: surfkit.principal_curvatures(P3, S3),
    "probe": lambda: surfkit.probe(P2, T3, P2[:, 0], [[0.3, 0.2], [2.0, 2.0]]),
    "metrics_gen_aniso3d": lambda: surfkit.metrics_gen_aniso3d(P3, S3, -0.5),
}

def same(a, b):
    if isinstance(a, tuple):
        return all(same(x, y) for x, y in zip(a, b))
    return np.array_equal(a, b)

@pytest.mark.parametrize("name", sorted(CALLS))
def test_refusal_sweep(name):
    call = CALLS[name]
    reference = call()
    inputs = (P3.copy(), S3.copy(), P2.copy(), T3.copy())
    refusals = 0
    for n in range(1, 200):
        refuse(n)
        try:
            result = call()
        except MemoryError:
            refusals += 1
            continue
        finally:
            refuse(0)
        assert same(result, reference)
        break
    else:
        pytest.fail("the call never succeeded")
    assert refusals >= 1
    for before, now in zip(inputs, (P3, S3, P2, T3)):
        assert np.array_equal(before, now)

def test_refusal_is_per_thread():
    import threading

    refuse(1)
    out = []
    t = threading.Thread(target=lambda: out.append(surfkit.normals(P3, S3)))
    t.start()
    t.join()
    assert pending()
    refuse(0)
    assert out[0].shape == (len(P3), 3)
