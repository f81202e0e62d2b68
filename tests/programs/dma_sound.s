| A sample player as STE programs write one: Timer A counts the DMA sound's frame ends in
| event-count mode with a count of 1, so it interrupts once per played frame, the moment a
| player queues its next frame. The frame's mode byte goes to 0xFF8921 with move.b. GPIP 7, the
| monitor detect XORed with the sound's active line, interrupts on its rising edge (channel 15):
| when playing ends.
|
| The test sets these words before the first frame (a cold reset clears RAM):
|   soundMode      the mode byte: bits 0-1 rate, bit 7 mono
|   soundControl   1 plays the frame once, 3 repeats it
|   frameLength    long: the frame's length in bytes, from 0x10000
| On an STFM the first DMA sound register faults: the program notes that and idles.

        .include "rom.inc"

        .equ    AER, 0xfffffa03
        .equ    TADR, 0xfffffa1f
        .equ    DMA_CONTROL, 0xffff8901
        .equ    DMA_START, 0xffff8903   | high byte; middle and low follow every 2 bytes
        .equ    DMA_END, 0xffff890f
        .equ    SOUND_MODE, 0xffff8921

        .equ    soundMode, 0x600        | words and a long, set by the test
        .equ    soundControl, 0x602
        .equ    frameLength, 0x604
        .equ    frameEnds, 0x610        | long: Timer A interrupts
        .equ    playingEnds, 0x614      | long: GPIP 7 interrupts
        .equ    gpipBefore, 0x618       | words: GPIP before starting, while playing, and as
        .equ    gpipPlaying, 0x61a      | the GPIP 7 handler found it, with the control byte
        .equ    gpipAtEnd, 0x61c
        .equ    controlAtEnd, 0x61e
        .equ    noDmaSound, 0x620       | word: 1 when the sound registers faulted

        .equ    sampleFrame, 0x10000

start:  move.w  #0x2700,%sr
        lea     0x8000,%sp
        move.l  #busError,0x08
        move.l  #vbl,0x70               | level 4 autovector: wakes the idle loop
        move.l  #timerA,0x134           | MFP channel 13: vector 0x4d
        move.l  #monitor,0x13c          | MFP channel 15: vector 0x4f
        move.b  #0x48,VR                | vectors at 0x40, software end of interrupt
        bset    #7,AER                  | GPIP 7 on its rising edge
        clr.b   TACR
        move.b  #1,TADR                 | one interrupt per frame end
        move.b  #0x08,TACR              | event count
        move.b  #0xa0,IERA              | Timer A and GPIP 7
        move.b  #0xa0,IMRA
        move.b  GPIP,gpipBefore+1

        move.l  #sampleFrame,%d0
        lea     DMA_START,%a0
        bsr.s   address
        add.l   frameLength,%d0
        lea     DMA_END,%a0
        bsr.s   address
        move.b  soundMode+1,SOUND_MODE
        move.b  soundControl+1,DMA_CONTROL
        move.b  GPIP,gpipPlaying+1
idle:   move.w  #0x2300,%sr
1:      stop    #0x2300
        bra.s   1b

| Writes the address in d0 to the three address bytes from a0 on.
address:
        movep.w %d0,2(%a0)              | middle and low bytes
        swap    %d0
        move.b  %d0,(%a0)               | high byte
        swap    %d0
        rts

busError:
        move.w  #1,noDmaSound
        lea     0x8000,%sp
        bra.s   idle

vbl:    rte
timerA: addq.l  #1,frameEnds
        move.b  #0xdf,ISRA              | end of interrupt for channel 13
        rte
monitor:
        addq.l  #1,playingEnds
        move.b  GPIP,gpipAtEnd+1
        move.b  DMA_CONTROL,controlAtEnd+1
        move.b  #0x7f,ISRA              | end of interrupt for channel 15
        rte
