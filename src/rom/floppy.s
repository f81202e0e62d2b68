| The floppy drive, through the WD1772 controller and the DMA chip: sectors read and written for
| the boot, for XBIOS Floprd and Flopwr and for BIOS Rwabs. Only drive A is fitted, as on an ST
| with one drive; the controller's answers become TOS's error codes.

        .include "hardware.inc"

        .equ    FDC_ACCESS, 0xffff8604  | the controller register the DMA mode selects
        .equ    DMA_MODE, 0xffff8606
        .equ    DMA_HIGH, 0xffff8609
        .equ    DMA_MIDDLE, 0xffff860b
        .equ    DMA_LOW, 0xffff860d
        .equ    TIMEOUT_TICKS, 300      | 1.5 s of the 200 Hz clock, as TOS waits
| A caller with its interrupts masked stops the 200 Hz clock, so the wait is bounded by its own
| count too: about three seconds of polling.
        .equ    TIMEOUT_POLLS, 600000

        .text
        .globl  floppy_transfer, floprd, flopwr, rwabs, floppy_forget_disk

| Transfers d4 sectors (1 or more) from sector d1 of track d2, side d3 of drive d5, to (read) or
| from (d0 bit 0 set: write) the buffer at a0. Returns 0 or an error code in d0. Keeps the other
| registers.
floppy_transfer:
        movem.l %d1-%d7/%a0,-(%sp)
        move.w  %d0,%d7
        tst.w   %d5
        bne     unknown_drive
        tst.w   %d4
        ble     bad_request
        cmp.w   #1,%d3
        bhi     bad_request
| Port A of the sound chip selects the drive and the side; both lines are active low.
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr             | the sound sequencer writes the same chip
        move.b  #14,YM_SELECT
        move.b  YM_SELECT,%d0
        and.b   #0xf8,%d0
        or.b    #0x04,%d0               | drive B off, drive A on
        tst.w   %d3
        bne.s   0f
        or.b    #0x01,%d0               | side 0
0:      move.b  %d0,YM_WRITE
        move.w  (%sp)+,%sr
| The head finds track 0 once after reset, then seeks: the controller counts steps from there.
        tst.w   FLOPPY_RESTORED
        bne.s   1f
        move.w  #0x80,DMA_MODE
        move.w  #0x03,FDC_ACCESS        | Restore, 3 ms steps
        bsr     wait_for_controller
        bne     not_ready
        move.w  #1,FLOPPY_RESTORED
1:      move.w  #0x86,DMA_MODE          | the data register: the track wanted
        move.w  %d2,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x13,FDC_ACCESS        | Seek, 3 ms steps
        bsr     wait_for_controller
        bne     not_ready
        move.w  FDC_ACCESS,%d0
        btst    #4,%d0
        bne     seek_error
        subq.w  #1,%d4
| One sector at a time: the DMA address is set anew for each, so a failure says where it stopped.
sector: move.l  %a0,%d0
        move.b  %d0,DMA_LOW
        lsr.l   #8,%d0
        move.b  %d0,DMA_MIDDLE
        lsr.w   #8,%d0
        move.b  %d0,DMA_HIGH
        btst    #0,%d7
        bne.s   2f
        move.w  #0x190,DMA_MODE         | toggling the direction clears the DMA; read
        move.w  #0x90,DMA_MODE          | the sector count register
        move.w  #1,FDC_ACCESS
        move.w  #0x84,DMA_MODE          | the sector register
        move.w  %d1,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x80,FDC_ACCESS        | Read Sector
        bra.s   3f
2:      move.w  #0x90,DMA_MODE          | toggled the other way: write
        move.w  #0x190,DMA_MODE
        move.w  #1,FDC_ACCESS
        move.w  #0x184,DMA_MODE
        move.w  %d1,FDC_ACCESS
        move.w  #0x180,DMA_MODE
        move.w  #0xa0,FDC_ACCESS        | Write Sector
3:      bsr     wait_for_controller
        bne.s   not_ready
        move.w  #0x80,DMA_MODE
        move.w  FDC_ACCESS,%d0
        moveq   #EWRPRO,%d6
        btst    #6,%d0
        bne.s   failed
        moveq   #ESECNF,%d6
        btst    #4,%d0
        bne.s   failed
        moveq   #E_CRC,%d6
        btst    #3,%d0
        bne.s   failed
        moveq   #EREADF,%d6
        btst    #0,%d7
        beq.s   4f
        moveq   #EWRITF,%d6
4:      btst    #2,%d0                  | lost data
        bne.s   failed
        lea     512(%a0),%a0
        addq.w  #1,%d1
        dbf     %d4,sector
        moveq   #E_OK,%d0
        bra.s   done
failed: move.l  %d6,%d0
        bra.s   done
unknown_drive:
        moveq   #EUNDEV,%d0
        bra.s   done
bad_request:
        moveq   #EBADRQ,%d0
        bra.s   done
seek_error:
        clr.w   FLOPPY_RESTORED         | find track 0 again next time
        moveq   #E_SEEK,%d0
        bra.s   done
not_ready:
        clr.w   FLOPPY_RESTORED
        moveq   #EDRVNR,%d0
done:   movem.l (%sp)+,%d1-%d7/%a0
        rts

| Waits until the controller's interrupt line (MFP GPIP 5, active low) says the command ended;
| on a time-out the command is stopped with Force Interrupt and Z is clear.
wait_for_controller:
        movem.l %d0-%d1,-(%sp)
        move.l  _hz_200,%d0
        add.l   #TIMEOUT_TICKS,%d0
        move.l  #TIMEOUT_POLLS,%d1
0:      btst    #5,GPIP
        beq.s   1f
        subq.l  #1,%d1
        beq.s   2f
        cmp.l   _hz_200,%d0
        bhi.s   0b
2:      move.w  #0x80,DMA_MODE
        move.w  #0xd0,FDC_ACCESS        | Force Interrupt
        movem.l (%sp)+,%d0-%d1
        andi.b  #0xfb,%ccr              | Z clear: timed out
        rts
1:      movem.l (%sp)+,%d0-%d1
        ori.b   #0x04,%ccr              | Z set: done
        rts

| A new disk may have another layout; Rwabs reads it again.
floppy_forget_disk:
        clr.w   DISK_SECTORS
        rts

| XBIOS 8 and 9: Floprd(buffer, filler, drive, sector, track, side, count) and Flopwr. The
| arguments are at a0.
floprd: moveq   #0,%d0
        bra.s   0f
flopwr: moveq   #1,%d0
0:      move.w  8(%a0),%d5
        move.w  10(%a0),%d1
        move.w  12(%a0),%d2
        move.w  14(%a0),%d3
        move.w  16(%a0),%d4
        move.l  (%a0),%a0
        bra     floppy_transfer

| BIOS 4: Rwabs(flags, buffer, count, record, drive). Logical sectors count along a track, then
| across the sides, then inward, by the layout the disk's boot sector gives.
rwabs:  move.w  10(%a0),%d5
        bne.s   9f
        move.w  (%a0),%d6
        move.w  6(%a0),%d4
        moveq   #0,%d7
        move.w  8(%a0),%d7
        move.l  2(%a0),%a0
        bsr.s   learn_layout
        bne.s   8f
0:      tst.w   %d4
        beq.s   7f
| The record's track, side and sector.
        move.w  DISK_SECTORS,%d1
        mulu    DISK_SIDES,%d1
        move.l  %d7,%d2
        divu    %d1,%d2                 | the track, and the rest
        move.l  %d2,%d3
        swap    %d3
        and.l   #0xffff,%d3
        divu    DISK_SECTORS,%d3        | the side, and the sector on it
        move.l  %d3,%d1
        swap    %d1
        addq.w  #1,%d1
        movem.l %d4,-(%sp)
        moveq   #1,%d4
        move.w  %d6,%d0
        and.w   #1,%d0
        bsr     floppy_transfer
        movem.l (%sp)+,%d4
        tst.l   %d0
        bne.s   8f
        lea     512(%a0),%a0
        addq.l  #1,%d7
        subq.w  #1,%d4
        bra.s   0b
7:      moveq   #E_OK,%d0
8:      rts
9:      moveq   #EUNDEV,%d0
        rts

| The disk's sectors per track and sides, from its boot sector's parameter block (little-endian
| words at 0x18 and 0x1A), read once per disk. A layout no drive can have becomes 9 sectors on
| 2 sides, the ST's usual. Z set when known.
learn_layout:
        tst.w   DISK_SECTORS
        bne.s   9f
        movem.l %d1-%d5/%a0,-(%sp)
        lea     GEOMETRY_SECTOR,%a0
        moveq   #0,%d0
        moveq   #1,%d1
        moveq   #0,%d2
        moveq   #0,%d3
        moveq   #1,%d4
        moveq   #0,%d5
        bsr     floppy_transfer
        tst.l   %d0
        bne.s   8f
        move.w  0x18(%a0),%d1
        ror.w   #8,%d1
        move.w  0x1a(%a0),%d2
        ror.w   #8,%d2
        cmp.w   #1,%d1
        blo.s   1f
        cmp.w   #255,%d1
        bhi.s   1f
        cmp.w   #1,%d2
        blo.s   1f
        cmp.w   #2,%d2
        bls.s   2f
1:      moveq   #9,%d1
        moveq   #2,%d2
2:      move.w  %d1,DISK_SECTORS
        move.w  %d2,DISK_SIDES
        moveq   #0,%d0
8:      movem.l (%sp)+,%d1-%d5/%a0
        tst.l   %d0
        rts
9:      moveq   #0,%d0
        rts
