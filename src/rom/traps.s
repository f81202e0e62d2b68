| The system calls: trap #13 the BIOS, trap #14 the XBIOS, with the function numbers and
| arguments TOS documents, so that boot loaders and games find them. The arguments follow the
| function number on the stack the caller used: the user stack, or the supervisor stack above the
| exception frame when the caller was already in supervisor mode. d0-d2 and a0-a2 may change,
| as on the ST; a function the ROM does not offer returns EINVFN. GEMDOS (trap #1) is not here:
| every call returns EINVFN, and the GEM traps return at once.

        .include "hardware.inc"

        .text
        .globl  trap_bios, trap_xbios, trap_gemdos, trap_gem

trap_gemdos:
        moveq   #EINVFN,%d0
trap_gem:
        rte

trap_bios:
        lea     bios_functions(%pc),%a1
        moveq   #(bios_functions_end-bios_functions)/4,%d1
        bra.s   dispatch
trap_xbios:
        lea     xbios_functions(%pc),%a1
        moveq   #(xbios_functions_end-xbios_functions)/4,%d1
dispatch:
        move.l  %usp,%a0
        btst    #5,(%sp)                | the caller's S bit, in the stacked status register
        beq.s   0f
        lea     6(%sp),%a0
0:      move.w  (%a0)+,%d0
        cmp.w   %d1,%d0
        bhs.s   unsupported             | negative numbers too
        add.w   %d0,%d0
        add.w   %d0,%d0
        move.l  (%a1,%d0.w),%d0
        beq.s   unsupported
        move.l  %d0,%a1
        movem.l %d3-%d7/%a3-%a6,-(%sp)
        jsr     (%a1)
        movem.l (%sp)+,%d3-%d7/%a3-%a6
        rte
unsupported:
        moveq   #EINVFN,%d0
        rte

bios_functions:
        .long   0                       | 0 Getmpb
        .long   bconstat                | 1
        .long   bconin                  | 2
        .long   bconout                 | 3
        .long   rwabs                   | 4
        .long   setexc                  | 5
        .long   tickcal                 | 6
        .long   0                       | 7 Getbpb
        .long   bcostat                 | 8
        .long   0                       | 9 Mediach
        .long   drvmap                  | 10
        .long   kbshift                 | 11
bios_functions_end:

xbios_functions:
        .long   0                       | 0 Initmous
        .long   0                       | 1 Ssbrk
        .long   physbase                | 2
        .long   logbase                 | 3
        .long   getrez                  | 4
        .long   setscreen               | 5
        .long   setpalette              | 6
        .long   setcolor                | 7
        .long   floprd                  | 8
        .long   flopwr                  | 9
        .long   0, 0, 0, 0              | 10-13: Flopfmt, -, Midiws, Mfpint
        .long   iorec                   | 14
        .long   0, 0                    | 15-16: Rsconf, Keytbl
        .long   random                  | 17
        .long   0, 0, 0, 0, 0, 0, 0     | 18-24: Protobt to Bioskeys
        .long   ikbdws                  | 25
        .long   jdisint                 | 26
        .long   jenabint                | 27
        .long   giaccess                | 28
        .long   offgibit                | 29
        .long   ongibit                 | 30
        .long   xbtimer                 | 31
        .long   dosound                 | 32
        .long   0                       | 33 Setprt
        .long   kbdvbase                | 34
        .long   0, 0                    | 35-36: Kbrate, Prtblk
        .long   vsync                   | 37
        .long   supexec                 | 38
xbios_functions_end:

| Devices: 1 the serial port, 2 the console, 3 MIDI, 4 the keyboard processor, 5 the screen
| without escape sequences. Nothing is attached to the serial and MIDI ports.

| BIOS 1: Bconstat(device): -1 when a character waits.
bconstat:
        moveq   #0,%d0
        cmp.w   #2,(%a0)
        bne.s   0f
        bsr     key_waiting
        beq.s   0f
        moveq   #-1,%d0
0:      rts

| BIOS 2: Bconin(device). A caller that masks the keyboard's interrupt would wait forever for
| the console, so it gets 0 at once, as it does from the other devices.
bconin: moveq   #0,%d0
        cmp.w   #2,(%a0)
        bne.s   0f
        move.w  %sr,%d1
        and.w   #0x0700,%d1
        cmp.w   #0x0500,%d1
        bhi.s   0f
        bsr     key_read
0:      rts

| BIOS 3: Bconout(device, character).
bconout:
        move.w  2(%a0),%d0
        move.w  (%a0),%d1
        cmp.w   #2,%d1
        bne.s   0f
        bsr     console_put
        bra.s   9f
0:      cmp.w   #5,%d1
        bne.s   1f
        bsr     console_raw
        bra.s   9f
1:      cmp.w   #4,%d1
        bne.s   9f
        bsr     keyboard_send
9:      moveq   #-1,%d0
        rts

| BIOS 8: Bcostat(device): -1 when a character can be sent.
bcostat:
        moveq   #-1,%d0
        cmp.w   #4,(%a0)
        bne.s   0f
        btst    #1,ACIA_CONTROL
        bne.s   0f
        moveq   #0,%d0
0:      rts

| BIOS 5: Setexc(number, vector): returns the old vector; a vector of -1 only reads it. Numbers
| 0x100-0x107 are the system's own vectors from 0x400.
setexc: moveq   #EBADRQ,%d0
        move.w  (%a0),%d1
        cmp.w   #0x107,%d1
        bhi.s   0f
        add.w   %d1,%d1
        add.w   %d1,%d1
        move.w  %d1,%a1
        move.l  (%a1),%d0
        move.l  2(%a0),%d1
        cmp.l   #-1,%d1
        beq.s   0f
        move.l  %d1,(%a1)
0:      rts

| BIOS 6: Tickcal: the milliseconds between the system timer's calls, 50 Hz.
tickcal:
        moveq   #20,%d0
        rts

| BIOS 10: Drvmap: drive A; one drive, as _nflops says.
drvmap: moveq   #1,%d0
        rts

| XBIOS 2: Physbase: the screen the shifter shows, from its base registers.
physbase:
        moveq   #0,%d0
        move.b  VIDEO_BASE_HIGH,%d0
        lsl.w   #8,%d0
        move.b  VIDEO_BASE_MIDDLE,%d0
        lsl.l   #8,%d0
        tst.w   MACHINE_STE             | only the STE's base has a low byte
        beq.s   0f
        move.b  VIDEO_BASE_LOW,%d0
0:      rts

| XBIOS 3: Logbase: the screen the system draws on.
logbase:
        move.l  _v_bas_ad,%d0
        rts

| XBIOS 4: Getrez.
getrez: moveq   #3,%d0
        and.b   RESOLUTION,%d0
        rts

| XBIOS 5: Setscreen(logical, physical, resolution); a negative argument leaves its part.
setscreen:
        move.l  (%a0),%d0
        bmi.s   0f
        move.l  %d0,_v_bas_ad
0:      move.l  4(%a0),%d0
        bmi.s   1f
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr
        tst.w   MACHINE_STE
        beq.s   2f
        move.b  %d0,VIDEO_BASE_LOW
2:      lsr.l   #8,%d0
        move.b  %d0,VIDEO_BASE_MIDDLE
        lsr.w   #8,%d0
        move.b  %d0,VIDEO_BASE_HIGH
        move.w  (%sp)+,%sr
1:      move.w  8(%a0),%d0
        cmp.w   #2,%d0
        bhi.s   3f                      | negative, or no ST resolution
        move.b  %d0,sshiftmd
        move.b  %d0,RESOLUTION
3:      rts

| XBIOS 6: Setpalette(colours): the sixteen colours, loaded at the next frame's start as TOS
| does, so that the picture never shows half of each.
setpalette:
        move.l  (%a0),colorptr
        rts

| XBIOS 7: Setcolor(number, colour): returns the old colour; a negative colour only reads it.
setcolor:
        move.w  (%a0),%d1
        and.w   #15,%d1
        add.w   %d1,%d1
        lea     PALETTE,%a1
        moveq   #0,%d0
        move.w  (%a1,%d1.w),%d0
        and.w   #0x777,%d0
        tst.w   MACHINE_STE             | the STE's fourth bit of each gun
        beq.s   0f
        and.w   #0xfff,%d0
0:      move.w  2(%a0),%d2
        bmi.s   1f
        move.w  %d2,(%a1,%d1.w)
1:      rts

| XBIOS 17: Random: a 24-bit number from the seed * 3141592621 + 1, the seed first taken from the
| 200 Hz clock.
random: move.l  RANDOM_SEED,%d0
        bne.s   0f
        move.l  _hz_200,%d0
        swap    %d0
        or.l    _hz_200,%d0
0:      move.l  %d0,%d1                 | the product's low 32 bits, from 16-bit multiplies
        move.l  %d0,%d3
        swap    %d3
        move.w  #0xe62d,%d2
        mulu    %d2,%d0                 | low * low
        mulu    %d2,%d3                 | high * low
        mulu    #0xbb40,%d1             | low * high
        add.w   %d1,%d3
        swap    %d3
        clr.w   %d3
        add.l   %d3,%d0
        addq.l  #1,%d0
        move.l  %d0,RANDOM_SEED
        lsr.l   #8,%d0
        rts

| XBIOS 26 and 27: Jdisint(channel) and Jenabint(channel): an MFP interrupt off or on.
jdisint:
        bsr.s   mfp_channel
        bclr    %d0,(%a1)               | enable
        bclr    %d0,12(%a1)             | mask
        moveq   #0,%d1
        bset    %d0,%d1
        not.b   %d1
        move.b  %d1,4(%a1)              | pending and in service: writing 0 clears a bit
        move.b  %d1,8(%a1)
        moveq   #0,%d0
        rts
jenabint:
        bsr.s   mfp_channel
        bset    %d0,(%a1)
        bset    %d0,12(%a1)
        moveq   #0,%d0
        rts

| The channel at (a0) as a bit number in d0 and its enable register (A or B) in a1.
mfp_channel:
        move.w  (%a0),%d0
        and.w   #15,%d0
        lea     IERA,%a1
        subq.w  #8,%d0
        bpl.s   0f
        addq.w  #8,%d0
        addq.l  #2,%a1                  | channels 0-7 are in the B registers
0:      rts

| XBIOS 31: Xbtimer(timer, control, data, vector): timer 0-3 (A-D) started with its handler.
| Timers C and D share one control register, each its half.
xbtimer:
        move.w  (%a0),%d0
        cmp.w   #3,%d0
        bhi     9f
        move.l  %a0,%a3                 | the arguments
        mulu    #6,%d0
        lea     timers(%pc),%a2
        add.w   %d0,%a2
        move.w  %sr,-(%sp)
        or.w    #0x0700,%sr
        move.w  (%a2),-(%sp)            | the channel, where Jdisint and Jenabint read it
        move.l  %sp,%a0
        bsr     jdisint
        move.w  (%a2),%d0
        lsl.w   #2,%d0
        move.w  %d0,%a1
        move.l  6(%a3),0x100(%a1)       | the handler, on the MFP's vectors from 0x100
        move.w  2(%a2),%a1              | the control register
        move.b  (%a1),%d2
        move.b  3(%a3),%d1
        move.w  (%a3),%d0
        cmp.w   #2,%d0
        blo.s   1f
        bhi.s   2f
        and.b   #0x0f,%d2               | Timer C: the high half, D's kept
        lsl.b   #4,%d1
        and.b   #0x70,%d1
        bra.s   3f
2:      and.b   #0x70,%d2               | Timer D: the low half, C's kept
        and.b   #0x07,%d1
        bra.s   3f
1:      moveq   #0,%d2
3:      move.b  %d2,(%a1)               | stopped while its data register is loaded
        move.w  4(%a2),%a1
        move.b  5(%a3),(%a1)
        move.w  2(%a2),%a1
        or.b    %d1,%d2
        move.b  %d2,(%a1)
        bsr     jenabint
        addq.l  #2,%sp
        move.w  (%sp)+,%sr
        moveq   #0,%d0
        rts
9:      moveq   #EBADRQ,%d0
        rts
| Channel, control register, data register.
timers: .word   13, TACR & 0xffff, TADR & 0xffff
        .word   8, TBCR & 0xffff, TBDR & 0xffff
        .word   5, TCDCR & 0xffff, TCDR & 0xffff
        .word   4, TCDCR & 0xffff, TDDR & 0xffff

| XBIOS 37: Vsync: waits for the next frame, unless the caller masks the VBL, which would never
| come.
vsync:  move.w  %sr,%d1
        and.w   #0x0700,%d1
        cmp.w   #0x0300,%d1
        bhi.s   1f
        move.l  _frclock,%d0
0:      cmp.l   _frclock,%d0
        beq.s   0b
1:      moveq   #0,%d0
        rts

| XBIOS 38: Supexec(function): runs it in supervisor mode and returns its d0.
supexec:
        move.l  (%a0),%a0
        jmp     (%a0)
