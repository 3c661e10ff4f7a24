#include "StatementTips.h"

#include <QFile>
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

// The help source is a resource of the zelvar library, which a program
// links statically: it must be registered by name.
static void registerHelpSource()
{
    Q_INIT_RESOURCE(editor);
}

const QHash<QString, StatementTip>& statementTips()
{
    static const QHash<QString, StatementTip> tips = [] {
        registerHelpSource();
        QFile file(QStringLiteral(":/zelvar/Zelvar-help.txt"));
        return file.open(QIODevice::ReadOnly) ? statementTipsFrom(QString::fromUtf8(file.readAll()))
                                              : QHash<QString, StatementTip>();
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
