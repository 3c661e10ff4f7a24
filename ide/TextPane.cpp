#include "ide/TextPane.h"

#include "ide/CodeEditor.h"
#include "common/Cp1250.h"
#include "ide/SyntaxLexer.h"
#include "ide/TextFiles.h"

#include <QFont>
#include <QPalette>

QFont courierFont(int pixelHeight, bool bold)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void styleTextPane(CodeEditor* pane, QsciLexer* lexer, const QColor& background, const QColor& text, const QFont& font)
{
    pane->setLexer(lexer);
    pane->setPaper(background);
    pane->setColor(text);
    pane->setMarginsFont(lexer->defaultFont(0));
    // The widget's own font and palette tell the look too (dialogs, tool tips).
    pane->QWidget::setFont(font);
    QPalette palette = pane->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Text, text);
    }
    pane->setPalette(palette);
    pane->setAnnotationFont(lexer->defaultFont(0));
    pane->setCaretForegroundColor(text);
}

CodeEditor::Colours viewerColours()
{
    CodeEditor::Colours colours;
    colours.gutter = QColor(172, 190, 172);
    colours.number = QColor(45, 65, 45);
    colours.currentLine = QColor(214, 228, 214);
    colours.executionLine = QColor(255, 236, 140);
    colours.errorLine = QColor(255, 205, 205);
    colours.annotationText = QColor(120, 0, 0);
    colours.annotationPaper = QColor(255, 225, 225);
    colours.heat = QColor(255, 200, 120);
    return colours;
}

PaneTheme m51Theme()
{
    return {QColor(64, 0, 64), QColor(0, 255, 255), M51Lexer::defaultPalette(), CodeEditor::Colours()};
}

PaneTheme asmTheme()
{
    return {QColor(194, 211, 194), QColor(0, 0, 0), Asm51Lexer::defaultPalette(), viewerColours()};
}

QString paneText(const CodeEditor* pane)
{
    return pane->text();
}

std::vector<std::string> paneLines(const CodeEditor* pane)
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

void setPaneText(CodeEditor* pane, const QString& text)
{
    pane->setPlainText(text);
}

void setPaneLines(CodeEditor* pane, const std::vector<std::string>& lines)
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

QString loadPaneFile(CodeEditor* pane, const QString& path)
{
    const FileRead file = readFileBytes(path);
    if (file.ok())
        setPaneText(pane, textFromFileBytes(file.bytes));
    return file.error;
}

QString savePaneFile(const CodeEditor* pane, const QString& path)
{
    return writeFileBytes(path, fileBytesFromText(paneText(pane)));
}
