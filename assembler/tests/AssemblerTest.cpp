// The assembler library: operand forms, expressions, directives, the generic
// jumps across 2 KB pages, errors on their lines, and the outputs (HEX, binary,
// listing and the address map read back from it).
#include "assembler/Assembler.h"

#include <gtest/gtest.h>

#include <string>

using m51asm::Assemble;
using m51asm::AssembleResult;

namespace {

std::string Errors(const AssembleResult& r)
{
    std::string text;
    for (const auto& e : r.errors)
        text += std::to_string(e.line) + ": " + e.message + "\n";
    return text;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> v;
    for (int b : values)
        v.push_back(static_cast<std::uint8_t>(b));
    return v;
}

std::int32_t SymbolValue(const AssembleResult& r, const std::string& name)
{
    for (const auto& s : r.symbols)
        if (s.name == name)
            return s.value;
    ADD_FAILURE() << "no symbol " << name;
    return -1;
}

} // namespace

TEST(Assembler, ExpressionsNumbersAndNames)
{
    struct Case {
        const char* expression;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0FFH", 255}, {"0ffh", 255}, {"1010B", 10}, {"17O", 15}, {"17Q", 15}, {"99D", 99}, {"005", 5},
        {"'A'", 65}, {"'AB'", 0x4142}, {"''''", 39}, {"$", 0x120}, {"2+3*4", 14}, {"(2+3)*4", 20},
        {"17 MOD 5", 2}, {"1 SHL 4 OR 1", 17}, {"0F0H SHR 4", 15}, {"NOT 0 AND 0FFH", 255},
        {"6 AND 3 XOR 1", 3}, {"HIGH 1234H", 0x12}, {"LOW 1234H", 0x34}, {"LOW(HIGH(0ABCDH)+1)", 0xAC},
        {"-1", -1}, {"- -2", 2}, {"7/2", 3}, {"P1", 0x90}, {"t2con", 0xC8}, {"ACC.7", 0xE7}, {"P1.0", 0x90},
        {"20H.3", 3}, {"2FH.7", 0x7F}, {"TI", 0x99}, {"EA", 0xAF}, {"START+2", 0x122}, {"LATER-START", 3},
    };
    for (const Case& c : cases) {
        const AssembleResult r =
            Assemble("ORG 120H\nSTART:\nX EQU " + std::string(c.expression) + "\nNOP\nNOP\nNOP\nLATER: END\n");
        EXPECT_EQ(Errors(r), "") << c.expression;
        EXPECT_EQ(SymbolValue(r, "X"), c.value) << c.expression;
    }
}

TEST(Assembler, DirectivesAndDefinitions)
{
    const AssembleResult r = Assemble(
        "$MOD52\n$TITLE(test)\nLED BIT P1.0\nBUF DATA 30H\nPTR IDATA 80H\nXBUF XDATA 1000H\nENTRY CODE 40H\n"
        "COUNT EQU R7\nN SET 1\nN SET N+1\nORG 10H\nUSING 2\n"
        "TABLE: DB 1,'hi','it''s',\"a'\",'A'+1,-1\nDW 1234H,TABLE\nDS 3\n"
        "SETB LED\nMOV BUF,#N\nMOV COUNT,A\nMOV A,AR7\nMOV DPTR,#XBUF\nLJMP ENTRY\nEND\nthis line is never read\n");
    EXPECT_EQ(Errors(r), "");
    EXPECT_EQ(r.lowest, 0x10);
    EXPECT_EQ(r.Binary(),
              Bytes({1, 'h', 'i', 'i', 't', '\'', 's', 'a', '\'', 'B', 0xFF, 0x12, 0x34, 0x00, 0x10, 0xFF, 0xFF, 0xFF,
                     0xD2, 0x90, 0x75, 0x30, 0x02, 0xFF, 0xE5, 0x17, 0x90, 0x10, 0x00, 0x02, 0x00, 0x40}));
    EXPECT_FALSE(r.written[0x1F]);  // DS reserves without writing
}

TEST(Assembler, GenericJumpsTakeTheShortestFormThatReaches)
{
    // Backward near: SJMP; forward in the page: AJMP; other page: LJMP/LCALL.
    m51asm::AssembleOptions shortest;
    shortest.shortestJumps = true;
    const AssembleResult r = Assemble("ORG 700H\nBACK: JMP BACK\nJMP NEAR\nCALL FAR\nCALL NEAR\nORG 7F0H\n"
                                      "NEAR: JMP BACK\nORG 900H\nFAR: CALL BACK\nJMP @A+DPTR\n", shortest);
    EXPECT_EQ(Errors(r), "");
    EXPECT_EQ(r.image[0x700], 0x80);
    EXPECT_EQ(r.image[0x702], 0xE1);  // AJMP 7F0H
    EXPECT_EQ(r.image[0x704], 0x12);  // LCALL 900H
    EXPECT_EQ(r.image[0x707], 0xF1);  // ACALL 7F0H
    EXPECT_EQ(r.image[0x7F0], 0xE1);  // AJMP 700H
    EXPECT_EQ(r.image[0x900], 0x12);  // LCALL 700H
    EXPECT_EQ(r.image[0x903], 0x73);
}

TEST(Assembler, ThreeHundredProceduresCalledAcrossPages)
{
    // Calls from the end and from every procedure reach procedures in every
    // 2 KB page, backward and forward; each must land on its procedure.
    std::string source = "ORG 0\nJMP MAIN\n";
    int line = 2;
    std::vector<std::pair<int, std::string>> calls;
    const auto call = [&](const std::string& name) {
        source += "CALL " + name + "\n";
        calls.push_back({++line, name});
    };
    for (int i = 0; i < 300; ++i) {
        source += "P" + std::to_string(i) + ":\n";
        ++line;
        call("P" + std::to_string((i * 7 + 3) % 300));
        source += "MOV A,#1\nMOV 30H,A\nMOV 31H,#2\nMOV 32H,#3\nRET\n";
        line += 5;
    }
    source += "MAIN:\n";
    ++line;
    for (int i = 0; i < 300; ++i)
        call("P" + std::to_string(i));
    const AssembleResult r = Assemble(source + "JMP MAIN\n");
    ASSERT_EQ(Errors(r), "");
    EXPECT_GT(r.highest, 0x1000);
    std::size_t at = 0;
    for (const auto& [callLine, name] : calls) {
        while (r.addressMap[at].line != callLine)
            ++at;
        const std::uint16_t a = r.addressMap[at].address;
        const std::uint8_t op = r.image[a];
        const std::int32_t target = op == 0x12 ? r.image[a + 1] << 8 | r.image[a + 2]
                                               : ((a + 2) & 0xF800) | (op & 0xE0) << 3 | r.image[a + 1];
        EXPECT_TRUE(op == 0x12 || (op & 0x1F) == 0x11) << callLine;
        EXPECT_EQ(r.addressMap[at].size, op == 0x12 ? 3 : 2);
        EXPECT_EQ(target, SymbolValue(r, name)) << "line " << callLine;
    }
}

TEST(Assembler, ErrorsOnTheirLines)
{
    struct Case {
        const char* source;
        const char* errors;
    };
    const Case cases[] = {
        {"X: NOP\nX: NOP\n", "2: symbol X is already defined on line 1\n"},
        {"FOO A\n", "1: unknown mnemonic FOO\n"},
        {"MOV A\n", "1: MOV needs 2 operands\n"},
        {"MOV @R2,A\n", "1: bad indirect operand @R2 (@R0, @R1, @DPTR, @A+DPTR or @A+PC)\n"},
        {"MOV R1,R2\n", "1: invalid operands for MOV: R1,R2\n"},
        {"PUSH A\n", "1: invalid operands for PUSH: A (write ACC for the accumulator)\n"},
        {"L: SJMP FAR\nDS 200\nFAR: NOP\n", "1: jump target 00CAH is out of range: 200 bytes away, SJMP reaches -128 to +127\n"},
        {"JZ L\nORG 1000H\nL: RET\n", "1: jump target 1000H is out of range: 4094 bytes away, JZ reaches -128 to +127\n"},
        {"AJMP 800H\n", "1: target 0800H is outside the 2 KB page 0000H-07FFH of this AJMP (use LJMP or JMP)\n"},
        {"ORG 0FFFEH\nLJMP 0\n", "2: address past 0FFFFH (this line ends at 10000H)\n"},
        {"MOV A,#256\nMOV 100H,A\nDB 300\n",
         "1: value 0100H does not fit in a byte\n2: direct address 0100H is out of range (0-0FFH)\n"
         "3: value 012CH does not fit in a byte\n"},
        {"MOV A,UNDEFINED\n", "1: undefined symbol UNDEFINED\n"},
        {"DB 1/0\n", "1: division by zero\n"},
        {"SETB 30H.1\n", "1: address 0030H has no addressable bits (20H-2FH and SFRs at multiples of 8)\n"},
        {"X EQU 12G\nY EQU (1\nZ EQU 1+\n",
         "1: bad number 12G\n2: missing \")\"\n3: expression ends too early\n"},
        {"A EQU 5\nX EQU Y\nY EQU X\nMOV A,#X\n", "1: reserved word A cannot be a name\n2: symbol Y has no value (circular definition)\n"
         "3: symbol X has no value (circular definition)\n4: symbol X has no value (circular definition)\n"},
        {"$NOMOD51\nMOV A,P1\n", "2: undefined symbol P1 (the register names are off after $NOMOD51)\n"},
        {"ORG 23H\nRETI\nORG 20H\nMOV A,#1\nMOV B,#2\n", "5: code at 0023H overlaps code of line 2\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Errors(Assemble(c.source)), c.errors) << c.source;
}

TEST(Assembler, HexAndBinaryImage)
{
    const AssembleResult r = Assemble("ORG 10H\nDB 1,2\nORG 30H\nDB 0FFH,4\nEND\n");
    EXPECT_EQ(r.hex, ":020010000102EB\r\n:02003000FF04CB\r\n:00000001FF\r\n");
    std::vector<std::uint8_t> expected(0x22, 0xFF);
    expected[0] = 1, expected[1] = 2, expected[0x21] = 4;
    EXPECT_EQ(r.Binary(), expected);
    EXPECT_TRUE(Assemble("; nothing\n").Binary().empty());

    // Overlays: later code replaces earlier code when allowed.
    m51asm::AssembleOptions overlays;
    overlays.allowOverlap = true;
    const AssembleResult o = Assemble("NOP\nNOP\nORG 1\nRET\n", overlays);
    EXPECT_EQ(Errors(o), "");
    EXPECT_EQ(o.Binary(), Bytes({0x00, 0x22}));
}

TEST(Assembler, ListingRowsErrorsNolistAndAddressMap)
{
    const std::string source =
        "$NOLIST\nHIDDEN: NOP\nBAD\n$LIST\nORG 100H\nSTART: MOV A,#1 ; text\nDB 'a long string'\nJMP START\n";
    const AssembleResult r = Assemble(source);
    EXPECT_NE(r.listing.find("0100  7401           6  START: MOV A,#1 ; text\r\n"), std::string::npos) << r.listing;
    EXPECT_NE(r.listing.find("0102  61206C6F       7  DB 'a long string'\r\n0106  6E672073\r\n"), std::string::npos);
    EXPECT_NE(r.listing.find("      3  BAD\r\n*** ERROR: unknown mnemonic BAD\r\n"), std::string::npos);
    EXPECT_EQ(r.listing.find("HIDDEN: NOP"), std::string::npos);
    EXPECT_NE(r.listing.find("START . . . . . . . . . .  C ADDR  0100H\r\n"), std::string::npos);
    EXPECT_TRUE(r.listing.ends_with("\r\n1 error\r\n"));
    EXPECT_EQ(r.addressMap.size(), 4u);
    EXPECT_EQ(r.addressMap[2], (m51asm::AddressMapEntry{7, 0x102, 13}));

    // Everything listed: the map read back equals the one made; with
    // $NOLIST honoured, the listed part of it.
    m51asm::AssembleOptions all;
    all.ignoreNolist = true;
    EXPECT_EQ(m51asm::ReadListingAddressMap(Assemble(source, all).listing), r.addressMap);
    const auto listed = m51asm::ReadListingAddressMap(r.listing);
    EXPECT_EQ(listed, std::vector<m51asm::AddressMapEntry>(r.addressMap.begin() + 1, r.addressMap.end()));
    EXPECT_TRUE(Assemble("NOP\n").listing.ends_with("\r\n0 errors\r\n"));
}
