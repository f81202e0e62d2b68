# The host mouse is the machine's while it runs: a move to the right and a left click reach the
# keyboard processor's relative mouse reports (the test program colours its screen by them).
source "$(dirname "$0")/lib.sh"

start_orvet --tos "$programs/mouse_echo.rom" --run
window=$(window_named Orvet)
xdotool windowfocus --sync "$window"
x=640 y=512
moved_right() {
  xdotool mousemove_relative -- 5 0
  [[ $(colour_at $x $y) == blue ]]
}
wait_until 60 moved_right || fail "no mouse movement reached the machine"
xdotool click 1
wait_colour $x $y white
echo "mouse moves and clicks arrive"
