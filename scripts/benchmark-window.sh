#!/usr/bin/env bash
# The window's pacing and cost, measured on the real program under Xvfb with Mesa's software
# OpenGL, as README.md reports them:
#   1. real time in the paced mode (SyncMode 1) for SECONDS (default 60), paced by a sound device:
#      SDL's disk driver, playing into /dev/null. Frames a second after the first, sound underruns
#      after the first second, processor use of the whole process. The disk driver keeps time by
#      sleeping 10 ms a call, so on a loaded host it runs a little slow, and the machine with it;
#   2. the same with no sound device (--no-sound), paced by the host clock: how exactly Orvet
#      holds 50.06 frames a second by itself;
#   3. fast forward (Scroll Lock held from the start) against the headless multiple of the same
#      program, and the pictures it presented a second against the host's refresh.
# Run scripts/setup.sh first. Prints the program's own --benchmark lines for each part.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
rom=build/tests/programs/raster_bars.rom
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
screen=(-a -s "-screen 0 1024x768x24 -nolisten tcp -noreset")

echo "== real time, paced by the sound card, ${seconds} s"
frames=$((seconds * 5006 / 100 + 50))
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
  xvfb-run "${screen[@]}" build/orvet --tos "$rom" --run --frames "$frames" --benchmark

echo "== real time, no sound device, paced by the host clock, ${seconds} s"
xvfb-run "${screen[@]}" build/orvet --tos "$rom" --run --no-sound --frames "$frames" --benchmark

echo "== headless, as fast as the host goes"
build/orvet --headless --tos "$rom" --frames 30000 --benchmark | grep -E "real time multiple"

echo "== fast forward (Scroll Lock held)"
cat >"$work/fast_forward.sh" <<'SCRIPT'
set -euo pipefail
"$@" &
pid=$!
until xdotool search --name '^Orvet$' >/dev/null 2>&1; do sleep 0.05; done
window=$(xdotool search --name '^Orvet$' | head -n 1)
xdotool windowfocus --sync "$window" keydown Scroll_Lock
wait "$pid"
xdotool keyup Scroll_Lock
SCRIPT
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
  xvfb-run "${screen[@]}" bash "$work/fast_forward.sh" \
  build/orvet --tos "$rom" --run --frames 30000 --benchmark
