# Keys typed into the real window reach the machine's keyboard processor, and a key held while
# the window loses the focus is released for the machine (its release went to another window),
# so nothing sticks. The test program colours the screen by how many expected bytes arrived.
source "$(dirname "$0")/lib.sh"

start_orvet --tos "$programs/key_echo.rom" --run
window=$(window_named Orvet)
xdotool windowfocus --sync "$window"
x=640 y=512
wait_colour $x $y blue      # the keyboard processor's reset reply
xdotool keydown a
wait_colour $x $y green     # A pressed
root=$(xdotool search --maxdepth 0 --name "" | head -n 1)
xdotool windowfocus --sync "$root"
xdotool keyup a             # released where Orvet cannot see it
xdotool windowfocus --sync "$window"
wait_colour $x $y cyan      # ...and still released for the machine
xdotool key b
wait_colour $x $y white     # B pressed and released, nothing else in between
echo "keys arrived in order"
