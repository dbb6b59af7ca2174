#include <cstring>

#include <orvo/surfkit.hpp>

int main() {
  auto conn = orvo::dense2D<unsigned>::from_columns({{0, 1, 2, 3, 4, 5}});
  if (orvo::surfkit::flip(conn, orvo::T6) != 0 || conn(3, 0) != 5) return 1;
  return std::strcmp(orvo::surfkit::version(), "4.8.0.0") == 0 ? 0 : 1;
}
