// Modules and the linker: three modules sharing public names, an INPAGE
// segment kept in one page, placements, the object file read back, the link
// errors on their lines, and m51ld's files.
#include "assembler/Assembler.h"
#include "assembler/m51ld/LinkCommand.h"
#include "assembler/Linker.h"
#include "assembler/ObjectFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Source {
    const char* name;
    const char* text;
};

// The reset vector jumps to Start; Start calls Blink in another module and
// reads Table of a third, which points back at Start.
const Source kMain = {"main.a51",
                      "NAME MAIN\n"
                      "EXTRN CODE (Blink, Table)\n"
                      "PUBLIC Start\n"
                      "?PR?MAIN SEGMENT CODE\n"
                      "?STACK SEGMENT IDATA\n"
                      "  RSEG ?STACK\n"
                      "  DS 16\n"
                      "  CSEG AT 0\n"
                      "  LJMP Start\n"
                      "  RSEG ?PR?MAIN\n"
                      "Start: MOV SP,#?STACK-1\n"
                      "  MOV DPTR,#Table\n"
                      "Again: LCALL Blink\n"
                      "  SJMP Again\n"
                      "  END\n"};
// Absolute code up to 0E9H: the room left in page 0 is too small for ?PR?BLINK.
const Source kFill = {"fill.a51",
                      "  CSEG AT 3\n"
                      "  REPT 0E7H\n"
                      "  NOP\n"
                      "  ENDM\n"
                      "  END\n"};
const Source kBlink = {"blink.a51",
                       "NAME BLINK\n"
                       "PUBLIC Blink, Count\n"
                       "?PR?BLINK SEGMENT CODE INPAGE\n"
                       "?DT?BLINK SEGMENT DATA\n"
                       "  RSEG ?DT?BLINK\n"
                       "Count: DS 1\n"
                       "  RSEG ?PR?BLINK\n"
                       "Blink: CPL P1.0\n"
                       "  DJNZ Count,Blink\n"
                       "  DS 20H\n"
                       "  RET\n"
                       "  END\n"};
const Source kTable = {"table.a51",
                       "PUBLIC Table\n"
                       "EXTRN CODE (Start)\n"
                       "?CO?TABLE SEGMENT CODE\n"
                       "  RSEG ?CO?TABLE\n"
                       "Table: DW Start\n"
                       "  DB HIGH(Start), LOW(Table)\n"
                       "  END\n"};

m51asm::AssembleResult AssembleModule(const Source& s)
{
    m51asm::AssembleOptions o;
    o.module = true;
    o.fileName = s.name;
    o.sourcePath = s.name;
    return m51asm::Assemble(s.text, o);
}

std::vector<m51asm::ObjectModule> Modules(const std::vector<Source>& sources)
{
    std::vector<m51asm::ObjectModule> modules;
    for (const Source& s : sources) {
        const m51asm::AssembleResult r = AssembleModule(s);
        EXPECT_TRUE(r.errors.empty()) << s.name << ": " << (r.errors.empty() ? "" : r.errors[0].message);
        if (r.object)
            modules.push_back(*r.object);
    }
    return modules;
}

std::int32_t PublicValue(const m51asm::LinkResult& r, const std::string& name)
{
    for (const m51asm::Symbol& s : r.program.symbols)
        if (s.name == name)
            return s.value;
    ADD_FAILURE() << "no public " << name;
    return -1;
}

std::string Errors(const m51asm::LinkResult& r)
{
    std::string text;
    for (const m51asm::AsmError& e : r.program.errors)
        text += e.file + ":" + std::to_string(e.line) + ": " + e.message + "\n";
    return text;
}

TEST(Link, ThreeModulesSharePublicNamesAndKeepInpageInOnePage)
{
    const std::vector<m51asm::ObjectModule> modules = Modules({kMain, kFill, kBlink, kTable});
    ASSERT_EQ(modules.size(), 4u);
    const m51asm::LinkResult r = m51asm::Link(modules);
    ASSERT_EQ(Errors(r), "");
    const auto& image = r.program.image;
    const std::int32_t start = PublicValue(r, "Start"), blink = PublicValue(r, "Blink"),
                       table = PublicValue(r, "Table"), count = PublicValue(r, "Count");
    // ?PR?BLINK (38 bytes) does not fit in the rest of page 0 after the filler;
    // the other code does.
    EXPECT_EQ(blink, 0x100);
    EXPECT_EQ(start, 0xEA);
    EXPECT_EQ(count, 8);  // the first byte after register bank 0
    const auto word = [&](std::int32_t at) { return image[static_cast<std::size_t>(at)] << 8 | image[static_cast<std::size_t>(at) + 1]; };
    EXPECT_EQ(image[0], 0x02);
    EXPECT_EQ(word(1), start);                         // LJMP Start (absolute code)
    EXPECT_EQ(image[static_cast<std::size_t>(start) + 2], 8);  // MOV SP,#?STACK-1: the stack after Count
    EXPECT_EQ(word(start + 4), table);                 // MOV DPTR,#Table
    EXPECT_EQ(word(start + 7), blink);                 // LCALL Blink
    EXPECT_EQ(image[static_cast<std::size_t>(start) + 9], 0x80);
    EXPECT_EQ(image[static_cast<std::size_t>(start) + 10], 0xFB);  // SJMP Again: position independent
    EXPECT_EQ(image[static_cast<std::size_t>(blink) + 3], count);  // DJNZ Count,Blink
    EXPECT_EQ(word(table), start);                      // DW Start
    EXPECT_EQ(image[static_cast<std::size_t>(table) + 2], start >> 8);
    EXPECT_EQ(image[static_cast<std::size_t>(table) + 3], table & 0xFF);
    EXPECT_NE(r.map.find("?PR?BLINK INPAGE"), std::string::npos);
    EXPECT_NE(r.map.find("Blink"), std::string::npos);

    // Each module assembled again at its final addresses makes the same bytes.
    const Source sources[] = {kMain, kFill, kBlink, kTable};
    for (std::size_t m = 0; m < 4; ++m) {
        m51asm::AssembleOptions o;
        o.placed = true;
        o.segmentBases = r.bases[m];
        o.externalValues = r.externValues[m];
        const m51asm::AssembleResult placed = m51asm::Assemble(sources[m].text, o);
        EXPECT_TRUE(placed.errors.empty()) << sources[m].name;
        for (std::size_t a = 0; a < placed.written.size(); ++a) {
            if (placed.written[a]) {
                ASSERT_EQ(placed.image[a], image[a]) << sources[m].name << " at " << a;
            }
        }
    }

    // The object files read back to the same modules.
    for (const m51asm::ObjectModule& m : modules) {
        m51asm::ObjectModule back;
        std::string error;
        ASSERT_TRUE(m51asm::ReadObject(m51asm::WriteObject(m), back, error)) << error;
        EXPECT_EQ(back, m);
    }
}

TEST(Link, PlacementsPutSegmentsWhereTheyAreNamed)
{
    m51asm::LinkOptions options;
    options.placements = {{"?pr?blink", 0x1000}, {"?CO?TABLE", 0x2345}};
    const m51asm::LinkResult r = m51asm::Link(Modules({kMain, kBlink, kTable}), options);
    ASSERT_EQ(Errors(r), "");
    EXPECT_EQ(PublicValue(r, "Blink"), 0x1000);
    EXPECT_EQ(PublicValue(r, "Table"), 0x2345);

    options.placements = {{"?PR?BLINK", 0x10F0}, {"NOSUCH", 0x100}};
    EXPECT_EQ(Errors(m51asm::Link(Modules({kMain, kBlink, kTable}), options)),
              "blink.a51:3: segment ?PR?BLINK (38 bytes, CODE INPAGE) placed at 10F0H breaks its relocation rule\n"
              ":0: no segment named NOSUCH to place\n");
}

TEST(Link, ErrorsNameTheFileAndLine)
{
    const Source kFar = {"far.a51", "PUBLIC Far, Near\nFar EQU 1234H\nNear EQU 10H\n"};
    struct Case {
        std::vector<Source> sources;
        const char* errors;
    };
    const Case cases[] = {
        {{{"a.a51", "EXTRN CODE (Missing)\nCSEG AT 0\nLJMP Missing\n"}},
         "a.a51:1: undefined name Missing: EXTRN here, PUBLIC in no module linked\n"},
        {{kFar, {"b.a51", "PUBLIC Far\nFar: NOP\n"}}, "b.a51:2: public name Far is defined twice: also at far.a51:2\n"},
        {{kFar, {"c.a51", "EXTRN NUMBER (Far)\nCSEG AT 0\nMOV A,#Far\n"}},
         "c.a51:3: value 1234H does not fit in a byte\n"},
        {{kFar, {"d.a51", "EXTRN CODE (Far)\nCSEG AT 0\nAJMP Far\n"}},
         "d.a51:3: target 1234H is outside the 2 KB block 0000H-07FFH of this AJMP or ACALL (use LJMP or LCALL)\n"},
        {{kFar, {"e.a51", "EXTRN CODE (Far, Near)\nCSEG AT 0\nSJMP Near\nJZ Far\n"}},
         "e.a51:4: jump target 1234H is out of range: 4656 bytes away, a relative jump reaches -128 to +127\n"},
        {{{"f.a51", "X SEGMENT CODE\nRSEG X\nNOP\n"}, {"g.a51", "X SEGMENT DATA\nRSEG X\nDS 1\n"}},
         "g.a51:1: segment X is DATA here but CODE in f.a51\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Errors(m51asm::Link(Modules(c.sources))), c.errors) << c.sources.back().name;

    // Problems found while assembling a module.
    struct ModuleCase {
        const char* text;
        const char* error;
    };
    const ModuleCase moduleCases[] = {
        {"PUBLIC Nothing\n", "PUBLIC Nothing: the name is not defined in this module"},
        {"RSEG Nowhere\n", "RSEG needs the name of a segment declared above it (NAME SEGMENT CODE)"},
        {"S SEGMENT CODE BITADDRESSABLE\n", "BITADDRESSABLE is for DATA segments"},
        {"EXTRN CODE Far\n", "EXTRN takes TYPE (names), ...: CODE, DATA, IDATA, BIT, XDATA or NUMBER"},
    };
    for (const ModuleCase& c : moduleCases) {
        const m51asm::AssembleResult r = AssembleModule({"m.a51", c.text});
        ASSERT_EQ(r.errors.size(), 1u) << c.text;
        EXPECT_EQ(r.errors[0].message, c.error);
    }
}

TEST(Link, ObjectReaderRefusesDamagedFiles)
{
    const m51asm::AssembleResult r = AssembleModule(kTable);
    ASSERT_TRUE(r.object);
    const std::string good = m51asm::WriteObject(*r.object);
    struct Case {
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 0: empty file, not an m51 object file"},
        {"M51OBJ 2\nend\n", "line 1: object file version not understood (this m51as reads version 1)"},
        {good.substr(0, good.size() - 4), "the file ends without its end record (cut short?)"},
        {"M51OBJ 1\nsegment S CODE 2 1\nbytes 0 1 AABB\nend\n", "line 3: bytes outside their segment"},
        {"M51OBJ 1\nsegment S CODE 2 1\nfixup 0 0 WORD 0 1 #1 +\nend\n",
         "line 3: operator + without its operands"},
        {"M51OBJ 1\nextern X C 1\nfixup 0 0 BYTE 0 1 $0\nend\n", "line 3: fixup in an unknown segment"},
    };
    for (const Case& c : cases) {
        m51asm::ObjectModule m;
        std::string error;
        EXPECT_FALSE(m51asm::ReadObject(c.text, m, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(Link, CommandLineWritesObjectsImageMapAndListings)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("m51ld-test-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(dir);
    const auto path = [&](const std::string& name) { return (dir / name).string(); };
    for (const Source& s : {kMain, kBlink, kTable})
        std::ofstream(path(s.name), std::ios::binary) << s.text;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    m51asm::AssembleOptions options;
    m51ld::UseFiles(options);
    EXPECT_EQ(m51ld::AssembleModules({path("blink.a51"), path("table.a51")}, std::nullopt, options, out, err), 0);
    EXPECT_EQ(m51ld::Run({"-o", path("prog"), "--place", "?PR?MAIN=800H", path("main.a51"), path("blink.obj"),
                          path("table.obj")},
                         out, err),
              0);
    const auto read = [&](const std::string& name) {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_NE(read("prog.hex").find(":0B080000"), std::string::npos);  // ?PR?MAIN placed at 800H
    EXPECT_NE(read("prog.map").find("CODE   0800H"), std::string::npos);
    EXPECT_NE(read("main.lst").find("0800  7581"), std::string::npos);  // Start at its final address
    EXPECT_FALSE(read("prog.bin").empty());
    // An undefined name: exit 1, no image.
    EXPECT_EQ(m51ld::Run({"-o", path("prog"), path("main.a51"), path("blink.obj")}, out, err), 1);
    EXPECT_FALSE(std::filesystem::exists(path("prog.hex")));
    std::fclose(out);
    std::fclose(err);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
