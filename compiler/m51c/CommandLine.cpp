#include "CommandLine.h"

#include "Compiler.h"
#include "ProgramInfo.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace m51c {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: m51c [--lists LISTFILE] [-o OUTFILE] SOURCE\n"
    "Compiles the M51 source SOURCE into 8051 assembly, as Zelvar's \"Check\" does.\n"
    "\n"
    "  -o OUTFILE        write the assembly to OUTFILE instead of the source's\n"
    "                    base name plus \".asm\" (\"-\" for standard output)\n"
    "  --lists LISTFILE  also write the procedure, definition, inline and error\n"
    "                    lists to LISTFILE (\"-\" for standard output)\n"
    "  -h, --help        show this text\n"
    "  -v, --version     show the version\n"
    "\n"
    "Every error-list entry is also printed to standard error as SOURCE:LINE: TEXT.\n"
    "Exit status: 0 no errors, 1 the error list is not empty, 2 a file could not be\n"
    "read or written (or the command line is wrong); a file that could not be\n"
    "written completely is not left behind.\n";

struct Options {
    std::string source;
    std::optional<std::string> output;
    std::optional<std::string> lists;
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
        } else if (!optionsEnd && (a == "-o" || a == "--lists")) {
            if (i + 1 >= args.size())
                return "option " + a + " needs a file name";
            (a == "-o" ? o.output : o.lists) = args[++i];
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

bool ReadFile(const std::string& path, std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok && errno == 0)
        errno = EIO;
    return ok;
}

// Creates a file that must not exist yet.
std::FILE* OpenNew(const std::string& path)
{
#ifdef _WIN32
    std::error_code ec;
    if (fs::exists(path, ec)) {
        errno = EEXIST;
        return nullptr;
    }
    return std::fopen(path.c_str(), "wb");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// A file written under a temporary name beside its target and renamed over it
// only when everything was written; "-" writes straight to standard output.
class Target {
public:
    Target(std::string path, std::FILE* standardOut) : m_path(std::move(path))
    {
        if (m_path == "-") {
            m_file = standardOut;
            return;
        }
        std::random_device random;
        for (int attempt = 0; attempt < 16 && !m_file; ++attempt) {
            m_temp = m_path + ".m51c-" + std::to_string(random() % 1000000000u) + ".tmp";
            m_file = OpenNew(m_temp);
            if (!m_file && errno != EEXIST)
                break;
        }
        if (m_file)
            std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
        else
            m_error = errno;
    }
    ~Target() { Discard(); }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    const std::string& Path() const { return m_path; }
    int Error() const { return m_error; }

    void Write(std::string_view bytes)
    {
        if (m_file && !m_error && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            m_error = errno ? errno : EIO;
    }

    // Flushes and closes; false (with Error()) when anything failed.
    bool Close()
    {
        if (!m_file)
            return false;
        if (std::fflush(m_file) != 0 && !m_error)
            m_error = errno ? errno : EIO;
        if (m_temp.empty()) {
            m_file = nullptr;
            return !m_error;
        }
        if (std::fclose(m_file) != 0 && !m_error)
            m_error = errno ? errno : EIO;
        m_file = nullptr;
        return !m_error;
    }

    // Moves the finished temporary file over the target.
    bool Commit()
    {
        if (m_temp.empty())
            return !m_error;
        std::error_code ec;
        fs::rename(m_temp, m_path, ec);
        if (ec) {
            m_error = ec.value();
            return false;
        }
        m_temp.clear();
        return true;
    }

    void Discard()
    {
        if (m_file && !m_temp.empty())
            std::fclose(m_file);
        m_file = nullptr;
        if (!m_temp.empty()) {
            std::remove(m_temp.c_str());
            m_temp.clear();
        }
    }

private:
    std::string m_path;
    std::string m_temp;
    std::FILE* m_file = nullptr;
    int m_error = 0;
};

class AsmSink : public m51::OutputSink {
public:
    explicit AsmSink(Target& target) : m_target(target) {}
    void Line(std::string_view line) override
    {
        m_target.Write(line);
        m_target.Write("\r\n");
    }

private:
    Target& m_target;
};

void WriteLists(Target& t, const m51::CompileResult& r)
{
    const auto section = [&t](std::string_view title, const std::vector<std::string>& entries) {
        t.Write(title);
        t.Write("\n");
        for (const std::string& e : entries) {
            t.Write(e);
            t.Write("\n");
        }
    };
    section("[ProcBox]", r.ProcBox);
    section("[Definebox]", r.Definebox);
    section("[InlineBox]", r.InlineBox);
    section("[ErBox]", r.ErBox);
}

// "12 binary value" becomes "SOURCE:13: binary value".
void PrintError(std::FILE* err, const std::string& source, const std::string& entry)
{
    std::size_t digits = 0;
    while (digits < entry.size() && digits < 18 && entry[digits] >= '0' && entry[digits] <= '9')
        ++digits;
    if (digits == 0 || digits >= entry.size() || entry[digits] != ' ') {
        std::fprintf(err, "%s: %s\n", source.c_str(), entry.c_str());
        return;
    }
    const unsigned long long line = std::stoull(entry.substr(0, digits)) + 1;
    std::fprintf(err, "%s:%llu: ", source.c_str(), line);
    std::fwrite(entry.data() + digits + 1, 1, entry.size() - digits - 1, err);
    std::fputc('\n', err);
}

int Fail(std::FILE* err, const char* what, const std::string& path, int error)
{
    std::fprintf(err, "m51c: cannot %s %s: %s\n", what, path.c_str(), std::strerror(error ? error : EIO));
    return 2;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || fs::equivalent(a, b, ec);
}

} // namespace

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    Options o;
    if (const auto problem = Parse(args, o)) {
        std::fprintf(err, "m51c: %s\n%s", problem->c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, out);
        return 0;
    }
    if (o.version) {
        m51::printVersion(out, "m51c");
        return 0;
    }
#ifdef _WIN32
    _setmode(_fileno(out), _O_BINARY);
#endif

    std::string bytes;
    errno = 0;
    if (!ReadFile(o.source, bytes))
        return Fail(err, "read", o.source, errno);

    const std::string outputPath = o.output.value_or(m51::AsmFileName(o.source));
    if (outputPath != "-" && SameFile(outputPath, o.source)) {
        std::fprintf(err, "m51c: the output %s would replace the source\n", outputPath.c_str());
        return 2;
    }
    if (o.lists && *o.lists != "-" && SameFile(*o.lists, o.source)) {
        std::fprintf(err, "m51c: the list file %s would replace the source\n", o.lists->c_str());
        return 2;
    }

    if (o.lists && *o.lists != "-" && outputPath != "-" && SameFile(*o.lists, outputPath)) {
        std::fprintf(err, "m51c: the assembly and the lists cannot share the file %s\n", outputPath.c_str());
        return 2;
    }

    Target asmFile(outputPath, out);
    if (!asmFile.IsOpen())
        return Fail(err, "write", asmFile.Path(), asmFile.Error());
    std::optional<Target> listFile;
    if (o.lists) {
        listFile.emplace(*o.lists, out);
        if (!listFile->IsOpen())
            return Fail(err, "write", listFile->Path(), listFile->Error());
    }

    const std::vector<std::string_view> lines = m51::SplitSourceLineViews(bytes);
    AsmSink sink(asmFile);
    const m51::CompileResult result = m51::CompileSource(std::span<const std::string_view>(lines), sink);
    if (listFile)
        WriteLists(*listFile, result);

    for (const std::string& entry : result.ErBox)
        PrintError(err, o.source, entry);

    if (!asmFile.Close())
        return Fail(err, "write", asmFile.Path(), asmFile.Error());
    if (listFile && !listFile->Close())
        return Fail(err, "write", listFile->Path(), listFile->Error());
    if (!asmFile.Commit())
        return Fail(err, "write", asmFile.Path(), asmFile.Error());
    if (listFile && !listFile->Commit())
        return Fail(err, "write", listFile->Path(), listFile->Error());
    return result.ErBox.empty() ? 0 : 1;
}

} // namespace m51c
