// terminal: a serial-line terminal for 8051 boards.
#include "terminal/ui/MainFrm.h"
#include "common/ProgramInfo.h"

#include <QApplication>

namespace {

constexpr const char* kUsage =
    "Usage: terminal [OPTION]\n"
    "A serial-line terminal for 8051 boards: shows what the board sends (text,\n"
    "decimal, hexadecimal, binary), sends what you type, macros and files.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n"
    "Qt's own options (-platform, -style, ...) are understood as well.\n"
    "\n"
    "Settings, macros and the device map are kept in ~/.config/terminal.ini.\n";

} // namespace

int main(int argc, char* argv[])
{
    if (const int code = m51::answerInformationOption(argc, argv, "terminal", kUsage); code >= 0)
        return code;
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("zelvar-terminal"));
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
