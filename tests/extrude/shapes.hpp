// The 20 extrusion signatures as one table, so that checks, refusal sweeps and mesh
// invariants run over every call shape.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "orvo/surfkit.hpp"

namespace extrude_testing {

using orvo::dense2D;
using orvo::vector_fixed;
namespace sk = orvo::surfkit;

struct args {
  unsigned n = 3;
  double h0 = 0.4, h1 = 0.4;
  int pattern = 0;
  bool force_even = false;
};

struct shape {
  std::string name;
  bool count;        // layer-count overload
  bool triangles;    // _T3
  bool plane_only;   // accepts 2 rows only
  int h0_code;       // sizing: code of h0 (h1 is the next)
  int pattern_code;  // 0: pattern not tested
  int surface_code;
  std::function<int(dense2D<double>&, const dense2D<unsigned>&, dense2D<unsigned>&, const args&)>
      call;
};

inline std::vector<shape> all_shapes() {
  using C = dense2D<double>;
  using L = const dense2D<unsigned>;
  using S = dense2D<unsigned>;
  const vector_fixed<double, 2> d2{{0.3, 1.1}}, c2{{-0.5, -0.25}};
  const vector_fixed<double, 3> d3{{0.3, 1.1, 0.7}}, p{{-0.5, -0.25, 0.1}}, v{{0.2, 0.4, 1.3}},
      t{{0.1, -0.2, 1.0}};
  const double a = 1.2;
  return {
      {"translate_Q4 plane count", true, false, true, 0, 0, -5,
       [=](C& x, L& l, S& s, const args& g) { return sk::extrude_translate_Q4(x, l, d2, g.n, s); }},
      {"translate_Q4 plane sizes", false, false, true, -4, 0, -7,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_Q4(x, l, d2, g.h0, g.h1, g.force_even, s);
       }},
      {"translate_Q4 space count", true, false, false, 0, 0, -5,
       [=](C& x, L& l, S& s, const args& g) { return sk::extrude_translate_Q4(x, l, d3, g.n, s); }},
      {"translate_Q4 space sizes", false, false, false, -4, 0, -7,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_Q4(x, l, d3, g.h0, g.h1, g.force_even, s);
       }},
      {"translate_T3 plane count", true, true, true, 0, -5, -6,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_T3(x, l, d2, g.n, g.pattern, s);
       }},
      {"translate_T3 plane sizes", false, true, true, -4, -6, -8,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_T3(x, l, d2, g.h0, g.h1, g.pattern, g.force_even, s);
       }},
      {"translate_T3 space count", true, true, false, 0, -5, -6,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_T3(x, l, d3, g.n, g.pattern, s);
       }},
      {"translate_T3 space sizes", false, true, false, -4, -6, -8,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_translate_T3(x, l, d3, g.h0, g.h1, g.pattern, g.force_even, s);
       }},
      {"rotate_Q4 plane count", true, false, false, 0, 0, -6,
       [=](C& x, L& l, S& s, const args& g) { return sk::extrude_rotate_Q4(x, l, c2, a, g.n, s); }},
      {"rotate_Q4 plane sizes", false, false, false, -5, 0, -8,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_Q4(x, l, c2, a, g.h0, g.h1, g.force_even, s);
       }},
      {"rotate_Q4 space count", true, false, false, 0, 0, -6,
       [=](C& x, L& l, S& s, const args& g) { return sk::extrude_rotate_Q4(x, l, p, v, g.n, s); }},
      {"rotate_Q4 space sizes", false, false, false, -5, 0, -8,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_Q4(x, l, p, v, g.h0, g.h1, g.force_even, s);
       }},
      {"rotate_T3 plane count", true, true, false, 0, 0, -7,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_T3(x, l, c2, a, g.n, g.pattern, s);
       }},
      {"rotate_T3 plane sizes", false, true, false, -5, -7, -9,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_T3(x, l, c2, a, g.h0, g.h1, g.pattern, g.force_even, s);
       }},
      {"rotate_T3 space count", true, true, false, 0, 0, -7,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_T3(x, l, p, v, g.n, g.pattern, s);
       }},
      {"rotate_T3 space sizes", false, true, false, -5, 0, -9,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_rotate_T3(x, l, p, v, g.h0, g.h1, g.pattern, g.force_even, s);
       }},
      {"spiral_Q4 sizes", false, false, false, -6, 0, -9,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_spiral_Q4(x, l, p, v, t, g.h0, g.h1, g.force_even, s);
       }},
      {"spiral_T3 sizes", false, true, false, -6, 0, -10,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_spiral_T3(x, l, p, v, t, g.h0, g.h1, g.pattern, g.force_even, s);
       }},
      {"spiral_Q4 count", true, false, false, 0, 0, -9,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_spiral_Q4(x, l, p, v, t, g.n, s);
       }},
      {"spiral_T3 count", true, true, false, 0, 0, -10,
       [=](C& x, L& l, S& s, const args& g) {
         return sk::extrude_spiral_T3(x, l, p, v, t, g.n, g.pattern, s);
       }},
  };
}

}  // namespace extrude_testing
