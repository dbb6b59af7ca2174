#include "convert/quadratic_mesh.hpp"

#include "common/checks.hpp"
#include "common/mesh_access.hpp"

namespace orvo::surfkit::detail {

int read_quadratic_mesh(const dense2D<unsigned int>& conn, std::size_t node_count,
                        quadratic_mesh& mesh) {
  const std::size_t rows = conn.rows(), elements = conn.cols();
  if (rows != 6 && rows != 8 && rows != 9) return -2;

  if (elements > most_elements) return storage_refused;
  bool quads = false;
  for (std::size_t e = 0; e < elements && !quads; ++e) quads = !is_triangle(element(conn, e), rows);
  if (!mesh.role.resize(node_count, unused) || !mesh.index.resize(node_count, UINT_MAX) ||
      !mesh.linear.resize_for_overwrite(quads ? 4 : 3, elements))
    return storage_refused;
  unsigned char* role = mesh.role.data();
  unsigned* index = mesh.index.data();

  // Vertices first, so that a node met later as an added node is known to be one.
  // The IDs are checked on the way.
  for (std::size_t e = 0; e < elements; ++e) {
    const unsigned* col = element(conn, e);
    const unsigned n = node_rows(col, rows);
    for (unsigned r = 0; r < n; ++r)
      if (col[r] >= node_count) return -2;
    for (unsigned k = 0; k < (n == 6 ? 3u : 4u); ++k) role[col[k]] = vertex;
  }
  std::size_t vertices = 0;
  for (std::size_t v = 0; v < node_count; ++v)
    if (role[v] == vertex) index[v] = static_cast<unsigned>(vertices++);
  if (!mesh.node_of.resize(vertices)) return storage_refused;
  for (std::size_t v = 0; v < node_count; ++v)
    if (role[v] == vertex) mesh.node_of[index[v]] = static_cast<unsigned>(v);
  for (std::size_t e = 0; e < elements; ++e) {
    const unsigned* col = element(conn, e);
    const bool triangle = is_triangle(col, rows);
    unsigned* lin = mesh.linear.data() + e * mesh.linear.ld();
    for (unsigned k = 0; k < (triangle ? 3u : 4u); ++k) lin[k] = index[col[k]];
    if (quads && triangle) lin[3] = no_id;
    for (unsigned j = 0; j < (triangle ? 3u : 4u); ++j) {
      unsigned a, b;
      edge_vertices(col, triangle, j, a, b);
      const unsigned mid = col[edge_row(triangle, j)];
      if (role[mid] == unused) {
        role[mid] = edge_node;
        index[mid] = static_cast<unsigned>(4 * e + j);
        continue;
      }
      if (role[mid] != edge_node) return -2;
      // Met before: on the same two vertices, whichever way round.
      unsigned c, d;
      const unsigned* first = element(conn, index[mid] / 4);
      edge_vertices(first, is_triangle(first, rows), index[mid] % 4, c, d);
      if (!((a == c && b == d) || (a == d && b == c))) return -2;
    }
  }
  if (rows == 9) {
    for (std::size_t e = 0; e < elements; ++e) {
      const unsigned* col = element(conn, e);
      if (is_triangle(col, rows)) continue;
      if (role[col[8]] != unused) return -2;
      role[col[8]] = face_node;
    }
  }
  return 0;
}

}  // namespace orvo::surfkit::detail
