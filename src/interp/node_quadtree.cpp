#include "interp/node_quadtree.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace orvo::surfkit::detail {

namespace {

constexpr double two31 = 2147483648.0;

// Child quadrant of integer position pos inside a cell of `level` (>= 1): bit level - 1
// of x selects low/high x, of y low/high y.
inline unsigned quadrant(const std::uint32_t pos[2], int level) noexcept {
  const int b = level - 1;
  return 2u * ((pos[1] >> b) & 1u) + ((pos[0] >> b) & 1u);
}

inline std::uint32_t clear_below(std::uint32_t v, int level) noexcept {
  const std::uint64_t mask = (std::uint64_t{1} << level) - 1;
  return static_cast<std::uint32_t>(v & ~mask);
}

}  // namespace

node_quadtree::node_quadtree(const dense2D<double>& coords) : coords_(coords) {
  set_box(point{{0, 0}}, point{{1, 1}});
}

void node_quadtree::reset() {
  node_count_ = 0;
  path_end_ = root_level + 1;
  pool_.resize(4, 0);  // shrinking: never refused
  if (!pool_.resize(4, 5, 0u)) {
    // Without a root every insertion fails and every query answers -1.
    refused_ = true;
    pool_.resize(4, 0);
  }
}

void node_quadtree::set_box(const point& lo, const point& hi) {
  reset();
  double d = std::max(hi[0] - lo[0], hi[1] - lo[1]) * 1e-12;
  if (d == 0) d = 1e-12;
  // Far from the origin the relative margin alone can round away, which would put the
  // upper nodes outside the box; keep it a few units in the last place of the corners.
  const double corner = std::max(std::max(std::fabs(lo[0]), std::fabs(lo[1])),
                                 std::max(std::fabs(hi[0]), std::fabs(hi[1])));
  d = std::max(d, 4 * DBL_EPSILON * corner);
  origin_ = point{{lo[0] - d, lo[1] - d}};
  scale_ = point{{two31 / ((hi[0] + d) - origin_[0]), two31 / ((hi[1] + d) - origin_[1])}};
}

std::array<std::uint32_t, 2> node_quadtree::integer_position(const double* p,
                                                             bool& clamped) const noexcept {
  std::array<std::uint32_t, 2> ip{};
  clamped = false;
  for (int a = 0; a < 2; ++a) {
    const double t = (p[a] - origin_[a]) * scale_[a];
    if (!(t >= 0)) {  // NaN included
      ip[a] = 0;
      clamped = true;
    } else if (t >= two31) {
      ip[a] = top;
      clamped = true;
    } else {
      ip[a] = static_cast<std::uint32_t>(t);
    }
  }
  return ip;
}

std::uint64_t node_quadtree::build(const dense2D<unsigned int>& connectivity) {
  named_.clear();
  const std::size_t ncoords = coords_.rows() >= 2 ? coords_.cols() : 0;
  if (connectivity.empty() || ncoords == 0) {
    set_box(point{{0, 0}}, point{{1, 1}});
    return 0;
  }
  const std::size_t rows = std::min<std::size_t>(connectivity.rows(), 3);
  const std::size_t cols = connectivity.cols();
  const unsigned* ids = connectivity.data();
  const std::size_t ld = connectivity.ld();

  // Every ID of the first `rows` rows, column by column; one flat run when the columns
  // are packed (the usual case), which the compiler can unroll.
  auto for_each_id = [&](auto&& visit) {
    if (ld == rows) {
      for (const unsigned *id = ids, *end = ids + cols * rows; id != end; ++id) visit(*id);
      return;
    }
    for (std::size_t c = 0; c < cols; ++c)
      for (std::size_t r = 0; r < rows; ++r) visit(ids[c * ld + r]);
  };
  // IDs that name no coordinate column cannot be placed: they are left out.
  std::uint64_t limit = 0;
  for_each_id([&](unsigned id) {
    if (id < ncoords) limit = std::max<std::uint64_t>(limit, std::uint64_t{id} + 1);
  });

  // The distinct nodes in order of first use; at most `limit` of them, so the list is
  // written through a plain pointer and cut to length after.
  id_list list;
  if (!named_.resize(static_cast<std::size_t>((limit + 31) / 32), 0u) ||
      !list.resize(static_cast<std::size_t>(limit))) {
    refused_ = true;
    return 0;
  }
  unsigned* seen = named_.data();
  unsigned* out = list.data();
  std::size_t count = 0;
  for_each_id([&](unsigned id) {
    if (id >= limit) return;
    const unsigned bit = 1u << (id % 32);
    if (seen[id / 32] & bit) return;
    seen[id / 32] |= bit;
    out[count++] = id;
  });
  list.resize(count);  // shrinking: never refused

  // The box of the finite nodes: one infinite coordinate must not swallow the others.
  point lo{{DBL_MAX, DBL_MAX}}, hi{{-DBL_MAX, -DBL_MAX}};
  bool any = false;
  const double* xy = coords_.data();
  const std::size_t xy_ld = coords_.ld();
  for (unsigned id : list) {
    const double x = xy[id * xy_ld], y = xy[id * xy_ld + 1];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    any = true;
    lo[0] = std::min(lo[0], x), lo[1] = std::min(lo[1], y);
    hi[0] = std::max(hi[0], x), hi[1] = std::max(hi[1], y);
  }
  if (!any) lo = point{{0, 0}}, hi = point{{1, 1}};
  set_box(lo, hi);
  // Room for the cells of a mesh of even density (about 1.2 per node) taken at once: the
  // pool otherwise doubles its way up, writing every cell again at each move, and on a
  // large mesh the fresh memory costs more than the insertions.
  if (!pool_.reserve(4, root_cell + 1 + count + count / 2)) {
    refused_ = true;
    return 0;
  }
  for (unsigned id : list) insert(id);
  return node_count_;
}

bool node_quadtree::insert(unsigned node) {
  if (pool_.cols() <= root_cell || node >= coords_.cols() || coords_.rows() < 2) return false;
  const double* p = coords_.data() + std::size_t{node} * coords_.ld();
  bool clamped = false;
  const auto pos = integer_position(p, clamped);
  if (clamped) return false;
  // Nodes come in order of first use, so consecutive ones are usually close: the descent
  // starts from the smallest cell of the previous node's path that holds this one too
  // (the cells of level L hold both positions when they agree on bits L and above).
  std::uint32_t cell = root_cell;
  int level = root_level;
  if (path_end_ <= root_level) {
    const std::uint32_t diff = (pos[0] ^ last_pos_[0]) | (pos[1] ^ last_pos_[1]);
    const int shared = diff == 0 ? 0 : 32 - __builtin_clz(diff);
    level = std::max(shared, path_end_);
    cell = path_[level];
  }
  if (!place(node, pos.data(), cell, level)) {
    path_end_ = root_level + 1;
    return false;
  }
  last_pos_[0] = pos[0], last_pos_[1] = pos[1];
  ++node_count_;
  return true;
}

bool node_quadtree::place(unsigned node, const std::uint32_t pos[2], std::uint32_t cell,
                          int level) {
  unsigned* cells = pool_.data();
  std::size_t ld = pool_.ld();
  auto add_to_leaf = [&cells, &ld](std::uint32_t leaf, unsigned id) {
    unsigned* w = cells + ld * leaf;
    unsigned k = ++w[0];
    w[k] = id;
    for (; k > 1 && w[k - 1] > w[k]; --k) std::swap(w[k - 1], w[k]);
  };
  for (;;) {
    path_[level] = cell;
    while (cells[ld * cell] >= 4) {
      cell = cells[ld * cell + quadrant(pos, level)];
      path_[--level] = cell;
    }
    path_end_ = level;
    if (cells[ld * cell] < 3) {
      add_to_leaf(cell, node);
      return true;
    }
    if (level == 0) return false;
    // Split the full leaf: four empty children, then its three nodes go one level down.
    const std::size_t n = pool_.cols();
    if (pool_.capacity_cols() < n + 4 &&
        !pool_.reserve(4, std::max<std::size_t>({8, 2 * n, n + 4}))) {
      refused_ = true;
      return false;
    }
    if (n + 4 > UINT32_MAX || !pool_.resize(4, n + 4, 0u)) {
      refused_ = true;
      return false;
    }
    cells = pool_.data();
    ld = pool_.ld();
    unsigned* w = cells + ld * cell;
    const unsigned held[3] = {w[1], w[2], w[3]};
    for (unsigned q = 0; q < 4; ++q) w[q] = static_cast<unsigned>(n + q);
    for (unsigned id : held) {
      bool clamped = false;
      const auto hpos = integer_position(coords_.data() + std::size_t{id} * coords_.ld(), clamped);
      add_to_leaf(w[quadrant(hpos.data(), level)], id);
    }
  }
}

bool node_quadtree::scan_leaf(query& q, std::uint32_t cell) const {
  bool improved = false;
  const unsigned k = q.word(0, cell);
  for (unsigned i = 1; i <= k; ++i) {
    const unsigned id = q.word(i, cell);
    if (id == q.best) continue;
    if (id >= q.home->size() || (*q.home)[id] >= q.limit) continue;
    const double* xy = q.xy + id * q.xy_ld;
    const double dy = xy[1] - q.p[1], dx = xy[0] - q.p[0];
    const double d2 = dy * dy + dx * dx;
    if (d2 < q.best_d2) {
      q.best_d2 = d2;
      q.best = id;
      improved = true;
    }
  }
  return improved;
}

void node_quadtree::shrink(query& q) const {
  const double r = std::sqrt(q.best_d2);
  for (int a = 0; a < 2; ++a) {
    const double t = r * scale_[a];
    const std::uint64_t d = t < two31 ? static_cast<std::uint64_t>(t) : std::uint64_t{1} << 31;
    const std::uint64_t ip = q.ip[a];
    // Both the centre and the half-width are truncated, so a node within the radius may
    // sit one integer unit beyond ip -/+ d on either side.
    q.window.lo[a] = d + 1 <= ip ? static_cast<std::uint32_t>(ip - d - 1) : 0;
    q.window.hi[a] = static_cast<std::uint32_t>(std::min<std::uint64_t>(ip + d + 1, top));
  }
}

// True when every node the cell at integer origin o, of side span, can hold is farther from
// the query point than the best node so far: the cell cannot change the answer (a node as
// near as the best would not replace it either). The search box alone is a square around
// the point's integer position, which for a point outside the tree's box is clamped to the
// border: the box then stays centred there with the point's true distance as its half-width,
// and a point at distance r outside scanned a strip of width r through the whole mesh. The
// test runs in integer units, where a node's position lies in [o, o + span) up to rounding
// of relative size 2^-52; one unit of slack on each side and a relative margin of 1e-9 on
// the squared distance keep it on the safe side of every rounding.
bool node_quadtree::beyond_best(const query& q, const std::uint64_t o[2],
                                std::uint64_t span) const {
  double d2 = 0;
  for (int a = 0; a < 2; ++a) {
    const double lo = static_cast<double>(o[a]) - 1.0, hi = static_cast<double>(o[a] + span) + 1.0;
    const double gap = q.t[a] < lo ? lo - q.t[a] : q.t[a] > hi ? q.t[a] - hi : 0.0;
    const double g = gap / scale_[a];
    d2 += g * g;
  }
  return d2 > q.best_d2 * (1.0 + 1e-9);  // false for NaN
}

void node_quadtree::box_search(query& q, std::uint32_t start, int level, unsigned quad,
                               const std::uint32_t origin[2], std::uint32_t skip,
                               unsigned first) const {
  struct entry {
    int level;
    unsigned quad;
    std::uint32_t cell;
  };
  std::array<entry, 3 * 31 + 4> stack;
  std::size_t top_of_stack = 0;
  stack[top_of_stack++] = entry{level, quad, start};
  std::uint64_t o[2] = {origin[0], origin[1]};
  while (top_of_stack > 0) {
    if (q.best_d2 == 0) return;
    const entry e = stack[--top_of_stack];
    if (e.cell == skip || (q.leaf(e.cell) && q.word(0, e.cell) == 0)) continue;
    const std::uint64_t span = std::uint64_t{1} << e.level;
    const std::uint64_t keep = ~((span << 1) - 1);
    o[0] = (o[0] & keep) | (std::uint64_t{e.quad & 1u} << e.level);
    o[1] = (o[1] & keep) | (std::uint64_t{(e.quad >> 1) & 1u} << e.level);
    if (!(o[0] <= q.window.hi[0] && o[1] <= q.window.hi[1] && q.window.lo[0] <= o[0] + span &&
          q.window.lo[1] <= o[1] + span))
      continue;
    // Inside the tree's box the search box is centred on the point and tight enough.
    if (q.outside && beyond_best(q, o, span)) continue;
    if (q.leaf(e.cell)) {
      if (scan_leaf(q, e.cell)) shrink(q);
      continue;
    }
    for (unsigned i = 4; i-- > 0;) {
      const unsigned cq = (first + i) & 3u;
      stack[top_of_stack++] = entry{e.level - 1, cq, q.word(cq, e.cell)};
    }
  }
}

std::int64_t node_quadtree::run_nearest(query& q) const {
  bool clamped = false;
  const auto ip = integer_position(q.p, clamped);
  q.ip[0] = ip[0], q.ip[1] = ip[1];
  q.outside = clamped;
  if (clamped)
    for (int a = 0; a < 2; ++a) q.t[a] = (q.p[a] - origin_[a]) * scale_[a];
  q.best_d2 = DBL_MAX;
  q.best = UINT32_MAX;
  q.window = box{{0, 0}, {top, top}};

  std::uint32_t cell = root_cell, parent = root_cell;
  int level = root_level;
  unsigned leaf_quad = 0;
  while (!q.leaf(cell)) {
    leaf_quad = quadrant(q.ip, level);
    parent = cell;
    cell = q.word(leaf_quad, cell);
    --level;
  }
  if (q.word(0, cell) > 0) scan_leaf(q, cell);
  if (q.best != UINT32_MAX) {
    q.last_cell = cell;
    return q.best;
  }
  const int parent_level = std::min(level + 1, root_level);
  const unsigned parent_quad = parent_level < root_level ? 2u * ((q.ip[1] >> parent_level) & 1u) +
                                                               ((q.ip[0] >> parent_level) & 1u)
                                                         : 0u;
  const std::uint32_t parent_origin[2] = {clear_below(q.ip[0], parent_level),
                                          clear_below(q.ip[1], parent_level)};
  // The sibling across the axis along which cells are shorter comes first.
  const unsigned across = scale_[0] >= scale_[1] ? 1u : 2u;
  box_search(q, parent, parent_level, parent_quad, parent_origin, cell, leaf_quad ^ across);
  if (q.best != UINT32_MAX) {
    q.last_cell = parent;
    return q.best;
  }
  const std::uint32_t zero[2] = {0, 0};
  box_search(q, root_cell, root_level, 0, zero, parent, 0);
  q.last_cell = root_cell;
  return q.best == UINT32_MAX ? -1 : std::int64_t{q.best};
}

void node_quadtree::start_query(query& q, const double* p, const id_list& home,
                                std::uint64_t limit) const {
  q.cells = pool_.data();
  q.cells_ld = pool_.ld();
  q.xy = coords_.data();
  q.xy_ld = coords_.ld();
  q.p = p, q.home = &home, q.limit = limit;
}

std::int64_t node_quadtree::nearest_node(const double* p, const id_list& home,
                                         std::uint64_t element_limit) {
  if (node_count_ == 0) return -1;
  query q{};
  start_query(q, p, home, element_limit);
  return run_nearest(q);
}

std::int64_t node_quadtree::nearest_node_exact(const double* p, const id_list& home,
                                               std::uint64_t element_limit) {
  if (node_count_ == 0) return -1;
  query q{};
  start_query(q, p, home, element_limit);
  if (run_nearest(q) < 0) return -1;
  if (q.window.lo[0] == 0 && q.window.lo[1] == 0) shrink(q);

  // Start from the smallest cell on the lower corner's path that holds the whole window.
  int i = 0;
  for (int b = 30; b >= 1; --b)
    if ((((q.window.lo[0] ^ q.window.hi[0]) | (q.window.lo[1] ^ q.window.hi[1])) >> b) & 1u) {
      i = b;
      break;
    }
  const int k = i + 1;
  std::uint32_t cell = root_cell;
  int level = root_level;
  unsigned quad = 0;
  if (k < root_level) {
    while (level > k && !q.leaf(cell)) {
      quad = quadrant(q.window.lo, level);
      cell = q.word(quad, cell);
      --level;
    }
  }
  const std::uint32_t origin[2] = {clear_below(q.window.lo[0], level),
                                   clear_below(q.window.lo[1], level)};
  box_search(q, cell, level, quad, origin, q.last_cell, 0);
  return std::int64_t{q.best};
}

}  // namespace orvo::surfkit::detail
