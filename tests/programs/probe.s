| Probes addresses the way an operating system looks for hardware: with a bus-error handler in
| place, it touches each address and notes whether the access faulted. The test writes the list
| of probes into RAM before the program starts; the results land next to it.

        .include "rom.inc"

        .equ    probes, 0x800           | entries: address.l, kind.w (0 read byte, 1 read word,
                                        | 2 write byte, 3 write word); kind -1 ends the list
        .equ    results, 0xc00          | one byte per probe: 1 faulted, 0 answered
        .equ    values, 0xd00           | one word per probe: what a read returned
        .equ    savedSp, 0xe00
        .equ    finished, 0xe04         | 1 when every probe has been made

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #fault,0x08             | bus error
        lea     probes,%a0
        lea     results,%a1
        lea     values,%a3
next:   move.l  (%a0)+,%a2
        move.w  (%a0)+,%d1
        bmi.s   done
        move.l  %sp,savedSp
        moveq   #-1,%d0
        cmp.w   #1,%d1
        blt.s   readByte
        beq.s   readWord
        cmp.w   #2,%d1
        beq.s   writeByte
        move.w  #0,(%a2)
        bra.s   answered
writeByte:
        move.b  #0,(%a2)
        bra.s   answered
readWord:
        move.w  (%a2),%d0
        bra.s   answered
readByte:
        move.b  (%a2),%d0
answered:
        move.b  #0,(%a1)+
        move.w  %d0,(%a3)+
        bra.s   next

| The frame the fault left on the stack is dropped: like the system's own probes, the handler
| only needs to know that nothing answered.
fault:  move.l  savedSp,%sp
        move.b  #1,(%a1)+
        move.w  #-1,(%a3)+
        bra.s   next

done:   move.w  #1,finished
idle:   bra.s   idle
