#include "simrun/BoardRun.h"
#include "simrun/PathNames.h"

#include <cctype>

namespace m51sim {

namespace {

std::string TrimRight(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

std::string LcdText(const board::VirtualBoard& board)
{
    for (size_t i = 0; i < board.partCount(); ++i) {
        if (board.part(i).kind() != board::PartKind::Lcd)
            continue;
        const board::Lcd& lcd = static_cast<const board::LcdPart&>(board.part(i)).lcd();
        std::vector<std::string> rows;
        for (unsigned r = 0; r < lcd.config().rows; ++r)
            rows.push_back(TrimRight(lcd.rowText(r)));
        while (!rows.empty() && rows.back().empty())
            rows.pop_back();
        std::string text;
        for (size_t r = 0; r < rows.size(); ++r)
            text += (r ? "\n" : "") + rows[r];
        return text;
    }
    return {};
}

std::unique_ptr<board::VirtualBoard> MakeBoard(const std::string& text, const std::string& path, double crystalHz,
                                               std::string& error)
{
    const board::BoardParse parse = board::ParseBoard(text);
    error.clear();
    for (const board::BoardError& e : parse.errors)
        error += (error.empty() ? "" : "\n") + path + (e.line > 0 ? ":" + std::to_string(e.line) : "") + ": " + e.message;
    if (!error.empty())
        return nullptr;
    return std::make_unique<board::VirtualBoard>(parse.board, crystalHz);
}

std::string PressKeys(board::VirtualBoard& board, const std::vector<std::string>& presses)
{
    for (const std::string& press : presses) {
        bool done = false;
        for (size_t i = 0; i < board.partCount() && !done; ++i) {
            const board::Part& part = board.part(i);
            if (part.kind() == board::PartKind::Keypad && press.size() == 1)
                done = board.setKey(i, static_cast<char>(std::toupper(static_cast<unsigned char>(press[0]))), true);
            if (part.kind() == board::PartKind::Button || part.kind() == board::PartKind::Switch) {
                const auto& button = static_cast<const board::ButtonPart&>(part);
                if (Lower(button.key()) == Lower(press) || Lower(button.label) == Lower(press))
                    done = board.setClosed(i, true);
            }
        }
        if (!done)
            return "--press " + press + ": no keypad key, button or switch of the board has that name";
    }
    return {};
}

std::vector<std::string> FormatBoardItem(const PrintItem& item, const board::VirtualBoard& board, std::string& error)
{
    std::vector<std::string> lines;
    for (size_t i = 0; i < board.partCount(); ++i) {
        const board::Part& part = board.part(i);
        if (item.kind == PrintItem::Kind::Lcd && part.kind() == board::PartKind::Lcd) {
            const board::Lcd& lcd = static_cast<const board::LcdPart&>(part).lcd();
            for (unsigned r = 0; r < lcd.config().rows; ++r)
                lines.push_back(item.text + std::to_string(r + 1) + "=" + TrimRight(lcd.rowText(r)));
            return lines;
        }
        if (item.kind == PrintItem::Kind::SevenSeg && part.kind() == board::PartKind::SevenSeg) {
            lines.push_back(item.text + "=" + static_cast<const board::SevenSegPart&>(part).text());
            return lines;
        }
    }
    error = "--print " + item.text + ": the board has no " + (item.kind == PrintItem::Kind::Lcd ? "LCD" : "7-segment display");
    return lines;
}

} // namespace m51sim
