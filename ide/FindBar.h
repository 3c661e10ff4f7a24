#pragma once
// Find and Replace for a code pane, as a bar under the text: Ctrl+F
// opens it for finding (with the selected text as the needle), Ctrl+H with
// the replace row as well; Enter and F3 find the next match, Shift+Enter and
// Shift+F3 the previous one, the search going round the end of the text; Esc
// closes the bar and gives the text back the focus. "Replace" replaces the
// current match and moves on, "All" replaces every match in one undo step.
// With "Regex" the needle is a regular expression and the replacement may
// name its groups (\1). A needle that is not found colours the field red.

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class CodeEditor;
class QToolButton;

class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(CodeEditor* pane, QWidget* parent = nullptr);

    QLineEdit* findField() const { return m_find; }
    QLineEdit* replaceField() const { return m_replace; }
    QCheckBox* matchCase() const { return m_matchCase; }
    QCheckBox* wholeWords() const { return m_wholeWords; }
    QCheckBox* regularExpression() const { return m_regex; }
    QLabel* status() const { return m_status; }

    // Shows the bar (with the replace row when `replace`), the pane's
    // selection (within one line) as the needle, the focus in the find field.
    void open(bool replace);
    void dismiss();
    bool replaceShown() const;

    // Selects the next / previous match from the caret; false when there is none.
    bool findNext();
    bool findPrevious();
    // Replaces the selected match (if the selection is one) and finds the next.
    bool replaceOne();
    // Replaces every match; returns how many.
    int replaceAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool find(bool backward);
    bool selectionIsMatch() const;
    void showFound(bool found);

    CodeEditor* m_pane;
    QLineEdit* m_find;
    QLineEdit* m_replace;
    QCheckBox* m_matchCase;
    QCheckBox* m_wholeWords;
    QCheckBox* m_regex;
    QWidget* m_replaceRow;
    QLabel* m_status;
};
