| The start screen: what this is, the machine it found, what the boot from drive A found and what
| a person can do about it, and a live view of the keyboard, the mouse and joystick 1, so that a
| person sees the input arrive.

        .include "hardware.inc"

        .equ    RESULT_ROW, 6
        .equ    INPUT_ROW, 10
        .equ    HELP_ROW, 21

        .text
        .globl  draw_start_screen, draw_boot_result, draw_crash_report, draw_input

draw_start_screen:
        movem.l %d0-%d2/%a0,-(%sp)
        lea     title_text(%pc),%a0
        moveq   #1,%d0
        moveq   #1,%d1
        bsr     draw_text
        moveq   #19,%d1                 | under the title
        bsr     draw_rule
        move.w  #HELP_ROW*8-6,%d1       | over the help
        bsr     draw_rule
        lea     machine_text(%pc),%a0
        moveq   #1,%d0
        moveq   #3,%d1
        bsr     draw_text
        lea     stfm_text(%pc),%a0
        tst.w   MACHINE_STE
        beq.s   0f
        lea     ste_text(%pc),%a0
0:      bsr     draw_text
        lea     memory_text(%pc),%a0
        bsr     draw_text
        move.l  phystop,%d2
        moveq   #10,%d1
        lsr.l   %d1,%d2                 | in KB
        moveq   #3,%d1
        bsr     draw_number
        lea     kilobytes_text(%pc),%a0
        bsr     draw_text
        lea     reading_text(%pc),%a0
        moveq   #1,%d0
        moveq   #4,%d1
        bsr     draw_text
        lea     input_text(%pc),%a0
        moveq   #1,%d0
        moveq   #INPUT_ROW,%d1
        bsr     draw_text
        lea     help_text(%pc),%a0
        moveq   #1,%d0
        moveq   #HELP_ROW,%d1
        bsr     draw_text
        lea     help2_text(%pc),%a0
        moveq   #1,%d0
        moveq   #HELP_ROW+1,%d1
        bsr     draw_text
        movem.l (%sp)+,%d0-%d2/%a0
        rts

| What the boot found.
draw_boot_result:
        movem.l %d0-%d1/%a0,-(%sp)
        moveq   #4,%d1
        bsr     clear_row
        lea     disk_text(%pc),%a0
        cmp.w   #BOOT_NO_DISK,BOOT_RESULT
        bne.s   0f
        lea     empty_text(%pc),%a0
0:      moveq   #1,%d0
        bsr     draw_text
        lea     not_bootable_text(%pc),%a0
        cmp.w   #BOOT_NOT_BOOTABLE,BOOT_RESULT
        bne.s   1f
        moveq   #1,%d0
        moveq   #RESULT_ROW,%d1
        bsr     draw_text
1:      movem.l (%sp)+,%d0-%d1/%a0
        rts

| The bombs of the crash in d7, and what they were.
draw_crash_report:
        movem.l %d0-%d2/%a0/%a2,-(%sp)
        move.w  #BOOT_CRASHED,BOOT_RESULT
        move.w  %d7,CRASH_BOMBS
        moveq   #4,%d1
        bsr     clear_row
        lea     disk_text(%pc),%a0
        moveq   #1,%d0
        bsr     draw_text
        move.w  %d7,%d2
        cmp.w   #38,%d2                 | a line holds 38
        bls.s   0f
        moveq   #38,%d2
0:      subq.w  #1,%d2
        moveq   #1,%d0
        moveq   #RESULT_ROW,%d1
        lea     bomb_glyph(%pc),%a2
1:      bsr     draw_glyph
        addq.w  #1,%d0
        dbf     %d2,1b
        lea     crashed_text(%pc),%a0
        moveq   #1,%d0
        moveq   #RESULT_ROW+1,%d1
        bsr     draw_text
        moveq   #0,%d2
        move.w  %d7,%d2
        bsr     draw_number
        lea     bombs_text(%pc),%a0
        bsr     draw_text
        movem.l (%sp)+,%d0-%d2/%a0/%a2
        rts

| The input as it stands: the keys typed (read from the console as a program would), the last
| key's scancode and the shift state, the mouse's place and buttons, joystick 1.
draw_input:
        movem.l %d0-%d3/%a0-%a1,-(%sp)
        move.w  INPUT_SEEN,INPUT_SHOWN
0:      bsr     key_waiting
        beq.s   3f
        bsr     key_read
        lea     TYPED_TEXT,%a0
        move.w  TYPED_LENGTH,%d1
        cmp.b   #0x08,%d0               | Backspace takes back the last
        bne.s   1f
        tst.w   %d1
        beq.s   0b
        subq.w  #1,TYPED_LENGTH
        bra.s   0b
1:      cmp.b   #0x20,%d0
        blo.s   0b
        cmp.b   #0x7e,%d0
        bhi.s   0b
        cmp.w   #TYPED_LONGEST,%d1      | a full line lets the oldest go
        blo.s   2f
        lea     1(%a0),%a1
        move.w  #TYPED_LONGEST-2,%d2
5:      move.b  (%a1)+,(%a0)+
        dbf     %d2,5b
        lea     TYPED_TEXT,%a0
        subq.w  #1,%d1
2:      move.b  %d0,(%a0,%d1.w)
        addq.w  #1,%d1
        move.w  %d1,TYPED_LENGTH
        bra.s   0b
3:      lea     TYPED_TEXT,%a0
        move.w  TYPED_LENGTH,%d1
        clr.b   (%a0,%d1.w)

        moveq   #INPUT_ROW+2,%d1
        bsr     clear_row
        lea     keys_text(%pc),%a0
        moveq   #1,%d0
        bsr     draw_text
        lea     TYPED_TEXT,%a0
        bsr     draw_text

        moveq   #INPUT_ROW+3,%d1
        bsr     clear_row
        lea     scancode_text(%pc),%a0
        moveq   #1,%d0
        bsr     draw_text
        move.b  LAST_SCANCODE,%d2
        bsr     draw_hex
        lea     shift_text(%pc),%a0
        bsr     draw_text
        move.b  KBSHIFT,%d2
        bsr     draw_hex

        moveq   #INPUT_ROW+4,%d1
        bsr     clear_row
        lea     mouse_text(%pc),%a0
        moveq   #1,%d0
        bsr     draw_text
        moveq   #0,%d2
        move.w  MOUSE_X,%d2
        bsr     draw_number
        lea     comma_text(%pc),%a0
        bsr     draw_text
        move.w  MOUSE_Y,%d2
        bsr     draw_number
        move.b  MOUSE_BUTTONS,%d3
        lea     left_text(%pc),%a0
        btst    #1,%d3
        beq.s   4f
        bsr     draw_text
4:      lea     right_text(%pc),%a0
        btst    #0,%d3
        beq.s   6f
        bsr     draw_text

6:      moveq   #INPUT_ROW+5,%d1
        bsr     clear_row
        lea     joystick_text(%pc),%a0
        moveq   #1,%d0
        bsr     draw_text
        lea     directions(%pc),%a1
        moveq   #4,%d2                  | up, down, left, right and fire, by their bits
7:      moveq   #0,%d3
        move.b  (%a1)+,%d3
        btst    %d3,JOYSTICK
        beq.s   8f
        lea     (%a1),%a0
        bsr     draw_text
8:      tst.b   (%a1)+                  | past the name
        bne.s   8b
        dbf     %d2,7b
        movem.l (%sp)+,%d0-%d3/%a0-%a1
        rts

directions:
        .byte   0
        .asciz  " up"
        .byte   1
        .asciz  " down"
        .byte   2
        .asciz  " left"
        .byte   3
        .asciz  " right"
        .byte   7
        .asciz  " fire"

| A bomb of our own: the fuse at the top right, the round body below.
bomb_glyph:
        .byte   0x06, 0x08, 0x3c, 0x7e, 0x7e, 0x7e, 0x3c, 0x00

title_text:
        .asciz  "Orvet built-in ROM 1.00"
machine_text:
        .asciz  "Machine: "
stfm_text:
        .asciz  "STFM"
ste_text:
        .asciz  "STE"
memory_text:
        .asciz  ", memory: "
kilobytes_text:
        .asciz  " KB"
reading_text:
        .asciz  "Drive A: reading..."
disk_text:
        .asciz  "Drive A: a disk"
empty_text:
        .asciz  "Drive A: empty"
not_bootable_text:
        .asciz  "The disk in drive A is not bootable."
crashed_text:
        .asciz  "The program crashed: "
bombs_text:
        .asciz  " bombs."
input_text:
        .asciz  "Keyboard, mouse and joystick:"
keys_text:
        .asciz  "Keys: "
scancode_text:
        .asciz  "Last key: $"
shift_text:
        .asciz  ", shift: $"
mouse_text:
        .asciz  "Mouse: "
comma_text:
        .asciz  ", "
left_text:
        .asciz  " left"
right_text:
        .asciz  " right"
joystick_text:
        .asciz  "Joystick:"
help_text:
        .asciz  "To boot a disk, press F12, insert it"
help2_text:
        .asciz  "in drive A, then press F11 to reset."
        .even
