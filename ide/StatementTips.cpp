#include "ide/StatementTips.h"

#include "common/Cp1250.h"
#include "compiler/Language.h"

#include <QRegularExpression>

QHash<QString, StatementTip> statementTipsFrom(const QString& helpSource)
{
    QHash<QString, StatementTip> tips;
    static const QRegularExpression gap(QStringLiteral("^(\\S.*?)\\s{2,}(\\S.*)$"));
    const QStringList lines = helpSource.split(QLatin1Char('\n'));
    QString last; // the statement whose assembly continues on indented lines
    bool inBlock = false;
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        if (line.trimmed().startsWith(QLatin1String("```"))) {
            inBlock = !inBlock && line.trimmed().startsWith(QLatin1String("```m51"));
            last.clear();
            continue;
        }
        if (!inBlock || line.trimmed().isEmpty())
            continue;
        if (line.front().isSpace()) {
            if (!last.isEmpty())
                tips[last].assembly << line.trimmed();
            continue;
        }
        const QRegularExpressionMatch m = gap.match(line);
        const QString form = (m.hasMatch() ? m.captured(1) : line).trimmed();
        const QString word = form.section(QLatin1Char(' '), 0, 0).toUpper();
        last.clear();
        if (word.isEmpty() || word.startsWith(QLatin1Char(';')) || tips.contains(word))
            continue;
        StatementTip tip{form, {}};
        if (m.hasMatch())
            tip.assembly << m.captured(2).trimmed();
        tips.insert(word, tip);
        last = word;
    }
    return tips;
}

const QHash<QString, StatementTip>& statementTips()
{
    static const QHash<QString, StatementTip> tips = [] {
        QHash<QString, StatementTip> table;
        for (const m51::language::StatementTip& tip : m51::language::StatementTips()) {
            StatementTip entry{cp1250::decode(tip.form), {}};
            if (!tip.assembly.empty())
                entry.assembly = cp1250::decode(tip.assembly).split(QLatin1Char('\n'));
            table.insert(cp1250::decode(tip.word), entry);
        }
        return table;
    }();
    return tips;
}

QString tipText(const StatementTip& tip)
{
    QString text = tip.form;
    for (const QString& line : tip.assembly)
        text += QStringLiteral("\n    ") + line;
    return text;
}
