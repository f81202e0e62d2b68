| Opens the top and the bottom border: the VBL handler waits, counting cycles, until late in
| line 33, switches to 60 Hz and back, and does the same late in line 262, where the GLUE
| decides whether the display ends. The screen is filled far enough for the 272 lines then shown.

        .include "rom.inc"

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.b  #0,RESOLUTION
        lea     0x10000,%a0
        move.w  #(272*20)-1,%d7
        bsr     fill_blocks
        SET_PALETTE standard_palette
        move.w  #0x003,PALETTE          | a dark blue border to tell it from the display
        SHOW_SCREEN 0x10000
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

| The waits put each switch in the middle of the window in which the GLUE looks at the sync
| mode; a DBF loop takes 12 cycles a turn.
vbl:    move.w  #TOP_WAIT,%d0
1:      dbf     %d0,1b
        move.b  #0,SYNC_MODE
        move.b  #2,SYNC_MODE
        move.w  #BOTTOM_WAIT,%d0
2:      dbf     %d0,2b
        move.b  #0,SYNC_MODE
        move.b  #2,SYNC_MODE
        rte
        .equ    TOP_WAIT, 1433
        .equ    BOTTOM_WAIT, 9772
