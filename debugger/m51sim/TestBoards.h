#pragma once
// The virtual boards of `m51sim test`: a test's `board FILE`, read through the
// test run's file reader, wired to the test's machine and its LCD read for
// `check lcd`.

#include "simrun/SerialScript.h"
#include "insight/TestRun.h"

namespace m51sim {

insight::BoardFactory TestBoards(const FileReader& readFile);

} // namespace m51sim
