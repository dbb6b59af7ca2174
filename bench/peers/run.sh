#!/usr/bin/env bash
# Installs VTK, CGAL, Gmsh and nanoflann from Debian, builds surfkit's side-by-side
# comparison with them (Release), runs it, prints the table and writes it with a
# description of the machine to bench/peers/RESULTS.md. Run as root (for apt-get) from
# any directory; takes about ten minutes, most of it in the slower peers.
set -euo pipefail
cd "$(dirname "$0")/../.."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
apt-get install -y -q --no-install-recommends cmake make g++ liblapack-dev libgtest-dev \
  libbenchmark-dev libcgal-dev libvtk9-dev libgmsh-dev libnanoflann-dev >/dev/null

cmake -S . -B build/peers -DCMAKE_BUILD_TYPE=Release -DSURFKIT_BUILD_PEER_BENCH=ON \
  -DSURFKIT_BUILD_TESTS=OFF -DSURFKIT_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/peers --target surfkit_peers -j "$(nproc)"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
table=$(build/peers/bench/peers/surfkit_peers)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
echo "$table"

version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "?"; }
{
  echo "# surfkit next to VTK, CGAL, Gmsh and nanoflann"
  echo
  echo "Written by \`bench/peers/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC')."
  echo
  echo "- Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
    "$(free -g | awk '/^Mem:/ {print $2}') GB memory, $(. /etc/os-release && echo "$PRETTY_NAME")," \
    "kernel $(uname -r)"
  echo "- Load average (1, 5, 15 min) before the run: $load_before; after: $load_after"
  echo "- Peers: libvtk9-dev $(version libvtk9-dev), libcgal-dev $(version libcgal-dev)," \
    "libgmsh-dev $(version libgmsh-dev), libnanoflann-dev $(version libnanoflann-dev);" \
    "compiler $(g++ --version | head -1)"
  echo "- Times: processor time of one thread (VTK's SMP tools and Gmsh held to one" \
    "thread), best of three runs (one when a run takes over 3 s). Building a peer's own" \
    "mesh structure from the arrays is not timed; whatever the operation builds for itself" \
    "(edge maps, locators, trees) is. surfkit's reorientation is given its neighbour matrix."
  echo "- Results are compared before timing: node and element counts, coordinate sums," \
    "areas, interpolated values, normal directions."
  echo
  echo "$table"
} > bench/peers/RESULTS.md
echo "written to bench/peers/RESULTS.md"
