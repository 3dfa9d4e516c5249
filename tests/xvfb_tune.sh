#!/usr/bin/env bash
# Starts the real varnel-tune FILE under Xvfb with a window manager, as a
# user would: the window shows the sweep's name, is resized, zoom is reset
# from the keyboard, a screenshot is taken, Ctrl+Q ends it with status 0 and
# its inputs and window size are remembered.
# Usage: xvfb_tune.sh PATH_TO_VARNEL_TUNE SWEEP.s2p [SCREENSHOT.png] [LANG]
set -u
tune=$1
sweep=$2
screenshot=${3:-}
language=${4:-C.UTF-8}
. "$(dirname "$0")/xvfb_common.sh"
start_xvfb 141 190 1280x800x24
config=$(mktemp -d)
scratch=$config
export XDG_CONFIG_HOME=$config LANG=$language LC_ALL=$language
unset QT_QPA_PLATFORM LANGUAGE
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.5

# The stage and Qu of the sweep, as a tuner would have left them last time.
mkdir -p "$config/Varnel"
printf '[inputs]\nstage=2\nqu=3000\n' > "$config/Varnel/varnel-tune.conf"

# With a session bus, as on a desktop.
log=$config/output.txt
dbus-run-session -- "$tune" "$sweep" >"$log" 2>&1 &
app=$!
name=$(basename "$sweep")
window=$(find_window "$name")
[ -n "$window" ] || fail "no window titled with $name"
xdotool windowactivate --sync "$window" >/dev/null 2>&1
xdotool windowsize --sync "$window" 1200 760
sleep 1
xdotool key ctrl+0
xdotool mousemove --window "$window" 900 300
sleep 0.5
if [ -n "$screenshot" ]; then
  import -window root "$screenshot" || fail "no screenshot"
  # A drawn window, not a blank screen.
  spread=$(convert "$screenshot" -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "screenshot is blank ($spread)"
fi

xdotool windowactivate --sync "$window" >/dev/null 2>&1
xdotool key ctrl+q
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Ctrl+Q did not end the program"
wait "$app"
status=$?
app=""
[ "$status" -eq 0 ] || { cat "$log"; fail "exit status $status"; }
grep -q '^stage=2' "$config/Varnel/varnel-tune.conf" || fail "the stage was not remembered"
grep -q 'geometry' "$config/Varnel/varnel-tune.conf" || fail "the window size was not remembered"
echo "varnel-tune ran under Xvfb: $name shown, closed with status 0, settings kept"
