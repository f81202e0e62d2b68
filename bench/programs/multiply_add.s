| A fixed-point filter tap loop: the dot product of 1,024 signed 16-bit
| coefficients and samples, summed in 32 bits. MULS time depends on the bit
| pattern of the multiplier, so the data is varied.
|
| Memory: coefficients 0x100000, samples 0x110000; the sum is stored at 0x604
| after every pass, the pass counter at 0x600.

start:
    lea     0x100000,%a0
    lea     0x110000,%a1
    moveq   #0,%d2
    move.w  #1024-1,%d7
tap:
    move.w  (%a0)+,%d0
    muls    (%a1)+,%d0
    add.l   %d0,%d2
    dbf     %d7,tap
    move.l  %d2,0x604.w
    addq.l  #1,0x600.w
    bra.s   start
