/* A running summary of the readings: how many, the largest, the mean. */
#ifndef STATS_H
#define STATS_H

struct Stats {
    unsigned char count;
    int max;
    float mean;
};

void stats_reset(struct Stats *s);
void stats_add(struct Stats *s, int value);

#endif
