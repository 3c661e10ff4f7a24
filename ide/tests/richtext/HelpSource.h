#pragma once
// The examples of the help source, for the help file's tests.

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace helpsource {

// One example: the M51 lines and the assembly lines shown for them.
struct Example {
    int sourceLine;
    QStringList m51;
    QStringList assembly;
};

// The examples of the help source: in "```m51" blocks every M51 line with its
// assembly is an example of its own, a "```m51 program" block is one example.
inline QList<Example> examples(const QStringList& source)
{
    QList<Example> out;
    static const QRegularExpression gap(QStringLiteral("^(\\S.*?\\S?)\\s{2,}(\\S.*)$"));
    for (int k = 0; k < source.size(); ++k) {
        const QString fence = source[k].trimmed();
        if (!fence.startsWith("```m51"))
            continue;
        const bool program = fence == "```m51 program";
        Example current{k + 2, {}, {}};
        for (++k; k < source.size() && !source[k].trimmed().startsWith("```"); ++k) {
            const QString line = source[k];
            if (line.trimmed().isEmpty())
                continue; // blank lines only space the examples out
            if (line.startsWith(' ')) {
                current.assembly << line.trimmed();
                continue;
            }
            if (!program && !current.m51.isEmpty()) {
                out << current;
                current = Example{k + 1, {}, {}};
            }
            const QRegularExpressionMatch m = gap.match(line);
            current.m51 << (m.hasMatch() ? m.captured(1) : line.trimmed());
            if (m.hasMatch())
                current.assembly << m.captured(2).trimmed();
        }
        if (!current.m51.isEmpty())
            out << current;
    }
    return out;
}

inline QStringList helpSource()
{
    QFile f(QStringLiteral(ZELVAR_HELP_SOURCE));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n') : QStringList();
}

} // namespace helpsource
