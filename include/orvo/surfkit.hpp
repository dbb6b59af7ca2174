/// @file
/// surfkit: tools for plane and surface meshes of linear and quadratic triangles and
/// quadrangles. Every function is free, keeps no state, does no I/O, starts no threads
/// and returns an int code. This header includes every family's header; each family's
/// declarations live in its own header under orvo/surfkit/:
///
/// | header                  | functions                                                 |
/// |-------------------------|-----------------------------------------------------------|
/// | surfkit/frame.hpp       | version, flip                                             |
/// | surfkit/convert.hpp     | convert_mixed, convert_Q4, convert_T3, split_into_Q4       |
/// | surfkit/topology.hpp    | convert_degenerated_Q4, split_Q4_into_T3, mesh_reorient    |
/// | surfkit/extrude.hpp     | extrude_translate_*, extrude_rotate_*, extrude_spiral_*    |
/// | surfkit/structured.hpp  | mesh_struct_Q4, mesh_struct_T3, metrics_struct            |
/// | surfkit/interp.hpp      | interpolate, interpolate_metrics                          |
/// | surfkit/geometry.hpp    | area, angles, normals, principal_curvatures,              |
/// |                         | fitted_curvatures, parametric_curvatures,                 |
/// |                         | metrics_gen_aniso3d                                       |
///
/// Conventions of every export:
///  - coordinates: dense2D<double>, 2 (plane) or 3 (space) by \#nodes; node ID = column.
///  - connectivity: dense2D<unsigned int>, \#local nodes by \#elements (see orvo/basekit.hpp
///    for the node numbering of each element_type).
///  - UINT_MAX as an ID means "none" (a triangle's row 3 in FACE_MIX, a boundary edge in
///    a neighbour matrix).
///  - codes: 0 success (some exports return a count instead); -k: the k-th argument (from
///    1) was rejected and nothing was changed; -199: storage was refused. Arguments are
///    checked in a fixed order: an input without elements returns 0 at once, then
///    coordinates, input connectivities, scalars, outputs.
///  - exceptions: the arrays never throw; a few exports also use standard containers for
///    scratch, and when those cannot have their memory std::bad_alloc propagates, with
///    every argument as on entry (their declarations say so).
///  - outputs: new elements and nodes are appended as columns behind the existing ones
///    unless the function says it sizes its result afresh.
#pragma once

#include <climits>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"
#include "orvo/export.hpp"
#include "orvo/surfkit/convert.hpp"
#include "orvo/surfkit/extrude.hpp"
#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit/geometry.hpp"
#include "orvo/surfkit/interp.hpp"
#include "orvo/surfkit/structured.hpp"
#include "orvo/surfkit/topology.hpp"
