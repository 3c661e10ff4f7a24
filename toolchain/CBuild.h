#pragma once
// The build of a C program: its sources (the .c files of the source's folder,
// or those a NAME.m51proj project file names) compiled and linked with SDCC,
// then the image read with SDCC's debug information beside it (.cdb) into
// the program model. SDCC's messages become the program's diagnostics with
// their files and lines; a machine without SDCC gets one that says how to
// install it.

#include "toolchain/Build.h"

#include <string>
#include <vector>

namespace toolchain {

class CBuild : public Build {
public:
    // `sdccProgram`: the SDCC to run (empty: $SDCC, else "sdcc" on the PATH).
    // `sources`: the .c files that make the program when they are named one
    // by one (m51sim a.c b.c), instead of all those of the first one's folder.
    explicit CBuild(std::string sdccProgram = {}, std::vector<std::string> sources = {})
        : m_sdcc(std::move(sdccProgram)), m_sources(std::move(sources)) {}
    // `input.path` is a .c source or a project file; its bytes are not read.
    Program run(const BuildInput& input) const override;

private:
    std::string m_sdcc;
    std::vector<std::string> m_sources;
};

// True when `program`'s build could not run at all (no SDCC, a project file
// that cannot be read), as opposed to SDCC reporting errors in the sources.
bool BuildCouldNotRun(const Program& program);

} // namespace toolchain
