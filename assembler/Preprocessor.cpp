// The C preprocessor lines Keil A51 sources use: #include, #define and
// #undef of names (not of function-like macros), #if, #ifdef, #ifndef,
// #elif, #else, #endif, #error and #warning; C comments (/* */ across lines,
// //) wherever they stand. #if evaluates C's operators on the values of the
// #define names; any other name counts 0, as in C.
#include "Reader.h"
#include "Characters.h"

namespace m51asm {

namespace {

// The C operators of #if in the words of the assembler's expressions; a
// relation is all ones when true, so && and || of relations and of
// defined() come out right.
struct COperator {
    const char* c;
    const char* asm51;
};
constexpr COperator kCOperators[] = {{"&&", " AND "}, {"||", " OR "}, {"==", " = "}, {"!=", " <> "},
                                     {"<<", " SHL "}, {">>", " SHR "}, {"<=", " <= "}, {">=", " >= "},
                                     {"!", " NOT "},  {"~", " NOT "},  {"&", " AND "}, {"|", " OR "},
                                     {"^", " XOR "},  {"%", " MOD "}};

} // namespace

std::string_view Reader::WithoutCComments(std::string_view line)
{
    if (!m_inCComment && line.find('/') == std::string_view::npos)
        return line;
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const char next = i + 1 < line.size() ? line[i + 1] : 0;
        if (m_inCComment) {
            if (c == '*' && next == '/') {
                m_inCComment = false;
                ++i;
                out += ' ';
            }
            continue;
        }
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            out.append(line.substr(i));  // an assembler comment: as written
            break;
        } else if (c == '/' && next == '/') {
            break;
        } else if (c == '/' && next == '*') {
            m_inCComment = true;
            ++i;
            continue;
        }
        out += c;
    }
    return m_ctx.Keep(std::move(out));
}

std::string_view Reader::ReplaceDefines(std::string_view code)
{
    // A name may stand for text with other names in it: a few rounds, not
    // without end for a name that stands for itself.
    for (int round = 0; round < 8; ++round) {
        std::string out;
        bool replaced = false;
        char quote = 0;
        std::size_t i = 0;
        while (i < code.size()) {
            const char c = code[i];
            if (quote || c == '\'' || c == '"') {
                quote = quote ? (c == quote ? 0 : quote) : c;
                out += c;
                ++i;
                continue;
            }
            if (!IsIdentStart(static_cast<unsigned char>(c)) && !(c >= '0' && c <= '9')) {
                out += c;
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < code.size() && IsIdentChar(static_cast<unsigned char>(code[j])))
                ++j;
            const std::string word(code.substr(i, j - i));
            const auto it = IsIdentStart(static_cast<unsigned char>(c)) ? m_defines.find(word) : m_defines.end();
            if (it != m_defines.end() && it->second != word) {
                out += it->second;
                replaced = true;
            } else {
                out += word;
            }
            i = j;
        }
        if (!replaced)
            return code;
        code = m_ctx.Keep(std::move(out));
    }
    return code;
}

bool Reader::CppCondition(std::string_view text, std::int32_t row)
{
    std::string expr;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsIdentStart(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < text.size() && IsIdentChar(static_cast<unsigned char>(text[j])))
                ++j;
            const std::string word(text.substr(i, j - i));
            i = j;
            if (word == "defined") {
                while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '('))
                    ++i;
                std::size_t k = i;
                while (k < text.size() && IsIdentChar(static_cast<unsigned char>(text[k])))
                    ++k;
                expr += m_defines.count(std::string(text.substr(i, k - i))) ? "(-1)" : "0";
                i = k;
                while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                    ++i;
                if (i < text.size() && text[i] == ')')
                    ++i;
            } else if (const auto it = m_defines.find(word); it != m_defines.end()) {
                expr += "(" + std::string(ReplaceDefines(it->second)) + ")";
            } else {
                expr += "0";
            }
            continue;
        }
        if (c >= '0' && c <= '9') {
            std::size_t j = i;
            while (j < text.size() && IsIdentChar(static_cast<unsigned char>(text[j])))
                ++j;
            std::string_view number = text.substr(i, j - i);
            // C's 10U, 0x10UL: the suffixes say nothing about the value.
            while (number.size() > 1 && (number.back() == 'U' || number.back() == 'u' || number.back() == 'L' ||
                                         number.back() == 'l'))
                number.remove_suffix(1);
            expr += number;
            i = j;
            continue;
        }
        bool matched = false;
        for (const COperator& op : kCOperators) {
            const std::string_view o(op.c);
            if (text.substr(i, o.size()) == o) {
                expr += op.asm51;
                i += o.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            expr += text[i++];
    }
    std::int32_t value = 0;
    return ValueOf(expr, row, "#if", value) && value != 0;
}

bool Reader::PreprocessorLine(std::string_view code, std::int32_t row)
{
    std::size_t after = 0;
    const std::string_view word = FirstWord(code.substr(1), after);
    const std::string_view rest = TrimBlanks(code.substr(1 + after));
    const auto is = [&](const char* w) { return word == w; };
    if (is("if") || is("ifdef") || is("ifndef")) {
        Conditional c;
        c.row = row;
        c.cpp = true;
        c.outerActive = !Skipping();
        if (c.outerActive) {
            const std::string name(TrimBlanks(rest));
            c.active = is("if") ? CppCondition(rest, row) : (m_defines.count(name) > 0) == is("ifdef");
        } else {
            c.active = false;
        }
        c.taken = c.active || !c.outerActive;
        m_conditionals.push_back(c);
        return true;
    }
    if (is("elif") || is("else") || is("endif")) {
        if (m_conditionals.empty() || !m_conditionals.back().cpp) {
            m_ctx.Error(row, "#" + std::string(word) + " without #if");
            return true;
        }
        Conditional& c = m_conditionals.back();
        if (is("endif")) {
            m_conditionals.pop_back();
        } else if (c.elseSeen) {
            m_ctx.Error(row, "#" + std::string(word) + " after #else");
            c.active = false;
        } else if (is("else")) {
            c.elseSeen = true;
            c.active = c.outerActive && !c.taken;
            c.taken = true;
        } else {
            c.active = c.outerActive && !c.taken && CppCondition(rest, row);
            c.taken = c.taken || c.active;
        }
        return true;
    }
    if (Skipping())
        return true;
    if (is("include")) {
        Include(rest, row, "#include");
    } else if (is("define")) {
        std::size_t end = 0;
        const std::string_view name = FirstWord(rest, end);
        if (name.empty()) {
            m_ctx.Error(row, "#define needs a name");
        } else if (end < rest.size() && rest[end] == '(') {
            m_ctx.Error(row, "#define of a macro with parameters (" + std::string(name) +
                                 "(...)) is not supported: use MACRO");
        } else {
            m_defines[std::string(name)] = std::string(TrimBlanks(rest.substr(end)));
        }
    } else if (is("undef")) {
        m_defines.erase(std::string(TrimBlanks(rest)));
    } else if (is("error")) {
        m_ctx.Error(row, rest.empty() ? std::string("#error") : std::string(rest));
    } else if (is("warning")) {
        m_ctx.Warning(row, rest.empty() ? std::string("#warning") : std::string(rest));
    } else if (is("pragma") || is("line") || word.empty()) {
        // Nothing for the assembler to do.
    } else {
        return false;
    }
    return true;
}

} // namespace m51asm
