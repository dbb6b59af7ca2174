#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the example tour, which writes
# its meshes as .vtu files into the directory given (default: build/tour).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default
cmake --build --preset default --target surfkit_tour -j "$(nproc)"
build/default/examples/surfkit_tour "${1:-build/tour}"
