#include "languageserver/m51lsp/RegisterNotes.h"

#include "assembler/Characters.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace m51lsp {

namespace fs = std::filesystem;

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (m51asm::IsBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (m51asm::IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string UpperOf(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = m51asm::Upper(c);
    return out;
}

} // namespace

RegisterNotes ReadRegisterNotes(std::string_view text)
{
    RegisterNotes notes;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const size_t semicolon = line.find(';');
        if (semicolon == std::string_view::npos)
            continue;
        const std::string_view code = Trimmed(line.substr(0, semicolon));
        const std::string_view note = Trimmed(line.substr(semicolon + 1));
        size_t nameEnd = 0;
        while (nameEnd < code.size() && m51asm::IsIdentChar(static_cast<unsigned char>(code[nameEnd])))
            ++nameEnd;
        const std::string kind = UpperOf(Trimmed(code.substr(nameEnd)).substr(0, 4));
        if (nameEnd > 0 && !note.empty() && (kind == "DATA" || kind == "BIT "))
            notes.emplace(UpperOf(code.substr(0, nameEnd)), std::string(note));
    }
    return notes;
}

std::string RegisterFolder()
{
    std::error_code ec;
    std::vector<fs::path> candidates;
#ifdef __linux__
    if (const fs::path exe = fs::read_symlink("/proc/self/exe", ec); !ec)
        candidates.push_back(exe.parent_path() / ".." / "share" / "zelvar" / "registers");
#endif
    candidates.push_back(M51LSP_INSTALLED_REGISTERS);
    candidates.push_back(M51LSP_SOURCE_REGISTERS);
    for (const fs::path& folder : candidates)
        if (fs::is_directory(folder, ec))
            return folder.lexically_normal().string();
    return {};
}

} // namespace m51lsp
