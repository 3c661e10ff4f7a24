#pragma once
// Rich text (RTF) for the help window: Qt reads and writes no RTF, so this is
// a small reader and writer for QTextDocument. It covers groups, the font and
// colour tables, bold, italic, underline, font size, colour, paragraphs and
// their alignment, \'hh escapes in code page 1250 and \uN; destinations it does
// not know are skipped whole.

#include <QByteArray>

class QTextDocument;

// Replaces the document's content with the RTF text. False when the bytes are
// not RTF at all (no leading "{\rtf"); the document is then left unchanged.
bool readRtf(const QByteArray& rtf, QTextDocument* document);

// The document as RTF text (code page 1250 with \'hh, \uN for what it cannot show).
QByteArray writeRtf(const QTextDocument* document);
