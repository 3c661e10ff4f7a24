// The RTF writer: a QTextDocument as RTF text in code page 1250 (see RtfCodec.h).
#include "ide/RtfCodec.h"

#include "ide/RtfCodePage.h"

#include <QColor>
#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>
#include <vector>

namespace {

using namespace rtf;

// ---------------------------------------------------------------------------
// Writer

struct WriterFont {
    QString family;
    QFont::StyleHint hint;
    bool fixedPitch;
};

struct Formatting {
    bool bold = false, italic = false, underline = false, strike = false;
    int fontSize = 24, font = 0, color = 0, highlight = 0, vertical = 0;
};

class Writer {
public:
    explicit Writer(const QTextDocument* document) : m_doc(document), m_page(codePage(1250))
    {
        const QFont base = document->defaultFont();
        m_defaultSize = base.pointSizeF() > 0 ? base.pointSizeF() : 12.0;
        m_fonts.push_back({base.family(), base.styleHint(), base.fixedPitch()});
        m_colors.push_back(QColor()); // index 0: automatic
    }

    QByteArray run()
    {
        // First pass: the formatting of every run, which also fills the font and colour tables.
        QByteArray body;
        Formatting current;
        for (QTextBlock block = m_doc->begin(); block.isValid(); block = block.next()) {
            body += "\\pard";
            body += paragraph(block.blockFormat());
            bool any = false;
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.isValid() || fragment.length() == 0)
                    continue;
                const QByteArray words = changes(current, formatting(fragment.charFormat()));
                body += words;
                if (!any || !words.isEmpty())
                    body += ' '; // ends the last control word; no space of the text
                body += text(fragment.text());
                any = true;
            }
            if (!any)
                body += changes(current, formatting(block.charFormat()));
            body += "\\par\r\n";
        }

        QByteArray out = "{\\rtf1\\ansi\\ansicpg1250\\deff0\\uc1{\\fonttbl";
        for (size_t k = 0; k < m_fonts.size(); ++k) {
            const WriterFont& f = m_fonts[k];
            out += "{\\f" + QByteArray::number(qulonglong(k)) + familyKeyword(f);
            if (f.fixedPitch)
                out += "\\fprq1";
            out += "\\fcharset238 " + text(QString(f.family).remove(u';')) + ";}";
        }
        out += "}\r\n";
        if (m_colors.size() > 1) {
            out += "{\\colortbl ;";
            for (size_t k = 1; k < m_colors.size(); ++k) {
                const QColor& c = m_colors[k];
                out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) + "\\blue"
                       + QByteArray::number(c.blue()) + ";";
            }
            out += "}\r\n";
        }
        out += "\\viewkind4";
        out += body;
        out += "}\r\n";
        return out;
    }

private:
    static QByteArray familyKeyword(const WriterFont& f)
    {
        if (f.fixedPitch || f.hint == QFont::TypeWriter || f.hint == QFont::Monospace) return "\\fmodern";
        if (f.hint == QFont::Serif) return "\\froman";
        if (f.hint == QFont::SansSerif) return "\\fswiss";
        if (f.hint == QFont::Cursive) return "\\fscript";
        if (f.hint == QFont::Decorative || f.hint == QFont::Fantasy) return "\\fdecor";
        return "\\fnil";
    }

    QByteArray paragraph(const QTextBlockFormat& f) const
    {
        QByteArray out;
        const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignJustify) out += "\\qj";
        else if (a & Qt::AlignHCenter) out += "\\qc";
        else if (a & (Qt::AlignRight | Qt::AlignTrailing)) out += "\\qr";
        auto twips = [&](const char* word, qreal px) {
            const int t = pixelsToTwips(px);
            if (t != 0)
                out += QByteArray(word) + QByteArray::number(t);
        };
        twips("\\li", f.leftMargin());
        twips("\\ri", f.rightMargin());
        twips("\\fi", f.textIndent());
        twips("\\sb", f.topMargin());
        twips("\\sa", f.bottomMargin());
        return out;
    }

    int fontIndex(const QTextCharFormat& f)
    {
        const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
        const QString family = families.isEmpty() ? QString() : families.first();
        if (family.isEmpty())
            return 0;
        for (size_t k = 0; k < m_fonts.size(); ++k)
            if (m_fonts[k].family == family)
                return int(k);
        m_fonts.push_back({family, f.fontStyleHint(), f.fontFixedPitch()});
        return int(m_fonts.size() - 1);
    }

    int colorIndex(const QColor& c)
    {
        const QColor opaque = c.toRgb();
        for (size_t k = 1; k < m_colors.size(); ++k)
            if (m_colors[k].rgb() == opaque.rgb())
                return int(k);
        m_colors.push_back(opaque);
        return int(m_colors.size() - 1);
    }

    Formatting formatting(const QTextCharFormat& f)
    {
        Formatting r;
        r.bold = f.fontWeight() >= QFont::DemiBold;
        r.italic = f.fontItalic();
        r.underline = f.fontUnderline();
        r.strike = f.fontStrikeOut();
        const qreal size = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : m_defaultSize;
        r.fontSize = std::clamp(int(std::lround(size * 2)), 2, 3276);
        r.font = fontIndex(f);
        if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
            r.color = colorIndex(f.foreground().color());
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
            r.highlight = colorIndex(f.background().color());
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) r.vertical = 1;
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) r.vertical = -1;
        return r;
    }

    static QByteArray changes(Formatting& cur, const Formatting& next)
    {
        QByteArray out;
        auto flag = [&](bool& c, bool n, const char* on, const char* off) {
            if (c != n) out += n ? on : off;
            c = n;
        };
        auto number = [&](int& c, int n, const char* word) {
            if (c != n) out += QByteArray(word) + QByteArray::number(n);
            c = n;
        };
        flag(cur.bold, next.bold, "\\b", "\\b0");
        flag(cur.italic, next.italic, "\\i", "\\i0");
        flag(cur.underline, next.underline, "\\ul", "\\ulnone");
        flag(cur.strike, next.strike, "\\strike", "\\strike0");
        number(cur.font, next.font, "\\f");
        number(cur.fontSize, next.fontSize, "\\fs");
        number(cur.color, next.color, "\\cf");
        number(cur.highlight, next.highlight, "\\highlight");
        if (cur.vertical != next.vertical)
            out += next.vertical > 0 ? "\\super" : next.vertical < 0 ? "\\sub" : "\\nosupersub";
        cur.vertical = next.vertical;
        return out;
    }

    // Text of a run: ASCII as it is, the rest as \'hh in code page 1250 or as \uN with a '?' for old readers.
    QByteArray text(const QString& s) const
    {
        QByteArray out;
        out.reserve(s.size());
        for (const QChar qc : s) {
            const char16_t c = qc.unicode();
            if (c == '\\' || c == '{' || c == '}') { out += '\\'; out += char(c); }
            else if (c == '\t') out += "\\tab ";
            else if (c == 0x2028 || c == 0x2029) out += "\\line ";
            else if (c == 0x00A0) out += "\\~";
            else if (c == QChar::ObjectReplacementCharacter) continue;
            else if (c < 0x20) continue;
            else if (c < 0x80) out += char(c);
            else if (auto b = m_page.fromUnicode.constFind(c); b != m_page.fromUnicode.constEnd()) {
                static const char hex[] = "0123456789abcdef";
                out += "\\'";
                out += hex[*b >> 4];
                out += hex[*b & 15];
            } else {
                out += "\\u" + QByteArray::number(c >= 0x8000 ? int(c) - 65536 : int(c)) + '?';
            }
        }
        return out;
    }

    const QTextDocument* m_doc;
    const CodePage& m_page;
    qreal m_defaultSize = 12.0;
    std::vector<WriterFont> m_fonts;
    std::vector<QColor> m_colors;
};

} // namespace

QByteArray writeRtf(const QTextDocument* document)
{
    if (!document)
        return QByteArray();
    return Writer(document).run();
}
