// The C++ side of the Python benchmark: times the library calls that bench_python.py
// times through the bindings, on the same mesh (raw files written by the script), and
// prints the median wall time of each in seconds.
//
// Usage: surfkit_time_calls DIR REPEATS. DIR holds points.bin and cells.bin (see
// python/tests/raw_arrays.hpp).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "../../python/tests/raw_arrays.hpp"
#include "orvo/surfkit.hpp"

namespace {

template <class F>
double median_seconds(int repeats, F&& f) {
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: surfkit_time_calls DIR REPEATS\n");
    return 1;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const int repeats = std::max(1, std::atoi(argv[2]));
  orvo::dense2D<double> xyz;
  orvo::dense2D<unsigned int> cells;
  if (!raw_arrays::read(dir + "points.bin", xyz) || !raw_arrays::read(dir + "cells.bin", cells)) {
    std::fprintf(stderr, "surfkit_time_calls: cannot read the mesh in %s\n", dir.c_str());
    return 1;
  }
  int code = 0;
  const double normals = median_seconds(repeats, [&] {
    orvo::dense2D<double> out;
    code |= orvo::surfkit::normals(xyz, cells, 1.0, true, out);
  });
  std::printf("normals %.9f\n", normals);
  const double neighbours = median_seconds(repeats, [&] {
    orvo::dense2D<unsigned int> out;
    code |= orvo::basekit::neighbours(cells, static_cast<unsigned>(xyz.cols()), out) < 0;
  });
  std::printf("neighbours %.9f\n", neighbours);
  // What the machine gives two threads at once: the same call on two meshes in parallel,
  // the yardstick for the Python threads (which need the GIL released to get as much).
  orvo::dense2D<double> other;
  if (!other.copy(xyz)) return 1;
  int codes[2] = {0, 0};
  const double two = median_seconds(repeats, [&] {
    std::thread t([&] {
      orvo::dense2D<double> out;
      codes[1] |= orvo::surfkit::normals(other, cells, 1.0, true, out);
    });
    orvo::dense2D<double> out;
    codes[0] |= orvo::surfkit::normals(xyz, cells, 1.0, true, out);
    t.join();
  });
  std::printf("normals_two_threads %.9f\n", two);
  code |= codes[0] | codes[1];
  return code == 0 ? 0 : 1;
}
