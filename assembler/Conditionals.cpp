// Conditional assembly: IF, IFDEF, IFNDEF, IFB, IFNB, IFIDN, IFDIF with their
// ELSEIF forms, ELSE and ENDIF, nested; and the controls $IF, $ELSEIF, $ELSE,
// $ENDIF on the variables of $SET and $RESET. A condition is decided when it
// is read, so it can use only names defined above it, as in ASM51.
#include "assembler/Reader.h"
#include "assembler/Characters.h"

namespace m51asm {

namespace {

enum class Test { None, If, Def, Ndef, Blank, NotBlank, Same, Different };

// "IF", "IFDEF" ... without a leading "ELSE".
Test TestOf(std::string_view w)
{
    struct Name { const char* name; Test test; };
    static constexpr Name kNames[] = {{"IF", Test::If},     {"IFDEF", Test::Def},  {"IFNDEF", Test::Ndef},
                                      {"IFB", Test::Blank}, {"IFNB", Test::NotBlank}, {"IFIDN", Test::Same},
                                      {"IFDIF", Test::Different}};
    for (const Name& n : kNames)
        if (SameWord(w, n.name))
            return n.test;
    return Test::None;
}

// A macro argument as IFB and IFIDN take it: <text> or text.
std::string_view Bracketed(std::string_view s)
{
    s = TrimBlanks(s);
    if (s.size() >= 2 && s.front() == '<' && s.back() == '>')
        s = s.substr(1, s.size() - 2);
    return TrimBlanks(s);
}

bool SameText(std::string_view a, std::string_view b)
{
    return UpperCase(a) == UpperCase(b);
}

} // namespace

bool Reader::ConditionalLine(std::string_view word, std::string_view rest, std::int32_t row, bool control)
{
    const char* name = control ? "$" : "";
    if (const Test t = TestOf(word); t != Test::None) {
        Conditional c;
        c.row = row;
        c.control = control;
        c.outerActive = !Skipping();
        c.active = c.outerActive && Condition(word, rest, row, control);
        c.taken = c.active || !c.outerActive;
        m_conditionals.push_back(c);
        return true;
    }
    const bool isElse = SameWord(word, "ELSE");
    const bool isElseIf = !isElse && word.size() > 4 && SameWord(word.substr(0, 4), "ELSE") &&
                          TestOf(word.substr(4)) != Test::None;
    const bool isEnd = SameWord(word, "ENDIF");
    if (!isElse && !isElseIf && !isEnd)
        return false;
    if (m_conditionals.empty()) {
        m_ctx.Error(row, std::string(name) + UpperCase(word) + " without " + name + "IF");
        return true;
    }
    Conditional& c = m_conditionals.back();
    if (isEnd) {
        m_conditionals.pop_back();
        return true;
    }
    if (c.elseSeen) {
        m_ctx.Error(row, std::string(name) + UpperCase(word) + " after " + name + "ELSE");
        c.active = false;
        return true;
    }
    if (isElse) {
        c.elseSeen = true;
        c.active = c.outerActive && !c.taken;
        c.taken = true;
        return true;
    }
    c.active = c.outerActive && !c.taken && Condition(word.substr(4), rest, row, control);
    c.taken = c.taken || c.active;
    return true;
}

bool Reader::Condition(std::string_view word, std::string_view rest, std::int32_t row, bool control)
{
    std::int32_t value = 0;
    switch (TestOf(word)) {
    case Test::If:
        if (!control)
            return ValueOf(rest, row, "IF", value) && value != 0;
        {
            // $IF: the $SET variables by value, any other name 0.
            std::string text;
            for (std::size_t i = 0; i < rest.size();) {
                if (!IsIdentStart(static_cast<unsigned char>(rest[i]))) {
                    text += rest[i++];
                    continue;
                }
                std::size_t after = 0;
                const std::string_view name = FirstWord(rest.substr(i), after);
                const std::string u = UpperCase(name);
                const bool op = u == "NOT" || u == "AND" || u == "OR" || u == "XOR" || u == "EQ" || u == "NE" ||
                                u == "LT" || u == "LE" || u == "GT" || u == "GE" || u == "MOD" || u == "SHL" ||
                                u == "SHR" || u == "HIGH" || u == "LOW";
                if (op) {
                    text += name;
                } else {
                    const auto it = m_controlVariables.find(u);
                    text += "(" + std::to_string(it == m_controlVariables.end() ? 0 : it->second) + ")";
                }
                i += after;
            }
            return ValueOf(text, row, "$IF", value) && value != 0;
        }
    case Test::Def:
    case Test::Ndef: {
        const std::string_view name = TrimBlanks(rest);
        const std::int32_t id = m_ctx.symbols.Find(name);
        bool defined = id >= 0 && (m_ctx.symbols[id].line > 0 ||
                                   (m_ctx.symbols[id].predefined && m_ctx.symbols[id].known));
        defined = defined || m_macros.count(UpperCase(name)) > 0 || m_controlVariables.count(UpperCase(name)) > 0;
        if (name.empty())
            m_ctx.Error(row, UpperCase(word) + " needs a name");
        return defined == (TestOf(word) == Test::Def);
    }
    case Test::Blank: return Bracketed(rest).empty();
    case Test::NotBlank: return !Bracketed(rest).empty();
    case Test::Same:
    case Test::Different: {
        // <a>,<b>: the comma outside the brackets.
        int depth = 0;
        std::size_t comma = std::string_view::npos;
        for (std::size_t i = 0; i < rest.size() && comma == std::string_view::npos; ++i) {
            if (rest[i] == '<')
                ++depth;
            else if (rest[i] == '>')
                --depth;
            else if (rest[i] == ',' && depth <= 0)
                comma = i;
        }
        if (comma == std::string_view::npos) {
            m_ctx.Error(row, UpperCase(word) + " needs two texts: <a>,<b>");
            return false;
        }
        const bool same = SameText(Bracketed(rest.substr(0, comma)), Bracketed(rest.substr(comma + 1)));
        return same == (TestOf(word) == Test::Same);
    }
    case Test::None: break;
    }
    return false;
}

bool Reader::ValueOf(std::string_view text, std::int32_t row, const char* what, std::int32_t& value)
{
    ExprRef e;
    const auto mark = m_ctx.exprOps.size();
    if (!ParseExpression(m_ctx, TrimBlanks(text), row, e))
        return false;
    bool usesHere = false;
    for (std::uint32_t i = 0; i < e.count; ++i)
        usesHere = usesHere || m_ctx.exprOps[e.first + i].op == Op::Here;
    const bool reporting = m_ctx.reportErrors;
    m_ctx.reportErrors = false;
    const bool ok = !usesHere && Evaluate(m_ctx, e, 0, value);
    m_ctx.reportErrors = reporting;
    m_ctx.unknownSeen = false;
    m_ctx.exprOps.resize(mark);
    if (usesHere)
        m_ctx.Error(row, std::string(what) + " cannot use $: addresses are not known while the source is read");
    else if (!ok)
        m_ctx.Error(row, std::string(what) + " needs a value from names defined above it: " +
                             std::string(TrimBlanks(text)));
    return ok;
}

void Reader::ControlVariables(std::string_view args, bool set, std::int32_t row)
{
    std::size_t start = 0;
    while (start <= args.size()) {
        std::size_t comma = args.find(',', start);
        if (comma == std::string_view::npos)
            comma = args.size();
        const std::string_view item = TrimBlanks(args.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        const std::string name = UpperCase(TrimBlanks(item.substr(0, eq)));
        std::int32_t value = set ? 0xFFFF : 0;
        if (eq != std::string_view::npos && set && !ValueOf(item.substr(eq + 1), row, "$SET", value))
            continue;
        m_controlVariables[name] = value;
    }
}

} // namespace m51asm
