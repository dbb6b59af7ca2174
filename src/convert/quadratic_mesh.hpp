// A quadratic mesh as curve_quadratic reads it: T6, Q8, Q9 or the mixed 8/9-row forms,
// its vertex connectivity for the mesh plumbing, and the role of every node.
#pragma once

#include <climits>
#include <cstddef>

#include "orvo/dense.hpp"

namespace orvo::surfkit::detail {

// What a node is to the elements that hold it.
enum node_role : unsigned char { unused = 0, vertex = 1, edge_node = 2, face_node = 3 };
constexpr unsigned char role_bits = 3;  // the node_role in a role entry; higher bits are free

// Element column `col` of a connectivity of `rows` rows (6, 8 or 9) is a six-node
// triangle: every column of a 6-row mesh, and those with UINT_MAX in row 6 otherwise.
inline bool is_triangle(const unsigned* col, std::size_t rows) noexcept {
  return rows == 6 || col[6] == UINT_MAX;
}

// Nodes of column `col`: 6 for a triangle, else the row count.
inline unsigned node_rows(const unsigned* col, std::size_t rows) noexcept {
  return is_triangle(col, rows) ? 6u : static_cast<unsigned>(rows);
}

// Local edge j: of a triangle it faces vertex j and runs from j + 1 to j + 2 (its node in
// row 3 + j); of a quadrangle it runs from j to j + 1 (its node in row 4 + j). This is
// the neighbour matrix's numbering. `col` needs only its vertex rows here.
inline void edge_vertices(const unsigned* col, bool triangle, unsigned j, unsigned& a,
                          unsigned& b) noexcept {
  if (triangle) {
    a = col[(j + 1) % 3], b = col[(j + 2) % 3];
  } else {
    a = col[j], b = col[(j + 1) % 4];
  }
}

// Row of local edge j's node.
inline unsigned edge_row(bool triangle, unsigned j) noexcept {
  return (triangle ? 3 : 4) + j;
}

// The checked mesh. Vertices are also numbered among themselves (their rank, in node
// order), and the vertex connectivity is written in ranks: everything the curving does
// per vertex then runs over compact arrays of the vertex count, not of every node.
struct quadratic_mesh {
  dense1D<unsigned char, 8> role;    // per node: node_role, and the flags curving adds
  dense1D<unsigned int, 8> index;    // per node: a vertex's rank; an edge node's first
                                     // holder as 4 e + j (local edge j of element e)
  dense1D<unsigned int, 8> node_of;  // per vertex rank: the node
  dense2D<unsigned int> linear;      // 3 (all triangles) or 4 (FACE_MIX) by #elements, ranks
};

// Elements at most: an edge node's holder 4 e + j must fit in 32 bits.
constexpr std::size_t most_elements = (std::size_t{1} << 30) - 1;

// Checks a quadratic connectivity over `node_count` nodes and fills `mesh`. Returns 0;
// -2 when the connectivity is not 6, 8 or 9 rows, or has an
// ID that is read (rows 0-5 of a triangle, every row of a quadrangle) and not below
// node_count, a node that is a vertex of one element and an added node of another, an
// edge node on two different edges or at an edge's end, or a face node held twice or also
// on an edge; -199 when storage is refused or there are more than most_elements.
int read_quadratic_mesh(const dense2D<unsigned int>& conn, std::size_t node_count,
                        quadratic_mesh& mesh);

}  // namespace orvo::surfkit::detail
