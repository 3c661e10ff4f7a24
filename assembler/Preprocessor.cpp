// The C preprocessor lines Keil A51 sources use: #include, #define and
// #undef of names and of macros with parameters (NAME(a, b), ## joining
// words of the body), #if, #ifdef, #ifndef,
// #elif, #else, #endif, #error and #warning; C comments (/* */ across lines,
// //) wherever they stand. #if evaluates C's operators on the values of the
// #define names; any other name counts 0, as in C.
#include "assembler/Reader.h"
#include "assembler/Characters.h"

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

// The arguments of a call from the "(" at `at`: split at the commas outside
// parentheses and quotes; `at` goes past the ")". False without one.
bool CallArguments(std::string_view code, std::size_t& at, std::vector<std::string>& arguments)
{
    int depth = 0;
    char quote = 0;
    std::string current;
    for (std::size_t i = at + 1; i < code.size(); ++i) {
        const char c = code[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth == 0) {
            arguments.push_back(std::string(TrimBlanks(current)));
            at = i + 1;
            return true;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            arguments.push_back(std::string(TrimBlanks(current)));
            current.clear();
            continue;
        }
        current += c;
    }
    return false;
}

// The body with each parameter replaced by its argument and the words
// around "##" joined.
std::string Substituted(const std::string& body, const std::vector<std::string>& parameters,
                        const std::vector<std::string>& arguments)
{
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < body.size();) {
        const char c = body[i];
        if (quote || c == '\'' || c == '"') {
            quote = quote ? (c == quote ? 0 : quote) : c;
            out += c;
            ++i;
        } else if (c == '#' && i + 1 < body.size() && body[i + 1] == '#') {
            while (!out.empty() && IsBlank(out.back()))
                out.pop_back();
            i += 2;
            while (i < body.size() && IsBlank(body[i]))
                ++i;
        } else if (IsIdentChar(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < body.size() && IsIdentChar(static_cast<unsigned char>(body[j])))
                ++j;
            const std::string_view word(body.data() + i, j - i);
            std::size_t k = 0;
            while (k < parameters.size() && parameters[k] != word)
                ++k;
            out += k < parameters.size() && IsIdentStart(static_cast<unsigned char>(c)) ? arguments[k] : std::string(word);
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

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

bool Reader::DefineWithParameters(std::string_view name, std::string_view rest, std::int32_t row)
{
    const std::size_t close = rest.find(')');
    DefineCall call;
    if (close == std::string_view::npos) {
        m_ctx.Error(row, "#define " + std::string(name) + "( needs its parameters closed with )");
        return false;
    }
    std::string_view list = TrimBlanks(rest.substr(1, close - 1));
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        const std::string_view parameter = TrimBlanks(list.substr(0, comma));
        bool isName = !parameter.empty() && IsIdentStart(static_cast<unsigned char>(parameter[0]));
        for (const char c : parameter)
            isName = isName && IsIdentChar(static_cast<unsigned char>(c));
        if (!isName) {
            m_ctx.Error(row, "#define " + std::string(name) + "(...): a parameter is a name, not '" +
                                 std::string(parameter) + "'");
            return false;
        }
        call.parameters.emplace_back(parameter);
        list = comma < list.size() ? TrimBlanks(list.substr(comma + 1)) : std::string_view();
    }
    call.body = std::string(TrimBlanks(rest.substr(close + 1)));
    m_defines[std::string(name)] = call.body;
    m_defineCalls[std::string(name)] = std::move(call);
    return true;
}

// A call of a macro with parameters at `at` (its name read, `at` past it):
// its expansion goes to `out`. A name without "(" after it is left as it is,
// as in C; a call with the wrong number of arguments is an error (told
// when `report`: once, not in every round of the replacement).
bool Reader::ExpandCall(const std::string& name, std::string_view code, std::size_t& at, std::string& out,
                        std::int32_t row, bool report)
{
    const DefineCall& call = m_defineCalls.at(name);
    std::size_t open = at;
    while (open < code.size() && IsBlank(code[open]))
        ++open;
    if (open >= code.size() || code[open] != '(')
        return false;
    std::vector<std::string> arguments;
    std::size_t after = open;
    if (!CallArguments(code, after, arguments)) {
        if (report)
            m_ctx.Error(row, name + "( needs its arguments closed with )");
        return false;
    }
    if (arguments.size() == 1 && arguments[0].empty() && call.parameters.empty())
        arguments.clear();
    if (arguments.size() != call.parameters.size()) {
        if (report)
            m_ctx.Error(row, name + " takes " + std::to_string(call.parameters.size()) + " argument" +
                             (call.parameters.size() == 1 ? "" : "s") + ", not " + std::to_string(arguments.size()));
        return false;
    }
    out += Substituted(call.body, call.parameters, arguments);
    at = after;
    return true;
}

std::string_view Reader::ReplaceDefines(std::string_view code, std::int32_t row)
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
            if (it != m_defines.end() && m_defineCalls.count(word)) {
                const std::size_t errors = m_ctx.errors.size();
                if (ExpandCall(word, code, j, out, row, round == 0))
                    replaced = true;
                else if (m_ctx.errors.size() > errors)
                    return {};  // the call's error is the line's
                else
                    out += word;
            } else if (it != m_defines.end() && it->second != word) {
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
            } else if (std::string call; m_defineCalls.count(word) && ExpandCall(word, text, i, call, row, true)) {
                expr += "(" + std::string(ReplaceDefines(call, row)) + ")";
            } else if (const auto it = m_defines.find(word); it != m_defines.end()) {
                expr += "(" + std::string(ReplaceDefines(it->second, row)) + ")";
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
            DefineWithParameters(name, rest.substr(end), row);
        } else {
            m_defines[std::string(name)] = std::string(TrimBlanks(rest.substr(end)));
            m_defineCalls.erase(std::string(name));
        }
    } else if (is("undef")) {
        m_defines.erase(std::string(TrimBlanks(rest)));
        m_defineCalls.erase(std::string(TrimBlanks(rest)));
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
