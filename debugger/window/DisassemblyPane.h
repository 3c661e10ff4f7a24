#pragma once
// The disassembly view: the instructions around the program counter as the
// code memory holds them (also where no M51 or assembly line exists, as in a
// program loaded from a HEX file), the current one marked, breakpoints shown,
// the source line of each instruction where there is one. It follows the PC
// at each stop and while the program runs; "Go to" shows another address.
// A C program's instructions come under the C line they were made for, the
// line's text on a row of its own.

#include "debugger/window/CallFrames.h"
#include "debugger/window/LiveTimer.h"
#include "debugger/DebugEngine.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace m51dbg {

class DisassemblyPane : public QWidget {
    Q_OBJECT
public:
    DisassemblyPane(DebugEngine* engine, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The addresses of the instructions shown, in order.
    const std::vector<uint16_t>& addresses() const { return m_addresses; }
    // The table row of an instruction shown (-1: not shown).
    int rowOf(uint16_t address) const;
    // Shows the instructions from `address` on (and stops following the PC).
    void goTo(uint16_t address);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void follow();
    void fitColumns();
    void show(uint16_t start);
    uint8_t codeAt(unsigned address);
    uint16_t pcNow();
    // An address from which decoding reaches `pc` exactly, a few instructions before it.
    uint16_t startBefore(uint16_t pc);

    DebugEngine* m_engine;
    QTableWidget* m_table;
    QCheckBox* m_follow;
    QLineEdit* m_goTo;
    QLabel* m_note;
    LiveTimer m_live;
    std::vector<uint16_t> m_addresses;
    std::vector<int> m_rows;  // the table row of each of m_addresses
    SourceTexts m_texts;
};

} // namespace m51dbg
