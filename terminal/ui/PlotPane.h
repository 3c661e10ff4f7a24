#pragma once
// The live plot: draws the series of a TPlotData at most every FramePeriodMs,
// whatever the rate of received lines, handing the graphs only the values
// that came since the last frame, and less often when drawing itself takes
// long (it never takes more than about a quarter of the time), with pause, automatic scaling, zoom
// and drag (mouse wheel and left button), a time window, and export to CSV
// and PNG.

#include <QElapsedTimer>
#include <QTimer>
#include <QVector>
#include <QWidget>

class QCheckBox;
class QCustomPlot;
class QDoubleSpinBox;
class QVBoxLayout;
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void makePlot();

    TPlotData* m_data;
    QCustomPlot* m_plot = nullptr;
    QVBoxLayout* m_column;
    QCheckBox* m_pause;
    QCheckBox* m_autoScale;
    QDoubleSpinBox* m_window;
    QTimer m_frame;
    quint64 m_drawn = ~quint64(0);
    QVector<quint64> m_given;       // per graph: the series' values it holds (Series::Appended then)
    QElapsedTimer m_sinceDrawn;
    double m_drawMs = 0;            // how long the last replot took
};
