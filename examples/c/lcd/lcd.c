/* lcd.c - "hello" on an HD44780 character LCD, as on the board in lcd.board.
 *
 * The LCD's eight data lines are on P1, its register select on P3.5, its
 * read/write line on P3.6 and its enable on P3.7. Before every byte the
 * program reads the busy flag (bit 7 of P1 while E is high with RW high).
 */
#include <8052.h>

#define RS P3_5
#define RW P3_6
#define E P3_7

static void wait_ready(void)
{
    unsigned char busy;
    P1 = 0xFF; /* the port as input */
    RS = 0;
    RW = 1;
    do {
        E = 1;
        busy = P1 & 0x80;
        E = 0;
    } while (busy);
}

static void lcd_write(unsigned char value, __bit is_text)
{
    wait_ready();
    RW = 0;
    RS = is_text;
    P1 = value;
    E = 1;
    E = 0; /* the LCD takes the byte as E falls */
}

static void lcd_text(const char *text)
{
    while (*text)
        lcd_write(*text++, 1);
}

void main(void)
{
    E = 0;
    lcd_write(0x38, 0); /* 8-bit bus, two lines, 5x8 dots */
    lcd_write(0x0C, 0); /* display on, no cursor */
    lcd_write(0x06, 0); /* the cursor moves right */
    lcd_write(0x01, 0); /* clear */
    lcd_text("hello");
    lcd_write(0xC0, 0); /* line 2 */
    lcd_text("from C");
    while (1)
        ;
}
