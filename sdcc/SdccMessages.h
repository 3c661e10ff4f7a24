#pragma once
// What SDCC and the programs it runs (its preprocessor, assembler and linker)
// print about a build, read into messages with their place. This is the one
// place that knows those formats:
//   prog.c:12: error 20: Undefined identifier 'x'       (the compiler)
//   prog.c:3: syntax error: token -> '}' ; column 1     (the parser)
//   prog.c:1:10: fatal error: a.h: No such file ...     (the preprocessor)
//   prog.asm:130: Error: <q> missing or improper ...    (the assembler)
//   ?ASlink-Warning-Undefined Global '_g' referenced ...(the linker)
// Indented lines and SDCC's "from type"/"to type" lines continue the message
// above them; chatter such as "compilation terminated." is left out.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sdcc {

struct Message {
    enum class Severity { Error, Warning, Note };
    std::string file;    // as SDCC names it; empty: the build as a whole (the linker)
    int line = 0;        // 1-based; 0: not known
    int column = 0;      // 1-based; 0: not known
    Severity severity = Severity::Error;
    std::string text;    // without the place and the severity word ("Undefined identifier 'x'")
};

// At most `maxMessages` messages; past that, one more error counts the rest.
std::vector<Message> ReadMessages(std::string_view output, std::size_t maxMessages = 1000);

} // namespace sdcc
