#include "assembler/SourceFiles.h"

#include "common/FileRead.h"

#include <filesystem>

namespace m51asm {

bool ReadSourceFile(const std::string& path, std::string& bytes, std::string* reason)
{
    std::string why;
    std::optional<std::string> read = m51::readFileBounded(path, m51::kSourceLimit, why);
    if (!read) {
        if (reason)
            *reason = std::move(why);
        return false;
    }
    bytes = std::move(*read);
    return true;
}

void ReadIncludesFromDisk(AssembleOptions& options)
{
    options.readFile = [](const std::string& path, std::string& bytes) { return ReadSourceFile(path, bytes); };
    // Nothing at the path is "not found"; anything else there says what it is.
    options.unreadable = [](const std::string& path) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            return std::string();
        std::string bytes, reason;
        return ReadSourceFile(path, bytes, &reason) ? std::string() : reason;
    };
}

} // namespace m51asm
