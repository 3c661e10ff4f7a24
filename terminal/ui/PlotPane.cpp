#include "terminal/ui/PlotPane.h"

#include "common/FileWriteQt.h"
#include "terminal/core/PlotData.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <qcustomplot.h>

TPlotPane::TPlotPane(TPlotData* data, QWidget* parent) : QWidget(parent), m_data(data)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    m_pause = new QCheckBox(QStringLiteral("Pause"), this);
    m_pause->setToolTip(QStringLiteral("Keep the picture; values still arrive"));
    m_autoScale = new QCheckBox(QStringLiteral("Auto scale"), this);
    m_autoScale->setChecked(true);
    m_autoScale->setToolTip(QStringLiteral("Fit the values; off, the wheel zooms and a drag moves"));
    m_window = new QDoubleSpinBox(this);
    m_window->setRange(0, 86400);
    m_window->setValue(60);
    m_window->setSuffix(QStringLiteral(" s"));
    m_window->setSpecialValueText(QStringLiteral("all"));
    m_window->setToolTip(QStringLiteral("How many seconds the plot shows and keeps"));
    auto* csv = new QPushButton(QStringLiteral("CSV..."), this);
    auto* png = new QPushButton(QStringLiteral("PNG..."), this);
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    bar->addWidget(m_pause);
    bar->addWidget(m_autoScale);
    bar->addWidget(new QLabel(QStringLiteral("Window"), this));
    bar->addWidget(m_window);
    bar->addStretch(1);
    bar->addWidget(clear);
    bar->addWidget(csv);
    bar->addWidget(png);
    column->addLayout(bar);
    m_column = column;
    m_data->setWindow(m_window->value());
    connect(m_window, &QDoubleSpinBox::valueChanged, this, [this](double s) {
        m_data->setWindow(s);
        redraw();
    });
    connect(m_autoScale, &QCheckBox::toggled, this, &TPlotPane::redraw);
    connect(m_pause, &QCheckBox::toggled, this, &TPlotPane::redraw);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_data->clear();
        redraw();
    });
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export plot"), QString(),
                                                          QStringLiteral("CSV (*.csv)"));
        QString error;
        if (!path.isEmpty() && !exportCsv(path, &error))
            QMessageBox::critical(this, QStringLiteral("Terminal"), error);
    });
    connect(png, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export plot"), QString(),
                                                          QStringLiteral("PNG (*.png)"));
        if (!path.isEmpty() && !exportPng(path))
            QMessageBox::critical(this, QStringLiteral("Terminal"), QStringLiteral("%1 could not be written").arg(path));
    });
    m_frame.setInterval(FramePeriodMs);
    connect(&m_frame, &QTimer::timeout, this, &TPlotPane::refresh);
    m_frame.start();
}

bool TPlotPane::paused() const
{
    return m_pause->isChecked();
}

void TPlotPane::refresh()
{
    if (!isVisible() || paused() || m_data->generation() == m_drawn)
        return;
    if (m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < 3 * m_drawMs)
        return;
    redraw();
}

void TPlotPane::makePlot()
{
    // Made when first drawn: the pane starts hidden, and the window comes up
    // sooner without the plot's axes, layers and first replot.
    if (m_plot)
        return;
    m_plot = new QCustomPlot(this);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->setPlottingHint(QCP::phFastPolylines, true);
    m_plot->xAxis->setLabel(QStringLiteral("s"));
    m_plot->legend->setVisible(true);
    m_plot->setMinimumHeight(120);
    m_column->addWidget(m_plot, 1);
}

void TPlotPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_plot)
        redraw();
}

void TPlotPane::redraw()
{
    makePlot();
    m_drawn = m_data->generation();
    static const QColor colours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                                     QColor(255, 127, 14), QColor(148, 103, 189), QColor(140, 86, 75)};
    const auto& series = m_data->series();
    while (m_plot->graphCount() > series.size())
        m_plot->removeGraph(m_plot->graphCount() - 1);
    m_given.resize(m_plot->graphCount());
    double newest = 0;
    for (int i = 0; i < series.size(); ++i) {
        if (i >= m_plot->graphCount()) {
            QCPGraph* g = m_plot->addGraph();
            // Thin, plain lines: a wide or smoothed pen costs far more to
            // draw than the values cost to collect.
            g->setPen(QPen(colours[i % 6], 1));
            g->setAntialiased(false);
            g->setAdaptiveSampling(true);
            m_given.append(0);
        }
        QCPGraph* g = m_plot->graph(i);
        const TPlotData::Series& s = series[i];
        g->setName(PlotSeriesLabel(s.Name));
        // Only the values that came since the last frame are added, and those
        // the series dropped are removed; after a clear, or when more came
        // than the series keeps, the graph takes the series whole.
        const quint64 fresh = s.Appended - m_given[i];
        if (s.Appended < m_given[i] || fresh > quint64(s.Time.size())) {
            g->setData(s.Time, s.Value, true);
        } else if (fresh > 0) {
            const qsizetype from = s.Time.size() - qsizetype(fresh);
            g->addData(s.Time.mid(from), s.Value.mid(from), true);
        }
        m_given[i] = s.Appended;
        if (!s.Time.isEmpty()) {
            g->data()->removeBefore(s.Time.first());
            newest = std::max(newest, s.Time.last());
        }
    }
    if (m_autoScale->isChecked()) {
        m_plot->rescaleAxes();
        if (m_data->window() > 0)
            m_plot->xAxis->setRange(std::max(0.0, newest - m_data->window()), std::max(newest, 1.0));
    }
    QElapsedTimer drawing;
    drawing.start();
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
    m_drawMs = drawing.nsecsElapsed() / 1e6;
    m_sinceDrawn.start();
}

bool TPlotPane::exportCsv(const QString& path, QString* error) const
{
    // An export that fails leaves any older file of that name as it was.
    const QString reason = m51::writeFileAtomically(path, m_data->toCsv());
    if (!reason.isEmpty() && error)
        *error = QStringLiteral("%1: %2").arg(path, reason);
    return reason.isEmpty();
}

bool TPlotPane::exportPng(const QString& path)
{
    redraw();
    return m_plot->savePng(path);
}
