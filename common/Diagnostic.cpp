#include "common/Diagnostic.h"

#include "common/FileWrite.h"

#include <algorithm>

namespace m51 {

std::string_view ErrorReason(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::UnknownStatement:
        return "unknown statement, no code generated";
    case ErrorKind::DuplicateProcedure:
        return "this procedure name is already defined above";
    case ErrorKind::MoreDuplicates:
        return "a name defined more than once is called only so many times";
    case ErrorKind::BinaryVariable:
        return "a variable number cannot be written in binary";
    case ErrorKind::VariableAbove207:
    case ErrorKind::NegativeVariable:
        return "variables run from 0 to 207";
    case ErrorKind::WhileWithoutEndwhile:
        return "no ENDWHILE closes this loop (WHILE loops do not nest), so its end label is missing";
    case ErrorKind::EndwhileWithoutWhile:
        return "this ENDWHILE repeats the end label of a loop already closed";
    case ErrorKind::NestedInline:
        return "an inline block cannot hold another INLINE; the inner part is left out";
    case ErrorKind::Other:
        break;
    }
    return {};
}

std::string_view StageName(Stage stage)
{
    switch (stage) {
    case Stage::Compiler:
        return "compiler";
    case Stage::Assembler:
        return "assembler";
    case Stage::BuildScript:
        return "build script";
    case Stage::Files:
        return "files";
    }
    return {};
}

std::string DiagnosticText(const Diagnostic& d)
{
    std::string text;
    if (d.kind == ErrorKind::UnknownStatement) {
        text += ErrorReason(d.kind);
        text += ": ";
    }
    text += quoteForMessage(d.message);
    if (d.asmLine > 0)
        text += " (assembly line " + std::to_string(d.asmLine) + ')';
    if (!d.context.empty())
        text += ", " + d.context;
    return text;
}

std::string FormatDiagnostic(const Diagnostic& d, std::string_view file)
{
    std::string text = d.file.empty() ? std::string(file) : d.file;
    if (d.line > 0)
        text += ':' + std::to_string(d.line);
    text += ": ";
    text += DiagnosticText(d);
    return text;
}

std::size_t ErrorCount(const std::vector<Diagnostic>& diagnostics)
{
    return static_cast<std::size_t>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                                  [](const Diagnostic& d) { return d.severity == Severity::Error; }));
}

} // namespace m51
