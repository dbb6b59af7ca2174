#!/usr/bin/env bash
# Installs what is missing, builds the library with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)"
