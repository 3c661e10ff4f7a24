#include "debugger/m51sim/TestBoards.h"

#include "simrun/BoardRun.h"

namespace m51sim {

namespace {

// A test's board: wired to the test's machine for the run, released before
// the machine goes.
class TestBoardOnPins : public insight::TestBoard {
public:
    TestBoardOnPins(std::unique_ptr<board::VirtualBoard> board, sim::Machine& machine) : m_board(std::move(board))
    {
        m_board->attach(&machine);
    }
    ~TestBoardOnPins() override { m_board->release(); }
    sim::Listener& listener() override { return *m_board; }
    std::string lcdText() const override { return LcdText(*m_board); }

private:
    std::unique_ptr<board::VirtualBoard> m_board;
};

} // namespace

insight::BoardFactory TestBoards(const FileReader& readFile)
{
    return [readFile](const std::string& path, sim::Machine& machine,
                      std::string& error) -> std::unique_ptr<insight::TestBoard> {
        const auto text = readFile(path, error);
        if (!text)
            return nullptr;
        auto board = MakeBoard(*text, path, machine.board().crystalHz, error);
        if (!board)
            return nullptr;
        return std::make_unique<TestBoardOnPins>(std::move(board), machine);
    };
}

} // namespace m51sim
