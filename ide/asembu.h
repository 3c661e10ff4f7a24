#pragma once
// The assembly viewer `Aed`, caption "ASM": the compiler's output. Every
// compile of the session replaces its text and shows it; the .asm file is
// written from the compile result, not from this text.

#include <QWidget>
#include <string>
#include <vector>

class CodeEditor;
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

    // Window placement, section "Asemb".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();
};
