| A medium-resolution screen of four colours: 200 lines of 640 pixels in two planes, each
| 16-pixel group split into two colours.

        .include "rom.inc"

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.b  #1,RESOLUTION
        SET_PALETTE palette
        lea     0x10000,%a0
        moveq   #0,%d6                  | group number, 40 a line
1:      move.w  %d6,%d0
        move.w  %d6,%d1
        lsr.w   #3,%d1                  | the right half changes every 8 groups
        addq.w  #1,%d1
        moveq   #1,%d5                  | two planes
2:      moveq   #0,%d2
        btst    #0,%d0
        beq.s   3f
        move.w  #0xff00,%d2
3:      btst    #0,%d1
        beq.s   4f
        or.w    #0x00ff,%d2
4:      move.w  %d2,(%a0)+
        lsr.w   #1,%d0
        lsr.w   #1,%d1
        dbf     %d5,2b
        addq.w  #1,%d6
        cmp.w   #8000,%d6               | 200 lines of 40 groups
        bne.s   1b
        SHOW_SCREEN 0x10000
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

vbl:    rte

palette:
        .word   0x000, 0x760, 0x067, 0x777
        .fill   12, 2, 0x111
