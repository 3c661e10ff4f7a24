#include "debugger/window/CallFrames.h"

#include "common/Cp1250.h"

#include <QFile>

#include <algorithm>
#include <cctype>

namespace m51dbg {

using toolchain::Program;
using toolchain::Storage;

namespace {

bool HasStackFrame(const Program& program, const toolchain::Function* function)
{
    if (!function)
        return false;
    const int index = int(function - program.functions.data());
    return std::any_of(program.symbols.begin(), program.symbols.end(), [index](const toolchain::Symbol& s) {
        return s.function == index && s.storage == Storage::StackRelative;
    });
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

} // namespace

std::vector<CFrame> CFramesOf(const StackView& stack, const Program& program, const toolchain::MemoryAccess& memory)
{
    std::vector<CFrame> frames;
    // The frame pointer of the innermost reentrant function; each reentrant
    // frame keeps its caller's at its first byte.
    std::optional<uint8_t> base;
    if (const toolchain::Symbol* bp = program.findSymbol("_bp"); bp && bp->storage == Storage::InternalRam)
        base = memory.read(Storage::InternalRam, uint32_t(bp->address));
    for (size_t i = 0; i < stack.frames.size(); ++i) {
        CFrame frame;
        frame.function = program.functionAt(stack.frames[i].at);
        if (const auto lines = program.linesAt(stack.frames[i].at); !lines.empty())
            frame.line = lines.front();
        frame.place.pc = stack.frames[i].at;
        if (i > 0) {
            if (base && HasStackFrame(program, frames.back().function))
                base = toolchain::CallerFrame(*base, memory);
            frame.place.frameBase = base.value_or(0);
            frame.place.savedRegisters = SavedRegisters(program.code, stack.frames[i - 1]);
        }
        frames.push_back(frame);
    }
    return frames;
}

std::vector<std::string> ParameterNames(std::string_view definition, std::string_view function)
{
    // The function's name as a whole word, followed by its parameter list.
    size_t at = 0;
    while ((at = definition.find(function, at)) != std::string_view::npos) {
        const size_t end = at + function.size();
        const bool word = (at == 0 || !IsNameChar(definition[at - 1])) && (end >= definition.size() || !IsNameChar(definition[end]));
        size_t open = end;
        while (open < definition.size() && std::isspace(static_cast<unsigned char>(definition[open])))
            ++open;
        if (word && open < definition.size() && definition[open] == '(') {
            at = open;
            break;
        }
        at = end;
    }
    if (at == std::string_view::npos)
        return {};
    std::vector<std::string> names;
    std::string last;  // the last name of the parameter being read
    int depth = 0;
    for (size_t i = at + 1; i < definition.size(); ++i) {
        const char c = definition[i];
        if (IsNameChar(c)) {
            size_t j = i;
            while (j < definition.size() && IsNameChar(definition[j]))
                ++j;
            if (depth == 0)
                last = std::string(definition.substr(i, j - i));
            i = j - 1;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if ((c == ',' || c == ')') && depth == 0) {
            if (!last.empty() && last != "void" && !std::isdigit(static_cast<unsigned char>(last[0])))
                names.push_back(last);
            last.clear();
            if (c == ')')
                return names;
        }
    }
    return {};  // the list does not end here
}

const QStringList& SourceTexts::lines(const std::string& path)
{
    const QString key = QString::fromStdString(path);
    auto it = m_files.find(key);
    if (it == m_files.end()) {
        QFile file(key);
        QStringList lines;
        if (file.open(QIODevice::ReadOnly) && file.size() < 8 * 1024 * 1024)
            for (QString& line : cp1250::decode(file.readAll()).split(QLatin1Char('\n')))
                lines << (line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line);
        it = m_files.insert(key, lines);
    }
    return *it;
}

QString SourceTexts::line(const Program& program, const toolchain::SourceLine& at)
{
    if (at.file < 0 || size_t(at.file) >= program.files.size())
        return {};
    const QStringList& text = lines(program.files[size_t(at.file)]);
    return at.line >= 0 && at.line < text.size() ? text[at.line].trimmed() : QString();
}

QString ArgumentsOf(const CFrame& frame, const Program& program, const toolchain::MemoryAccess& memory,
                    SourceTexts& texts)
{
    const toolchain::Function* function = frame.function;
    if (!function || function->file < 0 || size_t(function->file) >= program.files.size() || function->line < 0)
        return {};
    // The definition may run over a few lines.
    const QStringList& lines = texts.lines(program.files[size_t(function->file)]);
    QString definition;
    for (int i = function->line; i < lines.size() && i < function->line + 6; ++i)
        definition += lines[i] + QLatin1Char(' ');
    QStringList shown;
    for (const std::string& name : ParameterNames(definition.toStdString(), function->name)) {
        const toolchain::CResult value = toolchain::Evaluate(name, program, memory, frame.place);
        shown << QString::fromStdString(name) + QLatin1Char('=')
                     + (value.value ? QString::fromStdString(toolchain::FormatValue(*value.value, program, memory))
                                    : QStringLiteral("?"));
    }
    return shown.join(QStringLiteral(", "));
}

} // namespace m51dbg
