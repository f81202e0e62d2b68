| Masked 16x16 sprites on a four-plane low-resolution screen, aligned to 16
| pixels: the drawing routine keeps the caller's registers with MOVEM on the
| stack, saves the background under each row for erasing later, then ANDs the
| mask into all four plane words and ORs the image in.
|
| Memory: sprite image 0x100000 (16 rows of mask long, planes 0-1 long,
| planes 2-3 long), screen 0x180000 (160 bytes a line), background save buffer
| 0x1F0000; pass counter at 0x600.
| Sprite n sits at screen offset n * (8 + 4 * 160): 16 pixels right and 4
| lines down from the one before, so no two sprites overlap.

start:
    lea     0x180000,%a1
    lea     0x1F0000,%a2
    moveq   #40-1,%d7
sprite:
    lea     0x100000,%a0
    bsr.s   draw
    lea     8+4*160(%a1),%a1
    dbf     %d7,sprite
    addq.l  #1,0x600.w
    bra.s   start

draw:
    movem.l %d0-%d7/%a0-%a1/%a3-%a6,-(%sp)
    moveq   #16-1,%d7
row:
    movem.l (%a1),%d4-%d5
    movem.l %d4-%d5,(%a2)
    addq.l  #8,%a2
    movem.l (%a0)+,%d0-%d2
    and.l   %d0,%d4
    and.l   %d0,%d5
    or.l    %d1,%d4
    or.l    %d2,%d5
    movem.l %d4-%d5,(%a1)
    lea     160(%a1),%a1
    dbf     %d7,row
    movem.l (%sp)+,%d0-%d7/%a0-%a1/%a3-%a6
    rts
