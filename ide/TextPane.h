#pragma once
// The plain-text panes of the editor and the viewers: their look (a fixed
// Courier font, colours, no word wrap) and their text as code page 1250 lines.
// A pane's lines are its paragraphs; an empty pane has no lines.

#include <QColor>
#include <QFont>
#include <QString>
#include <string>
#include <vector>

class QPlainTextEdit;

// Courier New (or the system's closest fixed font) at a pixel height.
QFont courierFont(int pixelHeight, bool bold);

void styleTextPane(QPlainTextEdit* pane, const QColor& background, const QColor& text, const QFont& font);

std::vector<std::string> paneLines(const QPlainTextEdit* pane);
QString paneText(const QPlainTextEdit* pane);   // '\n' between lines
// Replaces the whole text in one step (fast for long texts).
void setPaneText(QPlainTextEdit* pane, const QString& text);
void setPaneLines(QPlainTextEdit* pane, const std::vector<std::string>& lines);

// Loads a text file into the pane; FileError when it cannot be read, and then
// the pane keeps its text.
void loadPaneFile(QPlainTextEdit* pane, const QString& path);
// Writes the pane's lines, each ended by CR LF; FileError when that fails.
void savePaneFile(const QPlainTextEdit* pane, const QString& path);
