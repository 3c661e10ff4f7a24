$TITLE(A Forth's inner interpreter on the console)
; Threaded code as a Forth runs it: each cell of a thread is the address of
; a word's code, NEXT fetches it with MOVC and enters it by PUSH and RET, a
; colon word's code is LCALL DOCOL followed by its thread, and 16-bit cells
; live on a data stack and a return stack in internal RAM. The program:
;   : COUNTDOWN ( n -- )  BEGIN 1- DUP 0= UNTIL DROP ;
;   : MAIN  BEGIN 1000 COUNTDOWN  TALLY @ 1+ TALLY !
;           ?KEY IF KEY EMIT THEN  TALLY @ EMIT  AGAIN ;
; with the console on the UART, timer 1 as its bit-rate clock.
;
; Registers: R4:R5 the top of the data stack (high:low), R0 the rest of it,
; R1 the return stack, R6:R7 the instruction pointer, R2 and R3 scratch.

DSTACK  EQU     58H             ; data stack, growing up to 6FH
RSTACK  EQU     70H             ; return stack, growing up to 7FH
TALLY   EQU     30H             ; a variable: a cell, low byte first

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
        MOV     R0,#DSTACK
        MOV     R1,#RSTACK
        MOV     R6,#HIGH(MAIN)
        MOV     R7,#LOW(MAIN)

; Enter the word whose address is the cell at IP; IP moves to the next cell.
NEXT:   MOV     DPH,R6
        MOV     DPL,R7
        CLR     A
        MOVC    A,@A+DPTR
        MOV     R2,A
        INC     DPTR
        CLR     A
        MOVC    A,@A+DPTR
        INC     DPTR
        MOV     R6,DPH
        MOV     R7,DPL
        PUSH    ACC
        PUSH    02H             ; R2
        RET

; The top of the stack onto the rest, and back.
DPUSH:  MOV     A,R5
        MOV     @R0,A
        INC     R0
        MOV     A,R4
        MOV     @R0,A
        INC     R0
        RET
DPOP:   DEC     R0
        MOV     A,@R0
        MOV     R4,A
        DEC     R0
        MOV     A,@R0
        MOV     R5,A
        RET

; The cell at IP into R2:R3; IP moves past it.
CELL:   MOV     DPH,R6
        MOV     DPL,R7
        CLR     A
        MOVC    A,@A+DPTR
        MOV     R2,A
        INC     DPTR
        CLR     A
        MOVC    A,@A+DPTR
        MOV     R3,A
        INC     DPTR
        MOV     R6,DPH
        MOV     R7,DPL
        RET

DOCOL:  MOV     A,R7            ; IP onto the return stack
        MOV     @R1,A
        INC     R1
        MOV     A,R6
        MOV     @R1,A
        INC     R1
        POP     ACC             ; the thread after LCALL DOCOL
        MOV     R6,A
        POP     ACC
        MOV     R7,A
        AJMP    NEXT
EXIT:   DEC     R1
        MOV     A,@R1
        MOV     R6,A
        DEC     R1
        MOV     A,@R1
        MOV     R7,A
        AJMP    NEXT

LIT:    ACALL   DPUSH
        ACALL   CELL
        MOV     A,R2
        MOV     R4,A
        MOV     A,R3
        MOV     R5,A
        AJMP    NEXT
BRANCH: ACALL   CELL
        MOV     A,R2
        MOV     R6,A
        MOV     A,R3
        MOV     R7,A
        AJMP    NEXT
ZBRAN:  MOV     A,R5            ; 0BRANCH: to the cell's address when the top is 0
        ORL     A,R4
        MOV     R3,A
        ACALL   DPOP
        MOV     A,R3
        JZ      BRANCH
        INC     R7              ; past the cell
        INC     R7
        CJNE    R7,#0,ZB1
        INC     R6
ZB1:    CJNE    R7,#1,ZB2
        INC     R6
ZB2:    AJMP    NEXT

DUP:    ACALL   DPUSH
        AJMP    NEXT
DROP:   ACALL   DPOP
        AJMP    NEXT
ONEMIN: MOV     A,R5            ; 1-
        JNZ     OM1
        DEC     R4
OM1:    DEC     R5
        AJMP    NEXT
ONEPL:  INC     R5              ; 1+
        CJNE    R5,#0,OP1
        INC     R4
OP1:    AJMP    NEXT
ZEQU:   MOV     A,R5            ; 0=
        ORL     A,R4
        JZ      ZE1
        CLR     A
        SJMP    ZE2
ZE1:    MOV     A,#0FFH
ZE2:    MOV     R4,A
        MOV     R5,A
        AJMP    NEXT
FETCH:  MOV     A,R1            ; @ ( addr -- x ): a cell of internal RAM
        MOV     R3,A
        MOV     A,R5
        MOV     R1,A
        MOV     A,@R1
        MOV     R5,A
        INC     R1
        MOV     A,@R1
        MOV     R4,A
        MOV     A,R3
        MOV     R1,A
        AJMP    NEXT
STORE:  MOV     A,R1            ; ! ( x addr -- )
        MOV     R3,A
        MOV     A,R5
        MOV     R1,A
        ACALL   DPOP
        MOV     A,R5
        MOV     @R1,A
        INC     R1
        MOV     A,R4
        MOV     @R1,A
        MOV     A,R3
        MOV     R1,A
        ACALL   DPOP
        AJMP    NEXT
QKEY:   ACALL   DPUSH           ; ?KEY ( -- flag )
        CLR     A
        JNB     RI,QK1
        CPL     A
QK1:    MOV     R4,A
        MOV     R5,A
        AJMP    NEXT
KEY:    JNB     RI,$
        CLR     RI
        ACALL   DPUSH
        MOV     R5,SBUF
        MOV     R4,#0
        AJMP    NEXT
EMIT:   JNB     TI,$
        CLR     TI
        MOV     SBUF,R5
        ACALL   DPOP
        AJMP    NEXT

COUNTDOWN:
        LCALL   DOCOL
CD1:    DW      ONEMIN, DUP, ZEQU, ZBRAN, CD1
        DW      DROP, EXIT

MAIN:   DW      LIT, 1000, COUNTDOWN
        DW      LIT, TALLY, FETCH, ONEPL, LIT, TALLY, STORE
        DW      QKEY, ZBRAN, MA1, KEY, EMIT
MA1:    DW      LIT, TALLY, FETCH, EMIT
        DW      BRANCH, MAIN

        END
