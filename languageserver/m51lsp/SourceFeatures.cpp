// The sources are code page 1250 bytes, as the compiler and the assembler
// read them; the client's UTF-8 text is turned into them as it comes in, and
// every text that goes out back into UTF-8. One byte is one UTF-16 unit
// (cp1250::FromUtf8 keeps the units), so a byte's offset in a line is the
// client's column.
#include "languageserver/m51lsp/SourceFeatures.h"

#include "assembler/Characters.h"
#include "common/CodePage1250.h"
#include "assembler/Declarations.h"
#include "common/FileRead.h"
#include "compiler/Language.h"
#include "languageserver/m51lsp/RegisterNotes.h"
#include "sim/SfrTable.h"
#include "toolchain/Build.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace m51lsp {

namespace fs = std::filesystem;
using languageserver::TextDocument;

namespace {

enum TokenType { Keyword, Function, Variable, Number, Comment, Macro };
const char* const kTokenTypes[] = {"keyword", "function", "variable", "number", "comment", "macro"};

bool IsNameChar(char c)
{
    return m51asm::IsIdentChar(static_cast<unsigned char>(c));
}

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = m51asm::Upper(c);
    return out;
}

// Code page 1250 text as the client reads it.
std::string Out(std::string_view bytes)
{
    return cp1250::ToUtf8(bytes);
}

bool IsM51(const TextDocument& document)
{
    if (!document.languageId().empty() && document.languageId() != "plaintext")
        return Upper(document.languageId()) == "M51";
    return Upper(fs::path(PathOfUri(document.uri())).extension().string()) == ".M51";
}

std::vector<std::string_view> LinesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (size_t start = 0;;) {
        const size_t newline = text.find('\n', start);
        std::string_view line = text.substr(start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (newline == std::string_view::npos)
            return lines;
        start = newline + 1;
    }
}

// Where the comment of a line starts (its length when none).
size_t CommentStart(std::string_view line)
{
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quote)
            quote = line[i] == quote ? 0 : quote;
        else if (line[i] == '\'' || line[i] == '"')
            quote = line[i];
        else if (line[i] == ';')
            return i;
    }
    return line.size();
}

// The whole words of a line's code, with their byte offsets.
template <class F>
void ForEachName(std::string_view line, F&& f)
{
    const size_t end = CommentStart(line);
    for (size_t i = 0; i < end;) {
        if (!IsNameChar(line[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < end && IsNameChar(line[j]))
            ++j;
        f(line.substr(i, j - i), i);
        i = j;
    }
}

Json RangeOf(int line, int start, int end)
{
    return {{"start", {{"line", line}, {"character", start}}}, {"end", {{"line", line}, {"character", end}}}};
}

Json LocationOf(const Declared& d)
{
    return {{"uri", d.uri}, {"range", RangeOf(d.line, d.column, d.column + static_cast<int>(d.name.size()))}};
}

// The name under the cursor and its line.
struct Word {
    std::string text;
    int line = 0;
    int start = 0;
};

std::optional<Word> WordAt(const std::vector<std::string_view>& lines, const Json& params)
{
    const Json& p = params.at("position");
    const int line = p.value("line", 0);
    if (line < 0 || line >= static_cast<int>(lines.size()))
        return std::nullopt;
    const std::string_view text = lines[static_cast<size_t>(line)];
    const size_t at = std::min(static_cast<size_t>(std::max(p.value("character", 0), 0)), text.size());
    size_t start = at, end = at;
    while (start > 0 && IsNameChar(text[start - 1]))
        --start;
    while (end < text.size() && IsNameChar(text[end]))
        ++end;
    if (start == end)
        return std::nullopt;
    return Word{std::string(text.substr(start, end - start)), line, static_cast<int>(start)};
}

const std::vector<sim::SfrInfo>& Sfrs()
{
    static const std::vector<sim::SfrInfo> list = sim::sfrsOf(nullptr);
    return list;
}

// An SFR's or an SFR bit's name: what it is, with the register file's description.
std::optional<std::string> RegisterHover(const std::string& upper, const RegisterNotes& notes)
{
    const auto note = notes.find(upper);
    const std::string described = note == notes.end() ? "" : ": " + note->second;
    for (const sim::SfrInfo& sfr : Sfrs()) {
        char text[96];
        if (Upper(sfr.name) == upper) {
            std::snprintf(text, sizeof text, "special-function register %s at %02XH%s", sfr.name, sfr.address,
                          sfr.bitAddressable() ? " (bit-addressable)" : "");
            return text + described;
        }
        if (!sfr.bitAddressable())
            continue;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (sfr.bits[bit] && Upper(sfr.bits[bit]) == upper) {
                std::snprintf(text, sizeof text, "bit %s: bit %u of %s, bit address %02XH", sfr.bits[bit], bit, sfr.name,
                              sfr.address + bit);
                return text + described;
            }
    }
    // A register of another derivative, known from its register file only.
    return note == notes.end() ? std::nullopt : std::optional(note->first + described);
}

std::optional<std::string> StatementHover(std::string_view line, const Word& word)
{
    const std::string_view statement = m51::language::StatementOf(line);
    const std::string first = Upper(m51::language::WordOf(statement, 1));
    if (first.empty() || first != Upper(word.text) || !m51::language::FindKeyword(first))
        return std::nullopt;
    for (const m51::language::StatementTip& tip : m51::language::StatementTips())
        if (Upper(tip.word) == first)
            return "```m51\n" + std::string(tip.form) + "\n```\nassembly:\n```asm8051\n" + std::string(tip.assembly) + "\n```";
    return std::nullopt;
}

std::string DescribeDeclared(const Declared& d)
{
    switch (d.kind) {
    case Declared::Kind::Procedure: return "PROCEDURE " + Out(d.name);
    case Declared::Kind::Label: return Out(d.name) + ": label";
    case Declared::Kind::Macro: return Out(d.name) + " MACRO";
    case Declared::Kind::Bit: return Out(d.name) + ": bit " + Out(d.value);
    case Declared::Kind::Constant: break;
    }
    return Out(d.name) + " = " + Out(d.value);
}

int SymbolKind(Declared::Kind kind)
{
    switch (kind) {
    case Declared::Kind::Procedure: return 12;  // Function
    case Declared::Kind::Label: return 12;
    case Declared::Kind::Macro: return 6;       // Method
    case Declared::Kind::Bit: return 17;        // Boolean
    case Declared::Kind::Constant: break;
    }
    return 14;  // Constant
}

void AddAssemblyNames(std::string_view text, const std::string& uri, std::vector<Declared>& names)
{
    for (const m51asm::Declaration& d : m51asm::ScanDeclarations(text)) {
        const Declared::Kind kind = d.kind == m51asm::Declaration::Kind::Label ? Declared::Kind::Label
                                    : d.kind == m51asm::Declaration::Kind::Macro ? Declared::Kind::Macro
                                    : d.kind == m51asm::Declaration::Kind::Bit   ? Declared::Kind::Bit
                                                                                 : Declared::Kind::Constant;
        names.push_back({d.name, uri, d.line, d.column, kind, d.value});
    }
}

// The include files a source names, as paths beside it (on disk or not).
std::vector<std::pair<int, std::string>> Includes(const std::vector<std::string_view>& lines, const std::string& uri)
{
    std::vector<std::pair<int, std::string>> found;
    const fs::path folder = fs::path(PathOfUri(uri)).parent_path();
    for (size_t i = 0; i < lines.size(); ++i)
        if (const auto file = m51asm::IncludedFile(lines[i]))
            found.emplace_back(static_cast<int>(i), (folder / Out(*file)).lexically_normal().string());
    return found;
}

} // namespace

std::string PathOfUri(const std::string& uri)
{
    if (uri.rfind("file://", 0) != 0)
        return uri;
    std::string path;
    for (size_t i = 7; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            path += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

std::string UriOfPath(const std::string& path)
{
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (c < 0x80 && (std::isalnum(c) || c == '_' || c == '/' || c == '.' || c == '-' || c == '~')) {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri;
}

SourceFeatures::SourceFeatures(std::string registerFolder) : registerFolder_(std::move(registerFolder)) {}

Json SourceFeatures::capabilities() const
{
    Json legend{{"tokenTypes", Json::array()}, {"tokenModifiers", Json::array()}};
    for (const char* type : kTokenTypes)
        legend["tokenTypes"].push_back(type);
    return {{"definitionProvider", true},
            {"referencesProvider", true},
            {"hoverProvider", true},
            {"completionProvider", {{"resolveProvider", false}}},
            {"documentSymbolProvider", true},
            {"semanticTokensProvider", {{"legend", legend}, {"full", true}}}};
}

std::vector<Declared> SourceFeatures::NamesOf(const TextDocument& document)
{
    return NamesIn(cp1250::FromUtf8(document.text()), document);
}

std::vector<Declared> SourceFeatures::NamesIn(const std::string& source, const TextDocument& document)
{
    std::vector<Declared> names;
    const auto lines = LinesOf(source);
    if (!IsM51(document)) {
        AddAssemblyNames(source, document.uri(), names);
        for (const auto& [line, path] : Includes(lines, document.uri())) {
            std::string why;
            if (const auto text = m51::readFileBounded(path, m51::kSourceLimit, why, false))
                AddAssemblyNames(*text, UriOfPath(path), names);
        }
        return names;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        auto column = [&](std::string_view name) {
            const size_t at = line.find(name);
            return at == std::string_view::npos ? 0 : static_cast<int>(at);
        };
        if (const auto procedure = m51::language::DeclaredProcedure(line); procedure && !procedure->empty())
            names.push_back({std::string(*procedure), document.uri(), static_cast<int>(i), column(*procedure),
                             Declared::Kind::Procedure, {}});
        else if (const auto definition = m51::language::DeclaredDefinition(line); definition && !definition->name.empty())
            names.push_back({std::string(definition->name), document.uri(), static_cast<int>(i), column(definition->name),
                             definition->bit ? Declared::Kind::Bit : Declared::Kind::Constant,
                             std::string(definition->value)});
    }
    return names;
}

const RegisterNotes& SourceFeatures::notesFor(const std::vector<std::pair<int, std::string>>& includes)
{
    // The register file the source includes (beside it, else among m51as's), else the 8052's.
    std::string path;
    for (const auto& [line, included] : includes)
        if (Upper(fs::path(included).extension().string()) == ".MCU") {
            std::error_code ec;
            path = fs::exists(included, ec) || registerFolder_.empty()
                       ? included : (fs::path(registerFolder_) / fs::path(included).filename()).string();
        }
    if (path.empty() && !registerFolder_.empty())
        path = (fs::path(registerFolder_) / "8052.MCU").string();
    const auto known = notes_.find(path);
    if (known != notes_.end())
        return known->second;
    std::string why;
    const auto text = path.empty() ? std::nullopt : m51::readFileBounded(path, m51::kSourceLimit, why, false);
    return notes_[path] = text ? ReadRegisterNotes(*text) : RegisterNotes{};
}

std::vector<Json> SourceFeatures::diagnose(const TextDocument& document, const languageserver::DocumentStore&)
{
    const std::string path = PathOfUri(document.uri());
    const bool m51 = IsM51(document);
    const std::string source = cp1250::FromUtf8(document.text());
    const std::string asmName = fs::path(path).stem().string() + (m51 ? ".asm" : fs::path(path).extension().string());
    const toolchain::BuildInput input{source, path, asmName};
    const toolchain::Program program = m51 ? toolchain::M51Build().run(input) : toolchain::AssemblyBuild().run(input);
    const auto lines = LinesOf(source);
    std::vector<Json> out;
    for (const toolchain::Diagnostic& d : toolchain::NamedDiagnostics(program, path, m51 ? asmName : path)) {
        // A problem of another file (an include file, the generated assembly) is shown on the first line.
        const bool here = d.file.empty() || d.file == path;
        const int line = here ? std::clamp(d.line - 1, 0, static_cast<int>(lines.size()) - 1) : 0;
        const int length = static_cast<int>(lines[static_cast<size_t>(line)].size());
        const int start = here && d.column > 0 ? std::min(d.column - 1, length) : 0;
        std::string message = Out(d.message + (d.context.empty() ? "" : " (" + d.context + ")"));
        if (!here)
            message = d.file + (d.line > 0 ? ":" + std::to_string(d.line) : "") + ": " + message;
        out.push_back({{"range", RangeOf(line, start, std::max(length, start))},
                       {"severity", d.severity == m51::Severity::Error ? 1 : d.severity == m51::Severity::Warning ? 2 : 3},
                       {"source", d.stage == m51::Stage::Compiler ? "m51c" : "m51as"},
                       {"message", message}});
    }
    return out;
}

std::optional<Json> SourceFeatures::answer(const std::string& method, const Json& params,
                                           const languageserver::DocumentStore& documents)
{
    const std::string uri = params.value("textDocument", Json::object()).value("uri", std::string());
    const TextDocument* document = documents.find(uri);
    if (!document)
        return method.rfind("textDocument/", 0) == 0 ? std::optional<Json>(Json(nullptr)) : std::nullopt;
    const std::string source = cp1250::FromUtf8(document->text());
    const auto lines = LinesOf(source);
    const bool m51 = IsM51(*document);
    const auto includes = Includes(lines, uri);

    if (method == "textDocument/documentSymbol") {
        Json list = Json::array();
        for (const Declared& d : NamesIn(source, *document))
            if (d.uri == uri) {
                const Json range = RangeOf(d.line, d.column, d.column + static_cast<int>(d.name.size()));
                list.push_back({{"name", Out(d.name)}, {"detail", DescribeDeclared(d)}, {"kind", SymbolKind(d.kind)},
                                {"range", range}, {"selectionRange", range}});
            }
        return list;
    }
    if (method == "textDocument/semanticTokens/full") {
        std::vector<Declared> names = NamesIn(source, *document);
        Json data = Json::array();
        int lastLine = 0, lastStart = 0;
        auto token = [&](int line, size_t byteStart, size_t byteLength, int type) {
            const int start = static_cast<int>(byteStart);
            data.insert(data.end(), {line - lastLine, line == lastLine ? start - lastStart : start,
                                     static_cast<int>(byteLength), type, 0});
            lastLine = line;
            lastStart = start;
        };
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            const int number = static_cast<int>(i);
            bool first = true;
            ForEachName(line, [&](std::string_view word, size_t at) {
                const std::string upper = Upper(word);
                const bool isFirst = std::exchange(first, false);
                if (word[0] >= '0' && word[0] <= '9') {
                    token(number, at, word.size(), Number);
                    return;
                }
                if (m51 && isFirst && m51::language::FindKeyword(upper)) {
                    token(number, at, word.size(), Keyword);
                    return;
                }
                for (const Declared& d : names)
                    if (Upper(d.name) == upper) {
                        token(number, at, word.size(),
                              d.kind == Declared::Kind::Procedure || d.kind == Declared::Kind::Label ? Function
                              : d.kind == Declared::Kind::Macro                                     ? Macro
                                                                                                     : Variable);
                        return;
                    }
            });
            if (const size_t comment = CommentStart(line); comment < line.size())
                token(number, comment, line.size() - comment, Comment);
        }
        return Json{{"data", data}};
    }
    const RegisterNotes& notes = notesFor(includes);
    if (method == "textDocument/completion") {
        Json items = Json::array();
        if (m51) {
            for (const m51::language::StatementTip& tip : m51::language::StatementTips())
                items.push_back({{"label", std::string(tip.word)}, {"kind", 14}, {"detail", std::string(tip.form)},
                                 {"documentation", std::string(tip.assembly)}});
        }
        for (const Declared& d : NamesIn(source, *document))
            items.push_back({{"label", Out(d.name)}, {"kind", d.kind == Declared::Kind::Procedure || d.kind == Declared::Kind::Label ? 3 : 21},
                             {"detail", DescribeDeclared(d)}});
        for (const sim::SfrInfo& sfr : Sfrs()) {
            items.push_back({{"label", sfr.name}, {"kind", 6}, {"detail", *RegisterHover(Upper(sfr.name), notes)}});
            if (sfr.bitAddressable())
                for (const char* bit : sfr.bits)
                    if (bit)
                        items.push_back({{"label", bit}, {"kind", 6}, {"detail", *RegisterHover(Upper(bit), notes)}});
        }
        return Json{{"isIncomplete", false}, {"items", items}};
    }

    const auto word = WordAt(lines, params);
    const int lineNumber = params.at("position").value("line", 0);
    if (method == "textDocument/definition") {
        // On an include line: the file.
        for (const auto& [line, path] : includes)
            if (line == lineNumber)
                return Json{{"uri", UriOfPath(path)}, {"range", RangeOf(0, 0, 0)}};
        if (!word)
            return Json(nullptr);
        Json found = Json::array();
        for (const Declared& d : NamesIn(source, *document))
            if (Upper(d.name) == Upper(word->text))
                found.push_back(LocationOf(d));
        return found.empty() ? Json(nullptr) : found;
    }
    if (method == "textDocument/references") {
        if (!word)
            return Json(nullptr);
        const std::string upper = Upper(word->text);
        Json found = Json::array();
        for (size_t i = 0; i < lines.size(); ++i)
            ForEachName(lines[i], [&](std::string_view name, size_t at) {
                if (Upper(name) != upper)
                    return;
                const int start = static_cast<int>(at);
                found.push_back({{"uri", uri},
                                 {"range", RangeOf(static_cast<int>(i), start, start + static_cast<int>(name.size()))}});
            });
        return found;
    }
    if (method == "textDocument/hover") {
        if (!word)
            return Json(nullptr);
        std::optional<std::string> text;
        if (m51 && lineNumber >= 0 && lineNumber < static_cast<int>(lines.size()))
            text = StatementHover(lines[static_cast<size_t>(lineNumber)], *word);
        if (!text)
            for (const Declared& d : NamesIn(source, *document))
                if (Upper(d.name) == Upper(word->text)) {
                    text = DescribeDeclared(d) + " (line " + std::to_string(d.line + 1) + ")";
                    break;
                }
        if (!text)
            text = RegisterHover(Upper(word->text), notes);
        if (!text)
            return Json(nullptr);
        return Json{{"contents", {{"kind", "markdown"}, {"value", *text}}},
                    {"range", RangeOf(word->line, word->start, word->start + static_cast<int>(word->text.size()))}};
    }
    return std::nullopt;
}

} // namespace m51lsp
