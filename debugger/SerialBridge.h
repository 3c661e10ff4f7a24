#pragma once
// The simulated board's serial line: a pseudo-terminal (the "user" side)
// whose path a terminal program opens like a real COM port. The engine keeps
// one for its whole life, so the path stays the same across sessions.
//
// s51 connects its UART to a file: with the board outside, the bridge hands
// it a second pseudo-terminal (the "board" side); bytes the program sends go
// to the user side and to received(), bytes typed in the terminal program or
// given to send() go to the program. The built-in core is the board itself:
// it hands the bytes its program sends to deliver(), and takes typed() bytes.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace m51dbg {

class SerialBridge : public QObject {
    Q_OBJECT
public:
    explicit SerialBridge(QObject* parent = nullptr);
    ~SerialBridge() override;

    // Opens both pseudo-terminals; false (and errorString()) when the system
    // has none to give.
    bool open();
    void close();
    bool isOpen() const { return m_boardMaster >= 0; }

    QString boardPath() const { return m_boardPath; }  // for s51 -s
    QString userPath() const { return m_userPath; }    // for the terminal program
    QString errorString() const { return m_error; }

    // Whether the program's UART is on the board side (s51) or in this
    // process (the core: typed() and deliver()).
    void setBoardOutside(bool outside) { m_boardOutside = outside; }

    // Bytes to the simulated program's UART input (board outside).
    void send(const QByteArray& bytes);
    // Bytes the program sent, to the terminal program (board in this process).
    void deliver(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);  // sent by the program (board outside)
    void typed(const QByteArray& bytes);     // from the terminal program (board in this process)

private:
    void readBoard();
    void readUser();

    int m_boardMaster = -1, m_boardSlave = -1;
    int m_userMaster = -1, m_userSlave = -1;
    QString m_boardPath, m_userPath, m_error;
    bool m_boardOutside = true;
    QSocketNotifier* m_boardNotifier = nullptr;
    QSocketNotifier* m_userNotifier = nullptr;
};

} // namespace m51dbg
