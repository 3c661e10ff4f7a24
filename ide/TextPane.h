#pragma once
// The code panes of the editor and the viewers: their look (a fixed Courier
// font, colours, no word wrap) and their text as code page 1250 lines. An
// empty pane has no lines.

#include "ide/CodeEditor.h"
#include "ide/SyntaxLexer.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <string>
#include <vector>

// Courier New (or the system's closest fixed font) at a pixel height.
QFont courierFont(int pixelHeight, bool bold);

// Gives the pane its lexer (which carries the background, text colour and
// font) and matching margins, caret and selection.
void styleTextPane(CodeEditor* pane, QsciLexer* lexer, const QColor& background, const QColor& text,
                   const QFont& font);

// The colours of a kind of code pane: paper, plain text, the syntax colours
// and the shades a line gets (caret line, execution line, error line). Every
// colour of text is readable on every shade of its theme: a contrast of 4.5:1
// at least (WCAG AA).
struct PaneTheme {
    QColor paper;
    QColor text;
    SyntaxLexer::Palette syntax;
    CodeEditor::Colours colours;
};
// M51 sources: light colours on dark purple.
PaneTheme m51Theme();
// Assembly: the ASM and LST windows and an assembly source, dark on light grey-green.
PaneTheme asmTheme();

// The margins and marks of the ASM and LST windows, on their light background.
CodeEditor::Colours viewerColours();

std::vector<std::string> paneLines(const CodeEditor* pane);
QString paneText(const CodeEditor* pane);   // '\n' between lines
// Replaces the whole text in one step (fast for long texts).
void setPaneText(CodeEditor* pane, const QString& text);
void setPaneLines(CodeEditor* pane, const std::vector<std::string>& lines);

// Loads a text file into the pane. Empty when done, else the file error, and
// then the pane keeps its text.
[[nodiscard]] QString loadPaneFile(CodeEditor* pane, const QString& path);
// Writes the pane's lines, each ended by CR LF. Empty when done, else the
// file error.
[[nodiscard]] QString savePaneFile(const CodeEditor* pane, const QString& path);
