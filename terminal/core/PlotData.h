#pragma once
// The numbers of received lines as series over time, for the live plot. A
// line holds one or more values, separated by blanks, commas, semicolons or
// tabs ("12.5, 3, -7"), or name=value pairs ("t=21.5 rh=40"); plain values
// are series "1", "2", ... by position. Lines without a number are skipped.
// Parsing runs in the receive path and costs one pass over each line; the
// pane draws from here at its own frame rate.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The values of one line, in order; empty when it holds no number.
QList<QPair<QString, double>> ParsePlotLine(const QByteArray& line);

class TPlotData {
public:
    struct Series {
        QString Name;
        QVector<double> Time;   // seconds since the first value
        QVector<double> Value;
    };

    // A block of received bytes at time t (seconds); lines end at CR or LF.
    void receive(const char* data, qsizetype size, double t);
    void clear();
    // Values older than this many seconds before the newest are dropped
    // (0: all kept, up to MaxPoints a series).
    void setWindow(double seconds) { m_window = seconds; }
    double window() const { return m_window; }
    const QList<Series>& series() const { return m_series; }
    // Counts every change, so a view can tell whether to redraw.
    quint64 generation() const { return m_generation; }
    // All series as CSV: time, then one column per series, one row per line.
    QByteArray toCsv() const;

    static constexpr int MaxPoints = 200000;

private:
    void addLine(const QByteArray& line, double t);
    void trim(Series& s, double newest);

    QByteArray m_partial;
    QList<Series> m_series;
    struct Row {
        double Time;
        QList<QPair<int, double>> Values;  // series index, value
    };
    QList<Row> m_rows;  // for the CSV export
    double m_window = 0;
    quint64 m_generation = 0;
};
