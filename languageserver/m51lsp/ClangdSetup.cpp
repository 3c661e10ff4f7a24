#include "languageserver/m51lsp/ClangdSetup.h"

#include "sdcc/CProject.h"
#include "common/FileRead.h"
#include "common/FileWrite.h"

#include <nlohmann/json.hpp>

namespace m51lsp {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = "# Written by m51lsp";

// SDCC's keywords and intrinsic types as clang reads them.
const char kKeywordHeader[] =
    "/* Written by m51lsp: SDCC's keywords for clangd (not for SDCC). */\n"
    "#ifndef M51_SDCC_KEYWORDS_H\n"
    "#define M51_SDCC_KEYWORDS_H\n"
    "#define __SDCC 1\n#define __SDCC_mcs51 1\n#define SDCC 1\n"
    "#define __sfr volatile unsigned char\n#define __sfr16 volatile unsigned short\n"
    "#define __sfr32 volatile unsigned long\n#define __sbit volatile _Bool\n#define __bit _Bool\n"
    "#define __at(address)\n#define __interrupt(...)\n#define __using(bank)\n"
    "#define __data\n#define __idata\n#define __pdata\n#define __xdata\n#define __code const\n"
    "#define __near\n#define __far\n#define __reentrant\n#define __critical\n#define __naked\n"
    "#define __banked\n#define __nonbanked\n#define __wparam\n#define __shadowregs\n#define __trap\n"
    "#define __preserves_regs(...)\n#define __smallc\n#define __z88dk_fastcall\n"
    "#endif\n";

bool OursOrAbsent(const fs::path& path, std::string_view marker)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        return true;
    std::string why;
    const auto text = m51::readFileBounded(path.string(), m51::kInputLimit, why, false);
    return text && text->find(marker) != std::string::npos;
}

std::string FindSdccInclude()
{
    for (const char* candidate : {"/usr/share/sdcc/include", "/usr/local/share/sdcc/include"}) {
        std::error_code ec;
        if (fs::is_directory(candidate, ec))
            return candidate;
    }
    return {};
}

sdcc::CProject ProjectOf(const fs::path& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() != ".m51proj")
            continue;
        std::string why;
        if (const auto text = m51::readFileBounded(entry.path().string(), m51::kInputLimit, why, false)) {
            sdcc::ProjectReadResult read = sdcc::ReadProject(*text, folder, entry.path().stem().string());
            if (read.errors.empty())
                return read.project;
        }
    }
    return sdcc::DefaultProject(folder, "main.c");
}

} // namespace

ClangdFiles WriteClangdFiles(const fs::path& folderIn, std::string sdccInclude)
{
    ClangdFiles result;
    std::error_code ec;
    const fs::path folder = fs::absolute(folderIn, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        result.error = folderIn.string() + " is not a folder";
        return result;
    }
    if (sdccInclude.empty())
        sdccInclude = FindSdccInclude();
    const sdcc::CProject project = ProjectOf(folder);
    const fs::path header = folder / ".m51" / "sdcc-keywords.h";

    nlohmann::json commands = nlohmann::json::array();
    for (const std::string& source : project.sources)
        commands.push_back({{"directory", folder.string()},
                            {"file", (folder / source).lexically_normal().string()},
                            {"arguments", {"sdcc", "-mmcs51", "--model-" + std::string(sdcc::ModelName(project.model)),
                                           "-c", source}}});
    std::string clangd = std::string(kMarker) + ": SDCC's C for clangd, through the keyword header it includes.\n"
                         "CompileFlags:\n  Compiler: clang\n  Remove: [-mmcs51, --model-*]\n"
                         "  Add: [-xc, -std=c11, -ffreestanding, -nostdinc, -ferror-limit=0";
    if (!sdccInclude.empty())
        clangd += ", -isystem, " + sdccInclude + "/mcs51, -isystem, " + sdccInclude;
    clangd += ", -include, " + header.string() + "]\n";

    fs::create_directories(header.parent_path(), ec);
    const std::pair<fs::path, std::string> files[] = {
        {header, kKeywordHeader},
        {folder / "compile_commands.json", commands.dump(2) + "\n"},
        {folder / ".clangd", clangd},
    };
    for (const auto& [path, text] : files) {
        const std::string_view marker = path.filename() == ".clangd" ? std::string_view(kMarker)
                                        : path == header            ? std::string_view("m51lsp")
                                                                    : std::string_view("\"sdcc\"");
        if (!OursOrAbsent(path, marker)) {
            result.kept.push_back(path.string());
            continue;
        }
        if (const std::string error = m51::writeFileAtomically(path.string(), text); !error.empty()) {
            result.error = "cannot write " + path.string() + ": " + error;
            return result;
        }
        result.written.push_back(path.string());
    }
    return result;
}

} // namespace m51lsp
