; Delay: waits A times 256 turns of the inner loop (A from 1 up).
; The segment stays in one 256-byte page, so its jumps are short.
        NAME    DELAY
        PUBLIC  Delay

?PR?DELAY SEGMENT CODE INPAGE
        RSEG    ?PR?DELAY
Delay:  MOV     R7,A
Outer:  MOV     R6,#0
Inner:  DJNZ    R6,Inner
        DJNZ    R7,Outer
        RET
        END
