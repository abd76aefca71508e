#!/usr/bin/env bash
# Replays every fuzz target of a fuzz build over its corpus folder
# (fuzz/corpus/<target>/): each file runs once, no new inputs are generated.
# Usage: fuzz/run_corpus.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?build folder}
status=0
shopt -s nullglob
for bin in "$build"/fuzz/*_fuzz; do
  target=$(basename "$bin" _fuzz)
  corpus="$here/corpus/$target"
  files=("$corpus"/*)
  if [ ${#files[@]} -eq 0 ]; then
    echo "fuzz $target: no corpus"
    continue
  fi
  if "$bin" -runs=0 "$corpus" >"$build/fuzz/$target.log" 2>&1; then
    echo "fuzz $target: ${#files[@]} input(s) replayed"
  else
    echo "fuzz $target: FAILED (see $build/fuzz/$target.log)"
    tail -n 30 "$build/fuzz/$target.log"
    status=1
  fi
done
exit $status
