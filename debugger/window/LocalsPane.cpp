#include "debugger/window/LocalsPane.h"

#include "debugger/window/SteadyLabel.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

namespace m51dbg {

CValueView::CValueView(CValueModel* model, QWidget* parent)
    : QWidget(parent), m_model(model), m_tree(new QTreeView), m_caption(new QLabel), m_message(new QLabel)
{
    m_model->setParent(this);
    m_tree->setModel(m_model);
    m_tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::SelectedClicked);
    m_tree->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(CValueModel::Name, 150);
    m_tree->setColumnWidth(CValueModel::Value, 160);
    // One line, cut short where the pane is narrow (the whole text in its tip):
    // the caption changes at every step and must not lay the window out again.
    m_captionLine = new SteadyLabel(m_caption, 1);
    m_message->setWordWrap(true);
    m_message->setStyleSheet("color:#a00");
    m_message->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_captionLine);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_message);
    connect(m_model, &CValueModel::editRejected, this, [this](const QString& why) {
        m_message->setText(why);
        m_message->show();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, m_message, &QWidget::hide);
}

void CValueView::setCaption(const QString& text)
{
    m_caption->setText(text);
    m_caption->setToolTip(text);
    m_captionLine->setVisible(!text.isEmpty());
}

LocalsPane::LocalsPane(DebugEngine* engine, QWidget* parent)
    : CValueView(new CValueModel(engine, CValueModel::Kind::Locals), parent), m_engine(engine)
{
    tree()->setToolTip(tr("The parameters and locals of the function at the stop (choose a frame in the call stack "
                          "for a caller's); double-click a value to change it"));
    connect(m_engine, &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        if (cause != DebugEngine::StopCause::Changed)
            captionAtStop();
    });
    connect(m_engine, &DebugEngine::stateChanged, this, [this] { captionAtStop(); });
    captionAtStop();
}

void LocalsPane::showFrame(const toolchain::StopPlace& place, const QString& caption)
{
    model()->setPlace(place.frameBase ? std::optional<toolchain::StopPlace>(place) : std::nullopt);
    setCaption(caption);
}

void LocalsPane::captionAtStop()
{
    const DebugEngine::State state = m_engine->state();
    const toolchain::Program& program = m_engine->program();
    if (state == DebugEngine::State::Running) {
        setCaption(tr("Running …"));
        return;
    }
    if (state != DebugEngine::State::Paused || program.language != toolchain::Language::C) {
        setCaption(tr("The locals of a C program's function, while it is debugged"));
        return;
    }
    const toolchain::Function* function = program.functionAt(m_engine->machine().pc);
    if (!function) {
        setCaption(tr("No C function here"));
        return;
    }
    QString caption = QString::fromStdString(function->name);
    if (const auto line = m_engine->currentLine(); line && size_t(line->file) < program.files.size())
        caption += QStringLiteral(", %1:%2")
                       .arg(QFileInfo(QString::fromStdString(program.files[size_t(line->file)])).fileName())
                       .arg(line->line + 1);
    setCaption(caption);
}

} // namespace m51dbg
