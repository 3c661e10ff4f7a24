#include "terminal/ui/ReceivePanel.h"

#include "terminal/CompactTextView.h"
#include "terminal/ui/ReceiveFindBar.h"
#include "terminal/core/ReceivePipeline.h"
#include "terminal/ui/UiText.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>

static_assert(TReceivePipeline::RefreshPeriodMs == TCompactTextView::RefreshPeriod);

TReceivePanel::TReceivePanel(TTerminalSettings& settings, TReceivePipeline* pipeline, QWidget* parent)
    : QGroupBox(QStringLiteral("Receive"), parent), m_settings(settings), m_pipeline(pipeline)
{
    setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 4);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    // The counter of one byte value and the box commands, above RxMemo.
    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    ChCount0 = new QSpinBox(this);
    ChCount0->setObjectName(QStringLiteral("ChCount0"));
    ChCount0->setRange(0, 255);
    ChCount0->setValue(13);
    ChCount0->setToolTip(hint("ASCII code of the char which\r\nwill be counted;\r\nfor example 13 - <CR>"));
    Label5 = new QLabel(QStringLiteral("Counter ="), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    LabCount0 = new QLabel(QStringLiteral("0"), this);
    LabCount0->setObjectName(QStringLiteral("LabCount0"));
    LabCount0->setMinimumWidth(60);
    auto button = [this](const char* name, const char* caption, const QString& tip) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        return b;
    };
    Button2 = button("Button2", "Reset Counter", hint("Reset ASCII char counter"));
    ClrInMemo = button("ClrInMemo", "CLEAR", hint("Clear Receive box"));
    LogBtn = button("LogBtn", "Log to file...",
                    QStringLiteral("Write everything received to a file:\nthe raw bytes, or the text as shown"));
    header->addWidget(ChCount0);
    header->addWidget(Label5);
    header->addWidget(LabCount0);
    header->addWidget(Button2);
    header->addStretch(1);
    header->addWidget(LogBtn);
    header->addWidget(ClrInMemo);
    grid->addLayout(header, 0, 0);

    RxMemo = new TCompactTextView(this);
    RxMemo->setObjectName(QStringLiteral("RxMemo"));
    // One scroll bar, right of the value columns, moves the receive box and
    // the columns together (RxMemo's own bar works hidden behind it).
    RxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RxScrollBar = new QScrollBar(Qt::Vertical, this);
    RxScrollBar->setObjectName(QStringLiteral("RxScrollBar"));
    QScrollBar* own = RxMemo->verticalScrollBar();
    RxScrollBar->setRange(own->minimum(), own->maximum());
    connect(own, &QScrollBar::rangeChanged, this, [this, own](int min, int max) {
        RxScrollBar->setPageStep(own->pageStep());
        RxScrollBar->setRange(min, max);
    });
    connect(own, &QScrollBar::valueChanged, this, [this](int value) {
        RxScrollBar->setValue(value);
        syncColumns();
    });
    connect(RxScrollBar, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    RxMemo->setFont(systemFixedFont());
    TReceiveLog& log = pipeline->log();
    RxMemo->setSource(&log.Text);
    auto makeColumn = [&](TCompactTextView*& memo, QCheckBox*& box, const char* name, const char* boxName,
                          const char* caption, const char* tip, const TLineSource* source, int width, int col) {
        memo = new TCompactTextView(this);
        memo->setObjectName(QString::fromLatin1(name));
        memo->setToolTip(hint(tip));
        memo->setFont(courier(8));
        memo->setFixedWidth(width);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setScrollPartner(RxScrollBar);
        memo->setSource(source);
        box = new QCheckBox(QString::fromLatin1(caption), this);
        box->setObjectName(QString::fromLatin1(boxName));
        grid->addWidget(box, 0, col, Qt::AlignBottom);
        grid->addWidget(memo, 1, col);
        connect(box, &QCheckBox::toggled, this, &TReceivePanel::read);
    };
    grid->addWidget(RxMemo, 1, 0);
    makeColumn(Memo1, CBoxDec, "Memo1", "CBoxDec", "Dec", "DEC value", &log.Dec, 56, 1);
    makeColumn(Memo2, CBoxHex, "Memo2", "CBoxHex", "Hex", "HEX value", &log.Hex, 57, 2);
    makeColumn(Memo3, CBoxBin, "Memo3", "CBoxBin", "Bin", "BIN value", &log.Bin, 82, 3);
    grid->addWidget(RxScrollBar, 1, 4);
    FindBar = new TFindBar(this);
    FindBar->setObjectName(QStringLiteral("FindBar"));
    FindBar->hide();
    grid->addWidget(FindBar, 2, 0, 1, 5);
    FindAction = new QAction(QStringLiteral("&Find..."), this);
    FindAction->setObjectName(QStringLiteral("FindAction"));
    FindAction->setShortcut(QKeySequence::Find);  // shown in the menu; the shortcut below works
    FindAction->setShortcutContext(Qt::WidgetShortcut);
    connect(FindAction, &QAction::triggered, FindBar, &TFindBar::open);
    RxMemo->addMenuAction(FindAction);
    // Ctrl+F in the receive area only: typed in the transmit box it is a byte.
    auto* findKey = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(findKey, &QShortcut::activated, FindBar, &TFindBar::open);
    connect(FindBar, &TFindBar::findRequested, this, &TReceivePanel::find);
    connect(FindBar, &TFindBar::closed, RxMemo, [this] { RxMemo->setFocus(); });
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);

    connect(ClrInMemo, &QPushButton::clicked, this, &TReceivePanel::clear);
    connect(LogBtn, &QPushButton::clicked, this, &TReceivePanel::logClicked);
    connect(Button2, &QPushButton::clicked, this, [this] {
        m_pipeline->resetCounter();
        LabCount0->setText(QStringLiteral("0"));
    });
    connect(ChCount0, &QSpinBox::valueChanged, this, &TReceivePanel::read);
    connect(ChCount0->findChild<QLineEdit*>(), &QLineEdit::textChanged, this, &TReceivePanel::read);
}

void TReceivePanel::read()
{
    if (m_showing)
        return;
    m_settings.Dec = CBoxDec->isChecked();
    m_settings.Hex = CBoxHex->isChecked();
    m_settings.Bin = CBoxBin->isChecked();
    // Text in the spin box that is no number (cleared while typing) counts
    // as its lower limit 0, not as the last value it held.
    m_settings.CountChar = ChCount0->hasAcceptableInput() ? ChCount0->value() : ChCount0->minimum();
    emit edited();
}

void TReceivePanel::showSettings()
{
    m_showing = true;
    CBoxDec->setChecked(m_settings.Dec);
    CBoxHex->setChecked(m_settings.Hex);
    CBoxBin->setChecked(m_settings.Bin);
    m_showing = false;
    read();
}

void TReceivePanel::refresh()
{
    const QString count = QString::number(m_pipeline->log().CharCount);
    if (LabCount0->text() != count)
        LabCount0->setText(count);
    RxMemo->refreshNow();
    TCompactTextView* columns[3] = {Memo1, Memo2, Memo3};
    for (int i = 0; i < 3; ++i)
        if (m_pipeline->takeColumnChanged(i))
            columns[i]->refreshNow();
    syncColumns();
}

void TReceivePanel::syncColumns()
{
    // At the end the columns show their newest values; scrolled back, each
    // shows the values of the first line in view.
    const TReceiveLog& log = m_pipeline->log();
    const bool atEnd = RxMemo->atEnd();
    const qint64 stream = log.Text.streamStart(RxMemo->firstVisibleLine());
    const TValueColumn* sources[3] = {&log.Dec, &log.Hex, &log.Bin};
    TCompactTextView* columns[3] = {Memo1, Memo2, Memo3};
    for (int i = 0; i < 3; ++i) {
        if (atEnd)
            columns[i]->scrollToEnd();
        else
            columns[i]->setFirstVisibleLine(sources[i]->lineAtStream(stream));
    }
}

void TReceivePanel::clear()
{
    m_pipeline->clear();
    for (TCompactTextView* view : {RxMemo, Memo1, Memo2, Memo3}) {
        view->clearSelection();
        view->refreshNow();
    }
    syncColumns();
}

void TReceivePanel::setLogActive(bool on)
{
    LogBtn->setText(on ? QStringLiteral("Stop log") : QStringLiteral("Log to file..."));
}

void TReceivePanel::find(const TFindQuery& query)
{
    TCompactTextView::Position from{RxMemo->firstVisibleLine(), 0};
    if (RxMemo->hasSelection()) {
        from = RxMemo->selectionStart();
        if (query.Forward)
            ++from.Column;  // past the hit that is selected now
    }
    const auto hit = FindInLines(m_pipeline->log().Text, query, from.Line, from.Column);
    FindBar->showResult(hit);
    if (!hit)
        return;
    const TCompactTextView::Position start{hit->Line, hit->Column};
    RxMemo->setSelection(start, {hit->Line, hit->Column + query.Text.size()});
    RxMemo->showPosition(start);
}
