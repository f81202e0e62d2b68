| Orvet's built-in ROM: the start-up. A boot-sector program expects the machine as the ST's own
| operating system leaves it: the ROM header where the system header pointer says, the memory
| sized and the screen at its top, the MFP's 200 Hz clock and keyboard line running, and the
| documented system variables filled in. This file brings the machine there, then idles.

        .include "hardware.inc"

        .equ    CRASH_STUB_SIZE, 6      | moveq and bra.w: one crash entry per vector

        .text
        .globl  rom_header
| The header every ST operating system starts with: programs read the version, the base and the
| build date from it through _sysbase.
rom_header:
        bra.s   reset                   | 0x00: 0x602E, the branch over the header
        .word   0x0100                  | 0x02: version 1.00
        .long   reset                   | 0x04: the reset handler
        .long   rom_header              | 0x08: where the ROM lies
        .long   SYSTEM_END              | 0x0C: end of the system's own RAM
        .long   reset                   | 0x10: the shell (none: start again)
        .long   0                       | 0x14: no desktop magic
        .long   0x12062026              | 0x18: build date, BCD month, day, year
        .word   0x0001                  | 0x1C: PAL machine, country 0
        .word   0x5986                  | 0x1E: the same date as GEMDOS writes it
        .long   0                       | 0x20: no memory pool
        .long   0                       | 0x24: no shift-state pointer
        .long   0                       | 0x28: no current process
        .long   0                       | 0x2C: reserved

reset:  move.w  #0x2700,%sr             | nothing may interrupt the set-up
        moveq   #0,%d7                  | no crash to report
| After a crash the start-up runs again with the bombs in d7, and the start screen shows them.
restart:
        reset                           | every chip to its reset state
        lea     SYSTEM_STACK,%sp

| Both banks as 2 MB, the largest a ST's memory controller can be told, then the real top
| found by writing near each possible top: memory that is not there reads back all ones.
        move.b  #0x0a,MEMORY_CONFIG
        lea     memory_sizes(%pc),%a0
1:      move.l  (%a0)+,%d0
        beq.s   2f                      | the last entry, 512 KB, always holds
        move.l  %d0,%a1
        move.w  #0x5a3c,-2(%a1)
        cmp.w   #0x5a3c,-2(%a1)
        bne.s   1b
2:      tst.l   %d0
        bne.s   3f
        move.l  #0x80000,%d0
3:      move.l  %d0,phystop
        move.l  #0x752019f3,memvalid    | the magic words that tell a warm start memory is sized
        move.l  #0x237698aa,memval2
        move.l  #0x5555aaaa,memval3

| The screen: 32,000 bytes below the top of memory, on the 256-byte boundary the shifter needs.
        sub.l   #SCREEN_SIZE,%d0
        move.l  %d0,_v_bas_ad
        move.l  %d0,_memtop
        move.l  #SYSTEM_END,_membot
        lsr.l   #8,%d0
        move.b  %d0,VIDEO_BASE_MIDDLE
        lsr.w   #8,%d0
        move.b  %d0,VIDEO_BASE_HIGH
        move.b  #2,SYNC_MODE            | 50 Hz, internal sync
        clr.b   RESOLUTION              | low resolution
        clr.b   sshiftmd
        lea     start_palette(%pc),%a0
        lea     PALETTE,%a1
        moveq   #15,%d1
4:      move.w  (%a0)+,(%a1)+
        dbf     %d1,4b

| Every exception the system does not handle ends in the crash handler; the interrupts it uses
| get their own.
        lea     8,%a0                   | vectors 2 (bus error) to 63
        lea     crash_stubs,%a1
        move.w  #61,%d1
5:      move.l  %a1,(%a0)+
        addq.l  #CRASH_STUB_SIZE,%a1
        dbf     %d1,5b
        move.l  #ignore_interrupt,0x64  | level 1 to 3 autovectors: the HBL is never wanted
        move.l  #ignore_interrupt,0x68
        move.l  #ignore_interrupt,0x6c
        move.l  #vbl,0x70
        lea     0x100,%a0               | the MFP's sixteen channels
        moveq   #15,%d1
6:      move.l  #ignore_mfp,(%a0)+
        dbf     %d1,6b
        move.l  #timer_c,0x114          | channel 5
        move.l  #keyboard,0x118         | channel 6

| System variables a program reads.
        move.l  #rom_header,_sysbase
        clr.w   _bootdev                | drive A
        move.l  #DISK_BUFFER,_dskbufp
        move.w  #1,_nflops
        clr.l   _hz_200
        clr.l   _frclock
        clr.l   _vbclock
        move.w  #1,vblsem               | the VBL queue runs
        move.w  #VBL_QUEUE_LENGTH,nvbls
        move.l  #VBL_QUEUE,_vblqueue
        lea     VBL_QUEUE,%a0
        moveq   #VBL_QUEUE_LENGTH-1,%d1
7:      clr.l   (%a0)+
        dbf     %d1,7b

| The MFP: vectors from 0x100 with software end of interrupt, as the ST's own system sets it;
| Timer C counts 2,457,600 Hz / 64 / 192 = 200 Hz for the system clock.
        clr.b   IERA
        clr.b   IERB
        clr.b   IMRA
        clr.b   IMRB
        move.b  #0x48,VR
        clr.b   TCDCR
        move.b  #192,TCDR
        move.b  #0x50,TCDCR
        bset    #5,IERB
        bset    #5,IMRB

| The keyboard line: the ACIA reset and set to 8 bits at clock / 64 with receive interrupts,
| then the keyboard processor reset, which answers 0xF0.
        move.b  #0x03,ACIA_CONTROL
        move.b  #0x96,ACIA_CONTROL
        bset    #6,IERB
        bset    #6,IMRB
        move.b  #0x80,%d0
        bsr     keyboard_send
        moveq   #0x01,%d0
        bsr     keyboard_send

        bsr     draw_start_screen
        move.w  #0x2300,%sr             | VBL and the MFP in, the HBL out: the 200 Hz clock runs
        tst.w   %d7
        bne.s   0f
        bsr     boot_floppy
        bsr     draw_boot_result
        bra.s   idle
0:      bsr     draw_crash_report       | the disk that crashed is not booted again until reset
idle:   stop    #0x2300
        bra.s   idle

| What the boot found, and what a person can do about it.
draw_boot_result:
        lea     no_disk_text(%pc),%a0
        cmp.w   #BOOT_NO_DISK,BOOT_RESULT
        beq.s   1f
        lea     not_bootable_text(%pc),%a0
        cmp.w   #BOOT_NOT_BOOTABLE,BOOT_RESULT
        bne.s   2f
1:      moveq   #1,%d0
        moveq   #5,%d1
        bsr     draw_text
        lea     insert_text(%pc),%a0
        moveq   #1,%d0
        moveq   #7,%d1
        bsr     draw_text
2:      rts

| The start screen: what this is and how much memory the machine has.
draw_start_screen:
        lea     title_text(%pc),%a0
        moveq   #1,%d0
        moveq   #1,%d1
        bsr     draw_text
        lea     memory_text(%pc),%a0
        moveq   #1,%d0
        moveq   #3,%d1
        bsr     draw_text
        move.l  phystop,%d2
        moveq   #10,%d3
        lsr.l   %d3,%d2                 | in KB
        bsr     draw_number
        lea     kilobytes_text(%pc),%a0
        bsr     draw_text
        rts

title_text:
        .asciz  "Orvet built-in ROM 1.00"
memory_text:
        .asciz  "Memory: "
kilobytes_text:
        .asciz  " KB"
no_disk_text:
        .asciz  "No disk in drive A."
not_bootable_text:
        .asciz  "The disk in drive A is not bootable."
insert_text:
        .asciz  "Insert a disk and reset (F11)."
crashed_text:
        .asciz  "The program crashed: "
bombs_text:
        .asciz  " bombs."
        .even

| Sends d0 to the keyboard processor once the ACIA's transmitter takes a byte.
keyboard_send:
        btst    #1,ACIA_CONTROL
        beq.s   keyboard_send
        move.b  %d0,ACIA_DATA
        rts

| The VBL: the frame counter always; the VBL clock and the queue of routines while the
| semaphore lets them run.
vbl:    addq.l  #1,_frclock
        tst.w   vblsem
        ble.s   2f
        addq.l  #1,_vbclock
        movem.l %d0-%d7/%a0-%a6,-(%sp)
        move.w  nvbls,%d7
        beq.s   1f
        subq.w  #1,%d7
        move.l  _vblqueue,%a5
0:      move.l  (%a5)+,%d0
        beq.s   3f
        move.l  %d0,%a0
        jsr     (%a0)
3:      dbf     %d7,0b
1:      movem.l (%sp)+,%d0-%d7/%a0-%a6
2:      rte

timer_c:
        addq.l  #1,_hz_200
        move.b  #0xdf,ISRB              | end of interrupt for channel 5
        rte

keyboard:
        btst    #0,ACIA_CONTROL
        beq.s   1f
        tst.b   ACIA_DATA               | reading the byte releases the interrupt line
1:      move.b  #0xbf,ISRB              | end of interrupt for channel 6
        rte

ignore_interrupt:
        rte

| A channel the system did not enable: its in-service bit is cleared so lower ones still come.
ignore_mfp:
        clr.b   ISRA
        clr.b   ISRB
        rte

| A processor exception the system does not handle. As on the ST, a crash shows one bomb for each
| step of the exception's vector number (2 a bus error, 3 an address error, 4 an illegal
| instruction...); here the machine starts afresh and the start screen shows them. The 68000's
| frame does not say which vector was taken, so each has its own entry that says it.
crash_stubs:
        .set    vector_number, 2
        .rept   62
        moveq   #vector_number,%d0
        bra.w   crash
        .set    vector_number, vector_number + 1
        .endr
crash:  move.w  #0x2700,%sr
        move.w  %d0,%d7
        bra     restart

| The bombs, then what happened and what to do.
draw_crash_report:
        move.w  #BOOT_CRASHED,BOOT_RESULT
        move.w  %d7,CRASH_BOMBS
        move.w  %d7,%d2
        cmp.w   #38,%d2                 | a line holds 38
        bls.s   0f
        moveq   #38,%d2
0:      subq.w  #1,%d2
        moveq   #1,%d0
        moveq   #5,%d1
        lea     bomb_glyph(%pc),%a2
1:      bsr     draw_glyph
        addq.w  #1,%d0
        dbf     %d2,1b
        lea     crashed_text(%pc),%a0
        moveq   #1,%d0
        moveq   #7,%d1
        bsr     draw_text
        moveq   #0,%d2
        move.w  %d7,%d2
        bsr     draw_number
        lea     bombs_text(%pc),%a0
        bsr     draw_text
        lea     insert_text(%pc),%a0
        moveq   #1,%d0
        moveq   #9,%d1
        bsr     draw_text
        rts

| A bomb of our own: the fuse at the top right, the round body below.
bomb_glyph:
        .byte   0x06, 0x08, 0x3c, 0x7e, 0x7e, 0x7e, 0x3c, 0x00

memory_sizes:
        .long   0x400000, 0x200000, 0x100000, 0

| Black on white, as a person expects the ST's start to look, then the colours a program finds.
start_palette:
        .word   0x777, 0x700, 0x070, 0x770, 0x007, 0x707, 0x077, 0x555
        .word   0x333, 0x733, 0x373, 0x773, 0x337, 0x737, 0x377, 0x000
