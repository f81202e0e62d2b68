# Quick save and load from the real window: Num Lock saves the running machine to the current
# slot in the data folder, Menu brings it back (the test program's screen goes back to the colour
# it had when the state was saved), and Shift+Num Lock moves to the next slot.
source "$(dirname "$0")/lib.sh"

states=$XDG_DATA_HOME/orvet/states
start_orvet --tos "$programs/key_echo.rom" --run
window=$(window_named Orvet)
xdotool windowfocus --sync "$window"
x=640 y=512
wait_colour $x $y blue      # the keyboard processor's reset reply, nothing typed yet
xdotool key Num_Lock
wait_until 60 test -s "$states/state_0.ost" || fail "Num Lock saved no state to slot 0"
xdotool key a
wait_colour $x $y cyan      # A pressed and released
xdotool key Menu
wait_colour $x $y blue      # the machine as it was saved, before A
xdotool key shift+Num_Lock Num_Lock
wait_until 60 test -s "$states/state_1.ost" || fail "no state in the next slot"
echo "states saved and loaded"
