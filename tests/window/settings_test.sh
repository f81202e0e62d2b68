# The settings file as the program itself reads and writes it: kept across runs with what this
# version does not know, a damaged file, a folder that cannot be written, and one Orvet at a time.
source "$(dirname "$0")/lib.sh"
settings=$XDG_CONFIG_HOME/orvet/orvet.ini
rom=$programs/idle.rom

# A round trip: what a run read comes back at its end, unknown keys and sections included.
mkdir -p "$(dirname "$settings")"
printf '[Machine]\nRAMSize=3\nMachine=1\nFutureKey=kept\n[Graphics]\nSyncMode=0\n[Later]\nWhat=ever\n' >"$settings"
"$orvet" --tos "$rom" --run --frames 5 2>"$work/stderr"
# The --tos image was for this run only: it does not join the saved ROM list.
for line in RAMSize=3 Machine=1 FutureKey=kept SyncMode=0 What=ever '\[Later\]' Count=0; do
  grep -q "^$line" "$settings" || fail "the saved settings lost $line"
done

# A damaged file: each bad value falls back alone, the good ones stay, the run goes on and says so.
printf '[Machine]\nRAMSize=lots\nMachine=1\n[Graphics]\nSyncMode=9\n\x01\x02garbage\n' >"$settings"
"$orvet" --tos "$rom" --run --frames 5 2>"$work/stderr"
grep -q RAMSize "$work/stderr" || fail "the bad RAMSize was not reported"
grep -q '^RAMSize=2$' "$settings" && grep -q '^SyncMode=1$' "$settings" &&
  grep -q '^Machine=1$' "$settings" || fail "bad values did not fall back one by one"

# A settings file that cannot be written: one line at the end, a normal exit.
printf 'not a folder' >"$work/file"
status=0
"$orvet" --config "$work/file/orvet.ini" --tos "$rom" --run --frames 5 2>"$work/stderr" || status=$?
((status == 0)) || fail "an unwritable settings file ended the program with $status"
[[ $(grep -c 'settings were not saved' "$work/stderr") == 1 ]] ||
  fail "no one-line message for the unwritable settings: $(cat "$work/stderr")"

# One Orvet at a time: a second process shows "Already Running..." and ends; a killed first
# one leaves no lock behind.
start_orvet --tos "$rom"
first=$pid
window_named Orvet >/dev/null
start_orvet --tos "$rom"
second=$pid
answer_box "Already Running..."
wait_exit "$second"
((exit_status == 0)) || fail "the second instance ended with $exit_status"
kill -0 "$first" || fail "the first instance did not survive the second"
kill -KILL "$first"
wait "$first" 2>/dev/null || true
"$orvet" --tos "$rom" --run --frames 5 || fail "a killed instance's lock blocked the next start"
echo "settings kept, damage contained, one instance at a time"

