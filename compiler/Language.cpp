#include "compiler/Language.h"

#include "common/PlainText.h"

namespace m51::language {

namespace {

constexpr StatementTip kTips[] = {
    {"PROCESOR", "PROCESOR 51", "$MOD51"},
    {"BEGIN", "BEGIN", "$NOLIST"},
    {"STARTPROC", "STARTPROC MAIN", "ORG 00H\nJMP MAIN"},
    {"STARTADRESS", "STARTADRESS 100H", "ORG 100H"},
    {"EXTER0", "EXTER0 KEYISR", "ORG 03H\nJMP KEYISR\n;-------------"},
    {"TIMER0", "TIMER0 DISABLE", "ORG 0BH\nRETI\n;-------------"},
    {"EXTER1", "EXTER1 INT1ISR", "ORG 13H\nJMP INT1ISR\n;-------------"},
    {"TIMER1", "TIMER1 T1ISR", "ORG 01BH\nJMP T1ISR\n;-------------"},
    {"SERIAL", "SERIAL DISABLE", "ORG 023H\nRETI\n;-------------"},
    {"ENDINTERRUPT", "ENDINTERRUPT", "Reti"},
    {"DEFINE", "DEFINE LIMIT 10", "LIMIT EQU 010"},
    {"DEFINEBIT", "DEFINEBIT LED P1.0", "LED BIT P1.0"},
    {"NOP", "NOP", "NOP"},
    {"END", "END", "END"},
    {"PROCEDURE", "PROCEDURE MAIN", "MAIN:"},
    {"A", "A 5", "Mov A,#005"},
    {"IFA=0", "IFA=0 EXITPROC", "JnZ PRS0001\nJMP EXP0001\nPRS0001:"},
    {"WRP1", "WRP1", "Mov P1,A"},
    {"ENDPROC", "ENDPROC", "EXP0001:\nRet"},
    {"BLINK", "BLINK", "Call BLINK"},
    {"SKIP", "SKIP DELAY", "Call DELAY"},
    {"IFCARY", "IFCARY EXITPROC", "JnC PRS0002\nJMP EXP0001\nPRS0002:"},
    {"IFA>0", "IFA>0 BLINK", "JZ PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA=B", "IFA=B BLINK", "XRL A,B\nJnZ PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA=", "IFA= 10 BLINK", "XRL A,#010\nJnZ PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA<B", "IFA<B BLINK", "CLR C\nSUBB A,B\nJNC PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA<", "IFA< 10 BLINK", "CLR C\nSUBB A,#010\nJNC PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA>=B", "IFA>=B BLINK", "CLR C\nSUBB A,B\nJC PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA>=", "IFA>= 10 BLINK", "CLR C\nSUBB A,#010\nJC PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA<>B", "IFA<>B BLINK", "XRL A,B\nJZ PRS0001\nCall BLINK\nPRS0001:"},
    {"IFA<>", "IFA<> 10 BLINK", "XRL A,#010\nJZ PRS0001\nCall BLINK\nPRS0001:"},
    {"IFBIT", "IFBIT P3.2 BLINK", "JnB P3.2,PRS0001\nCall BLINK\nPRS0001:"},
    {"IFNOTBIT", "IFNOTBIT P3.2 BLINK", "JB P3.2,PRS0001\nCall BLINK\nPRS0001:"},
    {"IFNOTCARY", "IFNOTCARY BLINK", "JC PRS0001\nCall BLINK\nPRS0001:"},
    {"3@IFA>=B", "3@IFA>=B LEDON", "MOV A,12h\nCLR C\nSUBB A,B\nJC PRS0001\nCall LEDON\nPRS0001:"},
    {"2@IFA<", "2@IFA< 10 DONE", "MOV A,11h\nCLR C\nSUBB A,#010\nJNC PRS0001\nCall DONE\nPRS0001:"},
    {"LOOP2", "LOOP2 INLINE NOTBIT P1.0", "LP0001:\nCPL P1.0\nDJNZ 09,LP0001"},
    {"IF", "IF 30H=5 DONE", "Xrl 30H,#5\nMov A,30H\nJZ DONE"},
    {"COUNT1", "COUNT1 10", "Mov 08,#010"},
    {"LOOP1", "LOOP1 BLINK", "LP0001:\nCALL BLINK\nDJNZ 08,LP0001"},
    {"LOOPWHILEBIT", "LOOPWHILEBIT P3.2", "JB P3.2,$"},
    {"LOOPWHILENOTBIT", "LOOPWHILENOTBIT P3.2", "JNB P3.2,$"},
    {"WHILEBIT", "WHILEBIT P3.2", "Whi0001:\nJNB P3.2,EnW0001"},
    {"SETBIT", "SETBIT P1.0", "Setb P1.0"},
    {"ENDWHILE", "ENDWHILE", "JMP Whi0001\nEnW0001:"},
    {"WHILENOTBIT", "WHILENOTBIT P3.2", "Whi0001:\nJB P3.2,EnW0001"},
    {"WHILEA=0", "WHILEA=0", "Whi0001:\nJNZ EnW0001"},
    {"WHILEA>0", "WHILEA>0", "Whi0001:\nJZ EnW0001"},
    {"JUMP", "JUMP MAIN", "Jmp MAIN"},
    {"NEXTLOOP", "NEXTLOOP TOP", "JMP TOP"},
    {"DJNZ", "DJNZ R2,TOP", "DJNZ R2,TOP"},
    {"B", "B 10", "Mov B,#010"},
    {"WRB", "WRB", "Mov B,A"},
    {"RDB", "RDB", "Mov A,B"},
    {"SWAPAB", "SWAPAB", "Xch A,B"},
    {"RDADR", "RDADR 30H", "Mov A,030H"},
    {"WRADR", "WRADR 30H", "Mov 030H,A"},
    {"WRBADR", "WRBADR 30H", "MOV B,030H"},
    {"WRADR@R0", "WRADR@R0", "MOV @R0,A"},
    {"WRADR@R1", "WRADR@R1", "MOV @R1,A"},
    {"RDADR@R0", "RDADR@R0", "MOV A,@R0"},
    {"RDADR@R1", "RDADR@R1", "MOV A,@R1"},
    {"WRP0", "WRP0", "Mov P0,A"},
    {"RDP0", "RDP0", "Mov A,P0"},
    {"RDP1", "RDP1", "Mov A,P1"},
    {"WRP2", "WRP2 3", "Mov P2,#003"},
    {"RDP2", "RDP2", "Mov A,P2"},
    {"WRP3", "WRP3 0", "Mov P3,#0"},
    {"RDP3", "RDP3", "Mov A,P3"},
    {"RDTMOD", "RDTMOD", "Mov A,TMOD"},
    {"WRSCON", "WRSCON", "Mov SCON,A"},
    {"WRTMOD", "WRTMOD 21H", "Mov TMOD,#021H"},
    {"RDSBUF", "RDSBUF", "Mov A,SBUF"},
    {"WRTH0", "WRTH0 0FCH", "Mov TH0,#0FCH"},
    {"COUNT2", "COUNT2 10", "Mov 09,#010"},
    {"WRCOUNT2", "WRCOUNT2", "Mov 09,A"},
    {"RDCOUNT2", "RDCOUNT2", "Mov A,09"},
    {"COUNT8", "COUNT8 5", "Mov 0Fh,#005"},
    {"WRBUFFER1", "WRBUFFER1", "MOV 10h,A"},
    {"WRBUFFER3", "WRBUFFER3 5", "MOV 12h,#005"},
    {"1@IFA=0", "1@IFA=0 LEDOFF", "MOV A,10h\nJnZ PRS0001\nCall LEDOFF\nPRS0001:"},
    {"WRMEM", "WRMEM 5", "mov 053,A"},
    {"RDMEM", "RDMEM 10H", "mov A,040H"},
    {"PUSH", "PUSH A", "Push ACC"},
    {"POP", "POP A", "Pop ACC"},
    {"DPTR", "DPTR 1234H", "Mov DPTR,#01234H"},
    {"INCDPTR", "INCDPTR", "INC DPTR"},
    {"WRRAM", "WRRAM", "Movx @DPTR,A"},
    {"RDRAM", "RDRAM", "Movx A,@DPTR"},
    {"+", "+ B", "Add A,B"},
    {"-", "- B", "Subb A,B"},
    {"A+1", "A+1", "Inc A"},
    {"A-1", "A-1", "Dec A"},
    {"B+1", "B+1", "Inc B"},
    {"B-1", "B-1", "Dec B"},
    {"*B", "*B", "Mul AB"},
    {"/B", "/B", "Div AB"},
    {"DA", "DA", "DA A"},
    {"A+C+", "A+C+ 5", "ADDC A,#005"},
    {"A+C+B", "A+C+B", "ADDC A,B"},
    {"+ADR", "+ADR 30H", "ADD A,030H"},
    {"-ADR", "-ADR 30H", "SUBB A,030H"},
    {"A+C+ADR", "A+C+ADR 30H", "ADDC A,030H"},
    {"+@R0", "+@R0", "ADD A,@R0"},
    {"+@R1", "+@R1", "ADD A,@R1"},
    {"-@R0", "-@R0", "SUBB A,@R0"},
    {"-@R1", "-@R1", "SUBB A,@R1"},
    {"INCADR", "INCADR 30H", "Inc 030H"},
    {"DECADR", "DECADR COUNTER", "Dec COUNTER"},
    {"AND", "AND 0FH", "Anl A,#00FH"},
    {"OR", "OR 128", "Orl A,#128"},
    {"XOR", "XOR 1", "Xrl A,#001"},
    {"NOT", "NOT", "Cpl A"},
    {"SHIFTLEFT", "SHIFTLEFT", "RL A"},
    {"SHIFTRIGHT", "SHIFTRIGHT", "RR A"},
    {"SHIFTLEFTCARY", "SHIFTLEFTCARY", "RLC A"},
    {"SHIFTRIGHTCARY", "SHIFTRIGHTCARY", "RRC A"},
    {"SWAPNIBLES", "SWAPNIBLES", "swap A"},
    {"CLEAR_A", "CLEAR_A", "CLR A"},
    {"CLEARBIT", "CLEARBIT LED", "Clr LED"},
    {"NOTBIT", "NOTBIT P1.0", "CPL P1.0"},
    {"CLEAR_C", "CLEAR_C", "CLR C"},
    {"ASM:", "ASM: CPL P1.0", "CPL P1.0"},
    {"ASM:LOOP:", "ASM:LOOP: SJMP LOOP", "LOOP: SJMP LOOP"},
};

} // namespace

std::span<const StatementTip> StatementTips()
{
    return kTips;
}

std::string_view WordOf(std::string_view statement, std::size_t k)
{
    std::string_view word;
    ForEachWord(statement, k, [&](std::size_t i, std::string_view w) {
        if (i == k)
            word = w;
    });
    return word;
}

std::optional<std::string_view> DeclaredProcedure(std::string_view line)
{
    const std::string_view statement = StatementOf(line);
    if (!MyVision::EqualsUpper(WordOf(statement, 1), "PROCEDURE"))
        return std::nullopt;
    return WordOf(statement, 2);
}

std::optional<Definition> DeclaredDefinition(std::string_view line)
{
    const std::string_view statement = StatementOf(line);
    const std::string_view keyword = WordOf(statement, 1);
    const bool bit = MyVision::EqualsUpper(keyword, "DEFINEBIT");
    if (!bit && !MyVision::EqualsUpper(keyword, "DEFINE"))
        return std::nullopt;
    return Definition{WordOf(statement, 2), WordOf(statement, 3), bit};
}

std::vector<std::string> ProcedureNames(std::string_view source)
{
    std::vector<std::string> names;
    ForEachLine(source, [&](std::string_view line, std::int32_t) {
        if (const auto name = DeclaredProcedure(line); name && !name->empty())
            names.push_back(MyVision::UpperText(*name));
        return true;
    });
    return names;
}

} // namespace m51::language
