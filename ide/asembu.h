#pragma once
// The assembly viewer `Aed`, caption "ASM": the compiler's output. Every
// "Check" and "Debug" overwrites its text and saves its lines as the .asm file.

#include <QWidget>
#include <string>
#include <vector>

class QPlainTextEdit;
class TPlacement;

class TAed : public QWidget {
    Q_OBJECT
public:
    explicit TAed(QWidget* parent = nullptr);

    TPlacement* PL; // window placement, section "Asemb"

    QPlainTextEdit* M;

    std::vector<std::string> lines() const;
    void setLines(const std::vector<std::string>& lines);

    // Window placement, section "Asemb".
    void restorePlacement();
    void savePlacement();
    void FormDestroy();
};
