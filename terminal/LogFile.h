#pragma once
// TLogFile: "Log to file" of the receive side. It writes everything received
// to a file, either the raw bytes exactly as they came or the text lines as
// the receive box shows them (time stamps included), one line each. Writes
// are buffered and flushed about once a second, so the log costs little at
// high rates; a write that fails (disk full, medium gone) ends the log and
// keeps the platform's reason.

#include <QElapsedTimer>
#include <QFile>
#include <QString>

class TLogFile {
public:
    enum Mode { Raw, Text };

    // Creates (or empties) the file; false with the platform's text.
    bool start(const QString& path, Mode mode, QString* error);
    // Text mode: writes the open line of the box first, so the log holds what
    // the box shows.
    void stop(const QByteArray& openLine = QByteArray());
    bool active() const { return m_file.isOpen(); }
    Mode mode() const { return m_mode; }
    QString path() const { return m_file.fileName(); }
    qint64 size() const { return m_size; }

    // Each returns false (and ends the log) when the write failed.
    bool writeRaw(const char* data, qint64 size);
    bool writeLine(const QByteArray& line);
    // The reason the last write failed.
    QString errorString() const { return m_error; }

private:
    bool write(const char* data, qint64 size);

    QFile m_file;
    Mode m_mode = Raw;
    qint64 m_size = 0;
    QString m_error;
    QElapsedTimer m_sinceFlush;
};

// "Raw" / "Text": the mode as stored and read back (anything else is Raw).
QString LogModeName(TLogFile::Mode mode);
TLogFile::Mode LogModeFromName(const QString& name);
