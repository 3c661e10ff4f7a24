#include "assembler/m51as/CommandLine.h"

#include "assembler/Assembler.h"
#include "assembler/m51ld/LinkCommand.h"
#include "common/ErrorCap.h"
#include "common/FileRead.h"
#include "assembler/SourceFiles.h"
#include "common/FileWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#elif defined(__linux__)
#include <unistd.h>
#endif

namespace m51as {

namespace {

namespace fs = std::filesystem;

#ifndef M51AS_VERSION
#define M51AS_VERSION "0"
#endif

constexpr const char* kUsage =
    "Usage: m51as [-o BASE] [-I DIR]... [--dialect NAME] [--shortest-jumps] [--list-all] [--allow-overlap]\n"
    "             [-c] [--place NAME=ADDR]... [--place-file FILE] FILE.asm...\n"
    "Assembles the 8051 source FILE.asm into BASE.hex\n"
    "(Intel HEX), BASE.bin (binary image from the lowest to the highest address\n"
    "written, gaps filled with 0FFH) and BASE.lst (listing).\n"
    "\n"
    "  -o BASE          base name of the outputs (default: FILE without its\n"
    "                   extension)\n"
    "  -I DIR           look for include files in DIR too (after the including\n"
    "                   file's folder, before the register files of m51as);\n"
    "                   may be given more than once\n"
    "  --dialect NAME   the assembler the source was written for: asm51 (Intel\n"
    "                   ASM51, Metalink ASM51, ASEM-51), keil (Keil A51) or as31;\n"
    "                   default: as31 for a source with .org, .equ, .db ...\n"
    "                   directives, else asm51\n"
    "  --shortest-jumps a generic JMP or CALL becomes the shortest jump that\n"
    "                   reaches, forward too (default: as ASM51 does, LJMP or\n"
    "                   LCALL for a target further down)\n"
    "  --list-all       list every line, also between $NOLIST and $LIST, and\n"
    "                   every line of every macro expansion\n"
    "  --allow-overlap  let code written again at an address replace the earlier\n"
    "                   code instead of reporting an error\n"
    "  -c               assemble each FILE as a module (relocatable segments,\n"
    "                   PUBLIC, EXTRN) into FILE.obj (BASE.obj) and its listing\n"
    "  --place NAME=ADDR, --place-file FILE\n"
    "                   given several FILEs (sources or .obj files), m51as links\n"
    "                   them as m51ld does: into BASE.hex, BASE.bin and BASE.map,\n"
    "                   each source listed at its final addresses; these put\n"
    "                   segment NAME at ADDR (see m51ld --help)\n"
    "  -h, --help       show this text\n"
    "  --version        show the version\n"
    "\n"
    "Errors are printed as FILE:LINE: message. Exit status: 0 no errors, 1 errors\n"
    "(the listing is written, BASE.hex and BASE.bin are not, and older ones are\n"
    "removed), 2 a file could not be read or written (or the command line is wrong).\n"
    "The outputs change together, only when all of them were written; otherwise,\n"
    "and when one of them is read-only, the old ones stay as they were.\n";

struct Options {
    std::string file;                // the first FILE
    std::vector<std::string> files;  // all of them
    bool compileOnly = false;
    std::vector<m51asm::Placement> placements;
    std::optional<std::string> base;
    bool listAll = false;
    bool allowOverlap = false;
    bool shortestJumps = false;
    m51asm::Dialect dialect = m51asm::Dialect::Auto;
    std::vector<std::string> includeDirs;
    bool help = false;
    bool version = false;
};

std::optional<std::string> Parse(const std::vector<std::string>& args, Options& o)
{
    bool optionsEnd = false;
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && (a == "-h" || a == "--help")) {
            o.help = true;
        } else if (!optionsEnd && (a == "-v" || a == "--version")) {
            o.version = true;
        } else if (!optionsEnd && a == "--list-all") {
            o.listAll = true;
        } else if (!optionsEnd && a == "--allow-overlap") {
            o.allowOverlap = true;
        } else if (!optionsEnd && a == "--shortest-jumps") {
            o.shortestJumps = true;
        } else if (!optionsEnd && (a == "--dialect" || a.rfind("--dialect=", 0) == 0)) {
            std::string name;
            if (a == "--dialect") {
                if (i + 1 >= args.size())
                    return std::string("option --dialect needs a name: asm51, keil or as31");
                name = args[++i];
            } else {
                name = a.substr(10);
            }
            if (!m51asm::DialectFromName(name, o.dialect))
                return "unknown dialect " + name + " (asm51, keil or as31)";
        } else if (!optionsEnd && a == "-I") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return std::string("option -I needs a folder");
            o.includeDirs.push_back(args[++i]);
        } else if (!optionsEnd && a.size() > 2 && a.compare(0, 2, "-I") == 0) {
            o.includeDirs.push_back(a.substr(2));
        } else if (!optionsEnd && a == "-o") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return std::string("option -o needs a base name");
            o.base = args[++i];
        } else if (!optionsEnd && a == "-c") {
            o.compileOnly = true;
        } else if (!optionsEnd && a == "--place") {
            m51asm::Placement p;
            if (i + 1 >= args.size() || !m51asm::ParsePlacement(args[i + 1], p))
                return std::string("option --place takes NAME=ADDR (1000H, 0x1000 or decimal)");
            o.placements.push_back(p);
            ++i;
        } else if (!optionsEnd && a == "--place-file") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return std::string("option --place-file needs a file");
            if (const auto bad = m51ld::ReadPlacementFile(args[++i], o.placements))
                return *bad;
        } else if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            if (!haveFile)
                o.file = a;
            o.files.push_back(a);
            haveFile = true;
        }
    }
    if (!haveFile && !o.help && !o.version)
        return std::string("no FILE given");
    if (o.base && o.compileOnly && o.files.size() > 1)
        return std::string("-o names the output of one FILE; with -c and several FILEs each gets its own");
    return std::nullopt;
}

int Fail(std::FILE* err, const char* what, const std::string& path, int error)
{
    std::fprintf(err, "m51as: cannot %s %s: %s\n", what, path.c_str(), std::strerror(error ? error : EIO));
    return 2;
}

int Fail(std::FILE* err, const char* what, const std::string& path, const std::string& reason)
{
    std::fprintf(err, "m51as: cannot %s %s: %s\n", what, path.c_str(), reason.c_str());
    return 2;
}

// The summary on standard output; a failed write of it is a failed run.
int Finish(std::FILE* out, std::FILE* err, int status)
{
    if (std::fflush(out) != 0 || std::ferror(out))
        return Fail(err, "write", "the standard output", errno);
    return status;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return a == b || fs::equivalent(a, b, ec);
}

std::string FileNamePart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string DefaultBase(const std::string& file)
{
    return m51ld::OutputBase(file);
}

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    Options o;
    if (const auto problem = Parse(args, o)) {
        std::fprintf(err, "m51as: %s\n%s", problem->c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, out);
        return 0;
    }
    if (o.version) {
        std::fprintf(out, "m51as %s, 8051 assembler\n", M51AS_VERSION);
        return 0;
    }

    const bool objectGiven = std::any_of(o.files.begin(), o.files.end(), [](const std::string& f) {
        return f.size() > 4 && (f.compare(f.size() - 4, 4, ".obj") == 0 || f.compare(f.size() - 4, 4, ".OBJ") == 0);
    });
    if (o.compileOnly || o.files.size() > 1 || !o.placements.empty() || objectGiven) {
        m51asm::AssembleOptions options;
        options.ignoreNolist = o.listAll;
        options.allowOverlap = o.allowOverlap;
        options.shortestJumps = o.shortestJumps;
        options.dialect = o.dialect;
        options.includeDirs = o.includeDirs;
        m51ld::UseFiles(options);
        if (o.compileOnly)
            return m51ld::AssembleModules(o.files, o.base, options, out, err);
        m51ld::LinkJob job;
        job.inputs = o.files;
        job.base = o.base.value_or(DefaultBase(o.file));
        job.placements = o.placements;
        job.options = options;
        job.program = "m51as";
        return m51ld::LinkFiles(job, out, err);
    }

    std::string why;
    std::optional<std::string> read = m51::readFileBounded(o.file, m51::kSourceLimit, why, true);
    if (!read)
        return Fail(err, "read", o.file, why);
    std::string source = std::move(*read);

    const std::string base = o.base.value_or(DefaultBase(o.file));
    const std::string hexPath = base + ".hex", binPath = base + ".bin", lstPath = base + ".lst";
    for (const std::string* path : {&hexPath, &binPath, &lstPath}) {
        if (SameFile(*path, o.file)) {
            std::fprintf(err, "m51as: the output %s would replace the source %s\n", path->c_str(), o.file.c_str());
            return 2;
        }
    }

    m51asm::AssembleOptions options;
    options.fileName = FileNamePart(o.file);
    options.ignoreNolist = o.listAll;
    options.allowOverlap = o.allowOverlap;
    options.shortestJumps = o.shortestJumps;
    options.dialect = o.dialect;
    options.sourcePath = o.file;
    options.includeDirs = o.includeDirs;
    options.registerDir = m51ld::RegisterFolder();
    m51asm::ReadIncludesFromDisk(options);
    const m51asm::AssembleResult result = m51asm::Assemble(source, options);
    std::string().swap(source);

    for (const m51asm::AsmError& e : result.warnings)
        std::fprintf(err, "%s:%d: warning: %s%s%s%s\n", (e.file.empty() ? o.file : e.file).c_str(), e.line,
                     e.message.c_str(), e.context.empty() ? "" : " (", e.context.c_str(), e.context.empty() ? "" : ")");
    m51::ErrorCap cap;
    for (const m51asm::AsmError& e : result.errors) {
        const std::string& file = e.file.empty() ? o.file : e.file;
        if (cap.admit(file, e.message))
            std::fprintf(err, "%s:%d: %s%s%s%s\n", file.c_str(), e.line, e.message.c_str(), e.context.empty() ? "" : " (",
                         e.context.c_str(), e.context.empty() ? "" : ")");
    }
    for (const std::string& line : cap.summary())
        std::fprintf(err, "%s\n", line.c_str());

    // The listing, HEX and BIN files of one run go in place together, or
    // the old ones all stay: a flash or a simulation never meets two builds.
    m51::OutputSet outputs;
    outputs.add(lstPath, result.listing);
    if (!result.errors.empty()) {
        outputs.remove(hexPath);
        outputs.remove(binPath);
        if (const std::string reason = outputs.commit(); !reason.empty())
            return Fail(err, "write", outputs.failedPath(), reason);
        std::fprintf(out, "%s: %zu error%s, no HEX or BIN file written\n", o.file.c_str(), result.errors.size(),
                     result.errors.size() == 1 ? "" : "s");
        return Finish(out, err, 1);
    }
    outputs.add(hexPath, result.hex);
    const std::vector<std::uint8_t> binary = result.Binary();
    outputs.add(binPath, std::string(reinterpret_cast<const char*>(binary.data()), binary.size()));
    if (const std::string reason = outputs.commit(); !reason.empty())
        return Fail(err, "write", outputs.failedPath(), reason);
    if (result.empty) {
        std::fprintf(out, "%s: 0 errors, no code\n", o.file.c_str());
    } else {
        std::fprintf(out, "%s: 0 errors, %zu bytes of code in %04XH-%04XH\n", o.file.c_str(),
                     static_cast<std::size_t>(std::count(result.written.begin(), result.written.end(), true)),
                     result.lowest, result.highest);
    }
    return Finish(out, err, 0);
}

} // namespace m51as
