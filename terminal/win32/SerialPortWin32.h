#pragma once
// The Windows serial port core of the terminal: plain C++ over the Win32
// communications API, without Qt, so that the Windows cross build compiles and
// tests it although there is no Qt for it there. The terminal's driver opens
// the port with QSerialPort and calls these functions on its handle for what
// QSerialPort does not offer (the complete device control block, the queue
// lengths, writes with a bounded wait, hang-up detection, the reason an open
// failed); openPort and the line functions make the core usable on its own.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace SerialPortWin32 {

// Values as the device control block counts them (NOPARITY.., ONESTOPBIT..),
// and as the terminal's own settings number them.
enum class Parity : unsigned char { None, Odd, Even, Mark, Space };
enum class StopBits : unsigned char { One, OneAndHalf, Two };

// The line settings asked for.
struct LineSettings {
    unsigned long BaudRate = 9600;  // 0 keeps the device's current bit rate
    int DataBits = 8;               // 5..8
    StopBits Stop = StopBits::One;
    Parity ParityMode = Parity::None;
    bool RtsCts = false;
    bool XonXoff = false;
    bool EnableDTR = true;
    unsigned InBufSize = 2048;
    unsigned OutBufSize = 2048;
};

// The line settings the device really uses.
struct AppliedSettings {
    unsigned long BaudRate = 0;
    int DataBits = 8;
    StopBits Stop = StopBits::One;
    Parity ParityMode = Parity::None;
    bool RtsCts = false;
    bool XonXoff = false;
    bool ParityChecked = false;  // received parity errors detected
};

// The device control block for `settings`, starting from the device's
// `current` one: binary mode, received parity not checked (every byte reaches
// the window as it came), DTR as asked, RTS/CTS and XON/XOFF flow control as
// asked, no error or event characters.
DCB makeDcb(const DCB& current, const LineSettings& settings);
AppliedSettings appliedFrom(const DCB& dcb);

// Writes the device control block and the queue sizes and reads back what the
// device took. False when the device's state cannot be read.
bool applySettings(HANDLE port, const LineSettings& settings, AppliedSettings& applied);

// "COM9" -> "\\.\COM9" (COM10 and above need the prefix); a name that already
// is a device path stays as it is.
std::wstring devicePath(std::string_view name);

enum class OpenErrorKind { None, NoSuchDevice, InUse, NotSerial, Other };
struct OpenError {
    OpenErrorKind Kind = OpenErrorKind::None;
    unsigned long Code = 0;  // GetLastError()
    std::string Device;
    std::string SystemText;  // the system's own message for Code
};
// "COM9: no such serial port (...)" for the user or a log.
std::string describe(const OpenError& error);
// The system's message for an error code, without the trailing line break.
std::string systemText(unsigned long code);

// Opens a port by name (COM1, COM12, a device path) for overlapped I/O and
// exclusive use, with reads that return at once; INVALID_HANDLE_VALUE and
// `error` filled when that fails.
HANDLE openPort(std::string_view name, OpenError& error);
void closePort(HANDLE port);

// Reads return at once with what has arrived; a write gives up after
// writeTotalMs (0: no limit).
bool setTimeouts(HANDLE port, unsigned long writeTotalMs);
bool purge(HANDLE port, bool input, bool output);

struct QueueState {
    unsigned long InQueue = 0;   // received, not yet read
    unsigned long OutQueue = 0;  // written, not yet sent
    unsigned long Errors = 0;    // CE_FRAME, CE_OVERRUN, ... since the last call
};
// Also clears the device's error state. False when the device is gone.
bool queueState(HANDLE port, QueueState& state);

enum class WriteStatus { Progress, Blocked, Failed };
// Starts an overlapped write of the block and waits for it at most timeoutMs;
// what the device has not taken by then is cancelled and not counted.
// Blocked: nothing taken for now (queue full, flow control); Failed: the
// device is gone.
WriteStatus writeSome(HANDLE port, const char* data, int size, int& written, unsigned long timeoutMs = 50);
// Waits a moment (at most ms, at most 1 ms) for room; false when the device
// is gone.
bool waitWritable(HANDLE port, int ms);
bool hungUp(HANDLE port);

struct ModemLines {
    bool CTS = false, DSR = false, DCD = false, RI = false;
};
ModemLines modemLinesFrom(unsigned long status);  // MS_CTS_ON, ...
bool readModemLines(HANDLE port, ModemLines& lines);
bool setBreak(HANDLE port, bool on);
bool setDTR(HANDLE port, bool on);
bool setRTS(HANDLE port, bool on);

}  // namespace SerialPortWin32
