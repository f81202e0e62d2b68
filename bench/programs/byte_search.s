| Counts the bytes equal to 0x2A in a zero-terminated buffer, the branchy
| inner loop of a string or tile-map search: a load, a compare and short
| conditional branches, taken and not taken.
|
| Memory: buffer 0x100000 (ends with a zero byte); the count is stored at 0x604
| after every pass, the pass counter at 0x600.

start:
    lea     0x100000,%a0
    moveq   #0x2A,%d0
    moveq   #0,%d2
next:
    move.b  (%a0)+,%d1
    beq.s   done
    cmp.b   %d1,%d0
    bne.s   next
    addq.l  #1,%d2
    bra.s   next
done:
    move.l  %d2,0x604.w
    addq.l  #1,0x600.w
    bra.s   start
