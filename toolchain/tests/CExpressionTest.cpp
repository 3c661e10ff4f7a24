// C expressions evaluated over a hand-made program and memory: names in
// every storage (registers of the selected bank, the stack frame, bits,
// external RAM), fields, elements, pointers of every memory, operators,
// the values written back, and the reasons given where there is no answer.
#include "toolchain/CExpression.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

using namespace toolchain;

class FakeMemory : public MemoryAccess {
public:
    std::optional<uint8_t> read(Storage space, uint32_t address) const override
    {
        const auto it = bytes.find({space, address});
        return it == bytes.end() ? uint8_t{0} : it->second;
    }
    bool write(Storage space, uint32_t address, uint8_t value) override
    {
        if (space == Storage::Code)
            return false;
        bytes[{space, address}] = value;
        return true;
    }
    void put(Storage space, uint32_t address, std::initializer_list<uint8_t> values)
    {
        for (uint8_t v : values)
            bytes[{space, address++}] = v;
    }
    std::map<std::pair<Storage, uint32_t>, uint8_t> bytes;
};

Type makeType(Type::Kind kind, std::string name, int size, bool isSigned = false)
{
    Type t;
    t.kind = kind;
    t.name = std::move(name);
    t.size = size;
    t.isSigned = isSigned;
    return t;
}

Field makeField(std::string name, int type, int offset, int bitOffset = 0, int bitWidth = 0)
{
    Field f;
    f.name = std::move(name);
    f.type = type;
    f.offset = offset;
    f.bitOffset = bitOffset;
    f.bitWidth = bitWidth;
    return f;
}

int addType(Program& p, Type t)
{
    p.types.push_back(std::move(t));
    return static_cast<int>(p.types.size()) - 1;
}

Symbol symbol(std::string name, Storage storage, int32_t address, int type, Scope scope = Scope::Global, int function = -1)
{
    Symbol s;
    s.name = std::move(name);
    s.storage = storage;
    s.address = address;
    s.type = type;
    s.scope = scope;
    s.function = function;
    return s;
}

// struct pt { int x; unsigned char flags : 3; long l; } g; struct pt *gp (generic);
// __xdata int xa[4]; float f; __bit flag; int fact(int n) with n in r6/r7 and k on the stack.
struct Fixture {
    Program program;
    FakeMemory memory;

    Fixture()
    {
        const int i16 = addType(program, makeType(Type::Kind::Integer, "int", 2, true));
        const int u8 = addType(program, makeType(Type::Kind::Integer, "unsigned char", 1));
        const int i32 = addType(program, makeType(Type::Kind::Integer, "long", 4, true));
        const int f32 = addType(program, makeType(Type::Kind::Float, "float", 4, true));
        const int bit = addType(program, makeType(Type::Kind::Bit, "__bit", 1));
        Type pt = makeType(Type::Kind::Struct, "pt", 7);
        pt.fields = {makeField("x", i16, 0), makeField("flags", u8, 2, 1, 3), makeField("l", i32, 3)};
        const int ptType = addType(program, pt);
        Type gp = makeType(Type::Kind::Pointer, "pt *", 3);
        gp.generic = true;
        gp.target = ptType;
        const int gpType = addType(program, gp);
        Type xa = makeType(Type::Kind::Array, "int [4]", 8);
        xa.target = i16;
        xa.count = 4;
        const int xaType = addType(program, xa);

        Function fact;
        fact.name = "fact";
        fact.start = 0x100;
        fact.end = 0x140;
        program.functions.push_back(fact);
        program.symbols = {
            symbol("g", Storage::InternalRam, 0x30, ptType),
            symbol("gp", Storage::InternalRam, 0x38, gpType),
            symbol("xa", Storage::ExternalRam, 0x0200, xaType),
            symbol("f", Storage::InternalRam, 0x40, f32),
            symbol("flag", Storage::Bit, 0x05, bit),
            symbol("_bp", Storage::InternalRam, 0x16, -1),
            symbol("n", Storage::Register, 6, i16, Scope::Function, 0),
            symbol("k", Storage::StackRelative, 1, i16, Scope::Function, 0),
            symbol("LIMIT", Storage::Constant, 300, -1),
        };
        program.symbols[6].registers = {6, 7};

        memory.put(Storage::InternalRam, 0x30, {0xD4, 0xFE, 0x05 << 1 | 1, 0x78, 0x56, 0x34, 0x12});  // x=-300
        memory.put(Storage::InternalRam, 0x38, {0x30, 0x00, 0x40});  // gp = &g (data)
        memory.put(Storage::ExternalRam, 0x0200, {1, 0, 2, 0, 0xFF, 0xFF, 4, 0});
        float f = -70.625f;
        uint8_t raw[4];
        std::memcpy(raw, &f, 4);
        memory.put(Storage::InternalRam, 0x40, {raw[0], raw[1], raw[2], raw[3]});
        memory.put(Storage::Bit, 0x05, {1});
        memory.put(Storage::Sfr, 0xD0, {0x08});                   // PSW: bank 1
        memory.put(Storage::InternalRam, 0x0E, {0x05, 0x00});     // bank 1 R6/R7: n = 5
        memory.put(Storage::InternalRam, 0x16, {0x60});           // _bp
        memory.put(Storage::InternalRam, 0x61, {0x78, 0x00});     // k = 120
    }

    std::string eval(const std::string& text, uint16_t pc = 0x110)
    {
        const CResult r = Evaluate(text, program, memory, {pc, {}});
        return r.value ? FormatValue(*r.value, program, memory) : "error: " + r.error;
    }
};

TEST(CExpression, ReadsValuesAsCReadsThem)
{
    Fixture fx;
    const std::pair<const char*, const char*> cases[] = {
        {"g.x", "-300"},
        {"g.flags", "5"},
        {"g.l", "305419896"},
        {"gp->x", "-300"},
        {"(*gp).l", "305419896"},
        {"gp", "0x0030"},
        {"xa[2]", "-1"},
        {"xa", "[1, 2, -1, 4]"},
        {"f", "-70.625"},
        {"flag", "1"},
        {"n", "5"},
        {"k", "120"},
        {"n * k + 1", "601"},
        {"g.x == -300 && n > 4", "1"},
        {"xa[n - 4] != 0", "1"},
        {"LIMIT", "300"},
        {"f < -70", "1"},
        {"-f", "70.625"},
        {"g", "{x=-300, flags=5, l=305419896}"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(fx.eval(text), expected) << text;
}

TEST(CExpression, SaysWhyThereIsNoValue)
{
    Fixture fx;
    const std::pair<const char*, const char*> cases[] = {
        {"nothing", "no such name"},
        {"xa[4]", "outside the array"},
        {"g.y", "no field 'y'"},
        {"n / (k - 120)", "division by zero"},
        {"f.x", "only a structure"},
        {"*n", "only a pointer"},
        {"g.x +", "ends too early"},
        {"(n", "')' expected"},
    };
    for (const auto& [text, reason] : cases)
        EXPECT_NE(fx.eval(text).find(reason), std::string::npos) << text << ": " << fx.eval(text);
    // Outside `fact` its locals are not in scope; in a caller's frame its registers are not known.
    EXPECT_NE(fx.eval("n", 0x200).find("no such name"), std::string::npos);
    const CResult outer = Evaluate("n", fx.program, fx.memory, {0x110, uint8_t{0x50}});
    EXPECT_NE(outer.error.find("innermost frame"), std::string::npos);
}

TEST(CExpression, WritesValuesBack)
{
    Fixture fx;
    auto assign = [&](const std::string& target, const std::string& text) {
        const CResult r = Evaluate(target, fx.program, fx.memory, {0x110, {}});
        return r.value ? Assign(*r.value, text, fx.program, fx.memory) : r.error;
    };
    EXPECT_EQ(assign("g.flags", "2"), "");
    EXPECT_EQ(fx.eval("g.flags"), "2");
    EXPECT_EQ(fx.eval("g.x"), "-300");  // the bit field's neighbours stay
    EXPECT_EQ(assign("n", "-2"), "");
    EXPECT_EQ(fx.eval("n"), "-2");
    EXPECT_EQ(assign("f", "1.5"), "");
    EXPECT_EQ(fx.eval("f"), "1.5");
    EXPECT_EQ(assign("xa[1]", "0x7FFF"), "");
    EXPECT_EQ(fx.eval("xa[1]"), "32767");
    EXPECT_NE(assign("g.flags", "8").find("does not fit"), std::string::npos);
    EXPECT_NE(assign("g", "1").find("choose a field"), std::string::npos);
    EXPECT_NE(assign("n", "abc").find("not a number"), std::string::npos);
}

} // namespace
