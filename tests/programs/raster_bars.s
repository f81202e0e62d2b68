| Raster bars: Timer B counts display lines (event mode, data 1) and its handler gives colour 0
| the next shade of a 16-step ramp at the end of each line, over a screen of colour 0. The VBL
| starts every frame from the top of the ramp.

        .include "rom.inc"

        .equ    rasterLine, 0x600

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70
        move.l  #timerB,0x120           | vector base 0x40, channel 8
        move.b  #0,RESOLUTION
        lea     0x10000,%a0             | a blank screen: only colour 0 shows
        move.w  #8000-1,%d0
1:      clr.l   (%a0)+
        dbf     %d0,1b
        SHOW_SCREEN 0x10000
        move.b  #0x48,VR                | software end of interrupt
        move.b  #1,TBDR
        move.b  #8,TBCR                 | event count: one per display line
        bset    #0,IERA
        bset    #0,IMRA
        move.w  #0x2300,%sr
        move.w  #1,PICTURE_READY
idle:   bra.s   idle

vbl:    clr.w   rasterLine
        move.w  #0x000,PALETTE
        rte

timerB: movem.l %d0/%a0,-(%sp)
        move.w  rasterLine,%d0
        addq.w  #1,rasterLine
        lsr.w   #2,%d0                  | four lines a shade
        and.w   #31,%d0
        add.w   %d0,%d0
        lea     ramp,%a0
        move.w  (%a0,%d0.w),PALETTE
        move.b  #0xfe,ISRA              | end of interrupt
        movem.l (%sp)+,%d0/%a0
        rte

ramp:   .word   0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x710
        .word   0x720, 0x730, 0x740, 0x750, 0x760, 0x770, 0x670, 0x570
        .word   0x470, 0x370, 0x270, 0x170, 0x071, 0x072, 0x073, 0x074
        .word   0x075, 0x076, 0x077, 0x067, 0x057, 0x047, 0x037, 0x027
