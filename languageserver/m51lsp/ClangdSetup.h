#pragma once
// clangd on SDCC's C: for a C project's folder, compile_commands.json (SDCC's
// command for each source), a `.clangd` file that turns those commands into
// clang's with SDCC's include folders, and a small header it includes first
// that teaches clang SDCC's keywords (__sfr, __sbit, __at, __interrupt, the
// memory spaces), so that clangd completes and checks SDCC sources without
// false errors. Files the user wrote are never overwritten.

#include <filesystem>
#include <string>
#include <vector>

namespace m51lsp {

struct ClangdFiles {
    std::vector<std::string> written;  // the files made or brought up to date
    std::vector<std::string> kept;     // files of the user's own left as they are
    std::string error;                 // why the files could not be written
};

// The project of `folder` (its NAME.m51proj, else its .c files); `sdccInclude`
// is SDCC's include folder (empty: found among the usual places).
ClangdFiles WriteClangdFiles(const std::filesystem::path& folder, std::string sdccInclude = {});

} // namespace m51lsp
