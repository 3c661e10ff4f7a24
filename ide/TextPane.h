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
class QWidget;
class TPlacement;

// Puts a window at its first-start place, an offset from the top left of the
// available screen area (kept on the screen), before any stored placement.
void placeByDefault(QWidget* window, int x, int y);

// Restores the owner's stored placement. A window with no stored placement
// yet keeps the place placeByDefault gave it (its WLeft and WTop), so that on
// a first start the windows lie side by side instead of on top of each other.
void restoreWindowPlacement(TPlacement* placement);
// Saves the owner's placement; "Unable to write to %s" goes to the error
// handler. False when the placement could not be written.
bool saveWindowPlacement(TPlacement* placement);

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
