#pragma once
// The simulated board's serial line. s51 connects its UART to a file; the
// debugger hands it one pseudo-terminal (the "board" side) and offers a second
// one (the "user" side) whose path a terminal program opens like a real COM
// port. Bytes the program sends go to the user side and to received(); bytes
// typed in the terminal program or given to send() go to the program.

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

    // Bytes to the simulated program's UART input.
    void send(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);  // sent by the program

private:
    void readBoard();
    void readUser();

    int m_boardMaster = -1, m_boardSlave = -1;
    int m_userMaster = -1, m_userSlave = -1;
    QString m_boardPath, m_userPath, m_error;
    QSocketNotifier* m_boardNotifier = nullptr;
    QSocketNotifier* m_userNotifier = nullptr;
};

} // namespace m51dbg
