| Text on the low-resolution screen: 40 columns by 25 rows of 8 x 8 characters in colour 15 on
| colour 0. A character cell is one byte in each of the four bit planes of its 16-pixel group:
| the even column the high bytes, the odd column the low bytes. The console (BIOS device 2)
| writes here too, with the VT52 escapes a boot program uses to clear the screen and place
| its text.

        .include "hardware.inc"

        .equ    COLUMNS, 40
        .equ    ROWS, 25
        .equ    ROW_BYTES, 160*8

        .text
        .globl  draw_text, draw_number, draw_hex, draw_glyph, clear_row, clear_screen
        .globl  console_put, console_raw, draw_rule

| Draws the zero-ended text at a0 from column d0, row d1. Keeps every register but a0, which
| ends past the text, and d0, the next column.
draw_text:
        movem.l %d2/%a2,-(%sp)
0:      moveq   #0,%d2
        move.b  (%a0)+,%d2
        beq.s   9f
        bsr.s   glyph_of
        bsr     draw_glyph
        addq.w  #1,%d0
        bra.s   0b
9:      movem.l (%sp)+,%d2/%a2
        rts

| The glyph of character d2 in a2; characters outside 0x20-0x7F show as '?'.
glyph_of:
        and.w   #0xff,%d2
        cmp.w   #0x20,%d2
        blo.s   0f
        cmp.w   #0x7f,%d2
        bls.s   1f
0:      moveq   #'?',%d2
1:      sub.w   #0x20,%d2
        lsl.w   #3,%d2
        lea     font,%a2
        add.w   %d2,%a2
        rts

| Draws the 8 x 8 glyph at a2 in colour 15 in the cell at column d0, row d1. Keeps every register.
draw_glyph:
        movem.l %d1-%d3/%a1-%a3,-(%sp)
        move.l  _v_bas_ad,%a1
        mulu    #ROW_BYTES,%d1
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

| Draws the byte in d2 as two hexadecimal digits from column d0, row d1.
draw_hex:
        movem.l %d2-%d3/%a0,-(%sp)
        lea     NUMBER_TEXT_END,%a0
        clr.b   -(%a0)
        moveq   #1,%d3
0:      move.b  %d2,-(%sp)
        and.w   #0x0f,%d2
        move.b  hex_digits(%pc,%d2.w),-(%a0)
        move.b  (%sp)+,%d2
        lsr.b   #4,%d2
        dbf     %d3,0b
        bsr     draw_text
        movem.l (%sp)+,%d2-%d3/%a0
        rts
hex_digits:
        .ascii  "0123456789ABCDEF"

| Clears text row d1 to colour 0. Keeps every register.
clear_row:
        movem.l %d0-%d1/%a0,-(%sp)
        move.l  _v_bas_ad,%a0
        mulu    #ROW_BYTES,%d1
        add.l   %d1,%a0
        move.w  #ROW_BYTES/4-1,%d0
0:      clr.l   (%a0)+
        dbf     %d0,0b
        movem.l (%sp)+,%d0-%d1/%a0
        rts

| Draws a rule across the screen in colour 1 on pixel lines d1 and d1 + 1. Keeps every register.
draw_rule:
        movem.l %d0-%d1/%a0,-(%sp)
        move.l  _v_bas_ad,%a0
        mulu    #160,%d1
        add.l   %d1,%a0
        moveq   #2*20-1,%d0             | twenty 16-pixel groups a line
0:      move.l  #0xffff0000,(%a0)+      | plane 0 set, plane 1 clear
        clr.l   (%a0)+                  | planes 2 and 3 clear
        dbf     %d0,0b
        movem.l (%sp)+,%d0-%d1/%a0
        rts

clear_screen:
        movem.l %d1,-(%sp)
        moveq   #ROWS-1,%d1
0:      bsr     clear_row
        dbf     %d1,0b
        movem.l (%sp)+,%d1
        rts

| The console: character d0 at the cursor, with carriage return, line feed, backspace and the
| escapes E (clear and home), H (home), Y row column (place the cursor); the colour escapes b and
| c take their argument and are ignored, as is any other. Keeps every register.
console_put:
        movem.l %d0-%d2/%a2,-(%sp)
        and.w   #0xff,%d0
        move.w  ESCAPE_STATE,%d1
        bne.s   escape
        cmp.b   #0x1b,%d0
        bne.s   0f
        move.w  #1,ESCAPE_STATE
        bra     9f
0:      cmp.b   #0x0d,%d0
        bne.s   1f
        clr.w   CURSOR_COLUMN
        bra     9f
1:      cmp.b   #0x0a,%d0
        bne.s   2f
        bsr     line_feed
        bra     9f
2:      cmp.b   #0x08,%d0
        bne.s   3f
        tst.w   CURSOR_COLUMN
        beq     9f
        subq.w  #1,CURSOR_COLUMN
        bra     9f
3:      cmp.b   #0x20,%d0               | other control characters show nothing
        blo     9f
        bsr     put_at_cursor
        bra     9f
escape: clr.w   ESCAPE_STATE
        cmp.w   #2,%d1
        beq.s   row
        bhi.s   column                  | 4, after b or c: the argument is dropped
        cmp.b   #'E',%d0
        bne.s   0f
        bsr     clear_screen
        bra.s   home
0:      cmp.b   #'H',%d0
        beq.s   home
        cmp.b   #'Y',%d0
        bne.s   1f
        move.w  #2,ESCAPE_STATE
        bra.s   9f
1:      cmp.b   #'b',%d0
        beq.s   2f
        cmp.b   #'c',%d0
        bne.s   9f
2:      move.w  #4,ESCAPE_STATE
        bra.s   9f
row:    sub.w   #32,%d0
        move.w  %d0,ESCAPE_ROW
        move.w  #3,ESCAPE_STATE
        bra.s   9f
column: cmp.w   #3,%d1
        bne.s   9f
        sub.w   #32,%d0
        move.w  ESCAPE_ROW,%d1
        cmp.w   #COLUMNS-1,%d0          | a place off the screen is brought to its edge
        bls.s   3f
        moveq   #COLUMNS-1,%d0
        bra.s   3f
home:   moveq   #0,%d0
        moveq   #0,%d1
3:      cmp.w   #ROWS-1,%d1
        bls.s   4f
        moveq   #ROWS-1,%d1
4:      move.w  %d0,CURSOR_COLUMN
        move.w  %d1,CURSOR_ROW
9:      movem.l (%sp)+,%d0-%d2/%a2
        rts

| BIOS device 5: character d0 at the cursor, control characters drawn as glyphs.
console_raw:
        movem.l %d0-%d2/%a2,-(%sp)
        bsr.s   put_at_cursor
        movem.l (%sp)+,%d0-%d2/%a2
        rts

| Draws d0 at the cursor and moves it on, to the next line after the last column.
put_at_cursor:
        move.w  %d0,%d2
        bsr     glyph_of
        move.w  CURSOR_COLUMN,%d0
        move.w  CURSOR_ROW,%d1
        bsr     draw_glyph
        addq.w  #1,%d0
        cmp.w   #COLUMNS,%d0
        blo.s   0f
        moveq   #0,%d0
        move.w  %d0,CURSOR_COLUMN
        bra.s   line_feed
0:      move.w  %d0,CURSOR_COLUMN
        rts

| The cursor down a row; at the bottom the text moves up one row instead.
line_feed:
        move.w  CURSOR_ROW,%d1
        cmp.w   #ROWS-1,%d1
        bhs.s   0f
        addq.w  #1,CURSOR_ROW
        rts
0:      movem.l %d0/%a0-%a1,-(%sp)
        move.l  _v_bas_ad,%a0
        lea     ROW_BYTES(%a0),%a1
        move.w  #(ROWS-1)*ROW_BYTES/4-1,%d0
1:      move.l  (%a1)+,(%a0)+
        dbf     %d0,1b
        moveq   #ROWS-1,%d1
        bsr     clear_row
        move.w  %d1,CURSOR_ROW
        movem.l (%sp)+,%d0/%a0-%a1
        rts
