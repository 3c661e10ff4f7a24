#include "ide/RtfCodec.h"

#include "common/PlainText.h"
#include "ide/RtfCodePage.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace {

using namespace rtf;

// ---------------------------------------------------------------------------
// Reader

struct FontEntry {
    QString name;
    int charset = -1;
    QFont::StyleHint hint = QFont::AnyStyle;
    bool fixedPitch = false;
};

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int fontSize = 24; // half-points
    int font = -1;     // -1: the default font (\deff)
    int color = 0;     // 0: automatic
    int highlight = 0; // 0: none
    int vertical = 0;  // 1 superscript, -1 subscript
    bool operator==(const CharState&) const = default;
};

struct ParState {
    int alignment = 0; // 0 left, 1 centre, 2 right, 3 justified
    int leftIndent = 0, rightIndent = 0, firstIndent = 0, spaceBefore = 0, spaceAfter = 0; // twips
};

enum class Destination { Text, FontTable, ColorTable, Skip };

struct Group {
    CharState ch;
    ParState par;
    Destination dest = Destination::Text;
    int unicodeSkip = 1; // \ucN
};

int clampInt(qint64 v, int lo, int hi) { return int(v < lo ? lo : v > hi ? hi : v); }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Destinations whose content is not text of the document.
bool isSkippedDestination(QByteArrayView word)
{
    static const char* const names[] = {
        "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf", "footer", "footerl",
        "footerr", "footerf", "footnote", "annotation", "listtable", "listoverridetable", "revtbl", "rsidtbl",
        "generator", "xmlnstbl", "mmathPr", "themedata", "colorschememapping", "latentstyles", "datastore",
        "filetbl", "pgdsctbl", "pn", "fldinst", "shppict", "nonshppict", "bkmkstart", "bkmkend", "private",
        "template", "txe", "xe", "tc", "atnid", "atnauthor", "comment", "keywords", "title", "subject", "author",
        "operator", "doccomm", "company", "category", "buptim", "creatim", "printim", "revtim", "userprops",
        "blipuid", "fontemb", "fontfile", "falt", "panose", "listtext"};
    for (const char* name : names)
        if (word == name)
            return true;
    return false;
}

class Reader {
public:
    Reader(const QByteArray& rtf, QTextDocument* document) : m_in(rtf), m_cursor(document) {}

    void run()
    {
        m_groups.push_back(Group{});
        const qsizetype n = m_in.size();
        while (m_pos < n) {
            const char c = m_in[m_pos++];
            if (c == '{') {
                m_skipChars = 0;
                openGroup();
            } else if (c == '}') {
                m_skipChars = 0;
                closeGroup();
            } else if (c == '\\') {
                controlSequence();
            } else if (c == '\r' || c == '\n' || c == '\0') {
                // line breaks of the file carry no meaning
            } else {
                byteOfText(uchar(c));
            }
        }
        finish();
    }

    // The default font (\deff) becomes the document's default font, so that
    // writing the document again keeps it as font 0.
    void applyDefaultFont(QTextDocument* document) const
    {
        const auto entry = m_fonts.constFind(m_defaultFont);
        if (entry == m_fonts.constEnd() || entry->name.isEmpty())
            return;
        QFont font = document->defaultFont();
        font.setFamilies({entry->name});
        font.setStyleHint(entry->hint);
        font.setFixedPitch(entry->fixedPitch);
        document->setDefaultFont(font);
    }

private:
    Group& top() { return m_groups.back(); }

    void openGroup()
    {
        // Very deep nesting shares the innermost state instead of growing without bound.
        if (m_groups.size() >= kMaxDepth) {
            ++m_overflow;
            return;
        }
        m_groups.push_back(top());
    }

    void closeGroup()
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (m_groups.size() > 1) {
            if (top().dest == Destination::FontTable)
                finishFontEntry();
            m_groups.pop_back();
        }
        // A stray closing brace at the outermost level is ignored.
    }

    qint64 readNumber(bool* present)
    {
        bool negative = false;
        const qsizetype n = m_in.size();
        if (m_pos < n && m_in[m_pos] == '-' && m_pos + 1 < n && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        qint64 value = 0;
        *present = false;
        while (m_pos < n && isDigit(m_in[m_pos])) {
            *present = true;
            if (value < 100000000000LL)
                value = value * 10 + (m_in[m_pos] - '0');
            ++m_pos;
        }
        return negative ? -value : value;
    }

    void controlSequence()
    {
        const qsizetype n = m_in.size();
        if (m_pos >= n)
            return;
        const char c = m_in[m_pos];
        if (!isLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        const qsizetype start = m_pos;
        while (m_pos < n && isLetter(m_in[m_pos]))
            ++m_pos;
        const QByteArrayView word(m_in.constData() + start, std::min<qsizetype>(m_pos - start, 32));
        bool hasParam = false;
        const qint64 param = readNumber(&hasParam);
        if (m_pos < n && m_in[m_pos] == ' ')
            ++m_pos;
        if (word == "bin") {
            // Binary data of a picture or object: skipped whole, whatever it holds.
            m_pos += std::min<qint64>(std::max<qint64>(param, 0), n - m_pos);
            return;
        }
        if (m_skipChars > 0 && top().dest == Destination::Text && word != "par") {
            --m_skipChars;
            return;
        }
        controlWord(word, hasParam, param);
    }

    void controlSymbol(char c)
    {
        switch (c) {
        case '\'': {
            int value = 0, digits = 0;
            while (digits < 2 && m_pos < m_in.size() && m51::HexDigit(m_in[m_pos]) >= 0) {
                value = value * 16 + m51::HexDigit(m_in[m_pos++]);
                ++digits;
            }
            if (digits > 0) // an escape without its digits stands for nothing
                byteOfText(uchar(value), true);
            return;
        }
        case '*':
            top().dest = Destination::Skip;
            return;
        case '\\': case '{': case '}':
            byteOfText(uchar(c), true);
            return;
        case '~': character(u'\u00A0'); return;
        case '_': character(u'\u2011'); return;
        case '\r': case '\n':
            if (top().dest == Destination::Text)
                endParagraph();
            return;
        default:
            return; // \- \: \| and the rest carry nothing shown
        }
    }

    void controlWord(QByteArrayView w, bool hasParam, qint64 param)
    {
        Group& g = top();
        const bool on = !hasParam || param != 0;
        const int p = clampInt(param, -1000000, 1000000);

        if (g.dest == Destination::Skip)
            return;
        if (w == "fonttbl") { g.dest = Destination::FontTable; return; }
        if (w == "colortbl") { g.dest = Destination::ColorTable; m_colorPending = false; return; }
        if (isSkippedDestination(w)) { g.dest = Destination::Skip; return; }
        if (w == "ansicpg") { if (p > 0) m_ansiCodePage = p; return; }
        if (w == "deff") { m_defaultFont = p; return; }
        if (w == "uc") { g.unicodeSkip = clampInt(param, 0, 1000); return; }

        if (g.dest == Destination::FontTable) {
            if (w == "f") { finishFontEntry(); m_fontNumber = p; m_fontEntry = FontEntry{}; m_inFontEntry = true; }
            else if (w == "fcharset") m_fontEntry.charset = p;
            else if (w == "fmodern") m_fontEntry.hint = QFont::TypeWriter;
            else if (w == "froman") m_fontEntry.hint = QFont::Serif;
            else if (w == "fswiss") m_fontEntry.hint = QFont::SansSerif;
            else if (w == "fscript") m_fontEntry.hint = QFont::Cursive;
            else if (w == "fdecor") m_fontEntry.hint = QFont::Decorative;
            else if (w == "fprq") m_fontEntry.fixedPitch = (p == 1);
            return;
        }
        if (g.dest == Destination::ColorTable) {
            const int v = clampInt(param, 0, 255);
            if (w == "red") { m_color.setRed(v); m_colorPending = true; }
            else if (w == "green") { m_color.setGreen(v); m_colorPending = true; }
            else if (w == "blue") { m_color.setBlue(v); m_colorPending = true; }
            return;
        }

        CharState& ch = g.ch;
        if (w == "par" || w == "sect") endParagraph();
        else if (w == "line") character(u'\u2028');
        else if (w == "tab") character(u'\t');
        else if (w == "u") {
            int code = clampInt(param, -32768, 65535);
            if (code < 0) code += 65536;
            character(char16_t(code));
            m_skipChars = g.unicodeSkip;
        }
        else if (w == "plain") { ch = CharState{}; }
        else if (w == "b") ch.bold = on;
        else if (w == "i") ch.italic = on;
        else if (w == "ulnone") ch.underline = false;
        else if (w == "ul" || w == "uld" || w == "uldash" || w == "uldb" || w == "ulw" || w == "ulwave"
                 || w == "ulth" || w == "uldashd" || w == "uldashdd")
            ch.underline = on;
        else if (w == "strike") ch.strike = on;
        else if (w == "fs") ch.fontSize = (hasParam && p >= 2) ? std::min(p, 3276) : 24;
        else if (w == "f") ch.font = p;
        else if (w == "cf") ch.color = std::max(p, 0);
        else if (w == "highlight" || w == "cb") ch.highlight = std::max(p, 0);
        else if (w == "super") ch.vertical = 1;
        else if (w == "sub") ch.vertical = -1;
        else if (w == "nosupersub") ch.vertical = 0;
        else if (w == "pard") g.par = ParState{};
        else if (w == "ql") g.par.alignment = 0;
        else if (w == "qc") g.par.alignment = 1;
        else if (w == "qr") g.par.alignment = 2;
        else if (w == "qj") g.par.alignment = 3;
        else if (w == "li") g.par.leftIndent = clampInt(param, -31680, 31680);
        else if (w == "ri") g.par.rightIndent = clampInt(param, -31680, 31680);
        else if (w == "fi") g.par.firstIndent = clampInt(param, -31680, 31680);
        else if (w == "sb") g.par.spaceBefore = clampInt(param, 0, 31680);
        else if (w == "sa") g.par.spaceAfter = clampInt(param, 0, 31680);
        else if (w == "emdash") character(u'\u2014');
        else if (w == "endash") character(u'\u2013');
        else if (w == "bullet") character(u'\u2022');
        else if (w == "lquote") character(u'\u2018');
        else if (w == "rquote") character(u'\u2019');
        else if (w == "ldblquote") character(u'\u201C');
        else if (w == "rdblquote") character(u'\u201D');
        else if (w == "emspace") character(u'\u2003');
        else if (w == "enspace") character(u'\u2002');
        // anything else is a word this reader does not need
    }

    // One byte of text or a \'hh escape, decoded in the code page of the current font.
    void byteOfText(uchar b, bool escaped = false)
    {
        Group& g = top();
        switch (g.dest) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            if (b == ';' && !escaped) {
                finishFontEntry();
            } else {
                m_fontNameBytes.append(char(b));
                m_inFontEntry = true;
            }
            return;
        case Destination::ColorTable:
            if (b == ';') {
                m_colors.push_back(m_colorPending ? m_color : QColor());
                m_color = QColor(0, 0, 0);
                m_colorPending = false;
            }
            return;
        case Destination::Text:
            break;
        }
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        character(codePage(textCodePage(g.ch.font)).toUnicode[b]);
    }

    int textCodePage(int font) const
    {
        const auto entry = m_fonts.constFind(font < 0 ? m_defaultFont : font);
        if (entry != m_fonts.constEnd()) {
            const int cp = codePageOfCharset(entry->charset);
            if (cp != 0)
                return cp;
        }
        return m_ansiCodePage;
    }

    void finishFontEntry()
    {
        if (!m_inFontEntry)
            return;
        const int cp = codePageOfCharset(m_fontEntry.charset);
        const CodePage& page = codePage(cp != 0 ? cp : m_ansiCodePage);
        QString decoded;
        for (char b : std::as_const(m_fontNameBytes))
            decoded.append(QChar(page.toUnicode[uchar(b)]));
        m_fontEntry.name = decoded.trimmed();
        if (!m_fonts.contains(m_fontNumber))
            m_fonts.insert(m_fontNumber, m_fontEntry);
        m_fontNameBytes.clear();
        m_fontEntry = FontEntry{};
        m_inFontEntry = false;
    }

    void character(char16_t c)
    {
        // Control characters other than the tab are no text of a document.
        if (top().dest != Destination::Text || (c < 0x20 && c != '\t'))
            return;
        if (m_needBlock) {
            flush();
            m_cursor.insertBlock(blockFormat(top().par), charFormat(top().ch));
            m_needBlock = false;
        }
        if (!m_run.isEmpty() && !(m_runState == top().ch))
            flush();
        if (m_run.isEmpty())
            m_runState = top().ch;
        m_run.append(QChar(c));
    }

    void flush()
    {
        if (m_run.isEmpty())
            return;
        // A surrogate without its partner would upset the layout: shown as a replacement character.
        for (qsizetype k = 0; k < m_run.size(); ++k) {
            const QChar c = m_run.at(k);
            if (c.isHighSurrogate() && k + 1 < m_run.size() && m_run.at(k + 1).isLowSurrogate())
                ++k;
            else if (c.isSurrogate())
                m_run[k] = QChar(QChar::ReplacementCharacter);
        }
        m_cursor.insertText(m_run, charFormat(m_runState));
        m_run.clear();
    }

    void endParagraph()
    {
        flush();
        if (m_needBlock)
            m_cursor.insertBlock();
        m_cursor.setBlockFormat(blockFormat(top().par));
        m_cursor.setBlockCharFormat(charFormat(top().ch));
        m_needBlock = true;
    }

    void finish()
    {
        flush();
        if (!m_needBlock) {
            m_cursor.setBlockFormat(blockFormat(top().par));
            if (m_cursor.block().length() <= 1)
                m_cursor.setBlockCharFormat(charFormat(top().ch));
        }
    }

    QTextCharFormat charFormat(const CharState& s) const
    {
        QTextCharFormat f;
        f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.italic);
        f.setFontUnderline(s.underline);
        f.setFontStrikeOut(s.strike);
        f.setFontPointSize(s.fontSize / 2.0);
        const auto entry = m_fonts.constFind(s.font < 0 ? m_defaultFont : s.font);
        if (entry != m_fonts.constEnd() && !entry->name.isEmpty()) {
            f.setFontFamilies({entry->name});
            if (entry->hint != QFont::AnyStyle)
                f.setFontStyleHint(entry->hint);
            if (entry->fixedPitch)
                f.setFontFixedPitch(true);
        }
        if (s.color > 0 && s.color < int(m_colors.size()) && m_colors[s.color].isValid())
            f.setForeground(m_colors[s.color]);
        if (s.highlight > 0 && s.highlight < int(m_colors.size()) && m_colors[s.highlight].isValid())
            f.setBackground(m_colors[s.highlight]);
        if (s.vertical != 0)
            f.setVerticalAlignment(s.vertical > 0 ? QTextCharFormat::AlignSuperScript
                                                  : QTextCharFormat::AlignSubScript);
        return f;
    }

    static QTextBlockFormat blockFormat(const ParState& p)
    {
        QTextBlockFormat f;
        static const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
        f.setAlignment(alignments[p.alignment]);
        if (p.leftIndent) f.setLeftMargin(twipsToPixels(p.leftIndent));
        if (p.rightIndent) f.setRightMargin(twipsToPixels(p.rightIndent));
        if (p.firstIndent) f.setTextIndent(twipsToPixels(p.firstIndent));
        if (p.spaceBefore) f.setTopMargin(twipsToPixels(p.spaceBefore));
        if (p.spaceAfter) f.setBottomMargin(twipsToPixels(p.spaceAfter));
        return f;
    }

    static constexpr size_t kMaxDepth = 4096;

    const QByteArray& m_in;
    qsizetype m_pos = 0;
    QTextCursor m_cursor;
    std::vector<Group> m_groups;
    size_t m_overflow = 0;
    int m_skipChars = 0;
    int m_ansiCodePage = 1250;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontNumber = 0;
    FontEntry m_fontEntry;
    QByteArray m_fontNameBytes;
    bool m_inFontEntry = false;
    std::vector<QColor> m_colors;
    QColor m_color{0, 0, 0};
    bool m_colorPending = false;
    QString m_run;
    CharState m_runState;
    bool m_needBlock = false;
};

} // namespace

bool readRtf(const QByteArray& rtf, QTextDocument* document)
{
    if (!document)
        return false;
    qsizetype start = 0;
    if (rtf.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < rtf.size() && (rtf[start] == ' ' || rtf[start] == '\t' || rtf[start] == '\r' || rtf[start] == '\n'))
        ++start;
    if (rtf.mid(start, 5) != "{\\rtf")
        return false;

    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    const QByteArray body = rtf.sliced(start);
    Reader reader(body, document);
    reader.run();
    reader.applyDefaultFont(document);
    document->setUndoRedoEnabled(undo);
    document->setModified(false);
    return true;
}
