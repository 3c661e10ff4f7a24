#pragma once
// TReceivePanel: the "Receive" group - the text box and the Dec, Hex and Bin
// columns drawn from the pipeline's store, one scroll bar for all four, the
// counter of one byte value, CLEAR, Log to file and Find. It shows what the
// pipeline holds, and edits the receive options of the settings value.

#include "terminal/core/ReceiveFind.h"
#include "terminal/core/TerminalSettings.h"

#include <QGroupBox>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;
class TCompactTextView;
class TFindBar;
class TReceivePipeline;

class TReceivePanel : public QGroupBox {
    Q_OBJECT
public:
    TReceivePanel(TTerminalSettings& settings, TReceivePipeline* pipeline, QWidget* parent = nullptr);

    TCompactTextView *RxMemo, *Memo1, *Memo2, *Memo3;
    QScrollBar* RxScrollBar;  // moves RxMemo and the value columns together
    QCheckBox *CBoxDec, *CBoxHex, *CBoxBin;
    QSpinBox* ChCount0;
    QLabel *Label5, *LabCount0;
    QPushButton *ClrInMemo, *Button2, *LogBtn;
    // Find in the received text (Ctrl+F in the receive area, or the receive
    // box's context menu).
    QAction* FindAction;
    TFindBar* FindBar;

    void showSettings();
    // Redraws the boxes and the counter from the store.
    void refresh();
    void setLogActive(bool on);
    // Looks for the query from the selection (or the top line) through
    // everything kept, and selects and shows the hit.
    void find(const TFindQuery& query);

signals:
    void edited();
    void logClicked();

private:
    void read();
    void clear();
    void syncColumns();

    TTerminalSettings& m_settings;
    TReceivePipeline* m_pipeline;
    bool m_showing = false;
};
