| Booting from drive A as the ST does: the first sector of track 0 is read through the DMA chip
| into the disk buffer, and run when its 256 words add up to 0x1234. A drive with no disk never
| finds the sector (no index pulse comes), so the wait gives up after 1.5 s, as TOS does, and
| stops the controller with Force Interrupt.

        .include "hardware.inc"

        .equ    FDC_ACCESS, 0xffff8604  | the controller register the DMA mode selects
        .equ    DMA_MODE, 0xffff8606
        .equ    DMA_HIGH, 0xffff8609
        .equ    DMA_MIDDLE, 0xffff860b
        .equ    DMA_LOW, 0xffff860d
        .equ    GPIP, 0xfffffa01
        .equ    YM_SELECT, 0xffff8800
        .equ    YM_WRITE, 0xffff8802
        .equ    TIMEOUT_TICKS, 300      | 1.5 s of the 200 Hz clock

        .text
        .globl  boot_floppy

| Tries drive A; BOOT_RESULT then says what happened. A boot sector that returns comes back here.
boot_floppy:
        movem.l %d0-%d2/%a0,-(%sp)
        move.w  #BOOT_TRYING,BOOT_RESULT
        move.b  #14,YM_SELECT           | port A: drive A, side 0 (both lines active low)
        move.b  YM_SELECT,%d0
        and.b   #0xf8,%d0
        or.b    #0x05,%d0
        move.b  %d0,YM_WRITE
        move.w  #0x80,DMA_MODE
        move.w  #0x03,FDC_ACCESS        | Restore, 3 ms steps: the head to track 0
        bsr     wait_for_controller
        bne     no_disk
        move.l  _dskbufp,%d0            | the buffer's address, low byte last
        move.b  %d0,DMA_LOW
        lsr.l   #8,%d0
        move.b  %d0,DMA_MIDDLE
        lsr.w   #8,%d0
        move.b  %d0,DMA_HIGH
        move.w  #0x190,DMA_MODE         | toggling the direction clears the DMA
        move.w  #0x90,DMA_MODE          | the sector count register
        move.w  #1,FDC_ACCESS
        move.w  #0x84,DMA_MODE          | the sector register
        move.w  #1,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x80,FDC_ACCESS        | Read Sector
        bsr     wait_for_controller
        bne     no_disk
        move.w  FDC_ACCESS,%d0
        and.w   #0x18,%d0               | record not found, CRC error
        bne     no_disk
        move.l  _dskbufp,%a0
        moveq   #0,%d0
        move.w  #255,%d1
1:      add.w   (%a0)+,%d0
        dbf     %d1,1b
        cmp.w   #0x1234,%d0
        bne     not_bootable
        move.w  #BOOT_RAN,BOOT_RESULT
        movem.l (%sp)+,%d0-%d2/%a0
        move.l  _dskbufp,-(%sp)         | the boot sector is called, and may return
        rts
no_disk:
        move.w  #BOOT_NO_DISK,BOOT_RESULT
        bra.s   2f
not_bootable:
        move.w  #BOOT_NOT_BOOTABLE,BOOT_RESULT
2:      movem.l (%sp)+,%d0-%d2/%a0
        rts

| Waits until the controller's interrupt line (MFP GPIP 5, active low) says the command ended,
| at most TIMEOUT_TICKS; on a time-out the command is stopped and Z is clear.
wait_for_controller:
        move.l  _hz_200,%d2
        add.l   #TIMEOUT_TICKS,%d2
0:      btst    #5,GPIP
        beq.s   1f
        cmp.l   _hz_200,%d2
        bhi.s   0b
        move.w  #0x80,DMA_MODE
        move.w  #0xd0,FDC_ACCESS        | Force Interrupt
        moveq   #1,%d2                  | Z clear: timed out
        rts
1:      moveq   #0,%d2                  | Z set: done
        rts
