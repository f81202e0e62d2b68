| Device accesses of every width, with the devices free to raise bus errors,
| stretch accesses, end the slice and post interrupts; MOVEP, MOVEM, long
| accesses split across regions, the logged and watched blocks.
    .long   1, 2, 3, 4, 5, 6, 7, 8
    .long   0x2000, 0xFB0000, 0xFA2000, 0xFA3FFE, 0xFFFE, 0xFA0100, 0xFF8200, 0x8000
    .long   0x9000
    .word   0x2300          | interrupt mask 3
    .byte   0xE0            | device actions, debugger access, service between runs
    .byte   7               | eight slices
    .byte   255, 255, 128, 64, 32, 16, 8, 255
    .byte   0x04, 0x06, 0x17, 0x02, 0x07, 0x0D, 0, 0x05
    .long   0x5EED5EED
    .long   0x00C0FFEE
    .long   0x1FFFFF00

start:
    move.w  0xFFFF8240.w,%d0
    move.b  %d0,0xFFFF8800.w
    move.l  0xFF8A00,%d1
    move.l  %d1,0xFF8A04
    movem.l 0xFF8000,%d0-%d3
    movem.w %d0-%d3,0xFFFF8200.w
    tst.b   0xFFFFFA01.w
    bset    #3,0xFFFFFA11.w
    movep.l 0(%a6),%d2
    movep.w %d2,1(%a6)
    move.w  (%a6)+,(%a6)+
    move.l  %d0,(%a6)
    move.w  %d0,(%a1)+
    move.l  %d1,(%a2)+
    move.b  %d1,(%a1)+
    move.l  (%a3),%d3
    move.l  %d3,(%a3)
    move.l  (%a4),%d4
    move.l  %d4,(%a4)
    move.l  0xFFFFFFFE,%d5
    clr.w   0xFFFF8A3C.w
    bra     start
