#include "board/Parts.h"

#include <algorithm>
#include <bit>

namespace board {

void LedPart::pinsChanged(uint64_t, const PortState& ports)
{
    for (size_t i = 0; i < m_pins.size(); ++i)
        m_lit[i] = ports.high(m_pins[i]) != m_activeLow;
}

// ---- 7-segment display ---------------------------------------------------------

SevenSegPart::SevenSegPart(Config config, double crystalHz)
    : Part(PartKind::SevenSeg), m_config(std::move(config)),
      m_window(std::max<uint64_t>(1, static_cast<uint64_t>(crystalHz / 12.0 * 0.020))),
      m_current(m_config.digits), m_previous(m_config.digits), m_now(m_config.digits)
{
    for (size_t first = 0; first + 8 <= m_config.segments.size(); first += 8) {
        const Pin* group = &m_config.segments[first];
        bool whole = true;
        for (unsigned s = 0; s < 8; ++s)
            whole = whole && group[s].port == group[0].port && group[s].bit == s;
        m_wholePort.push_back(whole ? group[0].port : 4);
    }
}

std::vector<Pin> SevenSegPart::pins() const
{
    std::vector<Pin> all = m_config.segments;
    all.insert(all.end(), m_config.select.begin(), m_config.select.end());
    return all;
}

// The segments on the 8 pins from `first` lit now.
uint8_t SevenSegPart::segmentsLit(size_t first, const PortState& ports) const
{
    if (const uint8_t port = m_wholePort[first / 8]; port < 4)
        return static_cast<uint8_t>(m_config.segmentsActiveLow ? ~ports.level[port] : ports.level[port]);
    uint8_t lit = 0;
    for (unsigned s = 0; s < 8; ++s)
        if (ports.high(m_config.segments[first + s]) != m_config.segmentsActiveLow)
            lit |= static_cast<uint8_t>(1u << s);
    return lit;
}

// Every digit's segments lit now; multiplexed digits share the segment
// pins, worked out once for all of them.
void SevenSegPart::lookAt(const PortState& ports)
{
    if (m_config.select.empty()) {
        for (unsigned d = 0; d < m_config.digits; ++d)
            m_now[d] = segmentsLit(d * 8, ports);
        return;
    }
    const uint8_t shared = segmentsLit(0, ports);
    const Pin* select = m_config.select.data();
    uint8_t* now = m_now.data();
    const bool activeLow = m_config.selectActiveLow;
    for (unsigned d = 0, digits = m_config.digits; d < digits; ++d)
        now[d] = ports.high(select[d]) == activeLow ? 0 : shared;
}

void SevenSegPart::powerOn(uint64_t cycle, const PortState& ports)
{
    for (auto& d : m_current)
        d.fill(0);
    m_havePrevious = false;
    m_windowStart = m_last = cycle;
    lookAt(ports);
}

void SevenSegPart::pinsChanged(uint64_t cycle, const PortState& ports)
{
    settle(cycle);
    lookAt(ports);
}

void SevenSegPart::integrate(uint64_t until)
{
    const uint64_t span = until - m_last;
    if (span == 0)
        return;
    const uint8_t* now = m_now.data();
    std::array<uint64_t, 8>* current = m_current.data();
    for (unsigned d = 0, digits = m_config.digits; d < digits; ++d)
        for (unsigned lit = now[d]; lit; lit &= lit - 1)  // the lit segments only
            current[d][std::countr_zero(lit)] += span;
    m_last = until;
}

void SevenSegPart::settle(uint64_t cycle)
{
    if (cycle < m_last) {  // the machine's time went back (reset, restored state)
        for (auto& d : m_current)
            d.fill(0);
        m_havePrevious = false;
        m_windowStart = m_last = cycle;
        return;
    }
    while (cycle >= m_windowStart + m_window) {
        integrate(m_windowStart + m_window);
        m_previous = m_current;
        for (auto& d : m_current)
            d.fill(0);
        m_havePrevious = true;
        m_windowStart += m_window;
        const uint64_t whole = (cycle - m_windowStart) / m_window;
        if (whole > 0) {  // nothing changed for whole windows: each was lit as now
            m_windowStart += whole * m_window;
            m_last = m_windowStart;
            for (unsigned d = 0; d < m_config.digits; ++d)
                for (unsigned s = 0; s < 8; ++s)
                    m_previous[d][s] = (m_now[d] & (1u << s)) ? m_window : 0;
        }
    }
    integrate(cycle);
}

std::array<float, 8> SevenSegPart::brightness(unsigned digit) const
{
    // A window sliding up to the last change: the part of the previous
    // window it still covers, and the current one.
    std::array<float, 8> out{};
    if (digit >= m_config.digits)
        return out;
    const uint64_t elapsed = m_last - m_windowStart;
    const double span = m_havePrevious ? static_cast<double>(m_window) : static_cast<double>(elapsed);
    const double weight = m_havePrevious ? static_cast<double>(m_window - elapsed) / static_cast<double>(m_window) : 0.0;
    const double share = m_config.select.empty() ? 1.0 : m_config.digits;
    for (unsigned s = 0; s < 8; ++s) {
        if (span <= 0) {
            out[s] = (m_now[digit] & (1u << s)) ? 1.0f : 0.0f;
            continue;
        }
        const double lit = static_cast<double>(m_previous[digit][s]) * weight + static_cast<double>(m_current[digit][s]);
        out[s] = static_cast<float>(std::min(1.0, lit / span * share));
    }
    return out;
}

uint8_t SevenSegPart::shown(unsigned digit) const
{
    const auto b = brightness(digit);
    uint8_t segments = 0;
    for (unsigned s = 0; s < 8; ++s)
        if (b[s] >= 0.25f)
            segments |= static_cast<uint8_t>(1u << s);
    return segments;
}

char SevenSegPart::PatternChar(uint8_t segments)
{
    static const struct { uint8_t pattern; char c; } Table[] = {
        {0x3F, '0'}, {0x06, '1'}, {0x5B, '2'}, {0x4F, '3'}, {0x66, '4'}, {0x6D, '5'}, {0x7D, '6'}, {0x7C, 'b'},
        {0x07, '7'}, {0x27, '7'}, {0x7F, '8'}, {0x6F, '9'}, {0x67, '9'}, {0x77, 'A'}, {0x39, 'C'}, {0x5E, 'd'},
        {0x79, 'E'}, {0x71, 'F'}, {0x3D, 'G'}, {0x76, 'H'}, {0x74, 'h'}, {0x1E, 'J'}, {0x38, 'L'}, {0x54, 'n'},
        {0x5C, 'o'}, {0x73, 'P'}, {0x50, 'r'}, {0x78, 't'}, {0x3E, 'U'}, {0x1C, 'u'}, {0x6E, 'y'}, {0x58, 'c'},
        {0x40, '-'}, {0x08, '_'}, {0x00, ' '},
    };
    for (const auto& entry : Table)
        if (entry.pattern == (segments & 0x7F))
            return entry.c;
    return '?';
}

std::string SevenSegPart::text() const
{
    std::string out;
    for (unsigned d = 0; d < m_config.digits; ++d) {
        const uint8_t s = shown(d);
        out += PatternChar(s);
        if (s & 0x80)
            out += '.';
    }
    return out;
}

// ---- keypad ----------------------------------------------------------------------

KeypadPart::KeypadPart(std::vector<Pin> rows, std::vector<Pin> columns)
    : Part(PartKind::Keypad), m_rows(std::move(rows)), m_columns(std::move(columns)),
      m_keys(m_columns.size() == 4 ? "123A456B789C*0#D" : "123456789*0#")
{
}

std::vector<Pin> KeypadPart::pins() const
{
    std::vector<Pin> all = m_rows;
    all.insert(all.end(), m_columns.begin(), m_columns.end());
    return all;
}

bool KeypadPart::setPressed(char key, bool pressed)
{
    const size_t i = m_keys.find(key);
    if (i == std::string::npos)
        return false;
    m_pressed = pressed ? m_pressed | (1u << i) : m_pressed & ~(1u << i);
    join();
    return true;
}

bool KeypadPart::pressed(char key) const
{
    const size_t i = m_keys.find(key);
    return i != std::string::npos && (m_pressed & (1u << i));
}

// Lines 0..rows-1 are the rows, then the columns; the pressed keys join them
// into groups, and a line held low pulls low every line of its group.
void KeypadPart::join()
{
    m_joined.clear();
    if (!m_pressed)
        return;
    const size_t rows = m_rows.size(), lines = rows + m_columns.size();
    std::array<unsigned, 16> group{};
    for (unsigned i = 0; i < lines; ++i)
        group[i] = i;
    for (size_t k = 0; k < m_keys.size(); ++k) {
        if (!(m_pressed & (1u << k)))
            continue;
        const unsigned a = group[k / m_columns.size()], b = group[rows + k % m_columns.size()];
        for (unsigned i = 0; i < lines; ++i)
            if (group[i] == b)
                group[i] = a;
    }
    auto pin = [&](unsigned i) { return i < rows ? m_rows[i] : m_columns[i - rows]; };
    // Per line, the pins of its group (bit 8q+b: pin b of port q).
    std::array<uint32_t, 16> members{};
    for (unsigned i = 0; i < lines; ++i)
        for (unsigned j = 0; j < lines; ++j)
            if (group[j] == group[i])
                members[i] |= 1u << (8 * pin(j).port + pin(j).bit);
    for (unsigned i = 0; i < lines; ++i) {
        const uint8_t port = pin(i).port;
        if (std::none_of(m_joined.begin(), m_joined.end(), [&](const Joined& t) { return t.port == port; }))
            m_joined.push_back({port, {}});
    }
    for (Joined& t : m_joined)
        for (unsigned latch = 0; latch < 256; ++latch)
            for (unsigned i = 0; i < lines; ++i)
                if (pin(i).port == t.port && !(latch & pin(i).mask()))
                    t.pulled[latch] |= members[i];
}

// ---- LCD and trace ---------------------------------------------------------------

std::vector<Pin> LcdPart::pins() const
{
    std::vector<Pin> all = m_lcd.config().data;
    all.push_back(m_lcd.config().rs);
    if (m_lcd.config().hasRw)
        all.push_back(m_lcd.config().rw);
    all.push_back(m_lcd.config().e);
    return all;
}

void LcdPart::powerOn(uint64_t cycle, const PortState& ports)
{
    m_lcd.powerOn(cycle);
    m_lcd.pinsChanged(cycle, ports);
}

uint8_t TracePart::sample(const PortState& ports) const
{
    uint8_t levels = 0;
    for (size_t i = 0; i < m_pins.size() && i < 8; ++i)
        if (ports.high(m_pins[i]))
            levels |= static_cast<uint8_t>(1u << i);
    return levels;
}

void TracePart::powerOn(uint64_t cycle, const PortState& ports)
{
    m_edges.clear();
    m_edges.push_back({cycle, sample(ports)});
}

void TracePart::pinsChanged(uint64_t cycle, const PortState& ports)
{
    const uint8_t levels = sample(ports);
    if (!m_edges.empty() && m_edges.back().levels == levels)
        return;
    m_edges.push_back({cycle, levels});
    if (m_edges.size() > m_limit)
        m_edges.pop_front();
}

uint8_t TracePart::levelsAt(uint64_t cycle) const
{
    auto after = std::upper_bound(m_edges.begin(), m_edges.end(), cycle,
                                  [](uint64_t c, const Edge& e) { return c < e.cycle; });
    return after == m_edges.begin() ? 0xFF : std::prev(after)->levels;
}

} // namespace board
