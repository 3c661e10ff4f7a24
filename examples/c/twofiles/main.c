/* Two source files: the readings are summed up in stats.c. */
#include <8052.h>
#include "stats.h"

struct Stats result;
__code const int readings[] = {120, -45, 300, 87, 12};

void main(void)
{
    unsigned char i;
    stats_reset(&result);
    for (i = 0; i < sizeof readings / sizeof readings[0]; i++)
        stats_add(&result, readings[i]);
    P1 = result.count;
    while (1)
        ;
}
