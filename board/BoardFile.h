#pragma once
// NAME.board, the virtual board beside an M51 source: one part a line,
//   led P2.0 low                      ledbar P1 low
//   button P3.2 low key=Space         switch P3.3 high key=S label=Run
//   7seg 4 seg=P0 sel=P2.0-3 seg-active=high sel-active=low
//   keypad 4x4 rows=P1.0-3 cols=P1.4-7
//   lcd 16x2 data=P1 rs=P3.5 rw=P3.6 e=P3.7 osc=270000
//   trace P1.0 P3.5-7
// with '#' comments and blank lines. Read with line-numbered errors and
// written back in the same form.

#include "board/Parts.h"

#include <string>
#include <vector>

namespace board {

struct PartSpec {
    PartKind kind = PartKind::Led;
    std::vector<Pin> pins;     // LEDs, button, switch and trace; 7-segment segments; keypad rows; LCD data
    std::vector<Pin> pins2;    // 7-segment digit selects; keypad columns
    bool activeLow = true;     // LEDs, button, switch; 7-segment segments
    bool selectActiveLow = true;
    unsigned digits = 4;       // 7-segment
    unsigned columns = 16, rows = 2;  // LCD and keypad size
    Pin rs{3, 5}, rw{3, 6}, e{3, 7};
    bool hasRw = true;
    double oscHz = 270000.0;
    std::string key;           // button and switch
    std::string label;
    int line = 0;              // in the file it came from
};

struct BoardDescription {
    std::vector<PartSpec> parts;
};

struct BoardError {
    int line = 0;              // 0: about the file as a whole (errors not listed one by one)
    std::string message;
};

struct BoardParse {
    BoardDescription board;
    std::vector<BoardError> errors;  // lines in error are left out of the board
};

BoardParse ParseBoard(const std::string& text);
std::string FormatPart(const PartSpec& part);
std::string FormatBoard(const BoardDescription& board);  // one line a part, LF

// The keyword of a part's line ("led", "7seg", ...).
const char* PartKeyword(PartKind kind);

} // namespace board
