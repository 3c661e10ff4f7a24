#pragma once
// The assembly viewer `Aed`, caption "ASM": the compiler's output. Every
// compile of the session replaces its text and shows it; the .asm file is
// written from the compile result, not from this text.

#include "ide/CodeEditor.h"

#include <QWidget>
#include <string>
#include <vector>

class Session;
class TPlacement;

class TAed : public QWidget {
    Q_OBJECT
public:
    // With a session, the window follows its compiles.
    explicit TAed(Session* session = nullptr, QWidget* parent = nullptr);

    TPlacement* PL; // window placement, section "Asemb"

    CodeEditor* M;

    std::vector<std::string> lines() const;
    void setLines(const std::vector<std::string>& lines);

    // What the debugger shows in the text, as calls from its wiring: the
    // line the program stopped on (marked and brought into view; -1 clears
    // the mark), a line brought into view, the coverage marks.
    void showExecutionLine(int line);
    bool showLine(int line);
    // Shows the window with `line` in view and the focus in the text; false
    // (nothing shown) when the text has no such line.
    bool presentLine(int line);
    void setCoverage(const QList<CodeEditor::CoverageLine>& lines, bool marks, bool heat);
    void clearCoverage();
    // The assembly of the program being debugged.
    void setText(const QString& text);

    // Window placement, section "Asemb".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();
};
