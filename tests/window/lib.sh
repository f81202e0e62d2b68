# Shared by the window tests, which run the real program under Xvfb (started by CTest through
# xvfb-run) and drive it with xdotool. Every wait is for a state, bounded only so that a broken
# build fails instead of hanging: the bound is far above what a loaded machine needs.
set -euo pipefail

orvet=${ORVET:?the orvet program}
programs=${ORVET_TEST_PROGRAMS_DIR:?the 68000 test programs}
work=$(mktemp -d)
# Each test has its own settings, data and lock folders, so tests can run side by side.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# wait_until SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds.
wait_until() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# The id of the top-level window titled exactly $1, waiting for it to appear. SDL's message boxes
# carry only the UTF-8 title, which xdotool's search does not read, so xwininfo finds them.
# Under a window manager the program's window sits inside the manager's frame: the whole tree is read.
window_id() {
  xwininfo -root -tree 2>/dev/null |
    awk -v title="\"$1\":" 'index($0, title) && !found { print $1; found = 1 }'
}
has_window() { [[ -n $(window_id "$1") ]]; }
window_named() {
  wait_until 60 has_window "$1" || fail "no window titled \"$1\""
  window_id "$1"
}

# The colour of the screen at x y as #RRGGBB.
pixel_at() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
    grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1
}

# The colour of the screen at x y as a name from its three channels (black, red, green,
# yellow, blue, magenta, cyan, white), each channel on when above half.
colour_at() {
  local hex
  hex=$(pixel_at "$1" "$2")
  [[ -n $hex ]] || { echo unknown; return; }
  local names=(black blue green cyan red magenta yellow white)
  local r=$((16#${hex:1:2} > 127)) g=$((16#${hex:3:2} > 127)) b=$((16#${hex:5:2} > 127))
  echo "${names[r * 4 + g * 2 + b]}"
}

# wait_colour X Y NAME: waits until the screen shows NAME at x y; a red screen (the key test
# program's verdict on a wrong byte) fails at once.
wait_colour() {
  local x=$1 y=$2 want=$3 deadline=$((SECONDS + 60)) seen
  while true; do
    seen=$(colour_at "$x" "$y")
    [[ $seen == "$want" ]] && return 0
    [[ $seen == red && $want != red ]] && fail "the screen turned red waiting for $want"
    ((SECONDS < deadline)) || fail "the screen shows $seen, not $want"
    sleep 0.1
  done
}

# start_orvet ARGS...: starts the program in the background; its process id is left in pid.
start_orvet() {
  "$orvet" "$@" &
  pid=$!
  pids+=("$pid")
}

# answer_box TITLE: waits for the message box titled TITLE and presses its default button.
answer_box() {
  local box
  box=$(window_named "$1")
  xdotool windowfocus --sync "$box" key Return
}

# wait_exit PID: waits for the process to end and leaves its exit code in exit_status (not in a
# subshell, which could not wait for this shell's children).
wait_exit() {
  exit_status=0
  wait "$1" || exit_status=$?
}

# The front end writes where its named controls lie (see src/frontend/widget_map_view.h).
export ORVET_WIDGET_MAP=$work/widgets
# widget_centre NAME: "x y" of the control's centre, empty while the window does not show it.
widget_centre() {
  [[ -f $ORVET_WIDGET_MAP ]] || return 0
  awk -v name="$1" '$1 == name { printf "%d %d\n", ($2 + $4) / 2, ($3 + $5) / 2; exit }' \
    "$ORVET_WIDGET_MAP"
}
has_widget() { [[ -n $(widget_centre "$1") ]]; }
# click_widget NAME: waits for the control, points at it, lets the window see the pointer there
# (the map is rewritten once it does), then clicks.
click_widget() {
  wait_until 60 has_widget "$1" || fail "the window shows no control named $1"
  local centre
  centre=$(widget_centre "$1")
  xdotool mousemove $centre
  wait_until 60 hovered "$1" || fail "the window did not see the pointer over $1"
  xdotool click 1
}
hovered() { grep -qx "hovered $1" "$ORVET_WIDGET_MAP" 2>/dev/null; }
