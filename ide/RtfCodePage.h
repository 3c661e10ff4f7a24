#pragma once
// What the RTF reader and writer share: the single-byte code pages RTF text
// is written in (built once with QStringDecoder, with the reverse map for the
// writer), RTF's character sets, and its unit of length.

#include <QHash>

#include <array>

namespace rtf {

struct CodePage {
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, uchar> fromUnicode;
};

// The Windows code page `number` (1250 where Qt does not know it).
const CodePage& codePage(int number);
// The Windows code page behind an RTF \fcharset value; 0 for "the document's".
int codePageOfCharset(int charset);
// Twips (1/20 point) to the document's layout units (pixels at 96 dpi) and back.
qreal twipsToPixels(int twips);
int pixelsToTwips(qreal pixels);

} // namespace rtf
