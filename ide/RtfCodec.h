#pragma once
// Rich text (RTF) for the help window: Qt reads and writes no RTF, so this is
// a small reader and writer for QTextDocument. It covers groups, the font and
// colour tables, bold, italic, underline, font size, colour, paragraphs and
// their alignment, \'hh escapes in code page 1250 and \uN; destinations it does
// not know are skipped whole.

#include <QByteArray>

class QTextDocument;

// Replaces the document's content with the RTF text, as a load that is neither
// undoable nor a modification; the file's default font becomes the document's.
// Any bytes are safe: damaged files give what can be read of them. False when
// the bytes are not RTF at all (no "{\rtf" after blanks or a UTF-8 byte order
// mark); the document is then left unchanged. Text without a code page of its
// own (\ansicpg, \fcharset) is read in code page 1250.
bool readRtf(const QByteArray& rtf, QTextDocument* document);

// The document as RTF text (code page 1250 with \'hh, \uN for what it cannot show),
// in the form readRtf reads back unchanged. Lists, tables and pictures are
// written as their paragraphs' text.
QByteArray writeRtf(const QTextDocument* document);
