#include "ide/RtfCodePage.h"

#include <QStringDecoder>

#include <cmath>
#include <map>
#include <mutex>

namespace rtf {

const CodePage& codePage(int number)
{
    static std::mutex guard;
    static std::map<int, CodePage> cache;
    std::lock_guard lock(guard);
    auto found = cache.find(number);
    if (found != cache.end())
        return found->second;

    CodePage page;
    QStringDecoder decoder(QStringLiteral("windows-%1").arg(number).toLatin1().constData());
    if (!decoder.isValid())
        decoder = QStringDecoder("windows-1250");
    for (int b = 0; b < 256; ++b) {
        char16_t c = char16_t(b);
        if (b >= 0x80 && decoder.isValid()) {
            const char byte = char(b);
            const QString one = decoder.decode(QByteArrayView(&byte, 1));
            decoder.resetState();
            c = one.size() == 1 ? one.at(0).unicode() : char16_t(0xFFFD);
        }
        page.toUnicode[b] = c;
        if (c != 0xFFFD && !page.fromUnicode.contains(c))
            page.fromUnicode.insert(c, uchar(b));
    }
    return cache.emplace(number, std::move(page)).first->second;
}

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0;
    }
}

qreal twipsToPixels(int twips) { return twips / 15.0; }
int pixelsToTwips(qreal pixels) { return int(std::lround(pixels * 15.0)); }

} // namespace rtf
