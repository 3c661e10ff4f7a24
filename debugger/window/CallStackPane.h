#pragma once
// The Call stack pane: the procedures the program is in, innermost first,
// each with its line (the PC's, or the call it waits in, or the instruction
// an interrupt came before) and how it was entered. A double click asks to
// show the frame's line. A C program's frames show the function with its
// arguments and the C file's line; choosing one shows its locals.

#include "debugger/window/CallFrames.h"

#include <QWidget>

class QTableWidget;

namespace m51dbg {

class StackModel;

class CallStackPane : public QWidget {
    Q_OBJECT
public:
    explicit CallStackPane(StackModel* model, QWidget* parent = nullptr);

signals:
    // The frame's M51 (or assembly source) line and its .asm line, 0-based, -1 none.
    void lineActivated(int sourceLine, int asmLine);
    // A C program's frame double-clicked: its file and line (0-based).
    void placeActivated(const QString& file, int line);
    // A frame was chosen: where its locals are read, and its name and line.
    void frameChosen(const toolchain::StopPlace& place, const QString& caption);

private:
    void refresh();
    void choose(int row);

    StackModel* m_model;
    QTableWidget* m_table = nullptr;
    std::vector<CFrame> m_cFrames;  // a C program's frames, as the rows
    QStringList m_captions;
    SourceTexts m_texts;
};

} // namespace m51dbg
