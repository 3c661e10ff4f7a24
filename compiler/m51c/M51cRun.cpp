#include "compiler/m51c/M51cRun.h"

#include "compiler/Compiler.h"
#include "common/ErrorCap.h"
#include "common/FileRead.h"
#include "common/FileWrite.h"
#include "common/ProgramInfo.h"

#include <cerrno>
#include <cstdint>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace m51c {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: m51c [--lists LISTFILE] [--map MAPFILE] [-o OUTFILE] SOURCE\n"
    "Compiles the M51 source SOURCE into 8051 assembly, as Zelvar's \"Check\" does.\n"
    "\n"
    "  -o OUTFILE        write the assembly to OUTFILE instead of the source's\n"
    "                    base name plus \".asm\" (\"-\" for standard output)\n"
    "  --lists LISTFILE  also write the procedure, definition, inline and error\n"
    "                    lists to LISTFILE (\"-\" for standard output)\n"
    "  --map MAPFILE     also write the line map to MAPFILE: one line per line of\n"
    "                    assembly, \"ASMLINE M51LINE\" (both counted from 1), the\n"
    "                    source line that produced it (\"-\" for standard output)\n"
    "  -h, --help        show this text\n"
    "  -v, --version     show the version\n"
    "\n"
    "Every error-list entry is also printed to standard error as SOURCE:LINE: TEXT\n"
    "(a statement that made no code as SOURCE:LINE: unknown statement, no code\n"
    "generated: STATEMENT); control bytes of the source show as \\xNN, and long\n"
    "text is cut.\n"
    "Exit status: 0 no errors, 1 the error list is not empty, 2 a file could not be\n"
    "read or written (or the command line is wrong). The output files are put in\n"
    "place together, only when all of them were written; otherwise, and when one\n"
    "of them is read-only, the old ones stay as they were.\n";

struct Options {
    std::string source;
    std::optional<std::string> output;
    std::optional<std::string> lists;
    std::optional<std::string> map;
    bool help = false;
    bool version = false;
};

// Returns an error text for a malformed command line.
std::optional<std::string> Parse(const std::vector<std::string>& args, Options& o)
{
    bool optionsEnd = false;
    bool haveSource = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && (a == "-v" || a == "--version")) {
            o.version = true;
        } else if (!optionsEnd && (a == "-h" || a == "--help")) {
            o.help = true;
        } else if (!optionsEnd && (a == "-o" || a == "--lists" || a == "--map")) {
            if (i + 1 >= args.size())
                return "option " + a + " needs a file name";
            (a == "-o" ? o.output : a == "--lists" ? o.lists : o.map) = args[++i];
        } else if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            if (haveSource)
                return "more than one SOURCE given";
            o.source = a;
            haveSource = true;
        }
    }
    if (!haveSource && !o.help && !o.version)
        return "no SOURCE given";
    return std::nullopt;
}

// File names are UTF-8. Windows opens them by their UTF-16 form, so that names
// outside the ANSI code page work too.
fs::path PathOf(const std::string& name)
{
#ifdef _WIN32
    return fs::path(std::u8string(name.begin(), name.end()));
#else
    return fs::path(name);
#endif
}

// The source file's bytes. A regular file is read in one piece into a block
// of its size (not zero-filled first); anything else (a pipe) in pieces.
class SourceBytes {
public:
    bool Read(const std::string& path)
    {
#ifdef _WIN32
        std::FILE* f = _wfopen(PathOf(path).c_str(), L"rb");
#else
        std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
        if (!f)
            return false;
        struct stat st {};
        if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > m51::kSourceLimit) {
            std::fclose(f);
            m_tooLarge = true;
            return false;
        }
        if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            m_block.reset(new char[static_cast<std::size_t>(st.st_size)]);
            m_size = std::fread(m_block.get(), 1, static_cast<std::size_t>(st.st_size), f);
        }
        char buffer[1 << 16];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            m_more.append(buffer, n);
            if (m_size + m_more.size() > m51::kSourceLimit) {
                std::fclose(f);
                m_tooLarge = true;
                return false;
            }
        }
        const bool ok = !std::ferror(f);
        std::fclose(f);
        if (!ok && errno == 0)
            errno = EIO;
        if (!m_more.empty() && m_size > 0) {
            // The file grew while it was read: one string holds it all.
            m_more.insert(0, m_block.get(), m_size);
            m_block.reset();
            m_size = 0;
        }
        return ok;
    }
    bool TooLarge() const { return m_tooLarge; }
    std::string_view View() const { return m_size ? std::string_view(m_block.get(), m_size) : std::string_view(m_more); }

private:
    std::unique_ptr<char[]> m_block;
    std::size_t m_size = 0;
    std::string m_more;
    bool m_tooLarge = false;
};

// One output of the run: a file of the run's output set (written under a
// temporary name and put in place with the others only when all of them were
// written), or "-" for standard output.
class Target {
public:
    Target(std::string path, std::FILE* standardOut, m51::OutputSet& outputs) : m_path(std::move(path))
    {
        if (m_path == "-")
            m_out = standardOut;
        else
            m_file = &outputs.open(m_path);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool IsOpen() const { return m_out || m_file->ok(); }
    const std::string& Path() const { return m_path; }
    std::string Error() const { return m_file ? m_file->error() : m_error; }

    void Write(std::string_view bytes)
    {
        if (m_file) {
            m_file->write(bytes);
        } else if (m_error.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_out) != bytes.size()) {
            m_error = std::strerror(errno ? errno : EIO);
        }
    }

    // Flushes standard output or the file; false (with Error()) when
    // anything failed.
    bool Close()
    {
        if (m_file)
            return m_file->finish().empty();
        if ((std::fflush(m_out) != 0 || std::ferror(m_out)) && m_error.empty())
            m_error = std::strerror(errno ? errno : EIO);
        return m_error.empty();
    }

private:
    std::string m_path;
    std::FILE* m_out = nullptr;
    m51::AtomicFile* m_file = nullptr;
    std::string m_error;
};

// Writes every output line to the assembly file and, when a map is asked
// for, "ASMLINE M51LINE" to the map file. Lines are gathered in blocks, so the
// file is written a megabyte at a time rather than two calls per line.
class AsmSink : public m51::OutputSink {
public:
    AsmSink(Target& target, Target* map) : m_target(target), m_map(map)
    {
        m_text.reserve(kBlock + 256);
        if (m_map)
            m_mapText.reserve(kBlock + 64);
    }
    void Line(std::string_view line, int sourceLine) override
    {
        m_text.append(line);
        m_text.append("\r\n", 2);
        if (m_text.size() >= kBlock) {
            m_target.Write(m_text);
            m_text.clear();
        }
        if (!m_map)
            return;
        char text[48];
        char* end = std::to_chars(text, text + 20, ++m_lines).ptr;
        *end++ = ' ';
        end = std::to_chars(end, text + 46, static_cast<long long>(sourceLine) + 1).ptr;
        *end++ = '\n';
        m_mapText.append(text, static_cast<std::size_t>(end - text));
        if (m_mapText.size() >= kBlock) {
            m_map->Write(m_mapText);
            m_mapText.clear();
        }
    }
    // Writes what is still gathered.
    void Flush()
    {
        m_target.Write(m_text);
        m_text.clear();
        if (m_map)
            m_map->Write(m_mapText);
        m_mapText.clear();
    }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;
    Target& m_target;
    Target* m_map;
    std::string m_text;
    std::string m_mapText;
    unsigned long long m_lines = 0;
};

void WriteLists(Target& t, const m51::CompileResult& r)
{
    const auto section = [&t](std::string_view title, const std::vector<m51::ListEntry>& entries) {
        t.Write(title);
        t.Write("\n");
        for (const m51::ListEntry& e : entries) {
            t.Write(e.text);
            t.Write("\n");
        }
    };
    section("[ProcBox]", r.ProcBox);
    section("[Definebox]", r.Definebox);
    section("[InlineBox]", r.InlineBox);
    section("[ErBox]", r.ErBox);
}

// Every error as "SOURCE:13: binary value"; a statement that made no code
// gets its reason in front, as Zelvar shows it: "SOURCE:4: unknown statement,
// no code generated: XYZZY 3". Written in blocks, since standard error writes
// every call through at once.
void PrintErrors(std::FILE* err, const std::string& source, const std::vector<m51::Diagnostic>& diagnostics)
{
    std::string text;
    m51::ErrorCap cap;
    for (const m51::Diagnostic& d : diagnostics) {
        if (!cap.admit(d.file.empty() ? source : d.file, d.message))
            continue;
        text += m51::FormatDiagnostic(d, source);
        text += '\n';
        if (text.size() >= (1u << 16)) {
            std::fwrite(text.data(), 1, text.size(), err);
            text.clear();
        }
    }
    for (const std::string& line : cap.summary())
        text += line + '\n';
    std::fwrite(text.data(), 1, text.size(), err);
}

int Fail(std::FILE* err, const char* what, const std::string& path, int error)
{
    std::fprintf(err, "m51c: cannot %s %s: %s\n", what, path.c_str(), std::strerror(error ? error : EIO));
    return 2;
}

int Fail(std::FILE* err, const char* what, const std::string& path, const std::string& reason)
{
    std::fprintf(err, "m51c: cannot %s %s: %s\n", what, path.c_str(), reason.c_str());
    return 2;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || fs::equivalent(PathOf(a), PathOf(b), ec);
}

} // namespace

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    Options o;
    if (const auto problem = Parse(args, o)) {
        std::fprintf(err, "m51c: %s\n%s", problem->c_str(), kUsage);
        return 2;
    }
    // Standard output carries the same bytes as on Linux, also the help and
    // the version (line feeds, no carriage returns).
#ifdef _WIN32
    _setmode(_fileno(out), _O_BINARY);
#endif
    if (o.help) {
        std::fputs(kUsage, out);
        return 0;
    }
    if (o.version) {
        m51::printVersion(out, "m51c");
        return 0;
    }

    SourceBytes source;
    errno = 0;
    if (const std::string what = m51::notAFile(o.source, true); !what.empty())
        return Fail(err, "read", o.source, what);
    if (!source.Read(o.source))
        return source.TooLarge() ? Fail(err, "read", o.source, "is larger than the limit of " + m51::sizeInWords(m51::kSourceLimit))
                                 : Fail(err, "read", o.source, errno);

    const std::string outputPath = o.output.value_or(m51::AsmFileName(o.source));
    if (outputPath != "-" && SameFile(outputPath, o.source)) {
        std::fprintf(err, "m51c: the output %s would replace the source %s\n", outputPath.c_str(), o.source.c_str());
        return 2;
    }
    if (o.lists && *o.lists != "-" && SameFile(*o.lists, o.source)) {
        std::fprintf(err, "m51c: the list file %s would replace the source %s\n", o.lists->c_str(), o.source.c_str());
        return 2;
    }

    if (o.map && *o.map != "-" && SameFile(*o.map, o.source)) {
        std::fprintf(err, "m51c: the map file %s would replace the source %s\n", o.map->c_str(), o.source.c_str());
        return 2;
    }

    if (o.lists && *o.lists != "-" && outputPath != "-" && SameFile(*o.lists, outputPath)) {
        std::fprintf(err, "m51c: the assembly and the lists cannot share the file %s\n", outputPath.c_str());
        return 2;
    }
    if (o.map && *o.map != "-" &&
        ((outputPath != "-" && SameFile(*o.map, outputPath)) || (o.lists && *o.lists != "-" && SameFile(*o.map, *o.lists)))) {
        std::fprintf(err, "m51c: the map cannot share the file %s with the assembly or the lists\n", o.map->c_str());
        return 2;
    }
    if (outputPath == "-" && o.map && *o.map == "-") {
        std::fprintf(err, "m51c: the assembly and the map cannot both go to standard output\n");
        return 2;
    }

    // The assembly, the lists and the map go in place together or not at all.
    m51::OutputSet outputs;
    Target asmFile(outputPath, out, outputs);
    if (!asmFile.IsOpen())
        return Fail(err, "write", asmFile.Path(), asmFile.Error());
    std::optional<Target> listFile;
    if (o.lists) {
        listFile.emplace(*o.lists, out, outputs);
        if (!listFile->IsOpen())
            return Fail(err, "write", listFile->Path(), listFile->Error());
    }

    std::optional<Target> mapFile;
    if (o.map) {
        mapFile.emplace(*o.map, out, outputs);
        if (!mapFile->IsOpen())
            return Fail(err, "write", mapFile->Path(), mapFile->Error());
    }

    const std::vector<std::string_view> lines = m51::SplitSourceLineViews(source.View());
    AsmSink sink(asmFile, mapFile ? &*mapFile : nullptr);
    const m51::CompileResult result = m51::CompileSource(std::span<const std::string_view>(lines), sink);
    sink.Flush();
    if (listFile)
        WriteLists(*listFile, result);

    PrintErrors(err, o.source, result.Diagnostics);

    for (Target* t : {&asmFile, listFile ? &*listFile : nullptr, mapFile ? &*mapFile : nullptr})
        if (t && !t->Close())
            return Fail(err, "write", t->Path(), t->Error());
    if (const std::string reason = outputs.commit(); !reason.empty())
        return Fail(err, "write", outputs.failedPath(), reason);
    return result.ErBox.empty() ? 0 : 1;
}

} // namespace m51c
