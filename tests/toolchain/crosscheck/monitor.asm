$NOMOD51
$INCLUDE(8052.MCU)
$TITLE(small monitor)
; A small monitor-like program in the style of ASM51 sources: register names
; from a register file after $NOMOD51, absolute segments, macros, conditional
; assembly and generic JMP/CALL both ways. Both assemblers must build the same
; image from it.
CR      EQU     0DH
LF      EQU     0AH
DEBUG   SET     1

        DSEG    AT 30H
COUNT:  DS      1
BUFPTR: DS      2
BUF:    DS      16

        BSEG    AT 0
FLAG0:  DBIT    1
FLAG1:  DBIT    2

        XSEG    AT 8000H
XBUF:   DS      256
XEND:   DS      1

PUTC    MACRO   CH
        MOV     A,#CH
        CALL    SEND
        ENDM

DELAY   MACRO   N
        MOV     R7,#N
        DJNZ    R7,$
        ENDM

        CSEG    AT 0
        LJMP    START
        ORG     0BH
        RETI
        ORG     30H
START:  MOV     SP,#BUF+15
        MOV     SCON,#50H
        SETB    TR1
        CLR     FLAG0
        SETB    FLAG1
        MOV     DPTR,#XBUF
        MOV     A,#HIGH(XEND)
        MOV     B,#LOW XEND
LOOP1:  PUTC    'H'
        PUTC    'i'
        DELAY   10
IF DEBUG
        PUTC    CR
ELSE
        PUTC    LF
ENDIF
        REPT    3
        NOP
        ENDM
        MOV     A,#'T' OR 80H
        CJNE    A,#(CR EQ 0DH) AND 1,NEXT
NEXT:   JNC     $+4
        NOP
        NOP
        JMP     LOOP1
SEND:   JNB     TI,$
        CLR     TI
        MOV     SBUF,A
        RET
TABLE:  DB      'STOP"',0
        DB      'CAN',27H
        DW      TABLE
        END
