#include "assembler/Declarations.h"

#include "assembler/Characters.h"

namespace m51asm {

namespace {

// Names as the assembler reads them, and "@" as the C declarations' names may hold.
bool IsNameChar(char c)
{
    return IsIdentChar(static_cast<unsigned char>(c)) || c == '@';
}

// The code of a line: before its comment (";" outside quotes).
std::string_view CodeOf(std::string_view line)
{
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '\'' || c == '"')
            quote = c;
        else if (c == ';')
            return line.substr(0, i);
    }
    return line;
}

size_t SkipBlanks(std::string_view text, size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    return at;
}

size_t NameEnd(std::string_view text, size_t at)
{
    while (at < text.size() && IsNameChar(text[at]))
        ++at;
    return at;
}

std::string Trimmed(std::string_view text)
{
    const size_t start = SkipBlanks(text, 0);
    size_t end = text.size();
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return std::string(text.substr(start, end - start));
}

} // namespace

std::vector<Declaration> ScanDeclarations(std::string_view source)
{
    std::vector<Declaration> found;
    int number = 0;
    for (size_t start = 0; start <= source.size(); ++number) {
        const size_t newline = source.find('\n', start);
        const std::string_view line = CodeOf(source.substr(start, newline == std::string_view::npos ? std::string_view::npos
                                                                                                     : newline - start));
        start = newline == std::string_view::npos ? source.size() + 1 : newline + 1;
        size_t at = SkipBlanks(line, 0);
        // as31: .equ NAME, VALUE (and .flag NAME, BIT)
        if (at < line.size() && line[at] == '.') {
            const size_t wordEnd = NameEnd(line, at + 1);
            const std::string word = UpperCase(line.substr(at + 1, wordEnd - at - 1));
            if (word != "EQU" && word != "FLAG")
                continue;
            const size_t nameAt = SkipBlanks(line, wordEnd);
            const size_t nameEnd = NameEnd(line, nameAt);
            if (nameEnd == nameAt)
                continue;
            const size_t comma = line.find(',', nameEnd);
            found.push_back({std::string(line.substr(nameAt, nameEnd - nameAt)),
                             word == "EQU" ? Declaration::Kind::Symbol : Declaration::Kind::Bit, number,
                             static_cast<int>(nameAt),
                             comma == std::string_view::npos ? std::string() : Trimmed(line.substr(comma + 1))});
            continue;
        }
        const size_t nameEnd = NameEnd(line, at);
        if (nameEnd == at || (line[at] >= '0' && line[at] <= '9'))
            continue;
        const std::string name(line.substr(at, nameEnd - at));
        if (nameEnd < line.size() && line[nameEnd] == ':') {
            found.push_back({name, Declaration::Kind::Label, number, static_cast<int>(at), {}});
            continue;
        }
        const size_t wordAt = SkipBlanks(line, nameEnd);
        const size_t wordEnd = NameEnd(line, wordAt);
        if (wordAt == nameEnd && wordAt < line.size())
            continue;  // NAME directly followed by something else: not a declaration
        const std::string word = UpperCase(line.substr(wordAt, wordEnd - wordAt));
        Declaration::Kind kind;
        if (word == "EQU" || word == "SET" || word == "DATA" || word == "IDATA" || word == "XDATA" || word == "CODE")
            kind = Declaration::Kind::Symbol;
        else if (word == "BIT")
            kind = Declaration::Kind::Bit;
        else if (word == "MACRO")
            kind = Declaration::Kind::Macro;
        else
            continue;
        found.push_back({name, kind, number, static_cast<int>(at), Trimmed(line.substr(wordEnd))});
    }
    return found;
}

std::optional<std::string> IncludedFile(std::string_view line)
{
    const std::string_view code = CodeOf(line);
    size_t at = SkipBlanks(code, 0);
    if (at >= code.size() || (code[at] != '$' && code[at] != '.'))
        return std::nullopt;
    const bool dollar = code[at] == '$';
    const size_t wordEnd = NameEnd(code, at + 1);
    const std::string word = UpperCase(code.substr(at + 1, wordEnd - at - 1));
    if (word != "INCLUDE" && word != "INC" && !(dollar && word == "IC"))
        return std::nullopt;
    std::string file = Trimmed(code.substr(wordEnd));
    if (file.size() >= 2 && file.front() == '(' && file.back() == ')')
        file = Trimmed(std::string_view(file).substr(1, file.size() - 2));
    if (file.size() >= 2 && (file.front() == '"' || file.front() == '\'') && file.back() == file.front())
        file = file.substr(1, file.size() - 2);
    if (file.empty())
        return std::nullopt;
    return file;
}

} // namespace m51asm
