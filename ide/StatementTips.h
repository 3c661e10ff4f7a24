#pragma once
// The call tips of the source editor: for each M51 statement, the form the
// help shows it in and the assembly it produces. The language table holds
// them; the help's example table (the "```m51" blocks of the help source,
// where each M51 line is followed, after two or more blanks, by its assembly,
// and further assembly lines are indented) shows the same examples, and
// statementTipsFrom reads them from there. The first example of a statement
// is its tip.

#include <QHash>
#include <QString>
#include <QStringList>

struct StatementTip {
    QString form;          // "SETBIT P1.0"
    QStringList assembly;  // {"Setb P1.0"}
};

// Tips by upper-cased statement word, read from the help source's text.
QHash<QString, StatementTip> statementTipsFrom(const QString& helpSource);
// The tips of the language table (made once).
const QHash<QString, StatementTip>& statementTips();
// The text a call tip shows: the form, then the assembly lines.
QString tipText(const StatementTip& tip);
