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
        .long   KBSHIFT                 | 0x24: where the shift keys' state is kept
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

| Only the STE has DMA sound: on the STFM its register is a bus error.
        move.l  #no_dma_sound,8
        move.l  %sp,%a6
        moveq   #0,%d6
        tst.b   DMA_SOUND_CONTROL
        moveq   #1,%d6
no_dma_sound:
        move.l  %a6,%sp
        move.w  %d6,MACHINE_STE

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

| Every exception the system does not handle ends in the crash handler; the interrupts and the
| traps it offers get their own.
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
        move.l  #trap_gemdos,0x84       | trap #1
        move.l  #trap_gem,0x88          | trap #2
        move.l  #trap_bios,0xb4         | trap #13
        move.l  #trap_xbios,0xb8        | trap #14
        lea     0x100,%a0               | the MFP's sixteen channels
        moveq   #15,%d1
6:      move.l  #ignore_mfp,(%a0)+
        dbf     %d1,6b
        move.l  #timer_c,0x114          | channel 5
        move.l  #acia_interrupt,0x118   | channel 6
        move.l  #no_handler,etv_timer   | the system's own vectors, for programs to hook
        move.l  #no_handler,etv_critic
        move.l  #no_handler,etv_term

| System variables a program reads.
        move.l  #rom_header,_sysbase
        clr.w   _bootdev                | drive A
        move.l  #DISK_BUFFER,_dskbufp
        move.w  #1,_nflops
        clr.l   _hz_200
        clr.l   _frclock
        clr.l   _vbclock
        clr.l   colorptr
        clr.l   screenpt
        move.b  #7,conterm              | key click, repeat and bell, as TOS starts
        clr.w   DISK_SECTORS
        clr.w   FLOPPY_RESTORED
        clr.l   SOUND_POINTER
        clr.l   RANDOM_SEED
        move.w  #4,TIMER_C_DIVIDER
        clr.w   CURSOR_COLUMN
        clr.w   CURSOR_ROW
        clr.w   ESCAPE_STATE
        clr.w   TYPED_LENGTH
        move.w  #1,vblsem               | the VBL queue runs
        move.w  #VBL_QUEUE_LENGTH,nvbls
        move.l  #VBL_QUEUE,_vblqueue
        lea     VBL_QUEUE,%a0
        moveq   #VBL_QUEUE_LENGTH-1,%d1
7:      clr.l   (%a0)+
        dbf     %d1,7b

| The cookie jar, where programs look for the machine before they use an STE's hardware.
        lea     COOKIE_JAR,%a0
        move.l  %a0,_p_cookies
        moveq   #0,%d1
        tst.w   %d6
        beq.s   8f
        move.l  #0x00010000,%d1         | STE video and STE machine
8:      move.l  #0x5f435055,(%a0)+      | "_CPU": a 68000
        clr.l   (%a0)+
        move.l  #0x5f56444f,(%a0)+      | "_VDO"
        move.l  %d1,(%a0)+
        move.l  #0x5f4d4348,(%a0)+      | "_MCH"
        move.l  %d1,(%a0)+
        move.l  #0x5f534e44,(%a0)+      | "_SND": the sound chip, and DMA sound on the STE
        moveq   #1,%d1
        tst.w   %d6
        beq.s   9f
        moveq   #3,%d1
9:      move.l  %d1,(%a0)+
        clr.l   (%a0)+                  | the end, with the jar's size
        move.l  #8,(%a0)+

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

        bsr     keyboard_init

        bsr     draw_start_screen
        move.w  #0x2300,%sr             | VBL and the MFP in, the HBL out: the 200 Hz clock runs
        tst.w   %d7
        bne.s   0f
        bsr     boot_floppy
        bsr     draw_boot_result
        bra.s   1f
0:      bsr     draw_crash_report       | the disk that crashed is not booted again until reset
1:      bsr     draw_input
| The start screen stays, showing each key, mouse move and joystick change as it arrives.
idle:   stop    #0x2300
        move.w  INPUT_SEEN,%d0
        cmp.w   INPUT_SHOWN,%d0
        beq.s   idle
        bsr     draw_input
        bra.s   idle

| The VBL: the frame counter always; while the semaphore lets them run, the VBL clock, the
| palette and the screen a program asked for at the frame's start, and the queue of routines.
vbl:    addq.l  #1,_frclock
        tst.w   vblsem
        ble.s   2f
        addq.l  #1,_vbclock
        movem.l %d0-%d7/%a0-%a6,-(%sp)
        move.l  colorptr,%d0
        beq.s   4f
        move.l  %d0,%a0
        lea     PALETTE,%a1
        moveq   #7,%d0
5:      move.l  (%a0)+,(%a1)+
        dbf     %d0,5b
        clr.l   colorptr
4:      move.l  screenpt,%d0
        beq.s   6f
        lsr.l   #8,%d0
        move.b  %d0,VIDEO_BASE_MIDDLE
        lsr.w   #8,%d0
        move.b  %d0,VIDEO_BASE_HIGH
6:      move.w  nvbls,%d7
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

| MFP channel 5, 200 times a second: the system clock; every fourth tick, a step of the sound
| sequencer and the call through etv_timer that programs hook, given the 20 ms since the last.
timer_c:
        addq.l  #1,_hz_200
        subq.w  #1,TIMER_C_DIVIDER
        bne.s   0f
        move.w  #4,TIMER_C_DIVIDER
        movem.l %d0-%d7/%a0-%a6,-(%sp)
        bsr     sound_tick
        move.w  #20,-(%sp)
        move.l  etv_timer,%a0
        jsr     (%a0)
        addq.l  #2,%sp
        movem.l (%sp)+,%d0-%d7/%a0-%a6
0:      move.b  #0xdf,ISRB              | end of interrupt for channel 5
        rte

ignore_interrupt:
        rte

no_handler:
        rts

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

memory_sizes:
        .long   0x400000, 0x200000, 0x100000, 0

| Black on white, as a person expects the ST's start to look, then the colours a program finds.
start_palette:
        .word   0x777, 0x700, 0x070, 0x770, 0x007, 0x707, 0x077, 0x555
        .word   0x333, 0x733, 0x373, 0x773, 0x337, 0x737, 0x377, 0x000
