| Screen copy the way most ST games move a 32,000-byte picture without MOVEM:
| one MOVE.L per long word, counted down by DBF, then start over.
|
| Memory: source 0x100000, destination 0x180000; pass counter at 0x600.

start:
    lea     0x100000,%a0
    lea     0x180000,%a1
    move.w  #32000/4-1,%d0
copy:
    move.l  (%a0)+,(%a1)+
    dbf     %d0,copy
    addq.l  #1,0x600.w
    bra.s   start
