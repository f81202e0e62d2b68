| Shows what the keyboard processor reports of the mouse, for a person and for the window tests:
| the picture turns blue when a report moves the mouse right, and white when a report then has
| the left button down. Everything else the keyboard sends is passed over.

        .include "rom.inc"

        .equ    reportLeft, 0x600       | word: bytes of the current mouse report still to come
        .equ    header, 0x602           | word: the report's first byte
        .equ    movedRight, 0x604       | word: nonzero once a report moved the mouse right

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        clr.w   reportLeft
        clr.w   movedRight
        move.w  #0x000,PALETTE
        OPEN_KEYBOARD_LINE keyboard
        move.w  #0x2500,%sr             | keyboard interrupts in, VBL and HBL out
idle:   bra.s   idle

        KEYBOARD_SEND_ROUTINE

keyboard:
        movem.l %d0-%d1,-(%sp)
        btst    #0,ACIA_CONTROL         | receive register full?
        beq.s   done
        move.b  ACIA_DATA,%d0           | reading the data releases the interrupt line
        move.w  reportLeft,%d1
        beq.s   first
        subq.w  #1,reportLeft
        cmp.w   #2,%d1                  | the X movement comes first
        bne.s   done
        tst.b   %d0
        ble.s   done                    | not to the right
        move.w  #1,movedRight
        move.w  #0x007,PALETTE
        bra.s   done
first:  move.b  %d0,%d1                 | a relative mouse report: 0xF8-0xFB, two bytes follow
        and.b   #0xfc,%d1
        cmp.b   #0xf8,%d1
        bne.s   done
        move.w  #2,reportLeft
        btst    #1,%d0                  | left button
        beq.s   done
        tst.w   movedRight
        beq.s   done
        move.w  #0x777,PALETTE
done:   move.b  #0xbf,ISRB              | end of interrupt for channel 6
        movem.l (%sp)+,%d0-%d1
        rte
