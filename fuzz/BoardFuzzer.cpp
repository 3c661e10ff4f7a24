// Fuzz target: the input is a NAME.board file. Besides the sanitizers'
// checks: every error names a line of the file (or none, for a count of
// errors not listed), messages carry no control bytes, and the board as
// written back reads again without errors into the same text.
#include "board/BoardFile.h"
#include "fuzz/ReaderFuzzer.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const board::BoardParse parse = board::ParseBoard(text);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const board::BoardError& e : parse.errors) {
        check(e.line >= 0 && e.line <= lines && !e.message.empty());
        check(std::none_of(e.message.begin(), e.message.end(), [](char c) { return c == '\x1B' || c == '\n'; }));
    }
    const std::string written = board::FormatBoard(parse.board);
    const board::BoardParse again = board::ParseBoard(written);
    check(again.errors.empty());
    check(again.board.parts.size() == parse.board.parts.size());
    check(board::FormatBoard(again.board) == written);
    return 0;
}
