| Changes colour 0 in the middle of a border line: the HBL handler of line 30, in the top
| border, sets it to white; the VBL sets it back to dark blue. The picture shows the change at
| the two-pixel position of the write's cycle.

        .include "rom.inc"

        .equ    lineCount, 0x600

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.l  #hbl,0x68
        move.b  #0,RESOLUTION
        lea     0x10000,%a0
        move.w  #4000-1,%d7
        bsr     fill_blocks
        SET_PALETTE standard_palette
        SHOW_SCREEN 0x10000
        move.w  #0x2100,%sr             | HBLs too
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

vbl:    clr.w   lineCount
        move.w  #0x003,PALETTE
        rte

hbl:    addq.w  #1,lineCount
        cmp.w   #30,lineCount
        bne.s   1f
        move.w  #0x777,PALETTE
1:      rte
