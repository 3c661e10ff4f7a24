$TITLE(A ROM monitor on the console)
; The monitor boards carry in ROM: a prompt, a command line read with echo
; and backspace into internal RAM, hex arguments parsed, and D FROM TO
; dumping code memory as lines of an address and sixteen bytes in hex. The
; console is the UART, polled, with timer 1 as its bit-rate clock; any other
; command is answered with "?".

LINE    EQU     40H             ; the command line
LEND    EQU     5EH             ; one past its last character
FROMH   DATA    30H             ; D's first address
FROML   DATA    31H
TOH     DATA    32H             ; D's last address
TOL     DATA    33H

        CSEG    AT 0
        LJMP    START

        ORG     30H
START:  MOV     SP,#60H
        MOV     TMOD,#20H       ; timer 1: 8-bit auto-reload
        MOV     TH1,#0FDH       ; 9600 baud at 11.0592 MHz
        MOV     TL1,#0FDH
        SETB    TR1
        MOV     SCON,#50H       ; mode 1, receiver on
        SETB    TI

PROMPT: CALL    CRLF
        MOV     A,#'>'
        CALL    PUTC
        MOV     A,#' '
        CALL    PUTC
        MOV     R0,#LINE
READ:   CALL    GETC
        CJNE    A,#0DH,NOTCR
        SJMP    PARSE
NOTCR:  CJNE    A,#08H,NOTBS
        CJNE    R0,#LINE,RUBOUT
        SJMP    READ            ; nothing to rub out
RUBOUT: DEC     R0
        CALL    PUTC
        SJMP    READ
NOTBS:  CJNE    R0,#LEND,KEEP
        SJMP    READ            ; the line is full: the key is dropped
KEEP:   MOV     @R0,A
        INC     R0
        CALL    PUTC
        SJMP    READ

PARSE:  MOV     @R0,#0          ; the line ends in a 0
        MOV     R0,#LINE
        CALL    SKIP
        MOV     A,@R0
        INC     R0
        ANL     A,#0DFH         ; upper case
        CJNE    A,#'D',WHAT
        CALL    HEXARG
        JC      WHAT
        MOV     FROMH,R2
        MOV     FROML,R3
        CALL    HEXARG
        JC      WHAT
        MOV     TOH,R2
        MOV     TOL,R3
        CALL    DUMP
        SJMP    PROMPT
WHAT:   CALL    CRLF
        MOV     A,#'?'
        CALL    PUTC
        SJMP    PROMPT

; Spaces at @R0 skipped.
SKIP:   CJNE    @R0,#' ',SKIPPED
        INC     R0
        SJMP    SKIP
SKIPPED: RET

; A hex number at @R0 into R2:R3; carry set when there is none.
HEXARG: CALL    SKIP
        MOV     R2,#0
        MOV     R3,#0
        MOV     R4,#0           ; digits taken
DIGIT:  MOV     A,@R0
        CALL    HEXVAL
        JC      ARGEND
        INC     R0
        INC     R4
        MOV     R5,A            ; R2:R3 = R2:R3 * 16 + the digit
        MOV     A,R3
        SWAP    A
        MOV     R6,A
        ANL     A,#0F0H
        ORL     A,R5
        XCH     A,R6
        ANL     A,#0FH
        MOV     R5,A
        MOV     A,R2
        SWAP    A
        ANL     A,#0F0H
        ORL     A,R5
        MOV     R2,A
        MOV     A,R6
        MOV     R3,A
        SJMP    DIGIT
ARGEND: MOV     A,R4
        ADD     A,#0FFH         ; carry set when a digit was taken
        CPL     C
        RET

; The hex digit in A as its value, carry clear; carry set when A is none.
HEXVAL: CJNE    A,#'0',$+3
        JC      NOTHEX
        CJNE    A,#'9'+1,$+3
        JC      DECDIG
        ANL     A,#0DFH
        CJNE    A,#'A',$+3
        JC      NOTHEX
        CJNE    A,#'F'+1,$+3
        JNC     NOTHEX
        CLR     C
        SUBB    A,#'A'-10
        RET
DECDIG: ANL     A,#0FH
        CLR     C
        RET
NOTHEX: SETB    C
        RET

; Code memory from FROMH:FROML to TOH:TOL, sixteen bytes a line.
DUMP:   MOV     DPH,FROMH
        MOV     DPL,FROML
DLINE:  CALL    CRLF
        MOV     A,DPH
        CALL    HEX2
        MOV     A,DPL
        CALL    HEX2
        MOV     A,#':'
        CALL    PUTC
        MOV     R7,#16
DBYTE:  MOV     A,#' '
        CALL    PUTC
        CLR     A
        MOVC    A,@A+DPTR
        CALL    HEX2
        MOV     A,DPL
        CJNE    A,TOL,DNEXT
        MOV     A,DPH
        CJNE    A,TOH,DNEXT
        RET
DNEXT:  INC     DPTR
        DJNZ    R7,DBYTE
        SJMP    DLINE

HEX2:   PUSH    ACC
        SWAP    A
        CALL    HEXOUT
        POP     ACC
HEXOUT: ANL     A,#0FH
        ADD     A,#90H
        DA      A
        ADDC    A,#40H
        DA      A
PUTC:   JNB     TI,$
        CLR     TI
        MOV     SBUF,A
        RET

GETC:   JNB     RI,$
        MOV     A,SBUF
        CLR     RI
        RET

CRLF:   MOV     A,#0DH
        CALL    PUTC
        MOV     A,#0AH
        SJMP    PUTC
        END
