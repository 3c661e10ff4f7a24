#pragma once
// The numbers of received lines as series over time, for the live plot. A
// line holds one or more values, separated by blanks, commas, semicolons or
// tabs ("12.5, 3, -7"), or name=value pairs ("t=21.5 rh=40"); plain values
// are series "1", "2", ... by position. Lines without a number are skipped.
// Parsing runs in the receive path and costs one pass over each line with no
// allocation for the values; the pane draws from here at its own frame rate,
// taking only what came since its last frame.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The values of one line, in order; empty when it holds no number.
QList<QPair<QString, double>> ParsePlotLine(const QByteArray& line);
// A series as the legend names it: "Column 2" for the second plain value of
// the lines, the label the line carries ("temp" for temp=21.5) otherwise.
QString PlotSeriesLabel(const QString& name);

class TPlotData {
public:
    struct Series {
        QString Name;
        QVector<double> Time;   // seconds since the first value
        QVector<double> Value;
        quint64 Appended = 0;   // values ever added (those dropped from the front included)
    };

    // A block of received bytes at time t (seconds); lines end at CR or LF.
    void receive(const char* data, qsizetype size, double t);
    void clear();
    // Values older than this many seconds before the newest are dropped
    // (0: all kept, up to MaxPoints a series); a series lets go of them in
    // steps, so it may hold up to a third more for a while. The export keeps
    // to the window exactly.
    void setWindow(double seconds) { m_window = seconds; }
    double window() const { return m_window; }
    const QList<Series>& series() const { return m_series; }
    // Counts every change, so a view can tell whether to redraw.
    quint64 generation() const { return m_generation; }
    // All series as CSV: time, then one column per series, one row per line.
    QByteArray toCsv() const;

    static constexpr int MaxPoints = 200000;

private:
    void addLine(const char* line, qsizetype size, double t);
    int seriesIndex(const char* name, qsizetype size);
    int positionIndex(int position);
    void trim(Series& s, double newest);
    void trimRows(double newest);

    QByteArray m_partial;
    QList<Series> m_series;
    QList<QByteArray> m_names;  // the series' names as received
    QVector<int> m_byPosition;  // plain value at position i + 1: its series, -1 not yet known
    // The lines' values for the CSV export, flat: row r holds the cells
    // m_rowStart[r] up to the next row's start. Rows before m_firstRow are
    // dropped and compacted away now and then.
    struct Cell {
        int Series;
        double Value;
    };
    QVector<double> m_rowTime;
    QVector<qsizetype> m_rowStart;
    QVector<Cell> m_cells;
    qsizetype m_firstRow = 0;
    double m_window = 0;
    quint64 m_generation = 0;
};
