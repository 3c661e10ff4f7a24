#pragma once
// m51sim's virtual board: the NAME.board file read for the run, keys and
// buttons held from reset (--press) and the displays printed (--print lcd,
// --print 7seg). Plain C++, like the rest of m51sim's run on the core.

#include "SerialScript.h"
#include "SimOptions.h"
#include "TestRun.h"
#include "VirtualBoard.h"

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

// The boards of `m51sim test`: a test's `board FILE` read through `readFile`
// and wired to the test's machine, its LCD read for `check lcd`.
insight::BoardFactory TestBoards(const FileReader& readFile);

} // namespace m51sim
