#!/usr/bin/env bash
# Makes the tutorial's pictures of the tuning window from the example sweeps,
# under a private Xvfb with a window manager, so that they are remade whenever
# the window changes:
#   tutorial-stage-fail.png     stage 2 with resonator 2 high: FAIL
#   tutorial-stage-pass.png     stage 2 in tune: PASS
#   tutorial-whole-filter.png   the whole filter, two faults
# Usage: make_tutorial_pictures.sh VARNEL_TUNE EXAMPLES_DIR OUT_DIR [LANG]
# (from the repository: docs/make_tutorial_pictures.sh build/app/varnel-tune
# examples docs)
set -u
tune=$1
examples=$2
out=$3
language=${4:-en_US.UTF-8}
. "$(dirname "$0")/../tests/xvfb_common.sh"
start_xvfb 161 200 1200x760x24
start_desktop
mkdir -p "$out"

# picture NAME SWEEP WHOLE: the window on SWEEP (the whole filter when WHOLE is
# true) at 1200x760, once its verdict is shown, as OUT/NAME.
picture() {
  cat >"$scratch/Varnel/varnel-tune.conf" <<CONF
[inputs]
order=5
bandwidth=10
ripple=0.01
f0=1000
qu=3000
stage=2

[view]
wholeFilter=$3
CONF
  cp "$examples/$2" "$scratch/$2"
  LANG=$language LC_ALL=$language dbus-run-session -- "$tune" "$scratch/$2" >"$scratch/log" 2>&1 &
  app=$!
  window=$(find_window "$2")
  [ -n "$window" ] || fail "no window titled with $2"
  xdotool windowsize --sync "$window" 1180 700 >/dev/null 2>&1
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  sleep 3 # the sweep read, fitted and drawn
  import -window "$window" "$out/$1" || fail "no screenshot $1"
  xdotool key ctrl+q
  for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  wait "$app" || fail "varnel-tune on $2 ended with status $?: $(cat "$scratch/log")"
  app=""
  [ -s "$out/$1" ] || fail "$out/$1 is empty"
  echo "made $out/$1"
}

picture tutorial-stage-fail.png stage2-resonator2-high.s1p false
picture tutorial-stage-pass.png stage2-in-tune.s1p false
picture tutorial-whole-filter.png filter-two-faults.s2p true
