#pragma once
// Two controls of the main window: the radio group of the line settings and
// the transmit box that reports typed bytes.

#include <QByteArray>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <functional>

class QButtonGroup;

// A group of radio buttons with one selected index, like the platform's radio
// group: choosing an item, by the user or by setting ItemIndex, raises Click.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);
    int ItemIndex() const { return m_index; }
    // An index outside the items leaves the selection as it is.
    void SetItemIndex(int index);
    int count() const;  // the items and the "other" item, if any
    QStringList items() const;  // the fixed items' captions
    // Adds one more item after the fixed ones, with a field beside it that
    // holds its value (a bit rate typed by the user); choosing it is index
    // items().size().
    void addOtherItem(const QString& caption, QWidget* field);

signals:
    void Click();

private:
    QButtonGroup* m_buttons;
    int m_index = -1;
    int m_fixed = 0;
};

// The transmit box: an editable text box that reports every key press that
// stands for bytes before it edits the text.
class TTxMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TTxMemo(QWidget* parent = nullptr) : QPlainTextEdit(parent) {}
    std::function<void(const QByteArray&)> OnKeyPress;
    // What the Enter key sends (CR, LF or CR LF).
    QByteArray EnterBytes = QByteArray(1, 13);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
