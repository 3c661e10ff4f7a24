$TITLE(Waiting for the first key at an unknown bit rate)
; A BASIC's start: the UART set up with timer 1, timer 2 running as the
; measuring clock, and the program watching RXD for the start bit of the
; user's first key while it counts timer 2's overflows.

T2CON   DATA    0C8H
TF2     BIT     0CFH
TR2     BIT     0CAH
TL2     DATA    0CCH
TH2     DATA    0CDH

        CSEG    AT 0
        LJMP    START

        ORG     30H
START:  MOV     SP,#4FH
        MOV     TMOD,#20H       ; timer 1: 8-bit auto-reload, 9600 baud
        MOV     TH1,#0FDH
        MOV     TL1,#0FDH
        SETB    TR1
        MOV     SCON,#50H
        MOV     T2CON,#0        ; timer 2: 16-bit, reloads 0
        SETB    TR2
WAIT:   JNB     P3.0,EDGE       ; the start bit
        JNB     TF2,WAIT
        CLR     TF2
        INC     30H
        SJMP    WAIT

; The start bit's length in timer 2 counts picks the rate.
EDGE:   CLR     TR2
        MOV     TL2,#0
        MOV     TH2,#0
        SETB    TR2
        JNB     P3.0,$
        CLR     TR2
        MOV     31H,TH2
        SJMP    START
        END
