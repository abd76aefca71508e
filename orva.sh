#!/usr/bin/env bash
# Installs what is missing, builds the release program and starts it with the
# given arguments (on the sample data file when none is given).
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orva_ensure_packages
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVA_TESTS=OFF -DORVA_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
if [ $# -eq 0 ]; then
  sample=build-release/sample
  if [ ! -f "$sample/stars.fits" ] || [ ! -f "$sample/cube.fits" ] || [ ! -f "$sample/spectrum.fits" ]; then
    mkdir -p "$sample"
    /usr/bin/python3 tools/make_sample.py "$sample" || echo "orva.sh: the sample data could not be made" >&2
  fi
  if [ -f "$sample/stars.fits" ]; then
    set -- "$sample/stars.fits"
  fi
fi
exec build-release/orva "$@"
