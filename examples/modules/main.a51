; The main loop: P1.0 blinks, Count counts the blinks.
        NAME    MAIN
        PUBLIC  Main, Count
        EXTRN   CODE (Delay)

?DT?MAIN SEGMENT DATA
        RSEG    ?DT?MAIN
Count:  DS      1

?PR?MAIN SEGMENT CODE
        RSEG    ?PR?MAIN
Main:   MOV     Count,#0
Loop:   CPL     P1.0
        INC     Count
        MOV     A,#0x03
        CALL    Delay
        SJMP    Loop
        END
