#pragma once
// The source editor `Ed`. It holds the text of the current source file, and its
// caption is that file's full path (empty for an untitled text): every command
// that needs the current file reads the caption. It offers a text search and
// the go-to-line operation the main window's lists use.
//
// Positions are kept in line terms: a line is one paragraph of the text pane,
// so the rule that a line break counts as two characters needs no counting.

#include "CodeEditor.h"
#include "Compiler.h"

#include <QSet>
#include <QWidget>
#include <string>
#include <vector>

class FindBar;
class M51Highlighter;
class QLabel;
class QLineEdit;
class TPlacement;
class QPushButton;
class QTimer;

class TEd : public QWidget {
    Q_OBJECT
public:
    explicit TEd(QWidget* parent = nullptr);

    // The first-start width: an 80-column line of the text's font fits.
    static int designWidth();
    // First-start places of the editor and of the viewers right of it, as
    // offsets from the top left of the screen: side by side, below the main
    // window and the Macro window (355 high at the top, and a title bar).
    static constexpr int FirstTop = 8 + 355 + 40;
    static int firstLeftOfViewers();

    TPlacement* PL; // window placement, section "Editor"

    QWidget* Panel1;
    QLineEdit* Edit1;       // search text, hint "Hledaný text"
    QPushButton* Button1;   // "Search"
    QPushButton* Next;      // "Next"
    CodeEditor* M;          // the source text: gutter, markers, caret line
    M51Highlighter* highlighter;
    FindBar* findBar;       // Find and Replace (Ctrl+F, Ctrl+H)
    QLabel* caretStatus;    // "Line 13, Column 5" and the caret line's error

    // The 0-based line where the next search begins.
    int SearchStart = 0;

    // Selects line n (0-based) and brings it to the middle of the pane; 0 and
    // lines beyond the end move nothing.
    void GoToLine(int n);
    // The 0-based index of the caret's line, plus 1 (1 for an empty text).
    // It completes a text still being loaded, so that lines inserted right
    // after the caret's line (the snippet store) land there.
    int CaretLine();
    // "Search" (next == false) starts at line 0, "Next" where the last match
    // left off. The needle and the lines are compared upper-cased (UpperText).
    void Button1Click(bool next);

    // The current file's path, the caption.
    QString fileName() const { return windowTitle(); }

    // The text as code page 1250 lines, and line-wise changes. Each of these
    // first completes a text still being loaded.
    std::vector<std::string> lines();
    int lineCount();
    void saveToFile(const QString& path);

    // Replaces the text ('\n' between lines). A long text is shown at once
    // with its first part, and the rest follows from the event loop in parts,
    // so a large file is on the screen quickly and the window stays usable;
    // everything that reads the whole text completes the load first.
    void setText(const QString& text);
    bool isLoading() const { return m_pendingPos < m_pending.size(); }
    void finishLoading();
    // Inserts lines so that the first lands at line index `index`; an index at
    // or beyond the end appends them after the last line (as the Macro window
    // inserts its snippet, and by the same code).
    void insertLines(int index, const std::vector<std::string>& lines);

    // A compile's lists: each error entry marks its line with the reason as
    // the tool tip (several entries on a line are listed together); the
    // procedure names colour their calls. Entries start with the line index.
    // A failed build's messages tied to source lines mark their lines too,
    // with the message as the reason.
    void showCompileResult(const std::vector<m51::ListEntry>& procBox, const std::vector<m51::ListEntry>& erBox,
                           const std::vector<m51::ListEntry>& buildMessages = {});

    // Window placement, section "Editor": restored at creation, saved at the end.
    void restorePlacement();
    void savePlacement();
    void FormDestroy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadNextPart(qsizetype size);
    void showCaret();
    // Procedure names defined in `text` (PROCEDURE lines), upper-cased.
    static QSet<QString> definedProcedures(QStringView text);

    QString m_pending;          // the text being loaded; m_pendingPos is a '\n'
    qsizetype m_pendingPos = 0;
    QTimer* m_loadTimer;
};
