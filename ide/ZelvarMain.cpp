// Zelvar: the development environment for 8051 programs in the M51 language.
// Usage: Zelvar [source.M51]

#include "common/ProgramInfo.h"
#include "ide/StartUp.h"

#include <QApplication>

namespace {

constexpr const char* kUsage =
    "Usage: Zelvar [OPTION] [SOURCE.M51]\n"
    "The development environment for 8051 programs in the M51 language: edit a\n"
    "source, compile it to 8051 assembly (Check, F9), build it (Debug, Ctrl+F9).\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n"
    "Qt's own options (-platform, -style, ...) are understood as well.\n"
    "\n"
    "Settings, build template, snippets and help file live in the program folder:\n"
    "the program's own folder when it is writable, else ~/.local/share/Zelvar,\n"
    "filled from the installed copies at the first start.\n";

} // namespace

int main(int argc, char* argv[])
{
    if (const int code = m51::answerInformationOption(argc, argv, "Zelvar", kUsage); code >= 0)
        return code;
    QApplication app(argc, argv);
    return runZelvar(app, app.arguments());
}
