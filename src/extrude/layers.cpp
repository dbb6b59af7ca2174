#include "extrude/layers.hpp"

#include <unordered_map>

namespace orvo::surfkit::detail {

layer_table build_layer_table(const dense2D<unsigned int>& line) {
  const std::size_t ne = line.cols();
  layer_table table;
  table.ranks.resize(ne);
  std::unordered_map<unsigned, unsigned> rank_of;
  rank_of.reserve(ne + 1);
  const unsigned* col = line.data();
  for (std::size_t j = 0; j < ne; ++j, col += line.ld())
    for (int end = 0; end < 2; ++end) {
      const auto next = static_cast<unsigned>(table.nodes.size());
      const auto found = rank_of.emplace(col[end], next);
      if (found.second) table.nodes.push_back(col[end]);
      table.ranks[j][end] = found.first->second;
    }
  return table;
}

}  // namespace orvo::surfkit::detail
