# The toolbar in the real window: Run with a TOS image that cannot be used refuses with "Can't
# run...", Run with a usable one starts the machine (the front end goes), F12 brings back the
# tool last open, and Quit asks before it ends the program.
source "$(dirname "$0")/lib.sh"

# Button centres on a 1280-pixel strip: tools from the left, Run and Quit at the right end.
tool_x() { echo $((32 + 60 * $1)); }
run_x=1188 quit_x=1248 button_y=32
plain='#3A4250'  # a button's face when it is not highlighted

# Points at a button, waits until the window shows it highlighted (so the front end has seen the
# pointer), then clicks it.
click_button() {
  local x=$1
  # Each look moves the pointer a little, so a move the window missed while it was starting is
  # made again.
  lit_at() {
    xdotool mousemove "$x" $((button_y + RANDOM % 3))  # the window fills the screen from 0, 0
    local face
    face=$(pixel_at $((x - 16)) $((button_y + 16)))
    [[ -n $face && $face != "$plain" ]]
  }
  wait_until 60 lit_at || fail "the button at $x did not light up under the pointer"
  xdotool click 1
}

# Run with a TOS image that cannot be used refuses, and the program goes on.
start_orvet --tos "$work/missing.img"
window=$(window_named Orvet)
click_button "$run_x"
answer_box "Can't run..."
kill -0 "$pid" || fail "the refusal ended the program"
kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly on SIGTERM"
grep -q '^\[Graphics\]' "$XDG_CONFIG_HOME/orvet/orvet.ini" || fail "no settings saved at the end"

# Quit asks first; Yes ends the program normally.
start_orvet
window=$(window_named Orvet)
click_button "$quit_x"
answer_box "Quit..."   # Yes is the default
wait_exit "$pid"
((exit_status == 0)) || fail "Quit did not end the program cleanly"

# With a TOS image: Run hides the front end and the machine's picture takes the screen; F12
# stops the machine and the tool window comes back.
start_orvet --tos "$programs/low_resolution.rom"
window=$(window_named Orvet)
centre_is() { [[ $(pixel_at 640 512) == "$1" ]]; }
centre_is_not() { ! centre_is "$1"; }
front_end_drawn() { [[ $(pixel_at 16 48) == "$plain" ]]; }  # the debugger button's face
wait_until 60 front_end_drawn || fail "the front end was not drawn"
front_end=$(pixel_at 640 512)
click_button "$run_x"
wait_until 60 centre_is_not "$front_end" || fail "Run did not show the machine"
xdotool windowfocus --sync "$window" key F12
wait_until 60 centre_is "$front_end" || fail "F12 did not bring the front end back"
kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly on SIGTERM"
echo "toolbar works"
