// Replays the fuzz targets' inputs without libFuzzer: for each folder given and each
// target, every file in <folder>/<target>/ in name order. A failing property aborts with
// its message after the line naming the input. A subfolder naming no target fails the run
// (a renamed target would otherwise lose its inputs quietly).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "replay.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int a = 1; a < argc; ++a) {
    const fs::path root = argv[a];
    if (!fs::is_directory(root)) {
      std::fprintf(stderr, "%s: not a folder\n", argv[a]);
      return 1;
    }
    for (const auto& sub : fs::directory_iterator(root)) {
      const std::string name = sub.path().filename().string();
      const bool known =
          std::any_of(fuzz::replay_targets, fuzz::replay_targets + fuzz::replay_target_count,
                      [&](const fuzz::replay_target& t) { return name == t.name; });
      if (!known) {
        std::fprintf(stderr, "%s: no fuzz target of that name\n", sub.path().c_str());
        return 1;
      }
    }
    for (std::size_t t = 0; t < fuzz::replay_target_count; ++t) {
      const fs::path dir = root / fuzz::replay_targets[t].name;
      if (!fs::is_directory(dir)) continue;
      std::vector<fs::path> files;
      for (const auto& f : fs::directory_iterator(dir))
        if (f.is_regular_file()) files.push_back(f.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) {
        std::printf("%s\n", f.c_str());
        std::fflush(stdout);
        std::ifstream in(f, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        fuzz::replay_targets[t].run(bytes.data(), bytes.size());
        ++replayed;
      }
    }
  }
  std::printf("%zu inputs replayed over %zu targets\n", replayed, fuzz::replay_target_count);
  return 0;
}
