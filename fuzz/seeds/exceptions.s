| Exceptions of every group: zero divide, address errors on data and on
| jumps, illegal and unimplemented opcodes, CHK, TRAP, and a jump to memory
| that holds no code.
    .long   5, 0, 0x8000, 3, 4, 5, 6, 7
    .long   0x2001, 0x3003, 0xFB0000, 0x5000, 0x6000, 0x7000, 0x7800, 0x8000
    .long   0x9000
    .word   0x2000
    .byte   0x00
    .byte   7
    .byte   30, 30, 30, 30, 60, 60, 60, 60
    .byte   0, 0, 0, 0, 0, 0, 0, 0
    .long   0x77777777
    .long   0x1
    .long   0

start:
    divu    #0,%d0
    divs    %d1,%d2
    move.l  (%a0),%d1
    move.w  %d1,(%a1)
    illegal
    .word   0xA000
    .word   0xF000
    .word   0x4AFC
    chk     #-1,%d0
    trap    #15
    jmp     (%a1)
    jmp     (%a2)
    bra.s   start
