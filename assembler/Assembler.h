#pragma once
// The 8051 assembler's public face: one call turns a source in the Intel ASM51
// dialect (as m51c writes it, as users write it after "ASM:", and as programs
// for ASM51, Metalink ASM51 and ASEM-51 are written: include files, macros,
// conditional assembly, absolute segments) into a code image, its Intel HEX and
// binary forms, a listing, the errors and the map from source lines to the code
// bytes they produced. All text is code page 1250 bytes (one character a byte);
// nothing here touches files or Qt: include files come through the caller's
// readFile.

#include "assembler/Dialect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

struct ObjectModule;  // ObjectFile.h

// One problem, on the line it belongs to.
struct AsmError {
    int line = 0;          // 1-based line in `file`
    std::string message;
    std::string file;      // the include file the line is written in, as found; empty: the source
    std::string context;   // how that line was reached when not read straight from the source:
                           // "included from main.a51:3", "in macro SEND, called on line 20"
};

// A source line that emitted code bytes: `size` bytes from `address` on.
// Lines that only move the location counter (ORG, DS, labels) have no entry.
// Code from an include file or a macro expansion counts for the line of the
// source that included or called it.
struct AddressMapEntry {
    int line = 0;  // 1-based line of the .asm source
    std::uint16_t address = 0;
    std::uint16_t size = 0;

    friend bool operator==(const AddressMapEntry&, const AddressMapEntry&) = default;
};

// What a symbol names, as the listing's symbol table shows it.
enum class SymbolKind {
    Code,    // label or CODE: "C ADDR"
    Data,    // DATA: "D ADDR"
    IData,   // IDATA: "I ADDR"
    XData,   // XDATA: "X ADDR"
    Bit,     // BIT: "B ADDR"
    Number,  // EQU or SET: "NUMB"
    Register // EQU of a register (R0-R7, A, C, DPTR, AB): "REG"
};

// A symbol the source defined (predefined register names are left out).
struct Symbol {
    std::string name;  // as first written in the source
    SymbolKind kind = SymbolKind::Number;
    std::int32_t value = 0;  // address, bit address or number; register number for Register
    int line = 0;            // 1-based line of its definition (in the file it is written in)
    bool redefinable = false; // defined with SET
};

struct AssembleOptions {
    // Name used in the listing's title line.
    std::string fileName;
    // Make the listing at all (a caller that only wants the image saves the time).
    bool listing = true;
    // List every line, even between $NOLIST and $LIST (a debugger that reads
    // the address map back from the listing needs all of them).
    bool ignoreNolist = false;
    // Code written twice at one address is an error (an ORG that places code
    // over earlier code, an interrupt vector over the program); allowing it
    // lets later code replace earlier code silently, as overlays do.
    bool allowOverlap = false;
    // Generic JMP and CALL. By default as ASM51-family assemblers choose, so
    // that existing programs keep their images: a target defined above gives
    // SJMP (JMP only) when in reach, else AJMP/ACALL in the same 2 KB page,
    // else LJMP/LCALL; a target not yet defined gives LJMP/LCALL. With
    // shortestJumps the shortest form that reaches, whichever way it lies
    // (Zelvar builds m51c's programs so).
    bool shortestJumps = false;
    // The dialect the source is written in (number forms, directive
    // spellings, the jump rule ...): see Dialect.h. Auto reads a source with
    // as31's dot directives as as31 and any other as ASM51.
    Dialect dialect = Dialect::Auto;

    // Include files ($INCLUDE(name), $MODxxx register files): the name is looked
    // up beside the including file (the source is at sourcePath), then in each
    // of includeDirs, then in registerDir, the register files that come with
    // m51as. readFile fills `bytes` with a file's contents or returns false;
    // without it no include file is found.
    std::string sourcePath;
    std::vector<std::string> includeDirs;
    std::string registerDir;
    std::function<bool(const std::string& path, std::string& bytes)> readFile;
    // Modules (m51as -c): relocatable segments (SEGMENT, RSEG), PUBLIC, EXTRN
    // and NAME are allowed, and the result's `object` is the module for the
    // linker (Linker.h) instead of an image. Without it they are an error.
    bool module = false;
    // A module assembled again at the addresses the linker gave it: the
    // bases of its relocatable segments (in the order they are declared) and
    // the values of its external names (in the order EXTRN names them). The
    // image, listing and address map are then those of the linked program.
    bool placed = false;
    std::vector<std::uint32_t> segmentBases;
    std::vector<std::int32_t> externalValues;

    // After readFile failed: why the path holds no file to read ("is a folder,
    // not a file", "is larger than the limit of 64 MB"), "" when nothing is there.
    std::function<std::string(const std::string& path)> unreadable;
};

struct AssembleResult {
    // The 64 KB code space: image[a] is the byte at address a (0FFH where
    // nothing was written), written[a] tells whether the source put a byte there.
    std::vector<std::uint8_t> image;
    std::vector<bool> written;
    // The lowest and highest address written; both 0 and `empty` true when the
    // program has no code bytes.
    std::uint16_t lowest = 0;
    std::uint16_t highest = 0;
    bool empty = true;

    std::string hex;      // Intel HEX, CR LF line ends, 16 bytes a record
    std::string listing;  // CR LF line ends; empty when options.listing is false

    std::vector<AsmError> errors;             // in line order
    std::vector<AsmError> warnings;           // $WARNING, #warning: reported, the image is still made
    Dialect dialect = Dialect::Asm51;         // the dialect the source was read in (never Auto)
    std::vector<AddressMapEntry> addressMap;  // in line order
    std::vector<Symbol> symbols;              // sorted by name
    // With options.module (and not placed): the module to write as an
    // object file (ObjectFile.h).
    std::shared_ptr<const ObjectModule> object;

    // Binary image as EPROM programmers expect it: from the lowest to the
    // highest address written, gaps filled with 0FFH; empty without code.
    std::vector<std::uint8_t> Binary() const;
};

// Assembles one source. Never throws on any input (apart from running out of
// memory); every problem is an AsmError on its line.
AssembleResult Assemble(std::string_view source, const AssembleOptions& options = {});

// Reads the address map back out of a listing written by Assemble (CR LF or
// LF line ends). For a listing made with every line listed it equals the
// result's addressMap; lines hidden by $NOLIST are missing from it.
std::vector<AddressMapEntry> ReadListingAddressMap(std::string_view listingText);

// The source split into lines as the editor and m51c split them: at CR LF, LF
// or a lone CR; a final line break adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view source);

// What a word of an assembly line is to the assembler in any of its dialects
// (any letter case, without as31's leading dot), so that the editor colours
// exactly the words the assembler reads: an instruction, a directive (ORG,
// SEGMENT, RSEG, MACRO, IFDEF, sfr, .byte ...), or neither.
enum class WordKind { Other, Instruction, Directive };
WordKind KindOfWord(std::string_view word);

} // namespace m51asm
