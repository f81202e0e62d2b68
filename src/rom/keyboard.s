| The keyboard processor's line. Every byte it sends raises the ACIA's interrupt; ikbdsys sorts
| them into key presses and the packets of the mouse, the joysticks, the clock and the status
| reports, and hands each packet to its vector in the table Kbdvbase gives, so that a game can
| take the mouse or the joystick over. Key presses become characters for the console.

        .include "hardware.inc"

        .text
        .globl  keyboard_init, acia_interrupt, keyboard_send, kbdvbase, iorec, ikbdws
        .globl  kbshift, key_waiting, key_read

| Sets the vectors, the buffers and the line, then resets the keyboard processor.
keyboard_init:
        lea     KBDVECS,%a0
        lea     ignore_packet(%pc),%a1
        moveq   #6,%d0                  | midivec to joyvec: nothing to do with them yet
0:      move.l  %a1,(%a0)+
        dbf     %d0,0b
        move.l  #mouse_packet,KBDVECS+mousevec
        move.l  #joystick_packet,KBDVECS+joyvec
        move.l  #ignore_midi,KBDVECS+midisys
        move.l  #ikbd_byte,KBDVECS+ikbdsys
        clr.w   PACKET_WANTED
        clr.b   KBSHIFT
        clr.b   LAST_SCANCODE
        clr.b   JOYSTICK
        clr.b   MOUSE_BUTTONS
        move.w  #160,MOUSE_X            | the middle of the low-resolution screen
        move.w  #100,MOUSE_Y
        clr.w   INPUT_SEEN
        clr.w   INPUT_SHOWN
        lea     KEYBOARD_IOREC,%a0
        move.l  #KEYBOARD_BUFFER,ibuf(%a0)
        move.w  #KEYBOARD_BUFFER_SIZE,ibufsiz(%a0)
        clr.w   ibufhd(%a0)
        clr.w   ibuftl(%a0)
        move.w  #KEYBOARD_BUFFER_SIZE/4,ibuflow(%a0)
        move.w  #KEYBOARD_BUFFER_SIZE*3/4,ibufhi(%a0)
        lea     EMPTY_IOREC,%a0
        move.l  #KEYBOARD_BUFFER,ibuf(%a0)
        move.w  #4,ibufsiz(%a0)
        clr.l   ibufhd(%a0)
        clr.l   ibuflow(%a0)
| The ACIA reset, then 8 bits at clock / 64 with receive interrupts: 7812.5 baud.
        move.b  #0x03,ACIA_CONTROL
        move.b  #0x96,ACIA_CONTROL
        bset    #6,IERB
        bset    #6,IMRB
        move.b  #0x80,%d0               | the keyboard processor's reset command
        bsr     keyboard_send
        moveq   #0x01,%d0
        bsr     keyboard_send
        rts

| Sends d0 to the keyboard processor once the ACIA's transmitter takes a byte.
keyboard_send:
        btst    #1,ACIA_CONTROL
        beq     keyboard_send
        move.b  %d0,ACIA_DATA
        rts

| MFP channel 6. Bytes that arrive while one is handled are taken in the same interrupt.
acia_interrupt:
        movem.l %d0-%d3/%a0-%a3,-(%sp)
0:      btst    #0,ACIA_CONTROL
        beq.s   1f
        move.l  KBDVECS+ikbdsys,%a0
        jsr     (%a0)
        bra.s   0b
1:      movem.l (%sp)+,%d0-%d3/%a0-%a3
        move.b  #0xbf,ISRB              | end of interrupt for channel 6
        rte

| One byte from the keyboard processor: part of a packet, a packet's header, or a key.
ikbd_byte:
        moveq   #0,%d0
        move.b  ACIA_DATA,%d0           | reading it releases the interrupt line
        move.w  PACKET_WANTED,%d1
        beq.s   new_byte
        move.w  PACKET_FILL,%d2
        lea     PACKET,%a0
        move.b  %d0,(%a0,%d2.w)
        addq.w  #1,%d2
        move.w  %d2,PACKET_FILL
        cmp.w   %d1,%d2
        blo.s   9f
        clr.w   PACKET_WANTED
        move.w  PACKET_VECTOR,%d1
        lea     KBDVECS,%a1
        move.l  (%a1,%d1.w),%a1
        move.l  %a0,-(%sp)              | the packet's address, in a0 and on the stack
        jsr     (%a1)
        addq.l  #4,%sp
9:      rts
new_byte:
        cmp.b   #0xf6,%d0
        blo.s   key
        lea     packets-0xf6*4(%pc),%a0
        add.w   %d0,%d0
        add.w   %d0,%d0
        move.w  (%a0,%d0.w),PACKET_WANTED
        move.w  2(%a0,%d0.w),PACKET_VECTOR
        lsr.w   #2,%d0
        move.b  %d0,PACKET
        move.w  #1,PACKET_FILL
        rts

| Each header from 0xF6: the packet's length with the header, and its vector.
packets:
        .word   8, statvec              | 0xF6 a status report
        .word   6, mousevec             | 0xF7 the absolute mouse position
        .word   3, mousevec             | 0xF8-0xFB a relative mouse move, the buttons in the header
        .word   3, mousevec
        .word   3, mousevec
        .word   3, mousevec
        .word   7, clockvec             | 0xFC the time of day
        .word   3, joyvec               | 0xFD both joysticks
        .word   2, joyvec               | 0xFE joystick 0
        .word   2, joyvec               | 0xFF joystick 1

| A key pressed (bit 7 clear) or released. The shift keys change the shift state; a press puts
| the key's scancode and character in the keyboard buffer, as BIOS Bconin returns them.
key:    cmp.b   #0xf0,%d0               | the version byte a reset answers with is no key
        bhs     9f
        move.b  %d0,%d1
        and.w   #0x7f,%d1
        lea     shift_keys(%pc),%a0
0:      move.b  (%a0)+,%d2
        beq.s   2f
        move.b  (%a0)+,%d3
        cmp.b   %d1,%d2
        bne.s   0b
        cmp.b   #0x3a,%d1               | Caps Lock turns on and off with each press
        beq.s   1f
        tst.b   %d0
        bmi.s   3f
        or.b    %d3,KBSHIFT
        bra.s   8f
3:      not.b   %d3
        and.b   %d3,KBSHIFT
        bra.s   8f
1:      tst.b   %d0
        bmi.s   9f
        eor.b   %d3,KBSHIFT
        bra.s   8f
2:      tst.b   %d0
        bmi.s   9f
        move.b  %d1,LAST_SCANCODE
        lea     unshifted(%pc),%a0
        move.b  KBSHIFT,%d2
        and.b   #0x03,%d2
        beq.s   4f
        lea     shifted(%pc),%a0
4:      moveq   #0,%d2
        move.b  (%a0,%d1.w),%d2
        btst    #4,KBSHIFT              | Caps Lock makes letters capitals
        beq.s   5f
        cmp.b   #'a',%d2
        blo.s   5f
        cmp.b   #'z',%d2
        bhi.s   5f
        sub.b   #0x20,%d2
5:      btst    #2,KBSHIFT              | Control makes control characters
        beq.s   6f
        and.b   #0x1f,%d2
6:      swap    %d1
        move.w  %d2,%d1                 | the scancode in the high word, the character low
        lea     KEYBOARD_IOREC,%a0
        move.w  ibuftl(%a0),%d2
        addq.w  #4,%d2
        cmp.w   ibufsiz(%a0),%d2
        blo.s   7f
        moveq   #0,%d2
7:      cmp.w   ibufhd(%a0),%d2         | a full buffer drops the key, as the ST does
        beq.s   8f
        move.l  ibuf(%a0),%a1
        move.l  %d1,(%a1,%d2.w)
        move.w  %d2,ibuftl(%a0)
8:      addq.w  #1,INPUT_SEEN
9:      rts

| The keys that shift: scancode and its bit in the shift state.
shift_keys:
        .byte   0x36, 0x01, 0x2a, 0x02, 0x1d, 0x04, 0x38, 0x08, 0x3a, 0x10, 0
        .even

| The ROM's own mouse: the pointer's place on the low-resolution screen and the buttons, for the
| start screen. Relative packets only; the keyboard processor sends those after reset.
mouse_packet:
        move.b  (%a0),%d0
        cmp.b   #0xf8,%d0
        blo.s   9f
        and.b   #0x03,%d0
        move.b  %d0,MOUSE_BUTTONS
        move.b  1(%a0),%d0
        ext.w   %d0
        add.w   MOUSE_X,%d0
        move.w  #319,%d1
        bsr.s   clamp
        move.w  %d0,MOUSE_X
        move.b  2(%a0),%d0
        ext.w   %d0
        add.w   MOUSE_Y,%d0
        move.w  #199,%d1
        bsr.s   clamp
        move.w  %d0,MOUSE_Y
        addq.w  #1,INPUT_SEEN
9:      rts

| d0 kept within 0 to d1.
clamp:  tst.w   %d0
        bpl.s   0f
        moveq   #0,%d0
0:      cmp.w   %d1,%d0
        ble.s   1f
        move.w  %d1,%d0
1:      rts

| Joystick 1's packets, 0xFF then its state: fire in bit 7, right, left, down and up in bits 3-0.
joystick_packet:
        cmp.b   #0xff,(%a0)
        bne.s   9f
        move.b  1(%a0),JOYSTICK
        addq.w  #1,INPUT_SEEN
9:      rts

ignore_packet:
        rts

| The MIDI port has nothing attached.
ignore_midi:
        rts

| XBIOS 34: Kbdvbase.
kbdvbase:
        move.l  #KBDVECS,%d0
        rts

| XBIOS 14: Iorec(device): 1 the keyboard; the serial port and MIDI get a buffer nothing fills.
iorec:  move.l  #KEYBOARD_IOREC,%d0
        cmp.w   #1,(%a0)
        beq.s   0f
        move.l  #EMPTY_IOREC,%d0
0:      rts

| XBIOS 25: Ikbdws(count - 1, bytes): commands to the keyboard processor.
ikbdws: move.w  (%a0),%d1
        move.l  2(%a0),%a1
0:      move.b  (%a1)+,%d0
        bsr     keyboard_send
        dbf     %d1,0b
        moveq   #0,%d0
        rts

| BIOS 11: Kbshift(mode): the shift state, set from mode unless it is negative.
kbshift:
        moveq   #0,%d0
        move.b  KBSHIFT,%d0
        move.w  (%a0),%d1
        bmi.s   0f
        move.b  %d1,KBSHIFT
0:      rts

| Z clear when a key waits in the buffer.
key_waiting:
        move.l  %a0,-(%sp)
        lea     KEYBOARD_IOREC,%a0
        move.w  ibufhd(%a0),%d0
        cmp.w   ibuftl(%a0),%d0
        movem.l (%sp)+,%a0              | keeps the flags
        rts

| Waits for a key and takes it from the buffer: its scancode in bits 16-23 and its character
| in bits 0-7, and the shift state in bits 24-31 when conterm bit 3 asks for it.
key_read:
        bsr     key_waiting
        beq     key_read
        move.l  %a0,-(%sp)
        lea     KEYBOARD_IOREC,%a0
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr             | the interrupt moves the tail while the head moves
        move.w  ibufhd(%a0),%d0
        addq.w  #4,%d0
        cmp.w   ibufsiz(%a0),%d0
        blo.s   0f
        moveq   #0,%d0
0:      move.w  %d0,ibufhd(%a0)
        move.l  ibuf(%a0),%a0
        move.l  (%a0,%d0.w),%d0
        move.w  (%sp)+,%sr
        btst    #3,conterm
        beq.s   1f
        and.l   #0x00ffffff,%d0
        swap    %d0
        move.b  KBSHIFT,-(%sp)
        move.w  (%sp)+,%d1              | the shift state in the high byte
        and.w   #0xff00,%d1
        or.w    %d1,%d0
        swap    %d0
1:      movem.l (%sp)+,%a0
        rts

| The characters of the keys, by scancode: without and with Shift. The main block is the
| English layout; the keypad gives its digits and signs; other keys give no character.
unshifted:
        .byte   0, 0x1b                                         | 0x00, Esc
        .ascii  "1234567890-="                                  | 0x02-0x0D
        .byte   0x08, 0x09                                      | Backspace, Tab
        .ascii  "qwertyuiop[]"                                  | 0x10-0x1B
        .byte   0x0d, 0                                         | Return, Control
        .ascii  "asdfghjkl;'`"                                  | 0x1E-0x29
        .byte   0                                               | left Shift
        .ascii  "\\zxcvbnm,./"                                  | 0x2B-0x35
        .byte   0, 0, 0, ' ', 0                                 | right Shift, -, Alt, Space, Caps
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0                    | 0x3B-0x44: F1-F10
        .byte   0, 0, 0, 0, 0, '-', 0, 0, 0, '+', 0, 0, 0, 0   | 0x45-0x52: Home, arrows, Insert
        .byte   0x7f                                            | 0x53: Delete
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0              | 0x54-0x5F
        .byte   '\\', 0, 0                                      | 0x60: the key left of Z; Undo, Help
        .ascii  "()/*789456123"                                 | 0x63-0x6F: the keypad
        .ascii  "0."                                            | 0x70-0x71
        .byte   0x0d                                            | 0x72: Enter
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0           | 0x73-0x7F
shifted:
        .byte   0, 0x1b
        .ascii  "!@#$%^&*()_+"
        .byte   0x08, 0x09
        .ascii  "QWERTYUIOP{}"
        .byte   0x0d, 0
        .ascii  "ASDFGHJKL:\"~"
        .byte   0
        .ascii  "|ZXCVBNM<>?"
        .byte   0, 0, 0, ' ', 0
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0
        .byte   0, 0, 0, 0, 0, '-', 0, 0, 0, '+', 0, 0, 0, 0
        .byte   0x7f
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
        .byte   '|', 0, 0
        .ascii  "()/*789456123"
        .ascii  "0."
        .byte   0x0d
        .byte   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
        .even
