// Data transfer statements.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

using m51test::Compile;
using m51test::ExpectTranslations;
using m51test::Lines;

TEST(TransferRules, AccumulatorRegistersAndExternalRam)
{
    ExpectTranslations({
        {{"A 5"}, {"Mov A,#005"}},
        {{"A 0FFH"}, {"Mov A,#0FFH"}},
        {{"A"}, {"Mov A,#"}},
        {{"B 12"}, {"Mov B,#012"}},
        {{"WRB"}, {"Mov B,A"}},
        {{"WRB 3"}, {"Mov B,#003"}},
        {{"RDB"}, {"Mov A,B"}},
        {{"RDADR 30H"}, {"Mov A,030H"}},
        {{"SWAPAB"}, {"Xch A,B"}},
        {{"WRRAM"}, {"Movx @DPTR,A"}},
        {{"WRRAM 7"}, {"Mov A,#007", "Movx @DPTR,A"}},
        {{"RDRAM"}, {"Movx A,@DPTR"}},
        {{"DPTR 1234H TABLE"}, {"Mov DPTR,#01234H TABLE"}},
        {{"DPTR 1234H"}, {"Mov DPTR,#01234H "}},
        {{"INCDPTR"}, {"INC DPTR"}},
    });
}

TEST(TransferRules, Ports)
{
    for (char p : {'0', '1', '2', '3'}) {
        const std::string port = std::string("P") + p;
        ExpectTranslations({
            {{"WR" + port}, {"Mov " + port + ",A"}},
            {{"WR" + port + " 0FH"}, {"Mov " + port + ",#00FH"}},
            {{"WR" + port + " 3"}, {"Mov " + port + ",#003"}},
            {{"RD" + port}, {"Mov A," + port}},
            {{"RD" + port + " 9"}, {"Mov A," + port}},
        });
    }
}

TEST(TransferRules, SpecialFunctionRegistersAndOtherPlaces)
{
    ExpectTranslations({
        {{"RDTMOD"}, {"Mov A,TMOD"}},
        {{"RDT2CON"}, {"Mov A,T2CON"}},
        {{"WRSCON"}, {"Mov SCON,A"}},
        {{"WRTMOD 21H"}, {"Mov TMOD,#021H"}},
        {{"WRSP 60H"}, {"Mov SP,#060H"}},
        {{"wrsp 60H"}, {"Mov SP,#060H"}},
        // Rule 2: any other RD place takes characters 3 and 4.
        {{"RDR5"}, {"mov R5,A"}},
        {{"RDACC"}, {"mov AC,A"}},
        {{"RD"}, {"mov ,A"}},
        {{"RDMEM 5 9"}, {"mov ME,A"}},  // RDMEM with a value word is no memory statement
        // The exact RD keywords replace the line of rule 2.
        {{"RDCOUNT1"}, {"Mov A,08"}},
        {{"RDADR@R1"}, {"MOV A,@R1"}},
        {{"RDADR@R0"}, {"MOV A,@R0"}},
        {{"WRADR@R0"}, {"MOV @R0,A"}},
        {{"WRADR@R1"}, {"MOV @R1,A"}},
        // No register name after WR: nothing.
        {{"WRACC"}, {" "}},
    });
}

TEST(TransferRules, Stack)
{
    ExpectTranslations({
        {{"PUSH A"}, {"Push ACC"}},
        {{"push a"}, {"Push ACC"}},
        {{"POP a"}, {"Pop ACC"}},
        {{"PUSH DPH"}, {"Push DPH"}},
        {{"POP B"}, {"Pop B"}},
        {{"PUSH"}, {"Push "}},
        {{"PUSH AB"}, {"Push AB"}},
    });
}

TEST(TransferRules, CountRegistersBuffersAndAddresses)
{
    ExpectTranslations({
        {{"COUNT2 10"}, {"Mov 09,#010"}},
        {{"COUNT3 10"}, {"Mov 0Ah,#010"}},
        {{"COUNT8 1", "COUNT9 5"}, {"Mov 0Fh,#001", "Mov 0Fh,#005"}},
        {{"COUNT9 5"}, {"Mov ,#005"}},
        {{"WRCOUNT4"}, {"Mov 0Bh,A"}},
        {{"RDCOUNT5"}, {"Mov A,0Ch"}},
        {{"COUNT7 1", "RDCOUNT"}, {"Mov 0Eh,#001", "Mov A,0Eh"}},
        {{"WRBUFFER1"}, {"MOV 10h,A"}},
        {{"WRBUFFER9 20"}, {"MOV 18h,#020"}},
        {{"WRBUFFER0 20"}, {"MOV ,#020"}},
        {{"WRADR 30H"}, {"Mov 030H,A"}},
        {{"WRADR 30H 1"}, {"Mov 030H,#001"}},
        {{"WRBADR 40H"}, {"MOV B,040H"}},
    });
}

TEST(TransferRules, NumberedVariables)
{
    ExpectTranslations({
        {{"WRMEM 5"}, {"mov 053,A"}},
        {{"RDMEM 10H"}, {"mov A,040H"}},
        {{"WRMEM 79"}, {"mov 127,A"}},
        {{"WRMEM 80"}, {"Mov R1,#128", "Mov @R1,A"}},
        {{"RDMEM 90"}, {"Mov R1,#138", "Mov A,@R1"}},
        {{"WRMEM 90 7"}, {"Mov A,#007", "Mov R1,#138", "Mov @R1,A"}},
        {{"WRMEM 3 7"}, {"mov 051,#007"}},
        {{"WRMEM 4FH"}, {"mov 07FH,A"}},
        {{"WRMEM 50H"}, {"Mov R1,#080H", "Mov @R1,A"}},
        {{"WRMEM 0CFH"}, {"Mov R1,#0FFH", "Mov @R1,A"}},
        {{"WRMEM 207"}, {"Mov R1,#255", "Mov @R1,A"}},
        {{"WRMEM"}, {"mov 048,A"}},
        {{"WRMEM 1010B"}, {"ERORR - binary value"}},
        {{"RDMEM 11b"}, {"ERORR - binary value"}},
        {{"WRMEM 1b 5"}, {"ERORR - binary value"}},
    });
}

TEST(TransferRules, RefusedVariables)
{
    Lines source(12, "NOP");
    source.push_back("WRMEM 1010B");
    auto r = Compile(source);
    EXPECT_EQ(r.Output.back(), "ERORR - binary value");
    EXPECT_EQ(r.ErBox, (Lines{"12 binary value"}));

    // Numbers past 207 would need addresses past FFh: refused, translation goes on.
    r = Compile({"WRMEM 208", "RDMEM 0D0H", "WRMEM 300 5", "WRMEM 100000000H", "RDMEM -1", "WRMEM 1e99", "NOP"});
    EXPECT_EQ(r.Output, (Lines{"ERROR - variable number above 207", "ERROR - variable number above 207",
                               "ERROR - variable number above 207", "ERROR - variable number above 207",
                               "ERROR - negative variable number", "ERROR - variable number above 207", "NOP"}));
    EXPECT_EQ(r.ErBox, (Lines{"0 variable number above 207", "1 variable number above 207",
                              "2 variable number above 207", "3 variable number above 207",
                              "4 negative variable number", "5 variable number above 207"}));
}
