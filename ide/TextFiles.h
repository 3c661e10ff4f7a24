#pragma once
// Whole text files as the environment reads and writes them, and the runtime
// file errors the commands end with.
//
// Files are code page 1250 text. Reading accepts CR LF, LF or a lone CR as a
// line end; writing ends every line with CR LF, as the Windows tools sharing
// these files expect. Every write goes to a temporary file renamed over the
// target (FileWrite.h), so a write that fails leaves the previous file as it
// was and its error tells why.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The runtime's file error: "Cannot open file <path>" or "Cannot create file
// <path>". A command that meets one stops there and shows it through
// reportError().
class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& message);
    QString message() const { return m_message; }
    static FileError cannotOpen(const QString& path);
    // "Cannot create file <path>", and on a line of its own why ("No space
    // left on device", "File is read-only", ...) when that is known.
    static FileError cannotCreate(const QString& path, const QString& reason = {});

private:
    QString m_message;
};

// The application's error handler: by default a message box titled "Zelvar".
// Tests replace it to collect the messages instead.
using ErrorHandler = std::function<void(const QString& message)>;
void setErrorHandler(ErrorHandler handler);
void reportError(const QString& message);

// Runs a command; a file error ends it and goes to the error handler.
template <typename Command>
void guarded(Command command)
{
    try {
        command();
    } catch (const FileError& error) {
        reportError(error.message());
    }
}

// Reads the whole file; FileError::cannotOpen when it cannot be read.
QByteArray readFileBytes(const QString& path);
// Replaces the file atomically; FileError::cannotCreate with the reason when
// that fails, and the file is then as it was.
void writeFileBytes(const QString& path, const QByteArray& bytes);

// File bytes as one text for a text widget: decoded, line ends turned into
// '\n', a final line end dropped (it adds no line).
QString textFromFileBytes(const QByteArray& bytes);
// The text with CR LF and lone CR turned into '\n'.
QString withLfLineEnds(QString text);
// A widget's text ('\n' between lines) as file bytes: every line ended by CR LF.
// An empty text gives an empty file.
QByteArray fileBytesFromText(const QString& text);

// Splits file bytes into lines at CR LF, LF or a lone CR; a final line end adds
// no empty line (the compiler's splitter, so the editor, the compiler and the
// setup file agree on what a line is).
std::vector<std::string> splitLines(const QByteArray& bytes);
// Lines, each ended by CR LF.
QByteArray joinLinesCrLf(const std::vector<std::string>& lines);
