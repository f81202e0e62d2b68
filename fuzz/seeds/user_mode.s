| User-mode code that reaches for what only the supervisor may: privileged
| instructions, the bottom of RAM, the devices; traps that come back with RTE.
    .long   0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88
    .long   0x2000, 0x0100, 0xFF8000, 0x3000, 0xFA0000, 0xFB0000, 0x4000, 0x9000
    .long   0x8000          | supervisor stack, kept aside in user mode
    .word   0x0000          | user mode
    .byte   0x00
    .byte   5
    .byte   100, 200, 50, 25, 255, 255, 0, 0
    .byte   0x03, 0, 0x26, 0, 0x07, 0, 0, 0
    .long   0x0BADCAFE
    .long   0x12121212
    .long   0

start:
    move.l  %d0,(%a0)
    trap    #1
    move.w  #0x2700,%sr
    move.w  0x100.w,%d1
    move.w  %d1,0x100.w
    move.w  (%a2),%d2
    move.w  %d2,(%a2)
    move.l  %d3,(%a5)
    move.w  %sr,%d3
    move.l  %usp,%a4
    andi.w  #0x0700,%sr
    andi.b  #0x1F,%ccr
    move.w  %d3,%ccr
    trapv
    chk     #100,%d0
    rtr
