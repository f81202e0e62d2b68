| The sound chip: its registers for programs (Giaccess, Offgibit, Ongibit) and the sound
| sequencer of XBIOS Dosound, which the 200 Hz clock steps fifty times a second as TOS does,
| so that a boot program can start a tune and go on with its work.

        .include "hardware.inc"

        .text
        .globl  giaccess, offgibit, ongibit, dosound, sound_tick

| XBIOS 28: Giaccess(value, register): register bit 7 writes value; the register is returned.
giaccess:
        move.w  2(%a0),%d1
        move.w  (%a0),%d0
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr             | the select and the access are one act
        move.b  %d1,%d2
        and.b   #0x0f,%d2
        move.b  %d2,YM_SELECT
        btst    #7,%d1
        beq.s   0f
        move.b  %d0,YM_WRITE
0:      moveq   #0,%d0
        move.b  YM_SELECT,%d0
        move.w  (%sp)+,%sr
        rts

| XBIOS 29 and 30: port A's bits cleared where the mask is 0, or set where it is 1.
offgibit:
        moveq   #0,%d1
        bra.s   0f
ongibit:
        moveq   #1,%d1
0:      move.w  %sr,-(%sp)
        or.w    #0x0700,%sr
        move.b  #14,YM_SELECT
        move.b  YM_SELECT,%d0
        tst.w   %d1
        bne.s   1f
        and.b   1(%a0),%d0
        bra.s   2f
1:      or.b    1(%a0),%d0
2:      move.b  %d0,YM_WRITE
        move.w  (%sp)+,%sr
        moveq   #0,%d0
        rts

| XBIOS 32: Dosound(commands): starts the sequence, unless the pointer is negative; returns the
| command the sequencer would run next, 0 when it is idle.
dosound:
        move.l  SOUND_POINTER,%d0
        move.l  (%a0),%d1
        bmi.s   0f
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr
        move.l  %d1,SOUND_POINTER
        clr.b   SOUND_DELAY
        move.w  (%sp)+,%sr
0:      rts

| One step of the sequencer, a fiftieth of a second. Commands: 0x00-0x0F register and value;
| 0x80 value loads the counter; 0x81 register, step, end adds the step to the counter and
| writes it, once a step until the counter reaches the end; 0x82-0xFF n waits n steps, and
| n = 0 ends the sequence.
sound_tick:
        move.l  SOUND_POINTER,%d0
        beq.s   9f
        tst.b   SOUND_DELAY
        beq.s   0f
        subq.b  #1,SOUND_DELAY
        bne.s   9f
0:      movem.l %d1-%d2/%a0,-(%sp)
        move.l  %d0,%a0
1:      moveq   #0,%d0
        move.b  (%a0)+,%d0
        bmi.s   2f
        move.b  (%a0)+,%d1
        bsr.s   write_register
        bra.s   1b
2:      cmp.b   #0x80,%d0
        bne.s   3f
        move.b  (%a0)+,SOUND_TEMP
        bra.s   1b
3:      cmp.b   #0x81,%d0
        bne.s   5f
        move.b  (%a0)+,%d0
        move.b  SOUND_TEMP,%d1
        add.b   (%a0)+,%d1
        move.b  %d1,SOUND_TEMP
        bsr.s   write_register
        cmp.b   (%a0)+,%d1
        beq.s   1b
        subq.l  #4,%a0                  | not at the end: the same command next step
        bra.s   8f
5:      moveq   #0,%d0
        move.b  (%a0)+,%d0
        move.b  %d0,SOUND_DELAY
        bne.s   8f
        sub.l   %a0,%a0                 | the end
8:      move.l  %a0,SOUND_POINTER
        movem.l (%sp)+,%d1-%d2/%a0
9:      rts

| Writes d1 to register d0 (0-15). The mixer's two top bits are the ports' directions, which the
| floppy selection needs: a tune cannot turn port A into an input.
write_register:
        move.b  %d1,%d2
        and.b   #0x0f,%d0
        cmp.b   #7,%d0
        bne.s   0f
        and.b   #0x3f,%d2
        or.b    #0xc0,%d2
0:      move.w  %sr,-(%sp)
        or.w    #0x0700,%sr
        move.b  %d0,YM_SELECT
        move.b  %d2,YM_WRITE
        move.w  (%sp)+,%sr
        rts
