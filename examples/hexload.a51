$TITLE(HEX loader: a small ROM monitor's download command)
; Reads Intel HEX records from the serial port at 115200 baud (11.0592 MHz,
; timer 2 as the bit-rate clock), without handshake, as a ROM monitor's
; download command does. Each record's checksum is checked and its data go
; to external RAM at the record's address. After the end record the monitor
; reports "OK n" (n records, all sound) or "BAD b OF n" (b of them were not),
; then waits for the next download.
;
; Every 4 KB block of external RAM that is complete is copied to the board's
; flash. Writing a flash page keeps the processor busy for about 0.25 ms,
; nearly three characters at 115200 baud, while the UART holds one: a sender
; that does not pause after each character loses a byte of that record (its
; checksum no longer arrives whole), while one that pauses 0.3 ms after each
; character loses none. A pause after each line does not help, as the write
; starts in the middle of a line, after the block's last data byte.

; Timer 2 of the 8052, beside the 8051's registers.
T2CON   DATA    0C8H
RCAP2L  DATA    0CAH
RCAP2H  DATA    0CBH
TL2     DATA    0CCH
TH2     DATA    0CDH

CR      EQU     0DH
LF      EQU     0AH

        DSEG    AT 30H
GOODL:  DS      1               ; sound records
GOODH:  DS      1
BADL:   DS      1               ; records with a bad checksum or character
BADH:   DS      1
RTYPE:  DS      1               ; the record's type
NUML:   DS      1               ; PUTDEC's number
NUMH:   DS      1
STACK:  DS      16

        CSEG    AT 0
        LJMP    START

        ORG     30H
START:  MOV     SP,#STACK-1
        MOV     SCON,#50H       ; mode 1, receiver on
        MOV     RCAP2H,#0FFH    ; 11059200 / (32 * 3) = 115200 baud
        MOV     RCAP2L,#0FDH
        MOV     TH2,#0FFH
        MOV     TL2,#0FDH
        MOV     T2CON,#34H      ; timer 2 clocks receiver and transmitter
        SETB    TI              ; the transmitter is free
        MOV     DPTR,#SIGNON
        CALL    PUTS

NEWRUN: CLR     A
        MOV     GOODL,A
        MOV     GOODH,A
        MOV     BADL,A
        MOV     BADH,A

; Everything up to a record's colon is skipped (line ends, blanks).
WAIT:   CALL    GETC
        CJNE    A,#':',WAIT
RECORD: MOV     R3,#0           ; the sum of the record's bytes
        CALL    GETBYTE
        JC      BAD
        MOV     R2,A            ; data bytes
        CALL    GETBYTE
        JC      BAD
        MOV     DPH,A
        CALL    GETBYTE
        JC      BAD
        MOV     DPL,A
        CALL    GETBYTE
        JC      BAD
        MOV     RTYPE,A
        MOV     A,R2
        JZ      SUMCHK
BYTES:  CALL    GETBYTE
        JC      BAD
        MOV     R1,A
        MOV     A,RTYPE
        JNZ     NEXT            ; only data records are stored
        MOV     A,R1
        MOVX    @DPTR,A
        MOV     A,DPL           ; the last byte of a 4 KB block?
        CJNE    A,#0FFH,NEXT
        MOV     A,DPH
        ORL     A,#0F0H
        CJNE    A,#0FFH,NEXT
        CALL    FLASH
NEXT:   INC     DPTR
        DJNZ    R2,BYTES
SUMCHK: CALL    GETBYTE         ; the checksum makes the sum 0
        JC      BAD
        MOV     A,R3
        JNZ     BAD
        INC     GOODL
        MOV     A,GOODL
        JNZ     GOODOK
        INC     GOODH
GOODOK: MOV     A,RTYPE
        CJNE    A,#1,WAIT
        SJMP    REPORT

; A record that went wrong: counted, and the next one looked for. The colon
; of the next record may be the character that did not fit.
BAD:    INC     BADL
        MOV     A,BADL
        JNZ     BADOK
        INC     BADH
BADOK:  MOV     A,R0
        CJNE    A,#':',WAIT
        SJMP    RECORD

; "OK n" or "BAD b OF n", n counting all records.
REPORT: MOV     A,BADL
        ORL     A,BADH
        JNZ     REPBAD
        MOV     DPTR,#TXTOK
        CALL    PUTS
        SJMP    REPALL
REPBAD: MOV     DPTR,#TXTBAD
        CALL    PUTS
        MOV     NUML,BADL
        MOV     NUMH,BADH
        CALL    PUTDEC
        MOV     DPTR,#TXTOF
        CALL    PUTS
REPALL: MOV     A,GOODL
        ADD     A,BADL
        MOV     NUML,A
        MOV     A,GOODH
        ADDC    A,BADH
        MOV     NUMH,A
        CALL    PUTDEC
        MOV     DPTR,#TXTEND
        CALL    PUTS
        LJMP    NEWRUN

; The flash page write: the processor waits 234 machine cycles (254 us).
FLASH:  MOV     R7,#115
        DJNZ    R7,$
        RET

; A character from the serial port in A, and in R0.
GETC:   JNB     RI,$
        CLR     RI
        MOV     A,SBUF
        MOV     R0,A
        RET

; Two hexadecimal digits as a byte in A, added to the sum in R3; carry set
; when a character is not a digit.
GETBYTE:
        CALL    GETNIB
        JC      GBDONE
        SWAP    A
        MOV     R1,A
        CALL    GETNIB
        JC      GBDONE
        ORL     A,R1
        MOV     R1,A
        ADD     A,R3
        MOV     R3,A
        MOV     A,R1
        CLR     C
GBDONE: RET

; A hexadecimal digit's value in A; carry set when it is none.
GETNIB: CALL    GETC
        CLR     C
        SUBB    A,#'0'
        JC      NOTHEX
        CJNE    A,#10,$+3
        JC      NIBOK           ; 0-9
        ANL     A,#0DFH         ; a-f as A-F
        CLR     C
        SUBB    A,#'A'-'0'
        JC      NOTHEX
        CJNE    A,#6,$+3
        JNC     NOTHEX
        ADD     A,#10
NIBOK:  CLR     C
        RET
NOTHEX: SETB    C
        RET

; The text at DPTR up to its 0 byte.
PUTS:   CLR     A
        MOVC    A,@A+DPTR
        JZ      PUTSEND
        CALL    PUTC
        INC     DPTR
        SJMP    PUTS
PUTSEND:
        RET

PUTC:   JNB     TI,$
        CLR     TI
        MOV     SBUF,A
        RET

; NUMH:NUML in decimal, without leading zeros.
PUTDEC: MOV     DPTR,#POWERS
        MOV     R6,#0           ; a digit was printed
PDNEXT: CLR     A               ; the power of ten (DW: high byte first)
        MOVC    A,@A+DPTR
        MOV     R5,A
        MOV     A,#1
        MOVC    A,@A+DPTR
        MOV     R4,A
        MOV     R7,#0           ; the digit
PDSUB:  CLR     C
        MOV     A,NUML
        SUBB    A,R4
        MOV     R2,A
        MOV     A,NUMH
        SUBB    A,R5
        JC      PDDIGIT
        MOV     NUMH,A
        MOV     NUML,R2
        INC     R7
        SJMP    PDSUB
PDDIGIT:
        MOV     A,R7
        ORL     A,R6
        JNZ     PDPRINT
        MOV     A,R4            ; the units are printed even when 0
        CJNE    A,#1,PDSKIP
PDPRINT:
        MOV     R6,#1
        MOV     A,R7
        ADD     A,#'0'
        CALL    PUTC
PDSKIP: MOV     A,R4
        CJNE    A,#1,PDMORE
        RET
PDMORE: INC     DPTR
        INC     DPTR
        SJMP    PDNEXT

POWERS: DW      10000, 1000, 100, 10, 1
SIGNON: DB      'HEX LOADER READY', CR, LF, 0
TXTOK:  DB      'OK ', 0
TXTBAD: DB      'BAD ', 0
TXTOF:  DB      ' OF ', 0
TXTEND: DB      CR, LF, 0
        END
