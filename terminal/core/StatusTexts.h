#pragma once
// The words of the status bar's second field and of the progress display,
// as pure functions of the data they tell: why a port failed, what a command
// could not do, how far a send is. The window only shows them.

#include "terminal/SerialPortDrv.h"

#include <QString>

// Why a port could not be opened.
QString OpenFailureText(const TOpenFailure& failure);
// The open port went away / is back again.
QString PortLostText(const QString& device);
QString PortBackText(const QString& device);
// A modem line (or Break) the device could not set.
QString ModemLineFailedText(const QString& line, const QString& device);
// Text typed as the "other" bit rate that is no rate.
QString NotABitRateText(const QString& text);
// A macro too long to be sent, while it is typed.
QString MacroTooLongText(int macro, int maxLength);
// "1,024 of 4,096 bytes, 960 B/s, 0:03 left"; total < 0 leaves out the total
// (a protocol transfer of a size not known), rate <= 0 the rate and time.
QString ProgressText(qint64 done, qint64 total, double rate, int secondsLeft);
// The log's state beside the status bar: "Log: name, 1.2 KiB".
QString LogStateText(const QString& path, qint64 size);
