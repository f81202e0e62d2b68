# The debugger from the toolbar, stepping the built-in ROM's start-up: F6 runs one instruction,
# F8 skips one, a click in the address column sets a breakpoint and F5 runs to it, after which
# the front end comes back on the debugger. The window names the program counter in its map of
# controls, so each step is waited for by what it did.
source "$(dirname "$0")/lib.sh"

pc_is() { grep -qx "debugger.pc=$1.*" "$ORVET_WIDGET_MAP" 2>/dev/null; }
wait_pc() { wait_until 60 pc_is "$1" || fail "the program counter did not reach $1"; }

start_orvet
window_named Orvet >/dev/null
click_widget toolbar.debugger
wait_until 60 has_widget debugger.breakpoint.0 || fail "the debugger did not open"
wait_pc FC0030

xdotool key F6
wait_pc FC0034   # moveq #0,d7 ran after move.w #$2700,sr
xdotool key F6
wait_pc FC0036
xdotool key F8
wait_pc FC0038   # reset skipped, not run

# Line 5 of the pane, counted from the top the pane kept (FC0030), holds the lea at FC0042.
click_widget debugger.breakpoint.5
xdotool key F5
wait_until 60 has_widget debugger.breakpoint.0 && wait_pc FC0042
kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly"
echo "stepped, skipped and stopped at the breakpoint"
