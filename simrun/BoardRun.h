#pragma once
// m51sim's virtual board: the NAME.board file read for the run, keys and
// buttons held from reset (--press) and the displays printed (--print lcd,
// --print 7seg). Plain C++, like the rest of m51sim's run on the core.

#include "simrun/MachineItems.h"
#include "board/VirtualBoard.h"

#include <memory>
#include <string>
#include <vector>

namespace m51sim {

// The board of `text` (read from `path`, named in messages) at the crystal;
// null with `error` set as "path:line: message" lines.
std::unique_ptr<board::VirtualBoard> MakeBoard(const std::string& text, const std::string& path, double crystalHz,
                                               std::string& error);

// Holds every key of `presses`: a keypad key, or a button or switch by its
// key or label (letter case ignored). The error names the first unknown one.
std::string PressKeys(board::VirtualBoard& board, const std::vector<std::string>& presses);

// The lines --print lcd and --print 7seg print, or an error when the board
// has no such display.
std::vector<std::string> FormatBoardItem(const PrintItem& item, const board::VirtualBoard& board, std::string& error);

// The board's LCD rows without their trailing blanks, and without the empty
// rows at the end, "\n" between them; empty without an LCD.
std::string LcdText(const board::VirtualBoard& board);

} // namespace m51sim
