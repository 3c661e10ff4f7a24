#include "sim/Machine.h"

#include "sim/Clocking.h"
#include "sim/Sfr.h"
#include "sim/StateCheck.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstring>

namespace sim {

using namespace sfr;

namespace {

constexpr uint32_t snapshotMagic = 0x4D353153;  // "S15M"
// Saved states are read back by size: new state goes into what was padding.
static_assert(sizeof(CoreState) == 512, "earlier saved states would no longer load");

void putBytes(std::vector<uint8_t>& out, const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
}

}  // namespace

Machine::Machine(const Chip& chip, const Board& board)
    : m_chip(chip), m_board(board), m_code(65536, 0xFF), m_xram(65536, 0), m_decoded(65536), m_counts(65536),
      m_breaks(65536), m_loops(65536), m_watchIram(256), m_watchSfr(128), m_watchXram(65536), m_watchCode(65536)
{
    // Padding too: a snapshot copies the state's bytes, and two machines in
    // the same state must give the same ones.
    std::memset(static_cast<void*>(&m_s), 0, sizeof m_s);
    m_flowEnd = m_flows.data();
    m_board.xramSize = std::min(m_board.xramSize, 65536u);
    m_iramMask = chip.iramSize > 128 ? 0xFF : 0x7F;
    m_shared = m_board.sharedFrom <= m_board.sharedTo;
    // The moment and the place of its making: no other machine numbers its memory's versions from here.
    m_versionBase = (static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                     static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)) << 20) | 1;
    if (m_board.ramSeed) {
        uint32_t x = m_board.ramSeed;
        auto next = [&x] {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            return static_cast<uint8_t>(x);
        };
        for (uint8_t& b : m_s.iram)
            b = next();
        for (uint8_t& b : m_xram)
            b = next();
    }
    std::fill(std::begin(m_s.drive), std::end(m_s.drive), 0xFF);
    // Erased code memory: no jump closes a loop, and every word is decoded when first made.
    m_fetch = m_code.data();
    if (m_shared)
        buildCodeView();
    reset();
}

void Machine::buildCodeView()
{
    if (!m_shared) {
        m_fetch = m_code.data();
    } else {
        m_view = m_code;
        std::copy(m_xram.begin() + m_board.sharedFrom, m_xram.begin() + std::min(m_board.sharedTo, 0xFFFFu) + 1,
                  m_view.begin() + m_board.sharedFrom);
        m_fetch = m_view.data();
    }
    findLoops(0, 65536);
    m_decoded.clear();
    lookNow();
}

void Machine::redecode(uint16_t address)
{
    redecode(address, address + 1u);
}

void Machine::redecode(unsigned first, unsigned end)
{
    // A loop's jump stands at most kLoopReach bytes after a byte of its body,
    // or its own operands hold the byte.
    const unsigned to = std::min(end + kLoopReach, 65536u);
    findLoops(first >= 2 ? first - 2u : 0u, to);
    forgetWords(first, to);
}

void Machine::loadCode(const uint8_t* bytes, size_t size, unsigned base)
{
    m_memoryMoved = true;
    const unsigned end = static_cast<unsigned>(std::min<size_t>(base + size, 65536));
    if (base >= end)
        return;
    if (m_shared) {
        std::copy(bytes, bytes + (end - base), m_code.begin() + base);
        buildCodeView();
        return;
    }
    // Only the bytes that change are decoded again: an image is mostly the
    // erased bytes already there.
    for (unsigned a = base; a < end;) {
        // Equal blocks skipped a block at a time (memcmp is vectorised).
        constexpr unsigned kBlock = 64;
        while (end - a >= kBlock && std::memcmp(bytes + (a - base), m_code.data() + a, kBlock) == 0)
            a += kBlock;
        a += static_cast<unsigned>(std::mismatch(bytes + (a - base), bytes + (end - base), m_code.begin() + a).first -
                                   (bytes + (a - base)));
        if (a == end)
            break;
        const unsigned first = a;
        for (unsigned same = 0; a < end && same <= kLoopReach; ++a) {
            same = m_code[a] == bytes[a - base] ? same + 1 : 0;
            m_code[a] = bytes[a - base];
        }
        redecode(first, a);
    }
}

void Machine::reset()
{
    std::memset(m_s.sfr, 0, sizeof m_s.sfr);
    m_s.sfr[idx(P0)] = m_s.sfr[idx(P1)] = m_s.sfr[idx(P2)] = m_s.sfr[idx(P3)] = 0xFF;
    m_s.sfr[idx(SP)] = 0x07;
    m_s.pc = 0;
    m_s.cycles = 0;
    m_s.instructions = 0;
    m_s.inService = 0;
    m_s.holdOff = 0;
    m_s.pendingSource = 0xFF;
    m_s.idle = m_s.powerDown = 0;
    m_s.dpl1 = m_s.dph1 = 0;
    m_s.dptrSel = 0;
    m_s.txActive = 0;
    m_s.txWaiting = 0;
    m_s.txBits = 0;
    m_s.txTicks = 0;
    m_s.txLevel = 1;
    m_s.sbufRead = 1;
    m_s.riClearSince = UINT64_MAX;
    m_s.rxActive = 0;
    m_s.rxPrev = 1;
    m_s.serialDiv = 0;
    m_s.mode0Cycles = 0;
    m_s.idealPending = 0;
    m_s.lineLevel = 1;
    m_s.lineActive = 0;
    m_s.lineBitCycles = m_board.lineBaud > 0 ? m_board.crystalHz / 12.0 / m_board.lineBaud : 0;
    m_lineSteady = 0;
    lineRate();
    m_s.t2outLow = 0;
    m_s.prevInt0 = m_s.prevInt1 = m_s.prevT0 = m_s.prevT1 = m_s.prevT2 = m_s.prevT2ex = 1;
    outsideMoved();
    inputsWatched(false);
    for (unsigned p = 0; p < 4; ++p)
        m_s.pinsOut[p] = pinLevels(p);
    m_stopRequest.store(false, std::memory_order_relaxed);
    m_sample = true;
    clockEachStep();
    needPoll();
    attend();
}

void Machine::watchHit(Space space, unsigned address, bool write)
{
    const ZeroTable<uint8_t>* table = space == Space::Iram  ? &m_watchIram
                                        : space == Space::Sfr ? &m_watchSfr
                                        : space == Space::Xram ? &m_watchXram
                                                               : &m_watchCode;
    const unsigned i = space == Space::Sfr ? (address & 0x7F) : address;
    if ((*table)[i] & (write ? 2 : 1)) {
        if (!m_watchTripped)
            m_hit = Hit{space, address, write};
        m_watchTripped = true;
    }
}

void Machine::requestStop()
{
    m_stopRequest.store(true);
    m_attention.store(true);
    lookNow();
}

uint8_t Machine::read(Space space, unsigned address) const
{
    switch (space) {
    case Space::Iram:
        return m_s.iram[address & 0xFF];
    case Space::Sfr:
        if (address == ACC || address == PSW) {
            const uint8_t a = m_s.sfr[idx(ACC)];
            const uint8_t psw = static_cast<uint8_t>((m_s.sfr[idx(PSW)] & ~PAR) | (std::popcount(a) & 1));
            return address == ACC ? a : psw;
        }
        return m_s.sfr[(address - 0x80) & 0x7F];
    case Space::Xram:
        return address < m_board.xramSize ? m_xram[address & 0xFFFF] : 0xFF;
    case Space::Code:
        return fetchCode(static_cast<uint16_t>(address));
    }
    return 0xFF;
}

void Machine::write(Space space, unsigned address, uint8_t value)
{
    needPoll();
    switch (space) {
    case Space::Iram:
        m_s.iram[address & 0xFF] = value;
        break;
    case Space::Sfr:
        changing();
        m_sample = true;
        m_s.sfr[(address - 0x80) & 0x7F] = value;
        if (address == ACC || address == PSW)
            setParity();
        outsideMoved();  // SCON, T2CON or T2MOD may hand a pin to a peripheral
        inputsWatched();
        portsChanged();
        break;
    case Space::Xram:
        if (address < m_board.xramSize)
            storeXram(static_cast<uint16_t>(address), value);
        break;
    case Space::Code:
        if (inShared(address)) {
            storeXram(static_cast<uint16_t>(address), value);
        } else {
            m_memoryMoved = true;
            m_code[address & 0xFFFF] = value;
            if (m_shared)
                m_view[address & 0xFFFF] = value;
            redecode(static_cast<uint16_t>(address));
        }
        break;
    }
}

void Machine::setListener(Listener* listener)
{
    changing();
    m_listener = listener;
    m_followLine = listener && listener->followsLine();
    m_followPins = listener && listener->followsPins();
    for (unsigned p = 0; p < 4; ++p)
        m_heard[p] = listener ? 0xFF : m_watched[p];
}

void Machine::setCodeBreakpoint(uint16_t address, bool on)
{
    m_breaks[address] = on;
    forgetWords(address, address + 1u);
}

void Machine::markSteps(std::vector<uint8_t> marks)
{
    m_marks = std::move(marks);
    if (!m_marks.empty())
        m_marks.resize(65536, 0);
    m_decoded.clear();
    lookNow();
}

void Machine::clearCodeBreakpoints()
{
    for (unsigned a = 0; a < 65536; ++a) {
        if (m_breaks[a]) {
            m_breaks[a] = 0;
            forgetWords(a, a + 1);
        }
    }
}

void Machine::setWatch(Space space, unsigned address, bool onRead, bool onWrite)
{
    changing();
    const uint8_t bits = static_cast<uint8_t>((onRead ? 1 : 0) | (onWrite ? 2 : 0));
    switch (space) {
    case Space::Iram: m_watchIram[address & 0xFF] = bits; break;
    case Space::Sfr: m_watchSfr[address & 0x7F] = bits; break;
    case Space::Xram: m_watchXram[address & 0xFFFF] = bits; break;
    case Space::Code: m_watchCode[address & 0xFFFF] = bits; break;
    }
    attend();
    m_anyWatch = false;
    for (const auto* t : {&m_watchIram, &m_watchSfr, &m_watchXram, &m_watchCode})
        m_anyWatch = m_anyWatch || std::any_of(t->begin(), t->end(), [](uint8_t b) { return b != 0; });
}

void Machine::clearWatches()
{
    for (auto* t : {&m_watchIram, &m_watchSfr, &m_watchXram, &m_watchCode})
        t->clear();
    m_anyWatch = false;
}

void Machine::setCondition(bool (*condition)(const Machine&, void*), void* context)
{
    changing();
    attend();
    m_condition = condition;
    m_conditionContext = context;
}

void Machine::clearExecutionCounts()
{
    m_counts.clear();
    lookNow();
}

// Layout: magic, size of the core state, the state, code, xram, the queue of
// bytes waiting for RXD.
Snapshot Machine::snapshot() const
{
    Snapshot shot;
    snapshot(shot);
    return shot;
}

void Machine::snapshot(Snapshot& shot) const
{
    auto& out = shot.data;
    const uint32_t head[2] = {snapshotMagic, static_cast<uint32_t>(sizeof m_s)};
    const size_t stateEnd = sizeof head + sizeof m_s, memoryEnd = stateEnd + 2 * 65536;
    // Code and xram are copied only when the bytes do not hold them already.
    if (m_memoryMoved || shot.memoryVersion != m_memoryVersion || out.size() < memoryEnd) {
        if (m_memoryMoved) {
            m_memoryVersion = m_memoryVersion ? m_memoryVersion + 1 : m_versionBase;
            m_memoryMoved = false;
        }
        shot.memoryVersion = m_memoryVersion;
        out.clear();
        out.reserve(memoryEnd + 4 + m_rxQueue.size());
        out.resize(stateEnd);
        putBytes(out, m_code.data(), m_code.size());
        putBytes(out, m_xram.data(), m_xram.size());
    }
    std::memcpy(out.data(), head, sizeof head);
    std::memcpy(out.data() + sizeof head, &m_s, sizeof m_s);
    // PSW.P as it reads: the instructions leave it to be worked out from A.
    out[sizeof head + offsetof(CoreState, sfr) + idx(PSW)] = read(Space::Sfr, PSW);
    out.resize(memoryEnd);
    const uint32_t queued = static_cast<uint32_t>(m_rxQueue.size());
    putBytes(out, &queued, sizeof queued);
    out.insert(out.end(), m_rxQueue.begin(), m_rxQueue.end());
}

bool Machine::restore(const Snapshot& shot)
{
    const auto& in = shot.data;
    const size_t fixed = 8 + sizeof m_s + 2 * 65536 + 4;
    if (in.size() < fixed)
        return false;
    uint32_t head[2];
    std::memcpy(head, in.data(), sizeof head);
    uint32_t queued;
    std::memcpy(&queued, in.data() + fixed - 4, 4);
    if (head[0] != snapshotMagic || head[1] != sizeof m_s || in.size() != fixed + queued)
        return false;
    if (!snapshotFieldProblem(in).empty())
        return false;
    const uint8_t* p = in.data() + 8;
    std::memcpy(&m_s, p, sizeof m_s);
    outsideMoved();
    inputsWatched(false);
    p += sizeof m_s;
    // Code rarely differs from a snapshot's: decoded again only when it does
    // (or when fetches see xram).
    const bool sameCode = std::equal(p, p + 65536, m_code.begin());
    if (!sameCode)
        std::copy(p, p + 65536, m_code.begin());
    p += 65536;
    std::copy(p, p + 65536, m_xram.begin());
    p += 65536 + 4;
    // Code and xram are now the snapshot's: the same version when this machine made it.
    m_memoryMoved = shot.memoryVersion == 0;
    m_memoryVersion = shot.memoryVersion;
    m_rxQueue.assign(p, p + queued);
    m_lineSteady = 0;
    lineRate();
    if (!sameCode || m_shared)
        buildCodeView();
    m_sample = true;
    clockEachStep();
    needPoll();
    attend();
    return true;
}

}  // namespace sim
