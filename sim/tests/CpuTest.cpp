#include "Machine.h"
#include <gtest/gtest.h>
TEST(Chip, Known) { EXPECT_NE(sim::findChip("at89s52"), nullptr); }
