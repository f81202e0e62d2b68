# The disk manager in the real window: opened from the toolbar, it browses from the home folder
# to a folder of disk images, inserts one into drive A, and Run boots it on the built-in ROM.
# The folder and the disk are saved at exit, and the next start opens the window where it was.
source "$(dirname "$0")/lib.sh"
settings=$XDG_CONFIG_HOME/orvet/orvet.ini
export HOME=$work/home
disks=$HOME/disks
mkdir -p "$disks"

# A 720 KB FAT12 disk whose boot sector paints every colour of the palette green and stays
# there with interrupts off, so nothing the ROM does afterwards can change the picture.
boot=$disks/boot.st
MTOOLS_SKIP_CHECK=1 mformat -i "$boot" -C -f 720 -v ORVET :: || fail "mtools made no disk"
write_bytes() {  # write_bytes OFFSET HEX...
  local offset=$1
  shift
  printf "$(printf '\\x%s' "$@")" | dd of="$boot" bs=1 seek="$offset" conv=notrunc status=none
}
write_bytes 0 60 1c                                    # bra.s to the program at 0x1E
write_bytes 30 46 fc 27 00 41 f8 82 40 70 0f 30 fc 00 70 51 c8 ff fa 60 fe
#   move.w #$2700,sr; lea $ff8240.w,a0; moveq #15,d0; 1: move.w #$070,(a0)+; dbra d0,1b; bra.s *
# The ST runs a boot sector whose big-endian words add up to 0x1234.
sum=0
while read -r high low; do
  sum=$(((sum + high * 256 + low) & 0xFFFF))
done < <(od -An -v -tu1 -N510 -w2 "$boot")
checksum=$(((0x1234 - sum) & 0xFFFF))
write_bytes 510 "$(printf %02x $((checksum >> 8)))" "$(printf %02x $((checksum & 0xFF)))"
printf 'not a disk' >"$disks/notes.st"

# click_arrow NAME: clicks the expand arrow at the left end of a tree item.
click_arrow() {
  wait_until 60 has_widget "$1" || fail "the window shows no control named $1"
  local left top bottom
  read -r left top bottom < <(awk -v name="$1" '$1 == name { print $2, $3, $5; exit }' \
    "$ORVET_WIDGET_MAP")
  xdotool mousemove $((left + 8)) $(((top + bottom) / 2))
  wait_until 60 hovered "$1" || fail "the window did not see the pointer over $1"
  xdotool click 1
}

# Each click waits for the window to show what it did before the pointer moves on: the window
# reads the pointer's position once a frame, so a click followed at once by a move could land
# where the pointer went.
picture_green() { [[ $(colour_at 640 512) == green || $(colour_at 640 513) == green ]]; }
no_widget() { ! has_widget "$1"; }
start_orvet
window_named Orvet >/dev/null
# The disk manager is the first tool shown; another tool and back opens it anew from the toolbar.
wait_until 60 has_widget disk.tree./ || fail "the disk manager was not shown first"
click_widget toolbar.options
wait_until 60 no_widget disk.tree./ || fail "the options did not replace the disk manager"
click_widget toolbar.disks
click_arrow "disk.tree.$HOME"
click_widget "disk.tree.$disks"
click_widget disk.image.notes.st
wait_until 60 has_widget disk.selected.notes.st || fail "the click did not select notes.st"
click_widget disk.insertA
wait_until 60 has_widget disk.message || fail "a file that is no disk image went in silently"
has_widget disk.driveA.notes.st && fail "a file that is no disk image went into drive A"
click_widget disk.image.boot.st
wait_until 60 has_widget disk.selected.boot.st || fail "the click did not select boot.st"
click_widget disk.insertA
wait_until 60 has_widget disk.driveA.boot.st || fail "boot.st did not go into drive A"
# Run boots the disk: the whole picture turns green.
click_widget toolbar.run
wait_until 60 picture_green || fail "the disk did not boot: the screen shows $(colour_at 640 512)"
kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly on SIGTERM"
grep -qx "DriveA=$boot" "$settings" || fail "drive A's disk was not saved: $(grep DriveA "$settings")"
grep -qx "Directory=$disks/" "$settings" ||
  fail "the folder was not saved: $(grep Directory "$settings")"

# The next start reopens the saved folder, listing its images without a click, and boots the
# saved disk.
rm -f "$ORVET_WIDGET_MAP"
start_orvet
wait_until 60 has_widget disk.image.boot.st || fail "the saved folder was not reopened"
has_widget disk.driveA.boot.st || fail "drive A's disk was not shown after the restart"
click_widget toolbar.run
wait_until 60 picture_green || fail "the saved disk did not boot"
kill -TERM "$pid"
wait_exit "$pid"
((exit_status == 0)) || fail "the program did not end cleanly on SIGTERM"
echo "disk manager browses, inserts and boots, and comes back where it was"
