#!/usr/bin/env bash
# Builds and runs every test twice: a RelWithDebInfo build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build. GUI tests run under Xvfb.
set -uo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orva_ensure_packages || exit 1

jobs=$(nproc)
status=0
# What failed, and why, printed again at the very end, where a log cut to its tail keeps it.
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# The failed tests of the last ctest run in $1, with the lines of their output that say why.
note_failures() {
  local dir=$1 log="$1/Testing/Temporary/LastTest.log" failed="$1/Testing/Temporary/LastTestsFailed.log"
  [ -f "$failed" ] || return 0
  {
    echo "--- failed in $dir: $(cut -d: -f2 "$failed" | tr '\n' ' ')"
    [ -f "$log" ] && grep -a -A6 -E ": Failure$|Failed$|ERROR: |runtime error|Sanitizer|Timeout|Exception" "$log" |
      cut -c1-300 | head -80
  } >>"$summary"
}

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j"$jobs" || return 1
  local rc=0
  # Tests labelled gui share one display, its pointer, keyboard focus and clipboard:
  # they run one at a time on a display of their own; the others run in parallel, each
  # test alone and then every headless binary whole, twice over in a shuffled order
  # (the *.shuffled tests), so that state one test leaves behind for another shows.
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 -LE gui ||
    rerun_if_tracer_failed "$dir" -LE gui || { rc=1; note_failures "$dir"; }
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure -j1 --timeout 600 -L gui ||
    rerun_if_tracer_failed "$dir" -L gui || { rc=1; note_failures "$dir"; }
  return $rc
}

# LeakSanitizer stops every thread with a tracer of its own at exit; that tracer now and
# then dies itself ("Tracer caught signal 11") while Mesa's threads wind down, after the
# test has passed, which says nothing of our code. When every failure of a run is that one,
# the failed tests run once more; any other failure stands.
rerun_if_tracer_failed() {
  local dir=$1; shift
  local log="$dir/Testing/Temporary/LastTest.log" failed="$dir/Testing/Temporary/LastTestsFailed.log"
  [ -f "$log" ] && [ -f "$failed" ] || return 1
  local nfailed ntracer
  nfailed=$(grep -c . "$failed")
  ntracer=$(grep -c "LeakSanitizer has encountered a fatal error" "$log")
  [ "$nfailed" -gt 0 ] && [ "$nfailed" -eq "$ntracer" ] || return 1
  echo "--- LeakSanitizer's own tracer failed in $nfailed test(s); running them again ---"
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure -j1 --timeout 600 "$@" --rerun-failed
}

echo "=== RelWithDebInfo build ==="
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1

echo "=== AddressSanitizer + UndefinedBehaviorSanitizer build ==="
# Mesa's software renderer keeps a few blocks for the life of the process (suppressed).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON -DORVA_BENCH=OFF || status=1

echo "=== libFuzzer targets (clang): corpus replay ==="
fuzz_stage() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVA_FUZZ=ON -DORVA_TESTS=OFF -DORVA_BENCH=OFF >/dev/null || return 1
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets || return 1
  fuzz/run_corpus.sh build-fuzz || return 1
}
fuzz_stage || status=1

echo "=== ThreadSanitizer: the frame cursor, the shape readers, the filter chain, the colour palettes, the Transformation worker, the Reduction against a second thread, and the playback timer thread ==="
# Only the cases where another thread races the user-interface thread: the frame
# cursor's setters against the playback timer, measuring readers under a shape
# container's lock against shape edits, a thread pulling an opened file through the
# filter chain while it is edited, rows converted while colour palettes are rebuilt, the
# Transformation worker on the playback thread while the settings and the region
# change, a thread pulling the Reduction while its shape is reshaped, and frame playback:
# the timer thread stepping the frame and sending it to the UI thread's loop, which
# draws it, ends playback and stops the timer, also with a FITS cube in the program.
tsan_stage() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null || return 1
  cmake --build build-tsan -j"$jobs" --target io_tests shapes_tests transform_tests reduction_tests \
    platform_tests views_tests main_tests || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/io_tests --gtest_filter='FrameCursor*' || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/shapes_tests --gtest_filter='ShapeContainerLock*' || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/transform_tests --gtest_filter='ColourConverterTest.Rebuilds*:TransformationThreads*' || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/reduction_tests --gtest_filter='RunnerTest.APullOnAnotherThread*' || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/platform_tests --gtest_filter='TimerServiceTest.*:WindowlessTimerTest.*' || return 1
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    build-tsan/tests/views_tests --gtest_filter='PlaybackThreadTest.*:PipelineTest.ChainEdits*' || return 1
  # A cube played in the program on the X server: the timer thread pulls each frame
  # through the real chain while the UI thread uploads, draws and repaints.
  xvfb-run -a -s "-screen 0 1280x1024x24" env \
    TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan_gl.supp} \
    build-tsan/tests/main_tests --gtest_filter='*PlayCube*' || return 1
}
tsan_stage || status=1

if [ $status -ne 0 ]; then
  [ -s "$summary" ] && { echo "=== What failed ==="; cat "$summary"; }
  echo "FAILED"
else
  echo "All tests passed in both builds; every fuzz corpus replayed clean."
fi
exit $status
