# The capture window in the real program: the built-in ROM's start screen runs, F12 stops it, and
# the capture window saves that picture as a GIF and records a stretch of the machine's sound as a
# WAV file, each read back by another program (ImageMagick, sox).
source "$(dirname "$0")/lib.sh"

shots=$XDG_DATA_HOME/orvet/shot
sounds=$XDG_DATA_HOME/orvet/sound
plain='#3A4250'  # the toolbar's buttons, drawn only while the front end is open
front_end_drawn() { [[ $(pixel_at 16 48) == "$plain" ]]; }
machine_running() { ! front_end_drawn; }
# Runs the machine from the toolbar and stops it with F12 once frames have been seen.
run_then_stop() {
  click_widget toolbar.run
  wait_until 60 machine_running || fail "Run did not show the machine"
  "$@"
  xdotool windowfocus --sync "$window" key F12
  wait_until 60 front_end_drawn || fail "F12 did not bring the front end back"
}

start_orvet
window=$(window_named Orvet)
run_then_stop true

click_widget toolbar.capture
click_widget capture.gif
click_widget capture.save
wait_until 60 test -s "$shots/Orvet_000.gif" || fail "no screenshot was saved"
read -r kind width height colours < <(identify -format '%m %w %h %k\n' "$shots/Orvet_000.gif")
[[ $kind == GIF && $width == 400 && $height == 300 ]] ||
  fail "the screenshot is $kind $width x $height, not a 400 x 300 GIF"
((colours >= 2)) || fail "the screenshot has $colours colour(s), not the start screen's"

click_widget capture.wav
click_widget capture.soundButton
wait_until 60 has_widget capture.recorder=on || fail "the recorder did not start"
# While it runs, the sound goes to a hidden file that grows frame by frame.
recorded_frames() {
  local size
  size=$(find "$sounds" -name '.song_*' -printf '%s\n' | head -n 1)
  (((${size:-0} - 44) / 1762 >= $1))
}
run_then_stop wait_until 60 recorded_frames 25
click_widget capture.soundButton
wait_until 60 test -s "$sounds/song_000.wav" || fail "the recording was not saved"
[[ $(sox --i -r "$sounds/song_000.wav") == 44100 && $(sox --i -c "$sounds/song_000.wav") == 1 ]] ||
  fail "the recording is not 44,100 Hz mono"
samples=$(sox --i -s "$sounds/song_000.wav")
((samples >= 25 * 881 && samples % 881 == 0)) ||
  fail "the recording holds $samples samples, not whole frames of 881"
[[ -z $(find "$sounds" -name '.*' -type f) ]] || fail "a temporary file was left behind"

kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly"
echo "saved a $colours-colour GIF and a WAV of $samples samples"
