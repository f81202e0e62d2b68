| Code that writes over the instruction after it, which the 68000 runs in its old form, and over
| one further on, which it runs in its new form.
    .byte   1               | options: the code below as it stands
    .fill   127, 1, 0       | start-state choices
    move.w  #0x4E71,%d6     | NOP
    lea     next(%pc),%a0
    move.w  %d6,(%a0)
next:
    moveq   #5,%d0
    move.w  %d6,later-next(%a0)
    moveq   #6,%d1
later:
    moveq   #7,%d2
    addq.l  #1,%d2
