#!/usr/bin/env bash
# Drives the real varnel under Xvfb as a user would: clicks, typing, the
# error box, the Exit button and, with a window manager, the close box.
# Usage: xvfb_varnel.sh PATH_TO_VARNEL plain|wm [SCREENSHOT.png]
set -u
varnel=$1
mode=${2:-plain}
screenshot=${3:-}
. "$(dirname "$0")/xvfb_common.sh"
start_xvfb 90 140 640x480x24

if [ "$mode" = wm ]; then
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
fi

unset QT_QPA_PLATFORM
launch() {
  "$varnel" >/dev/null 2>&1 &
  app=$!
  window=$(find_window --onlyvisible '^Varnel$')
  [ -n "$window" ] || fail "the window did not appear"
  sleep 0.5
}
# Waits up to 30 s for the program to end; fails unless its status is 0.
expect_clean_exit() {
  for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "$1 did not end the program within 30 s"
  wait "$app"; local status=$?
  app=""
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
}
launch

# Control centres in pixels (twips / 15), relative to the window.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.2; }
calculate() { click 40 180; }
select_all_in() { click "$1" "$2"; xdotool key ctrl+a; }
result() {
  printf '' | xclip -selection clipboard
  select_all_in 62 130; xdotool key ctrl+c; sleep 0.2
  xclip -o -selection clipboard 2>/dev/null
}
visible_windows() { xdotool search --onlyvisible --name '^Varnel$' 2>/dev/null | wc -l; }

calculate
[ "$(result)" = "48.149" ] || fail "initial texts gave '$(result)', not 48.149"

select_all_in 80 54; xdotool type --delay 20 "20"; sleep 0.2
calculate
[ "$(result)" = "24.074" ] || fail "bandwidth 20 gave '$(result)', not 24.074"

# Tab from Calculate to the order field, type a new order, Space on the button.
select_all_in 80 30; xdotool type --delay 20 "3"
xdotool key Tab Tab Tab Tab Tab; sleep 0.2   # Text2, Text3, Command2, Text4, Command1
xdotool key space; sleep 0.3
[ "$(result)" = "20.027" ] || fail "order 3, bandwidth 20 by Space gave '$(result)', not 20.027"

# An empty bandwidth: the error box appears, the result stays, the program runs on.
select_all_in 80 54; xdotool key BackSpace
calculate
for _ in $(seq 30); do [ "$(visible_windows)" -ge 2 ] && break; sleep 0.1; done
[ "$(visible_windows)" -ge 2 ] || fail "no error box for an empty bandwidth"
[ -n "$screenshot" ] && import -window root "$screenshot"
xdotool key Return; sleep 0.3
[ "$(visible_windows)" -eq 1 ] || fail "the error box did not close"
kill -0 "$app" 2>/dev/null || fail "the program ended after the error box"
[ "$(result)" = "20.027" ] || fail "the result field changed after an error"

# Exit: the window collapses and the program ends with status 0.
started=$(date +%s%N)
click 95 180
expect_clean_exit "Exit"
echo "exit ($mode) took $(( ($(date +%s%N) - started) / 1000000 )) ms"

if [ "$mode" = wm ]; then
  # The close box, through the window manager.
  launch
  wmctrl -c Varnel
  expect_clean_exit "The close box"
fi
echo "1 passed, 0 failed"
