| A ROM that does what an idle operating system does: it installs VBL and HBL handlers, starts the
| MFP's 200 Hz Timer C, opens the interrupt mask and spins. The machine's scheduler, interrupts
| and clock run as they do under TOS, with the processor never resting.

        .include "rom.inc"

        .equ    vblCount, 0x600
        .equ    timerCCount, 0x604

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #vbl,0x70               | level 4 autovector
        move.l  #hbl,0x68               | level 2 autovector
        move.l  #timerC,0x114           | MFP vector base 0x40, channel 5
        move.b  #0x48,VR                | vectors at 0x40, software end of interrupt
        move.b  #192,TCDR
        move.b  #0x50,TCDCR             | Timer C divides by 64
        bset    #5,IERB                 | Timer C
        bset    #5,IMRB
        move.w  #0x2300,%sr
idle:   bra.s   idle

vbl:    addq.l  #1,vblCount
        rte
hbl:    rte
timerC: addq.l  #1,timerCCount
        move.b  #0xdf,ISRB              | end of interrupt
        rte
