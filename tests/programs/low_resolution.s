| A low-resolution screen of all 16 colours: 200 lines of blocks whose two halves show two
| colours, so each plane and each pixel position shows in the picture.

        .include "rom.inc"

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.b  #0,RESOLUTION
        SET_PALETTE standard_palette
        lea     0x10000,%a0
        move.w  #4000-1,%d7             | 200 lines of 20 blocks
        bsr     fill_blocks
        SHOW_SCREEN 0x10000
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

vbl:    rte
