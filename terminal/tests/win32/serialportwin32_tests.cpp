// The Windows serial core without hardware: the device control block built
// from the line settings, device paths, and the failed open of a port that is
// not there (Wine has no COM ports unless configured).
#include "terminal/win32/SerialPortWin32.h"

#include <gtest/gtest.h>

#include <string>

using namespace SerialPortWin32;

TEST(SerialPortWin32, DeviceControlBlockFollowsTheSettings)
{
    struct Row {
        LineSettings in;
        BYTE byteSize, parity, stopBits;
        DWORD dtr, rts;
    };
    const Row rows[] = {
        {{9600, 8, StopBits::One, Parity::None, false, false, true}, 8, NOPARITY, ONESTOPBIT,
         DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
        {{115200, 7, StopBits::Two, Parity::Even, true, false, false}, 7, EVENPARITY, TWOSTOPBITS,
         DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE},
        {{110, 5, StopBits::OneAndHalf, Parity::Mark, false, true, true}, 5, MARKPARITY, ONE5STOPBITS,
         DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
        {{14400, 6, StopBits::One, Parity::Space, true, true, true}, 6, SPACEPARITY, ONESTOPBIT,
         DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE},
        {{56000, 8, StopBits::One, Parity::Odd, false, false, true}, 8, ODDPARITY, ONESTOPBIT,
         DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
    };
    DCB current{};
    current.fParity = TRUE;
    current.fOutxDsrFlow = TRUE;
    current.fAbortOnError = TRUE;
    current.ErrorChar = '?';
    for (const Row& r : rows) {
        SCOPED_TRACE(r.in.BaudRate);
        const DCB dcb = makeDcb(current, r.in);
        EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
        EXPECT_EQ(dcb.BaudRate, r.in.BaudRate);
        EXPECT_EQ(dcb.ByteSize, r.byteSize);
        EXPECT_EQ(dcb.Parity, r.parity);
        EXPECT_EQ(dcb.StopBits, r.stopBits);
        EXPECT_EQ(dcb.fDtrControl, r.dtr);
        EXPECT_EQ(dcb.fRtsControl, r.rts);
        EXPECT_EQ(bool(dcb.fOutxCtsFlow), r.in.RtsCts);
        EXPECT_EQ(bool(dcb.fOutX), r.in.XonXoff);
        EXPECT_EQ(bool(dcb.fInX), r.in.XonXoff);
        // Binary, received parity unchecked, no DSR flow, errors never stop the port.
        EXPECT_TRUE(dcb.fBinary);
        EXPECT_FALSE(dcb.fParity || dcb.fOutxDsrFlow || dcb.fAbortOnError || dcb.fErrorChar || dcb.fNull);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.XonLim, 512);

        const AppliedSettings a = appliedFrom(dcb);
        EXPECT_EQ(a.BaudRate, r.in.BaudRate);
        EXPECT_EQ(a.DataBits, r.in.DataBits);
        EXPECT_EQ(a.Stop, r.in.Stop);
        EXPECT_EQ(a.ParityMode, r.in.ParityMode);
        EXPECT_EQ(a.RtsCts, r.in.RtsCts);
        EXPECT_EQ(a.XonXoff, r.in.XonXoff);
        EXPECT_FALSE(a.ParityChecked);
    }
}

TEST(SerialPortWin32, BitRateZeroKeepsTheDevicesRate)
{
    DCB current{};
    current.BaudRate = 57600;
    LineSettings s;
    s.BaudRate = 0;
    EXPECT_EQ(makeDcb(current, s).BaudRate, 57600u);
}

TEST(SerialPortWin32, DevicePaths)
{
    EXPECT_EQ(devicePath("COM1"), L"\\\\.\\COM1");
    EXPECT_EQ(devicePath("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(devicePath("\\\\.\\COM3"), L"\\\\.\\COM3");
}

// COM9, or the next COM name that names no device here (Wine gives every
// /dev/ttyS* a COM name, and some machines have many).
std::string missingPort()
{
    for (int n = 9; n < 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        char target[512];
        if (!::QueryDosDeviceA(name.c_str(), target, sizeof target))
            return name;
    }
    return "COM256";
}

TEST(SerialPortWin32, OpeningAMissingPortSaysSo)
{
    const std::string name = missingPort();
    OpenError error;
    const HANDLE port = openPort(name, error);
    ASSERT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error.Kind, OpenErrorKind::NoSuchDevice) << error.Code;
    EXPECT_FALSE(error.SystemText.empty());
    EXPECT_EQ(describe(error).rfind(name + ": no such serial port (", 0), 0u) << describe(error);
}

TEST(SerialPortWin32, AFileIsNotASerialPort)
{
    char dir[MAX_PATH], file[MAX_PATH];
    ASSERT_NE(::GetTempPathA(MAX_PATH, dir), 0u);
    ASSERT_NE(::GetTempFileNameA(dir, "m51", 0, file), 0u);
    OpenError error;
    EXPECT_EQ(openPort(file, error), INVALID_HANDLE_VALUE);
    EXPECT_EQ(error.Kind, OpenErrorKind::NotSerial);
    ::DeleteFileA(file);
}

TEST(SerialPortWin32, ModemStatusBits)
{
    const ModemLines none = modemLinesFrom(0);
    EXPECT_FALSE(none.CTS || none.DSR || none.DCD || none.RI);
    const ModemLines some = modemLinesFrom(MS_CTS_ON | MS_RLSD_ON);
    EXPECT_TRUE(some.CTS && some.DCD);
    EXPECT_FALSE(some.DSR || some.RI);
}
