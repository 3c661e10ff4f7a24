#pragma once
// The Call stack pane: the procedures the program is in, innermost first,
// each with its line (the PC's, or the call it waits in, or the instruction
// an interrupt came before) and how it was entered. A double click asks to
// show the frame's line.

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

private:
    void refresh();

    StackModel* m_model;
    QTableWidget* m_table = nullptr;
};

} // namespace m51dbg
