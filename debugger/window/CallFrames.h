#pragma once
// The frames of a stopped C program as the call stack and Locals panes show
// them: each frame's function, its C line, where its locals are read (the
// frame SDCC's `_bp` chain gives a reentrant function; an outer frame's
// locals kept in registers where its call saved them), and its arguments as C values.
// Also the lines of the program's C files, read once per build, for the
// texts the panes show beside lines.

#include "simrun/CallStack.h"
#include "toolchain/CExpression.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51dbg {

struct CFrame {
    const toolchain::Function* function = nullptr;  // none: code without a C function
    std::optional<toolchain::SourceLine> line;
    toolchain::StopPlace place;  // the innermost frame: no frame base, its registers are known
};

// The C view of `stack`'s frames, innermost first.
std::vector<CFrame> CFramesOf(const StackView& stack, const toolchain::Program& program,
                              const toolchain::MemoryAccess& memory);

// The parameter names of `function`'s definition ("void f(struct S *s, int v)"
// -> s, v); nothing when the text does not declare it.
std::vector<std::string> ParameterNames(std::string_view definition, std::string_view function);

// The lines of the program's source files as they are on disk, each file read
// on first use; forget() when another program is built.
class SourceTexts {
public:
    const QStringList& lines(const std::string& path);
    QString line(const toolchain::Program& program, const toolchain::SourceLine& at);
    void forget() { m_files.clear(); }

private:
    QHash<QString, QStringList> m_files;
};

// "s=0x0012, value=300": the arguments of a frame, read where its locals are.
QString ArgumentsOf(const CFrame& frame, const toolchain::Program& program, const toolchain::MemoryAccess& memory,
                    SourceTexts& texts);

} // namespace m51dbg
