#pragma once
// The linker: joins assembled modules (ObjectFile.h) into one program. It
// places every relocatable segment (at the address a placement names, else
// packed into the free room of its space, keeping INPAGE segments in one
// 256-byte page, INBLOCK ones in one 2 KB block, BITADDRESSABLE data in
// 20H-2FH, the register banks the modules use free), joins the segments of
// one name from several modules (one after the other; OVERLAYABLE ones over
// each other), resolves every EXTRN name with the PUBLIC name of another
// module, and fills in each fixup with its final value, checking that it fits
// the field. Like Assemble it is pure: no files, never throws on any input;
// every problem is an AsmError naming the module's source and line.

#include "assembler/Assembler.h"
#include "assembler/ObjectFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

struct Placement {
    std::string segment;  // a segment's name (letter case does not count)
    std::uint32_t address = 0;
};

// "NAME=ADDR" as command lines and project files write a placement, the
// address as 1000H, 0x1000 or decimal: false when it is not one.
bool ParsePlacement(std::string_view text, Placement& placement);

struct LinkOptions {
    std::vector<Placement> placements;
    bool allowOverlap = false;  // code of two modules at one address: the later replaces the earlier
};

struct LinkedSegment {
    std::size_t module = 0;   // index in the modules linked
    std::size_t segment = 0;  // index in that module's segments
    std::string name;         // empty: an absolute piece
    SegmentType type = SegmentType::Code;
    std::uint8_t flags = 0;
    bool absolute = false;
    std::uint32_t address = 0;  // bytes; bits in the bit space for BIT segments
    std::uint32_t size = 0;
};

struct LinkedSymbol {
    std::string name;
    SymbolKind kind = SymbolKind::Code;
    std::int32_t value = 0;
    std::size_t module = 0;
    int line = 0;
    bool isPublic = false;
};

struct LinkResult {
    // The linked program: image, written, lowest/highest/empty, HEX, the
    // errors (each with the module's source as its file; file empty and
    // line 0 for a problem of the options) and the public names as symbols.
    AssembleResult program;
    std::vector<LinkedSegment> segments;  // every module's, in the order of the modules
    std::vector<LinkedSymbol> symbols;    // every module's names with their final values
    // For each module: the address of each of its segments, the value of
    // each of its external names (what AssembleOptions::segmentBases and
    // externalValues take to list it at its final addresses).
    std::vector<std::vector<std::uint32_t>> bases;
    std::vector<std::vector<std::int32_t>> externValues;
    std::string map;  // segments, addresses, sizes and public names, CR LF line ends
};

LinkResult Link(const std::vector<ObjectModule>& modules, const LinkOptions& options = {});

} // namespace m51asm
