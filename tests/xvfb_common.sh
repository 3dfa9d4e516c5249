# Shared by the Xvfb tests: `fail`, `find_window`, and `start_xvfb FIRST LAST SIZE`, which
# starts a private X server on the first free display of FIRST..LAST and
# exports DISPLAY. On exit the program ($app), the window manager ($wm) and
# the server are ended and $scratch, if set, is removed.
fail() { echo "FAIL: $*"; exit 1; }

app=""
wm=""
scratch=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  [ -n "$scratch" ] && rm -rf "$scratch"
}
trap cleanup EXIT

start_xvfb() {
  local n display=""
  for n in $(seq "$1" "$2"); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=":$n"; break; fi
  done
  [ -n "$display" ] || fail "no free X display"
  Xvfb "$display" -screen 0 "$3" -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
}

# start_desktop: a scratch settings folder ($scratch, the programs'
# XDG_CONFIG_HOME, with its Varnel folder made) and a window manager ($wm) on
# the server, the offscreen platform and language choice of the caller unset.
start_desktop() {
  scratch=$(mktemp -d)
  export XDG_CONFIG_HOME=$scratch
  mkdir -p "$scratch/Varnel"
  unset QT_QPA_PLATFORM LANGUAGE
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
}

# find_window [--onlyvisible] NAME: the first window whose name matches,
# waiting up to 20 s. A window that closes while xdotool walks the tree
# makes it fail with BadWindow; the search is then made again.
find_window() {
  local found="" _ name=${*: -1}
  set -- "${@:1:$#-1}"
  for _ in 1 2 3 4 5; do
    found=$(timeout 20 xdotool search --sync "$@" --name "$name" 2>/dev/null | head -1)
    [ -n "$found" ] && break
    sleep 0.2
  done
  echo "$found"
}
