#include "stats.h"

void stats_reset(struct Stats *s)
{
    s->count = 0;
    s->max = -32768;
    s->mean = 0.0f;
}

void stats_add(struct Stats *s, int value)
{
    s->count++;
    if (value > s->max)
        s->max = value;
    s->mean += (value - s->mean) / s->count;
}
