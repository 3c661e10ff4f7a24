#include "ide/ResultLists.h"

#include "common/Cp1250.h"
#include "common/FileWrite.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

QString fromBytes(std::string_view text)
{
    return cp1250::decode(text);
}

QString noteOf(const m51::Diagnostic& d)
{
    if (d.stage == m51::Stage::Compiler)
        return fromBytes(m51::ErrorReason(d.kind));
    QString note = fromBytes(m51::StageName(d.stage));
    if (d.severity == m51::Severity::Warning)
        note += QStringLiteral(", warning");
    else if (d.severity == m51::Severity::Note)
        note += QStringLiteral(", message");
    return note;
}

} // namespace

std::vector<ResultRow> errorRows(const m51::CompileResult& compiled, const std::vector<m51::Diagnostic>& diagnostics)
{
    std::vector<ResultRow> rows;
    rows.reserve(diagnostics.size());
    // The notes of a kind are shared: one text for 100,000 unknown statements.
    QString notes[16];
    for (size_t i = 0; i < diagnostics.size(); ++i) {
        const m51::Diagnostic& d = diagnostics[i];
        ResultRow row;
        row.line = d.file.empty() && d.line > 0 ? d.line - 1 : -1;
        if (i < compiled.ErBox.size() && d.stage == m51::Stage::Compiler) {
            const bool same = i > 0 && compiled.ErBox[i].text == compiled.ErBox[i - 1].text;
            row.text = same ? rows.back().text : fromBytes(m51::quoteForMessage(compiled.ErBox[i].text));
            QString& note = notes[size_t(d.kind) % 16];
            if (note.isEmpty())
                note = noteOf(d);
            row.note = note;
        } else {
            row.text = fromBytes(d.file.empty() ? m51::DiagnosticText(d) : m51::FormatDiagnostic(d, {}));
            row.note = noteOf(d);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString markerText(const m51::Diagnostic& d)
{
    if (d.stage == m51::Stage::Compiler)
        return fromBytes(m51::quoteForMessage(d.message)) + QStringLiteral(": ") + fromBytes(m51::ErrorReason(d.kind));
    return fromBytes(m51::StageName(d.stage)) + QStringLiteral(": ") + fromBytes(m51::DiagnosticText(d));
}

QWidget* withHeading(const QString& title, QWidget* list, const QColor& colour, QLabel** heading)
{
    auto* box = new QWidget(list->parentWidget());
    box->setObjectName(list->objectName() + QStringLiteral("Box"));
    auto* label = new QLabel(title, box);
    label->setObjectName(list->objectName() + QStringLiteral("Heading"));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 1, 4, 1);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour.darker(150));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    if (heading)
        *heading = label;
    return box;
}
