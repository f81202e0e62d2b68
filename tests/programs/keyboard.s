| Keyboard line: talks to the keyboard processor the way TOS does, through the ACIA at 0xFFFC00
| and MFP channel 6 (GPIP 4 carries the ACIA's interrupt line). It resets the keyboard processor,
| then files every byte the ACIA receives in a RAM buffer for the test to read. The test asks
| for a command byte by writing it into `commandRequest`; the main loop sends it at the next VBL.

        .include "rom.inc"

        .equ    receivedCount, 0x600    | word: bytes in the buffer
        .equ    commandRequest, 0x602   | word: nonzero = a command byte to send
        .equ    receivedBytes, 0x800    | the buffer
        .equ    bufferSize, 0x400       | bytes past this are read and dropped

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70               | level 4 autovector: only to wake the main loop
        OPEN_KEYBOARD_LINE keyboard

idle:   stop    #0x2300                 | HBLs stay masked: nothing handles them
        move.w  commandRequest,%d0
        beq.s   idle
        clr.w   commandRequest
        bsr.s   send
        bra.s   idle

        KEYBOARD_SEND_ROUTINE

vbl:    rte

keyboard:
        movem.l %d0-%d1/%a0,-(%sp)
        btst    #0,ACIA_CONTROL         | receive register full?
        beq.s   1f
        move.b  ACIA_DATA,%d0           | reading the data releases the interrupt line
        move.w  receivedCount,%d1
        cmp.w   #bufferSize,%d1
        bhs.s   1f
        lea     receivedBytes,%a0
        move.b  %d0,(%a0,%d1.w)
        addq.w  #1,receivedCount
1:      move.b  #0xbf,ISRB              | end of interrupt for channel 6
        movem.l (%sp)+,%d0-%d1/%a0
        rte
