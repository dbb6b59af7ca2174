#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are present. As root it installs the
# missing ones; otherwise it prints the exact command to run and fails.
# Usage: scripts/deps.sh [extra package ...]
set -euo pipefail
# The Python package (python/) is built for Debian's /usr/bin/python3 with these
# (python3-dask and python3-distributed for surfkit.distributed and `surfkit batch`).
packages=(cmake make g++ liblapack-dev libgtest-dev python3-dev python3-numpy pybind11-dev
  python3-pytest python3-meshio python3-matplotlib python3-dask python3-distributed "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
