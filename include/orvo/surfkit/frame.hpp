/// @file
/// Frame: the library's version and the reversal of element orientation.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// The library's version text: SURFKIT_VERSION of orvo/surfkit_version.hpp, written from
/// project(VERSION) in CMakeLists.txt (static storage).
SURFKIT_API const char* version();

/// Reverses the orientation of linear elements by exchanging rows 0 and 2 of every
/// column; all other rows stay.
/// @param connectivity  \#rows (at least 3) by \#elements, changed in place.
/// @return
///  - 0: done (also for no columns);
///  - -1: the matrix has columns and fewer than 3 rows.
///
/// Cost: O(\#elements).
SURFKIT_API int flip(dense2D<unsigned int>& connectivity);

/// Reverses elements of kind `type`, keeping mid-nodes on their edges.
/// @param connectivity  node_count(type) by \#elements (FACE_MIX: 3, 4, 6, 8 or 9 rows).
/// @param type          T3, Q4: rows 0 <-> 2; T6: also 3 <-> 5; Q8, Q9: also 4 <-> 5 and
///                      6 <-> 7; FACE_MIX by row count (8/9 rows: per column, a triangle
///                      with UINT_MAX in row 6 as T6, else as Q8/Q9); other kinds: unchanged.
/// @return
///  - 0: done (also for no columns, whatever the type);
///  - -2: the row count does not fit the type, or the type is outside 0 to 22.
///
/// Cost: O(\#elements).
SURFKIT_API int flip(dense2D<unsigned int>& connectivity, element_type type);

}  // namespace orvo::surfkit
