; Reset: the stack above the register banks, then the main loop of MAIN.
; Build and debug any of the three modules in Zelvar: modules.a51proj links
; them into one program (m51ld start.a51 main.a51 delay.a51 does the same).
        NAME    START
        EXTRN   CODE (Main)

        CSEG    AT 0
        LJMP    Reset

?PR?START SEGMENT CODE
        RSEG    ?PR?START
Reset:  MOV     SP,#0x2F
        LJMP    Main
        END
