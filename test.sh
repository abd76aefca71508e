#!/usr/bin/env bash
# Builds and runs every test twice: a RelWithDebInfo build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build. GUI tests run under Xvfb.
set -uo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orva_ensure_packages || exit 1

jobs=$(nproc)
status=0

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j"$jobs" || return 1
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 || return 1
}

echo "=== RelWithDebInfo build ==="
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1

echo "=== AddressSanitizer + UndefinedBehaviorSanitizer build ==="
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON -DORVA_BENCH=OFF || status=1

if [ $status -ne 0 ]; then
  echo "FAILED"
else
  echo "All tests passed in both builds."
fi
exit $status
