// A small writer of VTK unstructured-grid files (.vtu, ASCII) for the example tour, so
// that every mesh it makes can be opened in ParaView. Not part of the library.
#pragma once

#include <climits>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/dense.hpp"

namespace tour {

struct vtu_field {
  std::string name;
  int components = 1;
  std::vector<double> values;  // components * #points (or #cells), point by point
};

struct vtu_mesh {
  orvo::dense2D<double> coords;              // 2 or 3 rows; plane meshes get z = 0
  std::vector<std::vector<unsigned>> cells;  // node IDs in VTK order
  std::vector<std::uint8_t> types;           // VTK cell type per cell
  std::vector<vtu_field> point_data, cell_data;
};

// VTK cell types used here.
enum : std::uint8_t {
  vtk_line = 3,
  vtk_triangle = 5,
  vtk_quad = 9,
  vtk_quadratic_triangle = 22,
  vtk_quadratic_quad = 23,
  vtk_biquadratic_quad = 28
};

// Adds every column of `conn` as a cell. Handles EDGE2, T3, Q4, T6, Q8, Q9 and FACE_MIX
// (linear: UINT_MAX in row 3 marks a triangle; quadratic: UINT_MAX in row 6).
inline void add_cells(vtu_mesh& m, const orvo::dense2D<unsigned>& conn, orvo::element_type type) {
  const std::size_t rows = conn.empty() ? 0 : conn.rows();
  for (std::size_t j = 0; j < conn.cols() && rows; ++j) {
    auto at = [&](std::size_t r) { return conn(r, j); };
    std::vector<unsigned> c;
    std::uint8_t t = 0;
    const bool mixed = type == orvo::FACE_MIX;
    const bool six = rows == 6 || (mixed && rows >= 8 && at(6) == UINT_MAX) || (type == orvo::T6);
    if (type == orvo::EDGE2 || rows == 2) {
      c = {at(0), at(1)}, t = vtk_line;
    } else if (rows == 3 || (rows == 4 && mixed && at(3) == UINT_MAX)) {
      c = {at(0), at(1), at(2)}, t = vtk_triangle;
    } else if (rows == 4) {
      c = {at(0), at(1), at(2), at(3)}, t = vtk_quad;
    } else if (six) {  // our mid-nodes face the vertex of the same index; VTK's follow edges
      c = {at(0), at(1), at(2), at(5), at(3), at(4)}, t = vtk_quadratic_triangle;
    } else if (rows == 8) {
      for (std::size_t r = 0; r < 8; ++r) c.push_back(at(r));
      t = vtk_quadratic_quad;
    } else if (rows == 9) {
      for (std::size_t r = 0; r < 9; ++r) c.push_back(at(r));
      t = vtk_biquadratic_quad;
    } else {
      continue;
    }
    m.cells.push_back(std::move(c));
    m.types.push_back(t);
  }
}

inline bool write_vtu(const std::string& path, const vtu_mesh& m) {
  std::ofstream out(path);
  if (!out) return false;
  out.precision(17);
  const std::size_t np = m.coords.cols();
  out << "<?xml version=\"1.0\"?>\n"
      << "<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
      << "<UnstructuredGrid>\n<Piece NumberOfPoints=\"" << np << "\" NumberOfCells=\""
      << m.cells.size() << "\">\n";
  auto fields = [&](const char* tag, const std::vector<vtu_field>& fs) {
    if (fs.empty()) return;
    out << "<" << tag << ">\n";
    for (const auto& f : fs) {
      out << "<DataArray type=\"Float64\" Name=\"" << f.name << "\" NumberOfComponents=\""
          << f.components << "\" format=\"ascii\">\n";
      for (double v : f.values) out << v << ' ';
      out << "\n</DataArray>\n";
    }
    out << "</" << tag << ">\n";
  };
  fields("PointData", m.point_data);
  fields("CellData", m.cell_data);
  out << "<Points>\n<DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">\n";
  for (std::size_t i = 0; i < np; ++i)
    for (std::size_t r = 0; r < 3; ++r) out << (r < m.coords.rows() ? m.coords(r, i) : 0.0) << ' ';
  out << "\n</DataArray>\n</Points>\n<Cells>\n"
      << "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
  for (const auto& c : m.cells)
    for (unsigned id : c) out << id << ' ';
  out << "\n</DataArray>\n<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
  std::size_t offset = 0;
  for (const auto& c : m.cells) out << (offset += c.size()) << ' ';
  out << "\n</DataArray>\n<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
  for (auto t : m.types) out << int(t) << ' ';
  out << "\n</DataArray>\n</Cells>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
  return static_cast<bool>(out);
}

}  // namespace tour
