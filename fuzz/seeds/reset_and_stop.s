| Started by a processor reset at the start of high RAM, with a reset
| hook: RESET, tracing, STOP waiting for interrupts posted between slices.
    .long   0, 0, 0, 0, 0, 0, 0, 0
    .long   0, 0, 0, 0, 0, 0, 0, 0x8000
    .long   0
    .word   0x2700
    .byte   0x59            | high RAM, started by reset; reset hook; service interrupts
    .byte   7
    .byte   20, 40, 80, 160, 255, 255, 255, 255
    .byte   0x05, 0x07, 0x16, 0x03, 0x07, 0x1E, 0x27, 0x3F
    .long   0x600DF00D
    .long   0x4
    .long   0

    nop
    bra.s   next
    nop
next:
    reset
    move.w  #0xA000,%sr
    nop
    move.w  #0x2000,%sr
    stop    #0x2000
    nop
    stop    #0x2700
