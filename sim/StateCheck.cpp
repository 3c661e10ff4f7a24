#include "sim/StateCheck.h"

#include <cmath>
#include <cstring>

namespace sim {

namespace {

constexpr uint32_t kSnapshotMagic = 0x4D353153;  // as Machine::snapshot() writes it
constexpr size_t kSpaces = 2 * 65536;             // code and external RAM
constexpr unsigned kFrameBits = 11;               // start, 8 data, a ninth bit, stop

struct Range {
    const char* name;
    uint64_t value;
    uint64_t lowest, highest;
};

std::string outside(const Range& r)
{
    return std::string(r.name) + " is " + std::to_string(r.value) + ", not " + std::to_string(r.lowest) + " to " +
           std::to_string(r.highest);
}

}  // namespace

std::string snapshotFieldProblem(const std::vector<uint8_t>& bytes)
{
    const size_t fixed = 8 + sizeof(CoreState) + kSpaces + 4;
    if (bytes.size() < fixed)
        return {};
    uint32_t head[2];
    std::memcpy(head, bytes.data(), sizeof head);
    if (head[0] != kSnapshotMagic || head[1] != sizeof(CoreState))
        return {};
    CoreState s;
    std::memcpy(&s, bytes.data() + 8, sizeof s);

    const bool receiving = s.rxActive != 0;
    const Range ranges[] = {
        {"inService", s.inService, 0, 3},
        {"holdOff", s.holdOff, 0, 1},
        {"idle", s.idle, 0, 1},
        {"powerDown", s.powerDown, 0, 1},
        {"prevInt0", s.prevInt0, 0, 1},
        {"prevInt1", s.prevInt1, 0, 1},
        {"prevT0", s.prevT0, 0, 1},
        {"prevT1", s.prevT1, 0, 1},
        {"prevT2", s.prevT2, 0, 1},
        {"prevT2ex", s.prevT2ex, 0, 1},
        {"dptrSel", s.dptrSel, 0, 1},
        {"txActive", s.txActive, 0, 1},
        {"txLevel", s.txLevel, 0, 1},
        {"txBits", s.txBits, 0, kFrameBits},
        {"txTicks", s.txTicks, 0, 15},
        {"txWaiting", s.txWaiting, 0, 1},
        {"rxActive", s.rxActive, 0, 1},
        {"rxBits", s.rxBits, 0, kFrameBits - 1},
        {"rxTicks", s.rxTicks, 0, receiving ? 8u + 16u * s.rxBits : 16u * kFrameBits},
        {"rxPrev", s.rxPrev, 0, 1},
        {"serialDiv", s.serialDiv, 0, 1},
        {"mode0Cycles", s.mode0Cycles, 0, 8},
        {"lineLevel", s.lineLevel, 0, 1},
        {"lineActive", s.lineActive, 0, 1},
        {"lineBits", s.lineBits, 0, kFrameBits},
        {"idealPending", s.idealPending, 0, 1},
        {"sbufRead", s.sbufRead, 0, 1},
        {"t2outLow", s.t2outLow, 0, 1},
    };
    for (const Range& r : ranges)
        if (r.value < r.lowest || r.value > r.highest)
            return outside(r);
    if (s.pendingSource != 0xFF && s.pendingSource > 5)
        return "pendingSource is " + std::to_string(s.pendingSource) + ", not 0 to 5 or 255 (none)";
    // A bit on the outside line lasts at least a machine cycle (0: the line
    // follows the program's own rate); its next edge is never far ahead of
    // the time the line runs on.
    if (!std::isfinite(s.lineBitCycles) || (s.lineBitCycles != 0 && (s.lineBitCycles < 1 || s.lineBitCycles > 1e9)))
        return "lineBitCycles is outside a serial line's bit time";
    const bool own = s.lineBitCycles <= 0;
    const double now = own ? static_cast<double>(s.lineOwnTicks) : static_cast<double>(s.cycles);
    const double bit = own ? 16.0 : s.lineBitCycles;
    if (!std::isfinite(s.lineNext) || s.lineNext < 0 || s.lineNext > now + 2 * kFrameBits * bit)
        return "lineNext is outside the line's time";
    return {};
}

}  // namespace sim
