// surfkit side by side with the open-source libraries Debian packages (VTK 9.1, CGAL 5.5,
// Gmsh 4.8, nanoflann 1.4) on the same inputs, in one run. For every operation both sides
// run once and their results are compared (node and element counts, coordinate sums,
// values) before anything is timed; then each side is timed, best of three (of one when a
// run takes longer than 3 s). Building a peer's own data structures from the arrays
// (vtkPolyData, Surface_mesh, a Gmsh model) is not timed; whatever the operation builds
// for itself (locators, trees, edge maps) is.
//
// Prints one Markdown table: operation, size, surfkit time, peer time, peer / surfkit,
// and whether the results agree.
#include <CGAL/AABB_face_graph_triangle_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/compute_normal.h>
#include <CGAL/Polygon_mesh_processing/locate.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>
#include <gmsh.h>
#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkGenericCell.h>
#include <vtkIdTypeArray.h>
#include <vtkLinearToQuadraticCellsFilter.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRotationalExtrusionFilter.h>
#include <vtkSMPTools.h>
#include <vtkSmartPointer.h>
#include <vtkStaticCellLocator.h>
#include <vtkTriangleMeshPointNormals.h>
#include <vtkUnstructuredGrid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <nanoflann.hpp>
#include <random>
#include <string>
#include <vector>

#include "../../tests/support/surfaces.hpp"
#include "../inputs.hpp"
#include "interp/node_quadtree.hpp"
#include "orvo/surfkit.hpp"

namespace {

using orvo::dense1D;
using orvo::dense2D;
namespace sk = orvo::surfkit;
namespace bi = bench_inputs;
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<K::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

// ---- timing and the table ------------------------------------------------------------

// Processor time of this process: the machine is shared, and every side runs on one
// thread (VTK's SMP tools are held to one, Gmsh's threads to one).
double cpu_now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double seconds(const std::function<void()>& f) {
  const double t0 = cpu_now();
  f();
  return cpu_now() - t0;
}

// Best of three runs of `run`, each after an untimed `setup`; one run when it is slow.
double best(const std::function<void()>& setup, const std::function<void()>& run) {
  double b = 1e300;
  for (int r = 0; r < 3; ++r) {
    setup();
    const double t = seconds(run);
    b = std::min(b, t);
    if (t > 3.0) break;
  }
  return b;
}

struct row {
  std::string operation, size, peer;
  double mine, theirs;
  std::string agree;
};
std::vector<row> table;

void add(const std::string& op, const std::string& size, const std::string& peer, double mine,
         double theirs, const std::string& agree) {
  table.push_back({op, size, peer, mine, theirs, agree});
  std::fprintf(stderr, "%s | %s | %.4f s | %s %.4f s | %s\n", op.c_str(), size.c_str(), mine,
               peer.c_str(), theirs, agree.c_str());
}

std::string verdict(bool ok, const std::string& what) {
  return (ok ? "yes (" : "NO (") + what + ")";
}

std::string fmt(const char* f, double v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

// ---- peer data structures -------------------------------------------------------------

vtkSmartPointer<vtkPoints> vtk_points(const dense2D<double>& x, std::size_t count) {
  vtkNew<vtkDoubleArray> a;
  a->SetNumberOfComponents(3);
  a->SetNumberOfTuples(static_cast<vtkIdType>(count));
  double* p = a->GetPointer(0);
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t r = 0; r < 3; ++r) p[3 * i + r] = r < x.rows() ? x(r, i) : 0.0;
  auto pts = vtkSmartPointer<vtkPoints>::New();
  pts->SetData(a);
  return pts;
}

vtkSmartPointer<vtkCellArray> vtk_cells(const dense2D<unsigned>& c) {
  const std::size_t k = c.rows(), n = c.cols();
  vtkNew<vtkIdTypeArray> offsets, conn;
  offsets->SetNumberOfTuples(static_cast<vtkIdType>(n + 1));
  conn->SetNumberOfTuples(static_cast<vtkIdType>(k * n));
  for (std::size_t e = 0; e <= n; ++e) offsets->SetValue(static_cast<vtkIdType>(e), k * e);
  for (std::size_t e = 0; e < n; ++e)
    for (std::size_t r = 0; r < k; ++r) conn->SetValue(static_cast<vtkIdType>(k * e + r), c(r, e));
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, conn);
  return cells;
}

Mesh cgal_mesh(const dense2D<double>& x, std::size_t nodes, const dense2D<unsigned>& c) {
  Mesh m;
  m.reserve(static_cast<Mesh::size_type>(nodes), 0, static_cast<Mesh::size_type>(c.cols()));
  for (std::size_t i = 0; i < nodes; ++i)
    m.add_vertex(K::Point_3(x(0, i), x(1, i), x.rows() > 2 ? x(2, i) : 0.0));
  std::vector<Mesh::Vertex_index> f(c.rows());
  for (std::size_t e = 0; e < c.cols(); ++e) {
    for (std::size_t r = 0; r < c.rows(); ++r) f[r] = Mesh::Vertex_index(c(r, e));
    m.add_face(f);
  }
  return m;
}

// A Gmsh model holding one discrete surface with the given elements (type 2: 3-node
// triangles, 3: 4-node quadrangles).
void gmsh_model(const dense2D<double>& x, const dense2D<unsigned>& c, int type) {
  gmsh::clear();
  gmsh::model::add("peer");
  gmsh::model::addDiscreteEntity(2, 1);
  std::vector<std::size_t> tags(x.cols());
  std::vector<double> xyz(3 * x.cols());
  for (std::size_t i = 0; i < x.cols(); ++i) {
    tags[i] = i + 1;
    for (std::size_t r = 0; r < 3; ++r) xyz[3 * i + r] = r < x.rows() ? x(r, i) : 0.0;
  }
  gmsh::model::mesh::addNodes(2, 1, tags, xyz);
  std::vector<std::size_t> etags(c.cols()), nodes(c.rows() * c.cols());
  for (std::size_t e = 0; e < c.cols(); ++e) {
    etags[e] = e + 1;
    for (std::size_t r = 0; r < c.rows(); ++r) nodes[c.rows() * e + r] = c(r, e) + 1;
  }
  gmsh::model::mesh::addElementsByType(1, type, etags, nodes);
}

double coordinate_sum(const dense2D<double>& x) {
  double s = 0;
  for (std::size_t i = 0; i < x.cols(); ++i)
    for (std::size_t r = 0; r < x.rows(); ++r) s += x(r, i);
  return s;
}

double coordinate_sum(vtkPoints* p) {
  double s = 0;
  for (vtkIdType i = 0; i < p->GetNumberOfPoints(); ++i) {
    double q[3];
    p->GetPoint(i, q);
    s += q[0] + q[1] + q[2];
  }
  return s;
}

bool close(double a, double b, double rel) {
  return std::fabs(a - b) <= rel * std::max(std::fabs(a), std::fabs(b));
}

// ---- the operations -------------------------------------------------------------------

// Whether the Gmsh model's nodes match surfkit's converted coordinates: count and sum.
std::string gmsh_agrees(const dense2D<double>& mine) {
  std::vector<std::size_t> tags;
  std::vector<double> xyz, uvw;
  gmsh::model::mesh::getNodes(tags, xyz, uvw);
  double sum = 0;
  for (double v : xyz) sum += v;
  const bool ok = tags.size() == mine.cols() && close(sum, coordinate_sum(mine), 1e-12);
  return verdict(ok, std::to_string(tags.size()) + " nodes, coordinate sums");
}

void conversion_T3() {
  const bi::grid base = bi::make_grid(1000, true);
  bi::grid g;
  auto fresh = [&] { g.coords.copy(base.coords), g.tris.copy(base.tris); };
  auto mine = [&] { sk::convert_T3(g.coords, g.tris, 1, 0); };
  auto theirs = [&] { gmsh::model::mesh::setOrder(2); };
  fresh();
  mine();
  gmsh_model(base.coords, base.tris, 2);
  theirs();
  const std::string agree = gmsh_agrees(g.coords);
  add("T3 -> T6", "2 M triangles", "Gmsh `setOrder(2)`", best(fresh, mine),
      best([&] { gmsh_model(base.coords, base.tris, 2); }, theirs), agree);
}

void conversion_Q4(bool complete) {
  const bi::grid base = bi::make_grid(1000, false);
  bi::grid g;
  auto fresh = [&] { g.coords.copy(base.coords), g.quads.copy(base.quads); };
  auto mine = [&] { sk::convert_Q4(g.coords, g.quads, 1, complete ? 1 : 0); };
  gmsh::option::setNumber("Mesh.SecondOrderIncomplete", complete ? 0 : 1);
  auto theirs = [&] { gmsh::model::mesh::setOrder(2); };
  fresh();
  mine();
  gmsh_model(base.coords, base.quads, 3);
  theirs();
  const std::string agree = gmsh_agrees(g.coords);
  const std::string op = complete ? "Q4 -> Q9" : "Q4 -> Q8";
  add(op, "1 M quadrangles", "Gmsh `setOrder(2)`", best(fresh, mine),
      best([&] { gmsh_model(base.coords, base.quads, 3); }, theirs), agree);
  if (complete) return;
  // VTK makes quadratic quadrangles of 8 nodes, merging the edge nodes through a point
  // locator.
  auto grid = vtkSmartPointer<vtkUnstructuredGrid>::New();
  grid->SetPoints(vtk_points(base.coords, base.coords.cols()));
  grid->SetCells(VTK_QUAD, vtk_cells(base.quads));
  vtkNew<vtkLinearToQuadraticCellsFilter> filter;
  filter->SetInputData(grid);
  filter->Update();
  vtkPoints* out = filter->GetOutput()->GetPoints();
  const bool vok = out->GetNumberOfPoints() == static_cast<vtkIdType>(g.coords.cols()) &&
                   close(coordinate_sum(out), coordinate_sum(g.coords), 1e-9);
  add(op, "1 M quadrangles", "VTK `vtkLinearToQuadraticCellsFilter`", best(fresh, mine),
      best([&] { filter->Modified(); }, [&] { filter->Update(); }),
      verdict(vok, std::to_string(out->GetNumberOfPoints()) + " nodes, coordinate sums"));
}

double signed_area_sum(const dense2D<double>& x, const dense2D<unsigned>& t) {
  double a = 0;
  sk::area(x, t, a);
  return a;
}

void split_better_diagonal() {
  const bi::grid base = bi::make_grid(1000, false);
  dense2D<unsigned> out;
  auto mine = [&] { sk::split_Q4_into_T3(base.coords, base.quads, out); };
  auto fresh = [&] { out = dense2D<unsigned>(); };
  fresh();
  mine();
  Mesh m;
  auto reset = [&] { m = cgal_mesh(base.coords, base.coords.cols(), base.quads); };
  auto theirs = [&] { PMP::triangulate_faces(m); };
  reset();
  theirs();
  double area = 0;
  for (auto f : m.faces()) {
    auto h = m.halfedge(f);
    const auto& p = m.point(m.source(h));
    const auto& q = m.point(m.target(h));
    const auto& r = m.point(m.target(m.next(h)));
    area += 0.5 * ((q.x() - p.x()) * (r.y() - p.y()) - (q.y() - p.y()) * (r.x() - p.x()));
  }
  const bool ok =
      m.number_of_faces() == out.cols() && close(area, signed_area_sum(base.coords, out), 1e-12);
  add("split quadrangles, better diagonal", "1 M quadrangles", "CGAL `triangulate_faces`",
      best(fresh, mine), best(reset, theirs),
      verdict(ok, std::to_string(out.cols()) + " triangles, areas"));
}

// Neighbour matrix of a triangle mesh (entry (j, e): across the edge facing vertex j).
dense2D<unsigned> triangle_neighbours(const dense2D<unsigned>& t) {
  return surfaces::neighbours(t);
}

void reorient() {
  const bi::grid base = bi::make_grid(1000, true);
  dense2D<unsigned> flipped;
  flipped.copy(base.tris);
  for (std::size_t e = 1; e < flipped.cols(); e += 2) std::swap(flipped(0, e), flipped(2, e));
  const dense2D<unsigned> nb0 = triangle_neighbours(flipped);
  dense2D<unsigned> c, nb;
  auto fresh = [&] { c.copy(flipped), nb.copy(nb0); };
  auto mine = [&] { sk::mesh_reorient(c, nb, 0, 1); };
  fresh();
  mine();
  std::vector<K::Point_3> points;
  std::vector<std::array<std::size_t, 3>> polygons;
  auto reset = [&] {
    points.clear(), polygons.clear();
    for (std::size_t i = 0; i < base.coords.cols(); ++i)
      points.emplace_back(base.coords(0, i), base.coords(1, i), 0.0);
    for (std::size_t e = 0; e < flipped.cols(); ++e)
      polygons.push_back({flipped(0, e), flipped(1, e), flipped(2, e)});
  };
  auto theirs = [&] { PMP::orient_polygon_soup(points, polygons); };
  reset();
  theirs();
  // Both sides orient every triangle alike (each may pick either side).
  std::size_t positive = 0;
  for (const auto& p : polygons) {
    const auto &a = points[p[0]], &b = points[p[1]], &d = points[p[2]];
    positive += (b.x() - a.x()) * (d.y() - a.y()) - (b.y() - a.y()) * (d.x() - a.x()) > 0;
  }
  const double mine_area = signed_area_sum(base.coords, c);
  const bool ok = polygons.size() == c.cols() && (positive == 0 || positive == polygons.size()) &&
                  close(std::fabs(mine_area), 1e6, 1e-12);
  add("reorient (half the triangles flipped)", "2 M triangles", "CGAL `orient_polygon_soup`",
      best(fresh, mine), best(reset, theirs),
      verdict(ok, "every triangle one way, " + std::to_string(points.size()) + " nodes"));
}

double largest_angle(const dense2D<double>& mine,
                     const std::function<void(std::size_t, double*)>& theirs) {
  double worst = 0;
  for (std::size_t i = 0; i < mine.cols(); ++i) {
    double n[3];
    theirs(i, n);
    double dot = 0,
           cr[3] = {mine(1, i) * n[2] - mine(2, i) * n[1], mine(2, i) * n[0] - mine(0, i) * n[2],
                    mine(0, i) * n[1] - mine(1, i) * n[0]};
    for (int r = 0; r < 3; ++r) dot += mine(r, i) * n[r];
    const double a = std::atan2(std::sqrt(cr[0] * cr[0] + cr[1] * cr[1] + cr[2] * cr[2]), dot);
    worst = std::max(worst, a);
  }
  return worst;
}

void normals() {
  const surfaces::mesh s = surfaces::geodesic_sphere(224, 1.0);
  dense2D<double> n;
  auto mine = [&] { sk::normals(s.coords, s.conn, 1.0, true, n); };
  mine();
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(vtk_points(s.coords, s.coords.cols()));
  pd->SetPolys(vtk_cells(s.conn));
  vtkNew<vtkTriangleMeshPointNormals> filter;
  filter->SetInputData(pd);
  filter->Update();
  vtkDataArray* vn = filter->GetOutput()->GetPointData()->GetNormals();
  const double a = largest_angle(
      n, [&](std::size_t i, double* v) { vn->GetTuple(static_cast<vtkIdType>(i), v); });
  const std::string size = std::to_string(s.conn.cols() / 1000) + " k triangles";
  add("normals (area-weighted)", size, "VTK `vtkTriangleMeshPointNormals`", best([] {}, mine),
      best([&] { filter->Modified(); }, [&] { filter->Update(); }),
      verdict(a < 1e-6, "largest angle " + fmt("%.1e", a) + " rad"));
  Mesh m = cgal_mesh(s.coords, s.coords.cols(), s.conn);
  auto vnormals = m.add_property_map<Mesh::Vertex_index, K::Vector_3>("v:n").first;
  auto theirs = [&] { PMP::compute_vertex_normals(m, vnormals); };
  theirs();
  const double b = largest_angle(n, [&](std::size_t i, double* v) {
    const K::Vector_3& w = vnormals[Mesh::Vertex_index(static_cast<Mesh::size_type>(i))];
    v[0] = w.x(), v[1] = w.y(), v[2] = w.z();
  });
  // CGAL weighs by the corner angles' sines rather than by area: directions differ a
  // little where the triangles around a node differ in shape.
  add("normals", size, "CGAL `compute_vertex_normals`", best([] {}, mine), best([] {}, theirs),
      verdict(b < 1e-2, "other weights, largest angle " + fmt("%.1e", b) + " rad"));
}

void interpolation() {
  bi::scene s = bi::make_scene(2000000, 1000000);
  const std::size_t nb = s.background_nodes, nt = s.targets.size();
  dense2D<double> base(3, s.coords.cols(), 1.0), field;
  for (std::size_t i = 0; i < s.coords.cols(); ++i)
    base(1, i) = s.coords(0, i), base(2, i) = std::sin(7 * s.coords(1, i));
  auto fresh = [&] { field.copy(base); };
  auto mine = [&] { sk::interpolate(s.coords, s.conn, s.neighbours, s.home, field, s.targets); };
  fresh();
  mine();
  // VTK: a static cell locator over the background triangles, FindCell for every target,
  // and the weights it returns applied to the three fields.
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(vtk_points(s.coords, nb));
  pd->SetPolys(vtk_cells(s.conn));
  pd->BuildCells();
  std::vector<double> values(3 * nt);
  auto theirs = [&] {
    vtkNew<vtkStaticCellLocator> locator;
    locator->SetDataSet(pd);
    locator->BuildLocator();
    vtkNew<vtkGenericCell> cell;
    double pc[3], w[3];
    for (std::size_t k = 0; k < nt; ++k) {
      double x[3] = {s.coords(0, nb + k), s.coords(1, nb + k), 0.0};
      const vtkIdType c = locator->FindCell(x, 0.0, cell, pc, w);
      if (c < 0) continue;
      for (int r = 0; r < 3; ++r) {
        double v = 0;
        for (int j = 0; j < 3; ++j) v += w[j] * base(r, s.conn(j, c));
        values[3 * k + r] = v;
      }
    }
  };
  // How many targets the peer's values leave more than 1e-9 from surfkit's, and by how much.
  auto agreement = [&] {
    double worst = 0;
    std::size_t differ = 0;
    for (std::size_t k = 0; k < nt; ++k) {
      bool d = false;
      for (int r = 0; r < 3; ++r) {
        const double gap = std::fabs(values[3 * k + r] - field(r, nb + k));
        worst = std::max(worst, gap);
        d = d || gap > 1e-9;
      }
      differ += d;
    }
    return verdict(differ == 0,
                   std::to_string(differ) + " targets differ, by up to " + fmt("%.1e", worst));
  };
  theirs();
  const std::string size = "1 M points in 2 M triangles";
  add("interpolate 3 fields (locator included)", size, "VTK `vtkStaticCellLocator` + `FindCell`",
      best(fresh, mine), best([] {}, theirs), agreement());
  // CGAL: an AABB tree over the triangles (lifted to z = 0) and locate for every target.
  Mesh m = cgal_mesh(s.coords, nb, s.conn);
  using VPM = boost::property_map<Mesh, CGAL::vertex_point_t>::const_type;
  using Tree =
      CGAL::AABB_tree<CGAL::AABB_traits<K, CGAL::AABB_face_graph_triangle_primitive<Mesh, VPM>>>;
  auto cgal = [&] {
    Tree tree;
    PMP::build_AABB_tree(m, tree);
    for (std::size_t k = 0; k < nt; ++k) {
      const auto loc = PMP::locate_with_AABB_tree(
          K::Point_3(s.coords(0, nb + k), s.coords(1, nb + k), 0.0), tree, m);
      const auto h = m.halfedge(loc.first);
      const unsigned ids[3] = {static_cast<unsigned>(m.source(h)),
                               static_cast<unsigned>(m.target(h)),
                               static_cast<unsigned>(m.target(m.next(h)))};
      for (int r = 0; r < 3; ++r) {
        double v = 0;
        for (int j = 0; j < 3; ++j) v += loc.second[j] * base(r, ids[j]);
        values[3 * k + r] = v;
      }
    }
  };
  cgal();
  add("interpolate 3 fields (locator included)", size, "CGAL AABB tree + `locate_with_AABB_tree`",
      best(fresh, mine), best([] {}, cgal), agreement());
}

void rotate_extrude() {
  const std::size_t edges = 100000;
  const dense2D<double> line_x = bi::polyline(2, edges);
  const dense2D<unsigned> line = bi::segments(edges);
  const double angle = 3.0;
  dense2D<double> x;
  dense2D<unsigned> s;
  auto fresh = [&] { x.copy(line_x), s = dense2D<unsigned>(); };
  auto mine = [&] {
    sk::extrude_rotate_Q4(x, line, orvo::vector_fixed<double, 2>{{0, 0}}, angle, 100, s);
  };
  fresh();
  mine();
  auto pd = vtkSmartPointer<vtkPolyData>::New();
  pd->SetPoints(vtk_points(line_x, line_x.cols()));
  pd->SetLines(vtk_cells(line));
  vtkNew<vtkRotationalExtrusionFilter> filter;
  filter->SetInputData(pd);
  filter->SetResolution(100);
  filter->SetAngle(angle * 180.0 / M_PI);
  filter->SetCapping(0);
  filter->Update();
  vtkPoints* out = filter->GetOutput()->GetPoints();
  const bool ok = out->GetNumberOfPoints() == static_cast<vtkIdType>(x.cols()) &&
                  close(coordinate_sum(out), coordinate_sum(x), 1e-9);
  add("rotate-extrude", "100 k segments x 100 layers", "VTK `vtkRotationalExtrusionFilter`",
      best(fresh, mine), best([&] { filter->Modified(); }, [&] { filter->Update(); }),
      verdict(ok, std::to_string(out->GetNumberOfPoints()) + " nodes, coordinate sums"));
}

// The node quadtree behind interpolation's off-mesh fallback, against a k-d tree.
struct cloud {
  const dense2D<double>* x;
  std::size_t kdtree_get_point_count() const { return x->cols(); }
  double kdtree_get_pt(std::size_t i, std::size_t d) const { return (*x)(d, i); }
  template <class B>
  bool kdtree_get_bbox(B&) const {
    return false;
  }
};

void nearest_node() {
  const std::size_t n = 1000000;
  dense2D<double> x(2, n);
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> u(0, 1);
  for (std::size_t i = 0; i < n; ++i) x(0, i) = u(rng), x(1, i) = u(rng);
  dense2D<unsigned> all(3, (n + 2) / 3, 0u);
  for (std::size_t i = 0; i < n; ++i) all(i % 3, i / 3) = static_cast<unsigned>(i);
  std::vector<std::array<double, 2>> queries(n);
  for (auto& q : queries) q = {u(rng), u(rng)};
  const dense1D<unsigned, 8> home(n, 0u);
  std::vector<std::int64_t> found(n);
  std::vector<unsigned> theirs_found(n);
  auto mine = [&] {
    orvo::surfkit::detail::node_quadtree tree(x);
    tree.build(all);
    for (std::size_t k = 0; k < n; ++k) found[k] = tree.nearest_node_exact(queries[k].data(), home);
  };
  const cloud c{&x};
  using Index =
      nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, cloud>, cloud, 2>;
  auto theirs = [&] {
    Index index(2, c, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    index.buildIndex();
    for (std::size_t k = 0; k < n; ++k) {
      double d2;
      index.knnSearch(queries[k].data(), 1, &theirs_found[k], &d2);
    }
  };
  mine();
  theirs();
  std::size_t differ = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (found[k] < 0) {
      ++differ;
      continue;
    }
    auto d2 = [&](std::size_t i) {
      const double dx = x(0, i) - queries[k][0], dy = x(1, i) - queries[k][1];
      return dx * dx + dy * dy;
    };
    differ += d2(static_cast<std::size_t>(found[k])) != d2(theirs_found[k]);
  }
  add("nearest node (tree build included)", "1 M queries in 1 M nodes", "nanoflann k-d tree",
      best([] {}, mine), best([] {}, theirs),
      verdict(differ == 0, std::to_string(differ) + " nearest distances differ"));
}

}  // namespace

// With an argument, only the operations whose function name contains it.
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  auto run = [&](const char* name, const std::function<void()>& f) {
    if (std::string(name).find(only) != std::string::npos) f();
  };
  vtkSMPTools::Initialize(1);
  gmsh::initialize();
  gmsh::option::setNumber("General.Terminal", 0);
  gmsh::option::setNumber("General.NumThreads", 1);
  run("conversion_T3", conversion_T3);
  run("conversion_Q4", [] { conversion_Q4(true), conversion_Q4(false); });
  gmsh::finalize();
  run("split_better_diagonal", split_better_diagonal);
  run("reorient", reorient);
  run("normals", normals);
  run("interpolation", interpolation);
  run("rotate_extrude", rotate_extrude);
  run("nearest_node", nearest_node);
  std::printf(
      "| Operation | Size | surfkit | Peer | Peer time | Peer / surfkit | Results agree |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const row& r : table)
    std::printf("| %s | %s | %.4f s | %s | %.4f s | %.1f | %s |\n", r.operation.c_str(),
                r.size.c_str(), r.mine, r.peer.c_str(), r.theirs, r.theirs / r.mine,
                r.agree.c_str());
  return 0;
}
