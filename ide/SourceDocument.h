#pragma once
// The current source file of a session: its path (empty while untitled), the
// modified flag, and the file's own line ends, which a save writes back (a
// file of LF lines stays LF; a new file gets CR LF). The text itself is the
// editor component's: the document decodes it on open and encodes it on save,
// in code page 1250.
//
// The file is watched on disk: when another program changes or replaces it,
// changedOnDisk tells once per change (the document's own saves do not count),
// and reload() reads it again.

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

class SourceDocument : public QObject {
    Q_OBJECT
public:
    enum class LineEnds { CrLf, Lf, Cr };

    // File bytes as the editor's text ('\n' between lines), with the line
    // ends found (the first one decides; none: CR LF) and whether the last
    // line had one.
    struct Decoded {
        QString text;
        LineEnds lineEnds = LineEnds::CrLf;
        bool finalLineEnd = true;
    };
    static Decoded decode(const QByteArray& bytes);
    // The editor's text as file bytes with `lineEnds`; an empty text gives an
    // empty file.
    static QByteArray encode(const QString& text, LineEnds lineEnds, bool finalLineEnd);

    explicit SourceDocument(QObject* parent = nullptr);

    QString path() const { return m_path; }
    LineEnds lineEnds() const { return m_lineEnds; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    // Reads the file and returns its text; it becomes this document's file,
    // unmodified. When it cannot be read: the file error, and nothing changes.
    struct Opened {
        QString text;
        QString error;
    };
    [[nodiscard]] Opened open(const QString& path);
    // A new untitled text: CR LF line ends, unmodified, nothing watched.
    void reset();
    // Writes `text` to `path` (the current file, or another for Save As) with
    // the document's line ends; it becomes the file, unmodified. Empty when
    // done, else the file error ("Cannot create file <path>" and why), and
    // then the document stays as it was (modified).
    [[nodiscard]] QString save(const QString& path, const QString& text);
    // Reads the current file again (after changedOnDisk): its text, unmodified.
    [[nodiscard]] Opened reload();

signals:
    void pathChanged(const QString& path);
    void modifiedChanged(bool modified);
    // Another program changed, replaced or removed the file.
    void changedOnDisk(const QString& path);

private:
    void watch(const QString& path, const QByteArray& bytes);
    void fileEvent(const QString& path);

    QString m_path;
    LineEnds m_lineEnds = LineEnds::CrLf;
    bool m_finalLineEnd = true;
    bool m_modified = false;
    QByteArray m_diskHash;   // of the bytes last read or written
    bool m_diskGone = false;
    QFileSystemWatcher m_watcher;
};
