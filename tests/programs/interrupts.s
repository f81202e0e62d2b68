| Interrupt census: takes every interrupt the frame loop schedules and counts each kind in RAM.
| The VBL and the HBL arrive as autovectors (levels 4 and 2). The MFP sits at level 6 with its
| vectors moved to 0x40 and software end of interrupt, as TOS sets it up: a handler that leaves
| its in-service bit set shuts out every lower MFP channel until someone clears it.
|
| Timer B counts the shifter's display-enable edges with a data value of 1, so it interrupts on
| every display line; Timer C is the 200 Hz system tick.
|
| A cold reset clears RAM, so these words are zero unless the test sets them before the first
| frame:
|   hblsMasked     nonzero: idle at IPL 3, so no HBL handler can hold up the VBL.
|   holdTimerB     nonzero: the Timer B handler leaves its channel in service.
|   releaseTimerB  nonzero: the main loop ends Timer B's service once, then clears the word.

        .include "rom.inc"

        .equ    vblCount, 0x600         | longs, for the test to read
        .equ    hblCount, 0x604
        .equ    timerBCount, 0x608
        .equ    timerCCount, 0x60c
        .equ    hblsMasked, 0x610       | words, set by the test
        .equ    holdTimerB, 0x612
        .equ    releaseTimerB, 0x614

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70               | level 4 autovector
        move.l  #hbl,0x68               | level 2 autovector
        move.l  #timerB,0x120           | MFP channel 8: vector 0x48
        move.l  #timerC,0x114           | MFP channel 5: vector 0x45
        move.b  #0x48,VR                | vectors at 0x40, software end of interrupt
        move.b  #1,TBDR                 | load the counter while the timer is stopped
        move.b  #0x08,TBCR              | Timer B: event count
        move.b  #192,TCDR
        move.b  #0x50,TCDCR             | Timer C: divide by 64
        bset    #0,IERA                 | Timer B
        bset    #0,IMRA
        bset    #5,IERB                 | Timer C
        bset    #5,IMRB
        tst.w   hblsMasked
        bne.s   quiet

| Sleep between interrupts; every wake-up gives the test's release request a look.
loud:   stop    #0x2100                 | HBLs and everything above
        bsr.s   release
        bra.s   loud
quiet:  stop    #0x2300                 | the VBL and the MFP only
        bsr.s   release
        bra.s   quiet

release:
        tst.w   releaseTimerB
        beq.s   1f
        move.b  #0xfe,ISRA              | zero bits clear in-service bits, ones leave them
        clr.w   releaseTimerB
1:      rts

vbl:    addq.l  #1,vblCount
        rte
hbl:    addq.l  #1,hblCount
        rte
timerB: addq.l  #1,timerBCount
        tst.w   holdTimerB              | RTE restores the flags, so no register is touched
        bne.s   1f
        move.b  #0xfe,ISRA              | end of interrupt for Timer B
1:      rte
timerC: addq.l  #1,timerCCount
        move.b  #0xdf,ISRB              | end of interrupt for Timer C
        rte
