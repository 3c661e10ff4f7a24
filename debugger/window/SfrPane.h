#pragma once
// The SFR view: every special-function register of the chip being simulated
// (a derivative's extras included), its address, its value in hexadecimal
// and its eight bits, named where the register is bit-addressable. A value
// typed in or a bit's box clicked writes the register; values changed since
// the last stop are marked.

#include "debugger/window/LiveTimer.h"
#include "debugger/DebugEngine.h"
#include "sim/SfrTable.h"

#include <QWidget>

#include <array>
#include <vector>

class QTableWidget;

namespace m51dbg {

class SfrPane : public QWidget {
    Q_OBJECT
public:
    SfrPane(DebugEngine* engine, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The row of the SFR at `address`, -1 when the chip has none there.
    int rowOf(uint8_t address) const;

private:
    static constexpr int ValueColumn = 2, FirstBitColumn = 3;  // bit 7 first
    void onStopped(DebugEngine::StopCause cause);
    void rebuild();
    void fill();
    void onItemChanged(int row, int column);
    uint8_t valueOf(uint8_t address);

    DebugEngine* m_engine;
    QTableWidget* m_table;
    std::vector<sim::SfrInfo> m_sfrs;
    std::array<int16_t, 128> m_atStop{}, m_before{};  // -1: not known
    LiveTimer m_live;
    bool m_filling = false;
};

} // namespace m51dbg
