# The options window in the real program: a TOS image added through the file picker (a file that
# is no ROM beside it is refused and leaves the list alone), made active and given 1 MB; Run then
# runs that image, and the settings saved at the end hold the list and the memory size.
source "$(dirname "$0")/lib.sh"
settings=$XDG_CONFIG_HOME/orvet/orvet.ini

# A TOS image: the low-resolution test program behind the branch a TOS header starts with.
# Its code sets its own stack, so the reset stack pointer the branch makes of the first long
# does not matter.
mkdir "$work/roms"
tos=$work/roms/tos104.img
cp "$programs/low_resolution.rom" "$tos"
printf '\x60\x2e' | dd of="$tos" conv=notrunc status=none
printf 'not a ROM' >"$work/roms/notes.txt"

# The picker opens in the home folder: here the test's own, where the images wait in roms/.
HOME=$work start_orvet
window_named Orvet >/dev/null
click_widget toolbar.options
wait_until 60 has_widget options.add || fail "the options window did not open"
has_widget options.rom.Orvet_built-in_ROM || fail "the built-in ROM is not listed"

# click NAME: clicks the control and waits until the window shows it chosen. The pointer moves
# on only then, or a click the window has not yet taken would land where it goes next.
click() {
  click_widget "$1"
  wait_until 60 has_widget "$1.on" || fail "a click on $1 was not taken"
}

# Add: into roms/, both files chosen, and only the ROM joins the list.
click_widget options.add
click picker.entry.roms
click_widget picker.open
click picker.entry.notes.txt
xdotool keydown ctrl
click picker.entry.tos104.img
xdotool keyup ctrl
has_widget picker.entry.notes.txt.on || fail "Ctrl+click did not keep the first file chosen"
click_widget picker.open
wait_until 60 has_widget options.rom.tos104.img || fail "the TOS image was not listed"
has_widget options.rom.notes.txt && fail "a file that is no ROM was listed"

click options.rom.tos104.img
click_widget options.setActive
wait_until 60 has_widget options.active.tos104.img || fail "Set Active did not make the image active"
click options.ram.1MB

# Run: the machine runs the new ROM, whose blocks show cyan-blue at the centre of the screen,
# where the built-in ROM's start screen is white.
click_widget toolbar.run
wait_colour 640 512 cyan

kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly"
for line in Count=1 "ROM0=$tos" Active0=1 RAMSize=1; do
  grep -qx "$line" "$settings" || fail "the saved settings lack $line: $(cat "$settings")"
done
echo "ROM added, made active and run; settings saved"
