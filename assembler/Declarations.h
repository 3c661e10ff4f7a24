#pragma once
// The names an assembly source declares and the files it includes, read
// line by line without assembling: labels ("LOOP:"), symbols (NAME EQU, SET,
// BIT, DATA, IDATA, XDATA, CODE, and as31's ".equ NAME, VALUE"), macros
// (NAME MACRO) and include lines ($INCLUDE(FILE), .inc FILE). The language
// server finds definitions and lists a source's symbols with it while the
// source does not yet assemble. Text is code page 1250 bytes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51asm {

struct Declaration {
    enum class Kind { Label, Symbol, Bit, Macro };
    std::string name;   // as written
    Kind kind = Kind::Label;
    int line = 0;       // 0-based
    int column = 0;     // byte offset of the name in its line
    std::string value;  // what a symbol is given ("30H", "P1.0"), as written
};

std::vector<Declaration> ScanDeclarations(std::string_view source);

// The file an include line names; nothing for another line.
std::optional<std::string> IncludedFile(std::string_view line);

} // namespace m51asm
