#include "debugger/window/SimulatorWindow.h"

#include "board/view/BoardPane.h"
#include "debugger/window/BoardSession.h"
#include "debugger/window/DebugViews.h"
#include "debugger/window/SerialConsole.h"
#include "debugger/window/SteadyLabel.h"
#include "debugger/window/WatchPane.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace m51dbg {

namespace {

QString Hex(unsigned value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

// Registers of the timer and interrupt group: name, SFR address.
const std::pair<const char*, unsigned> TimerRegisters[] = {
    {"TMOD", 0x89}, {"TCON", 0x88}, {"TH0", 0x8C}, {"TL0", 0x8A}, {"TH1", 0x8D},
    {"TL1", 0x8B},  {"IE", 0xA8},   {"IP", 0xB8},  {"SCON", 0x98}, {"SBUF", 0x99},
};
const char* const FlagNames[] = {"CY", "AC", "F0", "RS1", "RS0", "OV", "P"};  // PSW bits 7..1, 0

QString CauseText(DebugEngine::StopCause cause)
{
    switch (cause) {
    case DebugEngine::StopCause::Started: return QObject::tr("Ready at reset");
    case DebugEngine::StopCause::Breakpoint: return QObject::tr("Stopped at a breakpoint");
    case DebugEngine::StopCause::StepDone: return QObject::tr("Step done");
    case DebugEngine::StopCause::UserStop: return QObject::tr("Stopped");
    case DebugEngine::StopCause::StepLimit: return QObject::tr("Instruction limit reached");
    case DebugEngine::StopCause::Reset: return QObject::tr("Reset");
    case DebugEngine::StopCause::Changed: return QObject::tr("Paused");
    }
    return {};
}

} // namespace

SimulatorWindow::SimulatorWindow(DebugEngine* engine, QWidget* parent, BoardSession* board, WatchList* watches)
    : QWidget(parent), m_engine(engine)
{
    setWindowTitle(tr("Simulator"));
    setObjectName("SimulatorWindow");
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto valueLabel = [&](const QString& name) {
        auto* label = new QLabel("--");
        label->setFont(mono);
        label->setObjectName("register_" + name);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A fixed size: a new value then repaints the label alone instead of
        // laying the whole window out again at every step.
        const QFontMetrics metrics(mono);
        const bool word = name == QLatin1String("DPTR") || name == QLatin1String("PC");
        label->setFixedSize(metrics.horizontalAdvance(word ? QStringLiteral("0000") : QStringLiteral("00")) + 6,
                            metrics.height() + 4);
        m_registers[name] = label;
        return label;
    };

    // Controls.
    // Two rows of three, so that the window fits a narrow dock.
    auto* controls = new QGridLayout;
    const char* const actionNames[] = {"Run", "Stop", "Step line", "Step into", "Step out", "Reset"};
    for (int i = 0; i < 6; ++i) {
        auto* button = new QPushButton(tr(actionNames[i]));
        button->setObjectName(QString(actionNames[i]).remove(' ').toLower());
        controls->addWidget(button, i / 3, i % 3);
        m_actions[i] = button;
    }
    controls->setColumnStretch(3, 1);
    // Speed: the chip's real pace (a blinking LED blinks at its rate) or all the host can do.
    auto* speed = new QComboBox;
    speed->setObjectName("speed");
    speed->addItem(tr("As fast as possible"));
    speed->addItem(tr("Real time at the crystal"));
    speed->setCurrentIndex(m_engine->options().realTime ? 1 : 0);
    speed->setToolTip(tr("Real time runs the built-in simulator at the crystal's pace"));
    // Its longest choice reads whole however narrow the dock.
    speed->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // A fixed policy keeps it at its hint, which follows the font the window
    // gives it later.
    speed->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(speed, &QComboBox::currentIndexChanged, m_engine, [this](int index) { m_engine->setRealTime(index == 1); });
    controls->addWidget(new QLabel(tr("Speed")), 0, 4);
    controls->addWidget(speed, 1, 4);
    // Animate's pause after each line, kept with the speed in the engine's options.
    auto* pause = new QSpinBox;
    pause->setObjectName("animatePause");
    pause->setRange(0, 10000);
    pause->setSingleStep(50);
    pause->setSuffix(tr(" ms"));
    pause->setValue(int(m_engine->options().animatePauseMs));
    pause->setToolTip(tr("Run ▸ Animate steps line by line with this pause"));
    connect(pause, &QSpinBox::valueChanged, m_engine, [this](int ms) {
        EngineOptions options = m_engine->options();
        options.animatePauseMs = unsigned(ms);
        m_engine->setOptions(options);
    });
    controls->addWidget(new QLabel(tr("Animate pause")), 0, 5);
    controls->addWidget(pause, 1, 5);
    for (int i = 0; i < 6; ++i)
        connect(m_actions[i], &QAbstractButton::clicked, this, [this, i] { command(Command(i)); });

    // Registers and PSW flags.
    auto* registers = new QGroupBox(tr("Registers"));
    // Six short rows, so that registers and flags show whole in the low dock
    // strip of separate windows: A B PSW, SP DPTR PC, the flags, the bank,
    // R0-R3 and R4-R7.
    auto* grid = new QGridLayout(registers);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(4);
    int row = 0;
    int column = 0;
    for (const char* name : {"A", "B", "PSW", "SP", "DPTR", "PC"}) {
        grid->addWidget(new QLabel(name), row, column);
        grid->addWidget(valueLabel(name), row, column + 1);
        column += 2;
        if (column == 6) {
            column = 0;
            ++row;
        }
    }
    auto* flags = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        m_flags[i] = new QLabel(FlagNames[i]);
        m_flags[i]->setObjectName(QStringLiteral("flag_") + FlagNames[i]);
        m_flags[i]->setAlignment(Qt::AlignCenter);
        m_flags[i]->setMinimumWidth(28);
        flags->addWidget(m_flags[i]);
    }
    grid->addLayout(flags, row++, 0, 1, 8);
    m_bank = new QLabel;
    grid->addWidget(m_bank, row++, 0, 1, 8);
    for (int r = 0; r < 8; ++r) {
        const QString name = QStringLiteral("R%1").arg(r);
        grid->addWidget(new QLabel(name), row + r / 4, 2 * (r % 4));
        grid->addWidget(valueLabel(name), row + r / 4, 2 * (r % 4) + 1);
    }
    grid->setRowStretch(row + 2, 1);  // the rows keep their height when the group is taller

    // Ports: one button per pin; a click drives the pin from outside.
    auto* ports = new QGroupBox(tr("Ports (click a pin to drive it)"));
    auto* portGrid = new QGridLayout(ports);
    portGrid->setHorizontalSpacing(2);
    for (unsigned port = 0; port < 4; ++port) {
        portGrid->addWidget(new QLabel(QStringLiteral("P%1").arg(port)), port, 0);
        portGrid->addWidget(valueLabel(QStringLiteral("P%1").arg(port)), port, 9);
        for (unsigned bit = 0; bit < 8; ++bit) {
            auto* pin = new QToolButton;
            pin->setObjectName(QStringLiteral("pin_P%1_%2").arg(port).arg(bit));
            pin->setToolTip(QStringLiteral("P%1.%2").arg(port).arg(bit));
            pin->setAutoRaise(false);
            pin->setFixedWidth(24);
            connect(pin, &QToolButton::clicked, this, [this, port, bit] {
                const bool high = m_engine->pins(port) & (1u << bit);
                m_engine->setPin(port, bit, !high);
            });
            portGrid->addWidget(pin, port, 8 - bit);
            m_pins[port][bit] = pin;
        }
    }

    // Timers and interrupts.
    auto* timers = new QGroupBox(tr("Timers, interrupts, serial port"));
    auto* timerGrid = new QGridLayout(timers);
    int i = 0;
    for (const auto& [name, address] : TimerRegisters) {
        timerGrid->addWidget(new QLabel(name), i / 2, (i % 2) * 2);
        timerGrid->addWidget(valueLabel(name), i / 2, (i % 2) * 2 + 1);
        ++i;
    }

    // Cycles and time.
    auto* timing = new QGroupBox(tr("Time"));
    auto* timeGrid = new QGridLayout(timing);
    m_crystal = new QDoubleSpinBox;
    m_crystal->setObjectName("crystal");
    m_crystal->setRange(0.001, 100.0);
    m_crystal->setDecimals(4);
    m_crystal->setSuffix(" MHz");
    m_crystal->setValue(m_engine->options().crystalHz / 1e6);
    connect(m_crystal, &QDoubleSpinBox::valueChanged, this, &SimulatorWindow::updateTime);
    m_cycles = new QLabel("0");
    m_cycles->setObjectName("cycles");
    m_time = new QLabel("0");
    m_time->setObjectName("time");
    timeGrid->addWidget(new QLabel(tr("Crystal")), 0, 0);
    timeGrid->addWidget(m_crystal, 0, 1);
    timeGrid->addWidget(new QLabel(tr("Machine cycles")), 1, 0);
    timeGrid->addWidget(m_cycles, 1, 1);
    timeGrid->addWidget(new QLabel(tr("Time")), 2, 0);
    timeGrid->addWidget(m_time, 2, 1);
    // A stopwatch between two points of the program: reset it, run or step, read it.
    m_stopwatch = new QLabel("0");
    m_stopwatch->setObjectName("stopwatch");
    // The counters keep their width as they grow: a wider number would lay the
    // whole window out and paint it again at that step.
    const QFontMetrics counterMetrics(m_cycles->font());
    // (A fixed size: a label of fixed size does not ask for a new layout.)
    m_cycles->setFixedSize(counterMetrics.horizontalAdvance(QStringLiteral("0000000000000")), m_cycles->sizeHint().height());
    m_time->setFixedSize(counterMetrics.horizontalAdvance(QStringLiteral("00000.000000 s")), m_time->sizeHint().height());
    m_stopwatch->setFixedSize(counterMetrics.horizontalAdvance(QStringLiteral("00000000000 cycles, 000000.0000 ms")),
                              m_stopwatch->sizeHint().height());
    auto* resetStopwatch = new QPushButton(tr("Reset"));
    resetStopwatch->setObjectName("resetStopwatch");
    resetStopwatch->setToolTip(tr("Start the stopwatch again from this moment"));
    connect(resetStopwatch, &QAbstractButton::clicked, this, [this] {
        m_stopwatchBase = m_engine->machine().ticks;
        updateTime();
    });
    timeGrid->addWidget(new QLabel(tr("Stopwatch")), 3, 0);
    timeGrid->addWidget(m_stopwatch, 3, 1);
    timeGrid->addWidget(resetStopwatch, 3, 2);

    // Internal RAM.
    m_iram = new QTableWidget(16, 16);
    m_iram->setObjectName("iram");
    m_iram->setFont(mono);
    QStringList columns, rows;
    for (int c = 0; c < 16; ++c) {
        columns << Hex(c, 1);
        rows << Hex(c * 16, 2);
    }
    m_iram->setHorizontalHeaderLabels(columns);
    m_iram->setVerticalHeaderLabels(rows);
    // Every cell holds two hex digits: sized once, not measured again at every step.
    const QFontMetrics digits(mono);
    m_iram->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_iram->horizontalHeader()->setDefaultSectionSize(digits.horizontalAdvance(QStringLiteral("FFW")) + 6);
    m_iram->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_iram->verticalHeader()->setDefaultSectionSize(digits.height() + 6);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            m_iram->setItem(r, c, new QTableWidgetItem("--"));
    connect(m_iram, &QTableWidget::cellChanged, this, &SimulatorWindow::onIramEdited);
    auto* iramBox = new QGroupBox(tr("Internal RAM 00-FFH (changed by the last step: highlighted; double-click to edit)"));
    (new QVBoxLayout(iramBox))->addWidget(m_iram);
    m_ownPanes.push_back({QStringLiteral("iram"), tr("Internal RAM"), iramBox});

    // Serial line.
    auto* serial = new SerialConsole(m_engine);
    connect(serial, &SerialConsole::message, this, [this](const QString& text) { m_status->setText(text); });
    m_ownPanes.push_back({QStringLiteral("serial"), tr("Serial port"), serial});

    m_status = new QLabel;
    m_status->setObjectName("status");
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Its text changes at every stop: it must not lay the window out again.
    auto* statusLine = new SteadyLabel(m_status, 2);
    m_replay = new QLabel(tr("Stepping back: the serial line and the board's outside world are not rewound"));
    m_replay->setObjectName("replay");
    m_replay->setWordWrap(true);
    m_replay->setStyleSheet("background:#fff3c4; color:#5a4500; padding:3px; border-radius:3px");
    // It wraps to the dock's width and keeps room for its lines.
    m_replay->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    m_replay->setMinimumHeight(3 * m_replay->fontMetrics().lineSpacing() + 6);
    m_replay->hide();

    // The machine's groups in two columns, so that they show whole in a dock
    // of a screen's height: registers beside ports and timers, time below.
    auto* left = new QGridLayout;
    left->addWidget(registers, 0, 0, 2, 1);
    left->addWidget(ports, 0, 1);
    left->addWidget(timers, 1, 1);
    left->addWidget(timing, 2, 0, 1, 2);
    left->setRowStretch(3, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(iramBox, 3);
    right->addWidget(serial, 2);
    auto* columnsLayout = new QHBoxLayout;
    columnsLayout->addLayout(left);
    columnsLayout->addLayout(right, 1);
    // The virtual board and the watches: live while the program runs.
    if (board || watches) {
        auto* third = new QVBoxLayout;
        if (board) {
            auto* boardBox = new QGroupBox(tr("Board"));
            m_boardPane = new board::BoardPane(board->board(), boardBox);
            m_boardPane->setObjectName("boardPane");
            (new QVBoxLayout(boardBox))->addWidget(m_boardPane);
            connect(board, &BoardSession::boardChanged, m_boardPane, &board::BoardPane::setBoard);
            connect(m_engine, &DebugEngine::stateChanged, m_boardPane, [this](DebugEngine::State state) {
                m_boardPane->setLive(state == DebugEngine::State::Running);
            });
            connect(m_engine, &DebugEngine::stopped, m_boardPane, &board::BoardPane::refresh);
            third->addWidget(boardBox, 3);
            m_ownPanes.push_back({QStringLiteral("board"), tr("Board"), boardBox});
        }
        if (watches) {
            auto* watchBox = new QGroupBox(tr("Watch"));
            m_watchPane = new WatchPane(m_engine, watches, watchBox);
            m_watchPane->setObjectName("watchPane");
            (new QVBoxLayout(watchBox))->addWidget(m_watchPane);
            third->addWidget(watchBox, 2);
            m_ownPanes.push_back({QStringLiteral("watch"), tr("Watch"), watchBox});
        }
        columnsLayout->addLayout(third, 1);
    }
    m_paneTabs = new QTabWidget;
    m_paneTabs->setObjectName("paneTabs");
    m_paneTabs->hide();  // until the first pane comes
    auto* main = new QVBoxLayout(this);
    main->addLayout(controls);
    // The views above and the pane tabs below share the height; each keeps
    // at least what it needs, the divider between them can be dragged.
    auto* views = new QWidget;
    columnsLayout->setContentsMargins(0, 0, 0, 0);
    views->setLayout(columnsLayout);
    auto* split = new QSplitter(Qt::Vertical);
    split->setObjectName("paneSplitter");
    split->setChildrenCollapsible(false);
    split->addWidget(views);
    split->addWidget(m_paneTabs);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    main->addWidget(split, 1);
    main->addWidget(m_replay);
    main->addWidget(statusLine);
    // The values of fixed size stand in the middle of their rows, level with their names.
    for (const auto& [name, value] : m_registers)
        value->parentWidget()->layout()->setAlignment(value, Qt::AlignLeft | Qt::AlignVCenter);
    for (QLabel* counter : {m_cycles, m_time, m_stopwatch})
        counter->parentWidget()->layout()->setAlignment(counter, Qt::AlignLeft | Qt::AlignVCenter);

    connect(m_engine, &DebugEngine::stopped, this, &SimulatorWindow::onStopped);
    connect(m_engine, &DebugEngine::stateChanged, this, &SimulatorWindow::onStateChanged);
    // Live views: the registers, ports, RAM and time follow the running program.
    m_liveTimer.setInterval(40);
    connect(&m_liveTimer, &QTimer::timeout, this, [this] {
        m_engine->refreshLive();
        updateViews();
    });
    connect(m_engine, &DebugEngine::failed, this, [this](const QString& message) {
        m_status->setText(tr("Simulator error: %1").arg(message));
    });
    onStateChanged(m_engine->state());
    if (m_engine->state() == DebugEngine::State::Paused)
        updateViews();
    AddDebugViews(*this, m_engine);
    // As tall as the views want and the screen allows (not two thirds of it, as a new window would be).
    if (const QScreen* shown = screen())
        resize(sizeHint().boundedTo(shown->availableSize()).expandedTo(minimumSizeHint()));
}

void SimulatorWindow::addPane(const QString& id, const QString& title, QWidget* widget)
{
    widget->setObjectName(id);
    m_panes.push_back({id, title, widget});
    if (m_host) {
        m_host(m_panes.back());
        return;
    }
    m_paneTabs->addTab(widget, title);
    m_paneTabs->show();
}

void SimulatorWindow::setCommandHandler(std::function<void(Command)> handler)
{
    m_commands = std::move(handler);
}

void SimulatorWindow::command(Command which)
{
    if (which == Command::Stop)
        emit stopRequested();
    if (m_commands) {
        m_commands(which);
        return;
    }
    switch (which) {
    case Command::Run:
        m_engine->run();
        break;
    case Command::Stop:
        m_engine->stop();
        break;
    case Command::StepLine:
        m_engine->stepLine();
        break;
    case Command::StepInto:
        m_engine->stepInto();
        break;
    case Command::StepOut:
        m_engine->stepOut();
        break;
    case Command::Reset:
        m_engine->reset();
        break;
    }
}

void SimulatorWindow::setAnimating(bool on)
{
    m_animating = on;
    onStateChanged(m_engine->state());
}

void SimulatorWindow::setPaneHost(PaneHost host)
{
    m_host = std::move(host);
    if (!m_host)
        return;
    // A pane's box needs no caption of its own where the host gives it one;
    // the internal RAM's says how to read and edit it.
    for (const Pane& pane : m_ownPanes) {
        auto* box = qobject_cast<QGroupBox*>(pane.widget);
        if (box && pane.id == QLatin1String("iram")) {
            // The hint wraps in a narrow dock, where a long caption could not.
            auto* hint = new QLabel(tr("00-FFH; changed by the last step: highlighted; double-click to edit"));
            hint->setWordWrap(true);
            static_cast<QVBoxLayout*>(box->layout())->insertWidget(0, hint);
        }
        if (box)
            box->setTitle({});
        m_host(pane);
    }
    for (const Pane& pane : m_panes)
        m_host(pane);
    m_paneTabs->hide();
}

double SimulatorWindow::crystalMHz() const { return m_crystal->value(); }
void SimulatorWindow::setCrystalMHz(double mhz) { m_crystal->setValue(mhz); }

QString SimulatorWindow::registerText(const QString& name) const
{
    const auto it = m_registers.find(name);
    return it == m_registers.end() ? QString() : it->second->text();
}

bool SimulatorWindow::isIramByteHighlighted(unsigned address) const
{
    const QTableWidgetItem* item = m_iram->item(int(address / 16), int(address % 16));
    return item && item->background().style() != Qt::NoBrush;
}

void SimulatorWindow::onStateChanged(DebugEngine::State state)
{
    const bool paused = state == DebugEngine::State::Paused;
    const bool running = state == DebugEngine::State::Running;
    for (int i : {0, 2, 3, 4})
        m_actions[i]->setEnabled(paused && !m_animating);
    m_actions[1]->setEnabled(running || m_animating);
    m_actions[5]->setEnabled(paused || running);
    m_iram->setEditTriggers(paused ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                   : QAbstractItemView::NoEditTriggers);
    if (running)
        m_status->setText(tr("Running …"));
    if (running)
        m_liveTimer.start();
    else
        m_liveTimer.stop();
}

void SimulatorWindow::onStopped(DebugEngine::StopCause cause)
{
    QString text = CauseText(cause);
    if (const auto line = m_engine->currentSourceLine())
        text += tr(" at M51 line %1").arg(*line + 1);
    else if (const auto asmLine = m_engine->currentAsmLine())
        text += tr(" at assembly line %1").arg(*asmLine + 1);
    m_status->setText(text);
    // Bytes changed by a step stay marked until the next step; an edit or a
    // pin change in between keeps the marks.
    if (cause != DebugEngine::StopCause::Changed) {
        m_previousIram = m_lastStopIram;
        m_lastStopIram = m_engine->machine().iram;
        m_havePrevious = m_haveLastStop;
        m_haveLastStop = true;
    }
    updateViews();
}

void SimulatorWindow::updateViews()
{
    const MachineState& m = m_engine->machine();
    m_replay->setVisible(m_engine->isReplaying());
    m_updating = true;
    auto set = [this](const QString& name, const QString& text) { m_registers[name]->setText(text); };
    set("A", Hex(m.a(), 2));
    set("B", Hex(m.b(), 2));
    set("PSW", Hex(m.psw(), 2));
    set("SP", Hex(m.sp(), 2));
    set("DPTR", Hex(m.dptr(), 4));
    set("PC", Hex(m.pc, 4));
    for (unsigned r = 0; r < 8; ++r)
        set(QStringLiteral("R%1").arg(r), Hex(m.r(r), 2));
    m_bank->setText(tr("Register bank %1 (%2H-%3H)").arg(m.bank()).arg(Hex(m.bank() * 8, 2)).arg(Hex(m.bank() * 8 + 7, 2)));
    for (int i = 0; i < 7; ++i) {
        const int bit = i == 6 ? 0 : 7 - i;
        const bool on = m.psw() & (1u << bit);
        // Style sheets only where the look changes: applying one re-polishes the widget.
        if (std::exchange(m_flagLooks[size_t(i)], on ? 1 : 2) == (on ? 1 : 2))
            continue;
        m_flags[i]->setStyleSheet(on ? "background:#2a7; color:white; border-radius:3px" : "color:#888");
        m_flags[i]->setToolTip(QStringLiteral("%1 = %2").arg(FlagNames[i]).arg(on));
    }
    for (unsigned port = 0; port < 4; ++port) {
        const uint8_t latch = m.sfrAt(0x80 + 0x10 * port), pins = m_engine->pins(port);
        set(QStringLiteral("P%1").arg(port), Hex(latch & pins, 2));
        for (unsigned bit = 0; bit < 8; ++bit) {
            QToolButton* pin = m_pins[port][bit];
            const bool level = (latch & pins) & (1u << bit);
            const bool driven = !(pins & (1u << bit));
            const uint8_t look = driven ? 3 : level ? 1 : 2;
            if (std::exchange(m_pinLooks[port][bit], look) == look)
                continue;
            pin->setText(level ? "1" : "0");
            pin->setStyleSheet(driven ? "background:#c44; color:white" : level ? "" : "background:#fc8");
            pin->setToolTip(QStringLiteral("P%1.%2: %3%4").arg(port).arg(bit).arg(level ? "high" : "low",
                                                                             driven ? ", pulled low from outside" : ""));
        }
    }
    for (const auto& [name, address] : TimerRegisters)
        set(name, Hex(m.sfrAt(address), 2));
    for (unsigned address = 0; address < 256; ++address) {
        QTableWidgetItem* item = m_iram->item(int(address / 16), int(address % 16));
        item->setText(Hex(m.iram[address], 2));
        const bool changed = m_havePrevious && m_previousIram[address] != m.iram[address];
        item->setBackground(changed ? QBrush(QColor(255, 220, 120)) : QBrush());
    }
    updateTime();
    m_updating = false;
}

void SimulatorWindow::updateTime()
{
    const uint64_t ticks = m_engine->machine().ticks;
    m_cycles->setText(QString::number(ticks / 12));
    auto timeText = [this](uint64_t t) {
        const double seconds = static_cast<double>(t) / (m_crystal->value() * 1e6);
        return seconds < 1e-3 ? tr("%1 µs").arg(seconds * 1e6, 0, 'f', 2)
               : seconds < 1  ? tr("%1 ms").arg(seconds * 1e3, 0, 'f', 3)
                              : tr("%1 s").arg(seconds, 0, 'f', 4);
    };
    m_time->setText(timeText(ticks));
    if (ticks < m_stopwatchBase)  // a reset or a new session: the stopwatch starts there
        m_stopwatchBase = 0;
    const uint64_t lap = ticks - m_stopwatchBase;
    m_stopwatch->setText(tr("%1 cycles, %2").arg(lap / 12).arg(timeText(lap)));
}

void SimulatorWindow::onIramEdited(int row, int column)
{
    if (m_updating)
        return;
    QTableWidgetItem* item = m_iram->item(row, column);
    bool ok = false;
    const unsigned value = item->text().trimmed().remove(QChar('H'), Qt::CaseInsensitive).toUInt(&ok, 16);
    const unsigned address = unsigned(row * 16 + column);
    if (!ok || value > 0xFF) {
        m_updating = true;
        item->setText(Hex(m_engine->machine().iram[address], 2));
        m_updating = false;
        m_status->setText(tr("Not a byte in hexadecimal: %1").arg(item->text()));
        return;
    }
    m_engine->write(DebugEngine::Memory::Iram, address, static_cast<uint8_t>(value));
}

} // namespace m51dbg
