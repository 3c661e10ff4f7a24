#pragma once
// Whole text files as the environment reads and writes them, and the messages
// of the file errors the commands report.
//
// Files are code page 1250 text. Reading accepts CR LF, LF or a lone CR as a
// line end; writing ends every line with CR LF, as the Windows tools sharing
// these files expect. Every write goes to a temporary file renamed over the
// target (FileWrite.h), so a write that fails leaves the previous file as it
// was and its error tells why. A failure comes back as a value carrying its
// message, which the command shows through reportError() or ignores where a
// missing file is no fault.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

// The runtime's file error messages, as the user sees them.
namespace FileError {
// "Cannot open file <path>".
QString cannotOpen(const QString& path);
// "Cannot create file <path>", and on a line of its own why ("No space left
// on device", "File is read-only", ...) when that is known.
QString cannotCreate(const QString& path, const QString& reason = {});
} // namespace FileError

// The application's error handler: by default a message box titled "Zelvar".
// Tests replace it to collect the messages instead.
using ErrorHandler = std::function<void(const QString& message)>;
void setErrorHandler(ErrorHandler handler);
void reportError(const QString& message);

// A whole file's bytes, or empty bytes and FileError::cannotOpen when it
// cannot be read.
struct FileRead {
    QByteArray bytes;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
[[nodiscard]] FileRead readFileBytes(const QString& path);
// Replaces the file atomically. Empty when done, else FileError::cannotCreate
// with the reason, and the file is then as it was.
[[nodiscard]] QString writeFileBytes(const QString& path, const QByteArray& bytes);

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
