// The reader's main loop: lines from the innermost text being read, rows and
// runs, the controls of "$" lines and the include files.
#include "assembler/Reader.h"
#include "assembler/Characters.h"

#include <algorithm>
#include <cstring>

namespace m51asm {

namespace {

// The text up to a Ctrl-Z, which ends a DOS text file.
std::string_view UpToEof(std::string_view text)
{
    const std::size_t eof = text.find('\x1A');
    return eof == std::string_view::npos ? text : text.substr(0, eof);
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// folder/name with "dir/.." taken out, as DOS programs write ..\\INC\\REG.INC.
std::string Joined(const std::string& folder, const std::string& name)
{
    std::string path = folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder + name
                                                                                      : folder + "/" + name;
    for (std::size_t up; (up = path.find("/../")) != std::string::npos && up > 0;) {
        const std::size_t start = path.rfind('/', up - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        if (path.compare(from, up - from, "..") == 0)
            break;
        path.erase(from, up + 4 - from);
    }
    return path;
}

} // namespace

bool SameWord(std::string_view s, const char* upper)
{
    std::size_t i = 0;
    for (; i < s.size(); ++i)
        if (upper[i] == 0 || Upper(s[i]) != upper[i])
            return false;
    return upper[i] == 0;
}

std::string_view FirstWord(std::string_view s, std::size_t& after)
{
    std::size_t p = 0;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\f' || s[p] == '\v'))
        ++p;
    const std::size_t start = p;
    while (p < s.size() && IsIdentChar(static_cast<unsigned char>(s[p])))
        ++p;
    after = p;
    return s.substr(start, p - start);
}

void ReadSource(Context& ctx)
{
    Reader reader(ctx);
    reader.Run();
}

void Reader::Run()
{
    const AssembleOptions& o = m_ctx.options;
    SourceFile main;
    main.name = o.sourcePath.empty() ? o.fileName : o.sourcePath;
    main.text = UpToEof(m_ctx.source);
    m_ctx.files.push_back(std::move(main));
    m_ctx.origins.push_back({});
    Frame f;
    f.text = m_ctx.files[0].text;
    f.id = ++m_frameIds;
    m_frames.push_back(f);
    // Past an expansion limit the rest would only repeat its errors: reading stops.
    while (!m_frames.empty() && !m_ended && !m_limitHit) {
        Frame& fr = m_frames.back();
        if (fr.text.empty()) {
            if (fr.repeat < 0 || !NextRepetition(fr))
                PopFrame();
            continue;
        }
        const std::string_view t = fr.text;
        // The line ends at the first CR or LF (two fast searches, not a loop over its characters).
        const void* lf = std::memchr(t.data(), '\n', t.size());
        std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - t.data()) : t.size();
        if (const void* cr = std::memchr(t.data(), '\r', end))
            end = static_cast<std::size_t>(static_cast<const char*>(cr) - t.data());
        std::size_t next = end;
        if (next < t.size()) {
            if (t[next] == '\r' && next + 1 < t.size() && t[next + 1] == '\n')
                ++next;
            ++next;
        }
        fr.text = t.substr(next);
        const std::int32_t row = ++m_ctx.rows;
        if (fr.id != m_runFrame)
            StartRun(fr, t, row);
        ++fr.nextLine;
        m_ctx.rowBytes += end;
        Line(t.substr(0, end), row);  // may push frames: fr is not used after this
        for (auto it = m_pendingIncludes.rbegin(); it != m_pendingIncludes.rend(); ++it) {
            Frame inc;
            inc.text = m_ctx.files[static_cast<std::size_t>(it->first)].text;
            inc.file = it->first;
            inc.origin = NewOrigin(it->second, {}, true);
            inc.id = ++m_frameIds;
            inc.conditionals = m_conditionals.size();
            m_frames.push_back(inc);
        }
        m_pendingIncludes.clear();
    }
    if (m_limitHit)
        return;
    if (m_defining)
        m_ctx.Error(m_def.row, m_def.name + " without ENDM");
    for (const Conditional& c : m_conditionals)
        m_ctx.Error(c.row, std::string(IfWord(c)) + " without " + EndifWord(c));
}

void Reader::StartRun(const Frame& f, std::string_view text, std::int32_t row)
{
    m_ctx.runs.push_back({row, f.origin, f.file, f.nextLine, text});
    m_runFrame = f.id;
}

std::int32_t Reader::NewOrigin(std::int32_t parentRow, std::string_view macro, bool include)
{
    const m51asm::Run& parentRun = m_ctx.RunOf(parentRow);
    const Origin& parent = m_ctx.origins[static_cast<std::size_t>(parentRun.origin)];
    Origin o;
    o.parentRow = parentRow;
    o.mainLine = parentRun.origin == 0 ? m_ctx.FileLine(parentRow) : parent.mainLine;
    o.macro = macro;
    o.includeDepth = static_cast<std::uint8_t>(parent.includeDepth + (include ? 1 : 0));
    o.macroDepth = static_cast<std::uint8_t>(parent.macroDepth + (include ? 0 : 1));
    m_ctx.origins.push_back(o);
    return static_cast<std::int32_t>(m_ctx.origins.size() - 1);
}

void Reader::PopFrame()
{
    const Frame& f = m_frames.back();
    if (f.expansion)
        --m_macroDepth;
    if (m_conditionals.size() > f.conditionals) {
        m_ctx.Error(m_conditionals.back().row, std::string(IfWord(m_conditionals.back())) + " without " +
                                                   EndifWord(m_conditionals.back()) +
                                                   (f.expansion ? " before the end of the expansion"
                                                                : " before the end of the file"));
        m_conditionals.resize(f.conditionals);
    }
    m_frames.pop_back();
}

void Reader::Line(std::string_view line, std::int32_t row)
{
    const DialectRules& rules = m_ctx.rules;
    if (rules.cPreprocessor)
        line = WithoutCComments(line);
    std::string_view code = TrimBlanks(line.substr(0, CommentStart(line, rules.backslashEscapes)));
    if (m_defining) {
        Collect(line, code, row);
        return;
    }
    if (code.empty())
        return;
    if (code[0] == '#' && rules.cPreprocessor && PreprocessorLine(code, row))
        return;
    if (!m_defines.empty() && !Skipping()) {
        code = ReplaceDefines(code, row);
        if (code.empty())
            return;
    }
    if (code[0] == '.' && rules.dotDirectives) {
        std::size_t after = 0;
        const std::string_view word = FirstWord(code.substr(1), after);
        if (SameWord(word, "INC") || SameWord(word, "INCLUDE")) {
            if (!Skipping())
                Include(TrimBlanks(code.substr(1 + after)), row, ".inc");
            return;
        }
    }
    if (code[0] == '$') {
        Controls(code.substr(1), row);
        return;
    }
    std::size_t after1 = 0;
    const std::string_view w1 = FirstWord(code, after1);
    if (!w1.empty()) {
        const char u = Upper(w1[0]);
        if ((u == 'I' || u == 'E') && ConditionalLine(w1, code.substr(after1), row, false))
            return;
    }
    if (Skipping())
        return;
    if (MacroLine(code, w1, after1, row))
        return;
    if (!ParseLine(m_ctx, code, row))
        m_ended = true;
}

void Reader::Controls(std::string_view text, std::int32_t row)
{
    std::size_t p = 0;
    for (;;) {
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '$'))
            ++p;
        std::size_t after = 0;
        const std::string_view word = FirstWord(text.substr(p), after);
        if (word.empty())
            return;
        const std::string_view rest = text.substr(p + after);
        p += after;
        // Arguments in parentheses belong to their control: $TITLE(...)
        std::string_view args;
        std::size_t q = p;
        while (q < text.size() && (text[q] == ' ' || text[q] == '\t'))
            ++q;
        if (q < text.size() && text[q] == '(') {
            int depth = 0;
            char quote = 0;
            const std::size_t open = q;
            for (; q < text.size(); ++q) {
                const char c = text[q];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '\'' || c == '"') {
                    quote = c;
                } else if (c == '(') {
                    ++depth;
                } else if (c == ')' && --depth == 0) {
                    break;
                }
            }
            args = TrimBlanks(text.substr(open + 1, q - open - 1));
            p = q < text.size() ? q + 1 : q;
        }
        if (ConditionalLine(word, rest, row, true))
            return;  // $IF (expression) takes the rest of the line
        if (Skipping())
            return;
        const std::string u = UpperCase(word);
        const auto event = [&](ListEvent e) { m_ctx.listSwitches.push_back({row, e}); };
        if (u == "INCLUDE" || u == "IC") {
            Include(args, row, "$INCLUDE");
        } else if (u == "ERROR" || u == "WARNING") {
            std::string_view text = args;
            if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
                text = text.substr(1, text.size() - 2);
            const std::string message = text.empty() ? "$" + u : std::string(text);
            if (u == "ERROR")
                m_ctx.Error(row, message);
            else
                m_ctx.Warning(row, message);
        } else if (u == "NOLIST" || u == "NOLI") {
            m_list = false;
            event(ListEvent::Off);
        } else if (u == "LIST" || u == "LI") {
            m_list = true;
            event(ListEvent::On);
        } else if (u == "GEN" || u == "GE") {
            m_gen = 0;
            event(ListEvent::Gen);
        } else if (u == "NOGEN" || u == "NOGE") {
            m_gen = 1;
            event(ListEvent::NoGen);
        } else if (u == "GENONLY" || u == "GO") {
            m_gen = 2;
            event(ListEvent::GenOnly);
        } else if (u == "SAVE" || u == "SA") {
            m_saved.push_back({m_list, m_gen});
        } else if (u == "RESTORE" || u == "RS") {
            if (m_saved.empty()) {
                m_ctx.Error(row, "$RESTORE without $SAVE");
                continue;
            }
            m_list = m_saved.back().first;
            m_gen = m_saved.back().second;
            m_saved.pop_back();
            event(m_list ? ListEvent::On : ListEvent::Off);
            event(m_gen == 0 ? ListEvent::Gen : m_gen == 1 ? ListEvent::NoGen : ListEvent::GenOnly);
        } else if (u == "EJECT" || u == "EJ") {
            event(ListEvent::Eject);
        } else if (u == "TITLE" || u == "TT") {
            m_ctx.title = std::string(args.substr(0, 120));
        } else if (u == "DATE" || u == "DA") {
            m_ctx.date = std::string(args.substr(0, 40));
        } else if (u == "XREF" || u == "XR") {
            m_ctx.xref = true;
        } else if (u == "NOSYMBOLS" || u == "NOSB") {
            m_ctx.listSymbols = false;
        } else if (u == "SYMBOLS" || u == "SB") {
            m_ctx.listSymbols = true;
        } else if (u == "SET" || u == "RESET") {
            ControlVariables(args, u == "SET", row);
        } else if (!ModControl(u, row)) {
            // Controls of the object file, paging and printing have nothing to
            // do here: $PAGEWIDTH, $PAGELENGTH, $NOPAGING, $DATE, $DEBUG ...
        }
    }
}

// An include file by its name as written: 'name', "name", <name> or name.
void Reader::Include(std::string_view name, std::int32_t row, const char* how)
{
    name = TrimBlanks(name);
    if (name.size() >= 2 && ((name.front() == '\'' || name.front() == '"') && name.back() == name.front()))
        name = name.substr(1, name.size() - 2);
    else if (name.size() >= 2 && name.front() == '<' && name.back() == '>')
        name = name.substr(1, name.size() - 2);
    std::int32_t file = 0;
    if (name.empty())
        m_ctx.Error(row, std::string(how) + (how[0] == '$' ? " needs a file name in parentheses" : " needs a file name"));
    else if (Resolve(name, file))
        m_pendingIncludes.push_back({file, row});
    else if (!m_reported)
        m_ctx.Error(row, "include file " + std::string(name) +
                             " not found (looked beside the including file, in the -I folders and among "
                             "the register files of m51as)");
}

// $MOD51, $MOD52 (the names that are predefined anyway), $NOMOD51, and
// $MODxxx for a register file MODxxx or xxx.MCU.
bool Reader::ModControl(std::string_view u, std::int32_t row)
{
    if (u == "NOMOD51" || u == "NOMOD" || u == "NOMO" || u == "NOMOD52") {
        m_ctx.symbols.DropPredefined();
        return true;
    }
    if (u.size() < 4 || u.substr(0, 3) != "MOD")
        return false;
    if (u == "MOD51" || u == "MOD52" || u == "MO") {
        m_ctx.symbols.RestorePredefined();
        return true;
    }
    std::int32_t file = 0;
    if (Resolve(u, file) || (!m_reported && Resolve(std::string(u.substr(3)) + ".MCU", file))) {
        m_ctx.symbols.DropPredefined();
        m_pendingIncludes.push_back({file, row});
    } else if (!m_reported) {
        m_ctx.Error(row, "$" + std::string(u) + ": no register file " + std::string(u) + " or " +
                             std::string(u.substr(3)) + ".MCU found (beside the source, in the -I folders or "
                             "among the register files of m51as)");
    }
    return true;
}

// Finds an include file and loads it once; false when it is nowhere or
// includes would nest or repeat without end (reported).
bool Reader::Resolve(std::string_view written, std::int32_t& file)
{
    const AssembleOptions& o = m_ctx.options;
    m_reported = false;
    std::string name(written);
    std::replace(name.begin(), name.end(), '\\', '/');
    std::vector<std::string> folders;
    const bool absolute = name.front() == '/' || (name.size() > 2 && name[1] == ':');
    if (absolute) {
        folders.push_back({});
    } else {
        const std::int32_t including = m_frames.empty() ? 0 : m_frames.back().file;
        folders.push_back(FolderOf(including == 0 ? o.sourcePath : m_ctx.files[static_cast<std::size_t>(including)].name));
        folders.insert(folders.end(), o.includeDirs.begin(), o.includeDirs.end());
        if (!o.registerDir.empty())
            folders.push_back(o.registerDir);
    }
    // DOS programs name their files in any letter case.
    const std::size_t slash = name.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string lower = base;
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    const std::string spellings[] = {base, UpperCase(base), lower};
    std::string bytes;
    for (const std::string& folder : folders) {
        for (const std::string& spelling : spellings) {
            const std::string path = absolute ? dir + spelling : Joined(folder, dir + spelling);
            if (const auto it = m_loaded.find(path); it != m_loaded.end()) {
                file = it->second;
            } else {
                bytes.clear();
                if (!o.readFile || !o.readFile(path, bytes)) {
                    // Something is there but it is no file to read: say what, not "not found".
                    if (const std::string why = o.unreadable ? o.unreadable(path) : std::string(); !why.empty()) {
                        m_ctx.Error(m_ctx.rows, "include file " + path + " " + why);
                        m_reported = true;
                        return false;
                    }
                    continue;
                }
                SourceFile f;
                f.name = path;
                f.bytes = std::make_unique<std::string>(std::move(bytes));
                f.text = UpToEof(*f.bytes);
                m_ctx.files.push_back(std::move(f));
                file = static_cast<std::int32_t>(m_ctx.files.size() - 1);
                m_loaded.emplace(path, file);
            }
            const std::int32_t row = m_ctx.rows;
            int depth = 0;
            for (const Frame& f : m_frames) {
                if (f.expansion)
                    continue;
                ++depth;
                if (f.file == file) {
                    m_ctx.Error(row, "include cycle: " + path + " is already being read");
                    m_reported = true;
                    return false;
                }
            }
            if (depth > kMaxIncludeDepth) {
                m_ctx.Error(row, "include files nested deeper than " + std::to_string(kMaxIncludeDepth));
                m_reported = true;
                return false;
            }
            if (++m_includes > kMaxIncludes) {
                if (m_includes == kMaxIncludes + 1)
                    m_ctx.Error(row, "more than " + std::to_string(kMaxIncludes) + " include files read");
                m_reported = true;
                return false;
            }
            return true;
        }
    }
    return false;
}

} // namespace m51asm
