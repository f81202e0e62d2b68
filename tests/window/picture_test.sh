# The picture a person sees is the machine's frame: the window's screenshot, read back from the
# screen at scale 1, is the very file the headless run writes for the same frame. With no TOS
# image both run the built-in ROM, whose start screen is up once the empty drive is given up on.
source "$(dirname "$0")/lib.sh"

for program in low_resolution raster_bars builtin; do
  tos=(--tos "$programs/$program.rom") frames=60
  [[ $program == builtin ]] && tos=() frames=150
  "$orvet" --headless "${tos[@]}" --frames $frames --screenshot "$work/$program-headless.png"
  "$orvet" "${tos[@]}" --run --frames $frames --screenshot "$work/$program-window.png"
  cmp "$work/$program-headless.png" "$work/$program-window.png" ||
    fail "$program: the presented picture differs from the machine's frame"
done
# The shot and sound folders are made in the data folder, not where Orvet was started.
[[ -d $XDG_DATA_HOME/orvet/shot && -d $XDG_DATA_HOME/orvet/sound ]] ||
  fail "the capture folders were not made under $XDG_DATA_HOME/orvet"
echo "pictures identical"
