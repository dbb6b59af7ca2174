// surfkit_tour [output directory]: runs one small example of every family of the
// library and writes the meshes it makes as .vtu files (open them in ParaView).
#include "tour.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "orvo/surfkit.hpp"

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "surfkit_tour_output";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }
  std::printf("surfkit %s, writing into %s/\n", orvo::surfkit::version(), dir.c_str());
  struct step {
    const char* name;
    int (*run)(const std::string&);
  };
  const step steps[] = {
      {"frame", tour::frame},

      {"conversion", tour::conversion},

      {"topology", tour::topology},

      {"extrusion", tour::extrusion},

      {"structured", tour::structured},

      {"interpolation", tour::interpolation},

      {"geometry", tour::geometry},
  };
  int failures = 0;
  for (const step& s : steps) {
    std::printf("%s\n", s.name);
    if (s.run(dir) != 0) {
      std::printf("  FAILED\n");
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
