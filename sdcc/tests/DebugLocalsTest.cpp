// The locals SDCC's assembly lists, and the debug records taken for those of
// them the module's own records leave out (functions whose locals SDCC overlays).
#include "sdcc/DebugLocals.h"

#include <gtest/gtest.h>

using namespace sdcc;

namespace {

const char* const Assembly =
    ";------------------------------------------------------------\n"
    ";Allocation info for local variables in function 'add'\n"
    ";------------------------------------------------------------\n"
    ";b                         Allocated with name '_add_PARM_2'\n"
    ";a                         Allocated to registers r6 r7 \n"
    ";s                         Allocated to registers r6 r7 \n"
    ";sloc0                     Allocated with name '_add_sloc0_1_0'\n"
    ";------------------------------------------------------------\n"
    "\tmov\ta,r7\n"
    ";Allocation info for local variables in function 'main'\n"
    ";------------------------------------------------------------\n"
    ";total                     Allocated to registers \n"
    ";------------------------------------------------------------\n";

} // namespace

TEST(DebugLocals, AllocationsAndTheRecordsTakenForThem)
{
    const std::vector<LocalAllocation> locals = ReadLocalAllocations(Assembly);
    ASSERT_EQ(locals.size(), 4u);  // SDCC's spill location is no C name
    EXPECT_EQ(locals[0].function, "add");
    EXPECT_EQ(locals[0].name, "b");
    EXPECT_FALSE(locals[0].inRegisters);
    EXPECT_EQ(locals[1].registers, (std::vector<std::string>{"r6", "r7"}));
    EXPECT_EQ(locals[3].function, "main");
    EXPECT_TRUE(locals[3].inRegisters);
    EXPECT_TRUE(locals[3].registers.empty());

    const std::string adb = "M:m\nS:Lm.main$total$1_0$4({2}SI:S),R,0,0,[]\n";
    EXPECT_TRUE(LacksLocalRecords(adb, locals));
    EXPECT_FALSE(LacksLocalRecords(adb, {locals[3]}));
    // Taken: what the module lacks, where both compiles agree on the registers.
    const std::string complete = "M:m\n"
                                 "S:Lm.add$b$1_0$3({2}SI:S),E,0,0\n"
                                 "S:Lm.add$a$1_0$3({2}SI:S),R,0,0,[r6,r7]\n"
                                 "S:Lm.add$s$1_0$4({2}SI:S),R,0,0,[r4,r5]\n"
                                 "S:Lm.main$total$1_0$4({2}SI:S),R,0,0,[]\n"
                                 "S:Lm.other$q$1_0$4({2}SI:S),R,0,0,[r2,r3]\n";
    EXPECT_EQ(MissingLocalRecords(adb, complete, locals),
              "S:Lm.add$b$1_0$3({2}SI:S),E,0,0\nS:Lm.add$a$1_0$3({2}SI:S),R,0,0,[r6,r7]\n");
}
