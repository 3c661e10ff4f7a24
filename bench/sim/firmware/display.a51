$TITLE(A counter on a multiplexed display)
; Timer 0 interrupts at 1 kHz and shows the next of four digits (segments on
; P1, digit selects on P2.0-3, both active low); the main loop counts up
; every 100 interrupts, watching the tick count in RAM.

TICKS   DATA    30H
DIGIT   DATA    31H             ; the digit shown now (0-3)
VALUE   DATA    32H             ; four digits, one a byte, from 32H on

        CSEG    AT 0
        LJMP    START
        ORG     0BH
        LJMP    TIMER0

        ORG     30H
START:  MOV     SP,#4FH
        MOV     TMOD,#01H       ; timer 0: 16 bits, reloaded by the handler
        MOV     TH0,#HIGH(-922) ; 1 ms at 11.0592 MHz
        MOV     TL0,#LOW(-922)
        SETB    TR0
        SETB    ET0
        SETB    EA
        MOV     R0,#VALUE
        MOV     R2,#4
CLEAR:  MOV     @R0,#0
        INC     R0
        DJNZ    R2,CLEAR
MAIN:   MOV     A,TICKS
        CJNE    A,#100,MAIN
        MOV     TICKS,#0
        MOV     R0,#VALUE+3     ; the last digit up, carries to the left
UP:     INC     @R0
        CJNE    @R0,#10,MAIN
        MOV     @R0,#0
        DEC     R0
        CJNE    R0,#VALUE-1,UP
        SJMP    MAIN

TIMER0: MOV     TH0,#HIGH(-922)
        MOV     TL0,#LOW(-922)
        PUSH    ACC
        PUSH    PSW
        PUSH    DPL
        PUSH    DPH
        MOV     PSW,#08H        ; bank 1
        INC     TICKS
        ORL     P2,#0FH         ; all digits off
        MOV     A,DIGIT
        INC     A
        ANL     A,#3
        MOV     DIGIT,A
        ADD     A,#VALUE
        MOV     R0,A
        MOV     A,@R0
        MOV     DPTR,#SEGS
        MOVC    A,@A+DPTR
        MOV     P1,A
        MOV     A,DIGIT
        MOV     DPTR,#SELS
        MOVC    A,@A+DPTR
        ANL     P2,A            ; this digit on
        POP     DPH
        POP     DPL
        POP     PSW
        POP     ACC
        RETI

SEGS:   DB      0C0H, 0F9H, 0A4H, 0B0H, 099H, 092H, 082H, 0F8H, 080H, 090H
SELS:   DB      0FEH, 0FDH, 0FBH, 0F7H
        END
