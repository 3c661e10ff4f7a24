// The rule chain of the statement translator and the action-word operations.

#include "compiler/Translator.h"

#include "compiler/Helpers.h"
#include "compiler/Language.h"
#include "compiler/MyVision.h"
#include "compiler/rules/Rules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

namespace m51 {

using namespace MyVision;
using namespace rules;

namespace {

// The chain, in firing order. An entry with a keyword fires when w1 is exactly
// that keyword; an entry with a test fires when the test holds (both when both
// are given). Every entry that matches fires; later entries replace MainLine.
// Interplay the order carries:
//  - 1 runs before every keyword, so a procedure named like a keyword gets its
//    call lines in LB and the keyword's MainLine;
//  - 2 writes "mov xx,A" for any RDxx; the exact RD keywords further down
//    (RDB, RDRAM, RDP0..3, RDCOUNTn, RDMEM, RDADR@Rn) replace it;
//  - 17 also matches LOOPWHILEBIT/LOOPWHILENOTBIT and advances LoopCounter
//    (and InlineCounter for INLINE) before 27 replaces its line and clears LB;
//  - 19 cuts "n@" off w1 before the conditions of 20 compare it;
//  - the far-variable entries of 31 and 32 replace the near entry's line;
//  - 42 comes last and sees MainLine as everything before left it.
constexpr Rule kChain[] = {
    // Procedure call: NAME [argument]
    {1, {}, IsProcedureName, CallProcedure, {}},
    // RDxx to a two-letter place other than a special-function register
    {2, {}, IsReadOfOtherPlace, ReadOtherPlace, {}, 'R'},
    {3, "BEGIN", nullptr, FixedLine, "$NOLIST"},
    {4, "PROCESOR", nullptr, WithWord, "$MOD"},
    {5, "DEFINEBIT", nullptr, DefineBit, {}},
    {6, "DEFINE", nullptr, Define, {}},
    {7, "PUSH", nullptr, WithWord, "Push "},
    {7, "POP", nullptr, WithWord, "Pop "},
    // PUSH A / POP A in any case of the operand: the accumulator as ACC
    {8, {}, FirstTwoArePushA, FixedLine, "Push ACC", 'P'},
    {8, {}, FirstTwoArePopA, FixedLine, "Pop ACC", 'P'},
    {9, "STARTADRESS", nullptr, WithNumber, "ORG "},
    {10, "STARTPROC", nullptr, StartProc, {}},
    {11, "PROCEDURE", nullptr, ProcedureLabel, {}},
    // Accumulator, B, external RAM, data pointer
    {12, "A", nullptr, WithNumber, "Mov A,#"},
    {12, "B", nullptr, WithNumber, "Mov B,#"},
    {12, "WRB", nullptr, AOrNumber, "Mov B,"},
    {12, "RDB", nullptr, FixedLine, "Mov A,B"},
    {12, "RDADR", nullptr, WithNumber, "Mov A,"},
    {12, "SWAPAB", nullptr, FixedLine, "Xch A,B"},
    {12, "WRRAM", nullptr, WriteRam, {}},
    {12, "RDRAM", nullptr, FixedLine, "Movx A,@DPTR"},
    {12, "DPTR", nullptr, DataPointer, {}},
    {12, "INCDPTR", nullptr, FixedLine, "INC DPTR"},
    // Ports
    {13, "WRP0", nullptr, AOrNumber, "Mov P0,"},
    {13, "RDP0", nullptr, FixedLine, "Mov A,P0"},
    {13, "WRP1", nullptr, AOrNumber, "Mov P1,"},
    {13, "RDP1", nullptr, FixedLine, "Mov A,P1"},
    {13, "WRP2", nullptr, AOrNumber, "Mov P2,"},
    {13, "RDP2", nullptr, FixedLine, "Mov A,P2"},
    {13, "WRP3", nullptr, AOrNumber, "Mov P3,"},
    {13, "RDP3", nullptr, FixedLine, "Mov A,P3"},
    // Add, subtract with borrow (B or a value), increment, decrement
    {14, "+", nullptr, BOrNumber, "Add A,"},
    {14, "-", nullptr, BOrNumber, "Subb A,"},
    {14, "A+1", nullptr, FixedLine, "Inc A"},
    {14, "A-1", nullptr, FixedLine, "Dec A"},
    {14, "B+1", nullptr, FixedLine, "Inc B"},
    {14, "B-1", nullptr, FixedLine, "Dec B"},
    // Logic, multiply, divide, shifts
    {15, "AND", nullptr, BOrNumber, "Anl A,"},
    {15, "OR", nullptr, BOrNumber, "Orl A,"},
    {15, "XOR", nullptr, BOrNumber, "Xrl A,"},
    {15, "NOT", nullptr, FixedLine, "Cpl A"},
    {15, "*B", nullptr, FixedLine, "Mul AB"},
    {15, "/B", nullptr, FixedLine, "Div AB"},
    {15, "SHIFTLEFT", nullptr, FixedLine, "RL A"},
    {15, "SHIFTRIGHT", nullptr, FixedLine, "RR A"},
    {15, "SHIFTLEFTCARY", nullptr, FixedLine, "RLC A"},
    {15, "SHIFTRIGHTCARY", nullptr, FixedLine, "RRC A"},
    // Bank-1 count registers: COUNTn value, WRCOUNTn, RDCOUNTn
    {16, {}, StartsCount, LoadCount, {}, 'C'},
    {16, {}, StartsWrCount, WriteCount, {}, 'W'},
    {16, {}, StartsRdCount, ReadCount, {}, 'R'},
    // Counted loop: LOOPn NAME | LOOPn INLINE statement (also LOOPWHILE..., see 27)
    {17, {}, StartsLoop, CountedLoop, {}, 'L'},
    // Buffer: WRBUFFERn [value]
    {18, {}, StartsWrBuffer, WriteBuffer, {}, 'W'},
    // Buffer-load prefix n@IFA...: loads A from buffer n, shortens w1
    {19, {}, HasBufferPrefix, BufferPrefix, {}},
    // Conditions: IFxxx [operand] action
    {20, "IFA=0", nullptr, Condition, {}},
    {20, "IFA>0", nullptr, Condition, {}},
    {20, "IFA=B", nullptr, Condition, {}},
    {20, "IFA=", nullptr, Condition, {}},
    {20, "IFA<B", nullptr, Condition, {}},
    {20, "IFA<", nullptr, Condition, {}},
    {20, "IFA>=B", nullptr, Condition, {}},
    {20, "IFA>=", nullptr, Condition, {}},
    {20, "IFA<>B", nullptr, Condition, {}},
    {20, "IFA<>", nullptr, Condition, {}},
    {20, "IFBIT", nullptr, Condition, {}},
    {20, "IFNOTBIT", nullptr, Condition, {}},
    {20, "IFCARY", nullptr, Condition, {}},
    {20, "IFNOTCARY", nullptr, Condition, {}},
    // Special-function registers: RDsfr, WRsfr [value]
    {21, {}, IsSfrRead, ReadSfr, {}, 'R'},
    {22, {}, IsSfrWrite, WriteSfr, {}, 'W'},
    // Bits and the carry and accumulator clears
    {23, "CLEARBIT", nullptr, WithNumber, "Clr "},
    {23, "SETBIT", nullptr, WithNumber, "Setb "},
    {23, "CLEAR_C", nullptr, FixedLine, "CLR C"},
    {23, "CLEAR_A", nullptr, FixedLine, "CLR A"},
    // WRADR address [value]
    {24, "WRADR", nullptr, WriteAddress, {}},
    {25, "INCADR", nullptr, WithNumber, "Inc "},
    {25, "DECADR", nullptr, WithNumber, "Dec "},
    // ASM: assembly text, copied from character 5 of the cleaned line
    {26, {}, IsAsmLine, AsmLine, {}, 'A'},
    // Bit waits: jump to itself while the bit is set / clear
    {27, "LOOPWHILEBIT", nullptr, BitWait, "JB "},
    {27, "LOOPWHILENOTBIT", nullptr, BitWait, "JNB "},
    // WHILE loops (test at the top) and their end
    {28, "WHILEBIT", nullptr, WhileBit, "JNB "},
    {28, "WHILENOTBIT", nullptr, WhileBit, "JB "},
    {28, "WHILEA=0", nullptr, WhileAccumulator, "JNZ "},
    {28, "WHILEA>0", nullptr, WhileAccumulator, "JZ "},
    {28, "ENDWHILE", nullptr, EndWhile, {}},
    {29, "SWAPNIBLES", nullptr, FixedLine, "swap A"},
    // Plain jumps and calls, operand as written
    {30, "JUMP", nullptr, WithWord, "Jmp "},
    {30, "SKIP", nullptr, WithWord, "Call "},
    {30, "NEXTLOOP", nullptr, WithWord, "JMP "},
    // Numbered variables: WRMEM n / RDMEM n (near, then the far form replacing it)
    {31, "WRMEM", W3Empty, WriteNearVariable, {}},
    {31, "WRMEM", W3EmptyFar, WriteFarVariable, {}},
    {31, "RDMEM", W3Empty, ReadNearVariable, {}},
    {31, "RDMEM", W3EmptyFar, ReadFarVariable, {}},
    // WRMEM n value
    {32, "WRMEM", W3Given, WriteNearValue, {}},
    {32, "WRMEM", W3GivenFar, WriteFarValue, {}},
    {33, "NOP", nullptr, FixedLine, "NOP"},
    // Decimal adjust, add with carry, add and subtract a direct address
    {34, "DA", nullptr, FixedLine, "DA A"},
    {34, "A+C+", nullptr, WithNumber, "ADDC A,#"},
    {34, "+ADR", nullptr, WithNumber, "ADD A,"},
    {34, "-ADR", nullptr, WithNumber, "SUBB A,"},
    {34, "A+C+ADR", nullptr, WithNumber, "ADDC A,"},
    {35, "WRBADR", nullptr, WithNumber, "MOV B,"},
    {36, "NOTBIT", nullptr, WithNumber, "CPL "},
    {36, "A+C+B", nullptr, FixedLine, "ADDC A,B"},
    {36, "+@R0", nullptr, FixedLine, "ADD A,@R0"},
    {36, "+@R1", nullptr, FixedLine, "ADD A,@R1"},
    {36, "-@R0", nullptr, FixedLine, "SUBB A,@R0"},
    {36, "-@R1", nullptr, FixedLine, "SUBB A,@R1"},
    // DJNZ w2 w3 w4, copied with one blank after w2 and w3
    {37, "DJNZ", nullptr, Djnz, {}},
    {38, "WRADR@R0", nullptr, FixedLine, "MOV @R0,A"},
    {38, "WRADR@R1", nullptr, FixedLine, "MOV @R1,A"},
    {38, "RDADR@R0", nullptr, FixedLine, "MOV A,@R0"},
    {38, "RDADR@R1", nullptr, FixedLine, "MOV A,@R1"},
    // Ends: ENDPROC places a pending exit label
    {39, "ENDPROC", nullptr, EndProc, {}},
    {39, "ENDINTERRUPT", nullptr, FixedLine, "Reti"},
    {39, "END", nullptr, FixedLine, "END"},
    // Compare and jump: IF address=value target
    {40, "IF", nullptr, CompareJump, {}},
    // Interrupt vectors: handler | DISABLE
    {41, "EXTER0", nullptr, InterruptVector, "ORG 03H"},
    {41, "EXTER1", nullptr, InterruptVector, "ORG 13H"},
    {41, "TIMER0", nullptr, InterruptVector, "ORG 0BH"},
    {41, "TIMER1", nullptr, InterruptVector, "ORG 01BH"},
    {41, "SERIAL", nullptr, InterruptVector, "ORG 023H"},
    // EXITPROC mentioned in the line without an exit jump of its own
    {42, {}, MentionsUntakenExit, ExitMention, {}},
};

// The chain knows no word the language does not: every keyword it fires on
// is a statement keyword of the language, and every statement keyword spelled
// out in full has an entry.
constexpr bool ChainSpeaksTheLanguage()
{
    for (const Rule& rule : kChain) {
        const auto keyword = language::FindKeyword(rule.keyword);
        if (!rule.keyword.empty() && (!keyword || keyword->role != language::Role::Statement))
            return false;
    }
    for (const language::Keyword& keyword : language::kKeywords) {
        bool found = keyword.role != language::Role::Statement;
        for (const Rule& rule : kChain)
            found = found || rule.keyword == keyword.word;
        if (!found)
            return false;
    }
    return true;
}
static_assert(ChainSpeaksTheLanguage());

// w1 packed with its length for a quick keyword comparison: the length in the
// top byte and the first seven bytes below it. Keywords longer than seven bytes
// compare their remaining bytes as well.
constexpr std::uint64_t PackedKey(std::string_view word)
{
    std::uint64_t key = static_cast<std::uint64_t>(word.size() < 255 ? word.size() : 255) << 56;
    for (std::size_t i = 0; i < 7 && i < word.size(); ++i)
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[i])) << (8 * (6 - i));
    return key;
}

constexpr std::size_t kChainLength = sizeof kChain / sizeof kChain[0];

// The chain is walked in its order, but only over the entries that can fire:
// those with a test of their own, and those whose keyword has w1's packed key.
// Both index lists are made from the table when the program is built.
struct KeyedEntry {
    std::uint64_t key;
    std::size_t index;
};

constexpr std::size_t CountKeywordEntries()
{
    std::size_t n = 0;
    for (const Rule& rule : kChain)
        n += !rule.keyword.empty();
    return n;
}

constexpr std::size_t kKeywordEntries = CountKeywordEntries();

constexpr std::array<KeyedEntry, kKeywordEntries> MakeKeyedEntries()
{
    std::array<KeyedEntry, kKeywordEntries> entries{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < kChainLength; ++i)
        if (!kChain[i].keyword.empty())
            entries[n++] = {PackedKey(kChain[i].keyword), i};
    std::sort(entries.begin(), entries.end(), [](const KeyedEntry& a, const KeyedEntry& b) {
        return a.key < b.key || (a.key == b.key && a.index < b.index);
    });
    return entries;
}

constexpr std::array<std::size_t, kChainLength - kKeywordEntries> MakeTestEntries()
{
    std::array<std::size_t, kChainLength - kKeywordEntries> entries{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < kChainLength; ++i)
        if (kChain[i].keyword.empty())
            entries[n++] = i;
    return entries;
}

constexpr auto kKeyedEntries = MakeKeyedEntries();
constexpr auto kTestEntries = MakeTestEntries();

// For every first byte of w1, the test entries that can fire: those without a
// lead byte and those whose lead is that byte, in chain order.
struct TestList {
    std::array<std::size_t, kTestEntries.size()> entries{};
    std::size_t count = 0;
};

constexpr std::array<TestList, 256> MakeTestLists()
{
    std::array<TestList, 256> lists{};
    for (std::size_t b = 0; b < 256; ++b)
        for (std::size_t i : kTestEntries) {
            const char lead = kChain[i].lead;
            if (lead == 0 || static_cast<unsigned char>(lead) == b)
                lists[b].entries[lists[b].count++] = i;
        }
    return lists;
}

constexpr auto kTestLists = MakeTestLists();

const TestList& TestsFor(const std::string& w1)
{
    return kTestLists[w1.empty() ? 0 : static_cast<unsigned char>(w1[0])];
}

// The keyword entries whose packed key equals `key`, in chain order, from the
// first one after chain index `after` (or from the start when `after` is kChainLength).
std::pair<std::size_t, std::size_t> KeyedRange(std::uint64_t key, std::size_t after)
{
    const auto byKey = [](const KeyedEntry& e, std::uint64_t k) { return e.key < k; };
    std::size_t first = static_cast<std::size_t>(
        std::lower_bound(kKeyedEntries.begin(), kKeyedEntries.end(), key, byKey) - kKeyedEntries.begin());
    std::size_t last = first;
    while (last < kKeyedEntries.size() && kKeyedEntries[last].key == key)
        ++last;
    while (after != kChainLength && first < last && kKeyedEntries[first].index <= after)
        ++first;
    return {first, last};
}

// Keywords longer than the packed key compare their remaining bytes.
bool RestMatches(const Rule& rule, const std::string& w1)
{
    return rule.keyword.size() <= 7 ||
           std::memcmp(w1.data() + 7, rule.keyword.data() + 7, rule.keyword.size() - 7) == 0;
}

} // namespace

namespace rules {

void FixedLine(CompileContext& c, const Rule& rule)
{
    c.MainLine = rule.text;
}

void WithWord(CompileContext& c, const Rule& rule)
{
    c.MainLine = std::string(rule.text) + c.W(2);
}

void WithNumber(CompileContext& c, const Rule& rule)
{
    c.MainLine = std::string(rule.text) + NormalizeNumber(c.W(2));
}

void AOrNumber(CompileContext& c, const Rule& rule)
{
    if (c.W(2).empty())
        c.MainLine = std::string(rule.text) + "A";
    else
        c.MainLine = std::string(rule.text) + "#" + NormalizeNumber(c.W(2));
}

} // namespace rules

std::span<const Rule> RuleChain()
{
    return kChain;
}

void TranslateStatement(CompileContext& context)
{
    context.LoadLine.clear();
    context.CarryLine.clear();
    context.CompareLine.clear();
    context.MainLine.clear();
    context.LB.clear();
    context.ExitLabelOnly = false;
    const std::string& w1 = context.StatementWords[0];
    std::uint64_t key = PackedKey(w1);
    auto [keyed, keyedEnd] = KeyedRange(key, kChainLength);
    const TestList* tests = &TestsFor(w1);
    std::size_t tested = 0;
    for (;;) {
        const std::size_t nextTest = tested < tests->count ? tests->entries[tested] : kChainLength;
        const std::size_t nextKeyed = keyed < keyedEnd ? kKeyedEntries[keyed].index : kChainLength;
        const std::size_t i = std::min(nextTest, nextKeyed);
        if (i == kChainLength)
            break;
        (i == nextTest ? tested : keyed) += 1;
        const Rule& rule = kChain[i];
        if (!rule.keyword.empty() && !RestMatches(rule, w1))
            continue;
        if (rule.test && !rule.test(context))
            continue;
        rule.action(context, rule);
        // An action may shorten w1 (the buffer-load prefix): the keywords and
        // tests after this entry are then looked up anew.
        if (const std::uint64_t now = PackedKey(w1); now != key) {
            key = now;
            std::tie(keyed, keyedEnd) = KeyedRange(key, i);
            tests = &TestsFor(w1);
            tested = 0;
            while (tested < tests->count && tests->entries[tested] <= i)
                ++tested;
        }
    }
}

void EmitAction(CompileContext& context, int k)
{
    const std::string& word = context.W(k);
    if (EqualsUpper(word, "EXITPROC")) {
        context.LB.push_back(ExitJump(context, word));
    } else if (EqualsUpper(word, "INLINE")) {
        ++context.InlineCounter;
        context.InlineBox.CopyBlock(std::to_string(context.InlineCounter), context.LB);
    } else {
        context.LB.push_back("Call " + word);
    }
}

std::string ExitJump(CompileContext& context, std::string_view word)
{
    if (!EqualsUpper(word, "EXITPROC"))
        return std::string(word);
    if (!context.ExitPending)
        ++context.ExitCounter;
    context.ExitPending = true;
    context.ExitTaken = true;
    return "JMP EXP" + LabelDigits(context.ExitCounter);
}

} // namespace m51
