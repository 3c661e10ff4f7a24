#pragma once
// Platform services of the serial port driver that QSerialPort does not offer:
// line settings it cannot express (read back afterwards, so the driver can tell
// the user what was really applied), exclusive use of a tty, the length of the
// operating system's output queue, synchronous writes straight to the device
// (QSerialPort's own writes wait for the event loop, and the send wait of the
// driver runs on the GUI thread without one) and the detection of a device that
// hung up or vanished.

#include "terminal/SerialPortDrv.h"

#include <QtGlobal>

namespace SerialPortNative {

// The line settings the driver asks for.
struct LineRequest {
    int BaudRate = 9600;
    TComPortDataBits DataBits = db8BITS;
    TComPortStopBits StopBits = sb1BITS;
    TComPortParity Parity = ptNONE;
    bool RtsCts = false;
    bool XonXoff = false;
    bool EnableDTR = true;
    quint16 InBufSize = 2048;
    quint16 OutBufSize = 2048;
};

// Completes what QSerialPort set on the open handle: received parity not
// checked, mark and space parity, RTS/CTS together with XON/XOFF, the flow
// control characters and limits, 1.5 stop bits where the platform has them and
// the queue sizes. Fills `applied` with what the device now really uses and
// returns true; returns false when the platform cannot read the settings back
// (the driver then reports what QSerialPort says).
bool completeSettings(qintptr handle, const LineRequest& request, TEffectiveSettings& applied);

// Keeps other openers away from a tty while it is open here: the kernel's
// exclusive mode (TIOCEXCL, which refuses every other open but the
// super-user's) and an advisory lock on the device (flock, which programs such
// as picocom honour, as the super-user too). Releases both again before
// closing, so the next open here is not refused. False when another program
// holds the advisory lock.
bool setExclusive(qintptr handle, bool on);

// Finds out why opening device failed: missing, not permitted (and the group
// that may use it), or held by another program (and which, where the system
// tells). Leaves oeOther when none of these applies.
void diagnoseOpenFailure(const QString& device, TOpenFailure& failure);

// Bytes waiting in the operating system's output queue, 0 when unknown.
int outputQueued(qintptr handle);

// Outcome of one write straight to the device.
enum class WriteStatus { Progress, Blocked, Failed };

// Writes as much of the block as the device takes at once, without blocking.
// `written` receives the count; Blocked means the device took nothing for now
// (queue full, flow control); Failed means the device is gone.
WriteStatus writeSome(qintptr handle, const char* data, int size, int& written);

// Sleeps until the device can take more output, at most `ms` milliseconds.
// Returns false when the device hung up or vanished.
bool waitWritable(qintptr handle, int ms);

// True when the device reports a hang-up or an error state (the other side of
// a pseudo-terminal closed, a USB adapter pulled).
bool hungUp(qintptr handle);

}  // namespace SerialPortNative
