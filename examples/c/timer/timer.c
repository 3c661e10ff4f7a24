/* timer.c - a timer interrupt counts milliseconds; the main loop shows the
 * seconds on P1.
 *
 * Timer 0 runs in mode 1 and is reloaded for 1 ms at 11.0592 MHz (921.6
 * machine cycles: 922). The interrupt handler is a C function with
 * __interrupt; `ticks` is shared with the main loop, so the loop reads it
 * with interrupts held off.
 */
#include <8052.h>

#define RELOAD (65536 - 922)

volatile unsigned int ticks;
unsigned char seconds;

void timer0_isr(void) __interrupt(1)
{
    TH0 = RELOAD >> 8;
    TL0 = RELOAD & 0xFF;
    ticks++;
}

static unsigned int read_ticks(void)
{
    unsigned int now;
    EA = 0;
    now = ticks;
    EA = 1;
    return now;
}

void main(void)
{
    TMOD = 0x01;
    TH0 = RELOAD >> 8;
    TL0 = RELOAD & 0xFF;
    ET0 = 1;
    EA = 1;
    TR0 = 1;
    while (1) {
        if (read_ticks() >= 1000) {
            EA = 0;
            ticks -= 1000;
            EA = 1;
            seconds++;
            P1 = ~seconds;
        }
    }
}
