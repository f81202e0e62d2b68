| A boot sector that loads the rest of its program as games do: XBIOS Floprd reads track 1,
| side 0 (nine sectors) to 0x10000, and the program there runs. Position-independent, as the
| system chooses where the boot sector lies.

        .equ    program, 0x10000
        .equ    loadResult, 0x608

        .text
start:  move.w  #9,-(%sp)               | count
        clr.w   -(%sp)                  | side 0
        move.w  #1,-(%sp)               | track 1
        move.w  #1,-(%sp)               | sector 1
        clr.w   -(%sp)                  | drive A
        clr.l   -(%sp)                  | filler
        move.l  #program,-(%sp)
        move.w  #8,-(%sp)               | Floprd
        trap    #14
        lea     20(%sp),%sp
        move.l  %d0,loadResult
        bne.s   0f
        jmp     program
0:      rts
