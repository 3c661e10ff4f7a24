#pragma once
// THistoryComboBox: an editable combo box whose drop-down list is a history of
// earlier texts, kept in the per-user store below Software\Key as the values
// H0, H1, ... (newest first). The list is loaded once and written only when
// the user saves (SaveHistory); choosing an entry puts it into the edit text.

#include <QComboBox>

class THistoryComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit THistoryComboBox(QWidget* parent = nullptr);

    QString Key() const { return m_key; }
    void SetKey(const QString& key) { m_key = key; }
    int MaxHistoryLength() const { return m_maxHistoryLength; }
    void SetMaxHistoryLength(int value) { m_maxHistoryLength = value; }

    QString Text() const { return currentText(); }
    void SetText(const QString& text) { setEditText(text); }
    QStringList History() const;

    // Empties list and text and reads the stored history (nothing when Key is empty).
    void LoadHistory();
    // Adds the edit text to the history and writes the whole list.
    void SaveHistory();
    void AddToHistory(const QString& text);

signals:
    // Enter or Return was pressed in the edit field (once per press).
    void entered();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHistory(const QStringList& list);
    QString m_key;
    int m_maxHistoryLength = 7;
};
