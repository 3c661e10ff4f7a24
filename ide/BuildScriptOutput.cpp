#include "ide/BuildScriptOutput.h"

#include "common/Cp1250.h"
#include "ide/TextFiles.h"

#include <QFileInfo>
#include <QRegularExpression>

std::vector<m51::Diagnostic> readBuildScriptOutput(const QString& output, const QString& asmFile,
                                                   const std::vector<int>& lineMap)
{
    // FILE may hold ':' itself (a Windows drive): the line number is the
    // first all-digit field that a blank-led message follows.
    static const QRegularExpression message(QStringLiteral("^(.+?):(\\d+):(?:(\\d+):)? (.*)$"));
    static const QRegularExpression warning(QStringLiteral("^warning\\b"), QRegularExpression::CaseInsensitiveOption);
    const QString asmName = QFileInfo(asmFile).fileName();
    std::vector<m51::Diagnostic> diagnostics;
    for (const QString& line : withLfLineEnds(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (int(diagnostics.size()) == MaxBuildScriptMessages)
            break;
        if (line.trimmed().isEmpty())
            continue;
        m51::Diagnostic d;
        d.stage = m51::Stage::BuildScript;
        d.message = cp1250::encode(line);
        const QRegularExpressionMatch match = message.match(line);
        if (!match.hasMatch()) {
            d.severity = m51::Severity::Note;
            diagnostics.push_back(std::move(d));
            continue;
        }
        const QString file = match.captured(1);
        const int number = match.captured(2).toInt();
        d.column = match.captured(3).toInt();
        d.message = cp1250::encode(match.captured(4));
        if (warning.match(match.captured(4)).hasMatch())
            d.severity = m51::Severity::Warning;
        const bool ours = !asmName.isEmpty() && (file == asmFile || QFileInfo(file).fileName() == asmName);
        const bool mapped = ours && number >= 1 && number <= int(lineMap.size()) && lineMap[size_t(number - 1)] >= 0;
        if (mapped) {
            d.line = lineMap[size_t(number - 1)] + 1;
            d.asmLine = number;
            d.column = 0;  // a column of the assembly line, not of the M51 one
        } else {
            d.file = cp1250::encode(file);
            d.line = number;
        }
        diagnostics.push_back(std::move(d));
    }
    return diagnostics;
}
