    ;blink.M51 - your first M51 program: it flashes the LED on pin P1.0.
 
    ;How M51 reads a line: one statement per line, a keyword and up to three
    ;operands separated by blanks. Anything after a semicolon is a comment: it is
    ;copied into the generated assembly next to the instruction it belongs to
    ;(a second semicolon on the line would end it).
    ;Keywords may be written in any letter case, numbers are decimal (25) or
    ;hexadecimal with an H at the end (0FFH, 30H).
 
    ;Choose "Check" to see the 8051 assembly this file turns into, "Debug" to
    ;assemble it as well.
 
    ;---- The frame: every program starts like this ----
$MOD51     ;the chip: a standard 8051 ($MOD51)
$NOLIST     ;keep the assembler listing short ($NOLIST)
LED BIT P1.0     ;a name for the LED pin (LED BIT P1.0)
FLASHES EQU 005     ;a named number (FLASHES EQU 005)
ORG 00H     ;after reset the chip starts in procedure MAIN
JMP MAIN
 
    ;The five interrupt vectors. This program uses no interrupts, so each one
    ;just returns ("DISABLE"). Give a procedure name instead to handle one.
ORG 03H     ;external interrupt 0
RETI
;-------------
ORG 0BH     ;timer 0
RETI
;-------------
ORG 13H     ;external interrupt 1
RETI
;-------------
ORG 01BH     ;timer 1
RETI
;-------------
ORG 023H     ;serial port
RETI
;-------------
ORG 030H     ;the program itself starts behind the vectors
 
    ;---- The main procedure ----
MAIN:
Mov SP,#060H     ;stack pointer to 60H, clear of the loop counters at 08H-0FH
Mov P1,#0FFH     ;all pins of port 1 high: every LED off
mov 048,#0     ;variable 0 (RAM byte 30H) counts the flashes
Mov 08,#FLASHES     ;loop counter 1 := 5 ...
LP0001:     ;... and call FLASH that many times
CALL FLASH
DJNZ 08,LP0001
mov A,048     ;A := the number of flashes
Cpl A     ;LEDs light on a low pin, so invert ...
Mov P1,A     ;... and show the count on port 1 (LEDs 0 and 2 lit)
 
    ;A program never ends: it parks in a loop. A PROCEDURE line is also a label
    ;that a jump can go to.
PARK:
Jmp PARK
 
    ;---- FLASH: LED on, wait, LED off, wait, count ----
FLASH:
Clr LED     ;a low pin lights the LED
Call DELAY
Setb LED     ;LED off again
Call DELAY
mov A,048     ;variable 0 := variable 0 + 1
Inc A
mov 048,A
Ret     ;back to the caller (Ret)
 
    ;---- DELAY: about 0.2 s at 12 MHz, two nested counted loops ----
DELAY:
Mov 09,#250     ;outer loop: 250 times ...
LP0002:     ;... call WAIT
CALL WAIT
DJNZ 09,LP0002
Ret
 
WAIT:
Mov 0Ah,#250     ;inner loop: 250 times do nothing
LP0003:     ;INLINE puts the statement itself in the loop
NOP
DJNZ 0Ah,LP0003
Ret
 
END     ;the end of the program text
