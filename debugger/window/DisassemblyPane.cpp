#include "debugger/window/DisassemblyPane.h"

#include "sim/Disassembler.h"
#include "sim/Machine.h"
#include "debugger/window/MemoryModel.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace m51dbg {

namespace {

constexpr int Rows = 40, Before = 8;
enum Column { Mark, Address, Bytes, Text, Line, ColumnCount };

QString Hex(unsigned value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

} // namespace

DisassemblyPane::DisassemblyPane(DebugEngine* engine, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_table(new QTableWidget(0, ColumnCount)), m_follow(new QCheckBox(tr("Follow PC"))),
      m_goTo(new QLineEdit), m_note(new QLabel)
{
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_table->setObjectName("disassemblyTable");
    m_table->setFont(mono);
    m_table->setHorizontalHeaderLabels({QString(), tr("Address"), tr("Bytes"), tr("Instruction"), tr("Source")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(mono).height() + 4);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    // Widths from the font, not from the contents: fitting the columns to
    // their texts at every stop cost more than the rest of the step.
    auto* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    fitColumns();
    m_follow->setObjectName("followPc");
    m_follow->setChecked(true);
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            follow();
    });
    m_goTo->setObjectName("goToAddress");
    m_goTo->setPlaceholderText(tr("Address (hex)"));
    m_goTo->setMaximumWidth(QFontMetrics(m_goTo->font()).horizontalAdvance("Address (hex)") + 40);
    connect(m_goTo, &QLineEdit::returnPressed, this, [this] {
        if (const auto address = ParseHexNumber(m_goTo->text(), 0xFFFF))
            goTo(uint16_t(*address));
        else
            m_note->setText(tr("Not an address in hexadecimal: %1").arg(m_goTo->text()));
    });
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_follow);
    bar->addWidget(new QLabel(tr("Go to")));
    bar->addWidget(m_goTo);
    bar->addWidget(m_note, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    // A few rows are enough on a short screen: the pane area never squeezes the registers above it.
    m_table->setMinimumHeight(3 * QFontMetrics(m_table->font()).height());
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);

    connect(m_engine, &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        if (cause == DebugEngine::StopCause::Started) {
            m_texts.forget();
            fitColumns();
        }
        m_note->clear();
        follow();
    });
    connect(&m_live, &QTimer::timeout, this, [this] {
        if (isVisible())
            follow();
    });
    m_live.follow(m_engine);
    follow();
}

uint8_t DisassemblyPane::codeAt(unsigned address)
{
    address &= 0xFFFF;
    if (sim::Machine* core = m_engine->core())
        return core->read(sim::Space::Code, address);
    const std::vector<uint8_t>& code = m_engine->program().code;
    return address < code.size() ? code[address] : 0xFF;
}

uint16_t DisassemblyPane::pcNow()
{
    // While running, the built-in simulator's PC of this moment.
    if (const sim::Machine* core = m_engine->core())
        return core->pc();
    return m_engine->machine().pc;
}

uint16_t DisassemblyPane::startBefore(uint16_t pc)
{
    // Instruction starts the assembler knows come first; else the earliest
    // address within reach whose decoding lands exactly on the PC.
    const SourceMap& map = m_engine->program().map;
    std::vector<unsigned> candidates;
    for (unsigned back = 3 * Before; back > 0; --back)
        if (back <= pc && map.instructionAt(uint16_t(pc - back)) &&
            map.instructionAt(uint16_t(pc - back))->address == pc - back)
            candidates.push_back(pc - back);
    for (unsigned back = 3 * Before; back > 0; --back)
        if (back <= pc)
            candidates.push_back(pc - back);
    for (unsigned start : candidates) {
        std::vector<unsigned> starts;
        unsigned at = start;
        while (at < pc) {
            starts.push_back(at);
            at += sim::instructionLength(codeAt(at));
        }
        if (at == pc)
            return uint16_t(starts.size() > Before ? starts[starts.size() - Before] : start);
    }
    return pc;
}

void DisassemblyPane::follow()
{
    if (!m_follow->isChecked())
        return;
    const uint16_t pc = pcNow();
    // The PC inside what is shown, away from its end: only the mark moves.
    const auto it = std::find(m_addresses.begin(), m_addresses.end(), pc);
    if (it != m_addresses.end() && it - m_addresses.begin() < Rows - 6 && it - m_addresses.begin() >= 2) {
        show(m_addresses.front());
        return;
    }
    show(startBefore(pc));
}

void DisassemblyPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again (its tab chosen): the current instruction in sight, once laid out.
    QTimer::singleShot(0, this, [this] {
        if (m_follow->isChecked() && !m_addresses.empty())
            show(m_addresses.front());
    });
}

// Room for what each column holds at most: the marks, an address or a C
// file's name and line, three code bytes and the longest instruction.
void DisassemblyPane::fitColumns()
{
    const QFontMetrics metrics(m_table->font());
    const int pad = 2 * metrics.averageCharWidth() + 8;
    auto width = [&](const QString& text) { return metrics.horizontalAdvance(text) + pad; };
    int address = width(QStringLiteral("FFFF"));
    for (const std::string& file : m_engine->program().files)
        address = std::max(address, width(QFileInfo(QString::fromStdString(file)).fileName() + QStringLiteral(":0000")));
    const int widths[] = {width(QStringLiteral("●▶")), address, width(QStringLiteral("FF FF FF")),
                          width(QStringLiteral("CJNE @R1,#0FFH,0FFFFH"))};
    for (int column = Mark; column < Line; ++column)
        m_table->horizontalHeader()->resizeSection(column, widths[column]);
}

void DisassemblyPane::goTo(uint16_t address)
{
    m_follow->setChecked(false);
    show(address);
}

int DisassemblyPane::rowOf(uint16_t address) const
{
    const auto it = std::find(m_addresses.begin(), m_addresses.end(), address);
    return it == m_addresses.end() ? -1 : m_rows[size_t(it - m_addresses.begin())];
}

void DisassemblyPane::show(uint16_t start)
{
    const bool running = m_engine->state() == DebugEngine::State::Running;
    const uint16_t pc = pcNow();
    const sim::Machine* core = m_engine->core();
    const sim::Chip* chip = core ? &core->chip() : sim::findChip(m_engine->options().cpuType.toStdString());
    const Program& program = m_engine->program();
    const SourceMap& map = program.map;
    const bool c = program.language == toolchain::Language::C;
    std::set<unsigned> breakpoints;
    for (int line : m_engine->sourceBreakpoints())
        if (const auto address = map.sourceLineAddress(line))
            breakpoints.insert(*address);
    for (size_t file = 0; c && file < program.files.size(); ++file)
        for (int line : m_engine->sourceBreakpoints(int(file)))
            if (const auto ranges = program.rangesOf(int(file), line); !ranges.empty())
                breakpoints.insert(ranges.front().first);

    m_table->clearSpans();
    m_table->setRowCount(Rows);
    m_addresses.clear();
    m_rows.clear();
    unsigned address = start;
    const QBrush current(QColor(255, 236, 150));
    const QBrush cLine(QColor(232, 240, 255));
    int currentRow = -1;
    std::optional<toolchain::SourceLine> lastLine;
    auto cell = [this](int row, int column) {
        QTableWidgetItem* item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            m_table->setItem(row, column, item);
        }
        return item;
    };
    int row = 0;
    for (int count = 0; count < Rows; ++count, ++row) {
        // A C line's text before the first of its instructions.
        // The line the debugger stops on for this address (of several, where a line's code is shared).
        std::vector<toolchain::SourceLine> lines;
        if (c)
            if (const auto at = program.lineTable().lineAt(uint16_t(address)))
                lines.push_back(*at);
        if (!lines.empty() && lines.front() != lastLine && size_t(lines.front().file) < program.files.size()) {
            lastLine = lines.front();
            m_table->setRowCount(m_table->rowCount() + 1);
            const QString name = QFileInfo(QString::fromStdString(program.files[size_t(lastLine->file)])).fileName();
            for (int column = 0; column < ColumnCount; ++column) {
                QTableWidgetItem* item = cell(row, column);
                item->setText(column == Address ? QStringLiteral("%1:%2").arg(name).arg(lastLine->line + 1)
                              : column == Bytes ? m_texts.line(program, *lastLine)
                                                : QString());
                item->setBackground(cLine);
            }
            m_table->setSpan(row, Bytes, 1, ColumnCount - Bytes);
            ++row;
        } else if (lines.empty()) {
            lastLine.reset();
        }
        const uint8_t bytes[3] = {codeAt(address), codeAt(address + 1), codeAt(address + 2)};
        const sim::Disassembled d = sim::disassemble(bytes, uint16_t(address), chip);
        QString byteText;
        for (unsigned i = 0; i < d.length; ++i)
            byteText += Hex(bytes[i], 2) + (i + 1 < d.length ? " " : "");
        QString line;
        if (!lines.empty() && size_t(lines.front().file) < program.files.size())
            line = QStringLiteral("%1:%2")
                       .arg(QFileInfo(QString::fromStdString(program.files[size_t(lines.front().file)])).fileName())
                       .arg(lines.front().line + 1);
        else if (const auto at = c || program.language == toolchain::Language::M51
                                     ? std::nullopt
                                     : program.lineTable().lineAt(uint16_t(address));
                 at && size_t(at->file) < program.files.size() && !program.files[size_t(at->file)].empty())
            line = QStringLiteral("%1:%2")   // an assembly module: its own file's line
                       .arg(QFileInfo(QString::fromStdString(program.files[size_t(at->file)])).fileName())
                       .arg(at->line + 1);
        else if (const auto source = map.sourceLineAt(uint16_t(address)))
            line = program.language == toolchain::Language::M51 ? tr("M51 line %1").arg(*source + 1)
                                                                : tr("line %1").arg(*source + 1);
        else if (const auto asmLine = map.asmLineAt(uint16_t(address)))
            line = tr("assembly line %1").arg(*asmLine + 1);
        const bool here = address == pc;
        const QString mark = QString(breakpoints.count(address) ? QStringLiteral("●") : QString()) +
                             (here ? (running ? QStringLiteral("›") : QStringLiteral("▶")) : QString());
        const QString texts[ColumnCount] = {mark, Hex(address, 4), byteText, QString::fromStdString(d.text), line};
        for (int column = 0; column < ColumnCount; ++column) {
            QTableWidgetItem* item = cell(row, column);
            item->setText(texts[column]);
            item->setBackground(here ? current : QBrush());
            if (column == Mark)
                item->setForeground(QBrush(QColor(200, 30, 30)));
        }
        if (here)
            currentRow = row;
        m_addresses.push_back(uint16_t(address));
        m_rows.push_back(row);
        address = (address + d.length) & 0xFFFF;
    }
    // A hidden pane scrolls when it is shown (showEvent).
    if (currentRow >= 0 && isVisible())
        m_table->scrollToItem(m_table->item(currentRow, Address));
}

} // namespace m51dbg
