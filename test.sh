#!/usr/bin/env bash
# Builds and runs every test: the headless tests (and every fuzz corpus) in a
# RelWithDebInfo build and again in an AddressSanitizer + UndefinedBehaviorSanitizer build;
# the GUI tests in the sanitizer build, where a fault of memory or undefined behaviour in
# the program shows as well as a wrong screen (they cost as much processor time as all the
# rest, so they run once); then the cases where threads race, under ThreadSanitizer. Each
# GUI test runs on an X server of its own (tests/own_display.sh), so they run side by side
# like the others.
set -uo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orva_ensure_packages || exit 1

jobs=$(nproc)
# The GUI tests mostly wait for the program and the X server: more of them run at once
# than there are cores.
gui_jobs=${ORVA_GUI_JOBS:-$((jobs * 2))}
status=0
# What failed, and why, printed again at the very end, where a log cut to its tail keeps it.
summary=$(mktemp)
times=$(mktemp)
cpu_file=$(mktemp)
# Most of what the tests' Python runs (the independent references) cost is the start of the
# interpreter and its imports of numpy, astropy and scipy: they start from copies of one
# interpreter that has made them (tests/support/python_server.py); a run that finds no
# server makes its own start.
python_place=$(mktemp -d)
/usr/bin/python3 tests/support/python_server.py "$python_place/socket" </dev/null >"$python_place/log" 2>&1 &
python_server=$!
export ORVA_PYTHON_SERVER="$python_place/socket"
trap 'kill "$python_server" 2>/dev/null; rm -rf "$summary" "$times" "$cpu_file" "$python_place"' EXIT

# The processor time of this script's finished children, in whole seconds, into
# $children_seconds: `times` runs in this shell itself (a subshell would see no children).
children_cpu() {
  times >"$cpu_file"
  children_seconds=$(tail -n 1 "$cpu_file" |
    awk '{ t = 0; for (i = 1; i <= 2; ++i) { split($i, p, "m"); t += p[1] * 60 + p[2] } printf "%d", t }')
}

# Runs a stage ("name" command...) and notes its wall time and processor time.
stage() {
  local name=$1; shift
  local start=$SECONDS cpu rc=0
  children_cpu
  cpu=$children_seconds
  echo "=== $name ==="
  "$@" || rc=$?
  children_cpu
  local took=$((SECONDS - start)) used=$((children_seconds - cpu))
  printf '%-44s %3d min %02d s   (processor %3d min)%s\n' "$name" $((took / 60)) $((took % 60)) $((used / 60)) \
    "$([ $rc -ne 0 ] && echo '  FAILED')" >>"$times"
  return $rc
}

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

# LeakSanitizer stops every thread with a tracer of its own at exit; now and then that
# tracer dies itself ("Tracer caught signal 11") after the test has passed, and no leak
# check was made. When every failure of a run is that one, the failed tests run again (at
# most twice), so that the check is made; any other failure stands. (The GUI tests do the
# same, test by test, in own_display.sh.)
rerun_if_tracer_failed() {
  local dir=$1; shift
  local log="$dir/Testing/Temporary/LastTest.log" failed="$dir/Testing/Temporary/LastTestsFailed.log"
  local round
  for round in 1 2; do
    [ -f "$log" ] && [ -f "$failed" ] || return 1
    local nfailed ntracer
    nfailed=$(grep -c . "$failed")
    ntracer=$(grep -c "LeakSanitizer has encountered a fatal error" "$log")
    [ "$nfailed" -gt 0 ] && [ "$nfailed" -eq "$ntracer" ] || return 1
    echo "--- LeakSanitizer's own tracer failed in $nfailed test(s); running them again ---"
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 "$@" --rerun-failed && return 0
  done
  return 1
}

# ctest starts the tests it expects to take longest first, so that none is left running
# alone at the end; on a new build it has no times of its own yet and takes those of an
# earlier run (tests/ctest_cost_data.txt, ctest's own format; a test not named there
# starts last).
seed_costs() {
  local file="$1/Testing/Temporary/CTestCostData.txt"
  [ -f "$file" ] || { mkdir -p "$1/Testing/Temporary" && cp tests/ctest_cost_data.txt "$file"; }
}

build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j"$jobs"
}

# The headless tests (and the fuzz corpora) run in parallel, each test alone and then
# every headless binary whole in a shuffled order (the *.shuffled tests, started first),
# so that state one test leaves behind for another shows.
headless_tests() {
  local dir=$1
  seed_costs "$dir"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 -LE gui ||
    rerun_if_tracer_failed "$dir" -LE gui || { note_failures "$dir"; return 1; }
}

# The GUI tests judge the screen within waits, and twice as many run at once as there are
# cores: on a slower machine a test can miss a wait (a playback rate, a repaint) only
# because its neighbours kept the processors. Those that fail run once more, one at a
# time; a fault of the program fails there too. Their names stay in the summary.
gui_tests() {
  local dir=$1 failed="$1/Testing/Temporary/LastTestsFailed.log"
  seed_costs "$dir"
  ctest --test-dir "$dir" --output-on-failure -j"$gui_jobs" --timeout 600 -L gui && return 0
  [ -f "$failed" ] || { note_failures "$dir"; return 1; }
  local first
  first=$(cut -d: -f2 "$failed" | tr '\n' ' ')
  echo "--- running the failed GUI tests again, one at a time: $first---"
  if ctest --test-dir "$dir" --output-on-failure -j1 --timeout 600 -L gui --rerun-failed; then
    echo "--- in $dir these GUI tests failed among the others and passed alone: $first" >>"$summary"
    return 0
  fi
  note_failures "$dir"
  return 1
}

stage "RelWithDebInfo: build" build build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  { stage "RelWithDebInfo: headless tests, fuzz corpora" headless_tests build || status=1; } || status=1

# Mesa's software renderer keeps a few blocks for the life of the process (suppressed).
# The sanitizer's watch on __tls_get_addr is off: for the thread-local blocks of the
# libraries Mesa loads it guesses a block's extent from the 16 bytes before it, and when
# the C library's block lands 16 bytes past a page boundary it takes the allocator's own
# header for one, and LeakSanitizer's tracer then dies reading from a small address at
# exit ("Tracer caught signal 11"), the same way on every run of a program whose heap is
# laid out so. Those blocks hold only Mesa's and LLVM's data, whose blocks are suppressed
# anyway; our own thread-local data is in the static block, which is still scanned.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Only the cases where another thread races the user-interface thread: the frame
# cursor's setters against the playback timer, measuring readers under a shape
# container's lock against shape edits, a thread pulling an opened file through the
# filter chain while it is edited, rows converted while colour palettes are rebuilt, the
# Transformation worker on the playback thread while the settings and the region
# change, a thread pulling the Reduction while its shape is reshaped, and frame playback:
# the timer thread stepping the frame and sending it to the UI thread's loop, which
# draws it, ends playback and stops the timer, also with a FITS cube in the program.
# The build holds the test sources of those cases only.
tsan_sources="io/frame_cursor_test.cpp;shapes/shape_lock_test.cpp;transform/color_converter_test.cpp"
tsan_sources+=";transform/transformation_test.cpp;reduction/reduction_runner_test.cpp"
tsan_sources+=";platform/timer_service_test.cpp;views/playback_thread_test.cpp"
tsan_sources+=";views/processing_pipeline_test.cpp;main/play_cube_test.cpp"
tsan_build() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
    -DCMAKE_C_FLAGS_DEBUG=-g1 -DORVA_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DORVA_TEST_SOURCES="$tsan_sources" >/dev/null || return 1
  cmake --build build-tsan -j"$jobs" --target io_tests shapes_tests transform_tests reduction_tests \
    platform_tests views_tests main_tests
}
tsan_tests() {
  local options=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  TSAN_OPTIONS=$options build-tsan/tests/io_tests --gtest_filter='FrameCursor*' &&
    TSAN_OPTIONS=$options build-tsan/tests/shapes_tests --gtest_filter='ShapeContainerLock*' &&
    TSAN_OPTIONS=$options build-tsan/tests/transform_tests \
      --gtest_filter='ColourConverterTest.Rebuilds*:TransformationThreads*' &&
    TSAN_OPTIONS=$options build-tsan/tests/reduction_tests --gtest_filter='RunnerTest.APullOnAnotherThread*' &&
    TSAN_OPTIONS=$options tests/own_display.sh build-tsan/tests/platform_tests \
      --gtest_filter='TimerServiceTest.*:WindowlessTimerTest.*' &&
    TSAN_OPTIONS=$options build-tsan/tests/views_tests --gtest_filter='PlaybackThreadTest.*:PipelineTest.ChainEdits*' &&
    # A cube played in the program on the X server: the timer thread pulls each frame
    # through the real chain while the UI thread uploads, draws and repaints.
    TSAN_OPTIONS=$options:suppressions=$PWD/tools/tsan_gl.supp tests/own_display.sh \
      build-tsan/tests/main_tests --gtest_filter='*PlayCube*'
}
# The sanitizers' reports need files and lines, not the variables' places (-g1): a tenth
# less of the build's time.
stage "ASan+UBSan: build" build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DCMAKE_C_FLAGS_DEBUG=-g1 -DORVA_SANITIZE=ON -DORVA_BENCH=OFF
asan_built=$?
# The threads' cases spend their time waiting on their timers and the X server, not on the
# processors: they are built and run beside the sanitizers' tests, at a lower priority,
# rather than after them. (Each stage's processor time then counts some of theirs.)
tsan_log=$(mktemp)
(
  renice -n 10 "$BASHPID" >/dev/null 2>&1
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
  stage "ThreadSanitizer: build" tsan_build && stage "ThreadSanitizer: threads' cases" tsan_tests
) >"$tsan_log" 2>&1 &
tsan_pid=$!
[ $asan_built -eq 0 ] &&
  { stage "ASan+UBSan: headless tests, fuzz corpora" headless_tests build-asan || status=1
    stage "ASan+UBSan: GUI tests" gui_tests build-asan || status=1; } || status=1
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
wait "$tsan_pid" || status=1
cat "$tsan_log"
rm -f "$tsan_log"

echo "=== Wall time of each stage, on $jobs cores ==="
cat "$times"
if [ $status -ne 0 ]; then
  [ -s "$summary" ] && { echo "=== What failed ==="; cat "$summary"; }
  echo "FAILED"
else
  echo "All headless tests passed in both builds and every GUI test in the sanitizer build; every fuzz corpus replayed clean; the threads' cases ran clean."
  [ -s "$summary" ] && cat "$summary"
fi
exit $status
