#pragma once
// The receive box's find bar (Ctrl+F): the text, Next and Previous (Enter and
// Shift+Enter, F3 and Shift+F3), Match case, and a note of what the last look
// found. It only asks; the window searches the store and tells it the result.

#include "terminal/core/ReceiveFind.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TFindBar : public QWidget {
    Q_OBJECT
public:
    explicit TFindBar(QWidget* parent = nullptr);

    // Shows the bar with the text selected, ready for typing.
    void open();
    // The outcome of the last look, shown beside the buttons.
    void showResult(const std::optional<TFindHit>& hit);
    QString text() const;

signals:
    void findRequested(const TFindQuery& query);
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void request(bool forward);

    QLineEdit* m_edit;
    QPushButton* m_next;
    QPushButton* m_previous;
    QCheckBox* m_case;
    QLabel* m_note;
};
