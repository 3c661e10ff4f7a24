// m51sim: runs an 8051 program on the simulator for scripts and CI (firmware
// unit tests) and prints the machine state as NAME=VALUE lines (see SimRun.h).
#include "debugger/m51sim/SimRun.h"

int main(int argc, char** argv)
{
    return m51sim::Run(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
