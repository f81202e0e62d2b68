| Boots from the floppy as an operating system does: through the DMA chip it restores the head
| to track 0, seeks track 0, reads the first two sectors with one multiple-sector command into
| 0x2000, checks that the boot sector's words add up to 0x1234 and jumps to it. Each command
| ends with the controller's interrupt line (MFP GPIP bit 5) going low, polled here.

        .include "rom.inc"

        .equ    BUFFER, 0x2000
        .equ    bootStatus, 0x60c       | the last command's status
        .equ    bootResult, 0x60e       | 1 no disk answer, 2 bad checksum

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        SELECT_DRIVE_A
        move.w  #0x80,DMA_MODE          | the floppy controller's command register
        move.w  #0x03,FDC_ACCESS        | Restore, 3 ms steps
        bsr     wait
        move.w  #0x86,DMA_MODE          | data register: the track to seek
        move.w  #0,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x13,FDC_ACCESS        | Seek
        bsr     wait
        move.b  #(BUFFER >> 16) & 0xff,DMA_HIGH
        move.b  #(BUFFER >> 8) & 0xff,DMA_MIDDLE
        move.b  #BUFFER & 0xff,DMA_LOW
        move.w  #0x190,DMA_MODE         | toggling the direction clears the DMA
        move.w  #0x90,DMA_MODE          | the sector count register
        move.w  #2,FDC_ACCESS
        move.w  #0x84,DMA_MODE          | the sector register
        move.w  #1,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x90,FDC_ACCESS        | Read Sector, multiple sectors
        bsr     wait
        move.w  FDC_ACCESS,%d0
        move.w  %d0,bootStatus
        and.w   #0x10,%d0               | record not found
        bne.s   noDisk
        lea     BUFFER,%a0              | the boot sector's checksum
        moveq   #0,%d0
        move.w  #255,%d1
1:      add.w   (%a0)+,%d0
        dbf     %d1,1b
        cmp.w   #0x1234,%d0
        bne.s   badChecksum
        jmp     BUFFER
noDisk: move.w  #1,bootResult
        bra.s   idle
badChecksum:
        move.w  #2,bootResult
idle:   bra.s   idle

| Waits until the controller's interrupt line goes low: the command has finished.
        WAIT_FOR_CONTROLLER_ROUTINE
