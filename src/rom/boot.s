| Booting from drive A as the ST does: the first sector of track 0 is read into the disk buffer,
| and run when its 256 words add up to 0x1234. A drive with no disk never finds the sector (no
| index pulse comes), so the read gives up after 1.5 s, as TOS does.

        .include "hardware.inc"

        .text
        .globl  boot_floppy

| Tries drive A; BOOT_RESULT then says what happened. A boot sector that returns comes back here.
boot_floppy:
        movem.l %d0-%d5/%a0,-(%sp)
        move.w  #BOOT_TRYING,BOOT_RESULT
        bsr     floppy_forget_disk
        move.l  _dskbufp,%a0
        moveq   #0,%d0                  | read
        moveq   #1,%d1                  | sector 1
        moveq   #0,%d2                  | track 0
        moveq   #0,%d3                  | side 0
        moveq   #1,%d4
        moveq   #0,%d5                  | drive A
        bsr     floppy_transfer
        cmp.l   #EDRVNR,%d0
        beq.s   no_disk
        tst.l   %d0                     | a disk whose first sector cannot be read
        bne.s   not_bootable
        moveq   #0,%d0
        move.w  #255,%d1
1:      add.w   (%a0)+,%d0
        dbf     %d1,1b
        cmp.w   #0x1234,%d0
        bne.s   not_bootable
        move.w  #BOOT_RAN,BOOT_RESULT
        movem.l (%sp)+,%d0-%d5/%a0
        move.l  _dskbufp,-(%sp)         | the boot sector is called, and may return
        rts
no_disk:
        move.w  #BOOT_NO_DISK,BOOT_RESULT
        bra.s   2f
not_bootable:
        move.w  #BOOT_NOT_BOOTABLE,BOOT_RESULT
2:      movem.l (%sp)+,%d0-%d5/%a0
        rts
