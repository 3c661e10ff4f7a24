#pragma once
// The Locals pane: the parameters and locals of the function at the stop, or
// of the frame chosen in the call stack, as C values (structures and arrays
// open, values editable while paused). Also the view of C values the Watch
// pane shows for a C program.

#include "debugger/window/CValueModel.h"

#include <QWidget>

class QLabel;
class QTreeView;

namespace m51dbg {

// A tree of C values with a line for what it shows and why an edit was refused.
class CValueView : public QWidget {
    Q_OBJECT
public:
    CValueView(CValueModel* model, QWidget* parent = nullptr);
    CValueModel* model() const { return m_model; }
    QTreeView* tree() const { return m_tree; }
    void setCaption(const QString& text);

private:
    CValueModel* m_model;
    QTreeView* m_tree;
    QLabel* m_caption;
    QWidget* m_captionLine;  // the caption's holder
    QLabel* m_message;
};

class LocalsPane : public CValueView {
    Q_OBJECT
public:
    explicit LocalsPane(DebugEngine* engine, QWidget* parent = nullptr);
    // The frame whose locals are shown: its place and its caption ("stats_add, stats.c:12").
    void showFrame(const toolchain::StopPlace& place, const QString& caption);
    QSize sizeHint() const override { return {360, 200}; }

private:
    void captionAtStop();
    DebugEngine* m_engine;
};

} // namespace m51dbg
