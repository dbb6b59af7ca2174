"""Checks of scalar and small-vector arguments, before they reach the compiled layer.

Each check takes the function's name and the parameter's name as the caller wrote it,
and raises TypeError for a value of the wrong Python type or ArgumentError for a value
out of range; it returns the value as the compiled layer takes it.
"""

import math

import numpy as np

from ._errors import ArgumentError

UINT_MAX = 0xFFFFFFFF


def _is_bool(value):
    return isinstance(value, (bool, np.bool_))


def _describe(value):
    text = repr(value)
    if len(text) > 40:
        text = text[:37] + "..."
    return "%s %s" % (type(value).__name__, text)


def integer(function, name, value, low=0, high=UINT_MAX):
    """A Python or NumPy integer in [low, high] (bool refused) as int."""
    if _is_bool(value) or not isinstance(value, (int, np.integer)):
        raise TypeError("%s: %s must be an integer, got %s" % (function, name, _describe(value)))
    v = int(value)
    if v < low:
        raise ArgumentError("%s: %s %d is below %d" % (function, name, v, low), None, name)
    if v > high:
        raise ArgumentError("%s: %s %d is above %d" % (function, name, v, high), None, name)
    return v


def real(function, name, value):
    """A Python or NumPy real number (integers too, bool refused) as float."""
    if _is_bool(value) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("%s: %s must be a number, got %s" % (function, name, _describe(value)))
    return float(value)


def flag(function, name, value):
    """True or False (NumPy's bool too) as bool."""
    if not _is_bool(value):
        raise TypeError("%s: %s must be True or False, got %s"
                        % (function, name, _describe(value)))
    return bool(value)


def vector(function, name, value, sizes):
    """A sequence of len in `sizes` of real numbers as a float64 array."""
    if isinstance(value, (str, bytes)) or np.isscalar(value):
        raise TypeError("%s: %s must be a sequence of %s numbers, got %s"
                        % (function, name, " or ".join(map(str, sizes)), _describe(value)))
    try:
        array = np.asarray(value, dtype=np.float64)
    except (TypeError, ValueError):
        raise TypeError("%s: %s must be a sequence of %s numbers, got %s"
                        % (function, name, " or ".join(map(str, sizes)),
                           _describe(value))) from None
    if array.ndim != 1 or len(array) not in sizes:
        shape = "%d values" % len(array) if array.ndim == 1 else "shape %s" % (array.shape,)
        raise ArgumentError("%s: %s has %s; expected %s" % (
            function, name, shape, " or ".join("%d values" % s for s in sizes)), None, name)
    return array


def sizes(function, value):
    """sizes=(h0, h1): two reals."""
    pair = vector(function, "sizes", value, (2,))
    return float(pair[0]), float(pair[1])


def layers_or_sizes(function, layers, size_pair, force_even):
    """(use_sizes, layers, h0, h1, force_even) of the count form (layers) or the sizing
    form (sizes=(h0, h1), force_even): exactly one of layers and sizes."""
    if size_pair is None:
        if layers is None:
            raise ArgumentError("%s: layers missing: give a layer count, or sizes=(h0, h1)"
                                % function, None, "layers")
        if flag(function, "force_even", force_even):
            raise ArgumentError("%s: force_even goes with sizes=(h0, h1), not with layers"
                                % function, None, "force_even")
        return False, integer(function, "layers", layers), 0.0, 0.0, False
    if layers is not None:
        raise ArgumentError("%s: sizes given with layers: give one of them" % function, None,
                            "sizes")
    h0, h1 = sizes(function, size_pair)
    return True, 0, h0, h1, flag(function, "force_even", force_even)


def direction(function, name, value):
    """A non-zero 3-vector as a unit float64 array."""
    v = vector(function, name, value, (3,))
    length = math.sqrt(float(np.dot(v, v)))
    if not (length > 0 and math.isfinite(length)):
        raise ArgumentError("%s: %s %s is not a direction (its length is %g)"
                            % (function, name, v.tolist(), length), None, name)
    return v / length
