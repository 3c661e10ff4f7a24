#pragma once
// The help window `Help`, caption "Help": the rich-text help file beside the
// program, which the user may edit. The file is written back at the end of the
// run, and only when the text was changed after loading.

#include <QWidget>

class QTextEdit;
class ProfileStore;
class TPlacement;

class THelp : public QWidget {
    Q_OBJECT
public:
    explicit THelp(const QString& helpFile, QWidget* parent = nullptr, ProfileStore* profile = nullptr);

    TPlacement* PL; // window placement, section "Help"

    QTextEdit* RTF;
    bool HelpChanged = false;

    QString helpFile() const { return m_helpFile; }

    // Loads the help file when it exists (a missing or unreadable one leaves
    // the window empty, with no message) and clears HelpChanged.
    void FormCreate();
    void RTFChange();
    // Writes the help file when the text was changed; "Cannot create file %s"
    // goes to the error handler, and then false.
    bool saveText();
    // Writes the help file through a save file when the text was changed;
    // "Cannot create file %s" otherwise goes to the error handler, and then the
    // placement is not saved.
    void FormDestroy();

    // Window placement, section "Help".
    void restorePlacement();
    void savePlacement();

private:
    QString m_helpFile;
};
