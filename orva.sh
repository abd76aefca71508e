#!/usr/bin/env bash
# Installs what is missing, builds the release program and starts it with the
# given arguments (on the sample data file when none is given).
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orva_ensure_packages
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVA_TESTS=OFF -DORVA_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
if [ $# -eq 0 ] && [ -x build-release/orva_sample ]; then
  mkdir -p build-release/sample
  build-release/orva_sample build-release/sample
  set -- build-release/sample/*
fi
exec build-release/orva "$@"
