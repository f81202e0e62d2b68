| Opens the left and the right border on some lines: the VBL handler waits, counting cycles,
| for line 100, then runs lines of exactly 512 cycles that switch to high resolution and back
| at line position 8 (the left border) and the sync mode to 60 Hz and back at position 388 (the
| right border): lines 100-109 both, 110-119 the left only, 120-129 the right only. The screen
| memory runs on without line breaks, so every widened line shifts the ones below it.

        .include "rom.inc"

| The wait from the VBL to line 100: DBF turns of 12 cycles, then NOPs of 4.
        .equ    WAIT, 4247
        .equ    WAIT_NOPS, 0

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.b  #0,RESOLUTION
        lea     0x10000,%a0
        move.w  #(230*200/8)-1,%d7
        bsr     fill_blocks
        SET_PALETTE standard_palette
        move.w  #0x003,PALETTE          | a dark blue border to tell it from the display
        SHOW_SCREEN 0x10000
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

vbl:    movem.l %d0-%d2/%a0-%a1,-(%sp)
        lea     RESOLUTION,%a0
        lea     SYNC_MODE,%a1
        moveq   #2,%d1
        moveq   #0,%d2
        move.w  #WAIT,%d0
1:      dbf     %d0,1b
        .rept   WAIT_NOPS
        nop
        .endr
| Both borders.
        .rept   10
        move.b  %d1,(%a0)
        move.b  %d2,(%a0)
        .rept   91
        nop
        .endr
        move.b  %d2,(%a1)
        move.b  %d1,(%a1)
        .rept   29
        nop
        .endr
        .endr
| The left border only.
        .rept   10
        move.b  %d1,(%a0)
        move.b  %d2,(%a0)
        .rept   91
        nop
        .endr
        nop
        nop
        nop
        nop
        .rept   29
        nop
        .endr
        .endr
| The right border only.
        .rept   10
        nop
        nop
        nop
        nop
        .rept   91
        nop
        .endr
        move.b  %d2,(%a1)
        move.b  %d1,(%a1)
        .rept   29
        nop
        .endr
        .endr
        movem.l (%sp)+,%d0-%d2/%a0-%a1
        rte
