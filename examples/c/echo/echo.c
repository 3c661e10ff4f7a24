/* echo.c - a serial line echo with printf.
 *
 * Timer 1 makes 9600 baud from an 11.0592 MHz crystal; the program greets
 * with printf, then sends back every character it receives, upper-cased, and
 * counts the lines in `lines`. In Zelvar the serial console (or a terminal on
 * the simulated port) talks to it.
 */
#include <8052.h>
#include <stdio.h>

unsigned int lines;

int putchar(int c)
{
    while (!TI)
        ;
    TI = 0;
    SBUF = c;
    return c;
}

static char receive(void)
{
    while (!RI)
        ;
    RI = 0;
    return SBUF;
}

void main(void)
{
    SCON = 0x50;  /* mode 1, receiver on */
    TMOD = 0x20;  /* timer 1 in mode 2: the bit-rate generator */
    TH1 = 0xFD;   /* 9600 baud at 11.0592 MHz */
    TR1 = 1;
    TI = 1;       /* the transmitter is free */
    printf("echo ready\r\n");
    while (1) {
        char c = receive();
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        if (c == '\r')
            lines++;
        putchar(c);
    }
}
