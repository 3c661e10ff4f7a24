$TITLE(An interpreter's main loop on the console)
; Byte codes fetched with MOVC and dispatched through a jump table, the
; console polled for a key between statements (JNB RI) and results sent by
; polling TI, with timer 1 as the bit-rate clock: the inner loop of a BASIC
; or a Forth running a FOR loop that prints now and then.

VSP     EQU     60H             ; the value stack grows up from here
COUNT   DATA    30H             ; the loop's counter
X       DATA    31H
Y       DATA    32H

        CSEG    AT 0
        LJMP    START

        ORG     30H
START:  MOV     SP,#4FH
        MOV     TMOD,#20H       ; timer 1: 8-bit auto-reload
        MOV     TH1,#0FDH       ; 9600 baud at 11.0592 MHz
        MOV     TL1,#0FDH
        SETB    TR1
        MOV     SCON,#50H       ; mode 1, receiver on
        SETB    TI
        MOV     R0,#VSP
AGAIN:  MOV     COUNT,#64
        MOV     R7,#0           ; the statement being run

; One statement: a key typed stops nothing but is echoed, as a BREAK check.
NEXT:   JNB     RI,FETCH
        CALL    ECHO
FETCH:  MOV     DPTR,#PROG
        MOV     A,R7
        MOVC    A,@A+DPTR
        INC     R7
        RL      A
        MOV     DPTR,#OPS
        JMP     @A+DPTR

OPS:    AJMP    LIT
        AJMP    LOAD
        AJMP    STORE
        AJMP    ADDOP
        AJMP    XOROP
        AJMP    LOOP
        AJMP    PRINT
        AJMP    AGAIN

; Operand byte of a statement.
ARG:    MOV     DPTR,#PROG
        MOV     A,R7
        MOVC    A,@A+DPTR
        INC     R7
        RET

LIT:    CALL    ARG
        MOV     @R0,A
        INC     R0
        AJMP    NEXT
LOAD:   CALL    ARG
        MOV     R1,A
        MOV     A,@R1
        MOV     @R0,A
        INC     R0
        AJMP    NEXT
STORE:  CALL    ARG
        MOV     R1,A
        DEC     R0
        MOV     A,@R0
        MOV     @R1,A
        AJMP    NEXT
ADDOP:  DEC     R0
        MOV     A,@R0
        DEC     R0
        ADD     A,@R0
        MOV     @R0,A
        INC     R0
        AJMP    NEXT
XOROP:  DEC     R0
        MOV     A,@R0
        DEC     R0
        XRL     A,@R0
        MOV     @R0,A
        INC     R0
        AJMP    NEXT
LOOP:   CALL    ARG
        DJNZ    COUNT,BACK
        MOV     COUNT,#64
        AJMP    NEXT
BACK:   MOV     R7,A
        AJMP    NEXT
PRINT:  DEC     R0
        MOV     A,@R0
        SWAP    A
        CALL    HEXOUT
        MOV     A,@R0
        CALL    HEXOUT
        AJMP    NEXT

HEXOUT: ANL     A,#0FH
        ADD     A,#90H
        DA      A
        ADDC    A,#40H
        DA      A
PUTC:   JNB     TI,$
        CLR     TI
        MOV     SBUF,A
        RET

ECHO:   MOV     A,SBUF
        CLR     RI
        SJMP    PUTC

; X = X + 3; Y = Y XOR X, 64 times; PRINT Y; and again.
PROG:   DB      1, X, 0, 3, 3, 2, X
        DB      1, Y, 1, X, 4, 2, Y
        DB      5, 0
        DB      1, Y, 6, 7
        END
