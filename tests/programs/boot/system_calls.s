| The program the loader brings in from track 1. It calls the BIOS and XBIOS as boot programs do,
| writes what each call returned to a table the test reads, then draws with the console and the
| palette calls and idles. Each result is one long at RESULTS + 4 * its number.

        .equ    RESULTS, 0x20000
        .equ    RWABS_BUFFER, 0x30000
        .equ    marker, 0x600
        .equ    timerCount, 0x60c
        .equ    etvCount, 0x610

        .macro  XBIOS number, stackBytes
        move.w  #\number,-(%sp)
        trap    #14
        lea     \stackBytes(%sp),%sp
        .endm
        .macro  BIOS number, stackBytes
        move.w  #\number,-(%sp)
        trap    #13
        lea     \stackBytes(%sp),%sp
        .endm
        .macro  RESULT index
        move.l  %d0,RESULTS+4*\index
        .endm

        .text
start:  clr.l   timerCount
        clr.l   etvCount
| 0: Floprd of sector 10 on a disk of 9 sectors a track: sector not found.
        move.w  #1,-(%sp)
        clr.w   -(%sp)
        move.w  #1,-(%sp)
        move.w  #10,-(%sp)
        clr.w   -(%sp)
        clr.l   -(%sp)
        move.l  #RWABS_BUFFER,-(%sp)
        XBIOS   8, 20
        RESULT  0
| 1: Floprd from drive B, which is not fitted.
        move.w  #1,-(%sp)
        clr.w   -(%sp)
        clr.w   -(%sp)
        move.w  #1,-(%sp)
        move.w  #1,-(%sp)
        clr.l   -(%sp)
        move.l  #RWABS_BUFFER,-(%sp)
        XBIOS   8, 20
        RESULT  1
| 2: Rwabs of records 27 and 28, track 1 side 1 sectors 1 and 2.
        clr.w   -(%sp)                  | drive A
        move.w  #27,-(%sp)
        move.w  #2,-(%sp)
        move.l  #RWABS_BUFFER,-(%sp)
        clr.w   -(%sp)                  | read
        BIOS    4, 14
        RESULT  2
| 3: Tickcal.
        BIOS    6, 2
        RESULT  3
| 4: Setexc(etv_timer) with a counter; the old vector comes back.
        pea     count_etv(%pc)
        move.w  #0x100,-(%sp)
        BIOS    5, 8
        RESULT  4
| 5: Kbshift set to Caps Lock, then read back.
        move.w  #0x10,-(%sp)
        BIOS    11, 4
        move.w  #-1,-(%sp)
        BIOS    11, 4
        RESULT  5
        clr.w   -(%sp)
        BIOS    11, 4
| 6 and 7: Random, twice.
        XBIOS   17, 2
        RESULT  6
        XBIOS   17, 2
        RESULT  7
| 8: Supexec.
        pea     supervisor_function(%pc)
        XBIOS   38, 6
        RESULT  8
| 9, 10, 11: Getrez, Physbase, Logbase.
        XBIOS   4, 2
        RESULT  9
        XBIOS   2, 2
        RESULT  10
        XBIOS   3, 2
        RESULT  11
| 12 and 13: Setcolor(1, 0x123) gives the old colour, Setcolor(1, -1) the new.
        move.w  #0x123,-(%sp)
        move.w  #1,-(%sp)
        XBIOS   7, 6
        RESULT  12
        move.w  #-1,-(%sp)
        move.w  #1,-(%sp)
        XBIOS   7, 6
        RESULT  13
| 14: Giaccess writes tone A's fine period and reads it back.
        move.w  #0x80,-(%sp)
        move.w  #0x55,-(%sp)
        XBIOS   28, 6
        clr.w   -(%sp)
        clr.w   -(%sp)
        XBIOS   28, 6
        RESULT  14
| 15: Xbtimer starts Timer A at 2,457,600 / 200 / 123 Hz with a counter.
        pea     count_timer(%pc)
        move.w  #123,-(%sp)
        move.w  #7,-(%sp)
        clr.w   -(%sp)
        XBIOS   31, 12
        RESULT  15
| 16-19: calls the ROM does not offer: BIOS 0, XBIOS 99, XBIOS -1, GEMDOS.
        BIOS    0, 2
        RESULT  16
        XBIOS   99, 2
        RESULT  17
        XBIOS   -1, 2
        RESULT  18
        move.w  #0x09,-(%sp)
        trap    #1
        addq.l  #2,%sp
        RESULT  19
| 20, 21: Kbdvbase and Iorec(keyboard) point into the system's RAM.
        XBIOS   34, 2
        RESULT  20
        move.w  #1,-(%sp)
        XBIOS   14, 4
        RESULT  21
| 22: Dosound writes tone B's fine period on its next step, then ends.
        pea     tune(%pc)
        XBIOS   32, 6
| The console: clear, then a line at row 2, column 4.
        lea     text(%pc),%a3
0:      moveq   #0,%d0
        move.b  (%a3)+,%d0
        beq.s   1f
        move.w  %d0,-(%sp)
        move.w  #2,-(%sp)
        BIOS    3, 6
        bra.s   0b
| Four frames: the tune has run its two steps and the palette is in.
1:      pea     palette(%pc)
        XBIOS   6, 6
        moveq   #3,%d7
9:      XBIOS   37, 2
        dbf     %d7,9b
        move.w  #-1,-(%sp)
        move.l  #-1,-(%sp)
        XBIOS   32, 6
        RESULT  22                      | the sequencer, idle again
        move.w  #2,-(%sp)
        clr.w   -(%sp)
        XBIOS   28, 6
        RESULT  23                      | what the tune wrote
| Stripes below the text, in the sixteen colours.
        XBIOS   3, 2
        move.l  %d0,%a0
        lea     160*64(%a0),%a0
        moveq   #15,%d1
2:      moveq   #7,%d2                  | eight lines of each colour
3:      moveq   #19,%d3
4:      moveq   #0,%d4
        btst    #0,%d1
        beq.s   5f
        not.w   %d4
5:      move.w  %d4,(%a0)+
        moveq   #0,%d4
        btst    #1,%d1
        beq.s   6f
        not.w   %d4
6:      move.w  %d4,(%a0)+
        moveq   #0,%d4
        btst    #2,%d1
        beq.s   7f
        not.w   %d4
7:      move.w  %d4,(%a0)+
        moveq   #0,%d4
        btst    #3,%d1
        beq.s   8f
        not.w   %d4
8:      move.w  %d4,(%a0)+
        dbf     %d3,4b
        dbf     %d2,3b
        dbf     %d1,2b
| 25: Flopwr of the sector Rwabs read, to sector 1 of track 1 on side 0 (this program's first,
| already loaded): the test finds it there in the image and the file.
        move.w  #1,-(%sp)               | count
        clr.w   -(%sp)                  | side
        move.w  #1,-(%sp)               | track
        move.w  #1,-(%sp)               | sector
        clr.w   -(%sp)
        clr.l   -(%sp)
        move.l  #RWABS_BUFFER,-(%sp)
        XBIOS   9, 20
        RESULT  25
| 24: Jdisint stops Timer A's interrupts: the count no longer moves.
        move.w  #13,-(%sp)
        XBIOS   26, 4
        move.l  timerCount,RESULTS+4*24
        move.l  #0x444f4e45,marker      | "DONE"
idle:   bra.s   idle

count_etv:
        addq.l  #1,etvCount
        rts
count_timer:
        addq.l  #1,timerCount
        bclr    #5,0xfffffa0f           | end of interrupt for Timer A
        rte
supervisor_function:
        move.w  %sr,%d0                 | the S bit, to show where it ran
        rts

tune:   .byte   2, 0x77, 0x82, 1, 0xff, 0
text:   .byte   0x1b, 'E', 0x1b, 'Y', 32+2, 32+4
        .ascii  "Loaded by XBIOS Floprd"
        .byte   13, 10
        .ascii  "    and drawn through the BIOS."
        .byte   0
        .even
palette:
        .word   0x777, 0x700, 0x070, 0x770, 0x007, 0x707, 0x077, 0x555
        .word   0x333, 0x733, 0x373, 0x773, 0x337, 0x737, 0x377, 0x000
