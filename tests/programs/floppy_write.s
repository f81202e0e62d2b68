| Writes two sectors to the floppy and reads them back, as a program saving a file does: restore,
| seek track 3, one multiple-sector Write Sector of sectors 1 and 2 from a pattern at 0x3000,
| then one multiple-sector Read Sector of the same two into 0x4000, compared with the pattern.
| Each command ends with the controller's interrupt line (MFP GPIP bit 5) going low, polled here.

        .include "rom.inc"

        .equ    PATTERN, 0x3000
        .equ    READ_BACK, 0x4000
        .equ    writeStatus, 0x608      | the Write Sector's final status
        .equ    readStatus, 0x60a       | the Read Sector's final status
        .equ    result, 0x60e           | 1 read back what was written, 2 something else

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        lea     PATTERN,%a0             | byte i of the pattern: i * 3 + 1
        moveq   #1,%d0
        move.w  #1023,%d1
0:      move.b  %d0,(%a0)+
        addq.b  #3,%d0
        dbf     %d1,0b
        SELECT_DRIVE_A
        move.w  #0x80,DMA_MODE
        move.w  #0x03,FDC_ACCESS        | Restore, 3 ms steps
        bsr     wait
        move.w  #0x86,DMA_MODE          | data register: the track to seek
        move.w  #3,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x13,FDC_ACCESS        | Seek
        bsr     wait

        move.l  #PATTERN,%d0
        bsr     set_dma
        move.w  #0x90,DMA_MODE          | toggling the direction clears the DMA; towards the disk
        move.w  #0x190,DMA_MODE         | the sector count register
        move.w  #2,FDC_ACCESS
        move.w  #0x184,DMA_MODE         | the sector register
        move.w  #1,FDC_ACCESS
        move.w  #0x180,DMA_MODE
        move.w  #0xb0,FDC_ACCESS        | Write Sector, multiple sectors
        bsr     wait
        move.w  FDC_ACCESS,writeStatus

        move.l  #READ_BACK,%d0
        bsr     set_dma
        move.w  #0x190,DMA_MODE         | back towards memory
        move.w  #0x90,DMA_MODE
        move.w  #2,FDC_ACCESS
        move.w  #0x84,DMA_MODE
        move.w  #1,FDC_ACCESS
        move.w  #0x80,DMA_MODE
        move.w  #0x90,FDC_ACCESS        | Read Sector, multiple sectors
        bsr     wait
        move.w  FDC_ACCESS,readStatus

        lea     PATTERN,%a0
        lea     READ_BACK,%a1
        move.w  #255,%d1
1:      cmpm.l  (%a0)+,(%a1)+
        bne.s   differs
        dbf     %d1,1b
        move.w  #1,result
        bra.s   idle
differs:
        move.w  #2,result
idle:   bra.s   idle

| Sets the DMA address to d0.
set_dma:
        move.b  %d0,DMA_LOW
        lsr.l   #8,%d0
        move.b  %d0,DMA_MIDDLE
        lsr.l   #8,%d0
        move.b  %d0,DMA_HIGH
        rts

| Waits until the controller's interrupt line goes low: the command has finished.
        WAIT_FOR_CONTROLLER_ROUTINE
