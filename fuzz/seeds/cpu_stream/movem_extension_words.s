| The MOVEM forms whose displacement or address word was once run as the next opcode, each
| followed by an instruction of its own. Start-state choices all 0: supervisor, D0-D7 0,
| A0-A6 $2000, both stacks at $3000.
    .byte   1               | options: the code below as it stands
    .fill   127, 1, 0       | start-state choices
    movem.l %d0-%d1,16(%a0)
    addq.l  #1,%d2
    movem.w %d0/%a1,4(%a0,%d3.w)
    addq.l  #1,%d2
    movem.l %d0,0x3100:w
    addq.l  #1,%d2
    movem.l %d0,0x3200:l
    addq.l  #1,%d2
    movem.w %d0-%d1,-(%a0)
    addq.l  #1,%d2
    movem.l (%a0)+,%d4-%d5
    addq.l  #1,%d2
