| Supervisor code from low RAM touching every kind of operand: a loop over
| arithmetic, logic, shifts, bit operations, BCD and flow control.
| Input header first (see cpu_fuzz.cpp), then the code placed at 0x1000.
    .long   0, 1, 0x7F, 0x8000, 0xFFFF, 0x12345678, 0x80000000, 0xFFFFFFFF | d0-d7
    .long   0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0xFA0100, 0x7000, 0x8000 | a0-a7
    .long   0x9000          | the other stack pointer
    .word   0x2700          | status register
    .byte   0x00            | options: low RAM, sane vectors
    .byte   3               | four slices
    .byte   64, 128, 255, 32, 0, 0, 0, 0
    .byte   0, 0x0E, 0, 0x11, 0, 0, 0, 0
    .long   0x01234567      | RAM fill seed
    .long   0x89ABCDEF      | device seed
    .long   0               | cycle counter

start:
    moveq   #100,%d0
    move.l  %d0,(%a0)+
    add.w   %d1,%d2
    addx.l  %d3,%d4
    sub.l   #0x1234,%d3
    subq.w  #3,(%a1)
    muls    %d4,%d5
    mulu    (%a2),%d6
    divu    #7,%d6
    divs    %d1,%d7
    lsl.l   #3,%d7
    asr.w   %d1,%d2
    ror.w   #1,%d0
    roxl.b  #2,%d3
    lsr.w   (%a3)
    and.b   #0x0F,(%a1)
    or.w    %d0,2(%a2)
    eor.l   %d1,-(%a3)
    not.b   %d2
    neg.l   %d3
    negx.w  %d4
    ext.w   %d4
    ext.l   %d5
    swap    %d5
    clr.l   (%a4)
    tst.w   (%a5)+
    bset    #3,%d0
    bclr    %d1,(%a0)
    bchg    #7,1(%a1)
    btst    %d2,%d3
    abcd    %d0,%d1
    sbcd    -(%a0),-(%a1)
    nbcd    %d2
    exg     %d0,%a0
    cmp.l   %d6,%d7
    cmpm.w  (%a0)+,(%a1)+
    sne     %d0
    bne.s   1f
    nop
1:  lea     8(%a0,%d1.w),%a1
    pea     (%a2)
    move.l  (%sp)+,%a3
    link    %a6,#-16
    unlk    %a6
    bsr.s   subroutine
    moveq   #3,%d7
2:  addq.l  #1,%d6
    dbra    %d7,2b
    bra     start
subroutine:
    movem.l %d0-%d3/%a0-%a1,-(%sp)
    tas     (%a2)
    movem.l (%sp)+,%d0-%d3/%a0-%a1
    rts
