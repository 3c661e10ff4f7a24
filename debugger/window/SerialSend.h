#pragma once
// What the serial console sends to the simulated board: a line of text (with
// or without CR), bytes typed in hexadecimal ("0D 0A", "0D0A", "00", "0DH,0AH")
// or a file. SerialSendBar is the row of controls under the console;
// ParseHexBytes the one place that reads hexadecimal bytes.

#include "debugger/DebugEngine.h"

#include <QFile>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace m51dbg {

struct HexBytes {
    QByteArray bytes;
    QString error;  // empty when every token was a byte
};
// Bytes separated by spaces or commas; a token of an even number of digits is
// as many bytes ("0D0A"), one digit is one byte, 0x before or H after makes it
// one number up to 0FFH.
HexBytes ParseHexBytes(const QString& text);

class SerialSendBar : public QWidget {
    Q_OBJECT
public:
    enum class Mode { TextCr, Text, Hex };
    SerialSendBar(DebugEngine* engine, QWidget* parent = nullptr);

    void setMode(Mode mode);
    // Sends the file in pieces as the simulated line takes them; false when it cannot be read.
    bool sendFile(const QString& path);
    bool isSendingFile() const { return m_file.isOpen(); }

signals:
    void clearRequested();
    void message(const QString& text);

private:
    void sendInput();
    void sendNextPiece();
    void stopFile(const QString& text);

    DebugEngine* m_engine;
    QComboBox* m_mode;
    QLineEdit* m_input;
    QPushButton* m_sendFile;
    QLabel* m_progress;
    QFile m_file;
    QTimer m_pace;
    qint64 m_sent = 0;
};

} // namespace m51dbg
