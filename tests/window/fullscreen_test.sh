# Under a window manager, as a person runs it: the window opens maximised, Alt+Enter makes it
# fullscreen and the choice is saved; a fullscreen window that loses the focus steps aside
# (minimised), a windowed one stays where it is.
source "$(dirname "$0")/lib.sh"

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_until 60 wm_running || fail "the window manager did not start"

state_of() { xprop -id "$1" "$2" 2>/dev/null; }
has_state() { state_of "$1" "$2" | grep -q "$3"; }

start_orvet --tos "$programs/low_resolution.rom" --run
window=$(window_named Orvet)
wait_until 60 has_state "$window" _NET_WM_STATE MAXIMIZED_HORZ || fail "the window did not open maximised"

# Another window to give the focus to.
xmessage -title Other "another program" &
pids+=($!)
other=$(window_named Other)

# Windowed: losing the focus leaves the window where it is.
xdotool windowactivate --sync "$other"
has_state "$window" WM_STATE Normal || fail "a windowed Orvet was minimised on losing the focus"

xdotool windowactivate --sync "$window" key alt+Return
wait_until 60 has_state "$window" _NET_WM_STATE FULLSCREEN || fail "Alt+Enter did not go fullscreen"
xdotool windowactivate --sync "$other"
wait_until 60 has_state "$window" WM_STATE Iconic || fail "a fullscreen Orvet stayed over the other window"

kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly"
grep -q '^Fullscreen=1$' "$XDG_CONFIG_HOME/orvet/orvet.ini" || fail "fullscreen was not saved"
echo "maximised, fullscreen, minimised only when fullscreen"
