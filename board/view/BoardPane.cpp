#include "board/view/BoardPane.h"

#include "board/view/PartViews.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace board {

namespace {

QString Caption(const Part& part)
{
    static const char* const names[] = {"LED", "LED bar", "Button", "Switch", "7-segment", "Keypad", "LCD", "Logic"};
    QString caption = QString::fromUtf8(names[static_cast<int>(part.kind())]);
    if (!part.label.empty())
        caption += QStringLiteral(" \u2013 ") + QString::fromStdString(part.label);
    if (part.kind() != PartKind::Lcd && part.kind() != PartKind::SevenSeg && part.kind() != PartKind::Trace)
        caption += QStringLiteral(" (") + QString::fromStdString(FormatPins(part.pins())) + QStringLiteral(")");
    return caption;
}

int KeyCode(const std::string& name)
{
    if (name.empty())
        return 0;
    const QKeySequence sequence(QString::fromStdString(name));
    return sequence.isEmpty() ? 0 : sequence[0].key();
}

} // namespace

BoardPane::BoardPane(VirtualBoard* model, QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(m_scroll);
    m_content = new QWidget(m_scroll);
    m_layout = new QVBoxLayout(m_content);
    m_scroll->setWidget(m_content);
    m_timer.setInterval(FrameMs);
    connect(&m_timer, &QTimer::timeout, this, &BoardPane::refresh);
    setBoard(model);
}

void BoardPane::setBoard(VirtualBoard* model)
{
    m_board = model;
    rebuild();
}

void BoardPane::setLive(bool live)
{
    if (live == m_timer.isActive())
        return;
    if (live)
        m_timer.start();
    else
        m_timer.stop();
    refresh();
}

void BoardPane::rebuild()
{
    while (QLayoutItem* item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_controls.clear();
    m_leds.clear();
    m_sevenSegs.clear();
    m_lcds.clear();
    m_traces.clear();
    if (!m_board || m_board->partCount() == 0) {
        auto* hint = new QLabel(tr("No board for this program. Put LEDs, buttons, displays, a keypad or an LCD "
                                   "on its pins in NAME.board beside the source, one part a line, such as\n"
                                   "  led P1.0 low\n  button P3.2 low key=Space\n  lcd 16x2 data=P1 rs=P3.5 rw=P3.6 e=P3.7"),
                                m_content);
        hint->setWordWrap(true);
        m_layout->addWidget(hint);
        m_layout->addStretch();
        return;
    }
    for (size_t i = 0; i < m_board->partCount(); ++i) {
        Part& part = m_board->part(i);
        auto* box = new QGroupBox(Caption(part), m_content);
        auto* inner = new QVBoxLayout(box);
        switch (part.kind()) {
        case PartKind::Led:
        case PartKind::LedBar: {
            auto* view = new LedView(static_cast<LedPart&>(part), box);
            m_leds.push_back(view);
            inner->addWidget(view);
            break;
        }
        case PartKind::Button:
        case PartKind::Switch: {
            auto& b = static_cast<ButtonPart&>(part);
            QString text = part.label.empty() ? (part.kind() == PartKind::Button ? tr("Press") : tr("On")) : QString::fromStdString(part.label);
            if (!b.key().empty())
                text += QStringLiteral(" [") + QString::fromStdString(b.key()) + QStringLiteral("]");
            QAbstractButton* button = nullptr;
            if (part.kind() == PartKind::Button) {
                button = new QPushButton(text, box);
                connect(button, &QAbstractButton::pressed, this, [this, i] { m_board->setClosed(i, true), emit partOperated(int(i)); });
                connect(button, &QAbstractButton::released, this, [this, i] { m_board->setClosed(i, false), emit partOperated(int(i)); });
            } else {
                button = new QPushButton(text, box);  // a switch stays where it was put
                button->setCheckable(true);
                button->setChecked(b.closed());
                connect(button, &QAbstractButton::toggled, this, [this, i](bool on) { m_board->setClosed(i, on), emit partOperated(int(i)); });
            }
            button->setFocusPolicy(Qt::NoFocus);
            m_controls.push_back({i, 0, button, KeyCode(b.key())});
            inner->addWidget(button);
            break;
        }
        case PartKind::SevenSeg: {
            auto* view = new SevenSegView(static_cast<SevenSegPart&>(part), box);
            m_sevenSegs.push_back(view);
            inner->addWidget(view);
            break;
        }
        case PartKind::Keypad: {
            auto& keypad = static_cast<KeypadPart&>(part);
            auto* grid = new QGridLayout;
            const size_t columns = keypad.columns().size();
            for (size_t k = 0; k < keypad.keys().size(); ++k) {
                const char key = keypad.keys()[k];
                auto* button = new QPushButton(QString(QChar(key)), box);
                button->setFixedSize(36, 30);
                button->setFocusPolicy(Qt::NoFocus);
                connect(button, &QAbstractButton::pressed, this, [this, i, key] { m_board->setKey(i, key, true), emit partOperated(int(i)); });
                connect(button, &QAbstractButton::released, this, [this, i, key] { m_board->setKey(i, key, false), emit partOperated(int(i)); });
                grid->addWidget(button, static_cast<int>(k / columns), static_cast<int>(k % columns));
                m_controls.push_back({i, key, button, KeyCode(std::string(1, key))});
            }
            inner->addLayout(grid);
            break;
        }
        case PartKind::Lcd: {
            auto* view = new LcdView(static_cast<LcdPart&>(part), box);
            m_lcds.push_back(view);
            inner->addWidget(view);
            break;
        }
        case PartKind::Trace: {
            auto* view = new TraceView(static_cast<TracePart&>(part), box);
            m_traces.push_back(view);
            inner->addWidget(view);
            break;
        }
        }
        m_layout->addWidget(box);
    }
    m_layout->addStretch();
    fitWidth();
    refresh();
}

// The pane is as wide as its widest part (an LCD's full line), so no display
// is cut off; only the height scrolls.
void BoardPane::fitWidth()
{
    const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
    m_scroll->setMinimumWidth(m_content->sizeHint().width() + bar + 2 * m_scroll->frameWidth());
}

void BoardPane::refresh()
{
    if (!m_board)
        return;
    m_board->settle();
    for (auto* v : m_leds)
        v->refresh();
    for (auto* v : m_sevenSegs)
        v->refresh();
    for (auto* v : m_lcds)
        v->refresh();
    const sim::Machine* machine = m_board->machine();
    if (machine) {
        const uint64_t span = static_cast<uint64_t>(machine->board().crystalHz / 12.0 * 0.020);  // the last 20 ms
        for (auto* v : m_traces)
            v->refresh(machine->cycles(), span);
    }
}

QAbstractButton* BoardPane::buttonOf(size_t part, char key) const
{
    for (const Control& c : m_controls)
        if (c.part == part && c.key == key)
            return c.button;
    return nullptr;
}

const LcdView* BoardPane::lcdView(size_t nth) const
{
    return nth < m_lcds.size() ? m_lcds[nth] : nullptr;
}

const SevenSegView* BoardPane::sevenSegView(size_t nth) const
{
    return nth < m_sevenSegs.size() ? m_sevenSegs[nth] : nullptr;
}

bool BoardPane::keyEvent(QKeyEvent* event, bool down)
{
    if (event->isAutoRepeat() || !m_board)
        return false;
    for (const Control& c : m_controls) {
        if (!c.keyCode || c.keyCode != event->key())
            continue;
        if (c.key)
            m_board->setKey(c.part, c.key, down);
        else if (m_board->part(c.part).kind() == PartKind::Button)
            m_board->setClosed(c.part, down);
        else if (down)
            c.button->toggle();  // a switch flips at each press of its key
        if (!c.button->isCheckable())
            c.button->setDown(down);
        emit partOperated(static_cast<int>(c.part));
        return true;
    }
    return false;
}

void BoardPane::keyPressEvent(QKeyEvent* event)
{
    if (!keyEvent(event, true))
        QWidget::keyPressEvent(event);
}

void BoardPane::keyReleaseEvent(QKeyEvent* event)
{
    if (!keyEvent(event, false))
        QWidget::keyReleaseEvent(event);
}

} // namespace board
