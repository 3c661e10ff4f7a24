#include "ide/lstu.h"

#include "ide/BuildChain.h"
#include "ide/CodeEditor.h"
#include "common/Cp1250.h"
#include "ide/SyntaxLexer.h"
#include "ide/Placement.h"
#include "ide/Session.h"
#include "ide/TextFiles.h"
#include "ide/TextPane.h"
#include "ide/editoru.h"

#include <QVBoxLayout>

TLST::TLST(Session* session, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("LST"));
    setWindowTitle(QStringLiteral("LST"));
    resize(487, 300);
    placeByDefault(this, TEd::firstLeftOfViewers() + 414 + 16, TEd::FirstTop);
    M = new CodeEditor(this);
    M->setObjectName(QStringLiteral("M"));
    styleTextPane(M, new Asm51Lexer(QColor(194, 211, 194), QColor(0, 0, 0), courierFont(13, true), M),
                  QColor(194, 211, 194), QColor(0, 0, 0), courierFont(13, true));
    // The viewers' own look: light gutter, a pale caret line.
    M->setColours(viewerColours());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(M);
    PL = new TPlacement(this, QStringLiteral("LST"), session ? &session->profile() : nullptr);
    restorePlacement();
    if (session) {
        connect(session, &Session::listingReady, this, [this](const QString& path) {
            show();
            raise();
            if (const QString error = loadFile(path); !error.isEmpty())
                reportError(error);
        });
        // Every build of an M51 source assembles it in memory, however it was
        // started: its listing replaces the one of an earlier build.
        const auto showBuilt = [this, session] {
            const ProgramBuild& build = session->lastBuild();
            const std::pair<int, bool> key{build.compiles, build.assembled};
            if (build.assemblySource || !build.assembled || key == m_shownBuild)
                return;
            m_shownBuild = key;
            QString text = cp1250::decode(build.program.listing);
            text.remove(QLatin1Char('\r'));
            if (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
            setPaneText(M, text);
        };
        connect(session, &Session::compiled, this, showBuilt);
        connect(session, &Session::diagnosticsChanged, this, showBuilt);
    }
}

QString TLST::loadFile(const QString& path)
{
    const FileRead file = readFileBytes(path);
    if (!file.ok())
        return file.error;
    QString text = TBuildChain::ListingText(file.bytes);
    // A final line end adds no line.
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    setPaneText(M, text);
    return {};
}

void TLST::restorePlacement()
{
    restoreWindowPlacement(PL);
}

void TLST::savePlacement()
{
    saveWindowPlacement(PL);
}

void TLST::FormDestroy()
{
    savePlacement();
}
