#pragma once
// An HD44780 character LCD on the port pins: its instruction set, busy flag
// and execution times at its own oscillator, DDRAM and CGRAM, the 8-bit and
// 4-bit bus (data latched at the falling edge of E, read while E is high)
// and the A00 character generator (ASCII with the yen sign, arrows and the
// Japanese set above 0A0H). Times are counted in the chip's machine cycles,
// converted at the board's crystal.

#include "board/Pins.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace board {

class Lcd {
public:
    struct Config {
        unsigned columns = 16, rows = 2;  // 16x2, 20x4, ...
        std::vector<Pin> data;            // D0-D7 (8-bit bus) or D4-D7 (4-bit bus)
        Pin rs{3, 5}, rw{3, 6}, e{3, 7};
        bool hasRw = true;                // false: RW tied low (write only)
        double oscHz = 270000.0;          // the controller's oscillator: execution times scale with it
    };

    Lcd(Config config, double crystalHz);
    const Config& config() const { return m_config; }

    // Power-on: the internal reset (8-bit bus, one line, display off,
    // increment), busy for 10 ms.
    void powerOn(uint64_t cycle);
    // The pins changed at `cycle`.
    void pinsChanged(uint64_t cycle, const PortState& ports);
    // The pins the controller pulls low while the program reads from it.
    void pullsLow(uint8_t low[4]) const;
    // The same as pins of all four ports (bit 8q+b: pin b of port q).
    uint32_t pulledLow() const { return m_reading ? m_readPulls : 0; }

    bool busy(uint64_t cycle) const { return cycle < m_busyUntil; }
    bool displayOn() const { return m_displayOn; }
    bool cursorOn() const { return m_cursorOn; }
    bool blinkOn() const { return m_blinkOn; }
    bool twoLines() const { return m_twoLines; }
    bool fourBitBus() const { return !m_eightBit; }
    uint8_t addressCounter() const { return m_ac; }
    // Instructions and data the program sent while the controller was busy (ignored, as on the chip).
    unsigned writesWhileBusy() const { return m_writesWhileBusy; }

    // The character codes on display row `row` (display shift applied); all
    // blanks while the display is off.
    std::vector<uint8_t> rowCodes(unsigned row) const;
    // The cursor's display position (row, column), or -1, -1 when it is off screen.
    std::pair<int, int> cursorPosition() const;
    // The text of row `row` in UTF-8 as the A00 character generator shows it
    // (CGRAM characters, which the program draws itself, as '?').
    std::string rowText(unsigned row) const;
    // The 8 pixel rows (5 bits each, bit 4 leftmost) of a CGRAM character (codes 0-15).
    std::array<uint8_t, 8> cgramGlyph(uint8_t code) const;
    uint8_t ddram(unsigned address) const { return m_ddram[address % 0x80]; }

    // The A00 character generator's glyph for `code` as UTF-8 ('?' for the CGRAM codes 0-15).
    static std::string CharacterText(uint8_t code);

private:
    void write(uint64_t cycle, bool rs, uint8_t value);
    uint8_t read(uint64_t cycle, bool rs) const;
    void afterRead(bool rs);
    void instruction(uint64_t cycle, uint8_t value);
    void moveAc(bool forward);
    void setBusy(uint64_t cycle, double microsecondsAt270k);
    unsigned ddramIndex(unsigned row, unsigned column) const;
    uint8_t dataPins(const PortState& ports) const;

    Config m_config;
    double m_cyclesPerSecond;
    std::array<uint8_t, 0x80> m_ddram{};
    std::array<uint8_t, 64> m_cgram{};
    uint64_t m_busyUntil = 0;
    uint8_t m_ac = 0;
    bool m_toCgram = false;  // the last address set was a CGRAM address
    bool m_increment = true, m_shiftOnWrite = false;
    bool m_displayOn = false, m_cursorOn = false, m_blinkOn = false;
    bool m_eightBit = true, m_twoLines = false;
    int m_shift = 0;           // display shift, 0-39
    bool m_secondNibble = false;
    uint8_t m_firstNibble = 0;
    bool m_e = false;
    bool m_reading = false;    // E is high with RW high: the controller drives the bus
    uint8_t m_readByte = 0;    // the byte being read (both nibbles of a 4-bit read)
    uint8_t m_readValue = 0;   // what the controller puts on its data pins (bit i on data pin i)
    uint32_t m_readPulls = 0;  // the data pins m_readValue pulls low (bit 8q+b: pin b of port q)
    unsigned m_writesWhileBusy = 0;
};

} // namespace board
