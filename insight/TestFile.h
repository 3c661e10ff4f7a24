#pragma once
// A firmware test (*.m51test): plain text, one directive a line, blank lines
// and lines starting with # skipped.
//
//   program FILE              the program (.M51, .asm/.a51, .hex, .c, .m51proj, .a51proj), relative to
//                             the test; several .c files make one C program (program main.c lib.c);
//                             an assembly module is built with the other modules of its program
//   chip NAME                 the 8051 derivative (default 8052)
//   board FILE                a board with virtual parts (needs a build with boards)
//   xtal HZ                   crystal frequency (default 11059200)
//   limit CYCLES              the run ends after so many machine cycles (default 10000000)
//   until line N              the run ends when line N of the program's source is reached
//                             (FILE:N: line N of any source file of a C program or of a program
//                             of several assembly modules, also in
//                             "when line" and "check line")
//
// Stimuli, worked through in order as the run goes (the serial script):
//   send TEXT | sendfile FILE | expect TEXT | wait CYCLES
// and pin changes, each applied once:
//   pin P3.2 = 0|1|released at CYCLE
//   pin P3.2 = 0|1|released when line N
//   pin P3.2 = 0|1|released when ITEM = VALUE
//
// Expectations, checked when the run has ended:
//   check ITEM = VALUE        ITEM as m51sim --print takes it (A, P1, iram[40], xram[100] ...),
//                             VALUE hexadecimal as m51sim prints it (05, 2C, 0FAH, 0x1F);
//   check NAME = VALUE        of a C program: a C expression (total, result.count, p->x) and
//                             its C value (300, -70.625, 0x1F, 'A', {x=1, y=2})
//   check pin P1.0 = 0|1      the level on the pin
//   check serial = TEXT       everything the program sent (escapes as for send)
//   check serial contains TEXT
//   check lcd = TEXT          the board's LCD, its lines joined by \n (needs a build with boards)
//   check line N reached | check line N not reached
//   check cycles <= N
//
// Without `until line`, a run with a serial script ends when the script is
// done, one without at the limit; a power-down ends it too. Lines are those of
// the program's source (the M51 file, or the assembly file). Every mistake is
// "FILE:LINE: message".

#include "simrun/SerialScript.h"
#include "simrun/MachineItems.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace insight {

struct PinLevel {
    unsigned port = 0, bit = 0;
    int level = -1;  // 0, 1, -1 released
};

struct PinChange {
    enum class When { AtCycle, AtLine, OnValue };
    PinLevel pin;
    When when = When::AtCycle;
    uint64_t cycle = 0;  // AtCycle
    int sourceLine = 0;  // AtLine: 1-based line of the program
    std::string sourceFile;  // AtLine: FILE of FILE:N (a C program), empty: the program's own source
    m51sim::PrintItem item;  // OnValue
    unsigned value = 0;
    int line = 0;  // of the test file
};

struct Check {
    enum class Kind { Value, Pin, SerialEquals, SerialContains, Lcd, Reached, NotReached, CyclesAtMost };
    Kind kind = Kind::Value;
    m51sim::PrintItem item;  // Value (a C expression: kind CExpression)
    unsigned value = 0;      // Value, Pin (level)
    std::string expected;    // Value: as written (a C value)
    PinLevel pin;            // Pin
    std::string text;        // serial, LCD
    int sourceLine = 0;      // Reached, NotReached: 1-based
    std::string sourceFile;  // Reached, NotReached: FILE of FILE:N
    uint64_t cycles = 0;     // CyclesAtMost
    int line = 0;            // of the test file
};

struct TestFile {
    std::string path;     // as given
    std::string name;     // file name without .m51test
    std::string program;  // path of the program, resolved against the test's folder
    std::vector<std::string> moreSources;  // the further .c files of a C program, resolved so too
    int programLine = 0;
    std::string chip = "8052";
    std::string board;  // the board file, resolved against the test's folder
    int boardLine = 0;
    double xtal = 11059200.0;
    uint64_t limit = 10000000;
    std::optional<int> untilLine;  // 1-based
    std::string untilFile;         // FILE of until line FILE:N
    int untilAt = 0;               // its line in the test file
    std::vector<m51sim::ScriptCommand> script;
    std::vector<PinChange> pins;
    std::vector<Check> checks;
    std::vector<std::string> errors;  // "FILE:LINE: message"
};

// `boards` tells whether this build has virtual boards (board and lcd lines).
// A sendfile's file is opened by `openFile`, or read whole by `readFile`
// without one.
TestFile ParseTestFile(std::string_view text, const std::string& path, const m51sim::FileReader& readFile, bool boards,
                       const m51sim::FileOpener& openFile = {});

} // namespace insight
