#!/usr/bin/env bash
# Runs one test command on an X server of its own, with its own settings, runtime,
# home and temporary folders, so that tests run side by side never share a pointer,
# keyboard focus, clipboard, hand-over socket or settings file. The server and the
# folders go when the command ends.
#   own_display.sh COMMAND [ARGUMENTS...]
# ORVA_TEST_SCREEN sets the screen (default 1280x1024x24). ORVA_TEST_WM names a window
# manager (openbox) that runs on the server before the command starts, as on a desktop.
# Listing a test binary's tests needs no display.
set -u
for a in "$@"; do
  [ "$a" = "--gtest_list_tests" ] && exec "$@"
done

# Mesa's software renderer draws on the thread that calls it: the tests side by side
# already keep every core busy, and a process without renderer threads leaves none
# winding down while LeakSanitizer's tracer stops the process at its exit. Its compiled
# shaders stay in the user's own shader cache, not in the test's empty home: compiling
# them again would be most of what a program test costs.
export LP_NUM_THREADS=${LP_NUM_THREADS:-0}
export MESA_SHADER_CACHE_DIR=${MESA_SHADER_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/mesa_shader_cache}
# Mesa makes the cache's own folder but not the folders above it: on a new machine, where
# the user's cache folder is not there yet, it would keep no shader and compile each anew.
mkdir -p "$MESA_SHADER_CACHE_DIR" 2>/dev/null

place=$(mktemp -d "${TMPDIR:-/tmp}/orva_display_XXXXXX") || exit 1
xvfb=
wm=
stop_server() {
  if [ -n "$wm" ]; then
    kill "$wm" 2>/dev/null
    wait "$wm" 2>/dev/null
  fi
  wm=
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  xvfb=
}
trap 'stop_server; rm -rf "$place"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# One run of the command on a new server and in new folders; its exit status.
run_once() {
  rm -rf "$place/run" "$place/config" "$place/home" "$place/tmp" "$place/number" "$place/wm"
  mkdir -p "$place/config" "$place/home" "$place/tmp" "$place/wm"
  mkdir -m 700 "$place/run"
  # Xvfb takes the first free display number and writes it once it takes connections.
  # It ends with this script even when the script is killed outright (a test's time-out).
  mkfifo "$place/number"
  setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 "${ORVA_TEST_SCREEN:-1280x1024x24}" -nolisten tcp \
    3>"$place/number" 2>"$place/xvfb.log" &
  xvfb=$!
  local number=
  read -r number <"$place/number"
  if [ -z "$number" ]; then
    echo "own_display.sh: Xvfb did not start:" >&2
    cat "$place/xvfb.log" >&2
    return 1
  fi
  if [ -n "${ORVA_TEST_WM:-}" ]; then
    DISPLAY=":$number" HOME="$place/wm" XDG_CONFIG_HOME="$place/wm" XDG_CACHE_HOME="$place/wm" \
      setpriv --pdeathsig TERM "$ORVA_TEST_WM" >"$place/wm.log" 2>&1 &
    wm=$!
    # The manager is there once its check window names itself on the root window.
    local waited=0
    until xprop -display ":$number" -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
      if [ $waited -ge 200 ] || ! kill -0 "$wm" 2>/dev/null; then
        echo "own_display.sh: the window manager $ORVA_TEST_WM did not start:" >&2
        cat "$place/wm.log" >&2
        return 1
      fi
      sleep 0.05
      waited=$((waited + 1))
    done
  fi
  # The sanitizers' reports (of the test and of every program it starts) go to files of
  # their own, read once the run has ended, and then to the error output.
  rm -f "$place"/sanitizer.*
  local status=0
  DISPLAY=":$number" XDG_CONFIG_HOME="$place/config" XDG_RUNTIME_DIR="$place/run" HOME="$place/home" \
    TMPDIR="$place/tmp" ASAN_OPTIONS="${ASAN_OPTIONS:-}:log_path=$place/sanitizer" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:log_path=$place/sanitizer" "$@"
  status=$?
  stop_server
  cat "$place"/sanitizer.* >&2 2>/dev/null
  return "$status"
}

# LeakSanitizer stops every thread with a tracer of its own at exit; now and then that
# tracer dies itself ("Tracer caught signal 11") after the test has passed, and no leak
# check was made. Such a run is made again, up to three runs in all, so that the check is
# made; a leak found, or any other failure, stands at once.
for attempt in 1 2 3; do
  run_once "$@"
  status=$?
  [ "$status" -eq 0 ] && exit 0
  cat "$place"/sanitizer.* 2>/dev/null | grep -q "LeakSanitizer has encountered a fatal error" || exit "$status"
  cat "$place"/sanitizer.* | grep -q "ERROR: LeakSanitizer: detected memory leaks\|ERROR: AddressSanitizer\|runtime error:" &&
    exit "$status"
  echo "own_display.sh: LeakSanitizer's tracer died (run $attempt of 3); the test runs again" >&2
done
exit "$status"
