#!/usr/bin/env bash
# Starts the real varnel-tune FILE under Xvfb on a 1024x600 screen with a
# window manager, as a tuner would use it:
#   - the first start fits the screen;
#   - a zoom dragged on the chart stays when the sweep is saved again (the
#     pointer readout at one spot is unchanged, the curve and verdict are
#     new), and Ctrl+0 resets it;
#   - a click on the chart puts a marker there and the chart does not move
#     (its axis labels stay where they were);
#   - the stage changed from the keyboard with the band on redraws the chart;
#   - a file dragged from another program and dropped on the chart opens;
#   - a screenshot is taken, Ctrl+Q ends it with status 0 and its inputs
#     and window size are remembered;
#   - a session ended at full size on a 1280x800 screen opens within the
#     1024x600 one afterwards.
# Usage: xvfb_tune.sh VARNEL_TUNE SWEEP.s2p [SCREENSHOT.png] [LANG] [DRAG_SOURCE]
set -u
tune=$1
sweep=$2
screenshot=${3:-}
language=${4:-C.UTF-8}
drag_source=${5:-}
. "$(dirname "$0")/xvfb_common.sh"
start_xvfb 141 190 1024x600x24
start_desktop
config=$scratch

# The stage and Qu of the sweep, as a tuner would have left them last time;
# no window size yet, as on a first start.
mkdir -p "$config/Varnel" "$config/sweeps"
printf '[inputs]\nstage=2\nqu=3000\n' > "$config/Varnel/varnel-tune.conf"
shown=$config/sweeps/stage2.s2p
dropped=$config/sweeps/dropped.s2p
cp "$sweep" "$shown"
cp "$sweep" "$dropped"

# launch SCREEN: the program on the sweep, with a session bus as on a
# desktop; its window id in $window.
log=$config/output.txt
launch() {
  LANG=$language LC_ALL=$language dbus-run-session -- "$tune" "$shown" >"$log" 2>&1 &
  app=$!
  window=$(find_window "stage2\.s2p")
  [ -n "$window" ] || fail "no window titled with stage2.s2p on the $1 screen"
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  sleep 1
}
# quit: Ctrl+Q, which must end the program; its exit status in $status.
quit() {
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  xdotool key ctrl+q
  for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "Ctrl+Q did not end the program"
  wait "$app"
  status=$?
  app=""
}
launch 1024x600

# frame_on_screen W H: the window's frame (its client area from xwininfo, the
# decorations from _NET_FRAME_EXTENTS) within a W x H screen; its extent in
# $frame.
frame_on_screen() {
  local x y w h l=0 r=0 t=0 b=0 extents
  x=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ { print $4 }')
  y=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ { print $4 }')
  w=$(xwininfo -id "$window" | awk '/Width:/ { print $2 }')
  h=$(xwininfo -id "$window" | awk '/Height:/ { print $2 }')
  extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ',')
  [ -n "$extents" ] && read -r l r t b <<<"$extents"
  frame="$((w + l + r))x$((h + t + b)) at $((x - l)),$((y - t))"
  [ $((x - l)) -ge 0 ] && [ $((y - t)) -ge 0 ] && [ $((x + w + r)) -le "$1" ] &&
    [ $((y + h + b)) -le "$2" ]
}

# The first start fits the screen.
frame_on_screen 1024 600 || fail "the window ($frame) does not fit the 1024x600 screen"
eval "$(xdotool getwindowgeometry --shell "$window")"

# Spots on the chart, as fractions of the window: the chart fills the right
# part, the pointer readout is at the right end of the status bar.
at() { echo $((X + WIDTH * $1 / 100)) $((Y + HEIGHT * $2 / 100)); }
readout_crop() { echo "$((WIDTH * 30 / 100))x24+$((X + WIDTH * 70 / 100))+$((Y + HEIGHT - 30))"; }
shot() { import -window root "$1" || fail "no screenshot"; }
differs() { [ "$(compare -metric AE ${3:+-crop "$3"} "$1" "$2" null: 2>&1)" != 0 ]; }
point_at() { # move away and back, so that the readout is of this spot
  xdotool mousemove $(at 75 30)
  sleep 0.2
  xdotool mousemove $(at 77 45)
  sleep 0.4
}

# Zoom by dragging a rectangle on the chart.
xdotool mousemove $(at 64 25) mousedown 1
for spot in "68 35" "74 50" "80 60" "86 70"; do xdotool mousemove $(at $spot); sleep 0.05; done
xdotool mouseup 1
sleep 0.5
point_at
shot "$config/zoomed.png"

# The analyser saves the sweep again, 2 ns of cable longer: a new curve and
# verdict, the same zoom.
python3 - "$shown" <<'EOF' || fail "cannot write the re-saved sweep"
import cmath, math, sys
lines = []
for line in open(sys.argv[1]):
    t = line.split()
    if t and t[0][0] not in "!#":
        f_ghz = float(t[0])
        s11 = complex(float(t[1]), float(t[2])) * cmath.exp(-2j * math.pi * f_ghz * 2.0)
        t[1], t[2] = repr(s11.real), repr(s11.imag)
        line = " ".join(t) + "\n"
    lines.append(line)
open(sys.argv[1], "w").write("".join(lines))
EOF
sleep 1.5
point_at
shot "$config/resaved.png"
differs "$config/zoomed.png" "$config/resaved.png" || fail "the re-saved sweep was not shown"
differs "$config/zoomed.png" "$config/resaved.png" "$(readout_crop)" &&
  fail "the zoom changed when the sweep was saved again"

# Ctrl+0 resets the zoom: the same spot now reads another frequency.
xdotool windowactivate --sync "$window" >/dev/null 2>&1
xdotool key ctrl+0
sleep 0.3
point_at
shot "$config/reset.png"
differs "$config/resaved.png" "$config/reset.png" "$(readout_crop)" ||
  fail "Ctrl+0 did not reset the zoom"

# A click on the chart puts a marker; the chart's left axis (its labels
# and title) stays where it was.
axis_crop() { echo "$((WIDTH * 6 / 100))x$((HEIGHT * 50 / 100))+$((X + WIDTH * 50 / 100))+$((Y + HEIGHT * 10 / 100))"; }
shot "$config/before-marker.png"
xdotool mousemove $(at 77 40) click 1
sleep 0.5
xdotool mousemove $(at 75 30)
sleep 0.3
shot "$config/marker.png"
differs "$config/before-marker.png" "$config/marker.png" || fail "the click put no marker"
differs "$config/before-marker.png" "$config/marker.png" "$(axis_crop)" &&
  fail "the chart moved when a marker was added"

# The next stage from the keyboard, the band on: the chart is redrawn for
# stage 3.
xdotool key ctrl+Next
sleep 1.5
shot "$config/stage3.png"
differs "$config/marker.png" "$config/stage3.png" "$(axis_crop)" ||
  fail "the chart was not redrawn for the new stage"

# A file dragged from another program and dropped on the chart opens.
if [ -n "$drag_source" ]; then
  "$drag_source" "$dropped" >"$config/drag.txt" 2>&1 &
  source_app=$!
  source_window=$(find_window "drag source")
  [ -n "$source_window" ] || fail "no drag source window"
  xdotool windowmove --sync "$source_window" $(at 5 60) >/dev/null 2>&1
  sleep 0.3
  eval "$(xdotool getwindowgeometry --shell "$source_window")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) mousedown 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  for spot in "20 55" "40 50" "60 45" "70 45" "77 45"; do xdotool mousemove $(at $spot); sleep 0.1; done
  sleep 0.3
  xdotool mouseup 1
  [ -n "$(find_window "dropped\.s2p")" ] || fail "the file dropped on the chart was not opened"
  grep -q '^dropped' "$config/drag.txt" || fail "the drop was refused: $(cat "$config/drag.txt")"
  kill "$source_app" 2>/dev/null
  wait "$source_app" 2>/dev/null
fi

if [ -n "$screenshot" ]; then
  shot "$screenshot"
  # A drawn window, not a blank screen.
  spread=$(convert "$screenshot" -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "screenshot is blank ($spread)"
fi

quit
[ "$status" -eq 0 ] || { cat "$log"; fail "exit status $status"; }
grep -q '^stage=3' "$config/Varnel/varnel-tune.conf" || fail "the stage was not remembered"
grep -q 'geometry' "$config/Varnel/varnel-tune.conf" || fail "the window size was not remembered"

# run_on SIZE: the program on a new screen of SIZE with the same settings,
# its window id in $window.
run_on() {
  kill "$wm" "$xvfb" 2>/dev/null
  wait "$wm" "$xvfb" 2>/dev/null
  start_xvfb 141 190 "$1"
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
  launch "$1"
}
# A session ended at full size on a larger screen...
run_on 1280x800x24
xdotool windowsize --sync "$window" 1280 800 >/dev/null 2>&1
sleep 0.5
quit
# ...opens within the small one.
run_on 1024x600x24
sleep 0.5
frame_on_screen 1024 600 ||
  fail "after a 1280x800 session the window ($frame) leaves the 1024x600 screen"
quit
echo "varnel-tune ran under Xvfb: fits 1024x600 (also after a 1280x800 session), zoom kept" \
  "across a re-save, a marker added without the chart moving, the stage changed, drop on" \
  "the chart opened, closed with status 0, settings kept"
