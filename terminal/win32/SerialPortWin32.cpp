#include "terminal/win32/SerialPortWin32.h"

#include <algorithm>

namespace SerialPortWin32 {

DCB makeDcb(const DCB& current, const LineSettings& settings)
{
    DCB dcb = current;
    dcb.DCBlength = sizeof(dcb);
    if (settings.BaudRate != 0)
        dcb.BaudRate = settings.BaudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = settings.RtsCts;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = settings.EnableDTR ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = settings.XonXoff;
    dcb.fInX = settings.XonXoff;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = settings.RtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = WORD(settings.InBufSize / 4);
    dcb.XoffLim = 1;
    dcb.ByteSize = BYTE(std::clamp(settings.DataBits, 5, 8));
    dcb.Parity = BYTE(settings.ParityMode);
    dcb.StopBits = BYTE(settings.Stop);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    return dcb;
}

AppliedSettings appliedFrom(const DCB& dcb)
{
    AppliedSettings a;
    a.BaudRate = dcb.BaudRate;
    a.DataBits = dcb.ByteSize;
    a.Stop = dcb.StopBits <= TWOSTOPBITS ? StopBits(dcb.StopBits) : StopBits::One;
    a.ParityMode = dcb.Parity <= SPACEPARITY ? Parity(dcb.Parity) : Parity::None;
    a.RtsCts = dcb.fOutxCtsFlow;
    a.XonXoff = dcb.fOutX && dcb.fInX;
    a.ParityChecked = dcb.fParity;
    return a;
}

bool applySettings(HANDLE port, const LineSettings& settings, AppliedSettings& applied)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port, &dcb))
        return false;
    // What the device refuses shows in the read-back below.
    dcb = makeDcb(dcb, settings);
    ::SetCommState(port, &dcb);
    ::SetupComm(port, settings.InBufSize, settings.OutBufSize);
    if (!::GetCommState(port, &dcb))
        return false;
    applied = appliedFrom(dcb);
    return true;
}

std::wstring devicePath(std::string_view name)
{
    std::wstring wide;
    if (!name.empty()) {
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), nullptr, 0);
        wide.resize(size_t(n));
        ::MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), wide.data(), n);
    }
    if (wide.starts_with(L"\\\\"))
        return wide;
    return L"\\\\.\\" + wide;
}

std::string systemText(unsigned long code)
{
    char* buffer = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n ? std::string(buffer, n) : "error " + std::to_string(code);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string describe(const OpenError& error)
{
    const char* what = "";
    switch (error.Kind) {
    case OpenErrorKind::None: return error.Device + ": open";
    case OpenErrorKind::NoSuchDevice: what = "no such serial port"; break;
    case OpenErrorKind::InUse: what = "the port is in use by another program"; break;
    case OpenErrorKind::NotSerial: what = "not a serial port"; break;
    case OpenErrorKind::Other: what = "cannot open the port"; break;
    }
    std::string text = error.Device + ": " + what;
    if (!error.SystemText.empty())
        text += " (" + error.SystemText + ")";
    return text;
}

namespace {
OpenErrorKind kindOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return OpenErrorKind::NoSuchDevice;
    // A port another program holds answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return OpenErrorKind::InUse;
    default:
        return OpenErrorKind::Other;
    }
}

OpenError failure(std::string_view name, OpenErrorKind kind, DWORD code)
{
    return OpenError{kind, code, std::string(name), systemText(code)};
}
}  // namespace

HANDLE openPort(std::string_view name, OpenError& error)
{
    error = OpenError{OpenErrorKind::None, 0, std::string(name), {}};
    const std::wstring path = devicePath(name);
    const HANDLE port = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error = failure(name, kindOf(code), code);
        return INVALID_HANDLE_VALUE;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port, &dcb)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(port);
        error = failure(name, OpenErrorKind::NotSerial, code);
        return INVALID_HANDLE_VALUE;
    }
    setTimeouts(port, 0);
    return port;
}

void closePort(HANDLE port)
{
    if (port != INVALID_HANDLE_VALUE && port != nullptr)
        ::CloseHandle(port);
}

bool setTimeouts(HANDLE port, unsigned long writeTotalMs)
{
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;  // with both totals 0: return what is there
    t.WriteTotalTimeoutConstant = writeTotalMs;
    return ::SetCommTimeouts(port, &t);
}

bool purge(HANDLE port, bool input, bool output)
{
    DWORD flags = 0;
    if (input)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (output)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    return flags == 0 || ::PurgeComm(port, flags);
}

bool queueState(HANDLE port, QueueState& state)
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(port, &errors, &stat))
        return false;
    state.InQueue = stat.cbInQue;
    state.OutQueue = stat.cbOutQue;
    state.Errors = errors;
    return true;
}

WriteStatus writeSome(HANDLE port, const char* data, int size, int& written, unsigned long timeoutMs)
{
    written = 0;
    if (size <= 0)
        return WriteStatus::Blocked;
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent)
        return WriteStatus::Blocked;
    DWORD count = 0;
    bool ok = ::WriteFile(port, data, DWORD(size), nullptr, &ov);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
        if (::WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0)
            ::CancelIoEx(port, &ov);
        ok = true;
    }
    // Waits for the cancelled write too: `ov` must outlive it.
    const bool done = ok && ::GetOverlappedResult(port, &ov, &count, TRUE);
    const DWORD error = done ? 0 : ::GetLastError();
    ::CloseHandle(ov.hEvent);
    written = int(count);
    if (written > 0)
        return WriteStatus::Progress;
    if (done || error == ERROR_OPERATION_ABORTED)
        return WriteStatus::Blocked;
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_INVALID_HANDLE:
        return WriteStatus::Failed;
    default:
        return WriteStatus::Blocked;
    }
}

bool waitWritable(HANDLE port, int ms)
{
    ::Sleep(DWORD(std::clamp(ms, 0, 1)));
    return !hungUp(port);
}

bool hungUp(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT stat{};
    return !::ClearCommError(port, &errors, &stat);
}

ModemLines modemLinesFrom(unsigned long status)
{
    ModemLines lines;
    lines.CTS = status & MS_CTS_ON;
    lines.DSR = status & MS_DSR_ON;
    lines.DCD = status & MS_RLSD_ON;
    lines.RI = status & MS_RING_ON;
    return lines;
}

bool readModemLines(HANDLE port, ModemLines& lines)
{
    DWORD status = 0;
    if (!::GetCommModemStatus(port, &status))
        return false;
    lines = modemLinesFrom(status);
    return true;
}

bool setBreak(HANDLE port, bool on)
{
    return on ? ::SetCommBreak(port) : ::ClearCommBreak(port);
}

bool setDTR(HANDLE port, bool on)
{
    return ::EscapeCommFunction(port, on ? SETDTR : CLRDTR);
}

bool setRTS(HANDLE port, bool on)
{
    return ::EscapeCommFunction(port, on ? SETRTS : CLRRTS);
}

}  // namespace SerialPortWin32
