#include "ide/asembu.h"

#include "ide/CodeEditor.h"
#include "ide/SyntaxLexer.h"
#include "ide/Placement.h"
#include "ide/Session.h"
#include "ide/TextPane.h"
#include "ide/editoru.h"

#include <QVBoxLayout>

TAed::TAed(Session* session, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Aed"));
    setWindowTitle(QStringLiteral("ASM"));
    resize(414, 403);
    placeByDefault(this, TEd::firstLeftOfViewers(), TEd::FirstTop);
    M = new CodeEditor(this);
    M->setObjectName(QStringLiteral("M"));
    styleTextPane(M, new Asm51Lexer(QColor(194, 211, 194), QColor(0, 0, 0), courierFont(11, true), M),
                  QColor(194, 211, 194), QColor(0, 0, 0), courierFont(11, true));
    // The viewers' own look: light gutter, a pale caret line.
    M->setColours(viewerColours());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(M);
    PL = new TPlacement(this, QStringLiteral("Asemb"), session ? &session->profile() : nullptr);
    restorePlacement();
    if (session) {
        connect(session, &Session::compiled, this, [this, session] {
            setLines(session->lastResult().Output);
            show();
            raise();
        });
    }
}

std::vector<std::string> TAed::lines() const
{
    return paneLines(M);
}

void TAed::setLines(const std::vector<std::string>& lines)
{
    setPaneLines(M, lines);
}

void TAed::restorePlacement()
{
    restoreWindowPlacement(PL);
}

void TAed::savePlacement()
{
    saveWindowPlacement(PL);
}

void TAed::FormDestroy()
{
    savePlacement();
}

void TAed::showExecutionLine(int line)
{
    M->showExecutionLine(line);
}

bool TAed::showLine(int line)
{
    return M->goToLine(line);
}

bool TAed::presentLine(int line)
{
    return M->presentLine(line, this);
}

void TAed::setCoverage(const QList<CodeEditor::CoverageLine>& lines, bool marks, bool heat)
{
    M->setCoverage(lines, marks, heat);
}

void TAed::clearCoverage()
{
    M->clearCoverage();
}

void TAed::setText(const QString& text)
{
    M->setPlainText(text);
}
