#include "toolchain/CExpression.h"

#include "toolchain/CValue.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace toolchain {
namespace {

using namespace cvalue;

constexpr uint32_t kPsw = 0xD0;

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
bool isNameChar(char c) { return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

// One evaluation: a recursive descent over C's operators that computes as
// it parses. The first error stops it and is the answer.
class Evaluation {
public:
    Evaluation(std::string_view text, const Program& program, const MemoryAccess& memory, const StopPlace& place)
        : m_text(text), m_program(program), m_memory(memory), m_place(place)
    {
    }

    CResult run()
    {
        std::optional<CValue> value = logicalOr();
        skipSpace();
        if (value && m_at < m_text.size())
            fail("unexpected '" + std::string(m_text.substr(m_at, 1)) + "'");
        if (!m_error.empty())
            return {std::nullopt, m_error};
        return {value, {}};
    }

private:
    using Value = std::optional<CValue>;

    void fail(std::string message)
    {
        if (m_error.empty())
            m_error = std::move(message);
    }

    void skipSpace()
    {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }

    bool take(std::string_view token)
    {
        skipSpace();
        if (m_text.substr(m_at, token.size()) != token)
            return false;
        // "<" is not the start of "<<" or "<=", "&" not of "&&".
        const std::size_t next = m_at + token.size();
        if (token.size() == 1 && next < m_text.size()) {
            const char c = m_text[next];
            if ((token == "<" || token == ">") && (c == token[0] || c == '='))
                return false;
            if ((token == "&" || token == "|") && c == token[0])
                return false;
            if ((token == "!" || token == "=") && c == '=')
                return false;
            if (token == "-" && (c == '>' || c == '-'))
                return false;
        }
        m_at = next;
        return true;
    }

    static CValue number(double value, bool isFloat)
    {
        CValue v;
        v.isFloat = isFloat;
        v.real = value;
        v.integer = isFloat ? 0 : static_cast<int64_t>(value);
        return v;
    }

    std::optional<double> numberOf(const Value& value)
    {
        if (!value)
            return std::nullopt;
        std::optional<double> n = loadNumber(*value, m_program, m_memory);
        if (!n)
            fail("a structure or an array is not a number");
        return n;
    }

    bool isFloat(const CValue& value)
    {
        const Type* type = typeOf(value, m_program);
        return type ? type->kind == Type::Kind::Float : value.isFloat;
    }

    // The binary operators, lowest precedence first.
    Value binary(int level)
    {
        static const std::vector<std::vector<std::string_view>> kLevels = {
            {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<=", ">=", "<", ">"}, {"<<", ">>"}, {"+", "-"},
            {"*", "/", "%"},
        };
        if (level == static_cast<int>(kLevels.size()))
            return unary();
        Value left = binary(level + 1);
        for (;;) {
            std::string_view op;
            for (std::string_view candidate : kLevels[static_cast<std::size_t>(level)])
                if (take(candidate)) {
                    op = candidate;
                    break;
                }
            if (op.empty() || !left)
                return left;
            const Value right = binary(level + 1);
            left = apply(op, left, right);
        }
    }

    Value logicalOr() { return binary(0); }

    Value apply(std::string_view op, const Value& left, const Value& right)
    {
        const std::optional<double> a = numberOf(left), b = numberOf(right);
        if (!a || !b)
            return std::nullopt;
        const bool real = isFloat(*left) || isFloat(*right);
        const auto x = static_cast<int64_t>(*a), y = static_cast<int64_t>(*b);
        if (op == "==") return number(*a == *b, false);
        if (op == "!=") return number(*a != *b, false);
        if (op == "<") return number(*a < *b, false);
        if (op == "<=") return number(*a <= *b, false);
        if (op == ">") return number(*a > *b, false);
        if (op == ">=") return number(*a >= *b, false);
        if (op == "&&") return number(*a != 0 && *b != 0, false);
        if (op == "||") return number(*a != 0 || *b != 0, false);
        if (op == "+") return real ? number(*a + *b, true) : number(static_cast<double>(x + y), false);
        if (op == "-") return real ? number(*a - *b, true) : number(static_cast<double>(x - y), false);
        if (op == "*") return real ? number(*a * *b, true) : number(static_cast<double>(x * y), false);
        if ((op == "/" || op == "%") && *b == 0) {
            fail("division by zero");
            return std::nullopt;
        }
        if (op == "/") return real ? number(*a / *b, true) : number(static_cast<double>(x / y), false);
        if (real) {
            fail("'" + std::string(op) + "' needs whole numbers");
            return std::nullopt;
        }
        if (op == "%") return number(static_cast<double>(x % y), false);
        if (op == "&") return number(static_cast<double>(x & y), false);
        if (op == "|") return number(static_cast<double>(x | y), false);
        if (op == "^") return number(static_cast<double>(x ^ y), false);
        if (y < 0 || y > 63) {
            fail("shift by " + std::to_string(y));
            return std::nullopt;
        }
        if (op == "<<") return number(static_cast<double>(x << y), false);
        return number(static_cast<double>(x >> y), false);
    }

    Value unary()
    {
        if (++m_depth > 64) {
            fail("the expression is nested too deeply");
            return std::nullopt;
        }
        Value value;
        if (take("-")) {
            const Value operand = unary();
            const std::optional<double> n = numberOf(operand);
            value = n ? Value(number(-*n, isFloat(*operand))) : std::nullopt;
        } else if (take("+")) {
            value = unary();
        } else if (take("!")) {
            const std::optional<double> n = numberOf(unary());
            value = n ? Value(number(*n == 0, false)) : std::nullopt;
        } else if (take("~")) {
            const std::optional<double> n = numberOf(unary());
            value = n ? Value(number(static_cast<double>(~static_cast<int64_t>(*n)), false)) : std::nullopt;
        } else if (take("*")) {
            value = dereference(unary());
        } else if (take("&")) {
            value = addressOf(unary());
        } else {
            value = postfix();
        }
        --m_depth;
        return value;
    }

    Value addressOf(const Value& value)
    {
        if (!value)
            return std::nullopt;
        if (!value->location || value->location->space == Storage::Register || value->location->space == Storage::Bit) {
            fail("this value has no address");
            return std::nullopt;
        }
        return number(value->location->address, false);
    }

    Value dereference(const Value& value)
    {
        if (!value)
            return std::nullopt;
        const Type* type = typeOf(*value, m_program);
        if (type && type->kind == Type::Kind::Array)
            return element(value, 0);
        const std::optional<Location> target = pointee(*value, m_program, m_memory);
        if (!target) {
            fail(type && type->kind == Type::Kind::Pointer ? "the pointer cannot be read" : "only a pointer can be followed");
            return std::nullopt;
        }
        const Type* to = typeOf(CValue{type->target, {}, false, 0, 0}, m_program);
        if (!to || to->kind == Type::Kind::Void) {
            fail("a void pointer cannot be followed");
            return std::nullopt;
        }
        return CValue{type->target, *target, false, 0, 0};
    }

    Value element(const Value& value, int64_t index)
    {
        const Type* type = typeOf(*value, m_program);
        if (type && type->kind == Type::Kind::Pointer) {
            const Value first = dereference(value);
            if (!first)
                return std::nullopt;
            CValue moved = *first;
            moved.location->address += static_cast<uint32_t>(index * sizeOf(moved, m_program));
            return moved;
        }
        if (!type || type->kind != Type::Kind::Array || !value->location) {
            fail("only an array or a pointer has elements");
            return std::nullopt;
        }
        if (index < 0 || index >= type->count) {
            fail("index " + std::to_string(index) + " is outside the array of " + std::to_string(type->count));
            return std::nullopt;
        }
        const int elementSize = type->count ? type->size / type->count : 0;
        return CValue{type->target, offsetBy(*value->location, static_cast<int>(index) * elementSize), false, 0, 0};
    }

    Value field(const Value& value, const std::string& name)
    {
        const Type* type = typeOf(*value, m_program);
        if (!type || (type->kind != Type::Kind::Struct && type->kind != Type::Kind::Union) || !value->location) {
            fail("'" + name + "': only a structure has fields");
            return std::nullopt;
        }
        for (const auto& [childName, child] : ChildrenOf(*value, m_program, m_memory, type->fields.size()))
            if (childName == name)
                return child;
        fail(type->name + " has no field '" + name + "'");
        return std::nullopt;
    }

    Value postfix()
    {
        Value value = primary();
        while (value) {
            if (take("[")) {
                const std::optional<double> index = numberOf(logicalOr());
                if (!index || !take("]")) {
                    fail("']' expected");
                    return std::nullopt;
                }
                value = element(value, static_cast<int64_t>(*index));
            } else if (take("->")) {
                value = dereference(value);
                if (value)
                    value = field(value, name());
            } else if (take(".")) {
                value = field(value, name());
            } else {
                break;
            }
        }
        return value;
    }

    std::string name()
    {
        skipSpace();
        const std::size_t start = m_at;
        while (m_at < m_text.size() && isNameChar(m_text[m_at]))
            ++m_at;
        if (start == m_at || !isNameStart(m_text[start]))
            fail("a name is expected");
        return std::string(m_text.substr(start, m_at - start));
    }

    Value primary()
    {
        skipSpace();
        if (take("(")) {
            Value value = logicalOr();
            if (!take(")"))
                fail("')' expected");
            return value;
        }
        if (m_at >= m_text.size()) {
            fail("the expression ends too early");
            return std::nullopt;
        }
        const char c = m_text[m_at];
        if (c == '\'' && m_at + 2 < m_text.size() && m_text[m_at + 2] == '\'') {
            const auto ch = static_cast<uint8_t>(m_text[m_at + 1]);
            m_at += 3;
            return number(ch, false);
        }
        if (std::isdigit(static_cast<unsigned char>(c)))
            return constant();
        if (isNameStart(c))
            return variable(name());
        fail("unexpected '" + std::string(1, c) + "'");
        return std::nullopt;
    }

    Value constant()
    {
        const std::size_t start = m_at;
        while (m_at < m_text.size() && (isNameChar(m_text[m_at]) || m_text[m_at] == '.'))
            ++m_at;
        std::string_view text = m_text.substr(start, m_at - start);
        while (!text.empty() && (text.back() == 'u' || text.back() == 'U' || text.back() == 'l' || text.back() == 'L'))
            text.remove_suffix(1);
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        if (!hex && text.find('.') != std::string_view::npos) {
            if (text.back() == 'f' || text.back() == 'F')
                text.remove_suffix(1);
            double real = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), real);
            if (error == std::errc() && end == text.data() + text.size())
                return number(real, true);
        } else {
            const int base = hex ? 16 : text.size() > 2 && (text[1] == 'b' || text[1] == 'B') ? 2 : 10;
            const std::string_view digits = base == 10 ? text : text.substr(2);
            uint64_t integer = 0;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), integer, base);
            if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty())
                return number(static_cast<double>(integer), false);
        }
        fail("'" + std::string(m_text.substr(start, m_at - start)) + "' is not a number");
        return std::nullopt;
    }

    Value variable(const std::string& name)
    {
        const Symbol* symbol = lookUp(name);
        if (!symbol) {
            fail("no such name in this program: " + name);
            return std::nullopt;
        }
        CValue value;
        value.type = symbol->type;
        switch (symbol->storage) {
        case Storage::Constant: return number(symbol->address, false);
        case Storage::Register: {
            const std::optional<uint8_t> psw = m_memory.read(Storage::Sfr, kPsw);
            const int bank = psw ? ((*psw >> 3) & 3) * 8 : 0;
            Location at;
            at.space = Storage::Register;
            for (int r : symbol->registers.empty() ? std::vector<int>{symbol->address} : symbol->registers) {
                if (r < 0 || r > 7) {
                    fail(name + " has no place here: the compiler removed it");
                    return std::nullopt;
                }
                if (!m_place.frameBase) {
                    at.registers.push_back(bank + r);
                    continue;
                }
                // A caller's register: the copy its call saved, if it did.
                const auto& saved = m_place.savedRegisters;
                const auto copy = std::find_if(saved.begin(), saved.end(), [r](const auto& s) { return s.first == r; });
                if (copy == saved.end()) {
                    fail(name + " is kept in R" + std::to_string(r) + ", which the call does not save: known only in the innermost frame");
                    return std::nullopt;
                }
                at.registers.push_back(copy->second);
            }
            value.location = at;
            return value;
        }
        case Storage::StackRelative: {
            const std::optional<uint8_t> base = frameBase();
            if (!base) {
                fail(name + " is on the stack, but the frame is not known");
                return std::nullopt;
            }
            value.location = Location{Storage::InternalRam, static_cast<uint32_t>((*base + symbol->address) & 0xFF), {}, 0, 0};
            return value;
        }
        default:
            value.location = Location{symbol->storage, static_cast<uint32_t>(symbol->address), {}, 0, 0};
            return value;
        }
    }

    std::optional<uint8_t> frameBase()
    {
        if (m_place.frameBase)
            return m_place.frameBase;
        const Symbol* bp = m_program.findSymbol("_bp");
        if (!bp || bp->storage != Storage::InternalRam)
            return std::nullopt;
        return m_memory.read(Storage::InternalRam, static_cast<uint32_t>(bp->address));
    }

    // C's names are found innermost first: the function's locals, the file's
    // statics, the globals; then, for M51 and assembly, names in any case.
    const Symbol* lookUp(const std::string& name) const
    {
        const Function* function = m_program.functionAt(m_place.pc);
        const int index = function ? static_cast<int>(function - m_program.functions.data()) : -1;
        const Symbol* fileStatic = nullptr;
        const Symbol* global = nullptr;
        for (const Symbol& s : m_program.symbols) {
            if (s.name != name)
                continue;
            if ((s.scope == Scope::Function || s.scope == Scope::Block) && index >= 0 && s.function == index)
                return &s;
            if (s.scope == Scope::File && function && s.file == function->file && !fileStatic)
                fileStatic = &s;
            if (s.scope == Scope::Global && !global)
                global = &s;
        }
        if (fileStatic)
            return fileStatic;
        if (global)
            return global;
        const Symbol* any = m_program.findSymbol(name);
        return any && any->scope != Scope::Function && any->scope != Scope::Block ? any : nullptr;
    }

    std::string_view m_text;
    const Program& m_program;
    const MemoryAccess& m_memory;
    StopPlace m_place;
    std::size_t m_at = 0;
    int m_depth = 0;
    std::string m_error;
};

} // namespace

CResult Evaluate(std::string_view expression, const Program& program, const MemoryAccess& memory, const StopPlace& place)
{
    if (expression.size() > 1024)
        return {std::nullopt, "the expression is too long"};
    return Evaluation(expression, program, memory, place).run();
}

std::vector<const Symbol*> LocalsAt(const Program& program, uint16_t pc)
{
    std::vector<const Symbol*> locals;
    const Function* function = program.functionAt(pc);
    if (!function)
        return locals;
    const int index = static_cast<int>(function - program.functions.data());
    for (const Symbol& s : program.symbols)
        if ((s.scope == Scope::Function || s.scope == Scope::Block) && s.function == index)
            locals.push_back(&s);
    return locals;
}

std::optional<uint8_t> CallerFrame(uint8_t frameBase, const MemoryAccess& memory)
{
    return memory.read(Storage::InternalRam, frameBase);
}

} // namespace toolchain
