"""Element kinds, with the C++ values of orvo::element_type."""

import enum

#: "No ID" in every ID array (a triangle's column 3 in FACE_MIX, a boundary edge in a
#: neighbour matrix, a target in a home array).
NONE = 0xFFFFFFFF


class ElementType(enum.IntEnum):
    """The 23 element kinds. Node numbering of the face kinds:

    T3, Q4: vertices counter-clockwise. T6: columns 0-2 vertices, 3 on edge (1, 2), 4 on
    (2, 0), 5 on (0, 1). Q8, Q9: columns 0-3 vertices, 4 + i on edge (i, i + 1 mod 4), Q9
    column 8 the centre. FACE_MIX: 4 columns, NONE in column 3 marks a triangle.
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
