#pragma once
// TSklad, the snippet store ("Macro" window): reusable pieces of source text
// kept as *.Mac files in the folder Macro of the program folder. The user picks
// a snippet in the file list FB, sees and edits it in the pane M, inserts it
// into the source after the editor's caret line, saves the pane under the name
// in Edit1 (always as <name>.Mac), or deletes the snippet file named exactly as
// typed. Files are code page 1250 text with CR LF line ends, written through
// a temporary file and a rename, so a failed write leaves the old snippet intact.
//
// The pane loads a snippet when it is clicked in the list; text edited in the
// pane and not saved is replaced only when the user agrees.
//
// Wiring: give it the program folder, then setEditor() with the editor's text
// widget (and, if the editor has one, its own CaretLine). Message boxes go
// through a replaceable function so tests can answer them.

#include <QStringList>
#include <QWidget>
#include <functional>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QToolButton;
class ProfileStore;
class TPlacement;

// Inserts `lines` into `editor` so that the first becomes line `index`
// (0-based) and the rest follow in order; an index at or past the end appends
// them, and an empty editor simply takes them. One undo step; the caret stays.
void InsertLinesAt(QPlainTextEdit* editor, int index, const QStringList& lines);

class TSklad : public QWidget {
    Q_OBJECT
public:
    // Shows `text` with `caption`; with `okCancel` the buttons OK and Cancel,
    // otherwise OK alone. Returns true for OK.
    using MessageBoxFn = std::function<bool(QWidget* parent, const QString& text, const QString& caption, bool okCancel)>;

    // FormCreate: restores the placement (section "Sklad"), creates the store
    // folder when it is missing and lists its snippets.
    explicit TSklad(const QString& programFolder, QWidget* parent = nullptr, ProfileStore* profile = nullptr);
    // Saves the placement when FormDestroy has not done so already.
    ~TSklad() override;
    // Saves the placement (section "Sklad"), once: empty when done, else why
    // it could not be written.
    QString FormDestroy();
    // Hands the placement to the profile store instead, once; the store's
    // owner writes the file.
    void keepPlacement();

    // The editor the snippets go into. `caretLine` gives the 0-based index of
    // the caret's line plus 1; by default it is taken from the widget's caret.
    void setEditor(QPlainTextEdit* editor, std::function<int()> caretLine = {});
    // Or any editor: `insert` puts the lines in as InsertLinesAt does.
    using Inserter = std::function<void(int index, const QStringList& lines)>;
    void setEditor(Inserter insert, std::function<int()> caretLine);
    void setMessageBox(MessageBoxFn messageBox) { m_messageBox = std::move(messageBox); }

    QString StoreFolder() const { return m_storeFolder; }

    QListWidget* FB;
    QToolButton* SpeedButton1; // "Insert to *.M51"
    QLineEdit* Edit1;          // snippet name
    QToolButton* SpeedButton2; // "Save Macro"
    QToolButton* SpeedButton3; // "Delete Macro"
    QPlainTextEdit* M;
    TPlacement* PL1;

public slots:
    void FBClick();
    void SpeedButton1Click(); // insert the pane's lines after the caret line
    void SpeedButton2Click(); // save the pane under the name
    void SpeedButton3Click(); // delete the named snippet
    void refreshList();

private:
    bool message(const QString& text, const QString& caption, bool okCancel);

    QString m_storeFolder;
    bool m_placementSaved = false;
    QPlainTextEdit* m_editor = nullptr;
    Inserter m_insert;
    std::function<int()> m_caretLine;
    MessageBoxFn m_messageBox;
};
