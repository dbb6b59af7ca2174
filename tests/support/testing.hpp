// Helpers shared by the test suites: array comparison and the storage-refusal sweep.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <tuple>
#include <utility>
#include <vector>

#include "orvo/dense.hpp"

namespace surfkit_testing {

// One run of a refusal sweep: arm() right before the call, fired() (which disarms) after.
struct refusal_point {
  explicit refusal_point(unsigned long n) : n_(n) {}
  unsigned long n() const { return n_; }
  void arm() const { orvo::storage_testing::refuse_nth_request(n_); }
  bool fired() const {
    const bool f = !orvo::storage_testing::refusal_pending();
    orvo::storage_testing::refuse_nth_request(0);
    return f;
  }
  unsigned long n_;
};
// Calls run(refusal_point{n}) for n = 1, 2, ... until a run's refusal does not fire (the call
// made fewer than n requests). `run` builds fresh inputs, arms, calls, checks and returns
// point.fired(). Returns how many runs were refused.
template <class Run>
int sweep_refusals(Run run, unsigned long limit = 100000) {
  int refused = 0;
  for (unsigned long n = 1; n < limit; ++n) {
    const bool fired = run(refusal_point(n));
    orvo::storage_testing::refuse_nth_request(0);
    if (!fired) return refused;
    ++refused;
  }
  ADD_FAILURE() << "the refusal sweep did not end";
  return refused;
}
// Same extent and same entries.
template <class T>
::testing::AssertionResult same(const orvo::dense2D<T>& a, const orvo::dense2D<T>& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols())
    return ::testing::AssertionFailure()
           << "extent " << a.rows() << "x" << a.cols() << " vs " << b.rows() << "x" << b.cols();
  for (std::size_t c = 0; c < a.cols(); ++c)
    for (std::size_t r = 0; r < a.rows(); ++r)
      if (!(a(r, c) == b(r, c)))
        return ::testing::AssertionFailure()
               << "entry (" << r << ", " << c << "): " << a(r, c) << " vs " << b(r, c);
  return ::testing::AssertionSuccess();
}
template <class T, std::size_t A>
::testing::AssertionResult same(const orvo::dense1D<T, A>& a, const orvo::dense1D<T, A>& b) {
  if (a.size() != b.size())
    return ::testing::AssertionFailure() << "size " << a.size() << " vs " << b.size();
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!(a[i] == b[i]))
      return ::testing::AssertionFailure() << "entry " << i << ": " << a[i] << " vs " << b[i];
  return ::testing::AssertionSuccess();
}
// Tuples of arrays (or std::tie) alike one by one; a failure names the first that differs.
template <class A, class B, std::size_t... I>
::testing::AssertionResult same_at(const A& a, const B& b, std::index_sequence<I...>) {
  ::testing::AssertionResult r = ::testing::AssertionSuccess();
  ((r = r ? same(std::get<I>(a), std::get<I>(b)) << " (array " << I << ")" : r), ...);
  return r;
}
template <class... T, class... U>
::testing::AssertionResult same(const std::tuple<T...>& a, const std::tuple<U...>& b) {
  static_assert(sizeof...(T) == sizeof...(U));
  return same_at(a, b, std::index_sequence_for<T...>{});
}
// A deep copy, for "nothing changed" checks.
template <class Array>
Array snapshot(const Array& a) {
  Array s;
  EXPECT_TRUE(s.copy(a));
  return s;
}
// Column j of a matrix as a vector.
template <class T>
std::vector<T> column(const orvo::dense2D<T>& a, std::size_t j) {
  std::vector<T> v(a.rows());
  for (std::size_t r = 0; r < a.rows(); ++r) v[r] = a(r, j);
  return v;
}
// Refusal sweep of call(copies...), on fresh copies of `entry` each run: a refused run
// returns -199 and leaves the copies as `refused`; the first run not refused returns `code`
// and leaves what an unarmed run leaves. Returns the number of runs refused.
template <class R, class Call, class... A>
int sweep_to(const R& refused, int code, Call call, const A&... entry) {
  auto done = std::make_tuple(snapshot(entry)...);
  EXPECT_EQ(std::apply(call, done), code) << "unarmed";
  return sweep_refusals([&](const refusal_point& p) {
    auto copies = std::make_tuple(snapshot(entry)...);
    p.arm();
    const int got = std::apply(call, copies);
    const bool fired = p.fired();
    EXPECT_EQ(got, fired ? -199 : code) << "refusal " << p.n();
    EXPECT_TRUE(same(copies, fired ? refused : done)) << "refusal " << p.n();
    return fired;
  });
}
// Refused runs leave every copy as it came.
template <class Call, class... A>
int sweep_restores(int code, Call call, const A&... entry) {
  return sweep_to(std::make_tuple(snapshot(entry)...), code, call, entry...);
}
// One output, which a refused call leaves as `refused` (empty, say).
template <class Out, class Call>
int sweep_output(const Out& entry, const Out& refused, int code, Call call) {
  return sweep_to(std::make_tuple(snapshot(refused)), code, call, entry);
}

}  // namespace surfkit_testing
