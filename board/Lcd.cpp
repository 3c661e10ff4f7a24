#include "board/Lcd.h"

#include <algorithm>

namespace board {

namespace {

constexpr double ShortUs = 37.0;    // most instructions and data at 270 kHz
constexpr double LongUs = 1520.0;   // clear display, return home
constexpr double PowerOnUs = 10000.0;

// The A00 characters from 0E0H: Greek letters and symbols.
const char* const HighSymbols[32] = {
    "α", "ä", "β", "ε", "μ", "σ", "ρ", "g", "√", "⁻", "j", "ˣ", "¢", "£", "ñ", "ö",
    "p", "q", "θ", "∞", "Ω", "ü", "Σ", "π", "x̄", "y", "千", "万", "円", "÷", " ", "█",
};

std::string Utf8(unsigned codePoint)
{
    std::string out;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    return out;
}

} // namespace

Lcd::Lcd(Config config, double crystalHz)
    : m_config(std::move(config)), m_cyclesPerSecond(crystalHz / 12.0)
{
    powerOn(0);
}

std::string Lcd::CharacterText(uint8_t code)
{
    if (code < 0x10)
        return "?";
    if (code == 0x5C)
        return "¥";
    if (code == 0x7E)
        return "→";
    if (code == 0x7F)
        return "←";
    if (code >= 0x20 && code < 0x7E)
        return std::string(1, static_cast<char>(code));
    if (code >= 0xA1 && code <= 0xDF)
        return Utf8(0xFF61 + (code - 0xA1));  // the half-width katakana of JIS X 0201
    if (code >= 0xE0)
        return HighSymbols[code - 0xE0];
    return " ";
}

void Lcd::powerOn(uint64_t cycle)
{
    m_ddram.fill(0x20);
    m_ac = 0;
    m_toCgram = false;
    m_increment = true;
    m_shiftOnWrite = false;
    m_displayOn = m_cursorOn = m_blinkOn = false;
    m_eightBit = true;
    m_twoLines = false;
    m_shift = 0;
    m_secondNibble = false;
    m_reading = false;
    m_e = false;
    m_writesWhileBusy = 0;
    m_busyUntil = cycle + static_cast<uint64_t>(PowerOnUs * 1e-6 * m_cyclesPerSecond + 0.5);
}

void Lcd::setBusy(uint64_t cycle, double microsecondsAt270k)
{
    const double seconds = microsecondsAt270k * 1e-6 * 270000.0 / m_config.oscHz;
    m_busyUntil = std::max(m_busyUntil, cycle + static_cast<uint64_t>(seconds * m_cyclesPerSecond + 0.5));
}

uint8_t Lcd::dataPins(const PortState& ports) const
{
    uint8_t value = 0;
    for (size_t i = 0; i < m_config.data.size(); ++i)
        if (ports.high(m_config.data[i]))
            value |= static_cast<uint8_t>(1u << i);
    return value;
}

void Lcd::pinsChanged(uint64_t cycle, const PortState& ports)
{
    const bool e = ports.high(m_config.e);
    if (e == m_e)
        return;
    m_e = e;
    const bool rs = ports.high(m_config.rs), rw = m_config.hasRw && ports.high(m_config.rw);
    const bool narrow = m_config.data.size() == 4;
    const bool nibbles = !m_eightBit;  // two transfers a byte
    if (e) {
        if (!rw)
            return;
        if (!nibbles || !m_secondNibble)
            m_readByte = read(cycle, rs);
        m_reading = true;
        if (!narrow)
            m_readValue = m_readByte;
        else
            m_readValue = nibbles && m_secondNibble ? (m_readByte & 0x0F) : (m_readByte >> 4);
        m_readPulls = 0;
        for (size_t i = 0; i < m_config.data.size(); ++i)
            if (!(m_readValue & (1u << i)))
                m_readPulls |= 1u << (8 * m_config.data[i].port + m_config.data[i].bit);
        return;
    }
    // E fell: a write is latched, a read ends.
    if (rw || m_reading) {
        m_reading = false;
        if (nibbles && !m_secondNibble) {
            m_secondNibble = true;
            return;
        }
        m_secondNibble = false;
        if (rs && !busy(cycle)) {  // a data read moves the address counter, as a write does
            afterRead(rs);
            setBusy(cycle, ShortUs);
        }
        return;
    }
    const uint8_t pins = dataPins(ports);
    if (!nibbles) {
        write(cycle, rs, narrow ? static_cast<uint8_t>(pins << 4) : pins);
        return;
    }
    const uint8_t nibble = narrow ? pins : static_cast<uint8_t>(pins >> 4);
    if (!m_secondNibble) {
        m_firstNibble = nibble;
        m_secondNibble = true;
        return;
    }
    m_secondNibble = false;
    write(cycle, rs, static_cast<uint8_t>(m_firstNibble << 4 | nibble));
}

void Lcd::pullsLow(uint8_t low[4]) const
{
    const uint32_t pulled = pulledLow();
    for (unsigned q = 0; q < 4; ++q)
        low[q] |= static_cast<uint8_t>(pulled >> (8 * q));
}

uint8_t Lcd::read(uint64_t cycle, bool rs) const
{
    if (!rs)
        return static_cast<uint8_t>((busy(cycle) ? 0x80 : 0) | (m_ac & 0x7F));
    return m_toCgram ? m_cgram[m_ac & 0x3F] : m_ddram[m_ac & 0x7F];
}

void Lcd::afterRead(bool rs)
{
    if (rs)
        moveAc(m_increment);
}

void Lcd::moveAc(bool forward)
{
    if (m_toCgram) {
        m_ac = static_cast<uint8_t>((m_ac + (forward ? 1 : -1)) & 0x3F);
        return;
    }
    if (!m_twoLines) {
        m_ac = static_cast<uint8_t>(forward ? (m_ac >= 0x4F ? 0 : m_ac + 1) : (m_ac == 0 ? 0x4F : m_ac - 1));
        return;
    }
    if (forward)
        m_ac = m_ac == 0x27 ? 0x40 : m_ac >= 0x67 ? 0x00 : static_cast<uint8_t>(m_ac + 1);
    else
        m_ac = m_ac == 0x40 ? 0x27 : m_ac == 0x00 ? 0x67 : static_cast<uint8_t>(m_ac - 1);
}

void Lcd::write(uint64_t cycle, bool rs, uint8_t value)
{
    if (busy(cycle)) {
        ++m_writesWhileBusy;
        return;
    }
    if (!rs) {
        instruction(cycle, value);
        return;
    }
    if (m_toCgram)
        m_cgram[m_ac & 0x3F] = value & 0x1F;
    else
        m_ddram[m_ac & 0x7F] = value;
    moveAc(m_increment);
    if (m_shiftOnWrite && !m_toCgram)
        m_shift = (m_shift + (m_increment ? 1 : 39)) % 40;
    setBusy(cycle, ShortUs);
}

void Lcd::instruction(uint64_t cycle, uint8_t value)
{
    setBusy(cycle, ShortUs);
    if (value & 0x80) {  // set DDRAM address
        m_toCgram = false;
        m_ac = value & 0x7F;
    } else if (value & 0x40) {  // set CGRAM address
        m_toCgram = true;
        m_ac = value & 0x3F;
    } else if (value & 0x20) {  // function set
        const bool eightBit = value & 0x10;
        if (eightBit != m_eightBit)
            m_secondNibble = false;
        m_eightBit = eightBit;
        m_twoLines = value & 0x08;
    } else if (value & 0x10) {  // cursor or display shift
        const bool right = value & 0x04;
        if (value & 0x08)
            m_shift = (m_shift + (right ? 39 : 1)) % 40;
        else if (!m_toCgram)
            moveAc(right);
    } else if (value & 0x08) {  // display on/off control
        m_displayOn = value & 0x04;
        m_cursorOn = value & 0x02;
        m_blinkOn = value & 0x01;
    } else if (value & 0x04) {  // entry mode set
        m_increment = value & 0x02;
        m_shiftOnWrite = value & 0x01;
    } else if (value & 0x02) {  // return home
        m_toCgram = false;
        m_ac = 0;
        m_shift = 0;
        setBusy(cycle, LongUs);
    } else if (value & 0x01) {  // clear display
        m_ddram.fill(0x20);
        m_toCgram = false;
        m_ac = 0;
        m_shift = 0;
        m_increment = true;
        setBusy(cycle, LongUs);
    }
}

unsigned Lcd::ddramIndex(unsigned row, unsigned column) const
{
    if (!m_twoLines)
        return (column + static_cast<unsigned>(m_shift)) % 80;
    const unsigned line = row % 2, offset = (row / 2) * m_config.columns;
    return line * 0x40 + (offset + column + static_cast<unsigned>(m_shift)) % 40;
}

std::vector<uint8_t> Lcd::rowCodes(unsigned row) const
{
    std::vector<uint8_t> codes(m_config.columns, 0x20);
    if (!m_displayOn || row >= m_config.rows || (!m_twoLines && row > 0))
        return codes;
    for (unsigned c = 0; c < m_config.columns; ++c)
        codes[c] = m_ddram[ddramIndex(row, c)];
    return codes;
}

std::pair<int, int> Lcd::cursorPosition() const
{
    if (m_toCgram)
        return {-1, -1};
    for (unsigned r = 0; r < (m_twoLines ? m_config.rows : 1u); ++r)
        for (unsigned c = 0; c < m_config.columns; ++c)
            if (ddramIndex(r, c) == m_ac)
                return {static_cast<int>(r), static_cast<int>(c)};
    return {-1, -1};
}

std::string Lcd::rowText(unsigned row) const
{
    std::string text;
    for (uint8_t code : rowCodes(row))
        text += CharacterText(code);
    return text;
}

std::array<uint8_t, 8> Lcd::cgramGlyph(uint8_t code) const
{
    std::array<uint8_t, 8> rows{};
    for (unsigned i = 0; i < 8; ++i)
        rows[i] = m_cgram[((code & 7) << 3) | i];
    return rows;
}

} // namespace board
