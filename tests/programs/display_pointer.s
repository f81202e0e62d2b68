| Moves the display pointer in the middle of the frame: Timer B counts 100 display lines, and
| its handler points the video counter at a second screen of horizontal colour bands, which the
| rest of the frame shows from wherever in its line the write lands.

        .include "rom.inc"

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.l  #timerB,0x120           | vector base 0x40, channel 8
        move.b  #0,RESOLUTION
        lea     0x10000,%a0
        move.w  #4000-1,%d7
        bsr     fill_blocks
        lea     0x30000,%a0             | bands of 8 lines in colours 0-15
        moveq   #0,%d6                  | line
1:      move.w  %d6,%d0
        lsr.w   #3,%d0
        moveq   #19,%d5                 | blocks
2:      moveq   #3,%d4                  | planes
        move.w  %d0,%d1
3:      moveq   #0,%d2
        btst    #0,%d1
        beq.s   4f
        moveq   #-1,%d2
4:      move.w  %d2,(%a0)+
        lsr.w   #1,%d1
        dbf     %d4,3b
        dbf     %d5,2b
        addq.w  #1,%d6
        cmp.w   #200,%d6
        bne.s   1b
        SET_PALETTE standard_palette
        SHOW_SCREEN 0x10000
        move.b  #0x48,VR                | software end of interrupt
        move.b  #100,TBDR
        move.b  #8,TBCR                 | event count: display lines
        bset    #0,IERA
        bset    #0,IMRA
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

| Timer B keeps its count across frames: restart it at every frame, as programs do.
vbl:    clr.b   TBCR
        move.b  #100,TBDR
        move.b  #8,TBCR
        rte

timerB: move.w  #0x0003,VIDEO_COUNTER_HIGH
        move.w  #0x0000,VIDEO_COUNTER_MIDDLE
        move.w  #0x0000,VIDEO_COUNTER_LOW
        move.b  #0xfe,ISRA
        rte
