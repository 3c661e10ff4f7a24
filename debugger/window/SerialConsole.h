#pragma once
// The simulator's Serial port pane: where a terminal program reaches the
// simulated serial line, the console of what the program sent (printable
// text as it is, other bytes as <hex>), and the bar that sends text, bytes
// or a file to it. Cleared for each new program.

#include "debugger/DebugEngine.h"

#include <QGroupBox>

class QLabel;
class QPlainTextEdit;

namespace m51dbg {

class SerialConsole : public QGroupBox {
    Q_OBJECT
public:
    explicit SerialConsole(DebugEngine* engine, QWidget* parent = nullptr);

signals:
    void message(const QString& text);  // what the send bar has to say

private:
    void append(const QByteArray& bytes);
    void showPath();

    DebugEngine* m_engine;
    QLabel* m_path;
    QPlainTextEdit* m_console;
    bool m_afterCr = false;
};

} // namespace m51dbg
