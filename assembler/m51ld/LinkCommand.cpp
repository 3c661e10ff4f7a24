#include "assembler/m51ld/LinkCommand.h"

#include "common/ErrorCap.h"
#include "common/FileRead.h"
#include "assembler/SourceFiles.h"
#include "common/FileWrite.h"
#include "assembler/ObjectFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace m51ld {

namespace {

namespace fs = std::filesystem;

#ifndef M51AS_VERSION
#define M51AS_VERSION "0"
#endif

constexpr const char* kUsage =
    "Usage: m51ld [-o BASE] [--place NAME=ADDR]... [--place-file FILE] [-I DIR]...\n"
    "             [--dialect NAME] [--allow-overlap] [--list-all] FILE...\n"
    "Links 8051 modules into one program: BASE.hex (Intel HEX), BASE.bin (binary\n"
    "image from the lowest to the highest address written) and BASE.map (segments,\n"
    "addresses, sizes, public names). A FILE is an object file made by m51as -c, or\n"
    "an assembly source, assembled as a module first and listed with its final\n"
    "addresses (SOURCE.lst).\n"
    "\n"
    "  -o BASE           base name of the outputs (default: the first FILE\n"
    "                    without its extension)\n"
    "  --place NAME=ADDR put segment NAME at ADDR (1000H, 0x1000 or decimal);\n"
    "                    the other segments are packed into the free room\n"
    "  --place-file FILE the placements of FILE, one a line: NAME = ADDR\n"
    "  -I DIR, --dialect NAME, --list-all\n"
    "                    as for m51as, for the sources\n"
    "  --allow-overlap   let code of two modules at one address replace the\n"
    "                    earlier instead of reporting an error\n"
    "  -h, --help        show this text\n"
    "  --version         show the version\n"
    "\n"
    "Errors are printed as FILE:LINE: message. Exit status: 0 no errors, 1 errors\n"
    "(BASE.hex and BASE.bin are not written, older ones are removed), 2 a file\n"
    "could not be read or written (or the command line is wrong).\n";

int Fail(std::FILE* err, const char* program, const char* what, const std::string& path, const std::string& reason)
{
    std::fprintf(err, "%s: cannot %s %s: %s\n", program, what, path.c_str(), reason.c_str());
    return 2;
}

int Finish(std::FILE* out, std::FILE* err, const char* program, int status)
{
    if (std::fflush(out) != 0 || std::ferror(out))
        return Fail(err, program, "write", "the standard output", std::strerror(errno ? errno : EIO));
    return status;
}

std::string FileNamePart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Prints the problems of one result as FILE:LINE: message (context).
void Print(std::FILE* err, const char* program, const std::string& file, const std::vector<m51asm::AsmError>& list,
           const char* kind, m51::ErrorCap* cap)
{
    for (const m51asm::AsmError& e : list) {
        const std::string& name = e.file.empty() ? file : e.file;
        if (cap && !cap->admit(name, e.message))
            continue;
        if (name.empty() && e.line == 0) {
            std::fprintf(err, "%s: %s%s\n", program, kind, e.message.c_str());
            continue;
        }
        std::fprintf(err, "%s:%d: %s%s%s%s%s\n", name.c_str(), e.line, kind, e.message.c_str(),
                     e.context.empty() ? "" : " (", e.context.c_str(), e.context.empty() ? "" : ")");
    }
}

bool IsObject(std::string_view bytes)
{
    return bytes.substr(0, m51asm::kObjectMagic.size()) == m51asm::kObjectMagic;
}

m51asm::AssembleOptions SourceOptions(const m51asm::AssembleOptions& common, const std::string& path)
{
    m51asm::AssembleOptions o = common;
    o.fileName = FileNamePart(path);
    o.sourcePath = path;
    return o;
}

} // namespace

std::string OutputBase(const std::string& file)
{
    const std::size_t slash = file.find_last_of("/\\");
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return file;
    return file.substr(0, dot);
}

std::string RegisterFolder()
{
    std::error_code ec;
    fs::path exe;
#ifdef _WIN32
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        exe = fs::path(std::wstring(buffer, n));
#elif defined(__linux__)
    exe = fs::read_symlink("/proc/self/exe", ec);
#endif
    std::vector<fs::path> candidates;
    if (!exe.empty()) {
        candidates.push_back(exe.parent_path() / "registers");
        candidates.push_back(exe.parent_path() / ".." / "share" / "zelvar" / "registers");
    }
#ifdef M51AS_REGISTER_DIR
    candidates.push_back(M51AS_REGISTER_DIR);
#endif
    for (const fs::path& c : candidates)
        if (fs::is_directory(c, ec))
            return c.lexically_normal().string();
    return {};
}

void UseFiles(m51asm::AssembleOptions& options)
{
    options.registerDir = RegisterFolder();
    m51asm::ReadIncludesFromDisk(options);
}

std::optional<std::string> ReadPlacementFile(const std::string& path, std::vector<m51asm::Placement>& out)
{
    std::string why;
    const std::optional<std::string> text = m51::readFileBounded(path, std::size_t{1} << 20, why, true);
    if (!text)
        return "cannot read " + path + ": " + why;
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text->size()) {
        std::size_t end = text->find('\n', pos);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        line = line.substr(0, line.find_first_of(";#"));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (line.find('=') == std::string::npos) {  // NAME ADDRESS
            const std::size_t start = line.find_first_not_of(" \t");
            const std::size_t gap = line.find_first_of(" \t", start);
            if (gap != std::string::npos)
                line[gap] = '=';
        }
        const std::size_t start = line.find_first_not_of(" \t");
        m51asm::Placement p;
        if (!m51asm::ParsePlacement(std::string_view(line).substr(start), p))
            return path + ":" + std::to_string(lineNo) + ": a placement is NAME = ADDRESS (1000H, 0x1000 or decimal)";
        out.push_back(std::move(p));
    }
    return std::nullopt;
}

int AssembleModules(const std::vector<std::string>& sources, const std::optional<std::string>& base,
                    const m51asm::AssembleOptions& options, std::FILE* out, std::FILE* err)
{
    int status = 0;
    for (const std::string& path : sources) {
        std::string why;
        std::optional<std::string> source = m51::readFileBounded(path, m51::kSourceLimit, why, true);
        if (!source)
            return Fail(err, "m51as", "read", path, why);
        m51asm::AssembleOptions o = SourceOptions(options, path);
        o.module = true;
        const m51asm::AssembleResult r = m51asm::Assemble(*source, o);
        m51::ErrorCap cap;
        Print(err, "m51as", path, r.warnings, "warning: ", nullptr);
        Print(err, "m51as", path, r.errors, "", &cap);
        const std::string b = base.value_or(OutputBase(path));
        if (b + ".obj" == path || b + ".lst" == path) {
            std::fprintf(err, "m51as: the outputs of %s would replace the source\n", path.c_str());
            return 2;
        }
        m51::OutputSet outputs;
        outputs.add(b + ".lst", r.listing);
        if (r.errors.empty() && r.object)
            outputs.add(b + ".obj", m51asm::WriteObject(*r.object));
        else
            outputs.remove(b + ".obj");
        if (const std::string reason = outputs.commit(); !reason.empty())
            return Fail(err, "m51as", "write", outputs.failedPath(), reason);
        if (!r.errors.empty()) {
            std::fprintf(out, "%s: %zu error%s, no object file written\n", path.c_str(), r.errors.size(),
                         r.errors.size() == 1 ? "" : "s");
            status = 1;
        } else {
            std::fprintf(out, "%s: 0 errors, module %s in %s.obj\n", path.c_str(), r.object->name.c_str(), b.c_str());
        }
    }
    return Finish(out, err, "m51as", status);
}

int LinkFiles(const LinkJob& job, std::FILE* out, std::FILE* err)
{
    const char* program = job.program;
    std::vector<m51asm::ObjectModule> modules;
    std::vector<std::string> sources(job.inputs.size());  // the text of each input that is a source
    std::vector<bool> isSource(job.inputs.size(), false);
    std::size_t errors = 0;
    modules.reserve(job.inputs.size());
    for (std::size_t i = 0; i < job.inputs.size(); ++i) {
        const std::string& path = job.inputs[i];
        std::string why;
        std::optional<std::string> bytes = m51::readFileBounded(path, m51::kSourceLimit, why, true);
        if (!bytes)
            return Fail(err, program, "read", path, why);
        m51asm::ObjectModule module;
        if (IsObject(*bytes)) {
            if (!m51asm::ReadObject(*bytes, module, why))
                return Fail(err, program, "read", path, why);
        } else {
            m51asm::AssembleOptions o = SourceOptions(job.options, path);
            o.module = true;
            o.listing = false;
            const m51asm::AssembleResult r = m51asm::Assemble(*bytes, o);
            m51::ErrorCap cap;
            Print(err, program, path, r.warnings, "warning: ", nullptr);
            Print(err, program, path, r.errors, "", &cap);
            errors += r.errors.size();
            if (r.object)
                module = *r.object;
            sources[i] = std::move(*bytes);
            isSource[i] = true;
        }
        modules.push_back(std::move(module));
    }
    const std::string hexPath = job.base + ".hex", binPath = job.base + ".bin", mapPath = job.base + ".map";
    for (const std::string& input : job.inputs)
        for (const std::string* output : {&hexPath, &binPath, &mapPath})
            if (*output == input) {
                std::fprintf(err, "%s: the output %s would replace the input %s\n", program, output->c_str(),
                             input.c_str());
                return 2;
            }
    m51::OutputSet outputs;
    if (errors) {
        for (const std::string* path : {&hexPath, &binPath})
            outputs.remove(*path);
        if (const std::string reason = outputs.commit(); !reason.empty())
            return Fail(err, program, "write", outputs.failedPath(), reason);
        std::fprintf(out, "%s: %zu error%s in the modules, nothing linked\n", job.base.c_str(), errors,
                     errors == 1 ? "" : "s");
        return Finish(out, err, program, 1);
    }

    m51asm::LinkOptions linkOptions;
    linkOptions.placements = job.placements;
    linkOptions.allowOverlap = job.options.allowOverlap;
    const m51asm::LinkResult linked = m51asm::Link(modules, linkOptions);
    m51::ErrorCap cap;
    Print(err, program, {}, linked.program.errors, "", &cap);
    outputs.add(mapPath, linked.map);

    // Each source listed again at its final addresses.
    for (std::size_t i = 0; i < job.inputs.size() && linked.program.errors.empty(); ++i) {
        if (!isSource[i])
            continue;
        m51asm::AssembleOptions o = SourceOptions(job.options, job.inputs[i]);
        o.module = true;
        o.placed = true;
        o.segmentBases = linked.bases[i];
        o.externalValues = linked.externValues[i];
        const m51asm::AssembleResult placed = m51asm::Assemble(sources[i], o);
        for (std::size_t a = 0; a < placed.written.size(); ++a)
            if (placed.written[a] && placed.image[a] != linked.program.image[a]) {
                std::fprintf(err, "%s: warning: the listing of %s differs from the linked image at %04zXH\n", program,
                             job.inputs[i].c_str(), a);
                break;
            }
        outputs.add(OutputBase(job.inputs[i]) + ".lst", placed.listing);
    }
    if (!linked.program.errors.empty()) {
        for (const std::string* path : {&hexPath, &binPath})
            outputs.remove(*path);
    } else {
        outputs.add(hexPath, linked.program.hex);
        const std::vector<std::uint8_t> binary = linked.program.Binary();
        outputs.add(binPath, std::string(reinterpret_cast<const char*>(binary.data()), binary.size()));
    }
    if (const std::string reason = outputs.commit(); !reason.empty())
        return Fail(err, program, "write", outputs.failedPath(), reason);
    if (!linked.program.errors.empty()) {
        std::fprintf(out, "%s: %zu error%s, no HEX or BIN file written\n", job.base.c_str(),
                     linked.program.errors.size(), linked.program.errors.size() == 1 ? "" : "s");
        return Finish(out, err, program, 1);
    }
    const auto bytes = static_cast<std::size_t>(
        std::count(linked.program.written.begin(), linked.program.written.end(), true));
    std::fprintf(out, "%s: %zu module%s linked, 0 errors, %zu bytes of code", job.base.c_str(), modules.size(),
                 modules.size() == 1 ? "" : "s", bytes);
    if (!linked.program.empty)
        std::fprintf(out, " in %04XH-%04XH", linked.program.lowest, linked.program.highest);
    std::fprintf(out, "\n");
    return Finish(out, err, program, 0);
}

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    LinkJob job;
    std::optional<std::string> base;
    std::string problem;
    bool optionsEnd = false;
    const auto value = [&](std::size_t& i, const char* what) -> const std::string* {
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            problem = std::string("option ") + args[i] + " needs " + what;
            return nullptr;
        }
        return &args[++i];
    };
    for (std::size_t i = 0; i < args.size() && problem.empty(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && (a == "-h" || a == "--help")) {
            std::fputs(kUsage, out);
            return Finish(out, err, "m51ld", 0);
        }
        if (!optionsEnd && (a == "-v" || a == "--version")) {
            std::fprintf(out, "m51ld %s, 8051 linker\n", M51AS_VERSION);
            return Finish(out, err, "m51ld", 0);
        }
        if (!optionsEnd && a == "-o") {
            if (const std::string* v = value(i, "a base name"))
                base = *v;
        } else if (!optionsEnd && a == "--place") {
            m51asm::Placement p;
            if (const std::string* v = value(i, "NAME=ADDR"); v && !m51asm::ParsePlacement(*v, p))
                problem = "option --place takes NAME=ADDR (1000H, 0x1000 or decimal), not " + *v;
            else if (v)
                job.placements.push_back(p);
        } else if (!optionsEnd && a == "--place-file") {
            if (const std::string* v = value(i, "a file"))
                if (const auto bad = ReadPlacementFile(*v, job.placements)) {
                    std::fprintf(err, "m51ld: %s\n", bad->c_str());
                    return 2;
                }
        } else if (!optionsEnd && a == "-I") {
            if (const std::string* v = value(i, "a folder"))
                job.options.includeDirs.push_back(*v);
        } else if (!optionsEnd && a == "--dialect") {
            if (const std::string* v = value(i, "a name"); v && !m51asm::DialectFromName(*v, job.options.dialect))
                problem = "unknown dialect " + *v + " (asm51, keil or as31)";
        } else if (!optionsEnd && a == "--allow-overlap") {
            job.options.allowOverlap = true;
        } else if (!optionsEnd && a == "--list-all") {
            job.options.ignoreNolist = true;
        } else if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            problem = "unknown option " + a;
        } else {
            job.inputs.push_back(a);
        }
    }
    if (problem.empty() && job.inputs.empty())
        problem = "no FILE given";
    if (!problem.empty()) {
        std::fprintf(err, "m51ld: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    job.base = base.value_or(OutputBase(job.inputs.front()));
    UseFiles(job.options);
    return LinkFiles(job, out, err);
}

} // namespace m51ld
