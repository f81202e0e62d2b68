| The program a test disk's boot sector carries, placed after the sector's BIOS parameter block.
| Loaded at 0x2000 with the sector after it, it shows that it ran and what the second sector
| held, then idles.

        .equ    bootMarker, 0x600
        .equ    secondSector, 0x604

        .text
start:  move.l  #0x424f4f54,bootMarker  | "BOOT"
        move.l  0x2200,secondSector
idle:   bra.s   idle
