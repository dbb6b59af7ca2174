/// @file
/// Extrusion: a line mesh swept by translation, rotation or a screw motion into a band of
/// quadrangles or triangles.
///
/// Shared by every extrude_* function:
///  - coordinates: 2 or 3 by \#nodes; gains n·nd columns (nd = distinct nodes of the line),
///    layer after layer, each layer in order of first appearance in the line.
///  - line: 2 by \#edges, node IDs below \#nodes; edges need not be connected or ordered.
///  - surface: empty, or 4 (_Q4) / 3 (_T3) by m_old (its column count on entry; a 0 x k
///    surface gets k leading cells of UINT_MAX); gains n·\#edges quadrangles, or
///    2·n·\#edges triangles, edge after edge (column m_old + j·n + k for edge j, layer k),
///    each keeping the edge's direction as its first side.
///  - n: layer count, evenly spaced; 0 returns 0 at once.
///  - h0, h1: target sizes (> 0, finite) next to the line and at the far end: the layer
///    count follows from the path length by the logarithmic mean of the sizes, and the
///    layers grow geometrically from h0 to h1; force_even rounds it to an even count.
///  - pattern: diagonals of the triangles: 0 cut c1-c3, 1 cut c0-c2, 2 alternate on edge
///    column + layer (c0, c1 on the near side, c2, c3 on the far side).
///  - -199: storage refused, the new node IDs would reach UINT_MAX, or the sizes give no
///    finite layer count up to UINT_MAX; both arrays are then back at their entry extents
///    (a surface that had no entries may keep the band's row count).
///  - std::bad_alloc: thrown when the scratch node table cannot be had; both arrays are
///    then back at their entry extents as for -199.
///  - Cost: O(\#edges·n + \#nodes of the line) time, one hash table of the line's nodes.
#pragma once

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"

namespace orvo::surfkit {

/// @name Translation
/// Copy in layer k at x + t_k·d. The plane forms take coordinates of 2 rows only (else
/// -1); the space forms take 2 or 3 rows and make them 3 first (new third coordinate 0.0;
/// -199 if refused). Sizing forms: path length |d|, at least one layer. Arguments, layers,
/// patterns, -199 and cost as in the file description.
/// @return
///  - 0: success, also for an empty line;
///  - -1: coordinates;
///  - -2: line IDs;
///  - -4: h0; -5: h1 (sizing forms);
///  - count forms: -5 pattern above 2 (as unsigned), -5 (_Q4) / -6 (_T3) surface rows;
///  - sizing forms: -6 pattern, -7 (_Q4) / -8 (_T3) surface rows;
///  - -199: see the file description.
/// @{

/// In the plane, along d, into quadrangles, n even layers.
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, unsigned int n,
                                     dense2D<unsigned int>& surface);
/// In the plane, along d, into quadrangles, layers graded from h0 to h1.
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, double h0, double h1,
                                     bool force_even, dense2D<unsigned int>& surface);
/// In space, along d, into quadrangles, n even layers.
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, unsigned int n,
                                     dense2D<unsigned int>& surface);
/// In space, along d, into quadrangles, layers graded from h0 to h1.
SURFKIT_API int extrude_translate_Q4(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, double h0, double h1,
                                     bool force_even, dense2D<unsigned int>& surface);
/// In the plane, along d, into triangles, n even layers.
SURFKIT_API int extrude_translate_T3(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, unsigned int n, int pattern,
                                     dense2D<unsigned int>& surface);
/// In the plane, along d, into triangles, layers graded from h0 to h1.
SURFKIT_API int extrude_translate_T3(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 2>& d, double h0, double h1,
                                     int pattern, bool force_even, dense2D<unsigned int>& surface);
/// In space, along d, into triangles, n even layers.
SURFKIT_API int extrude_translate_T3(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, unsigned int n, int pattern,
                                     dense2D<unsigned int>& surface);
/// In space, along d, into triangles, layers graded from h0 to h1.
SURFKIT_API int extrude_translate_T3(dense2D<double>& coordinates,
                                     const dense2D<unsigned int>& line,
                                     const vector_fixed<double, 3>& d, double h0, double h1,
                                     int pattern, bool force_even, dense2D<unsigned int>& surface);
/// @}

/// @name Rotation
/// Sweeps a line mesh about a centre c in the (x, y) plane by the angle a (radians,
/// counter-clockwise when positive, several turns allowed), or about the axis through p
/// along the rotation vector v by the angle |v| (right-hand rule). Arguments, layers,
/// patterns, -199 and cost as in the file description. Coordinates of 2 or 3 rows: the
/// plane forms keep the row count and give copies third coordinate 0.0; the space forms
/// make the coordinates 3 rows first (-199 if refused). Sizing forms: path length of the
/// line's first node (line(0, 0)), r·|a| or |(x - p) × v|; at least one layer.
/// @return
///  - 0: success, also for an empty line;
///  - -1: coordinates;
///  - -2: line IDs;
///  - -5: h0; -6: h1 (sizing forms);
///  - surface rows: -6 (_Q4 count forms), -7 (_T3 count forms), -8 (_Q4 sizing),
///    -9 (_T3 sizing);
///  - -7: pattern above 2, in the plane sizing _T3 form only (the others read such a
///    pattern as 1);
///  - -199: see the file description.
/// @{

/// About the centre c by the angle a, into quadrangles, n even layers.
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, unsigned int n,
                                  dense2D<unsigned int>& surface);
/// About the centre c by the angle a, into quadrangles, layers graded from h0 to h1.
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
/// About the axis through p by the rotation vector v, into quadrangles, n even layers.
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, unsigned int n,
                                  dense2D<unsigned int>& surface);
/// About the axis through p by the rotation vector v, into quadrangles, layers graded from h0 to
/// h1.
SURFKIT_API int extrude_rotate_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
/// About the centre c by the angle a, into triangles, n even layers.
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, unsigned int n,
                                  int pattern, dense2D<unsigned int>& surface);
/// About the centre c by the angle a, into triangles, layers graded from h0 to h1.
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 2>& c, double a, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);
/// About the axis through p by the rotation vector v, into triangles, n even layers.
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, unsigned int n, int pattern,
                                  dense2D<unsigned int>& surface);
/// About the axis through p by the rotation vector v, into triangles, layers graded from h0 to h1.
SURFKIT_API int extrude_rotate_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);
/// @}

/// @name Spiral
/// Sweeps a line mesh by a screw motion: copy in layer k at p + R(t_k·v)·(x - p) + t_k·t,
/// the rotation about the axis through p along v by |v| radians combined with the
/// translation t. Arguments, layers, patterns, -199 and cost as in the file description;
/// coordinates of 2 or 3 rows, made 3 rows when node layers are added. Every pattern is
/// accepted (values other than 0 and 2 read as 1).
///
/// Sizing forms: path length |t|, and t = 0 makes no layer (returns 0; an empty surface
/// still gets its row count).
///
/// Count forms: n = 0 returns 0 at once; otherwise the sizing form with h0 = h1 = |t|/n,
/// which gives n even layers, so t = 0 returns -6; where |t|/n is not a usable size
/// although t is not 0 (overflow, underflow), the n even layers are made directly.
/// @return
///  - 0: success, also for an empty line;
///  - -1: coordinates;
///  - -2: line IDs;
///  - -6: h0 (count forms: t = 0); -7: h1;
///  - -9 (_Q4) / -10 (_T3): surface rows;
///  - -199: see the file description.
/// @{

/// Screw motion (p, v, t), into quadrangles, layers graded from h0 to h1.
SURFKIT_API int extrude_spiral_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, double h0, double h1,
                                  bool force_even, dense2D<unsigned int>& surface);
/// Screw motion (p, v, t), into triangles, layers graded from h0 to h1.
SURFKIT_API int extrude_spiral_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, double h0, double h1,
                                  int pattern, bool force_even, dense2D<unsigned int>& surface);
/// Screw motion (p, v, t), into quadrangles, n even layers.
SURFKIT_API int extrude_spiral_Q4(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, unsigned int n,
                                  dense2D<unsigned int>& surface);
/// Screw motion (p, v, t), into triangles, n even layers.
SURFKIT_API int extrude_spiral_T3(dense2D<double>& coordinates, const dense2D<unsigned int>& line,
                                  const vector_fixed<double, 3>& p,
                                  const vector_fixed<double, 3>& v,
                                  const vector_fixed<double, 3>& t, unsigned int n, int pattern,
                                  dense2D<unsigned int>& surface);
/// @}

}  // namespace orvo::surfkit
