// The language table: which words are keywords and of what family, and the
// names a source declares, read the way the compiler reads its lines.
#include "compiler/Language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace m51::language;

TEST(Language, KeywordsWithFamilyOperandAndRole)
{
    const struct {
        const char* word;
        bool keyword;
        Family family;
        Operand operand;
        Role role;
    } cases[] = {
        {"PROCEDURE", true, Family::Structure, Operand::ProcedureName, Role::Statement},
        {"SETBIT", true, Family::Operation, Operand::Other, Role::Statement},
        {"RDB", true, Family::Data, Operand::None, Role::Statement},
        {"IFA<>B", true, Family::Flow, Operand::Other, Role::Statement},
        {"EXITPROC", true, Family::Structure, Operand::None, Role::Operand},
        {"INLINEEND", true, Family::Structure, Operand::None, Role::BlockEnd},
        {"LOOP12", true, Family::Flow, Operand::ProcedureName, Role::Statement},
        {"COUNT3", true, Family::Flow, Operand::Other, Role::Statement},
        {"WRBUFFER2", true, Family::Data, Operand::Other, Role::Statement},
        {"LOOPWHILEBIT", true, Family::Flow, Operand::Other, Role::Statement},
        {"LOOP", false, {}, {}, {}},
        {"LOOP1A", false, {}, {}, {}},
        {"setbit", false, {}, {}, {}},   // keywords are looked up in capitals
        {"BLINK", false, {}, {}, {}},
        {"", false, {}, {}, {}},
    };
    for (const auto& c : cases) {
        const auto k = FindKeyword(c.word);
        ASSERT_EQ(k.has_value(), c.keyword) << c.word;
        if (!k)
            continue;
        EXPECT_EQ(k->family, c.family) << c.word;
        EXPECT_EQ(k->operand, c.operand) << c.word;
        EXPECT_EQ(k->role, c.role) << c.word;
    }
}

TEST(Language, EveryTipBelongsToOneWord)
{
    std::vector<std::string> words;
    for (const StatementTip& tip : StatementTips()) {
        EXPECT_EQ(std::string(tip.form.substr(0, tip.form.find(' '))), std::string(tip.word)) << tip.form;
        words.emplace_back(tip.word);
    }
    std::sort(words.begin(), words.end());
    EXPECT_EQ(std::adjacent_find(words.begin(), words.end()), words.end());
}

TEST(Language, DeclaredNames)
{
    const struct {
        const char* line;
        const char* procedure;  // nullptr: no PROCEDURE line
        const char* defined;    // nullptr: no definition
        const char* value;
        bool bit;
    } cases[] = {
        {"PROCEDURE Blink", "Blink", nullptr, "", false},
        {"  procedure   Blink ; flashes", "Blink", nullptr, "", false},
        {"PROCEDURE", "", nullptr, "", false},
        {"PROCEDURE\tBlink", nullptr, nullptr, "", false},  // words are parted by blanks only
        {"; PROCEDURE Blink", nullptr, nullptr, "", false},
        {"CALLPROC Blink", nullptr, nullptr, "", false},
        {"DEFINE Limit 10", nullptr, "Limit", "10", false},
        {"definebit Led P1.0 ; the lamp", nullptr, "Led", "P1.0", true},
        {"DEFINE Limit", nullptr, "Limit", "", false},
        {"DEFINES X 1", nullptr, nullptr, "", false},
    };
    for (const auto& c : cases) {
        const auto procedure = DeclaredProcedure(c.line);
        ASSERT_EQ(procedure.has_value(), c.procedure != nullptr) << c.line;
        if (procedure) {
            EXPECT_EQ(std::string(*procedure), c.procedure) << c.line;
        }
        const auto definition = DeclaredDefinition(c.line);
        ASSERT_EQ(definition.has_value(), c.defined != nullptr) << c.line;
        if (!definition)
            continue;
        EXPECT_EQ(std::string(definition->name), c.defined) << c.line;
        EXPECT_EQ(std::string(definition->value), c.value) << c.line;
        EXPECT_EQ(definition->bit, c.bit) << c.line;
    }
}

TEST(Language, ProcedureNamesInCapitalsInLineOrder)
{
    // "\xE8" and "\xC8" are c and C with caron in code page 1250.
    const std::string source = "BEGIN\r\nPROCEDURE main\r\nPROCEDURE\rprocedure Sv\xE8tlo ;x\nPROCEDURE MAIN\n";
    EXPECT_EQ(ProcedureNames(source), (std::vector<std::string>{"MAIN", "SV\xC8TLO", "MAIN"}));
}

} // namespace
