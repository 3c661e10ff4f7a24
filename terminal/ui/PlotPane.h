#pragma once
// The live plot: draws the series of a TPlotData at most every FramePeriodMs,
// whatever the rate of received lines, with pause, automatic scaling, zoom
// and drag (mouse wheel and left button), a time window, and export to CSV
// and PNG.

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QCustomPlot;
class QDoubleSpinBox;
class TPlotData;

class TPlotPane : public QWidget {
    Q_OBJECT
public:
    TPlotPane(TPlotData* data, QWidget* parent = nullptr);
    bool paused() const;
    void redraw();
    bool exportCsv(const QString& path, QString* error) const;
    bool exportPng(const QString& path);

    static constexpr int FramePeriodMs = 100;

private:
    void refresh();

    TPlotData* m_data;
    QCustomPlot* m_plot;
    QCheckBox* m_pause;
    QCheckBox* m_autoScale;
    QDoubleSpinBox* m_window;
    QTimer m_frame;
    quint64 m_drawn = ~quint64(0);
};
