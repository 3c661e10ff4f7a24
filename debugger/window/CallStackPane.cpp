#include "debugger/window/CallStackPane.h"

#include "debugger/window/EngineMemory.h"
#include "debugger/window/StackModel.h"

#include <QFileInfo>

#include <QHeaderView>
#include <algorithm>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

const char* const InterruptNames[] = {"external 0", "timer 0", "external 1", "timer 1", "serial port", "timer 2"};

QString Hex(unsigned value, int digits) { return QStringLiteral("%1H").arg(value, digits, 16, QChar('0')).toUpper(); }

} // namespace

CallStackPane::CallStackPane(StackModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    m_table = new QTableWidget(0, 4);
    m_table->setHorizontalHeaderLabels({tr("Procedure"), tr("Line"), tr("Address"), tr("Entered by")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setToolTip(tr("Double-click a frame to show its line"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && size_t(row) < m_cFrames.size() && m_cFrames[size_t(row)].line) {
            const toolchain::SourceLine at = *m_cFrames[size_t(row)].line;
            const auto& files = m_model->engine()->program().files;
            if (size_t(at.file) < files.size())
                emit placeActivated(QString::fromStdString(files[size_t(at.file)]), at.line);
            return;
        }
        const auto& frames = m_model->view().frames;
        if (row >= 0 && size_t(row) < frames.size())
            emit lineActivated(frames[size_t(row)].sourceLine, frames[size_t(row)].asmLine);
    });
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) { choose(row); });
    connect(m_model, &StackModel::changed, this, &CallStackPane::refresh);
    // A new program: its files are read again.
    connect(m_model->engine(), &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        if (cause == DebugEngine::StopCause::Started)
            m_texts.forget();
        // A stop shows the innermost frame (an edit keeps the one chosen).
        if (cause != DebugEngine::StopCause::Changed && m_table->rowCount() > 0) {
            const QSignalBlocker quiet(m_table);
            m_table->setCurrentCell(0, 0);
        }
    });
    refresh();
}

void CallStackPane::choose(int row)
{
    if (row < 0 || size_t(row) >= m_cFrames.size())
        return;
    emit frameChosen(m_cFrames[size_t(row)].place, m_captions.value(row));
}

void CallStackPane::refresh()
{
    const DebugEngine::State state = m_model->engine()->state();
    const auto& frames = m_model->view().frames;
    const bool shown = state == DebugEngine::State::Paused || state == DebugEngine::State::Running;
    // A C program's frames: the function with its arguments, the C line, the
    // place of its locals; read at a stop (while running only the names follow).
    const DebugEngine* engine = m_model->engine();
    const Program& program = engine->program();
    const bool c = shown && program.language == toolchain::Language::C;
    const EngineMemory memory(m_model->engine());
    m_cFrames = c ? CFramesOf(m_model->view(), program, memory) : std::vector<CFrame>();
    m_captions.clear();
    const QSignalBlocker quiet(m_table);  // the stop chooses the innermost frame itself
    // SDCC's startup jumps to main: a C program's stack ends there, whatever
    // the bytes below it look like.
    size_t rows = frames.size();
    for (size_t i = 0; c && i < m_cFrames.size(); ++i)
        if (m_cFrames[i].function && m_cFrames[i].function->name == "main" && m_cFrames[i].function->interrupt < 0) {
            rows = i + 1;
            m_cFrames.resize(rows);
            break;
        }
    m_table->setRowCount(shown ? int(rows) : 0);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const StackFrame& frame = frames[size_t(row)];
        QString name = frame.procedure.empty() ? tr("(no name)") : QString::fromStdString(frame.procedure);
        QString line = frame.sourceLine >= 0 ? QString::number(frame.sourceLine + 1) : QStringLiteral("-");
        if (c) {
            const CFrame& cFrame = m_cFrames[size_t(row)];
            if (cFrame.function)
                name = QString::fromStdString(cFrame.function->name) + QLatin1Char('(')
                       + (state == DebugEngine::State::Paused ? ArgumentsOf(cFrame, program, memory, m_texts) : QString())
                       + QLatin1Char(')');
            if (cFrame.line && size_t(cFrame.line->file) < program.files.size())
                line = QStringLiteral("%1:%2")
                           .arg(QFileInfo(QString::fromStdString(program.files[size_t(cFrame.line->file)])).fileName())
                           .arg(cFrame.line->line + 1);
            m_captions << (cFrame.function ? QString::fromStdString(cFrame.function->name) : name)
                              + QStringLiteral(", ") + line;
        }
        QString entered;
        const bool cStart = c && size_t(row) + 1 == rows && rows < frames.size();
        switch (cStart ? StackFrame::Entry::Reset : frame.enteredBy) {
        case StackFrame::Entry::Reset: entered = tr("reset"); break;
        case StackFrame::Entry::Call: entered = tr("call"); break;
        case StackFrame::Entry::Interrupt:
            entered = tr("interrupt (%1)").arg(tr(InterruptNames[std::clamp(frame.interruptSource, 0, 5)]));
            break;
        }
        const QString texts[] = {
            name,
            line,
            Hex(frame.at, 4),
            entered,
        };
        for (int column = 0; column < 4; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item)
                m_table->setItem(row, column, item = new QTableWidgetItem);
            item->setText(texts[column]);
            QFont font = item->font();
            font.setBold(frame.enteredBy == StackFrame::Entry::Interrupt && !cStart);
            item->setFont(font);
        }
    }
    m_table->resizeColumnsToContents();
}

} // namespace m51dbg
