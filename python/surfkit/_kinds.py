"""Element kinds (with the C++ values of orvo::element_type), the diagonal patterns and
the split criteria, and the one conversion of a kind given by name or number."""

import enum

import numpy as np

from ._errors import ArgumentError

#: "No ID" in every ID array (a triangle's column 3 in FACE_MIX, a boundary edge in a
#: neighbour matrix, a target in a home array).
NONE = 0xFFFFFFFF


class ElementType(enum.IntEnum):
    """The 23 element kinds. Node numbering of the face kinds:

    T3, Q4: vertices counter-clockwise. T6: columns 0-2 vertices, 3 on edge (1, 2), 4 on
    (2, 0), 5 on (0, 1). Q8, Q9: columns 0-3 vertices, 4 + i on edge (i, i + 1 mod 4), Q9
    column 8 the centre. FACE_MIX: 4 columns, NONE in column 3 marks a triangle (8 or 9
    columns: NONE in column 6 marks a T6).

    Wherever a function takes a kind, it also takes the kind's name (``"T6"``) or meshio's
    cell type name (``"triangle6"``); see :func:`element_type`.
    """

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
    def meshio_name(self):
        """meshio's cell type name of the kind, or None (the MIX kinds, NO_ELEMENT)."""
        return _MESHIO_NAMES.get(self)


#: meshio's cell type names and the kinds they are.
MESHIO_KINDS = {
    "vertex": ElementType.NODE,
    "line": ElementType.EDGE2,
    "line3": ElementType.EDGE3,
    "triangle": ElementType.T3,
    "quad": ElementType.Q4,
    "triangle6": ElementType.T6,
    "quad8": ElementType.Q8,
    "quad9": ElementType.Q9,
    "tetra": ElementType.TETRA4,
    "tetra10": ElementType.TETRA10,
    "pyramid": ElementType.PYRAMID5,
    "pyramid13": ElementType.PYRAMID13,
    "pyramid14": ElementType.PYRAMID14,
    "wedge": ElementType.PRISM6,
    "wedge15": ElementType.PRISM15,
    "wedge18": ElementType.PRISM18,
    "hexahedron": ElementType.HEXA8,
    "hexahedron20": ElementType.HEXA20,
    "hexahedron27": ElementType.HEXA27,
}
_MESHIO_NAMES = {kind: name for name, kind in MESHIO_KINDS.items()}


class Pattern(enum.IntEnum):
    """Diagonals of the triangles of an extruded band or a structured grid, by the cell
    corners (c0, c1 on the near side, c2, c3 on the far side). By name: ``"c1-c3"``,
    ``"c0-c2"``, ``"alternate"``."""

    C1_C3 = 0
    C0_C2 = 1
    ALTERNATE = 2


class SplitCriterion(enum.IntEnum):
    """How split_Q4_into_T3 chooses the diagonal of a cut quadrangle. By name:
    ``"shape"`` (worse triangle shape quality), ``"angle"`` (worse largest angle),
    ``"larger_area"``, ``"area_sum"``, ``"normal_angle"`` (space: angle between the
    triangle normals), ``"normal_angle_length"`` (space: that angle times the diagonal's
    length)."""

    SHAPE = 1
    ANGLE = 2
    LARGER_AREA = 3
    AREA_SUM = 4
    NORMAL_ANGLE = 5
    NORMAL_ANGLE_LENGTH = 6


def _choice(enum_cls, value, parameter, function):
    """The member of `enum_cls` that `value` names: a member, its name in any case (with
    "-" or "_"), or its number."""
    if isinstance(value, enum_cls):
        return value
    if isinstance(value, str):
        key = value.strip().upper().replace("-", "_")
        if key in enum_cls.__members__:
            return enum_cls[key]
        names = ", ".join(_spell(m) for m in enum_cls)
        raise ArgumentError("%s: %s %r is not one of %s" % (function, parameter, value, names),
                            None, parameter)
    if isinstance(value, (int, np.integer)) and not isinstance(value, (bool, np.bool_)):
        try:
            return enum_cls(int(value))
        except ValueError:
            numbers = ", ".join(str(int(m)) for m in enum_cls)
            raise ArgumentError("%s: %s %d is not one of %s" % (function, parameter, value,
                                                                numbers), None, parameter) from None
    what = ("an ElementType, its name or meshio's cell type name" if enum_cls is ElementType
            else "a %s or its name" % enum_cls.__name__)
    raise TypeError("%s: %s must be %s, got %s %r"
                    % (function, parameter, what, type(value).__name__, value))


def _spell(member):
    return member.name.lower().replace("_", "-") if isinstance(member, Pattern) \
        else member.name.lower()


def element_type(value, parameter="kind", function="element_type"):
    """The ElementType that `value` names: an ElementType, its name (``"T6"``, any case),
    meshio's cell type name (``"triangle6"``, ``"quad9"``) or its number (0 to 22).

    Raises ArgumentError for a name or number that is no kind, TypeError for another type.
    """
    if isinstance(value, str) and value.strip().lower() in MESHIO_KINDS:
        return MESHIO_KINDS[value.strip().lower()]
    if isinstance(value, str) and value.strip().upper() not in ElementType.__members__:
        raise ArgumentError("%s: %s %r is neither an element kind (T3, Q4, T6, Q8, Q9, "
                            "FACE_MIX, ...) nor a meshio cell type (triangle, quad, triangle6, "
                            "quad8, quad9, ...)" % (function, parameter, value), None, parameter)
    return _choice(ElementType, value, parameter, function)


def pattern(value, parameter="pattern", function="pattern"):
    """The Pattern that `value` names (a Pattern, "c1-c3", "c0-c2", "alternate", 0-2)."""
    return _choice(Pattern, value, parameter, function)


def split_criterion(value, parameter="criterion", function="split_criterion"):
    """The SplitCriterion that `value` names (a member, its name, or 1-6)."""
    return _choice(SplitCriterion, value, parameter, function)
