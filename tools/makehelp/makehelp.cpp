// Writes Zelvar's help file (rich text) from its plain-text source.
// Usage: zelvar_makehelp <Zelvar-help.txt> <Zelvar.rtf>
//
// The source is a small line markup, chosen so the help stays easy to edit:
//   #! text      the title, centred
//   # text       a chapter heading        ## text   a section     ### text  a subsection
//   ```          starts or ends an example block: its lines are kept as they are, monospaced
//                ("```m51" marks M51 lines with their assembly in a second column, each line
//                its own example; "```m51 program" one program: the help's tests compile them)
//   - text       a bullet item
//   other lines  body text; lines join into one paragraph until a blank line
// Inside body text, `code` is monospaced and **text** is bold.
#include "ide/RtfCodec.h"

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

namespace {

const QString kBodyFont = QStringLiteral("Arial");
const QString kCodeFont = QStringLiteral("Courier New");

QTextCharFormat bodyFormat(qreal size = 10.5)
{
    QTextCharFormat f;
    f.setFontFamilies({kBodyFont});
    f.setFontStyleHint(QFont::SansSerif);
    f.setFontPointSize(size);
    return f;
}

QTextCharFormat codeFormat()
{
    QTextCharFormat f;
    f.setFontFamilies({kCodeFont});
    f.setFontStyleHint(QFont::TypeWriter);
    f.setFontFixedPitch(true);
    f.setFontPointSize(10);
    f.setForeground(QColor(0x40, 0x00, 0x00));
    return f;
}

class Builder {
public:
    explicit Builder(QTextDocument* doc) : m_cursor(doc) {}

    void heading(const QString& text, int level)
    {
        QTextBlockFormat b;
        static const qreal before[] = {0, 18, 12, 8};
        static const qreal sizes[] = {20, 16, 13, 11.5};
        static const QColor colours[] = {QColor(0, 0, 96), QColor(0, 0, 96), QColor(0, 64, 96), QColor(0, 0, 0)};
        b.setTopMargin(before[level]);
        b.setBottomMargin(level == 0 ? 10 : 4);
        if (level == 0)
            b.setAlignment(Qt::AlignHCenter);
        QTextCharFormat f = bodyFormat(sizes[level]);
        f.setFontWeight(QFont::Bold);
        f.setForeground(colours[level]);
        startBlock(b, f);
        m_cursor.insertText(text, f);
    }

    void paragraph(const QString& text, bool bullet)
    {
        QTextBlockFormat b;
        b.setBottomMargin(4);
        if (bullet) {
            b.setLeftMargin(24);
            b.setTextIndent(-12);
        }
        startBlock(b, bodyFormat());
        if (bullet)
            m_cursor.insertText(QString(QChar(0x2022)) + QChar(' '), bodyFormat());
        inline_(text);
    }

    void code(const QStringList& lines)
    {
        for (int k = 0; k < lines.size(); ++k) {
            QTextBlockFormat b;
            b.setLeftMargin(24);
            b.setTopMargin(k == 0 ? 2 : 0);
            b.setBottomMargin(k == lines.size() - 1 ? 6 : 0);
            startBlock(b, codeFormat());
            m_cursor.insertText(lines[k], codeFormat());
        }
    }

private:
    void startBlock(const QTextBlockFormat& b, const QTextCharFormat& f)
    {
        if (m_first) {
            m_cursor.setBlockFormat(b);
            m_cursor.setBlockCharFormat(f);
            m_first = false;
        } else {
            m_cursor.insertBlock(b, f);
        }
    }

    // Body text with `code` and **bold** spans.
    void inline_(const QString& text)
    {
        QString run;
        bool bold = false, code = false;
        auto flush = [&] {
            if (run.isEmpty())
                return;
            QTextCharFormat f = code ? codeFormat() : bodyFormat();
            if (bold)
                f.setFontWeight(QFont::Bold);
            m_cursor.insertText(run, f);
            run.clear();
        };
        for (qsizetype k = 0; k < text.size(); ++k) {
            if (text[k] == '`') {
                flush();
                code = !code;
            } else if (!code && text.mid(k, 2) == "**") {
                flush();
                bold = !bold;
                ++k;
            } else {
                run += text[k];
            }
        }
        flush();
    }

    QTextCursor m_cursor;
    bool m_first = true;
};

void build(const QStringList& source, QTextDocument* doc)
{
    Builder out(doc);
    QString para;
    bool bullet = false;
    auto endPara = [&] {
        if (!para.isEmpty())
            out.paragraph(para, bullet);
        para.clear();
        bullet = false;
    };
    for (int k = 0; k < source.size(); ++k) {
        const QString line = source[k];
        const QString t = line.trimmed();
        if (t.startsWith("```")) {
            endPara();
            QStringList lines;
            for (++k; k < source.size() && !source[k].trimmed().startsWith("```"); ++k)
                lines << source[k];
            out.code(lines);
        } else if (t.isEmpty()) {
            endPara();
        } else if (t.startsWith("#! ")) {
            endPara();
            out.heading(t.mid(3), 0);
        } else if (t.startsWith('#')) {
            endPara();
            const int level = int(t.indexOf(' '));
            out.heading(t.mid(level + 1), std::clamp(level, 1, 3));
        } else if (t.startsWith("- ")) {
            endPara();
            para = t.mid(2);
            bullet = true;
        } else {
            para += para.isEmpty() ? t : QStringLiteral(" ") + t;
        }
    }
    endPara();
}

} // namespace

int main(int argc, char** argv)
{
    // A build tool: it needs fonts, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: zelvar_makehelp <Zelvar-help.txt> <Zelvar.rtf>\n";
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << "cannot read " << argv[1] << "\n";
        return 1;
    }
    QTextDocument doc;
    doc.setDefaultFont(QFont(kBodyFont, 10));
    build(QString::fromUtf8(in.readAll()).split('\n'), &doc);

    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(writeRtf(&doc)) < 0 || !out.commit()) {
        QTextStream(stderr) << "cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
