| Plays a 440 Hz tone on the YM2149's channel A at full volume, as a program beeps: the period
| 2,005,312 / (16 x 440) = 285, the mixer with only tone A on.

        .include "rom.inc"


start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.b  #0,YM_SELECT            | channel A period, fine
        move.b  #285 & 0xff,YM_WRITE
        move.b  #1,YM_SELECT            | coarse
        move.b  #285 >> 8,YM_WRITE
        move.b  #7,YM_SELECT            | mixer: tone A only (bits are "off")
        move.b  #0x3e,YM_WRITE
        move.b  #8,YM_SELECT            | channel A volume
        move.b  #15,YM_WRITE
idle:   bra.s   idle
