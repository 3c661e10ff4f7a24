#include "TextPane.h"

#include "Cp1250.h"
#include "TextFiles.h"

#include <QFont>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextDocument>

QFont courierFont(int pixelHeight, bool bold)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void styleTextPane(QPlainTextEdit* pane, const QColor& background, const QColor& text, const QFont& font)
{
    QPalette palette = pane->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Text, text);
    }
    // The selection stays visible while another window has the focus.
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    pane->setPalette(palette);
    pane->setFont(font);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pane->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) * 8);
}

QString paneText(const QPlainTextEdit* pane)
{
    // The raw text keeps non-breaking spaces (plain text would turn them into
    // blanks); paragraph and line separators become line ends.
    QString text = pane->document()->toRawText();
    for (QChar& c : text) {
        if (c.unicode() == 0x2029 || c.unicode() == 0x2028)
            c = QLatin1Char('\n');
    }
    return text;
}

std::vector<std::string> paneLines(const QPlainTextEdit* pane)
{
    const QString text = paneText(pane);
    std::vector<std::string> lines;
    if (text.isEmpty())
        return lines;
    const std::string bytes = cp1250::encode(text);
    size_t start = 0;
    while (true) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            lines.emplace_back(bytes, start);
            break;
        }
        lines.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    return lines;
}

void setPaneText(QPlainTextEdit* pane, const QString& text)
{
    pane->setPlainText(text);
}

void setPaneLines(QPlainTextEdit* pane, const std::vector<std::string>& lines)
{
    std::string joined;
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 1;
    joined.reserve(size);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            joined += '\n';
        joined += lines[i];
    }
    pane->setPlainText(cp1250::decode(joined));
}

void loadPaneFile(QPlainTextEdit* pane, const QString& path)
{
    const QByteArray bytes = readFileBytes(path);
    setPaneText(pane, textFromFileBytes(bytes));
}

void savePaneFile(const QPlainTextEdit* pane, const QString& path)
{
    writeFileBytes(path, fileBytesFromText(paneText(pane)));
}
