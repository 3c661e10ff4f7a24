#include "debugger/window/MemoryPane.h"

#include "debugger/window/MemoryModel.h"

#include "sim/Machine.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace m51dbg {

MemoryPane::MemoryPane(DebugEngine* engine, DebugEngine::Memory memory, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_model(new MemoryModel(engine, memory, this)), m_view(new QTableView),
      m_goTo(new QLineEdit), m_note(new QLabel)
{
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics metrics(mono);
    m_view->setModel(m_model);
    m_view->setFont(mono);
    m_view->setObjectName("memoryTable");
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_view->setWordWrap(false);
    // Fixed sizes: 64 K rows are never measured one by one.
    auto* columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setMinimumSectionSize(10);
    columns->setDefaultSectionSize(metrics.horizontalAdvance("00") + 14);
    for (int column = 0; column < MemoryModel::CharColumn; ++column)
        columns->resizeSection(column, columns->defaultSectionSize());
    columns->resizeSection(MemoryModel::CharColumn, std::max(metrics.horizontalAdvance(QString(17, 'W')),
                                                             metrics.horizontalAdvance(tr("Characters")) + 12));
    auto* rows = m_view->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(metrics.height());
    rows->setDefaultSectionSize(metrics.height() + 4);
    rows->setFont(mono);

    m_goTo->setObjectName("goToAddress");
    m_goTo->setPlaceholderText(tr("Address (hex)"));
    m_goTo->setMaximumWidth(metrics.horizontalAdvance("Address (hex)") + 40);
    m_goTo->setToolTip(tr("Type an address in hexadecimal (e.g. 30, 1A00H) and press Enter"));
    connect(m_goTo, &QLineEdit::returnPressed, this, [this] {
        const auto address = ParseHexNumber(m_goTo->text(), 0xFFFF);
        if (!address || !goTo(*address))
            m_note->setText(tr("No such address here: %1 (00H to %2H)")
                                .arg(m_goTo->text(), QString::number(m_model->size() - 1, 16).toUpper()));
    });
    connect(m_model, &MemoryModel::editRejected, m_note, &QLabel::setText);
    m_note->setWordWrap(true);
    updateNote();

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Go to")));
    bar->addWidget(m_goTo);
    bar->addWidget(m_note, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    // A few rows are enough on a short screen: the pane area never squeezes the registers above it.
    m_view->setMinimumHeight(3 * QFontMetrics(m_view->font()).height());
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);

    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &MemoryPane::shownRowsChanged);
    m_view->viewport()->installEventFilter(this);
    connect(m_engine, &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        shownRowsChanged(false);
        m_model->onStopped(cause);
        if (cause == DebugEngine::StopCause::Started)
            updateNote();
    });
    connect(&m_live, &QTimer::timeout, this, [this] {
        if (isVisible())
            m_model->refreshShown();
    });
    m_live.follow(m_engine);
    // Made at a stop (the window comes with a new session's first stop): the
    // rows a new view shows first are taken as that stop's bytes.
    if (m_engine->isPaused()) {
        m_model->setShownRows(0, 63, false);
        m_model->onStopped(DebugEngine::StopCause::Started);
    }
}

bool MemoryPane::goTo(unsigned address)
{
    if (address >= m_model->size())
        return false;
    const QModelIndex index = m_model->index(int(address / 16), int(address % 16));
    m_view->scrollTo(index, QAbstractItemView::PositionAtTop);
    m_view->setCurrentIndex(index);
    shownRowsChanged();
    return true;
}

void MemoryPane::updateNote()
{
    const sim::Machine* core = m_engine->core();
    const bool writable = m_model->memory() != DebugEngine::Memory::Code ||
                          (core && core->board().sharedFrom <= core->board().sharedTo);
    m_note->setText(writable ? tr("Double-click a byte to change it; bytes changed since the last stop are marked")
                             : tr("Read-only (code memory); bytes changed since the last stop are marked"));
}

void MemoryPane::shownRowsChanged(bool look)
{
    const int first = std::max(0, m_view->rowAt(0));
    int last = m_view->rowAt(m_view->viewport()->height() - 1);
    if (last < 0)
        last = m_model->rowCount() - 1;
    m_model->setShownRows(first, last, look);
}

bool MemoryPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize)
        shownRowsChanged();
    return QWidget::eventFilter(watched, event);
}

} // namespace m51dbg
