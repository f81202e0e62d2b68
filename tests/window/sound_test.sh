# What the sound device actually played, captured by SDL's disk audio driver, is the machine's
# own sound: a 440 Hz tone reaches the device unbroken through the ring, and sox hears the tone.
source "$(dirname "$0")/lib.sh"
sound_match=${ORVET_SOUND_MATCH:?the sound_match tool}

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/played.raw
rom=$programs/tone.rom
"$orvet" --headless --tos "$rom" --frames 150 --wav "$work/recorded.wav"
"$orvet" --tos "$rom" --run --frames 150
[[ -s $work/played.raw ]] || fail "the sound device played nothing"
"$sound_match" "$work/played.raw" "$work/recorded.wav" 10 130
# The square wave's harmonics and the YM2149's one-sided output would fool sox's estimate: it
# hears one second from the middle, with the edges taken off.
frequency=$(sox -t raw -r 44100 -e signed -b 16 -c 1 "$work/played.raw" -n \
  trim 0.5 1 highpass 100 lowpass 600 stat 2>&1 | awk '/Rough.*frequency/ {print $3}')
echo "sox: rough frequency $frequency Hz"
((frequency >= 420 && frequency <= 460)) || fail "the device played $frequency Hz, not 440"

# No sound device: the designed box says so, and after it the machine runs its frames silent.
SDL_AUDIODRIVER=no-such-driver start_orvet --tos "$rom" --run --frames 50
answer_box "Audio Error"
wait_exit "$pid"
((exit_status == 0)) || fail "without a sound device the program ended with $exit_status"
echo "no device: the box, then silence"
