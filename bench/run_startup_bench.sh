#!/usr/bin/env bash
# Start-up time and peak memory of varnel against a minimal Qt program, under
# a private Xvfb server, taking turns run by run.
# Usage: bench/run_startup_bench.sh [BUILD_DIR] [RUNS] [OTHER_PROGRAM...]
set -eu
build=${1:-build}
runs=${2:-20}
shift $(($# < 2 ? $# : 2))
display=""
for n in $(seq 150 199); do
  if [ ! -e /tmp/.X11-unix/X$n ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
dbus-run-session -- "$build/bench/startup_bench" "$runs" "$build/bench/minimal_qt" "$build/app/varnel" "$@"
