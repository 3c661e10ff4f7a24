#pragma once
// The parts of the virtual board, each on its pins with its active level:
// LEDs and LED bars, push buttons and switches, a 7-segment display (direct
// or multiplexed), a matrix keypad, an HD44780 LCD and a logic trace. Parts
// see every change of their pins at its machine cycle; buttons, keypads and
// the LCD say which pins they pull low, and the board combines them (see
// VirtualBoard.h).

#include "board/Lcd.h"
#include "board/Pins.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace board {

enum class PartKind { Led, LedBar, Button, Switch, SevenSeg, Keypad, Lcd, Trace };

class Part {
public:
    explicit Part(PartKind kind) : m_kind(kind) {}
    virtual ~Part() = default;
    PartKind kind() const { return m_kind; }

    virtual std::vector<Pin> pins() const = 0;
    virtual void powerOn(uint64_t cycle, const PortState& ports) { pinsChanged(cycle, ports); }
    virtual void pinsChanged(uint64_t cycle, const PortState& ports) = 0;
    // False for a part that only pulls pins (a button, a keypad): the board
    // need not tell it of changes.
    virtual bool followsPins() const { return true; }

    std::string label;  // shown beside the part; may be empty

private:
    PartKind m_kind;
};

// One LED (PartKind::Led) or a bar of them (PartKind::LedBar).
class LedPart : public Part {
public:
    LedPart(PartKind kind, std::vector<Pin> pins, bool activeLow)
        : Part(kind), m_pins(std::move(pins)), m_activeLow(activeLow), m_lit(m_pins.size()) {}
    std::vector<Pin> pins() const override { return m_pins; }
    bool activeLow() const { return m_activeLow; }
    void pinsChanged(uint64_t cycle, const PortState& ports) override;
    bool lit(size_t i) const { return m_lit[i]; }

private:
    std::vector<Pin> m_pins;
    bool m_activeLow;
    std::vector<uint8_t> m_lit;
};

// A push button (closed while held) or a switch (toggled), on one pin. Active
// low: closed pulls the pin low. Active high: the pin is pulled low while open.
class ButtonPart : public Part {
public:
    ButtonPart(PartKind kind, Pin pin, bool activeLow, std::string key)
        : Part(kind), m_pin(pin), m_activeLow(activeLow), m_key(std::move(key)) {}
    std::vector<Pin> pins() const override { return {m_pin}; }
    Pin pin() const { return m_pin; }
    bool activeLow() const { return m_activeLow; }
    const std::string& key() const { return m_key; }  // keyboard key ("Space", "A", "F2"), may be empty
    void pinsChanged(uint64_t, const PortState&) override {}
    bool followsPins() const override { return false; }
    // The pin it pulls low now, as pins of all four ports (bit 8q+b: pin b of port q).
    uint32_t pulledLow() const { return m_closed == m_activeLow ? 1u << (8 * m_pin.port + m_pin.bit) : 0; }
    bool closed() const { return m_closed; }
    void setClosed(bool closed) { m_closed = closed; }

private:
    Pin m_pin;
    bool m_activeLow;
    std::string m_key;
    bool m_closed = false;
};

// 1-8 digits of 7 segments and a point. Direct: 8 segment pins a-g, dp per
// digit. Multiplexed: 8 segment pins shared by the digits, one select pin per
// digit. What is shown is what the eye sees: each segment's lit time over the
// last 20 ms of simulated time, so a program scanning the digits shows them
// all steadily, and a digit no longer scanned goes dark within that time.
class SevenSegPart : public Part {
public:
    struct Config {
        unsigned digits = 4;
        std::vector<Pin> segments;  // 8 pins (multiplexed) or 8 per digit (direct)
        std::vector<Pin> select;    // one per digit, leftmost first; empty: direct
        bool segmentsActiveLow = false, selectActiveLow = true;
    };
    SevenSegPart(Config config, double crystalHz);
    const Config& config() const { return m_config; }
    std::vector<Pin> pins() const override;
    void powerOn(uint64_t cycle, const PortState& ports) override;
    void pinsChanged(uint64_t cycle, const PortState& ports) override;

    // Brought up to `cycle` (the display keeps its lit times between changes).
    void settle(uint64_t cycle);
    // 0-1 per segment (a-g, dp) of digit `digit`: its lit time over the window,
    // scaled so that a segment lit for its digit's whole share of a scan is 1.
    std::array<float, 8> brightness(unsigned digit) const;
    // The segments the eye sees lit (bit 0 a ... bit 6 g, bit 7 dp).
    uint8_t shown(unsigned digit) const;
    // The digits as text: 0-9, A-F and the usual letters, '-', ' ', '?' for
    // other patterns, '.' after a digit with its point lit.
    std::string text() const;

    static char PatternChar(uint8_t segments);

private:
    void integrate(uint64_t until);
    uint8_t segmentsLit(size_t first, const PortState& ports) const;
    void lookAt(const PortState& ports);

    Config m_config;
    uint64_t m_window;                 // cycles of one window
    uint64_t m_windowStart = 0, m_last = 0;
    std::vector<std::array<uint64_t, 8>> m_current, m_previous;
    bool m_havePrevious = false;
    std::vector<uint8_t> m_now;        // segments lit at m_last, per digit
    // Per 8 segment pins (one group multiplexed, one a digit direct): the
    // port whose pins 0-7 they are in order (read in one go), else 4.
    std::vector<uint8_t> m_wholePort;
};

// A 3x4 or 4x4 matrix keypad: a pressed key joins its row and column lines,
// so a line the program drives low pulls low every line joined to it.
class KeypadPart : public Part {
public:
    KeypadPart(std::vector<Pin> rows, std::vector<Pin> columns);
    std::vector<Pin> pins() const override;
    const std::vector<Pin>& rows() const { return m_rows; }
    const std::vector<Pin>& columns() const { return m_columns; }
    void pinsChanged(uint64_t, const PortState&) override {}
    bool followsPins() const override { return false; }
    // The scan asks with every row it drives, so the pressed keys are worked
    // out once into a table per port of the keypad's lines: for each value
    // of that port's latch, the lines joined to one of its lines it holds
    // low (byte q of the entry: port q's pins). Those the program holds low
    // itself stay its own: the board takes the entry AND the latches.
    struct Joined {
        uint8_t port;
        std::array<uint32_t, 256> pulled;
    };
    const std::vector<Joined>& joined() const { return m_joined; }

    // "123A456B789C*0#D" (4x4) or "123456789*0#" (3x4), row by row.
    const std::string& keys() const { return m_keys; }
    bool setPressed(char key, bool pressed);  // false for a key the keypad has not
    bool pressed(char key) const;

private:
    void join();

    std::vector<Pin> m_rows, m_columns;
    std::string m_keys;
    uint32_t m_pressed = 0;  // bit per key
    std::vector<Joined> m_joined;
};

class LcdPart : public Part {
public:
    LcdPart(Lcd::Config config, double crystalHz) : Part(PartKind::Lcd), m_lcd(std::move(config), crystalHz) {}
    std::vector<Pin> pins() const override;
    void powerOn(uint64_t cycle, const PortState& ports) override;
    void pinsChanged(uint64_t cycle, const PortState& ports) override { m_lcd.pinsChanged(cycle, ports); }
    uint32_t pulledLow() const { return m_lcd.pulledLow(); }  // see Lcd::pulledLow()
    const Lcd& lcd() const { return m_lcd; }

private:
    Lcd m_lcd;
};

// Levels of chosen pins over simulated time: every change, the oldest dropped
// beyond `limit`.
class TracePart : public Part {
public:
    struct Edge {
        uint64_t cycle;
        uint8_t levels;  // bit i: pin i of the trace
    };
    explicit TracePart(std::vector<Pin> pins, size_t limit = 200000)
        : Part(PartKind::Trace), m_pins(std::move(pins)), m_limit(limit) {}
    std::vector<Pin> pins() const override { return m_pins; }
    void powerOn(uint64_t cycle, const PortState& ports) override;
    void pinsChanged(uint64_t cycle, const PortState& ports) override;
    const std::deque<Edge>& edges() const { return m_edges; }
    // The levels at `cycle` (those of the last change before it).
    uint8_t levelsAt(uint64_t cycle) const;

private:
    uint8_t sample(const PortState& ports) const;
    std::vector<Pin> m_pins;
    size_t m_limit;
    std::deque<Edge> m_edges;
};

} // namespace board
