// terminal: a serial-line terminal for 8051 boards.
#include "MainFrm.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("zelvar-terminal"));
    TMainForm MainForm;
    MainForm.show();
    return app.exec();
}
