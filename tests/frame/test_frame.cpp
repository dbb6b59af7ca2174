// The element frame: dense arrays (layout, growth, sharing, refused storage, large pages),
// arrays wrapping caller memory, ID checks, reversing elements of every kind, the version.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "orvo/basekit.hpp"
#include "orvo/surfkit.hpp"
#include "orvo/surfkit_version.hpp"
#include "support/testing.hpp"

using orvo::dense1D;
using orvo::dense2D;
using orvo::basekit::check_IDs;
using orvo::surfkit::flip;
using namespace surfkit_testing;
namespace st = orvo::storage_testing;
using U = dense2D<unsigned>;
using V = std::vector<unsigned>;
using D = std::vector<double>;
constexpr unsigned NONE = UINT_MAX;

namespace {
dense2D<double> numbered(std::size_t rows, std::size_t cols) {
  dense2D<double> a(rows, cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) a(r, c) = 100.0 * c + r;
  return a;
}
::testing::AssertionResult keeps_numbering(const dense2D<double>& a, std::size_t rows,
                                           std::size_t cols) {
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r)
      if (a(r, c) != 100.0 * c + r)
        return ::testing::AssertionFailure() << "(" << r << ", " << c << ") = " << a(r, c);
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Dense2D, ResizeReserveAndResizeForOverwriteKeepEntriesAndRequestOnlyWithoutRoom) {
  dense2D<double> a = numbered(2, 3), c;
  ASSERT_TRUE(a.resize(3, 5));  // rows grow: the layout changes
  EXPECT_TRUE(keeps_numbering(a, 2, 3));
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(a(2, k), 0.0);
  ASSERT_TRUE(a.resize(1, 2, -1.0));
  ASSERT_TRUE(a.resize(3, 4, 7.0));  // only new entries become 7: stale ones not exposed
  EXPECT_TRUE(keeps_numbering(a, 1, 2));
  EXPECT_EQ((D{a(1, 0), a(2, 1), a(0, 3)}), D(3, 7.0));
  // The leading dimension covers the rows also without columns; the room reported is there.
  dense2D<double> l(3, 4, 1.0);
  ASSERT_TRUE(l.resize(5, 0));
  ASSERT_TRUE(c.copy(l));
  for (const dense2D<double>* x : {&l, &c}) EXPECT_TRUE(x->ld() >= 5 && x->capacity_cols() <= 2);
  auto requests = st::requests_made();
  ASSERT_TRUE(l.resize(5, l.capacity_cols(), 2.0));
  EXPECT_EQ(st::requests_made(), requests);
  EXPECT_EQ(l(4, 1), 2.0);
  // Reserved room: growing into it neither moves nor requests; beyond it entries move.
  auto b = U::from_columns({{1, 2, 3}, {4, 5, 6}});
  ASSERT_TRUE(b.reserve(4, 100));
  const unsigned* before = b.data();
  requests = st::requests_made();
  ASSERT_TRUE(b.resize(4, 100));
  ASSERT_TRUE(b.resize(3, 60));
  EXPECT_EQ(b.data(), before);
  EXPECT_EQ(st::requests_made(), requests);
  EXPECT_EQ(b(2, 1), 6u);
  ASSERT_TRUE(b.resize(3, 200));
  EXPECT_EQ((V{b(0, 1), b(2, 1), b(2, 0)}), (V{4, 6, 3}));
  // Resizing for overwrite: room for 4 columns stays, growing back into it is no request.
  a = numbered(3, 4);
  a.resize(3, 2);
  st::refuse_nth_request(1);
  EXPECT_TRUE(a.resize_for_overwrite(3, 4));
  EXPECT_TRUE(st::refusal_pending()) << "served from the room already held";
  st::refuse_nth_request(0);
  EXPECT_TRUE(keeps_numbering(a, 3, 2));
  EXPECT_TRUE(a.resize_for_overwrite(3, 1000));  // past the room: the old columns move
  EXPECT_EQ(a.cols(), 1000u);
  EXPECT_TRUE(keeps_numbering(a, 3, 2));
  // Row counts that would expose old entries, and shrinking: refused, nothing changed.
  EXPECT_FALSE(a.resize_for_overwrite(4, 1000));
  EXPECT_FALSE(a.resize_for_overwrite(3, 10));
  EXPECT_EQ(a.rows() * 10000 + a.cols(), 31000u);  // 3 x 1000
  U o;                                             // without columns: any row count
  EXPECT_TRUE(o.resize_for_overwrite(4, 5));
  EXPECT_EQ(o.rows() * 10 + o.ld(), 44u);
  st::refuse_nth_request(1);
  EXPECT_FALSE(o.resize_for_overwrite(4, 50));
  EXPECT_EQ(o.cols(), 5u);
}

TEST(Dense2D, SharedStorageOutlivesTheOriginalGrowthDetachesAndCopyIsDeep) {
  dense2D<double> shallow, deep;
  {
    dense2D<double> a = numbered(3, 4);
    shallow.shallow_copy(a);
    dense2D<double> b(a);  // copy construction shares too
    ASSERT_TRUE(deep.copy(a));
    a(0, 0) = 42.0;
    EXPECT_EQ((D{shallow(0, 0), b(0, 0), deep(0, 0)}), (D{42, 42, 0}));
    EXPECT_EQ(a.storage_ptr()->use_count(), 3u);
  }
  EXPECT_EQ(shallow.storage_ptr()->use_count(), 1u);
  EXPECT_EQ(shallow(0, 0), 42.0);
  EXPECT_TRUE(keeps_numbering(deep, 3, 4));
  ASSERT_TRUE(deep.reserve(3, 10));  // growth of shared storage moves out, even with room
  dense2D<double> b = deep;
  ASSERT_TRUE(b.resize(3, 6, 9.0));
  EXPECT_NE(deep.data(), b.data());
  ASSERT_TRUE(deep.resize(3, 5, 5.0));
  EXPECT_EQ((D{b(0, 4), deep(0, 4)}), (D{9, 5}));
  EXPECT_TRUE(keeps_numbering(b, 3, 4));
  // Deep copies of packed (one block) and padded (column by column) arrays: packed, ld = rows.
  D padded(4 * 50, -1.0);
  for (std::size_t c = 0; c < 50; ++c)
    for (std::size_t r = 0; r < 3; ++r) padded[4 * c + r] = 100.0 * c + r;
  for (const dense2D<double>& source :
       {numbered(3, 50), dense2D<double>::wrap(padded.data(), 3, 50, 4)}) {
    dense2D<double> copy;
    ASSERT_TRUE(copy.copy(source));
    EXPECT_TRUE(copy.ld() == 3 && copy.data() != source.data()) << "source ld " << source.ld();
    EXPECT_TRUE(keeps_numbering(copy, 3, 50)) << "source ld " << source.ld();
  }
}

TEST(Dense2D, RefusedStorageChangesNothingAndCountsOnlyRealRequests) {
  dense2D<double> a = numbered(2, 3), b, c, d;
  const double* before = a.data();
  st::refuse_nth_request(2);
  EXPECT_TRUE(a.resize(2, 1));  // served from existing room: not a request
  EXPECT_TRUE(b.resize(2, 2));
  EXPECT_FALSE(a.resize(3, 3));  // the second request is refused
  EXPECT_FALSE(st::refusal_pending());
  EXPECT_EQ(a.rows() * 10 + a.cols(), 21u);  // 2 x 1
  EXPECT_EQ(a.data(), before);
  EXPECT_TRUE(keeps_numbering(a, 2, 1));
  EXPECT_TRUE(c.resize(2, 2));
  EXPECT_FALSE(a.resize(SIZE_MAX / 2, 4));  // sizes that overflow: refused like a failure
  EXPECT_FALSE(a.reserve(4, SIZE_MAX / 2));
  st::refuse_nth_request(1);
  EXPECT_FALSE(d.copy(a));
  EXPECT_TRUE(d.empty());
  st::refuse_nth_request(1);
  bool other = false;  // other threads keep their own countdown
  std::thread([&] { other = dense2D<double>(3, 3).rows() == 3; }).join();
  EXPECT_TRUE(other);
  EXPECT_TRUE(st::refusal_pending());
  st::refuse_nth_request(0);
}

TEST(Dense1D, AppendGrowsByDoublingSharesUntilWrittenAndCopiesDeep) {
  dense1D<unsigned> v;
  ASSERT_TRUE(v.reserve(8, 1));
  const unsigned* before = v.data();
  for (unsigned i = 0; i < 8; ++i) ASSERT_TRUE(v.push_back(i));
  EXPECT_EQ(v.data(), before);
  ASSERT_TRUE(v.push_back(8));
  EXPECT_GE(v.capacity(), 16u);
  st::refuse_nth_request(1);
  for (unsigned i = 9; i < 16; ++i) EXPECT_TRUE(v.push_back(i));  // room: no request
  EXPECT_TRUE(st::refusal_pending());
  EXPECT_FALSE(v.push_back(16));
  ASSERT_EQ(v.size(), 16u);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(v[i], i);
  dense1D<double> u(3, 2.5), d;
  ASSERT_TRUE(u.resize(1));  // the room for 3 stays
  dense1D<double> w = u;
  ASSERT_TRUE(w.push_back(1.0));  // shared: w moves to its own storage, even with room
  EXPECT_NE(u.data(), w.data());
  ASSERT_TRUE(u.resize(2));
  EXPECT_EQ(u[1], 0.0);  // stale values from before the shrink are not exposed
  ASSERT_TRUE(d.copy(w));
  d[0] = 9.0;
  EXPECT_EQ(w[0], 2.5);
}

TEST(Wrap, ReadsAndWritesTheCallersMemoryNeverFreesItGrowthMovesToOwnStorage) {
  D xyz{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};  // x, y, z of four nodes, as C order holds them
  dense2D<double> x = dense2D<double>::wrap(xyz.data(), 3, 4, 3);
  ASSERT_EQ(x.data(), xyz.data());
  EXPECT_EQ(x.rows() * 10 + x.cols(), 34u);
  EXPECT_EQ(x(0, 2), 1.0);
  x(2, 3) = 5;
  dense2D<double> sharer = x;  // copies share: they write the caller's memory too
  sharer(1, 0) = -1;
  dense2D<double> deep;
  ASSERT_TRUE(deep.copy(x));  // copy() is deep
  deep(0, 0) = 42;
  EXPECT_EQ((D{xyz[11], xyz[1], xyz[0]}), (D{5, -1, 0}));
  EXPECT_NE(deep.data(), xyz.data());
  unsigned ids[6] = {0, 1, 2, 9, 9, 9};  // on the stack: the sanitizers would see a free
  {
    U c = U::wrap(ids, 3, 1, 3);
    EXPECT_EQ(flip(c), 0);
  }
  EXPECT_EQ(V(ids, ids + 6), (V{2, 1, 0, 9, 9, 9}));
  double block[8] = {1, 2, 0, 0, 3, 4, 0, 0};  // ld 4 skips the rest of each column
  const dense2D<double> b = dense2D<double>::wrap(block, 2, 2, 4);
  EXPECT_EQ(b(1, 1) * 10 + b.ld(), 44.0);
  // Shapes that cannot describe memory give an empty array.
  EXPECT_TRUE(dense2D<double>::wrap(block, 3, 2, 2).empty());
  EXPECT_TRUE(dense2D<double>::wrap(nullptr, 3, 2, 3).empty());
  EXPECT_TRUE(dense2D<double>::wrap(block, 1, SIZE_MAX, SIZE_MAX / 2).empty());
  EXPECT_EQ(dense1D<double>::wrap(nullptr, 3).size(), 0u);
  unsigned buffer[4] = {7, 8, 0, 0};
  dense1D<unsigned> v = dense1D<unsigned>::wrap(buffer, 4);
  ASSERT_TRUE(v.resize(2));  // shrinking stays in place
  ASSERT_TRUE(v.push_back(3));
  ASSERT_TRUE(v.push_back(4));  // within the room: written in place
  ASSERT_TRUE(v.push_back(5));  // past the room: moved
  v[0] = 70;
  EXPECT_EQ(V(buffer, buffer + 4), (V{7, 8, 3, 4}));
  EXPECT_EQ(V(v.begin(), v.end()), (V{70, 8, 3, 4, 5}));
  double m[6] = {1, 2, 3, 4, 5, 6};
  dense2D<double> a = dense2D<double>::wrap(m, 2, 3, 2);
  ASSERT_TRUE(a.resize(2, 4, -1.0));
  a(0, 0) = 10;
  EXPECT_EQ((D{a(1, 2), a(0, 3), m[0]}), (D{6, -1, 1}));
  // Growth refused: still the same wrap, entries as they were (refused wrapping itself:
  // test_layouts.py's sweeps, whose inputs the bindings wrap).
  dense2D<double> w = dense2D<double>::wrap(m, 2, 3, 2);
  st::refuse_nth_request(1);
  EXPECT_FALSE(w.resize(3, 3));
  EXPECT_TRUE(w.data() == m && w.rows() == 2 && w(1, 2) == 6 && !st::refusal_pending());
}

TEST(Wrap, ExportsRefuseTwoWrapsOfOneBufferAsTheyRefuseOneArrayTwice) {
  // Two triangles sharing edge (1, 2); connectivity and neighbours side by side.
  unsigned both[12] = {0, 1, 2, 1, 2, 3, 1, NONE, NONE, NONE, NONE, 0};
  U conn = U::wrap(both, 3, 2, 3), same_memory = U::wrap(both, 3, 2, 3);
  U overlapping = U::wrap(both + 3, 3, 2, 3), nb = U::wrap(both + 6, 3, 2, 3);
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, same_memory, 0, 1), -2);
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, overlapping, 0, 1), -2);
  EXPECT_EQ(both[3], 1u);  // nothing changed
  EXPECT_EQ(orvo::surfkit::mesh_reorient(conn, nb, 0, 1), 1);
  EXPECT_EQ(both[3] * 10 + both[5], 31u);  // (1, 2, 3) reversed in the caller's memory
  const auto quad = U::from_columns({{0, 1, 2, 3}});
  const dense2D<double> x{{0, 1, 1, 0}, {0, 0, 1, 1}};
  unsigned lists[4] = {};
  dense1D<unsigned> kept = dense1D<unsigned>::wrap(lists, 4),
                    split = dense1D<unsigned>::wrap(lists, 4),
                    other = dense1D<unsigned>::wrap(lists + 2, 2);
  U out;
  ASSERT_TRUE(kept.resize(0) && split.resize(0) && other.resize(0));
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, kept, split, out), -7);
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, kept, other, out), -7);
  // Copies sharing one storage are still two lists: the first to grow moves away.
  dense1D<unsigned> owned(2, 5u), copy = owned;
  EXPECT_EQ(orvo::surfkit::split_Q4_into_T3(x, quad, 2.0, 2.0, 1, owned, copy, out), 1);
  EXPECT_EQ(V(copy.begin(), copy.end()), (V{5, 5, 0}));
  EXPECT_EQ(owned.size(), 2u);
}

TEST(CheckIDs, AgainstTypeAndCountAndOneBadEntryAnywhereInLargeArrays) {
  const U t3 = U::from_columns({{0, 1, 2}, {2, 1, 3}}),
          with_none = U::from_columns({{0, 1, 2, NONE}, {0, 1, 2, 3}}),
          none_elsewhere = U::from_columns({{0, NONE, 2, 3}});
  // Empty passes; UINT_MAX is a node only in FACE_MIX, which takes 3 rows too.
  // clang-format off
  const std::tuple<U, int, unsigned, bool> cases[] = {
      {t3, orvo::T3, 4, true}, {t3, orvo::T3, 3, false}, {t3, orvo::Q4, 4, false},
      {U(0, 5), orvo::T3, 0, true}, {t3, 23, 4, false}, {with_none, orvo::FACE_MIX, 4, true},
      {with_none, orvo::Q4, 4, false}, {t3, orvo::FACE_MIX, 4, true},
      {none_elsewhere, orvo::FACE_MIX, 4, false}, {U(6, 1), orvo::FACE_MIX, 4, false}};
  // clang-format on
  for (const auto& [c, type, nodes, ok] : cases)
    EXPECT_EQ(check_IDs(c, static_cast<orvo::element_type>(type), nodes), ok)
        << c.rows() << " rows, type " << type << ", " << nodes << " nodes";
  const auto edges = U::from_columns({{0, 1, NONE}, {3, 2, 5}});  // ID matrices and vectors
  const orvo::dense1D<unsigned> ids{0, 4, 2}, none{NONE};
  EXPECT_TRUE(check_IDs(edges, 6u) && check_IDs(U(0, 5), 0u) && check_IDs(ids, 5u));
  EXPECT_FALSE(check_IDs(edges, 5u) || check_IDs(ids, 4u));
  EXPECT_FALSE(check_IDs(none, NONE));  // vectors do not know "none"
  // Checked a block at a time: one bad entry caught anywhere (about block boundaries, every
  // row, packed or padded), FACE_MIX's UINT_MAX in row 3 excused anywhere.
  const std::size_t cols = 5000;
  for (std::size_t rows : {3u, 4u})
    for (std::size_t ld : {rows, rows + 3}) {
      std::vector<unsigned> storage(ld * cols, 7u);  // padding holds a bad ID: never read
      for (std::size_t c = 0; c < cols; ++c)
        for (std::size_t r = 0; r < rows; ++r) storage[c * ld + r] = (c * 7 + r) % 100;
      const U a = U::wrap(storage.data(), rows, cols, ld);
      const auto type = rows == 3 ? orvo::T3 : orvo::Q4;
      ASSERT_TRUE(check_IDs(a, type, 100u) && check_IDs(a, 100u)) << rows << " rows, ld " << ld;
      for (std::size_t flat : {std::size_t{0}, std::size_t{4095}, std::size_t{4096},
                               std::size_t{4097}, std::size_t{8191}, rows * cols - 1}) {
        const std::size_t c = flat / rows, r = flat % rows;
        unsigned& v = storage[c * ld + r];
        const unsigned kept = v;
        SCOPED_TRACE(testing::Message()
                     << rows << " rows, ld " << ld << ", column " << c << " row " << r);
        v = 100;
        EXPECT_FALSE(check_IDs(a, type, 100u));
        EXPECT_FALSE(check_IDs(a, 100u));
        v = NONE;
        EXPECT_EQ(check_IDs(a, orvo::FACE_MIX, 100u), rows == 4 && r == 3);
        EXPECT_TRUE(check_IDs(a, 100u));
        v = kept;
      }
    }
  std::vector<unsigned> list(10000, 3u);
  const auto listed = orvo::dense1D<unsigned>::wrap(list.data(), list.size());
  for (std::size_t i : {std::size_t{0}, std::size_t{4096}, list.size() - 1}) {
    list[i] = 9;
    EXPECT_FALSE(check_IDs(listed, 9u)) << i;
    list[i] = 3;
  }
  EXPECT_TRUE(check_IDs(listed, 9u));
}

// Entries column after column after one flip (other kinds unchanged) and after a second;
// mixed meshes decide column by column (8, 9 rows: by row 6).
TEST(Flip, KeepsMidNodesOnTheirEdgesTwiceIsIdentityBadShapesChangeNothing) {
  // clang-format off
  const std::tuple<orvo::element_type, std::size_t, V, V> cases[] = {
      {orvo::T3, 3, {0, 1, 2}, {2, 1, 0}},
      {orvo::Q4, 4, {0, 1, 2, 3}, {2, 1, 0, 3}},
      {orvo::T6, 6, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}},
      {orvo::Q8, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 1, 0, 3, 5, 4, 7, 6}},
      {orvo::Q9, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {2, 1, 0, 3, 5, 4, 7, 6, 8}},
      {orvo::HEXA8, 8, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {orvo::EDGE3, 3, {0, 1, 2}, {0, 1, 2}},
      {orvo::FACE_MIX, 3, {0, 1, 2}, {2, 1, 0}},
      {orvo::FACE_MIX, 4, {0, 1, 2, NONE, 10, 11, 12, 13}, {2, 1, 0, NONE, 12, 11, 10, 13}},
      {orvo::FACE_MIX, 6, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}},
      {orvo::FACE_MIX, 8, {0, 1, 2, 3, 4, 5, NONE, 7, 10, 11, 12, 13, 14, 15, 16, 17},
                          {2, 1, 0, 5, 4, 3, NONE, 7, 12, 11, 10, 13, 15, 14, 17, 16}},
      {orvo::FACE_MIX, 9, {0, 1, 2, 3, 4, 5, NONE, NONE, NONE, 10, 11, 12, 13, 14, 15, 16, 17, 18},
                          {2, 1, 0, 5, 4, 3, NONE, NONE, NONE, 12, 11, 10, 13, 15, 14, 17, 16, 18}}};
  // clang-format on
  for (const auto& [type, rows, in, out] : cases) {
    U c(rows, in.size() / rows);
    std::copy(in.begin(), in.end(), c.data());
    ASSERT_EQ(flip(c, type), 0) << type << " " << rows;
    EXPECT_EQ(V(c.data(), c.data() + in.size()), out) << type << " " << rows;
    ASSERT_EQ(flip(c, type), 0);
    EXPECT_EQ(V(c.data(), c.data() + in.size()), in) << type << " " << rows;
  }
  // Without a type only rows 0 and 2 trade places, whatever the row count.
  auto c = U::from_columns({{0, 1, 2, 3, 4, 5, 6}, {10, 11, 12, 13, 14, 15, 16}});
  ASSERT_EQ(flip(c), 0);
  EXPECT_EQ(V(c.data(), c.data() + 14), (V{2, 1, 0, 3, 4, 5, 6, 12, 11, 10, 13, 14, 15, 16}));
  // Rows, columns, type (-100: the one-argument flip), code.
  // clang-format off
  const int shapes[][4] = {{0, 0, -100, 0}, {0, 0, -3, 0}, {2, 3, -100, -1}, {2, 3, orvo::EDGE2, 0},
      {3, 2, orvo::EDGE2, -2}, {3, 2, 23, -2}, {3, 2, -1, -2}, {5, 2, orvo::FACE_MIX, -2},
      {0, 4, -100, -1}, {0, 4, orvo::T3, -2}};
  // clang-format on
  for (const auto& [rows, cols, type, code] : shapes) {
    U c(rows, cols);
    for (int i = 0; i < rows * cols; ++i) c.data()[i] = unsigned(i);
    const U before = snapshot(c);
    EXPECT_EQ(type == -100 ? flip(c) : flip(c, static_cast<orvo::element_type>(type)), code)
        << rows << "x" << cols << " " << type;
    EXPECT_TRUE(same(c, before)) << rows << "x" << cols << " " << type;
  }
}

// The version text comes from the header CMake writes from project(VERSION).
TEST(Version, IsTheGeneratedTextOfItsComponents) {
  EXPECT_STREQ(orvo::surfkit::version(), SURFKIT_VERSION);
  const auto text = [](auto... part) { return ((std::to_string(part) + ".") + ...); };
  EXPECT_EQ(text(SURFKIT_VERSION_MAJOR, SURFKIT_VERSION_MINOR, SURFKIT_VERSION_PATCH,
                 SURFKIT_VERSION_TWEAK),
            SURFKIT_VERSION + std::string("."));
}
