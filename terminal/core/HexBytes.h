#pragma once
// The transmit box's hexadecimal line: bytes typed as hexadecimal pairs, such
// as "0D 0A", "0D0A", "0x0D,0x0A" or "d a". Groups are separated by blanks,
// tabs or commas; a group holds whole pairs, or a single digit for one byte.

#include <QByteArray>
#include <QString>

struct THexBytes {
    QByteArray Bytes;
    bool Ok = true;
    int Column = 0;  // where the fault is (1 = the first character), when !Ok
    QString Error;   // why, when !Ok
};

THexBytes ParseHexBytes(const QString& text);
