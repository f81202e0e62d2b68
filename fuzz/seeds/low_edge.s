| Instructions that start in the last words of the low fetch region and read
| their extension words from the guard past it.
    .long   1, 2, 3, 4, 5, 6, 7, 8
    .long   0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000, 0x7800, 0x8000
    .long   0x9000
    .word   0x2700
    .byte   0x02            | start at the low fetch region's last three words
    .byte   3
    .byte   4, 8, 16, 32, 0, 0, 0, 0
    .byte   0, 0, 0, 0, 0, 0, 0, 0
    .long   0x31415926
    .long   0x27182818
    .long   0

    nop
    move.l  #0x12345678,0x00FA0000
    move.l  #0x12345678,0x00FA0004
