// Programs written for ASM51, Metalink ASM51 and ASEM-51: include files and
// register files, macros, conditional assembly, absolute segments, the
// expressions and controls met in them, the ASM51 rule for generic JMP and
// CALL, the listing's marks, and hostile sources that must end in bounded
// time with an error naming the limit.
#include "assembler/Assembler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

using m51asm::Assemble;
using m51asm::AssembleOptions;
using m51asm::AssembleResult;

namespace {

// "file:line: message (context)" per error, the source's file shown as "-".
std::string Errors(const AssembleResult& r)
{
    std::string text;
    for (const auto& e : r.errors)
        text += (e.file.empty() ? "-" : e.file) + ":" + std::to_string(e.line) + ": " + e.message +
                (e.context.empty() ? "" : " (" + e.context + ")") + "\n";
    return text;
}

// Include files from memory.
AssembleOptions Files(const std::map<std::string, std::string>& files)
{
    AssembleOptions o;
    o.sourcePath = "src/main.a51";
    o.includeDirs = {"inc"};
    o.registerDir = "regs";
    o.readFile = [files](const std::string& path, std::string& bytes) {
        const auto it = files.find(path);
        if (it == files.end())
            return false;
        bytes = it->second;
        return true;
    };
    return o;
}

std::string Code(const AssembleResult& r)
{
    std::string hex;
    char b[4];
    for (std::uint8_t v : r.Binary()) {
        std::snprintf(b, sizeof b, "%02X", v);
        hex += b;
    }
    return hex;
}

const m51asm::Symbol* Find(const AssembleResult& r, const std::string& name)
{
    for (const auto& s : r.symbols)
        if (s.name == name)
            return &s;
    return nullptr;
}

} // namespace

TEST(Reader, IncludeFilesAreFoundInOrderAndReportTheirLines)
{
    const auto files = Files({
        {"src/local.inc", "X EQU 1\n"},
        {"inc/dir.inc", "Y EQU 2\n$include(nested.inc)\n"},
        {"inc/nested.inc", "Z EQU 3\n"},
        {"regs/REG.MCU", "W DATA 90H\n"},
        {"src/bad.inc", "NOP\nMOV A,UNDEFINED\n"},
        {"src/a.inc", "$INCLUDE(b.inc)\n"},
        {"src/b.inc", "$INCLUDE(a.inc)\n"},
    });
    struct Case {
        const char* source;
        const char* code;
        const char* errors;
    };
    const Case cases[] = {
        {"$INCLUDE(local.inc)\nDB X\n", "01", ""},
        {"  $NOLIST Include (dir.inc) LIST\nDB Y,Z\n", "0203", ""},
        {"$NOMOD51\n$INCLUDE(reg.mcu)\nMOV W,#1\n", "759001", ""},
        {"$INCLUDE(..\\src\\local.inc)\nDB X\n", "01", ""},
        {"NOP\n$INCLUDE(bad.inc)\n", "",
         "src/bad.inc:2: undefined symbol UNDEFINED (included from src/main.a51:2)\n"},
        {"$INCLUDE(a.inc)\n", "",
         "src/b.inc:1: include cycle: src/a.inc is already being read (included from src/a.inc:1, included "
         "from src/main.a51:1)\n"},
        {"$INCLUDE(none.inc)\n", "",
         "-:1: include file none.inc not found (looked beside the including file, in the -I folders and among "
         "the register files of m51as)\n"},
        {"$MOD8052X\n", "",
         "-:1: $MOD8052X: no register file MOD8052X or 8052X.MCU found (beside the source, in the -I folders or "
         "among the register files of m51as)\n"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source, files);
        EXPECT_EQ(Errors(r), c.errors) << c.source;
        if (!*c.errors) {
            EXPECT_EQ(Code(r), c.code) << c.source;
        }
    }
}

TEST(Reader, MacrosRepetitionsAndTheirErrors)
{
    struct Case {
        const char* source;
        const char* code;
        const char* errors;
    };
    const Case cases[] = {
        // Parameters in operands, labels and strings; & joins; ;; comments go.
        {"PUT MACRO V, L\nL&_X: MOV A,#V ;; gone\nDB 'V'\nENDM\nPUT 5, ONE\nPUT <7>, TWO\nSJMP TWO_X\n",
         "74053574073780FB", ""},
        // LOCAL labels differ per call; EXITM leaves early; IFB on a missing argument.
        {"W MACRO N\nLOCAL L\nL: DJNZ R7,L\nIFB <N>\nEXITM\nENDIF\nDB N\nENDM\nW 3\nW\n", "DFFE03DFFE", ""},
        {"REPT 3\nNOP\nENDM\nIRP R,<R0,R1>\nINC R\nENDM\nIRPC C,AB\nDB 'C'\nENDM\n", "0000000809" "4142", ""},
        // A macro that defines a macro, and calls nested in calls.
        {"OUTER MACRO\nINNER MACRO X\nDB X\nENDM\nENDM\nOUTER\nTWICE MACRO Y\nINNER Y\nINNER Y+1\nENDM\nTWICE 7\n",
         "0708", ""},
        {"M MACRO\nMOV A,NOWHERE\nENDM\nNOP\nM\n", "",
         "-:2: undefined symbol NOWHERE (in macro M, called at line 5)\n"},
        {"M MACRO A1\nNOP\nENDM\nM 1,2\n", "", "-:4: macro M takes 1 parameter, not 2\n"},
        {"ENDM\nEXITM\nM MACRO\nNOP\n", "",
         "-:1: ENDM without MACRO, REPT, IRP or IRPC\n-:2: EXITM outside a macro\n-:3: M without ENDM\n"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source);
        EXPECT_EQ(Errors(r), c.errors) << c.source;
        if (!*c.errors) {
            EXPECT_EQ(Code(r), c.code) << c.source;
        }
    }
}

TEST(Reader, ConditionalAssembly)
{
    struct Case {
        const char* source;
        const char* code;
    };
    const Case cases[] = {
        {"X EQU 2\nIF X EQ 1\nDB 1\nELSEIF X = 2\nDB 2\nELSE\nDB 3\nENDIF\n", "02"},
        {"IF 0\nIF 1\nDB 1\nELSE\nDB 2\nENDIF\nELSE\nDB 3\nENDIF\n", "03"},
        {"IFDEF P1\nDB 1\nENDIF\nIFNDEF NOPE\nDB 2\nENDIF\n$NOMOD51\nIFDEF P1\nDB 3\nENDIF\n", "0102"},
        {"IFIDN <ab>,<AB>\nDB 1\nENDIF\nIFDIF <a>,<b>\nDB 2\nENDIF\nIFNB <x>\nDB 3\nENDIF\n", "010203"},
        {"$SET(FAST = 1, BIG)\n$RESET(BIG)\n$IF FAST AND NOT BIG\nDB 1\n$ELSEIF BIG\nDB 2\n$ELSE\nDB 3\n$ENDIF\n", "01"},
        {"N SET 0\nREPT 4\nN SET N+1\nIF N > 2\nDB N\nENDIF\nENDM\n", "0304"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source);
        EXPECT_EQ(Errors(r), "") << c.source;
        EXPECT_EQ(Code(r), c.code) << c.source;
    }
    EXPECT_EQ(Errors(Assemble("IF LATER\nENDIF\nLATER:\nENDIF\nIF 1\n")),
              "-:1: IF needs a value from names defined above it: LATER\n-:4: ENDIF without IF\n"
              "-:5: IF without ENDIF before the end of the file\n");
}

TEST(Reader, SegmentsHaveTheirOwnCountersAndTypes)
{
    const AssembleResult r = Assemble(
        "DSEG AT 30H\nCNT: DS 1\nBUF: DS 4\nXSEG AT 8000H\nXB: DS 100H\nXE: DS 1\nBSEG AT 8\nF0X: DBIT 1\nF1X: DBIT 2\n"
        "ISEG AT 80H\nSTK: DS 10H\nCSEG AT 10H\nMOV DPTR,#XE\nSETB F1X\nMOV CNT,#BUF\nDSEG\nMORE: DS 1\nCSEG\nRET\n");
    EXPECT_EQ(Errors(r), "");
    EXPECT_EQ(r.lowest, 0x10);
    EXPECT_EQ(Code(r), "908100D20975303122");
    struct Want {
        const char* name;
        m51asm::SymbolKind kind;
        std::int32_t value;
    };
    const Want wants[] = {{"CNT", m51asm::SymbolKind::Data, 0x30}, {"MORE", m51asm::SymbolKind::Data, 0x35},
                          {"XE", m51asm::SymbolKind::XData, 0x8100}, {"F1X", m51asm::SymbolKind::Bit, 9},
                          {"STK", m51asm::SymbolKind::IData, 0x80}};
    for (const Want& w : wants) {
        const m51asm::Symbol* s = Find(r, w.name);
        ASSERT_NE(s, nullptr) << w.name;
        EXPECT_EQ(s->kind, w.kind) << w.name;
        EXPECT_EQ(s->value, w.value) << w.name;
    }
    EXPECT_NE(r.listing.find("XE  . . . . . . . . . . .  X ADDR  8100H"), std::string::npos);
    EXPECT_EQ(Errors(Assemble("DSEG\nNOP\nDB 1\nBSEG\nDS 1\nX SEGMENT CODE\nRSEG X\nDSEG AT 100H\n")),
              "-:2: an instruction belongs in the code segment (CSEG); this line is in DSEG\n"
              "-:3: DB and DW belongs in the code segment (CSEG); this line is in DSEG\n"
              "-:5: DS does not reserve bits: write DBIT in the bit segment (BSEG)\n"
              "-:6: SEGMENT: relocatable segments and PUBLIC/EXTRN need a linker, which m51as does not have; write "
              "the program with absolute segments (CSEG, DSEG, ISEG, BSEG, XSEG and AT)\n"
              "-:7: RSEG: relocatable segments and PUBLIC/EXTRN need a linker, which m51as does not have; write the "
              "program with absolute segments (CSEG, DSEG, ISEG, BSEG, XSEG and AT)\n"
              "-:8: AT address 0100H is out of range (0-00FFH)\n");
}

TEST(Reader, ExpressionsAndSyntaxOfOlderPrograms)
{
    struct Case {
        const char* source;
        const char* code;
    };
    const Case cases[] = {
        {"DB 1 EQ 1, 1 NE 1, 2 LT 3, 3 LE 2, 3 GT 2, 2 GE 3, 1 <> 2, 2 <= 2, 3 >= 4, 1 < 2 AND 1\n", "FF00FF00FF00FFFF00" "01"},
        {"DB 'T' OR 80H, 'CAN',27H, 'STOP\"'\nMOV A,#-'A'\n", "D443414E2753544F502274BF"},
        {"ORG $+4\nJNC $+4\nX EQU $-2\nDB X, HIGH(1234H), LOW(1234H), 11B, 17Q, 17o, 10D\n", "5002041234030F0F0A"},
        {"FLAGS DATA 21H\nSETB FLAGS.3\nSETB ACC.7\n", "D20BD2E7"},
        {"nop\r\n\tmov\ta,#1\rNOP\n\x1A" "garbage after Ctrl-Z\n", "00740100"},
        {"$TITLE(demo) PAGEWIDTH(132) PAGELENGTH(60)\n$EJECT\n$NOPAGING\n$NODEBUG\n$XREF\n$DATE(1/1/90)\nDB 1\n", "01"},
        {"$SAVE\n$NOLIST\n$RESTORE\nNAME ABC\nUSING 1\nDB AR2\nBSEG AT 10H\nFLAG DBIT 1\nCSEG\nDB FLAG\n", "0A10"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = Assemble(c.source);
        EXPECT_EQ(Errors(r), "") << c.source;
        EXPECT_EQ(Code(r), c.code) << c.source;
    }
}

TEST(Reader, GenericJumpsFollowTheAsm51RuleUnlessShortestIsAsked)
{
    // Backward in reach: SJMP; backward in the page: AJMP/ACALL; forward: LJMP/LCALL.
    struct Case {
        const char* source;
        const char* asm51;
        const char* shortest;
    };
    const Case cases[] = {
        {"L: JMP L\n", "80FE", "80FE"},
        {"JMP L\nL: NOP\n", "02000300", "800000"},
        {"CALL L\nL: RET\n", "12000322", "110222"},
        {"L: RET\nDS 200\nCALL L\n", "22" "FFFFFFFFFF", "22"},
        {"X EQU 5\nJMP X\n", "8003", "8003"},
    };
    for (const Case& c : cases) {
        AssembleOptions shortest;
        shortest.shortestJumps = true;
        const AssembleResult a = Assemble(c.source), s = Assemble(c.source, shortest);
        EXPECT_EQ(Errors(a) + Errors(s), "") << c.source;
        if (std::string(c.asm51).size() > 8) {
            EXPECT_EQ(a.image[201], 0x11);  // ACALL 0 from 0C9H
            EXPECT_EQ(s.image[201], 0x11);
            continue;
        }
        EXPECT_EQ(Code(a), c.asm51) << c.source;
        EXPECT_EQ(Code(s), c.shortest) << c.source;
    }
}

TEST(Reader, ListingMarksXrefAndTheAddressMapOfExpansions)
{
    const auto files = Files({{"src/inc.a51", "INCBYTE: DB 9\n"}});
    AssembleOptions o = files;
    const std::string source = "$XREF\nTWO MACRO\nNOP\nNOP\nENDM\nSTART: TWO\n$INCLUDE(inc.a51)\n$NOGEN\nTWO\nSJMP START\n";
    const AssembleResult r = Assemble(source, o);
    EXPECT_EQ(Errors(r), "");
    EXPECT_NE(r.listing.find("0000  00             3 +1 NOP\r\n"), std::string::npos) << r.listing;
    EXPECT_NE(r.listing.find("0002  09             1 =1 INCBYTE: DB 9\r\n"), std::string::npos) << r.listing;
    EXPECT_EQ(r.listing.find("0003  00"), std::string::npos) << r.listing;  // $NOGEN hides the second expansion
    EXPECT_NE(r.listing.find("START . . . . . . . . . .  C ADDR  0000H  6# 10"), std::string::npos) << r.listing;
    // Expanded and included code counts for the line that called or included it.
    const std::vector<m51asm::AddressMapEntry> map = {{6, 0, 1}, {6, 1, 1}, {7, 2, 1}, {9, 3, 1}, {9, 4, 1}, {10, 5, 2}};
    EXPECT_EQ(r.addressMap, map);
    o.ignoreNolist = true;
    EXPECT_EQ(m51asm::ReadListingAddressMap(Assemble(source, o).listing), map);
}

TEST(Reader, HostileSourcesEndWithTheirLimitInBoundedTime)
{
    const auto files = Files({{"src/self.inc", "$INCLUDE(self.inc)\n"}});
    struct Case {
        const char* source;
        const char* error;
    };
    const Case cases[] = {
        {"R MACRO\nR\nENDM\nR\n", "macro calls nested deeper than 64"},
        {"F MACRO\nF\nF\nENDM\nF\n", "macro calls nested deeper than 64"},
        {"REPT 100000000\nX SET 1\nENDM\n", "macro expansions pass the limit of 1000000 lines"},
        {"REPT 10000\nREPT 10000\nY SET 2\nENDM\nENDM\n", "macro expansions pass the limit of 1000000 lines"},
        {"$INCLUDE(self.inc)\n", "include cycle"},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const AssembleResult r = Assemble(c.source, files);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << c.source;
        ASSERT_FALSE(r.errors.empty()) << c.source;
        EXPECT_NE(Errors(r).find(c.error), std::string::npos) << c.source << Errors(r).substr(0, 500);
    }
}
