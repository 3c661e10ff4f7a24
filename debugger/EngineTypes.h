#pragma once
// What the debugger's engine and its simulator backends share: the program,
// the options and the machine state after a stop.

#include "simrun/MachineState.h"
#include "toolchain/LineTable.h"
#include "toolchain/Program.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace m51dbg {

using toolchain::Instruction;
using toolchain::SourceMap;

// A built program (the program model: code image, source map, symbols,
// functions) and the HEX file the simulator loads. The code image is read
// from hexPath when it is empty.
struct Program : toolchain::Program {
    Program() = default;
    Program(toolchain::Program built, QString hex) : toolchain::Program(std::move(built)), hexPath(std::move(hex)) {}
    QString hexPath;

    // The source lines indexed for stepping and breakpoints: made on first
    // use (the program is complete by then) and shared by copies.
    const toolchain::LineTable& lineTable() const
    {
        if (!m_lineTable)
            m_lineTable = std::make_shared<const toolchain::LineTable>(*this);
        return *m_lineTable;
    }

private:
    mutable std::shared_ptr<const toolchain::LineTable> m_lineTable;
};

// Which simulator runs the program: the built-in core (in this process), or
// the s51 program driven through its console (the reference).
enum class SimulatorKind { Core, S51 };

struct EngineOptions {
    SimulatorKind kind = SimulatorKind::Core;
    QString simulator = QStringLiteral("s51");  // the s51 program, for SimulatorKind::S51
    QString cpuType = QStringLiteral("8052");
    double crystalHz = 11059200.0;
    unsigned xramSize = 65536;
    // Core: the serial line carries bytes at its bit rate, bit by bit on RXD
    // and TXD (else bytes are handed to SBUF as soon as the program is ready).
    bool realLine = false;
    // Built-in simulator: a free run keeps the chip's own pace at its crystal
    // (a blinking LED blinks at its real rate), else as fast as possible.
    bool realTime = false;
    unsigned animatePauseMs = 200;  // Animate: the pause after each line stepped
    double lineBaud = 0;  // real line: the outside line's bit rate (0: the program's own)
    // The UART on a pseudo-terminal a terminal program opens (see
    // SerialBridge), or only on serialReceived()/sendSerial(). s51 without it
    // has its UART unconnected. (s51's own file input is not used: it picks
    // bytes up from a file only at moments that depend on the host's timing.)
    bool serialTerminal = true;
    // The helper that keeps s51 answering fast (s51wake); empty: searched
    // beside the program and in the build folder.
    QString wakeHelper;
    int randomSeed = 1;  // s51 fills RAM with random bytes at power-on; fixed seed, same bytes
};

// Reads the program's code image from its HEX file when it has none; an
// error message when that fails.
QString LoadCodeImage(Program& program);

} // namespace m51dbg
