| Shows what the keyboard processor sends, for a person and for the window tests: the whole
| picture takes one colour that says how far the bytes received match `expected` (the reset
| reply, then A pressed and released, then B pressed and released). Mouse reports are switched
| off and any that slip through are skipped, so pointer moves never disturb the count.
|   nothing yet: black; 1 byte: blue; 2: green; 3: cyan; 4: magenta; all 5: white;
|   a byte that differs: red, and it stays red.

        .include "rom.inc"

        .equ    matched, 0x600          | word: bytes matched so far
        .equ    skipping, 0x602         | word: mouse-report bytes still to skip
        .equ    failed, 0x604           | word: nonzero after a wrong byte

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        clr.w   matched
        clr.w   skipping
        clr.w   failed
        move.w  #0x000,PALETTE
        OPEN_KEYBOARD_LINE keyboard
        moveq   #0x12,%d0               | no mouse reports
        bsr.s   send
        move.w  #0x2500,%sr             | keyboard interrupts in, VBL and HBL out
idle:   bra.s   idle

        KEYBOARD_SEND_ROUTINE

keyboard:
        movem.l %d0-%d1/%a0,-(%sp)
        btst    #0,ACIA_CONTROL         | receive register full?
        beq.s   done
        move.b  ACIA_DATA,%d0           | reading the data releases the interrupt line
        tst.w   skipping
        beq.s   1f
        subq.w  #1,skipping
        bra.s   done
1:      move.b  %d0,%d1                 | a mouse report header: 0xF8-0xFB, two bytes follow
        and.b   #0xfc,%d1
        cmp.b   #0xf8,%d1
        bne.s   2f
        move.w  #2,skipping
        bra.s   done
2:      tst.w   failed
        bne.s   done
        move.w  matched,%d1
        cmp.w   #5,%d1
        bhs.s   wrong                   | nothing more is expected
        lea     expected,%a0
        cmp.b   (%a0,%d1.w),%d0
        bne.s   wrong
        addq.w  #1,%d1
        move.w  %d1,matched
        add.w   %d1,%d1
        lea     colours,%a0
        move.w  (%a0,%d1.w),PALETTE
        bra.s   done
wrong:  move.w  #1,failed
        move.w  #0x700,PALETTE
done:   move.b  #0xbf,ISRB              | end of interrupt for channel 6
        movem.l (%sp)+,%d0-%d1/%a0
        rte

expected:
        .byte   0xf0, 0x1e, 0x9e, 0x30, 0xb0
        .even
colours:
        .word   0x000, 0x007, 0x070, 0x077, 0x707, 0x777
