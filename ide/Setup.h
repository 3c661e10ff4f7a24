#pragma once
// The settings of Zelvar as a plain value, and the setup file Zelvar.INI that
// holds them.
//
// The file has no sections and no keys: it is 24 text lines at fixed places,
// one setting a line, flags written "A" (set) or "F" (clear). A Setup keeps the
// lines as read (padded to PaddedLines), so lines that Zelvar does not use go
// back to the file unchanged; the named accessors read and write the lines the
// program uses.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace SetupFile {

// Lines written by a save; the reader pads what it reads to PaddedLines.
constexpr int LineCount = 24;
constexpr int PaddedLines = 30;

// The file's lines (CR, LF or CR LF ends), decoded, padded with empty lines
// to at least PaddedLines.
QStringList readLines(const QByteArray& bytes);
// A flag line is set exactly when it is "A".
bool isSet(const QString& line);
QString flagText(bool set);
// The lines, code page 1250, each ended by CR LF.
QByteArray fileBytes(const QStringList& lines);

} // namespace SetupFile

class Setup {
public:
    // The numbers of the lines (1-based) that hold a flag.
    static bool isFlagLine(int line) { return line == 4 || line == 6 || line == 7 || line == 23; }

    Setup();
    static Setup fromBytes(const QByteArray& bytes);
    // Replaces the lines with the file's; no file gives an empty setup. Empty
    // when done, else the file error (the file exists but cannot be read),
    // and then the setup stays as it was.
    [[nodiscard]] QString load(const QString& path);
    // Exactly LineCount lines, flag lines as "A" or "F". Empty when written,
    // else the file error.
    [[nodiscard]] QString save(const QString& path) const;
    QByteArray fileBytes() const;

    // Line n (1-based) as read, and as a flag.
    QString line(int n) const { return m_lines.value(n - 1); }
    void setLine(int n, const QString& text);
    bool flag(int n) const { return SetupFile::isSet(line(n)); }
    void setFlag(int n, bool set) { setLine(n, SetupFile::flagText(set)); }
    QStringList lines() const { return m_lines; }

    bool autosave() const { return flag(4); }           // "Autosave in Debug Process"
    QString lastFile() const { return line(5); }         // the last opened source
    bool buildAssembly() const { return flag(6); }      // "Compile ASM >> HEX": Debug runs the build
    QString visibility() const { return line(8); }       // show mode of the build's script window
    QString toolCommand(int k) const { return k >= 1 && k <= 7 ? line(8 + k) : QString(); }
    QString toolCaption(int k) const { return k >= 1 && k <= 7 ? line(15 + k) : QString(); }
    bool autoOpen() const { return flag(23); }          // open the last file at start-up

    void setAutosave(bool set) { setFlag(4, set); }
    void setLastFile(const QString& path) { setLine(5, path); }
    void setBuildAssembly(bool set) { setFlag(6, set); }

    bool operator==(const Setup& other) const { return fileBytes() == other.fileBytes(); }

private:
    QStringList m_lines;
};
