#pragma once
// The linker's steps, one class over the modules being linked: Linker.cpp
// runs them and writes the map, LinkPlacement.cpp places the segments,
// LinkValues.cpp gives the names their values, copies the code and fills in
// the fixups. Internal to the assembler library.

#include "assembler/Linker.h"

#include "assembler/Characters.h"
#include "assembler/Context.h"
#include "assembler/Operators.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace m51asm::linking {

inline constexpr int kMaxDepth = 32;
inline const char* const kTypeNames[] = {"CODE", "DATA", "IDATA", "BIT", "XDATA"};

inline std::string ValueText(std::int32_t v)
{
    return v < 0 ? std::to_string(v) : Hex4(static_cast<std::uint32_t>(v));
}

// The segments of one name from all modules, placed as one.
struct Group {
    std::string name;
    SegmentType type = SegmentType::Code;
    std::uint8_t flags = 0;
    std::uint32_t size = 0;
    std::vector<std::pair<std::size_t, std::uint32_t>> members;  // (index in m_segments, offset in the group)
    bool placed = false;
    std::uint32_t address = 0;
};

class Linker {
public:
    Linker(const std::vector<ObjectModule>& modules, const LinkOptions& options, LinkResult& r)
        : m_modules(modules), m_options(options), m_r(r)
    {
    }

    void Run();

private:
    void Error(std::size_t module, int line, std::string message);

    void OptionError(std::string message) { m_r.program.errors.push_back({0, std::move(message), {}, {}}); }

    std::string Where(std::size_t module, int line) const;

    // Every module's segments in one list, the relocatable ones grouped by name.
    void Collect();

    std::vector<std::uint8_t>& Space(SegmentType t);

    void Mark(SegmentType t, std::uint32_t address, std::uint32_t size);

    bool Free(SegmentType t, std::uint32_t address, std::uint32_t size);

    void Absolute();

    // The room a segment may take: [low, high) of its space.
    static void Range(SegmentType t, std::uint8_t flags, std::uint32_t& low, std::uint32_t& high);

    static bool Fits(std::uint32_t a, std::uint32_t size, std::uint8_t flags);

    std::string Describe(const Group& g) const;

    void GroupError(const Group& g, const std::string& message);

    void Settle(Group& g, std::uint32_t address);

    void Place();

    // The value of an expression of module `m`.
    bool Evaluate(std::size_t m, const std::vector<ObjectStep>& steps, std::int32_t& value, int line, int depth);

    void Publics();

    enum State : std::uint8_t { Unknown, Busy, Known, Failed };

    bool Symbol(std::size_t m, std::size_t i, std::int32_t& value, int depth);

    bool Extern(std::size_t m, std::size_t e, std::int32_t& value, int depth);

    void Externs();

    void Symbols();

    void Code();

    void Fixups();

    void Finish();

    std::string MakeMap() const;

    const std::vector<ObjectModule>& m_modules;
    const LinkOptions& m_options;
    LinkResult& m_r;
    std::vector<std::uint8_t> m_code, m_xdata, m_ram, m_bits;  // room taken
    std::vector<std::uint64_t> m_writtenBits;
    std::vector<Group> m_groups;
    std::map<std::string, std::pair<std::size_t, std::size_t>> m_publics;  // name in capitals: (module, symbol)
    std::vector<std::vector<std::uint8_t>> m_publicValues;  // State of each module's symbols
    std::map<std::pair<std::size_t, std::size_t>, std::int32_t> m_symbolValue;
    std::vector<std::vector<std::uint8_t>> m_externState;
};

} // namespace m51asm::linking
