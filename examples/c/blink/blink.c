/* blink.c - the LED on P1.0 flashes; P1.1 shows how many times it did.
 *
 * The simplest C program for the board: a busy-wait delay, a bit of a port
 * written through its __sbit name, and a counter in internal RAM that the
 * watch pane and m51sim --print can show ("flashes").
 */
#include <8052.h>

#define LED P1_0

unsigned char flashes;

static void delay(unsigned int count)
{
    while (count--)
        ;
}

void main(void)
{
    for (flashes = 0; flashes < 5; flashes++) {
        LED = 0; /* the LED lights when the pin is low */
        delay(2000);
        LED = 1;
        delay(2000);
    }
    P1 = (unsigned char)~flashes;
    while (1)
        ;
}
