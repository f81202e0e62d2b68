| Text on the low-resolution screen: 40 columns by 25 rows of 8 x 8 characters in colour 15 on
| colour 0. A character cell is one byte in each of the four bit planes of its 16-pixel group:
| the even column the high bytes, the odd column the low bytes.

        .include "hardware.inc"

        .text
        .globl  draw_text, draw_number, draw_glyph

| Draws the zero-ended text at a0 from column d0, row d1. Characters outside 0x20-0x7F show as
| '?'. Keeps every register but a0, which ends past the text, and d0, the next column.
draw_text:
        movem.l %d2/%a2,-(%sp)
0:      moveq   #0,%d2
        move.b  (%a0)+,%d2
        beq.s   9f
        cmp.b   #0x20,%d2
        blo.s   2f
        cmp.b   #0x7f,%d2
        bls.s   1f
2:      moveq   #'?',%d2
1:      sub.w   #0x20,%d2
        lsl.w   #3,%d2
        lea     font,%a2
        add.w   %d2,%a2
        bsr.s   draw_glyph
        addq.w  #1,%d0
        bra.s   0b
9:      movem.l (%sp)+,%d2/%a2
        rts

| Draws the 8 x 8 glyph at a2 in colour 15 in the cell at column d0, row d1. Keeps every register.
draw_glyph:
        movem.l %d1-%d3/%a1-%a3,-(%sp)
        move.l  _v_bas_ad,%a1
        mulu    #160*8,%d1
        add.l   %d1,%a1                 | the row's first line
        move.w  %d0,%d3                 | the cell: (column / 2) * 8, plus 1 for an odd column
        lsr.w   #1,%d3
        lsl.w   #3,%d3
        btst    #0,%d0
        beq.s   0f
        addq.w  #1,%d3
0:      lea     (%a1,%d3.w),%a3
        moveq   #7,%d3
1:      move.b  (%a2)+,%d1
        move.b  %d1,(%a3)               | colour 15: the glyph in all four planes
        move.b  %d1,2(%a3)
        move.b  %d1,4(%a3)
        move.b  %d1,6(%a3)
        lea     160(%a3),%a3
        dbf     %d3,1b
        movem.l (%sp)+,%d1-%d3/%a1-%a3
        rts

| Draws the unsigned number in d2 (below 10,000,000) in decimal from column d0, row d1.
draw_number:
        movem.l %d2-%d3/%a0,-(%sp)
        lea     NUMBER_TEXT_END,%a0
        clr.b   -(%a0)
0:      divu    #10,%d2                 | the quotient stays below 65,536 for such numbers
        swap    %d2
        add.b   #'0',%d2
        move.b  %d2,-(%a0)
        clr.w   %d2
        swap    %d2
        tst.w   %d2
        bne.s   0b
        bsr     draw_text
        movem.l (%sp)+,%d2-%d3/%a0
        rts
