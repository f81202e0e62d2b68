| Screen copy through twelve registers at a time: MOVEM.L moves 48 bytes per
| load and store pair, which is how demos copy screens fastest on a plain 68000.
|
| Memory: source 0x100000, destination 0x180000; pass counter at 0x600.
| 666 blocks of 48 bytes: 31,968 of the 32,000 bytes.

start:
    lea     0x100000,%a0
    lea     0x180000,%a1
    move.w  #32000/48-1,%d7
block:
    movem.l (%a0)+,%d0-%d6/%a2-%a6
    movem.l %d0-%d6/%a2-%a6,(%a1)
    lea     48(%a1),%a1
    dbf     %d7,block
    addq.l  #1,0x600.w
    bra.s   start
