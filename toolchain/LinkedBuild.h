#pragma once
// The build of a program written as several assembly modules (NAME, SEGMENT,
// RSEG, PUBLIC, EXTRN): each module assembled, the modules linked (Linker.h),
// then each assembled again at its final addresses so that the program knows
// the lines of every module file and the labels of every module. The files
// are the modules in link order; the map of source lines to instructions is
// the shown module's (LinkSettings), `lines` holds every file's.

#include "toolchain/Build.h"

#include "assembler/Dialect.h"
#include "assembler/Linker.h"

#include <string>
#include <vector>

namespace toolchain {

struct ModuleFile {
    std::string bytes;  // the module's source (code page 1250)
    std::string path;   // where it is: its include files are beside it; its name in diagnostics
};

struct LinkSettings {
    std::vector<m51asm::Placement> placements;  // segments at fixed addresses
    m51asm::Dialect dialect = m51asm::Dialect::Auto;
    // The module whose lines and text make the program's source map and
    // assembly (the one the debugger shows), when it is not the first.
    std::size_t shown = 0;
};

Program LinkAssemblyModules(const std::vector<ModuleFile>& modules, const LinkSettings& settings = {});

// The Build for a linked program: the input is the first module, `others` the rest.
class LinkedAssemblyBuild : public Build {
public:
    explicit LinkedAssemblyBuild(std::vector<ModuleFile> others, LinkSettings settings = {})
        : m_others(std::move(others)), m_settings(std::move(settings))
    {
    }
    Program run(const BuildInput& input) const override;

private:
    std::vector<ModuleFile> m_others;
    LinkSettings m_settings;
};

} // namespace toolchain
